// Counters shared by the demo's processes through an anonymous shared
// mapping made before the fork: lock-free atomics only, so they work across
// processes.
#ifndef HESK_DEMO_SHARED_H
#define HESK_DEMO_SHARED_H

#include <atomic>
#include <cmath>
#include <cstdint>

namespace demo {

constexpr int kMaxWriters = 16;
constexpr int kMaxReaders = 16;
constexpr int kBuckets = 16 * 40;  // 16 steps per power of two, up to 2^40 us

// Log-linear latency histogram bucket of a value in microseconds (~4% wide).
inline int bucket_of(double us) {
  if (us < 16) return us < 0 ? 0 : static_cast<int>(us);
  int e = static_cast<int>(std::floor(std::log2(us)));
  int sub = static_cast<int>((us / std::ldexp(1.0, e) - 1.0) * 16);
  int b = e * 16 + sub;
  return b >= kBuckets ? kBuckets - 1 : b;
}
inline double bucket_value(int b) {
  if (b < 16) return b;
  int e = b / 16, sub = b % 16;
  return std::ldexp(1.0, e) * (1.0 + (sub + 0.5) / 16.0);
}

struct WriterStats {
  std::atomic<uint64_t> sent;
  std::atomic<uint64_t> refused;
  std::atomic<int> exit_code;
};

struct ReaderStats {
  std::atomic<uint64_t> events;
  std::atomic<uint64_t> incomplete;
  std::atomic<uint64_t> corrupted;  // events with a wrong or missing channel value
  std::atomic<uint64_t> bytes;
  std::atomic<uint64_t> hist[kBuckets];
};

struct Shared {
  std::atomic<int> ready;
  std::atomic<int> go;
  std::atomic<int> stop;
  std::atomic<int> writers_done;
  std::atomic<long> limit;  // events each writer delivers
  WriterStats w[kMaxWriters];
  ReaderStats r[kMaxReaders];
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "shared counters must be lock-free");

}  // namespace demo

#endif  // HESK_DEMO_SHARED_H
