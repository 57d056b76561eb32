// What the master's monitor thread keeps between its passes; used by that
// thread only.
#ifndef HESK_MANAGER_MONITOR_STATE_H
#define HESK_MANAGER_MONITOR_STATE_H

#include <set>
#include <vector>

#include "Hesk.h"

namespace hesk_mgr {

struct MonitorState {
  // One snapshot per event-partition buffer (index = slot number).
  std::vector<ev_slot_stats> stats;
  // Writers seen alive in a pass, and those found gone since: the buffers
  // they took and never handed over are looked for on the host.
  std::set<int> writers_seen;
  std::set<int> departed;
  // Data partitions (segment ids) that blocks of events came from; their
  // buffers' takers are looked at now and then (see reconcile.h).
  std::set<int> data_partitions;
  long passes = 0;
  // A partition-layer failure is reported once, until a pass succeeds again.
  bool fault_reported = false;
};

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_MONITOR_STATE_H
