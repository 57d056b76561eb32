// Counts of one buffer manager that outlive its processes: events set up,
// completed (every client done) and freed, per event type; notification
// datagrams its readers dropped; what its master's monitor reclaimed. They
// live in a small partition of their own beside the two control partitions,
// named after the event partition with the suffix ".stats", so that the
// control partitions keep their layouts. The master creates it (or re-uses
// the one a predecessor left, counts and all); every process of the manager
// attaches it at init when it exists, and adds to the counts with relaxed
// atomic adds on the mapped words: no lock, no system call. Readers (the
// live view of hesk-status) map it read-only and compute rates from
// successive readings.
//
// The partition has one buffer; the block below lies at byte offset
// HESK_STATS_OFFSET of the segment (the first 64-byte boundary in the
// buffer), so that every count is a naturally aligned 64-bit word. Counts
// only grow; a partition made anew starts them again at 0.
#ifndef HESK_HESK_STATS_H
#define HESK_HESK_STATS_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "event.h"

// "HSKSTATS" in the first eight bytes of the block.
constexpr uint64_t HESK_STATS_MAGIC = 0x53544154534b5348ull;
constexpr uint32_t HESK_STATS_VERSION = 1;
// Offset of the block from the start of the segment.
constexpr int HESK_STATS_OFFSET = 384;
// Length of the partition's single buffer (its data starts at offset 348).
constexpr int HESK_STATS_BUFFER = 1024;

// What the monitor reclaimed, by kind.
enum hesk_stats_reclaim {
  HESK_RECLAIM_EVENT_SLOT = 0,   // stalled event slots freed, slots taken but never used
  HESK_RECLAIM_CLIENT_SLOT = 1,  // client slots of processes that are gone
  HESK_RECLAIM_BUFFER = 2,       // buffers taken by writers that are gone
  HESK_RECLAIM_KINDS = 4
};

struct alignas(64) hesk_stats_block {
  uint64_t magic;    // HESK_STATS_MAGIC once the master has set the block up
  uint32_t version;  // HESK_STATS_VERSION
  uint32_t size;     // sizeof(hesk_stats_block)
  int64_t created;   // seconds since the epoch when the counts started
  uint64_t reserved[5];
  uint64_t events_set_up[KOVA_EV_EVMAX];     // event slots set up, by event type
  uint64_t events_completed[KOVA_EV_EVMAX];  // events whose clients were all done
  uint64_t events_freed[KOVA_EV_EVMAX];      // event slots freed, for whatever reason
  uint64_t datagrams_dropped;                // notifications a reader could not act on
  uint64_t reserved2[7];
  uint64_t reclaims[HESK_RECLAIM_KINDS];  // by hesk_stats_reclaim
  uint64_t reserved3[4];
};

static_assert(sizeof(hesk_stats_block) == 960, "hesk_stats_block size");
static_assert(offsetof(hesk_stats_block, events_set_up) == 64, "events_set_up offset");
static_assert(offsetof(hesk_stats_block, datagrams_dropped) == 832, "datagrams_dropped offset");
static_assert(offsetof(hesk_stats_block, reclaims) == 896, "reclaims offset");
static_assert(HESK_STATS_OFFSET % 64 == 0 && HESK_STATS_OFFSET >= 300 + 48,
              "the block lies in buffer 0, 64-byte aligned");
static_assert(HESK_STATS_OFFSET - (300 + 48) + sizeof(hesk_stats_block) <= HESK_STATS_BUFFER,
              "the block fits in the buffer");

// The name of the stats partition of the manager whose event partition is
// `event_partition`; empty when the name would not fit in a partition name
// (255 characters).
inline std::string hesk_stats_partition_name(const char* event_partition) {
  static const char kSuffix[] = ".stats";
  if (event_partition == nullptr) return std::string();
  size_t n = strnlen(event_partition, 256);
  if (n == 0 || n + sizeof(kSuffix) - 1 > 255) return std::string();
  return std::string(event_partition, n) + kSuffix;
}

#endif  // HESK_HESK_STATS_H
