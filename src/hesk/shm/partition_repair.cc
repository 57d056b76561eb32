// Free-queue repairs under the gate.
#include "partition_repair.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

#include "SysError.h"
#include "ipc_sys.h"
#include "tsan_sync.h"

namespace hesk_shm {

namespace {

enum Mark : unsigned char { kNone = 0, kFull = 1, kFree = 2 };

// Holds the gate of a partition for a scope.
class Gate {
 public:
  explicit Gate(const C_shm& p) : p_(p) {
    while (!p_.gate(true)) {
    }
  }
  ~Gate() {
    try {
      p_.gate(false);
    } catch (const SysError&) {
      // The set is gone: nothing left to give back.
    }
  }
  Gate(const Gate&) = delete;
  Gate& operator=(const Gate&) = delete;

 private:
  const C_shm& p_;
};

void post_count(int semid, int n) {
  while (n > 0) {
    int step = n < 16384 ? n : 16384;
    sembuf op;
    op.sem_num = gbl_empty;
    op.sem_op = static_cast<short>(step);
    op.sem_flg = 0;
    if (sem_apply_retry(semid, &op, 1) != 0) return;
    n -= step;
  }
}

}  // namespace

bool PartitionRepair::usable(const C_shm& p) {
  if (!p.attached || p.pointer == nullptr) return false;
  if (__atomic_load_n(&p.pointer->version, __ATOMIC_ACQUIRE) != C_SHM_VERSION) return false;
  return p.layout_fits();
}

C_shm_buf* PartitionRepair::descriptor(const C_shm& p, int i) {
  if (!usable(p) || i < 0 || i >= p.pointer->nbuf) return nullptr;
  return p.descriptors() + i;
}

RepairResult PartitionRepair::repair(const C_shm& p, const ReclaimTest& reclaim) {
  RepairResult r;
  if (!usable(p)) return r;
  C_shm_global* g = p.pointer;
  C_shm_buf* d = p.descriptors();
  Gate gate(p);
  const int n = g->nbuf;
  std::vector<unsigned char> mark(static_cast<size_t>(n), kNone);
  for (int i = g->full.head, steps = 0; i >= 0 && i < n && steps < n && mark[i] == kNone;
       i = d[i].link, ++steps)
    mark[i] = kFull;
  std::vector<int> queue;
  for (int i = g->free.head, steps = 0; i >= 0 && i < n && steps < n && mark[i] == kNone;
       i = d[i].link, ++steps) {
    mark[i] = kFree;
    queue.push_back(i);
  }
  for (int i = 0; i < n; ++i) {
    if (mark[i] != kNone || !(d[i].status & C_SHM_BUF_FREE)) continue;
    mark[i] = kFree;
    queue.push_back(i);
    ++r.requeued;
  }
  if (reclaim) {
    for (int i = 0; i < n; ++i) {
      if (mark[i] != kNone || !reclaim(i, d[i])) continue;
      d[i].use_count = 0;
      d[i].ldata = 0;
      d[i].trig = 0;
      mark[i] = kFree;
      queue.push_back(i);
      ++r.reclaimed;
    }
  }
  // Relink the queue as found plus what was added; values that are already
  // right are not written again.
  for (size_t k = 0; k < queue.size(); ++k) {
    C_shm_buf& b = d[queue[k]];
    const int next = k + 1 < queue.size() ? queue[k + 1] : -1;
    if (!(b.status & C_SHM_BUF_FREE)) b.status |= C_SHM_BUF_FREE;
    if (b.link != next) b.link = next;
  }
  const int head = queue.empty() ? -1 : queue.front();
  const int tail = queue.empty() ? -1 : queue.back();
  if (g->free.head != head) g->free.head = head;
  if (g->free.tail != tail) g->free.tail = tail;
  r.free_buffers = static_cast<int>(queue.size());

  const int have = sem_getval(g->gbl_semid, gbl_empty);
  if (have < 0) throw_sys_error(errno);
  if (have < r.free_buffers) {
    r.counts_added = r.free_buffers - have;
    post_count(g->gbl_semid, r.counts_added);
  }
  return r;
}

bool PartitionRepair::attach_quietly(C_shm& p, int shmid) {
  if (p.attached) return false;
  std::lock_guard<std::recursive_mutex> guard(C_shm::mx_cnts);
  return p.attach_id(shmid);
}

bool PartitionRepair::take_out(const C_shm& p, int i) {
  if (!usable(p) || i < 0 || i >= p.pointer->nbuf) return false;
  C_shm_global* g = p.pointer;
  C_shm_buf* d = p.descriptors();
  Gate gate(p);
  if (!g->free.remove(d, g->nbuf, i)) return false;
  d[i].status = 0;
  d[i].link = -1;
  d[i].owner_pid = getpid();
  // Keep the count in step with the queue; a count already behind stays so.
  sembuf op;
  op.sem_num = gbl_empty;
  op.sem_op = -1;
  op.sem_flg = IPC_NOWAIT;
  sem_apply(g->gbl_semid, &op, 1);
  return true;
}

const void* PartitionRepair::slot_sync(const C_shm& p, int i) {
  return p.sync_object(gbl_nsems + i);
}

int PartitionRepair::take_locked_slot(const C_shm& p) {
  if (!usable(p) || !p.more_sems) return -1;
  C_shm_global* g = p.pointer;
  C_shm_buf* d = p.descriptors();
  const int semid = g->gbl_semid;
  // No free slot fails at once; a busy gate is waited for (a gate holder
  // that was preempted must not make a writer refuse its block while slots
  // are free).
  sembuf count_and_gate[2] = {{gbl_empty, -1, IPC_NOWAIT}, {gbl_gate, -1, SEM_UNDO | IPC_NOWAIT}};
  int err = sem_apply(semid, count_and_gate, 2);
  for (int k = 0; k < kBusyRetries && err == EAGAIN; ++k) err = sem_apply(semid, count_and_gate, 2);
  if (err == EAGAIN) {
    count_and_gate[1].sem_flg = SEM_UNDO;
    err = sem_apply_retry(semid, count_and_gate, 2);
  }
  if (err == EAGAIN || err == EINTR) return -1;
  if (err != 0) throw_sys_error(err);
  sync_acquired(p.sync_object(gbl_gate));
  const int i = g->free.remove(d, g->nbuf);
  if (i >= 0) {
    d[i].status = 0;
    d[i].link = -1;
    d[i].owner_pid = getpid();
  }
  sync_releasing(p.sync_object(gbl_gate));
  const unsigned short lock = static_cast<unsigned short>(gbl_nsems + i);
  sembuf gate_back_slot_taken[2] = {{gbl_gate, 1, SEM_UNDO}, {lock, -1, SEM_UNDO | IPC_NOWAIT}};
  // The slot's lock is free but for a moment's check by a writer with an
  // old answer; then the gate goes back first and the lock is waited for.
  if (i < 0 || sem_apply_retry(semid, gate_back_slot_taken, i < 0 ? 1 : 2) != 0) {
    if (i >= 0) {
      p.gate(false);
      while (!p.ctrl(i, true)) {
      }
    }
    return i;
  }
  sync_acquired(p.sync_object(lock));
  return i;
}

bool PartitionRepair::return_locked_slot(const C_shm& p, int i) {
  if (!usable(p) || !p.more_sems || i < 0 || i >= p.pointer->nbuf) return true;
  C_shm_global* g = p.pointer;
  C_shm_buf* d = p.descriptors();
  p.gate_wait();
  const bool already_free = (d[i].status & C_SHM_BUF_FREE) != 0;
  if (!already_free) {
    d[i].use_count = 0;
    d[i].ldata = 0;
    d[i].trig = 0;
    d[i].status |= C_SHM_BUF_FREE;
    g->free.link(d, g->nbuf, i);
  }
  const unsigned short lock = static_cast<unsigned short>(gbl_nsems + i);
  sembuf back[3] = {{gbl_gate, 1, SEM_UNDO}, {lock, 1, SEM_UNDO}, {gbl_empty, 1, 0}};
  sync_releasing(p.sync_object(gbl_gate));
  sync_releasing(p.sync_object(lock));
  const int err = sem_apply_retry(g->gbl_semid, back, already_free ? 2 : 3);
  if (err != 0) throw_sys_error(err);
  return already_free;
}

}  // namespace hesk_shm
