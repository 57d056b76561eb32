// Modes shared by the two event sequencers.
#ifndef HESK_VAREK_SEQUENCER_MODES_H
#define HESK_VAREK_SEQUENCER_MODES_H

#include "event.h"

enum VAREK_SEQUENCER_MODES {
  VAREK_SEQUENCER_MODES_EVENTID = 0,  // distance in event numbers
  VAREK_SEQUENCER_MODES_TIME = 1,     // distance in time
  VAREK_SEQUENCER_MODES_MAX = 2
};

inline bool VAREK_SEQUENCER_CHECK_MODE(int md) {
  return md >= 0 && md < VAREK_SEQUENCER_MODES_MAX;
}

// A zero time distance.
const time_stamp time_diff_default = {0, 0};

#endif  // HESK_VAREK_SEQUENCER_MODES_H
