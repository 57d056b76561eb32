// How a waiter waits for a busy lock or an empty socket. Sleeping in the
// kernel costs a wake-up (on a virtual machine more than a whole event), and
// a sleeper on a System V semaphore is handed the lock when it is given back
// even while it is not running: with more processes than CPUs, every writer
// of an event then queues behind one that waits for a CPU, and the CPUs go
// idle (a convoy). So a waiter
//   1. looks again for a few microseconds, pausing the CPU between looks:
//      the holder on another CPU lets go within that (this step is left out
//      while it seldom pays, as when processes outnumber the CPUs, but for
//      a probe now and then);
//   2. then gives its CPU to whoever can run (sched_yield) and looks again
//      after each turn: a holder that was preempted gets the CPU, and the
//      lock goes to whoever runs first, not to a sleeper; on an idle host
//      the yield returns at once;
//   3. and sleeps in the kernel only when that took longer than a budget,
//      which follows how recent waits ended: it doubles when a wait ended
//      while yielding and halves when one had to sleep.
//
// One policy per kind of wait and process; safe from any thread (relaxed
// atomics: a lost update only shifts the budget).
#ifndef HESK_SHM_ADAPTIVE_WAIT_H
#define HESK_SHM_ADAPTIVE_WAIT_H

#include <atomic>

namespace hesk_shm {

// Monotonic microseconds.
long long monotonic_us();

class AdaptiveWait {
 public:
  // pause_us: how long step 1 lasts; min_us .. max_us: the range of the
  // budget of steps 1 and 2 together.
  AdaptiveWait(int pause_us, int min_us, int max_us)
      : pause_us_(pause_us), min_us_(min_us), max_us_(max_us), budget_us_(max_us) {}

  // How long step 1 lasts for this wait (0: left out).
  int pause_us();
  int budget_us() const { return budget_us_.load(std::memory_order_relaxed); }
  // A wait ended while looking (after yielding when `yielded`), or had to
  // sleep.
  void came(bool yielded);
  void slept();

 private:
  static constexpr int kPaysEnough = 250;  // per mille of waits that step 1 ends
  static constexpr unsigned kProbeEvery = 16;
  void pause_paid(bool paid);

  const int pause_us_, min_us_, max_us_;
  std::atomic<int> budget_us_;
  std::atomic<int> pause_pays_{1000};
  std::atomic<unsigned> waits_{0};
};

// Waits until `attempt` (true: done) succeeds, in the three steps above;
// `sleep` waits in the kernel.
template <typename Attempt, typename Sleep>
void adaptive_wait(AdaptiveWait& policy, Attempt attempt, Sleep sleep);

}  // namespace hesk_shm

#include "adaptive_wait_inl.h"

#endif  // HESK_SHM_ADAPTIVE_WAIT_H
