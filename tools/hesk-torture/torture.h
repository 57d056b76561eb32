// hesk-torture: a master, writers and readers of the buffer manager as real
// processes, with writers, readers and the master killed (SIGKILL) and
// restarted at random moments, and the invariants that must hold afterwards.
//
// Processes meet through an anonymous shared mapping made before they are
// forked (lock-free counters and the delivery ledger) and through the
// manager's own partitions.
#ifndef HESK_TORTURE_H
#define HESK_TORTURE_H

#include <atomic>
#include <csignal>
#include <cstdint>
#include <string>

namespace torture {

constexpr int kMaxWriters = 8;
constexpr int kMaxReaders = 8;
constexpr int kDataBuffers = 32;
constexpr int kBufferLength = 1024;
constexpr int kPayload = 256;  // pattern bytes after the block head

struct Options {
  int seconds = 10;
  int writers = 3;
  int readers = 2;
  int tick_us = 2000;      // one event per writer every tick
  int monitor_us = 50000;  // the master's monitor period
  unsigned seed = 1;
  bool layout_2024 = false;  // 64-bit event ids and 2024 blocks
  bool master_kills = true;
  bool quiet = false;    // the summary line only
  bool verbose = false;  // the processes' own messages too
  std::string prefix;    // partition names: <prefix>.cl, .ev, .w<i>
};

// Per tick of the run: which writers' blocks were accepted (bits 0-7) and
// which readers were given the event (bits 8-15).
struct TickEntry {
  std::atomic<uint32_t> bits;
};

// Counters shared by all processes, followed by the ledger of `ticks`
// entries from tick `first_tick` on.
struct Shared {
  std::atomic<int> stop_writers;
  std::atomic<uint64_t> blocks_sent;
  std::atomic<uint64_t> blocks_refused;
  std::atomic<uint64_t> events_checked;
  std::atomic<uint64_t> duplicates;  // an event seen twice by one reader
  std::atomic<uint64_t> splits;      // blocks of several events in one event
  std::atomic<uint64_t> corrupt;     // a block whose contents are wrong
  std::atomic<int> master_ready;
  // When each reader's current process finished subscribing (µs), 0 before.
  std::atomic<long long> reader_since[kMaxReaders];
  uint32_t first_tick;   // as writers number ticks: (µs / tick_us) & 0x7fffffff
  long long first_tick_us;  // when that tick began
  uint32_t ticks;
  TickEntry ledger[1];  // `ticks` entries

  TickEntry* entry(uint32_t tick) {
    return tick >= first_tick && tick - first_tick < ticks ? &ledger[tick - first_tick] : nullptr;
  }
};

static_assert(std::atomic<uint64_t>::is_always_lock_free, "shared counters must be lock-free");
static_assert(std::atomic<long long>::is_always_lock_free, "shared counters must be lock-free");

std::string data_name(const Options& o, int writer);
long long now_us();

// The roles, each run in a forked child; they return the exit status.
int run_master(const Options& o, Shared* s);
int run_writer(const Options& o, Shared* s, int index);
int run_reader(const Options& o, Shared* s, int index);

// Set by SIGTERM in a child: end cleanly.
extern volatile sig_atomic_t g_terminate;
void install_terminate_handler();

}  // namespace torture

#endif  // HESK_TORTURE_H
