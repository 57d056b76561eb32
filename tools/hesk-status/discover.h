// The buffer managers of this host, found without names: the pairs of
// control partitions (client and event partition) this process can read.
// A partition is recognised by its contents: a client control partition by
// its control block in buffer 0, an event control partition by the layout
// recorded for its buffer 0. The two of one manager were created by the
// same process (its master at the time). Purely reading: segments are
// mapped read-only for a moment, nothing is counted, locked or changed.
#ifndef HESK_STATUS_DISCOVER_H
#define HESK_STATUS_DISCOVER_H

#include <string>
#include <vector>

struct ManagerFound {
  std::string client, event;     // partition names
  int layout = 0;                // 2010 or 2024
  int master_pid = 0;            // process holding the master lock; 0: no master runs
  int readers = 0, writers = 0;  // subscriptions
};

std::vector<ManagerFound> find_managers();

// The layout recorded in event partition `name`: 2010, 2024, or 0 when it
// is not an event partition this process can read.
int event_partition_layout(const std::string& name);

#endif  // HESK_STATUS_DISCOVER_H
