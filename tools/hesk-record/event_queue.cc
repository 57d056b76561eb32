// The recorder's bounded event queue.
#include "event_queue.h"

#include <chrono>

namespace hrec {

namespace {
constexpr size_t kSpares = 64;
}

EventQueue::EventQueue(size_t capacity_bytes) : capacity_(capacity_bytes) {}

EventBuffer EventQueue::take_buffer(size_t bytes) {
  {
    std::lock_guard<std::mutex> lock(mx_);
    for (size_t i = spare_.size(); i-- > 0;) {
      if (spare_[i].capacity() < bytes) continue;
      EventBuffer b = std::move(spare_[i]);
      spare_[i] = std::move(spare_.back());
      spare_.pop_back();
      b.size = 0;
      return b;
    }
  }
  // Some headroom, so that a buffer serves events that grow a little.
  return EventBuffer(bytes + bytes / 8 + 64);
}

void EventQueue::give_back(EventBuffer b) {
  std::lock_guard<std::mutex> lock(mx_);
  if (spare_.size() < kSpares) spare_.push_back(std::move(b));
}

bool EventQueue::push(EventBuffer b, uint64_t* waited_ns) {
  std::unique_lock<std::mutex> lock(mx_);
  const size_t n = b.size;
  auto fits = [&] { return closed_ || queued_ == 0 || queued_ + n <= capacity_; };
  if (waited_ns != nullptr) *waited_ns = 0;
  if (!fits()) {
    const auto t0 = std::chrono::steady_clock::now();
    ++waits_;
    room_.wait(lock, fits);
    const uint64_t ns = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - t0)
            .count());
    waited_ns_ += ns;
    if (waited_ns != nullptr) *waited_ns = ns;
  }
  if (closed_) return false;
  queued_ += n;
  events_.push_back(std::move(b));
  ready_.notify_one();
  return true;
}

bool EventQueue::pop(EventBuffer* out) {
  std::unique_lock<std::mutex> lock(mx_);
  ready_.wait(lock, [&] { return closed_ || !events_.empty(); });
  if (events_.empty()) return false;
  *out = std::move(events_.front());
  events_.pop_front();
  queued_ -= out->size;
  room_.notify_all();
  return true;
}

void EventQueue::close() {
  std::lock_guard<std::mutex> lock(mx_);
  closed_ = true;
  room_.notify_all();
  ready_.notify_all();
}

size_t EventQueue::queued_bytes() const {
  std::lock_guard<std::mutex> lock(mx_);
  return queued_;
}

uint64_t EventQueue::waits() const {
  std::lock_guard<std::mutex> lock(mx_);
  return waits_;
}

uint64_t EventQueue::waited_ns() const {
  std::lock_guard<std::mutex> lock(mx_);
  return waited_ns_;
}

}  // namespace hrec
