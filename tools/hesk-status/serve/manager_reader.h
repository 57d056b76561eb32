// Takes snapshots of one buffer manager of this host, read-only: its client
// and event control partitions, its stats partition and the data partitions
// its writers use. The manager is named by its control partitions, or found
// on the host when it is the only one. Between snapshots nothing is held:
// a manager that goes away (its master ends, an operator removes its
// partitions) is reported as such, and found again when it comes back.
//
// Used by one thread (the sampler).
#ifndef HESK_STATUS_SERVE_MANAGER_READER_H
#define HESK_STATUS_SERVE_MANAGER_READER_H

#include <set>
#include <string>

#include "shm_view.h"
#include "snapshot.h"

namespace live {

class ManagerReader {
 public:
  // Empty names: the manager is looked for on the host.
  ManagerReader(std::string client_partition, std::string event_partition, int layout);
  Snapshot read();

 private:
  bool choose_manager(Snapshot* s);
  void read_clients(const ReadOnlyPartition& cl, Snapshot* s);
  void read_events(const ReadOnlyPartition& ev, Snapshot* s);
  void read_counts(int shmid, Snapshot* s);
  void cross_reference(Snapshot* s);
  void add_partition(int shmid, const std::string& role, Snapshot* s);

  std::string client_, event_;
  bool named_;
  int layout_;  // forced layout (2024), or 0: as recorded
  PartitionDirectory directory_;
  std::vector<SegmentEntry> segments_;
  std::set<int> data_ids_;  // data partitions seen with this manager
  pid_t last_master_ = 0;
};

// Limits of one snapshot's lists, so that an answer stays bounded whatever
// the partitions hold.
constexpr size_t kMaxClientsListed = 4096;
constexpr size_t kMaxEventsListed = 2048;
constexpr size_t kMaxBlocksListed = 64;  // server blocks shown per event slot
// An event slot unchanged for this long is shown as stuck. The monitor frees
// a slot unchanged for 10 of its passes (5 s at its default period), so the
// warning comes well before that and stays up for snapshots to show it.
constexpr double kStuckSeconds = 2.0;

}  // namespace live

#endif  // HESK_STATUS_SERVE_MANAGER_READER_H
