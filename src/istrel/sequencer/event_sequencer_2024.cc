// The 2024 event sequencer: 64-bit event numbers, 64-bit signed distances.
#include "sequencer_logic.h"
#include "varek_event_sequencer_2024.h"

varek_event_sequencer_2024::varek_event_sequencer_2024(int mode, int max_event_diff,
                                                       time_stamp max_time_diff) {
  sequencer::init(*this, mode, max_event_diff, max_time_diff);
}

void varek_event_sequencer_2024::reset() {
  sequencer::reset(*this);
}
bool varek_event_sequencer_2024::set(kova_time_id_2024* id) {
  return sequencer::set(*this, id);
}
bool varek_event_sequencer_2024::check(uint64_t event) {
  return sequencer::check_number<int64_t>(*this, event);
}
bool varek_event_sequencer_2024::check(time_stamp* time) {
  return sequencer::check_time(*this, time);
}
bool varek_event_sequencer_2024::check(kova_time_id_2024* id) {
  return sequencer::check_id<int64_t>(*this, id);
}
bool varek_event_sequencer_2024::set_mode(int m) {
  return sequencer::set_mode(*this, m);
}
bool varek_event_sequencer_2024::set_max_event_diff(int diff) {
  max_event_diff = diff;
  return false;
}
bool varek_event_sequencer_2024::set_max_time_diff(time_stamp* diff) {
  return sequencer::set_max_time_diff(*this, diff);
}
bool varek_event_sequencer_2024::set_skip_limit(int limit) {
  return sequencer::set_skip_limit(*this, limit);
}
