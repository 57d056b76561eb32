// Event sequencer for 2024 identifiers (64-bit event numbers): decides event
// by event whether an event lies far enough after the last one taken, in
// event numbers or in time. A run of skipped events longer than the skip
// limit resets it, and the event that ends the run is taken.
// Not thread-safe: one sequencer per consumer thread.
#ifndef HESK_VAREK_EVENT_SEQUENCER_2024_H
#define HESK_VAREK_EVENT_SEQUENCER_2024_H

#include "varek_sequencer_modes.h"

class varek_event_sequencer_2024 {
 public:
  kova_time_id_2024 current;  // last event taken
  kova_time_id_2024 prev;     // the one taken before it
  int skipped_cnt;            // events skipped since the last one taken
  int skipped_limit;          // 128 after construction
  int mode;                   // VAREK_SEQUENCER_MODES
  int64_t max_event_diff;
  time_stamp max_time_diff;

  // An invalid mode gives VAREK_SEQUENCER_MODES_EVENTID.
  varek_event_sequencer_2024(int mode, int max_event_diff, time_stamp max_time_diff);

  // current, prev and skipped_cnt to zero; mode, distances and limit stay.
  void reset();
  // current and prev become *id; true (nothing done) for null.
  bool set(kova_time_id_2024* id);

  // True: take the event; false: skip it.
  bool check(uint64_t event);         // event-number mode only
  bool check(time_stamp* time);       // time mode only
  bool check(kova_time_id_2024* id);  // number and time

  // Setters return false on success, true when refused.
  bool set_mode(int mode);
  bool set_max_event_diff(int diff);
  bool set_max_time_diff(time_stamp* diff);
  bool set_skip_limit(int limit);
};

#endif  // HESK_VAREK_EVENT_SEQUENCER_2024_H
