// Thin layer over the System V calls of the partition layer: every shmget,
// shmat, shmdt, shmctl, semget, semop and semctl of libHesk goes through these
// helpers. They return the kernel's answer (an id, an address or 0) or a
// failure value with errno set, retry EINTR where the caller asks for it, and
// turn errno into a SysError in one place. The RAII owners hold a segment or
// a semaphore set while a partition is being built, so a failed creation
// removes whatever it had already made.
//
// Stateless functions; safe from any thread.
#ifndef HESK_SHM_IPC_SYS_H
#define HESK_SHM_IPC_SYS_H

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/types.h>

#include <cstddef>

namespace hesk_shm {

// Keys searched for partitions: 32 .. 1055.
constexpr key_t kFirstKey = 32;
constexpr key_t kEndKey = 1056;

// Extra no-wait tries of a semaphore operation that found a lock busy,
// before waiting in the kernel.
constexpr int kBusyRetries = 2;
// How a slot lock or gate found busy is waited for (adaptive_wait.h): looked
// for with CPU pauses for kPauseMicros, then after yields until a budget
// between kLookMinMicros and kLookMaxMicros, learned from recent waits, has
// passed; only then does the taker sleep in the kernel.
constexpr int kPauseMicros = 10;
constexpr int kLookMinMicros = 100;
constexpr int kLookMaxMicros = 2000;

// Permission bits of every segment and semaphore set the libraries create:
// 0660 (owner and group), or the octal mode in HESK_IPC_MODE (e.g. 0666 to
// let every local user in). Execute bits are dropped; an unreadable value
// is reported once and the default is used.
constexpr int kDefaultIpcMode = 0660;
int ipc_mode();

// --- segments --------------------------------------------------------------

// Id of the existing segment under key that is at least min_size bytes and
// that this process may read and write; -1 with errno otherwise.
int seg_find(key_t key, size_t min_size);
// Creates a segment of size bytes under key, failing with EEXIST when the key
// is already taken (by anyone, at any size). Permissions ipc_mode().
int seg_create_excl(key_t key, size_t size);
// Maps segment shmid read-write; nullptr with errno on failure.
char* seg_attach(int shmid);
void seg_detach(const void* addr);
// Marks the segment for removal; the kernel frees it at the last detach.
int seg_mark_removed(int shmid);
int seg_stat(int shmid, shmid_ds* ds);
// Whether the segment is gone or marked for removal (no longer found by key).
bool seg_removed(int shmid);
int seg_lock(int shmid, bool on);

// --- semaphores ------------------------------------------------------------

// A private set of nsems semaphores, permissions ipc_mode(); -1 with errno.
int semset_create(int nsems);
int semset_remove(int semid);
int semset_stat(int semid, semid_ds* ds);
int semset_setall(int semid, unsigned short* values);
int sem_getval(int semid, int num);
// Process id of the last operation on semaphore num; -1 with errno.
int sem_getpid(int semid, int num);
int sem_setval(int semid, int num, int value);

// One semop attempt: 0 on success, else the errno value (EINTR included).
int sem_apply(int semid, sembuf* ops, size_t nops);
// Tells the CPU this is a spin loop (saves power, yields to a sibling thread).
inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  asm volatile("" ::: "memory");
#endif
}

// As sem_apply, retrying while interrupted by a signal.
int sem_apply_retry(int semid, sembuf* ops, size_t nops);

// Sets errno to err and throws SysError.
[[noreturn]] void throw_sys_error(int err);

// --- owners used while a partition is built ---------------------------------

// Owns a segment id: marks the segment for removal unless released.
class SegmentOwner {
 public:
  explicit SegmentOwner(int shmid) : id_(shmid) {}
  ~SegmentOwner();
  SegmentOwner(const SegmentOwner&) = delete;
  SegmentOwner& operator=(const SegmentOwner&) = delete;
  int release() {
    int id = id_;
    id_ = -1;
    return id;
  }

 private:
  int id_;
};

// Owns a semaphore set: removes it unless released.
class SemSetOwner {
 public:
  explicit SemSetOwner(int semid) : id_(semid) {}
  ~SemSetOwner();
  SemSetOwner(const SemSetOwner&) = delete;
  SemSetOwner& operator=(const SemSetOwner&) = delete;
  int get() const { return id_; }
  int release() {
    int id = id_;
    id_ = -1;
    return id;
  }

 private:
  int id_;
};

}  // namespace hesk_shm

#endif  // HESK_SHM_IPC_SYS_H
