// What the demo's events carry and what its readers check. Event i is keyed
// kKeyBase + i seconds. Most events are normal events: every writer's server
// block holds one one-channel spectrum "W<n>.CH0" that fills the block; its
// first kSamples samples are known values, and the spare entries 30 and 31 of
// its statistics record (marked not set) carry the send time for the
// latency.
// Every 100th event, from the first, is a heart beat, event 50 of each
// hundred an environment event and events 5, 15, ..., 95 update events: the
// first writer's block then carries slow control (heart beat: dictionary,
// environment values and updates; environment event: environment values;
// update event: updates) with values known from i; the other writers send a
// block without channels, in an environment event with one environment block
// without entries (every block of an environment event holds one).
//
// A reader checks, per event, one fast channel (found by name, then its
// samples) and one slow channel (refused in normal events; in the others the
// value this event wrote). Any wrong value makes the event corrupted.
#ifndef HESK_DEMO_EVENTS_H
#define HESK_DEMO_EVENTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Hesk.h"
#include "demo_engine.h"

namespace demo {

constexpr uint32_t kKeyBase = 1700000000;
constexpr int kSamples = 8;

KOVA_EVTYPE event_type(long i);

// The smallest server block that holds a normal event's sub-blocks.
long min_block_size(bool b2024);
// Buffer length of a writer's data partition: the block size, or the longest
// slow-control block (a heart beat's) when that is longer.
long buffer_length(const DemoConfig& cfg);

// Writes server block `writer` of event i at p (room for cfg.block_size
// bytes); a normal event's block carries send_us.
void fill_block(char* p, const DemoConfig& cfg, int writer, long i, uint64_t send_us);

// The send time of a normal event's block, 0 for other blocks.
uint64_t send_time(const char* block, bool b2024);

// Reads and checks one event through the client functions, for a reader
// whose callback was handed (head, blocks) by `reader`.
class EventChecker {
 public:
  EventChecker(const DemoConfig& cfg, bool listing);
  // false when a value was wrong or a channel was missing.
  bool check(Hesk* reader, void* head, kova_client_sblock_data* blocks);

 private:
  bool check_fast(Hesk* reader, void* head, kova_client_sblock_data* blocks, long i);
  bool check_slow(Hesk* reader, void* head, kova_client_sblock_data* blocks, int type, long i);

  const DemoConfig& cfg_;
  bool listing_;
  std::vector<std::string> blocks_;    // "W1", "W2", ...
  std::vector<std::string> channels_;  // "W1.CH0", ...
};

// Checks events read back from the recorded files (host order, the demo's
// layout) against what the writers sent: the header the recorder made from
// the event slot, each writer's block, its channel samples through the
// channel accessors, and the slow values through the environment dictionary
// of the heart beats (events come in file order).
class RecordChecker {
 public:
  explicit RecordChecker(const DemoConfig& cfg) : cfg_(cfg) {}
  // True when the event is right; *i gets its index (-1 when unknown).
  bool check(const unsigned char* ev, size_t length, long* i);

 private:
  const DemoConfig& cfg_;
  std::vector<unsigned char> dict_;  // the last heart beat's dictionary sub-block
};

}  // namespace demo

#endif  // HESK_DEMO_EVENTS_H
