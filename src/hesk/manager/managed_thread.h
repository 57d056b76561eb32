// One thread of the manager (a reader or monitor thread), owned: started
// with the host program's signals blocked in it, stopped by SIGABRT (which
// interrupts its blocking calls) and joined. Stopping from the thread itself
// detaches it instead; it then ends after its loop sees the cleared run flag.
#ifndef HESK_MANAGER_MANAGED_THREAD_H
#define HESK_MANAGER_MANAGED_THREAD_H

#include <pthread.h>

namespace hesk_mgr {

class ManagedThread {
 public:
  ManagedThread() = default;
  ~ManagedThread() { stop(nullptr, nullptr); }
  ManagedThread(const ManagedThread&) = delete;
  ManagedThread& operator=(const ManagedThread&) = delete;

  // Starts entry(arg). Prints attr_failed or create_failed (to standard
  // output) and returns true on failure; false when running.
  bool start(void* (*entry)(void*), void* arg, const char* attr_failed, const char* create_failed);
  // Interrupts and joins the thread. kill_failed (a format taking the thread
  // id as long) and join_failed are printed when those steps fail.
  void stop(const char* kill_failed, const char* join_failed);

  bool running() const { return running_; }
  pthread_t id() const { return id_; }

 private:
  pthread_t id_{};
  bool running_ = false;
};

// Installs the do-nothing SIGABRT handler that interrupts blocking calls of
// the manager's threads (handler mask SIGABRT, no automatic restart).
void install_stop_handler();
// Blocks the signals that belong to the host program's threads (SIGIO,
// SIGINT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2) in the calling thread.
void block_host_signals();

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_MANAGED_THREAD_H
