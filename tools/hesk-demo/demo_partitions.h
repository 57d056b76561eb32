// The partitions of one demo run: their names, and their removal by
// whichever process ends the run (the master, or the last worker when the
// master is gone).
#ifndef HESK_DEMO_PARTITIONS_H
#define HESK_DEMO_PARTITIONS_H

#include <string>
#include <vector>

namespace demo {

struct RunNames {
  std::string client, event;      // control partitions
  std::string stats;              // the manager's counts
  std::vector<std::string> data;  // one per writer
};

// "<prefix>.cl", "<prefix>.ev", "<prefix>.ev.stats", "<prefix>.data.W1", ...
RunNames run_names(const std::string& prefix, int writers);

bool partition_exists(const std::string& name);
// Removes every partition of the run that is still there; the number that
// could not be removed.
int remove_partitions(const RunNames& names);

}  // namespace demo

#endif  // HESK_DEMO_PARTITIONS_H
