// Read-only partitions, brief slot locks and the directory of partitions.
#include "shm_view.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/sem.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

namespace live {

namespace {

// Keys searched for partitions, as the partition layer uses them.
constexpr key_t kFirstKey = 32;
constexpr key_t kEndKey = 1056;

}  // namespace

ReadOnlyPartition::ReadOnlyPartition(int shmid) {
  if (shmctl(shmid, IPC_STAT, &ds_) != 0 || ds_.shm_segsz < sizeof(C_shm_global)) return;
  void* p = shmat(shmid, nullptr, SHM_RDONLY);
  if (p == reinterpret_cast<void*>(-1)) return;
  base_ = static_cast<const char*>(p);
  memcpy(&global_, base_, sizeof(global_));
  ok_ = global_.version == C_SHM_VERSION && global_.nbuf >= 1 && global_.lbuf >= 0 &&
        C_shm_size(global_.nbuf, global_.lbuf) <= static_cast<long long>(ds_.shm_segsz);
}

ReadOnlyPartition::~ReadOnlyPartition() {
  if (base_ != nullptr) shmdt(base_);
}

std::string ReadOnlyPartition::name() const {
  return std::string(global_.name, strnlen(global_.name, sizeof(global_.name)));
}

bool ReadOnlyPartition::descriptor(int i, C_shm_buf* out) const {
  if (!ok_ || i < 0 || i >= global_.nbuf) return false;
  memcpy(out, base_ + C_SHM_GLOBAL_SIZE + static_cast<size_t>(C_SHM_DESC_SIZE) * i, sizeof(*out));
  return true;
}

const char* ReadOnlyPartition::buffer(int i) const {
  if (!ok_ || i < 0 || i >= global_.nbuf) return nullptr;
  return base_ + C_shm_data_offset(global_.nbuf) + static_cast<long long>(global_.lbuf) * i;
}

int ReadOnlyPartition::free_buffers() const {
  int n = 0;
  C_shm_buf d;
  for (int i = 0; i < global_.nbuf; ++i)
    if (descriptor(i, &d) && (d.status & C_SHM_BUF_FREE) != 0) ++n;
  return n;
}

BriefSlotLock::BriefSlotLock(int semid, int slot, long wait_us)
    : semid_(semid), num_(static_cast<unsigned short>(gbl_nsems + slot)) {
  if (semid < 0 || slot < 0) return;
  timespec end;
  clock_gettime(CLOCK_MONOTONIC, &end);
  end.tv_nsec += (wait_us % 1000000) * 1000;
  end.tv_sec += wait_us / 1000000 + end.tv_nsec / 1000000000;
  end.tv_nsec %= 1000000000;
  for (;;) {
    timespec now, left;
    clock_gettime(CLOCK_MONOTONIC, &now);
    left.tv_sec = end.tv_sec - now.tv_sec;
    left.tv_nsec = end.tv_nsec - now.tv_nsec;
    if (left.tv_nsec < 0) {
      left.tv_nsec += 1000000000;
      left.tv_sec -= 1;
    }
    if (left.tv_sec < 0) return;
    sembuf op{num_, -1, SEM_UNDO};
    if (semtimedop(semid_, &op, 1, &left) == 0) {
      held_ = true;
      return;
    }
    if (errno != EINTR) return;
  }
}

BriefSlotLock::~BriefSlotLock() {
  if (!held_) return;
  sembuf op{num_, 1, SEM_UNDO};
  while (semop(semid_, &op, 1) != 0 && errno == EINTR) {
  }
}

std::vector<SegmentEntry> PartitionDirectory::scan() {
  std::vector<SegmentEntry> found;
  std::set<int> seen;
  for (key_t key = kFirstKey; key < kEndKey; ++key) {
    int id = shmget(key, 0, 0);
    if (id < 0) continue;
    shmid_ds ds;
    if (shmctl(id, IPC_STAT, &ds) != 0) continue;
    seen.insert(id);
    auto it = known_.find(id);
    if (it == known_.end() || it->second.creator != ds.shm_cpid ||
        it->second.created != ds.shm_ctime) {
      ReadOnlyPartition p(id);
      Known k{ds.shm_cpid, ds.shm_ctime, p.ok() ? p.name() : std::string(), p.ok()};
      // A partition's global record is written just after its segment is
      // made: a young segment without one yet is looked at again next time.
      bool young = ds.shm_ctime + 10 > time(nullptr);
      if (k.name.empty() && young) continue;
      it = known_.insert_or_assign(id, k).first;
    }
    if (it->second.partition) found.push_back({id, it->second.name, it->second.creator});
  }
  for (auto it = known_.begin(); it != known_.end();)
    it = seen.count(it->first) ? std::next(it) : known_.erase(it);
  return found;
}

bool process_alive(pid_t pid) {
  if (pid <= 0) return false;
  return kill(pid, 0) == 0 || errno != ESRCH;
}

std::string process_name(pid_t pid) {
  if (pid <= 0) return std::string();
  std::string path = "/proc/" + std::to_string(pid) + "/comm";
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  char buf[64];
  ssize_t n = read(fd, buf, sizeof(buf) - 1);
  close(fd);
  if (n <= 0) return std::string();
  std::string s(buf, static_cast<size_t>(n));
  while (!s.empty() && (s.back() == '\n' || s.back() == '\0')) s.pop_back();
  return s;
}

std::string user_name(uid_t uid) {
  passwd pw, *res = nullptr;
  char buf[1024];
  if (getpwuid_r(uid, &pw, buf, sizeof(buf), &res) == 0 && res != nullptr) return pw.pw_name;
  return std::to_string(uid);
}

}  // namespace live
