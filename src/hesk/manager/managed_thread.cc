// Starting and stopping the manager's threads, and the process-wide stop
// signal.
#include "managed_thread.h"

#include <signal.h>

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace hesk_mgr {

namespace {
void stop_signal_handler(int) {}
}  // namespace

void install_stop_handler() {
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = stop_signal_handler;
  sigemptyset(&sa.sa_mask);
  sigaddset(&sa.sa_mask, SIGABRT);
  sa.sa_flags = 0;  // no automatic restart: blocking calls return EINTR
  sigaction(SIGABRT, &sa, nullptr);
}

void block_host_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGIO, SIGINT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2}) sigaddset(&set, s);
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

bool ManagedThread::start(void* (*entry)(void*), void* arg, const char* attr_failed,
                          const char* create_failed) {
  if (running_) return false;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    printf("%s", attr_failed);
    return true;
  }
  install_stop_handler();
  sigset_t unblock, previous;
  sigemptyset(&unblock);
  sigaddset(&unblock, SIGABRT);
  pthread_sigmask(SIG_UNBLOCK, &unblock, &previous);
  running_ = pthread_create(&id_, &attr, entry, arg) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attr);
  if (!running_) printf("%s", create_failed);
  return !running_;
}

void ManagedThread::stop(const char* kill_failed, const char* join_failed) {
  if (!running_) return;
  running_ = false;
  if (pthread_equal(id_, pthread_self())) {
    pthread_detach(id_);
  } else if (pthread_kill(id_, SIGABRT) != 0) {
    if (kill_failed) printf(kill_failed, static_cast<long>(id_));
    pthread_join(id_, nullptr);
  } else if (pthread_join(id_, nullptr) != 0) {
    if (join_failed) printf("%s", join_failed);
  }
  fflush(stdout);
}

}  // namespace hesk_mgr
