// The recorder: a reader of this host's buffer manager that writes every
// event it is handed into the event archive.
//
// The reader callback only copies the event (slot head and server blocks)
// into the bounded queue and returns; the writer thread appends the events
// to the run's current file (daqfile::StreamWriter, network byte order),
// starts a new file per --file-events or --file-mb, and at each file's
// close lists it in the run catalog and the index file. When the queue is
// full the callback waits, so the buffer manager holds the writers back
// through their pools and nothing is dropped.
//
// The event header of each record comes from the event slot:
//   event_type    <- the slot's event type
//   event_time    <- the slot's key (the time stamp of its first block)
//   event_number  <- the slot's event id (2010: 32 bits, the OR of the
//                    blocks' ids; 2024: 64 bits, the id of its last block)
//   tmask, status <- the OR of the blocks' trigger masks and status words
//   num_svr_block <- the blocks present, in the slot's order (placeholders
//                    of blocks that never came are left out)
//   event_length  <- header + the blocks' ltotal + tail
// The server blocks are copied as delivered. A block that cannot be reached,
// is not of the recorder's generation or whose length does not fit its
// buffer makes the event "malformed": reported, counted, not recorded.
//
// Threads: the caller's thread (start, run), the buffer manager's reader
// thread (the callback) and the writer thread. One recorder per process
// (it sets the process's generation and archive roots).
#ifndef HESK_RECORD_RECORDER_H
#define HESK_RECORD_RECORDER_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "record_options.h"

namespace hrec {

// What a recording has done so far; lock-free atomics, so they may live in
// memory shared with another process.
struct Counters {
  std::atomic<uint64_t> delivered{0};  // events the buffer manager handed over
  std::atomic<uint64_t> written{0};    // events written to files
  std::atomic<uint64_t> bytes{0};      // bytes of those events
  std::atomic<uint64_t> files{0};      // files closed whole and listed
  std::atomic<uint64_t> malformed{0};  // events not recorded: they do not walk
  std::atomic<uint64_t> lost{0};       // handed over after a failure, not recorded
  std::atomic<uint64_t> waits{0};      // callbacks that found the queue full
  std::atomic<uint64_t> waited_ns{0};  // time they waited
};

class Recorder {
 public:
  // `counters`: where to count (default: the recorder's own).
  explicit Recorder(const Options& options, Counters* counters = nullptr);
  ~Recorder();
  Recorder(const Recorder&) = delete;
  Recorder& operator=(const Recorder&) = delete;

  // Repairs what an earlier recorder of the run left, attaches to the buffer
  // manager, subscribes and starts the writer thread. False with error().
  bool start();
  // Records until *stop becomes true or writing fails; then releases the
  // subscriptions, writes what is queued, closes the open file whole and
  // lists it. 0 when everything went to files, 1 after a failure.
  int run(const std::atomic<bool>* stop);

  const std::string& error() const;
  // Lines for the end: events, files, bytes, time, rate; waits.
  std::string summary() const;
  const Counters& counters() const;
  std::vector<std::string> files() const;  // files closed whole, in order

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

// hesk-record --recover: makes the files whole and lists them in their
// run's catalog and index file. 0 when every file is whole and listed.
int recover_files(const Options& options);

}  // namespace hrec

#endif  // HESK_RECORD_RECORDER_H
