// The end-to-end run of the buffer manager on this host, shared by the demo
// and the benchmark: this process is the master; writer and reader
// processes are forked before any thread exists. Writers each own a data
// partition and deliver their server block of every event; readers either
// list server blocks they wait for or take whole events. Progress and
// results travel through an anonymous shared mapping.
//
// A run ends the same way whatever ends it (its number of events, its time,
// an interrupt, or its output closed): every writer delivers the same last
// event, every reader drains until it has each event it waits for, then
// every process stops. A second interrupt stops at once. Worker processes
// end by themselves when the master process ends.
//
// run_demo() leaves no partition behind, also when interrupted (SIGINT,
// SIGTERM, SIGHUP) and when its output is a pipe whose reader went away
// (SIGPIPE is ignored during the run). Not reentrant: one run per process
// at a time.
#ifndef HESK_DEMO_ENGINE_H
#define HESK_DEMO_ENGINE_H

#include <cstdint>
#include <string>
#include <vector>

// The recorded run: experiment and stream in the archive.
constexpr const char* kRecordExp = "chain";
constexpr const char* kRecordStream = "demo";

struct DemoConfig {
  int writers = 3;
  int listing_readers = 1;      // readers that list the first writer's block
  int whole_readers = 2;        // readers that take whole events
  long events = 5000;           // 0: run for `seconds`
  double seconds = 0;           // used when events is 0
  int block_size = 4096;        // bytes of every server block
  double rate = 0;              // events offered per second; 0: as fast as they go
  bool layout_2024 = false;     // 2024 server blocks and event slots
  bool progress = true;         // progress on standard error
  bool count_syscalls = false;  // system calls per event of each role
  int data_buffers = 64;        // buffers of each writer's data partition
  int event_slots = 128;
  std::string name_prefix;  // partition names; default "hesk-demo.<pid>"
  // Recording: hesk-record's engine as one more reader, writing every event
  // into the archive under record_root (empty: a fresh temporary root,
  // removed after a good run), read back and compared at the end.
  bool record = true;
  std::string record_root;
};

struct ReaderResult {
  std::string name;
  bool listing = false;
  uint64_t expected = 0;    // events it waits for: whole readers every event
                            // built, listing readers every block of W1
  uint64_t events = 0;      // callbacks
  uint64_t incomplete = 0;  // events missing a block the reader waits for
  uint64_t corrupted = 0;   // events whose fast or slow channel read back wrong
  uint64_t bytes = 0;       // server-block bytes seen
  double p50_us = 0, p99_us = 0;
};

struct DemoResult {
  bool ok = false;            // nothing lost, incomplete, corrupted, refused or left behind
  bool interrupted = false;   // stopped early by a signal or a closed output
  std::string error;          // why the run could not start or finish
  uint64_t events_built = 0;  // events every writer delivered
  uint64_t refused = 0;       // blocks the manager refused
  uint64_t lost = 0;          // expected deliveries that never came
  uint64_t incomplete = 0;
  uint64_t corrupted = 0;
  double elapsed_s = 0;
  double events_per_s = 0;
  double mb_per_s = 0;            // server-block bytes delivered per second
  double p50_us = 0, p99_us = 0;  // writer-to-callback latency over all readers
  std::vector<ReaderResult> readers;
  int partitions_left = 0;  // partitions of this run still on the host at the end
  // The recording (when on): the archive root and run, events the recorder
  // wrote, files the selection found for the run, events read back from
  // them, and those wrong, twice or missing; whether the root stays.
  std::string record_root;
  int record_run = 0;
  bool record_kept = false;
  uint64_t events_recorded = 0, record_files = 0, events_read_back = 0, events_mismatched = 0;
  std::string record_error;
  // System calls per event built, of one writer, one reader (averages over
  // each role) and the master process; -1 when not counted.
  double syscalls_writer = -1, syscalls_reader = -1, syscalls_master = -1;
};

// Partition names of a run with that prefix ("<prefix>.cl", "<prefix>.ev").
std::string demo_client_partition(const std::string& prefix);
std::string demo_event_partition(const std::string& prefix);
std::string demo_default_prefix();

DemoResult run_demo(const DemoConfig& cfg);

#endif  // HESK_DEMO_ENGINE_H
