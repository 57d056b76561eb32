// The 2010 event sequencer: 32-bit event numbers, 32-bit signed distances.
#include "sequencer_logic.h"
#include "varek_event_sequencer.h"

varek_event_sequencer::varek_event_sequencer(int mode, int max_event_diff,
                                             time_stamp max_time_diff) {
  sequencer::init(*this, mode, max_event_diff, max_time_diff);
}

void varek_event_sequencer::reset() {
  sequencer::reset(*this);
}
bool varek_event_sequencer::set(kova_time_id* id) {
  return sequencer::set(*this, id);
}
bool varek_event_sequencer::check(unsigned int event) {
  return sequencer::check_number<int32_t>(*this, event);
}
bool varek_event_sequencer::check(time_stamp* time) {
  return sequencer::check_time(*this, time);
}
bool varek_event_sequencer::check(kova_time_id* id) {
  return sequencer::check_id<int32_t>(*this, id);
}
bool varek_event_sequencer::set_mode(int m) {
  return sequencer::set_mode(*this, m);
}
bool varek_event_sequencer::set_max_event_diff(int diff) {
  max_event_diff = diff;
  return false;
}
bool varek_event_sequencer::set_max_time_diff(time_stamp* diff) {
  return sequencer::set_max_time_diff(*this, diff);
}
bool varek_event_sequencer::set_skip_limit(int limit) {
  return sequencer::set_skip_limit(*this, limit);
}
