// The one-line hooks by which the event path adds to the manager's counts
// (hesk_stats.h). Each is a relaxed atomic add on a word of the mapped
// stats partition: no lock, no system call, and nothing at all when the
// manager has no stats partition. A process killed at any moment loses at
// most the add it was about to make.
#ifndef HESK_STATS_STATS_COUNT_H
#define HESK_STATS_STATS_COUNT_H

#include "hesk_stats.h"
#include "manager_internal.h"

namespace hesk_mgr {

enum EventCount { kEventsSetUp, kEventsCompleted, kEventsFreed };

// One event of type evtype was set up, completed or freed.
inline void count_event(const Hesk& h, EventCount what, int evtype) {
  hesk_stats_block* b = HeskAccess::stats_block(h);
  if (b == nullptr || !valid_evtype(evtype)) return;
  uint64_t* c = what == kEventsSetUp       ? b->events_set_up
                : what == kEventsCompleted ? b->events_completed
                                           : b->events_freed;
  __atomic_fetch_add(&c[evtype], 1, __ATOMIC_RELAXED);
}

// A reader dropped a notification datagram it could not act on.
inline void count_dropped_datagram(const Hesk& h) {
  hesk_stats_block* b = HeskAccess::stats_block(h);
  if (b != nullptr) __atomic_fetch_add(&b->datagrams_dropped, 1, __ATOMIC_RELAXED);
}

// The monitor reclaimed n things of one kind.
inline void count_reclaims(const Hesk& h, hesk_stats_reclaim kind, long n = 1) {
  hesk_stats_block* b = HeskAccess::stats_block(h);
  if (b != nullptr && n > 0)
    __atomic_fetch_add(&b->reclaims[kind], static_cast<uint64_t>(n), __ATOMIC_RELAXED);
}

}  // namespace hesk_mgr

#endif  // HESK_STATS_STATS_COUNT_H
