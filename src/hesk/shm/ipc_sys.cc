// System V calls of the partition layer, each in one place.
#include "ipc_sys.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "SysError.h"

namespace hesk_shm {

namespace {

// The caller defines semun for semctl.
union semun {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

}  // namespace

int ipc_mode() {
  const char* text = std::getenv("HESK_IPC_MODE");
  if (text == nullptr || *text == '\0') return kDefaultIpcMode;
  char* end = nullptr;
  long mode = std::strtol(text, &end, 8);
  if (*end != '\0' || mode < 0 || mode > 0777) {
    static std::atomic<bool> warned{false};
    if (!warned.exchange(true)) {
      std::fprintf(stderr, "HESK_IPC_MODE=%s is not an octal mode; using %04o\n", text,
                   kDefaultIpcMode);
    }
    return kDefaultIpcMode;
  }
  return static_cast<int>(mode) & 0666;
}

int seg_find(key_t key, size_t min_size) {
  // Asks for read and write access, whatever the segment's mode.
  return shmget(key, min_size, 0600);
}

int seg_create_excl(key_t key, size_t size) {
  return shmget(key, size, IPC_CREAT | IPC_EXCL | ipc_mode());
}

char* seg_attach(int shmid) {
  void* p = shmat(shmid, nullptr, 0);
  if (p == reinterpret_cast<void*>(-1)) return nullptr;
  return static_cast<char*>(p);
}

void seg_detach(const void* addr) {
  if (addr != nullptr) shmdt(addr);
}

int seg_mark_removed(int shmid) {
  return shmctl(shmid, IPC_RMID, nullptr);
}

int seg_stat(int shmid, shmid_ds* ds) {
  return shmctl(shmid, IPC_STAT, ds);
}

bool seg_removed(int shmid) {
  shmid_ds ds;
  return shmctl(shmid, IPC_STAT, &ds) != 0 || (ds.shm_perm.mode & SHM_DEST) != 0;
}

int seg_lock(int shmid, bool on) {
  return shmctl(shmid, on ? SHM_LOCK : SHM_UNLOCK, nullptr);
}

int semset_create(int nsems) {
  return semget(IPC_PRIVATE, nsems, IPC_CREAT | ipc_mode());
}

int semset_remove(int semid) {
  return semctl(semid, 0, IPC_RMID);
}

int semset_stat(int semid, semid_ds* ds) {
  semun arg;
  arg.buf = ds;
  return semctl(semid, 0, IPC_STAT, arg);
}

int semset_setall(int semid, unsigned short* values) {
  semun arg;
  arg.array = values;
  return semctl(semid, 0, SETALL, arg);
}

int sem_getval(int semid, int num) {
  return semctl(semid, num, GETVAL);
}

int sem_getpid(int semid, int num) {
  return semctl(semid, num, GETPID);
}

int sem_setval(int semid, int num, int value) {
  semun arg;
  arg.val = value;
  return semctl(semid, num, SETVAL, arg);
}

int sem_apply(int semid, sembuf* ops, size_t nops) {
  return semop(semid, ops, nops) == 0 ? 0 : errno;
}

int sem_apply_retry(int semid, sembuf* ops, size_t nops) {
  for (;;) {
    if (semop(semid, ops, nops) == 0) return 0;
    if (errno != EINTR) return errno;
  }
}

void throw_sys_error(int err) {
  errno = err;
  throw SysError();
}

SegmentOwner::~SegmentOwner() {
  if (id_ >= 0) seg_mark_removed(id_);
}

SemSetOwner::~SemSetOwner() {
  if (id_ >= 0) semset_remove(id_);
}

}  // namespace hesk_shm
