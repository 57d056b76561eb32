// Read-only access to the System V partitions of this host, for the live
// view. Nothing here becomes a user of a partition, changes a byte of one or
// keeps one mapped: a segment is mapped read-only for as long as one copy
// takes, so that a master that removes its partitions at the end never finds
// the live view among their users. Slot locks are taken only around the
// copy of one slot, and given up after a short wait.
#ifndef HESK_STATUS_SERVE_SHM_VIEW_H
#define HESK_STATUS_SERVE_SHM_VIEW_H

#include <sys/shm.h>
#include <sys/types.h>

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "C_shm_int.h"

namespace live {

// A partition mapped read-only; ok() when it is mapped and its global record
// describes buffers that lie within the segment. Every accessor stays inside
// the mapping.
class ReadOnlyPartition {
 public:
  explicit ReadOnlyPartition(int shmid);
  ~ReadOnlyPartition();
  ReadOnlyPartition(const ReadOnlyPartition&) = delete;
  ReadOnlyPartition& operator=(const ReadOnlyPartition&) = delete;

  bool ok() const { return ok_; }
  const shmid_ds& stat() const { return ds_; }
  const C_shm_global& global() const { return global_; }  // copied at mapping
  int nbuf() const { return global_.nbuf; }
  int lbuf() const { return global_.lbuf; }
  int semid() const { return global_.gbl_semid; }
  std::string name() const;
  // Descriptor i copied; false when i is out of range.
  bool descriptor(int i, C_shm_buf* out) const;
  // Start of buffer i in the mapping; null when out of range.
  const char* buffer(int i) const;
  // Buffers whose free bit is set.
  int free_buffers() const;

 private:
  const char* base_ = nullptr;
  bool ok_ = false;
  shmid_ds ds_{};
  C_shm_global global_{};
};

// Slot lock `slot` of a partition's semaphore set (semaphore 4 + slot), held
// for one copy. Waits at most `wait_us` microseconds; not granted in time (a
// process stuck while holding it) or not permitted, held() is false and the
// caller copies without it. Carries undo-on-exit like every lock of the
// manager, so a live view killed while holding it gives it back.
class BriefSlotLock {
 public:
  BriefSlotLock(int semid, int slot, long wait_us = 20000);
  ~BriefSlotLock();
  BriefSlotLock(const BriefSlotLock&) = delete;
  BriefSlotLock& operator=(const BriefSlotLock&) = delete;
  bool held() const { return held_; }

 private:
  int semid_;
  unsigned short num_;
  bool held_ = false;
};

struct SegmentEntry {
  int shmid = -1;
  std::string name;
  pid_t creator = 0;
};

// The partitions of this host this process can read, in key order (the
// order a search by name uses). A segment is mapped to read its name only
// the first time it is seen.
class PartitionDirectory {
 public:
  std::vector<SegmentEntry> scan();

 private:
  struct Known {
    pid_t creator;
    time_t created;
    std::string name;
    bool partition;
  };
  std::map<int, Known> known_;
};

// Whether process pid lives (a process of another user counts as alive).
bool process_alive(pid_t pid);
// The process's command name, or empty.
std::string process_name(pid_t pid);
// The user's name, or the number as text.
std::string user_name(uid_t uid);

}  // namespace live

#endif  // HESK_STATUS_SERVE_SHM_VIEW_H
