// Repairs of a partition's free-buffer bookkeeping after a process died in
// the middle of a change that the semaphores' undo does not roll back: a
// buffer taken off the free queue whose free bit was still set, a buffer
// returned to the queue whose count was never posted, a half-linked queue,
// or a buffer whose taker died before anyone else learned of it.
//
// Everything here runs under the partition's gate and only ever adds to
// what takers can get: a buffer is queued again only when its free bit says
// so or when the caller's test says its taker is gone, and the free count
// is only ever raised (a count ahead of the queue is harmless: a taker that
// finds no buffer for its count tries again).
//
// Used by the buffer manager on partitions it holds and on partitions it
// views by segment id without becoming a user.
#ifndef HESK_SHM_PARTITION_REPAIR_H
#define HESK_SHM_PARTITION_REPAIR_H

#include <functional>

#include "C_shm.h"

namespace hesk_shm {

struct RepairResult {
  int requeued = 0;      // free-marked buffers that were missing from the queue
  int reclaimed = 0;     // handed-out buffers given back on the caller's word
  int counts_added = 0;  // posts added to the free count
  int free_buffers = 0;  // buffers in the free queue afterwards
  bool repaired() const { return requeued + reclaimed + counts_added > 0; }
};

// Asked for every handed-out buffer (not free, not in the full queue):
// whether it goes back to the free queue. Runs under the gate.
using ReclaimTest = std::function<bool(int bnum, const C_shm_buf& desc)>;

class PartitionRepair {
 public:
  // Whether the object is attached to a partition of this format whose
  // records fit the mapping.
  static bool usable(const C_shm& p);
  // Rebuilds the free queue from the queue itself and the free bits, gives
  // back the buffers `reclaim` names (null: none), and raises the free count
  // to the queue's length. Throws SysError when the semaphore set is gone.
  static RepairResult repair(const C_shm& p, const ReclaimTest& reclaim);
  // Takes buffer i off the free queue (for the calling process) when it is
  // queued there; true when it was.
  static bool take_out(const C_shm& p, int i);
  // Descriptor of buffer i; null when unusable or out of range.
  static C_shm_buf* descriptor(const C_shm& p, int i);
  // Maps segment shmid for an unattached object, without a word when the
  // segment is gone or not readable; false then.
  static bool attach_quietly(C_shm& p, int shmid);

  // For partitions whose buffers are slots guarded by their own locks (made
  // with per-buffer semaphores): a slot is taken out of the free queue
  // together with its lock, and given back together with giving the lock
  // back, each in the one system call that also gives the gate back.
  // Address standing for slot i's lock in ThreadSanitizer's annotations,
  // for steps that are ordered by atomics rather than by the lock.
  static const void* slot_sync(const C_shm& p, int i);
  // Takes a free slot and its lock; -1 at once when none is free. A busy
  // gate is waited for.
  static int take_locked_slot(const C_shm& p);
  // Gives slot i back to the free queue and its lock back; true when i was
  // already free (its lock is given back all the same).
  static bool return_locked_slot(const C_shm& p, int i);
};

// A partition viewed by segment id: mapped, not counted as a user, never
// removed on release.
class PartitionViewer : public C_shm {
 public:
  explicit PartitionViewer(int shmid) {
    keep(true);
    PartitionRepair::attach_quietly(*this, shmid);
  }
};

}  // namespace hesk_shm

#endif  // HESK_SHM_PARTITION_REPAIR_H
