// Life of a partition handle: construction, find by name or id, creation,
// access counting, release and removal, and the forced zeroing of the user
// count (Zeuss).
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <limits>
#include <vector>

#include "C_shm.h"
#include "SysError.h"
#include "ipc_sys.h"

namespace {

// Whether the stored (possibly unterminated) partition name equals name.
bool same_name(const char (&stored)[256], const char* name) {
  return std::strncmp(stored, name, sizeof(stored)) == 0;
}

bool our_format(const C_shm_global* g) {
  return __atomic_load_n(&g->version, __ATOMIC_ACQUIRE) == C_SHM_VERSION;
}

constexpr int kSemValueMax = 32767;

}  // namespace

void C_shm::init_fields() {
  shm_error = NoError;
  pointer = nullptr;
  conptr = nullptr;
  bufptr = nullptr;
  more_sems = false;
  attached = false;
  accessed = false;
  kpflg = false;
  NByte = 0;
  NBuff = 0;
  ident = -1;
  link = nullptr;
  mLockCount.store(0, std::memory_order_relaxed);
  mSegSize = 0;
}

C_shm::C_shm() {
  init_fields();
  shm_error = NotAttached;
  link_object();
}

C_shm::C_shm(const char* name) {
  init_fields();
  link_object();
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  try {
    if (!find(name)) access();
  } catch (const SysError&) {
    if (shm_error == NoError) shm_error = CantGetSem;
  }
  if (!accessed) {
    if (shm_error == NoError) shm_error = NotAttached;
    release_keeping();
  }
}

C_shm::C_shm(int shmid) {
  init_fields();
  link_object();
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  try {
    if (!find(shmid)) access();
  } catch (const SysError&) {
    if (shm_error == NoError) shm_error = CantGetSem;
  }
  if (!accessed) {
    if (shm_error == NoError) shm_error = NotAttached;
    release_keeping();
  }
}

C_shm::C_shm(const char* name, int nbuf, int lbuf, bool sems) {
  init_fields();
  link_object();
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  bool created = false;
  try {
    if (find(name)) {
      more_sems = sems;
      if (!make(name, nbuf, lbuf)) {
        created = true;
        access();
      }
    } else if (access() && (NBuff < nbuf || NByte < lbuf)) {
      deaccess();
      shm_error = IncompatiblePartition;
    }
  } catch (const SysError&) {
    if (shm_error == NoError) shm_error = CantGetSem;
  }
  if (!accessed) {
    if (shm_error == NoError) shm_error = NotAttached;
    // A partition made here goes again; one that was found and refused stays
    // as it was, together with every other object's mapping of it.
    if (created) {
      release();
    } else {
      release_keeping();
    }
  }
}

C_shm::C_shm(C_shm& other) {
  init_fields();
  mLockCount.store(other.mLockCount.load(std::memory_order_relaxed), std::memory_order_relaxed);
  link_object();
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  if (!other.attached) return;
  if (!attach_id(other.ident)) {
    shm_error = CantAttach;
    return;
  }
  try {
    access();
  } catch (const SysError&) {
    if (shm_error == NoError) shm_error = CantGetSem;
  }
  if (!accessed) release_keeping();
}

C_shm::~C_shm() {
  try {
    release();
  } catch (...) {
    // release reports its own failures; a destructor must not throw.
  }
  unlink_object();
}

bool C_shm::find(const char* name) {
  if (attached || name == nullptr) return true;
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);

  // An object of this process already attached to a partition of that name
  // lends its mapping; then wait until nobody holds the gate. A partition
  // removed meanwhile (still mapped by its last users) is not found by name.
  for (C_shm* o = base; o != nullptr; o = o->link) {
    if (o == this || !o->attached || o->pointer == nullptr) continue;
    if (!same_name(o->pointer->name, name) || hesk_shm::seg_removed(o->ident)) continue;
    if (!attach_id(o->ident)) break;
    if (our_format(pointer)) {
      gate_wait();
      gate(false);
    }
    return false;
  }

  for (key_t key = hesk_shm::kFirstKey; key < hesk_shm::kEndKey; ++key) {
    int id = hesk_shm::seg_find(key, sizeof(C_shm_global));
    if (id < 0) continue;
    if (!attach_id(id)) {
      int err = errno;
      // Removed meanwhile, or not ours to read: not a partition we can use.
      if (err == EIDRM || err == EINVAL || err == EACCES) continue;
      std::perror("C_shm_find - shmget");
      std::printf("SYSERROR: %d\n", err);
      shm_error = CantAttach;
      return true;
    }
    if (same_name(pointer->name, name)) return false;
    detach_mapping();
  }
  return true;
}

bool C_shm::find(int shmid) {
  if (attached) return true;
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  if (attach_id(shmid)) return false;
  int err = errno;
  std::perror("C_shm_find - shmget");
  std::printf("SYSERROR: %d\n", err);
  shm_error = (err == EACCES || err == EPERM) ? NoPriviledge : CantAttach;
  return true;
}

bool C_shm::make(const char* name, int nbuf, int lbuf) {
  if (attached) return false;
  const long long size = C_shm_size(nbuf, lbuf);
  if (name == nullptr || nbuf < 0 || lbuf < 0 || size > std::numeric_limits<int32_t>::max()) {
    errno = EINVAL;
    std::perror("shmget");
    shm_error = CantCreate;
    return true;
  }

  // The first key nobody holds. The creation itself is exclusive, so two
  // processes searching at once never end up on one key.
  int id = -1;
  for (key_t key = hesk_shm::kFirstKey; key < hesk_shm::kEndKey && id < 0; ++key) {
    id = hesk_shm::seg_create_excl(key, static_cast<size_t>(size));
    if (id < 0 && errno != EEXIST) {
      std::perror("shmget");
      shm_error = CantCreate;
      return true;
    }
  }
  if (id < 0) {
    shm_error = NoFreeID;
    return true;
  }
  hesk_shm::SegmentOwner segment(id);

  // Map it through the registry; no other object can know the new id yet.
  if (!attach_id(id)) {
    int err = errno;
    std::perror("C_shm_make - error");
    shm_error = CantAttach;
    errno = err;
    std::perror("shmat");
    return true;
  }

  // A semaphore holds at most SEMVMX (32767): gbl_empty counts nbuf.
  const int nsems = gbl_nsems + (more_sems ? nbuf : 0);
  hesk_shm::SemSetOwner semset(nbuf <= kSemValueMax ? hesk_shm::semset_create(nsems) : -1);
  std::vector<unsigned short> values(static_cast<size_t>(nsems), 1);
  values[gbl_empty] = static_cast<unsigned short>(nbuf);
  values[gbl_full] = 0;
  values[gbl_synch] = 0;
  if (nbuf > kSemValueMax) errno = ERANGE;
  if (semset.get() < 0 || hesk_shm::semset_setall(semset.get(), values.data()) != 0) {
    std::perror("C_shm_make - error allocating global sems");
    shm_error = CantCreateSem;
    detach_mapping();
    return true;
  }

  // The segment arrives zero-filled. Build everything, then publish: the
  // version, then the name with its first byte last, so that a concurrent
  // search by name or id never uses a half-built partition.
  C_shm_global* g = pointer;
  auto* bufs = reinterpret_cast<C_shm_buf*>(reinterpret_cast<char*>(g) + C_SHM_GLOBAL_SIZE);
  g->gbl_count = 0;
  g->gbl_semid = semset.get();
  g->status = C_SHM_RELEASE | C_SHM_SCAVAGE;
  g->nbuf = nbuf;
  g->lbuf = lbuf;
  g->sems = more_sems ? 1 : 0;
  g->full.init();
  g->free.init();
  for (int i = 0; i < nbuf; ++i) {
    C_shm_buf& d = bufs[i];
    d.use_count = 0;
    d.ldata = 0;
    d.trig = 0;
    d.evt_count = 0;
    d.boff = static_cast<int32_t>(C_shm_data_offset(nbuf) + static_cast<long long>(i) * lbuf);
    d.status |= C_SHM_BUF_FREE;
    d.link = -1;
    g->free.link(bufs, nbuf, i);
  }
  __atomic_store_n(&g->version, C_SHM_VERSION, __ATOMIC_RELEASE);
  const size_t len = strnlen(name, sizeof(g->name) - 1);
  if (len > 1) std::memcpy(g->name + 1, name + 1, len - 1);
  __atomic_store_n(&g->name[0], len > 0 ? name[0] : '\0', __ATOMIC_RELEASE);

  semset.release();
  segment.release();
  return false;
}

bool C_shm::layout_fits() const {
  const C_shm_global* g = pointer;
  if (g->nbuf < 0 || g->lbuf < 0) return false;
  return C_shm_size(g->nbuf, g->lbuf) <= mSegSize;
}

bool C_shm::access() {
  if (!attached || accessed) return false;
  if (!our_format(pointer)) {
    shm_error = BadVersion;
    return false;
  }
  if (!layout_fits()) {
    shm_error = IncompatiblePartition;
    return false;
  }
  gate_wait();
  ++pointer->gbl_count;
  gate(false);
  bufptr = reinterpret_cast<C_shm_buf*>(reinterpret_cast<char*>(pointer) + C_SHM_GLOBAL_SIZE);
  conptr = reinterpret_cast<C_shm_consbk*>(bufptr);
  NBuff = pointer->nbuf;
  NByte = pointer->lbuf;
  more_sems = pointer->sems != 0;
  accessed = true;
  return true;
}

void C_shm::deaccess() {
  if (!accessed) return;
  gate_wait();
  --pointer->gbl_count;
  gate(false);
  accessed = false;
}

bool C_shm::remove_partition() {
  // The segment first: it only disappears when its last mapping goes, and a
  // refusal (not the owner) leaves the partition whole.
  if (hesk_shm::seg_mark_removed(ident) != 0) {
    std::perror("shmctl");
    shm_error = NoPriviledge;
    return false;
  }
  const int semid = pointer->gbl_semid;
  semid_ds ds;
  if (hesk_shm::semset_stat(semid, &ds) == 0) {
    const unsigned long want =
        gbl_nsems + (pointer->sems ? static_cast<unsigned long>(pointer->nbuf) : 0UL);
    // Only a set of the partition's own shape is taken down with it.
    if (ds.sem_nsems == want && hesk_shm::semset_remove(semid) != 0) {
      std::perror("semctl");
      shm_error = NoPriviledge;
    }
  }
  return true;
}

void C_shm::leave_partition() {
  // Only a partition of this format is ever locked or removed on release:
  // a segment of unknown layout (found by id, or of another version) is
  // merely unmapped.
  const bool removable = !kpflg && our_format(pointer) && layout_fits();
  if (!accessed && !removable) return;
  try {
    gate_wait();
  } catch (const SysError&) {
    // The semaphore set is gone: nobody can become a user any more.
    accessed = false;
    if (removable && pointer->gbl_count <= 0) hesk_shm::seg_mark_removed(ident);
    return;
  }
  if (accessed) {
    --pointer->gbl_count;
    accessed = false;
  }
  // Decided under the gate, so no other process can become a user between
  // the last user leaving and the removal. Removing the set drops the gate.
  if (removable && pointer->gbl_count == 0 && remove_partition()) return;
  gate(false);
}

void C_shm::release() {
  if (!attached) return;
  try {
    leave_partition();
  } catch (const SysError&) {
    accessed = false;  // reported by the gate
  }
  detach_mapping();
}

void C_shm::release_keeping() {
  const bool keep_flag = kpflg;
  kpflg = true;
  release();
  kpflg = keep_flag;
}

void C_shm::Zeuss(const char* name) {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  if (attached) {
    std::cerr << "Zeuss: Can't zero user count - partition is attached." << std::endl;
    return;
  }
  try {
    if (find(name)) return;
  } catch (const SysError&) {
    // Found, but its semaphore set is gone: zeroing still lets it be removed.
  }
  if (!attached) return;
  shmid_ds ds;
  const uid_t me = geteuid();
  if (hesk_shm::seg_stat(ident, &ds) != 0 ||
      (me != 0 && ds.shm_perm.uid != me && ds.shm_perm.cuid != me)) {
    shm_error = NoPriviledge;
    release_keeping();
    return;
  }
  try {
    gate_wait();
    pointer->gbl_count = 0;
    gate(false);
  } catch (const SysError&) {
    pointer->gbl_count = 0;
  }
  kpflg = false;
  shm_error = NoError;
}
