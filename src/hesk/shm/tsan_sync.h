// ThreadSanitizer does not know that System V semaphores order memory
// accesses. The partition layer tells it: taking a lock acquires, giving it
// back releases, a sync object whose address is unique per lock and process
// (an address inside the process's one mapping of the partition). Without
// ThreadSanitizer these are empty inline functions.
#ifndef HESK_SHM_TSAN_SYNC_H
#define HESK_SHM_TSAN_SYNC_H

#if defined(__SANITIZE_THREAD__)
#define HESK_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define HESK_TSAN 1
#endif
#endif

#ifdef HESK_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace hesk_shm {

inline void sync_acquired(const void* lock) {
#ifdef HESK_TSAN
  __tsan_acquire(const_cast<void*>(lock));
#else
  (void)lock;
#endif
}

inline void sync_releasing(const void* lock) {
#ifdef HESK_TSAN
  __tsan_release(const_cast<void*>(lock));
#else
  (void)lock;
#endif
}

}  // namespace hesk_shm

#endif  // HESK_SHM_TSAN_SYNC_H
