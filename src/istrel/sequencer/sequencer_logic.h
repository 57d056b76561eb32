// The decision rules shared by both event sequencers. Seq is one of the two
// sequencer classes, Signed the signed type of its event-number distance.
#ifndef HESK_ISTREL_SEQUENCER_LOGIC_H
#define HESK_ISTREL_SEQUENCER_LOGIC_H

#include <cstring>

#include "varek_sequencer_modes.h"

namespace sequencer {

inline double micros(const time_stamp& t) {
  return t.timeup * 1e6 + t.timelow;
}

template <typename Seq>
void reset(Seq& s) {
  memset(&s.current, 0, sizeof(s.current));
  memset(&s.prev, 0, sizeof(s.prev));
  s.skipped_cnt = 0;
}

template <typename Seq>
void init(Seq& s, int mode, long long max_event_diff, time_stamp max_time_diff) {
  reset(s);
  s.skipped_limit = 128;
  s.mode = VAREK_SEQUENCER_CHECK_MODE(mode) ? mode : VAREK_SEQUENCER_MODES_EVENTID;
  s.max_event_diff = max_event_diff;
  s.max_time_diff = max_time_diff;
}

template <typename Signed, typename Seq, typename Number>
bool number_far_enough(const Seq& s, Number event) {
  Signed distance = static_cast<Signed>(event - s.current.event_number);
  return distance > s.max_event_diff;
}

template <typename Seq>
bool time_far_enough(const Seq& s, const time_stamp& t) {
  return micros(t) - micros(s.current.time) > micros(s.max_time_diff);
}

// Counts a skipped event; a count beyond the limit resets and takes it.
template <typename Seq>
bool skip(Seq& s) {
  if (++s.skipped_cnt > s.skipped_limit) {
    reset(s);
    return true;
  }
  return false;
}

template <typename Signed, typename Seq, typename Number>
bool check_number(Seq& s, Number event) {
  if (s.mode != VAREK_SEQUENCER_MODES_EVENTID) return false;
  if (!number_far_enough<Signed>(s, event)) return skip(s);
  s.prev = s.current;
  s.current.event_number = event;
  s.skipped_cnt = 0;
  return true;
}

template <typename Seq>
bool check_time(Seq& s, time_stamp* t) {
  if (s.mode != VAREK_SEQUENCER_MODES_TIME || t == nullptr) return false;
  if (!time_far_enough(s, *t)) return skip(s);
  s.prev = s.current;
  s.current.time = *t;
  s.skipped_cnt = 0;
  return true;
}

// By number and time: in number mode an event passes when either distance is
// far enough; one that fails both counts twice, and the time test resets
// already when the count reaches the limit.
template <typename Signed, typename Seq, typename Id>
bool check_id(Seq& s, Id* id) {
  if (id == nullptr || !VAREK_SEQUENCER_CHECK_MODE(s.mode)) return false;
  bool take = false;
  if (s.mode == VAREK_SEQUENCER_MODES_EVENTID) {
    if (number_far_enough<Signed>(s, id->event_number)) {
      take = true;
    } else if (++s.skipped_cnt > s.skipped_limit) {
      reset(s);
      return true;
    }
  }
  if (!take) {
    if (!time_far_enough(s, id->time)) {
      if (++s.skipped_cnt >= s.skipped_limit) {
        reset(s);
        return true;
      }
      return false;
    }
  }
  s.prev = s.current;
  s.current = *id;
  s.skipped_cnt = 0;
  return true;
}

template <typename Seq, typename Id>
bool set(Seq& s, Id* id) {
  if (id == nullptr) return true;
  s.current = *id;
  s.prev = *id;
  return false;
}

template <typename Seq>
bool set_mode(Seq& s, int mode) {
  if (mode < 0 || mode > 1) return true;
  s.mode = mode;
  return false;
}

template <typename Seq>
bool set_max_time_diff(Seq& s, time_stamp* diff) {
  if (diff == nullptr) return true;
  s.max_time_diff = *diff;
  return false;
}

template <typename Seq>
bool set_skip_limit(Seq& s, int limit) {
  if (limit < 0) return true;
  s.skipped_limit = limit;
  return false;
}

}  // namespace sequencer

#endif  // HESK_ISTREL_SEQUENCER_LOGIC_H
