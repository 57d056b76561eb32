// Counters shared by the demo's processes through an anonymous shared
// mapping made before the fork: lock-free atomics only, so they work across
// processes.
//
// How a run ends. Writers deliver events 0, 1, 2, ... each; a run ends when
// every writer has delivered the same number of events (`limit`) and every
// reader has what it waits for. With a number of events the limit is known
// from the start. Otherwise (time up, interrupt) the master closes the run:
// it sets `closing`, then fixes `limit` to the most events any writer has
// started, so no writer ends in the middle of an event the others deliver.
// A writer announces an event in `started` before it looks at `closing`;
// one that sees `closing` waits for `limit_fixed` and goes on up to the
// limit. `stop` ends every process at once (after the drain, or on an
// error or a second interrupt). The recorder, a reader of its own, is
// stopped through `rec_stop` before the others, so that it closes its last
// file whole.
#ifndef HESK_DEMO_SHARED_H
#define HESK_DEMO_SHARED_H

#include <atomic>
#include <cmath>
#include <cstdint>

#include "recorder.h"

namespace demo {

constexpr int kMaxWriters = 16;
constexpr int kMaxReaders = 16;
constexpr int kBuckets = 16 * 40;  // 16 steps per power of two, up to 2^40 us
constexpr long kOpenLimit = 1L << 62;

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
  std::atomic<long> started;  // events this writer has begun (announced)
  std::atomic<uint64_t> sent;
  std::atomic<uint64_t> refused;
  std::atomic<long long> syscalls;  // while delivering; -1 when not counted
  std::atomic<int> exit_code;
};

struct ReaderStats {
  std::atomic<uint64_t> events;
  std::atomic<uint64_t> incomplete;
  std::atomic<uint64_t> corrupted;  // events with a wrong or missing channel value
  std::atomic<uint64_t> bytes;
  std::atomic<long long> syscalls;  // from the start of the run to the stop; -1: not counted
  std::atomic<uint64_t> hist[kBuckets];
};

struct Shared {
  std::atomic<int> ready;
  std::atomic<int> go;
  std::atomic<int> closing;
  std::atomic<int> limit_fixed;
  std::atomic<long> limit;  // events every writer delivers
  std::atomic<int> stop;
  std::atomic<int> writers_done;
  std::atomic<int> workers;      // worker processes started
  std::atomic<int> orphans_out;  // workers that left after the master was gone
  WriterStats w[kMaxWriters];
  ReaderStats r[kMaxReaders];
  hrec::Counters rec;          // the recorder's figures
  std::atomic<bool> rec_stop;  // ends the recording (its file closed whole)
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "shared counters must be lock-free");
static_assert(std::atomic<long long>::is_always_lock_free, "shared counters must be lock-free");
static_assert(std::atomic<bool>::is_always_lock_free, "shared flags must be lock-free");

}  // namespace demo

#endif  // HESK_DEMO_SHARED_H
