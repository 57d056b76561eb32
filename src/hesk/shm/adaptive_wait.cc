#include "adaptive_wait.h"

#include <time.h>

namespace hesk_shm {

long long monotonic_us() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

int AdaptiveWait::pause_us() {
  if (pause_pays_.load(std::memory_order_relaxed) >= kPaysEnough) return pause_us_;
  return waits_.fetch_add(1, std::memory_order_relaxed) % kProbeEvery == 0 ? pause_us_ : 0;
}

void AdaptiveWait::pause_paid(bool paid) {
  int p = pause_pays_.load(std::memory_order_relaxed);
  pause_pays_.store(p + ((paid ? 1000 : 0) - p) / 16, std::memory_order_relaxed);
}

void AdaptiveWait::came(bool yielded) {
  pause_paid(!yielded);
  if (!yielded) return;
  int b = budget_us_.load(std::memory_order_relaxed);
  budget_us_.store(b < max_us_ / 2 ? 2 * b : max_us_, std::memory_order_relaxed);
}

void AdaptiveWait::slept() {
  pause_paid(false);
  int b = budget_us_.load(std::memory_order_relaxed);
  budget_us_.store(b / 2 > min_us_ ? b / 2 : min_us_, std::memory_order_relaxed);
}

}  // namespace hesk_shm
