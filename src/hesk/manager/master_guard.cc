// The master lock, the creator check of control partitions and the layout
// tag of the event partition.
#include "master_guard.h"

#include <sys/sem.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "ipc_sys.h"
#include "partition_repair.h"

namespace hesk_mgr {

namespace {

int semset_of(C_shm_buffer* b) {
  return atoi(b->getStat("semglobal").c_str());
}

bool trusted_creator(uid_t creator) {
  return creator == geteuid() || creator == 0;
}

}  // namespace

bool take_master_lock(Hesk& h) {
  if (HeskAccess::master_lock_semid(h) >= 0) return false;
  int semid = semset_of(h.cl_buf);
  sembuf ops[2];
  ops[0].sem_num = gbl_synch;
  ops[0].sem_op = 0;
  ops[0].sem_flg = IPC_NOWAIT;
  ops[1].sem_num = gbl_synch;
  ops[1].sem_op = 1;
  ops[1].sem_flg = SEM_UNDO | IPC_NOWAIT;
  int err = hesk_shm::sem_apply_retry(semid, ops, 2);
  if (err == 0) {
    HeskAccess::master_lock_semid(h) = semid;
    return false;
  }
  if (err == EAGAIN) {
    message("init(): another master (process %d) runs on the control partitions %s and %s: refused",
            hesk_shm::sem_getpid(semid, gbl_synch), h.clname, h.evname);
  } else {
    message("init(): cannot take the master lock of %s: %s", h.clname, strerror(err));
  }
  return true;
}

void release_master_lock(Hesk& h) {
  int semid = HeskAccess::master_lock_semid(h);
  if (semid < 0) return;
  HeskAccess::master_lock_semid(h) = -1;
  sembuf op;
  op.sem_num = gbl_synch;
  op.sem_op = -1;
  op.sem_flg = SEM_UNDO | IPC_NOWAIT;
  hesk_shm::sem_apply_retry(semid, &op, 1);
}

bool created_by_us_or_root(C_shm_buffer* b, const char* name) {
  shmid_ds seg;
  semid_ds sems;
  int shmid = atoi(b->getStat("shmid").c_str());
  if (hesk_shm::seg_stat(shmid, &seg) == 0 && !trusted_creator(seg.shm_perm.cuid)) {
    message("init(): partition %s was created by user %d, not by this user (%d) or root: refused",
            name, static_cast<int>(seg.shm_perm.cuid), static_cast<int>(geteuid()));
    return false;
  }
  if (hesk_shm::semset_stat(semset_of(b), &sems) == 0 && !trusted_creator(sems.sem_perm.cuid)) {
    message(
        "init(): the semaphore set of partition %s was created by user %d, not by this user (%d) "
        "or root: refused",
        name, static_cast<int>(sems.sem_perm.cuid), static_cast<int>(geteuid()));
    return false;
  }
  return true;
}

int event_layout_tag(C_shm_buffer* ev) {
  C_shm_buf* d = hesk_shm::PartitionRepair::descriptor(*ev, 0);
  if (d == nullptr || d->status != 0) return 0;
  return d->data_ID == 2010 || d->data_ID == 2024 ? d->data_ID : 0;
}

void set_event_layout_tag(C_shm_buffer* ev, bool b2024) {
  C_shm_buf* d = hesk_shm::PartitionRepair::descriptor(*ev, 0);
  if (d != nullptr) d->data_ID = b2024 ? 2024 : 2010;
}

}  // namespace hesk_mgr
