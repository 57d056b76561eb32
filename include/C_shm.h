// C_shm is a handle on a shared-memory partition: a named System V segment
// of one host holding a fixed number of equally long buffers, a global control
// record with a free and a full buffer queue, and a System V semaphore set
// (layout in C_shm_int.h). A C_shm creates partitions, finds them by name or
// by segment id, attaches to them, registers itself as a user ("access"),
// locks their control data and answers status queries; the last user to let
// go removes the partition unless it asked to keep it.
//
// Each process maps a segment at most once. The mapping is shared by all C_shm
// objects of the process that are attached to it and is counted in a
// process-wide registry; it is unmapped when the last of them releases.
//
// Creation is exclusive between processes: a new partition takes a key that
// no other segment holds at that moment, and becomes visible to a search by
// name only once it is fully built.
//
// Threads: constructors, destructors, find, make, release, Zeuss and the
// registry functions may run in several threads at once; the process-wide
// object list and the registry are guarded by one process-wide mutex. One
// object should be changed (find, make, access, release, keep) by one thread
// at a time; gate, ctrl, buffer_addr, buffer_id, buffer_length, testFlag and
// getStat may be called from several threads on one accessed object. Between
// processes and threads, the partition's data are guarded by gate (global
// record and queues) and ctrl (one buffer); both carry undo-on-exit, so the
// kernel gives a lock back when its holder dies.
#ifndef HESK_C_SHM_H
#define HESK_C_SHM_H

#include <atomic>
#include <cstddef>
#include <iosfwd>
#include <mutex>
#include <string>
#include <vector>

#include "C_shm_int.h"

namespace hesk_shm {
class PartitionRepair;
}

// Last error of a C_shm object; C_shm::Error() gives its text.
enum C_shm_error {
  NoError = 0,
  NotAttached = 1,
  IncompatiblePartition = 2,
  CantGetSem = 3,
  NoFreeID = 4,
  CantAttach = 5,
  CantCreate = 6,
  CantCreateSem = 7,
  NoPriviledge = 8,
  BadVersion = 9
};

// Registry entry: number of objects of this process attached to segment id.
struct shmid_entry {
  int id;
  int cnt;
};

class C_shm {
 public:
  // Unattached object; Error() is "Partition not attached".
  C_shm();
  // Attaches to the existing partition of that name, or of that segment id,
  // and becomes a user. On failure valid() is false and Error() says why.
  explicit C_shm(const char* name);
  explicit C_shm(int shmid);
  // Finds the partition by name, or creates it with nbuf buffers of lbuf
  // bytes (with one slot lock per buffer when sems), and becomes a user. An
  // existing partition with fewer or shorter buffers is refused
  // (IncompatiblePartition) and left as it was; a larger one is accepted with
  // its own sizes.
  C_shm(const char* name, int nbuf, int lbuf, bool sems);
  // A second user of other's partition, sharing its mapping. An unattached
  // other gives an unattached copy.
  C_shm(C_shm& other);
  C_shm& operator=(const C_shm&) = delete;
  // Gives up access and releases the partition; never throws.
  ~C_shm();

  // Attach. false: found and now attached. true: not found, attach failed,
  // or this object is already attached.
  bool find(const char* name);
  bool find(int shmid);
  // Create and attach; false on success (also when already attached), true
  // on failure with Error() telling why. Does not access.
  bool make(const char* name, int nbuf, int lbuf);
  // Become a user (counted in the partition's user count). true on success;
  // false when not attached, already accessed or of another format version.
  bool access();
  // Stop being a user.
  void deaccess();
  // Give up access and detach; removes the partition when no user is left
  // and keep was not requested. Never throws.
  void release();

  // Take (true) or give back (false) the partition's gate. true on success,
  // false when interrupted by a signal or not attached. Throws SysError when
  // the semaphore set is gone.
  bool gate(bool lock) const;
  // The same for slot lock `slot` (0 <= slot < buffer count) of a partition
  // made with per-buffer semaphores; false for a bad slot or none available.
  bool ctrl(int slot, bool lock) const;

  // Start of buffer i, or null when not accessed or i is out of range.
  char* buffer_addr(int i) const;
  // Index of the buffer starting exactly at addr, or -1.
  int buffer_id(const char* addr) const;
  // Data length recorded for buffer i, or 0 under buffer_addr's conditions.
  int buffer_length(int i) const;
  // Status word of buffer i's descriptor: non-zero while the buffer is free,
  // 0 while it is handed out; -1 under buffer_addr's conditions.
  int buffer_status(int i) const;

  // Whether any bit of flag is set in the partition flag word.
  bool testFlag(int flag) const;
  // 0: release, 1: none, 2: scavage, 3: release and expose; the synch bit
  // keeps its value.
  void bufmode(int mode);
  void rqsynch(bool on);
  // Keep the partition when this object releases it as the last user.
  void keep(bool on);
  // Lock (true) or unlock the segment in memory; needs effective user id 0.
  void lock(bool on);

  const char* Error() const;
  C_shm_error getError() const { return shm_error; }
  // One status value as text ("name", "shmid", "nbuf", "lbuf", "use_count",
  // "pflags", "freebuf", "mode" (octal permission bits), "owner" and
  // "creator" (user ids), ...); "0" for every key when not attached.
  std::string getStat(const std::string& key) const;
  // Printed control data and buffer table.
  void dump(std::ostream& os) const;
  void dump() const;
  // Zero the user count of the named partition so that this object's release
  // removes it. Needs an unattached object and the right to remove the
  // partition (its owner, its creator or user id 0); otherwise Error() is
  // "No Priviledge for attempted operation" and nothing changes.
  void Zeuss(const char* name);

  // Forget the process-wide object list without touching any object or
  // partition (forced clean-up before objects are abandoned).
  static void flush();
  // Attached objects of this process on the partition of that name / id.
  static int attaches(const char* name);
  static int attaches(int shmid);
  // Registry bookkeeping. add: 1 new entry, 0 count raised, -1 no memory.
  // rem: 0 entry removed, 1 count lowered, -1 no entry (reported).
  static int add_shmid_entry(int shmid);
  static int rem_shmid_entry(int shmid);
  // Segment ids under the partition keys 32..1055 that this process may read
  // and write and that are large enough to hold a partition.
  static std::vector<int> partition_ids();

  bool valid() const { return accessed; }
  int getBufferLength() const { return NByte; }
  int getBufferCount() const { return NBuff; }
  int getLockCount() const { return mLockCount.load(std::memory_order_relaxed); }
  void clrLockCount() { mLockCount.store(0, std::memory_order_relaxed); }

 protected:
  C_shm_error shm_error;
  C_shm_global* pointer;  // global record; null while not attached
  C_shm_consbk* conptr;   // consumer area (empty; equals bufptr)
  C_shm_buf* bufptr;      // first buffer descriptor; set by access
  bool more_sems;         // the partition has slot locks

  // Process-wide mutex of the registry and of the object list.
  static std::recursive_mutex mx_cnts;
  // Process-wide registry of attached segments. Created on first use and
  // never destroyed, so objects that outlive static destruction stay safe.
  static std::vector<shmid_entry*>* shmid_list;

  bool attached;  // the segment is mapped for this object
  bool accessed;  // this object is counted in the user count
  bool kpflg;     // keep the partition on the last release
  int NByte;      // buffer length, set by access
  int NBuff;      // buffer count, set by access
  int ident;      // segment id

  static C_shm* base;  // head of the process-wide object list
  C_shm* link;         // next object in that list

  mutable std::atomic<int> mLockCount;  // lock waits not satisfied at once

  // Take the gate, repeating while interrupted.
  void gate_wait() const;
  // Address standing for semaphore num in ThreadSanitizer's annotations.
  const void* sync_object(int num) const;
  // Prints the diagnostic lines of a failed gate or slot-lock operation.
  void report_sem_error(int num, int err, bool retry, bool is_gate) const;

 private:
  friend class hesk_shm::PartitionRepair;  // free-queue repairs (libHesk internal)
  long long mSegSize;                      // size of the mapped segment in bytes

  void init_fields();
  void link_object();
  void unlink_object();
  // Map segment shmid through the registry (reusing this process's mapping).
  bool attach_id(int shmid);
  // Give the registry entry back; unmaps when it was the last.
  void detach_mapping();
  // Release without removing the partition: for requests that were refused.
  void release_keeping();
  // Drop access under the gate and remove the partition when it is unused.
  void leave_partition();
  bool remove_partition();
  bool layout_fits() const;
  int desc_count() const;
  C_shm_buf* descriptors() const;
  bool sem_lock(int num, bool lock, bool is_gate) const;
  static std::vector<shmid_entry*>& registry();
};

#endif  // HESK_C_SHM_H
