// A reader of this host's buffer manager for monitors written in Python.
//
// The buffer manager's reader thread hands each event to event_handler,
// which copies the asked channels out of the event's server blocks (client
// data access: fast channels by name, slow-control values through the
// process's local copies) and returns at once, so the event is reported done
// without waiting for Python. The copies wait in a bounded queue; when it is
// full the oldest event is dropped and counted as skipped.
//
// Threads: event_handler runs on the reader thread; next(), close() and the
// counters on any thread. Nothing here touches the interpreter.
#ifndef HESK_PY_ONLINE_READER_H
#define HESK_PY_ONLINE_READER_H

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "Hesk.h"

namespace heskpy {

struct OnlineEvent {
  uint64_t number = 0;
  int32_t type = 0;
  double time = 0;  // the event's key, seconds since the epoch
  std::vector<std::pair<std::string, std::vector<float>>> channels;  // the ones it held
};

struct ReaderOptions {
  std::vector<int> types;             // event types subscribed to
  std::vector<std::string> channels;  // names as asked (with an optional ":k")
  std::vector<std::string> blocks;    // server blocks waited for
  bool wait_for_blocks = false;       // false: notified when every writer is done
  size_t max_queue = 1024;
};

class OnlineReader : public Hesk {
 public:
  // Attaches to the control partitions and subscribes; throws heskpy::Error
  // when this host's buffer manager cannot be reached with that layout.
  OnlineReader(const ReaderOptions& options, bool layout_2024);
  ~OnlineReader() override;

  void event_handler(void* head, kova_client_sblock_data* blocks) override;

  enum class Wait { kEvent, kTimeout, kClosed };
  // The oldest queued event; waits up to `timeout_ms` (negative: no limit).
  Wait next(OnlineEvent* out, long timeout_ms);

  // Unsubscribes and detaches; events still queued remain readable.
  void close();
  bool closed() const;
  uint64_t skipped() const;
  uint64_t received() const;
  bool layout_2024() const { return evid64bitmode; }

 private:
  struct Wanted {
    std::string asked;  // the name as given: the key of the result
    std::string block;  // the sub-block's name
    int subchan;        // -1: every channel of the block
  };
  void copy_channels(void* head, kova_client_sblock_data* blocks, OnlineEvent* ev);

  ReaderOptions opt_;
  std::vector<Wanted> wanted_;
  mutable std::mutex mx_;
  std::condition_variable ready_;
  std::deque<OnlineEvent> queue_;
  uint64_t skipped_ = 0;
  uint64_t received_ = 0;
  bool closed_ = false;
  std::mutex close_mx_;  // one close at a time
};

// A reader of the layout in force on this host: 2010 or 2024 as asked, or
// (layout 0) whichever the control partitions accept.
std::unique_ptr<OnlineReader> open_reader(const ReaderOptions& options, int layout);

// The event type named by `text` (a number 0-31 or a name such as "NORMAL",
// any case); -1 when there is none.
int event_type_of(const std::string& text);

}  // namespace heskpy

#endif  // HESK_PY_ONLINE_READER_H
