// Taking and returning single buffers of a partition.
//
// Taking: one count of gbl_empty per buffer handed out, then the head of the
// free queue under the gate (the full queue only when scavenging). In the
// common case the count and the gate are taken in one semop, and a return
// gives the gate back and posts the count in one semop, so a take+return
// costs two lock/unlock pairs of system calls.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <stdexcept>

#include "C_shm_buffer.h"
#include "adaptive_wait.h"
#include "ipc_sys.h"
#include "tsan_sync.h"

namespace {

sembuf sem_step(int num, int op, int flags) {
  sembuf s;
  s.sem_num = static_cast<unsigned short>(num);
  s.sem_op = static_cast<short>(op);
  s.sem_flg = static_cast<short>(flags);
  return s;
}

// The caller's process id for owner_pid, without a system call per take;
// refreshed in the child after fork.
std::atomic<pid_t> g_pid{0};

pid_t current_pid() {
  pid_t pid = g_pid.load(std::memory_order_relaxed);
  if (pid == 0) {
    static std::once_flag once;
    std::call_once(once, [] {
      pthread_atfork(nullptr, nullptr, [] { g_pid.store(getpid(), std::memory_order_relaxed); });
    });
    pid = getpid();
    g_pid.store(pid, std::memory_order_relaxed);
  }
  return pid;
}

[[noreturn]] void fail_take(int where, int err) {
  std::printf("%d_C_shm_buffer::get_buffer() errno:%d before SysErrot()\n", where, err);
  std::fflush(stdout);
  hesk_shm::throw_sys_error(err);
}

}  // namespace

C_shm_buffer::C_shm_buffer() : C_shm(), ibuf(-1) {}
C_shm_buffer::C_shm_buffer(const char* name) : C_shm(name), ibuf(-1) {}
C_shm_buffer::C_shm_buffer(int shmid) : C_shm(shmid), ibuf(-1) {}
C_shm_buffer::C_shm_buffer(const char* name, int nbuf, int lbuf, bool sems)
    : C_shm(name, nbuf, lbuf, sems), ibuf(-1) {}

C_shm_buffer::~C_shm_buffer() {
  if (ibuf >= 0) {
    try {
      return_buffer();
    } catch (...) {
      // The partition's semaphores are gone; nothing left to give back to.
    }
  }
}

// With the synch flag set, a taker first needs one count of gbl_synch: each
// post of it admits one take.
bool C_shm_buffer::synch_wait(bool nowait) {
  if (!gate(true)) return false;
  gate(false);
  sembuf op = sem_step(gbl_synch, -1, nowait ? IPC_NOWAIT : 0);
  const int err = hesk_shm::sem_apply(pointer->gbl_semid, &op, 1);
  if (err == 0) return true;
  if (err == EAGAIN || err == EIDRM || err == EINTR) return false;
  fail_take(120, err);
}

// Under the gate: the head of the free queue, else (scavenging) the first
// unused buffer of the full queue when the release flag allows it.
int C_shm_buffer::take_locked(bool* scavenged) {
  C_shm_global* g = pointer;
  int i = g->free.remove(bufptr, NBuff);
  if (i < 0 && (g->status & C_SHM_SCAVAGE) && (g->status & C_SHM_RELEASE)) {
    int steps = 0;
    for (int j = g->full.head; j >= 0 && j < NBuff && steps < NBuff; j = bufptr[j].link, ++steps) {
      if (bufptr[j].use_count == 0) {
        g->full.remove(bufptr, NBuff, j);
        i = j;
        *scavenged = true;
        break;
      }
    }
  }
  if (i >= 0) {
    bufptr[i].status = 0;
    bufptr[i].link = -1;
    bufptr[i].owner_pid = current_pid();
  }
  return i;
}

char* C_shm_buffer::get_buffer(int mode, bool untracked) {
  if (ibuf >= 0 && !untracked) return buffer_addr(ibuf);
  if (!accessed) throw std::logic_error("Partition not attached");
  const bool nowait = (mode & 4) != 0;
  if (testFlag(C_SHM_SYNCH) && !synch_wait(nowait)) {
    if (!untracked) ibuf = -1;
    return nullptr;
  }
  const int semid = pointer->gbl_semid;

  // Fast path: a free-buffer count and the gate in one atomic step, without
  // waiting (tried a few times, as a busy gate is let go within
  // microseconds). Anything else (none free, gate held longer, an error)
  // takes the step by step path below, which waits as asked and reports
  // errors.
  sembuf both[2] = {sem_step(gbl_empty, -1, IPC_NOWAIT),
                    sem_step(gbl_gate, -1, SEM_UNDO | IPC_NOWAIT)};
  int fast = hesk_shm::sem_apply(semid, both, 2);
  for (int k = 0; k < hesk_shm::kBusyRetries && fast == EAGAIN; ++k) {
    fast = hesk_shm::sem_apply(semid, both, 2);
  }
  // None free: a buffer is looked for as a busy lock is (adaptive_wait.h)
  // before the taker sleeps; the giver is then not preempted by a taker it
  // woke, and takers find buffers given back while they had the CPU.
  if (fast == EAGAIN && !nowait) {
    static hesk_shm::AdaptiveWait buffer_wait(hesk_shm::kPauseMicros, hesk_shm::kLookMinMicros,
                                              hesk_shm::kLookMaxMicros);
    hesk_shm::adaptive_wait(
        buffer_wait,
        [&] {
          fast = hesk_shm::sem_apply(semid, both, 2);
          return fast != EAGAIN;
        },
        [] {});
  }
  bool gated = fast == 0;
  if (gated) hesk_shm::sync_acquired(sync_object(gbl_gate));

  int i = -1;
  for (;;) {
    if (!gated) {
      sembuf count = sem_step(gbl_empty, -1, nowait ? IPC_NOWAIT : 0);
      const int err = hesk_shm::sem_apply(semid, &count, 1);
      if (err != 0) {
        if (err == EAGAIN || err == EIDRM || err == EINTR) {
          if (!untracked) ibuf = -1;
          return nullptr;
        }
        fail_take(139, err);
      }
      gate_wait();
    }
    bool scavenged = false;
    i = take_locked(&scavenged);
    gate(false);
    if (scavenged) {
      sembuf full = sem_step(gbl_full, -1, IPC_NOWAIT);
      hesk_shm::sem_apply(semid, &full, 1);
    }
    if (i >= 0) break;
    // A count without a queued buffer: the count was ahead of the queue.
    // Keeping it brings both back in step; try again.
    gated = false;
  }
  if (!untracked) ibuf = i;
  return buffer_addr(i);
}

bool C_shm_buffer::return_index(int i) {
  if (!accessed || i < 0 || i >= NBuff) return true;
  C_shm_global* g = pointer;
  gate_wait();
  C_shm_buf& d = bufptr[i];
  // Decided under the gate, so that two processes returning one buffer at
  // once cannot both queue it.
  if (d.status & C_SHM_BUF_FREE) {
    gate(false);
    return true;
  }
  if (!g->full.empty() && g->full.remove(bufptr, NBuff, i)) {
    sembuf full = sem_step(gbl_full, -1, IPC_NOWAIT);
    hesk_shm::sem_apply(g->gbl_semid, &full, 1);
  }
  d.use_count = 0;
  d.ldata = 0;
  d.trig = 0;
  d.status |= C_SHM_BUF_FREE;
  g->free.link(bufptr, NBuff, i);
  // Gate back and one more free-buffer count, in one step.
  sembuf both[2] = {sem_step(gbl_gate, 1, SEM_UNDO), sem_step(gbl_empty, 1, 0)};
  hesk_shm::sync_releasing(sync_object(gbl_gate));
  const int err = hesk_shm::sem_apply_retry(g->gbl_semid, both, 2);
  if (err != 0) {
    report_sem_error(gbl_gate, err, false, true);
    hesk_shm::throw_sys_error(err);
  }
  return false;
}

bool C_shm_buffer::return_buffer() {
  if (ibuf < 0 || !accessed) return true;
  const bool r = return_index(ibuf);
  ibuf = -1;
  return r;
}

bool C_shm_buffer::return_buffer(char* addr) {
  const int i = buffer_id(addr);
  if (i < 0) return true;
  return_index(i);
  if (i == ibuf) ibuf = -1;
  return false;
}

bool C_shm_buffer::return_buffer(int bnum) {
  if (bnum < 0 || bnum >= NBuff) return true;
  const bool r = return_index(bnum);
  if (bnum == ibuf) ibuf = -1;
  return r;
}

void C_shm_buffer::SetID(int id) {
  if (!accessed) return;
  if (ibuf < 0 || ibuf >= NBuff || (bufptr[ibuf].status & C_SHM_BUF_FREE)) {
    ibuf = -1;
    return;
  }
  bufptr[ibuf].data_ID = id;
}
