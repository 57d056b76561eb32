// One reading of a buffer manager, as the live view serves it: plain copies
// of what the control partitions, the stats partition and the data
// partitions held at one moment, taken by one thread once per interval and
// shared (read-only) by every answer until the next one.
#ifndef HESK_STATUS_SERVE_SNAPSHOT_H
#define HESK_STATUS_SERVE_SNAPSHOT_H

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "hesk_stats.h"

namespace live {

struct PartitionInfo {
  std::string name;
  std::string role;  // "client", "event", "stats" or "data"
  int shmid = -1;
  int buffers = 0;
  int free = 0;         // buffers in the free queue (by their free bits)
  int buffer_size = 0;  // bytes
  int users = 0;        // processes counted as users (gbl_count)
  int attached = 0;     // mappings of the segment now
  unsigned mode = 0;    // permission bits
  uid_t owner = 0;
  std::string owner_name;
  pid_t creator = 0;
};

struct ClientInfo {
  int slot = 0;
  int type = 0;  // CLI_T_READER, CLI_T_WRITER
  pid_t pid = 0;
  bool alive = false;
  std::string command;  // the process's name, when known
  int event_type = 0;
  int events = 0;  // completed (evcnt)
  double last_access = 0;
  int port = -1;  // readers
  int tmask = 0;
  int priority = 0;
  std::vector<std::string> blocks;  // server blocks announced (writers) or awaited (readers)
  int blocks_announced = 0;         // nsblocks as recorded
  // Over the events in flight: how many list this client, and in which state.
  int in_events = 0, waiting = 0, notified = 0, processing = 0;
  bool in_stuck_event = false;
};

struct EventClient {
  int slot = 0;
  int state = 0;  // BUF_MNG_CLI_STATUS
  int type = 0;   // of its client slot, 0 when unknown
};

struct EventBlock {
  std::string name;
  int shmid = 0, bnum = -1;
};

struct EventSlotInfo {
  int slot = 0;
  int event_type = 0;
  uint32_t key_s = 0, key_us = 0;
  int64_t event_id = 0;
  int blocks_expected = 0, blocks_filled = 0;
  int64_t size = 0;
  pid_t set_up_by = 0;
  double start = 0, last_update = 0;  // seconds since the epoch
  bool setting_up = false;            // a writer is setting it up now
  bool locked_copy = true;            // copied under the slot's lock
  bool stuck = false;
  std::vector<EventClient> clients;
  std::vector<EventBlock> blocks;
};

// The counts of the stats partition.
struct Counts {
  std::array<uint64_t, KOVA_EV_EVMAX> set_up{}, completed{}, freed{};
  uint64_t dropped = 0;
  std::array<uint64_t, HESK_RECLAIM_KINDS> reclaims{};
  int64_t created = 0;
  uint64_t total_set_up() const { return sum(set_up); }
  uint64_t total_completed() const { return sum(completed); }
  uint64_t total_freed() const { return sum(freed); }
  uint64_t total_reclaims() const { return sum(reclaims); }

 private:
  template <size_t N>
  static uint64_t sum(const std::array<uint64_t, N>& a) {
    return std::accumulate(a.begin(), a.end(), uint64_t{0});
  }
};

struct Snapshot {
  double time = 0;  // seconds since the epoch
  double duration = 0;
  std::string host;
  std::string client_partition, event_partition, stats_partition;
  // "running", "no master", "partitions missing", "several managers", "unreadable"
  std::string state;
  std::string message;  // what an operator should know, or empty
  bool found = false;   // the control partitions were read
  int layout = 0;       // 2010 or 2024
  pid_t master_pid = 0;
  bool master_alive = false;
  // Subscriptions as the client control block counts them.
  int clients_total = 0, readers = 0, writers = 0;
  int client_slots = 0;  // slots of the partition (not counting its control block)
  int event_slots = 0;
  std::vector<PartitionInfo> partitions;
  std::vector<ClientInfo> clients;
  std::vector<EventSlotInfo> events;
  int events_in_use = 0;
  bool clients_truncated = false, events_truncated = false;
  bool have_counts = false;
  Counts counts;
  std::vector<std::string> managers;  // when several are found without names
};

}  // namespace live

#endif  // HESK_STATUS_SERVE_SNAPSHOT_H
