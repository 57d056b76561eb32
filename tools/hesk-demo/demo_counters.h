// Kernel event counters (perf events) over one process and the threads and
// processes it starts after the counter is opened: system calls entered,
// context switches. Where the kernel refuses a counter it reads as -1.
#ifndef HESK_DEMO_COUNTERS_H
#define HESK_DEMO_COUNTERS_H

#include <cstdint>

namespace demo {

class KernelCounter {
 public:
  // Unavailable: reads -1.
  KernelCounter() = default;
  // Opened disabled; start() enables it.
  KernelCounter(uint32_t type, uint64_t config);
  ~KernelCounter();
  KernelCounter(const KernelCounter&) = delete;
  KernelCounter& operator=(const KernelCounter&) = delete;

  // Counts system calls entered (tracepoint raw_syscalls/sys_enter).
  static KernelCounter syscalls();
  static KernelCounter context_switches();

  void start();
  void stop();
  // The count so far, -1 when the counter is unavailable.
  long long value() const;

  KernelCounter(KernelCounter&& other) noexcept;

 private:
  int fd_ = -1;
};

}  // namespace demo

#endif  // HESK_DEMO_COUNTERS_H
