// The bounded queue between the buffer manager's reader thread, which copies
// each delivered event into it, and the recorder's writer thread, which
// appends the events to the file. Its bound is in bytes: a push waits while
// the queued events and the new one would pass it (an event larger than the
// bound waits for an empty queue), and the time it waits is counted. Used
// buffers go back to a small spare list, so steady recording allocates
// nothing.
//
// Threads: any number of pushing and popping threads.
#ifndef HESK_RECORD_EVENT_QUEUE_H
#define HESK_RECORD_EVENT_QUEUE_H

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace hrec {

// One event record: `size` bytes at data(), room for `capacity`.
class EventBuffer {
 public:
  EventBuffer() = default;
  explicit EventBuffer(size_t capacity) : data_(new unsigned char[capacity]), capacity_(capacity) {}
  unsigned char* data() { return data_.get(); }
  size_t capacity() const { return capacity_; }
  size_t size = 0;

 private:
  std::unique_ptr<unsigned char[]> data_;
  size_t capacity_ = 0;
};

class EventQueue {
 public:
  explicit EventQueue(size_t capacity_bytes);

  // A buffer of at least `bytes`, from the spare list when one fits.
  EventBuffer take_buffer(size_t bytes);
  // Gives a written buffer back to the spare list.
  void give_back(EventBuffer b);

  // Queues the buffer, waiting for room; *waited_ns (if given) gets the time
  // it waited, 0 when there was room. False (the buffer not queued) once the
  // queue is closed.
  bool push(EventBuffer b, uint64_t* waited_ns = nullptr);
  // The oldest event; waits while the queue is empty and open. False once
  // closed and empty.
  bool pop(EventBuffer* out);
  // No more pushes (waiting ones return false at once); pop() drains what
  // is queued.
  void close();

  size_t capacity() const { return capacity_; }
  size_t queued_bytes() const;
  uint64_t waits() const;      // pushes that found no room
  uint64_t waited_ns() const;  // time they waited

 private:
  const size_t capacity_;
  mutable std::mutex mx_;
  std::condition_variable room_, ready_;
  std::deque<EventBuffer> events_;
  std::vector<EventBuffer> spare_;
  size_t queued_ = 0;
  bool closed_ = false;
  uint64_t waits_ = 0, waited_ns_ = 0;
};

}  // namespace hrec

#endif  // HESK_RECORD_EVENT_QUEUE_H
