// The stats partition of a buffer manager (layout in hesk_stats.h), as one
// Hesk object holds it: the master creates it at init, or re-uses the one
// an earlier master left with its counts; every other process attaches it
// at init when it exists and goes on without counts when it does not. It
// is released with the control partitions: removed by the last user that
// lets go, by a master with `forced` together with the event partition, and
// left in place by processes that die.
//
// Threads: attached and released by the object's caller while its reader
// and monitor threads are stopped (init, all_clean_up, forced_clean); the
// counts are added to from any thread without a lock (stats_count.h).
#ifndef HESK_STATS_STATS_PARTITION_H
#define HESK_STATS_STATS_PARTITION_H

#include <memory>
#include <string>

#include "C_shm.h"
#include "hesk_stats.h"

class Hesk;

namespace hesk_mgr {

class StatsPartition {
 public:
  // The stats partition of the manager whose event partition is
  // `event_partition`: found or made (master), or found (others); null when
  // there is none that can be used (a master reports why).
  static std::unique_ptr<StatsPartition> open(const char* event_partition, bool master);
  ~StatsPartition();
  StatsPartition(const StatsPartition&) = delete;
  StatsPartition& operator=(const StatsPartition&) = delete;

  hesk_stats_block* block() const { return block_; }
  const std::string& name() const { return name_; }
  // Gives up the partition object without releasing it (after a
  // partition-layer failure, when its semaphores may be gone).
  void abandon();

 private:
  StatsPartition(std::unique_ptr<C_shm> shm, hesk_stats_block* block, std::string name);

  std::unique_ptr<C_shm> shm_;
  hesk_stats_block* block_;
  std::string name_;
};

// The counts block inside an attached stats partition; null when the
// partition does not have the shape of one (one buffer, long enough).
hesk_stats_block* stats_block_of(const C_shm& shm);

// Attaches (or, for a master, creates) the stats partition of h's manager;
// nothing when h already holds it.
void attach_stats(Hesk& h);
// Lets go of it (removed when h was its last user).
void release_stats(Hesk& h);
// Forgets it without releasing (see forced_clean).
void abandon_stats(Hesk& h);
// Removes the stats partition of the manager whose event partition is
// `event_partition` from the host (a forced master's final clean-up).
void remove_stats_partition(const std::string& event_partition);

}  // namespace hesk_mgr

#endif  // HESK_STATS_STATS_PARTITION_H
