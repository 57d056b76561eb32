// Gate and slot locks of a partition: System V semaphore operations with
// undo-on-exit, first without waiting, then (counted in mLockCount) a few
// more quick tries and finally waiting.
#include <cerrno>
#include <cstdio>

#include "C_shm.h"
#include "adaptive_wait.h"
#include "ipc_sys.h"
#include "tsan_sync.h"

void C_shm::report_sem_error(int num, int err, bool retry, bool is_gate) const {
  const C_shm_global* g = pointer;
  const int semid = g->gbl_semid;
  if (!is_gate) {
    std::printf("throw C_shm::ctrl UP sem: %d   errno: %d  semid: %d\n", num, err, semid);
  } else if (!retry) {
    std::printf("throw C_shm::gate UP sem: %d errno: %d semid: %d\n ", num, err, semid);
    std::printf(
        "throw C_shm::gate DOWN sem: %d  rrno: %d shmid: %d Partition name:%.255s  buffers:%d  "
        "size:%d status:%d version:%d count:%d semid:%d sems:%d\n",
        num, err, semid, g->name, g->nbuf, g->lbuf, g->status, g->version, g->gbl_count, semid,
        g->sems);
  } else {
    std::printf(
        "throw C_shm::gate DOWN sem: %d  rrno: %d semid: %d Partition name:%.255s  buffers:%d  "
        "size:%d status:%d version:%d count:%d semid:%d sems:%d\n",
        num, err, semid, g->name, g->nbuf, g->lbuf, g->status, g->version, g->gbl_count, semid,
        g->sems);
  }
  std::fflush(stdout);
}

bool C_shm::sem_lock(int num, bool lock, bool is_gate) const {
  if (!attached || pointer == nullptr) return false;
  const int semid = pointer->gbl_semid;
  sembuf op;
  op.sem_num = static_cast<unsigned short>(num);
  op.sem_op = static_cast<short>(lock ? -1 : 1);
  op.sem_flg = SEM_UNDO | IPC_NOWAIT;
  const void* sync = sync_object(num);
  if (!lock) hesk_shm::sync_releasing(sync);
  int err = hesk_shm::sem_apply(semid, &op, 1);
  if (err == 0) {
    if (lock) hesk_shm::sync_acquired(sync);
    return true;
  }
  if (err == EINTR) return false;
  bool retry = false;
  if (err == EAGAIN) {
    mLockCount.fetch_add(1, std::memory_order_relaxed);
    // Gates are held for a few instructions, slot locks for a step of an
    // event: each kind learns its own waits.
    static hesk_shm::AdaptiveWait gate_wait(hesk_shm::kPauseMicros, hesk_shm::kLookMinMicros,
                                            hesk_shm::kLookMaxMicros);
    static hesk_shm::AdaptiveWait slot_wait(hesk_shm::kPauseMicros, hesk_shm::kLookMinMicros,
                                            hesk_shm::kLookMaxMicros);
    hesk_shm::adaptive_wait(
        is_gate ? gate_wait : slot_wait,
        [&] {
          err = hesk_shm::sem_apply(semid, &op, 1);
          return err != EAGAIN;
        },
        [&] {
          op.sem_flg = SEM_UNDO;
          err = hesk_shm::sem_apply(semid, &op, 1);
        });
    if (err == 0) {
      if (lock) hesk_shm::sync_acquired(sync);
      return true;
    }
    if (err == EINTR) return false;
    retry = true;
  }
  report_sem_error(num, err, retry, is_gate);
  hesk_shm::throw_sys_error(err);
}

const void* C_shm::sync_object(int num) const {
  return reinterpret_cast<const char*>(pointer) + num;
}

bool C_shm::gate(bool lock) const {
  return sem_lock(gbl_gate, lock, true);
}

void C_shm::gate_wait() const {
  while (!gate(true)) {
    if (!attached) return;
  }
}

bool C_shm::ctrl(int slot, bool lock) const {
  if (slot < 0 || slot >= NBuff) {
    std::printf("ctrl(): Wrong slot id: %d\n", slot);
    return false;
  }
  if (!more_sems) {
    std::printf("ctrl(): No additional semaphores available \n");
    return false;
  }
  return sem_lock(gbl_nsems + slot, lock, false);
}
