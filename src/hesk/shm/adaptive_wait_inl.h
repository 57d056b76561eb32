// The waiting loop of adaptive_wait.h.
#ifndef HESK_SHM_ADAPTIVE_WAIT_INL_H
#define HESK_SHM_ADAPTIVE_WAIT_INL_H

#include <sched.h>

#include "ipc_sys.h"

namespace hesk_shm {

template <typename Attempt, typename Sleep>
void adaptive_wait(AdaptiveWait& policy, Attempt attempt, Sleep sleep) {
  const long long start = monotonic_us();
  const int budget = policy.budget_us();
  const int pause = policy.pause_us();
  bool yielded = false;
  for (long long spent = 0; spent < budget; spent = monotonic_us() - start) {
    if (spent < pause) {
      for (int k = 0; k < 200; ++k) cpu_relax();
    } else {
      sched_yield();
      yielded = true;
    }
    if (attempt()) {
      policy.came(yielded);
      return;
    }
  }
  policy.slept();
  sleep();
}

}  // namespace hesk_shm

#endif  // HESK_SHM_ADAPTIVE_WAIT_INL_H
