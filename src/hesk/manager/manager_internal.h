// Internal helpers of the buffer manager: slot locks held for a scope, the
// two shared-memory layouts as traits, typed access to client slots, event
// slots and control records, and the process-wide flags read by several
// threads.
//
// Lock order, everywhere: event lock 0, then an event slot's own lock, then
// client lock 0, then a client slot's own lock; a partition's gate (taken
// inside the partition layer when buffers are taken or returned) is last.
// A lock is never waited for while a lock later in this order is held.
#ifndef HESK_MANAGER_INTERNAL_H
#define HESK_MANAGER_INTERNAL_H

#include <netinet/in.h>

#include <cstdarg>
#include <cstring>

#include "Hesk.h"
#include "managed_thread.h"
#include "monitor_state.h"
#include "udp_socket.h"

namespace hesk_mgr {

// Formats a diagnostic and prints it through hesk_dump_message.
void message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// The current time of day.
time_stamp now();
inline double micros(const time_stamp& t) {
  return t.timeup * 1e6 + t.timelow;
}

// Holds slot lock `slot` of a partition for a scope. The lock is retried
// until granted (a refusal means an interrupted wait); a partition without
// access or a slot outside it is never locked.
class SlotLock {
 public:
  SlotLock() = default;
  SlotLock(const C_shm* shm, int slot) { take(shm, slot); }
  // A set removed meanwhile has nothing left to give back to.
  ~SlotLock() {
    try {
      release();
    } catch (...) {
    }
  }
  SlotLock(const SlotLock&) = delete;
  SlotLock& operator=(const SlotLock&) = delete;
  // Takes the lock (giving back one held before); false when it cannot be.
  bool take(const C_shm* shm, int slot) {
    release();
    if (shm == nullptr || !shm->valid() || slot < 0 || slot >= shm->getBufferCount()) return false;
    while (!shm->ctrl(slot, true)) {
      if (!shm->valid()) return false;
    }
    shm_ = shm;
    slot_ = slot;
    held_ = true;
    return true;
  }
  // Takes over a lock the caller already holds.
  void adopt(const C_shm* shm, int slot) {
    release();
    shm_ = shm;
    slot_ = slot;
    held_ = true;
  }
  // The lock was given back by other means (together with something else).
  void forget() { held_ = false; }
  bool held() const { return held_; }
  int slot() const { return held_ ? slot_ : -1; }
  void release() {
    if (held_) {
      held_ = false;
      shm_->ctrl(slot_, false);
    }
  }

 private:
  const C_shm* shm_ = nullptr;
  int slot_ = -1;
  bool held_ = false;
};

// Like SlotLock, but gives up when `go` is cleared (the monitor's waits).
bool lock_unless_stopped(const C_shm* shm, int slot, const std::atomic<bool>& go);

// The 2010 and 2024 layouts of the event partition and their blocks.
struct Layout2010 {
  using Head = kova_event_slot_head;
  using Ctrl = kova_event_ctrl_block;
  using Block = kova_serv_block_head_2010;
  using Msg = reader_message;
  static constexpr bool k2024 = false;
};
struct Layout2024 {
  using Head = kova_event_slot_head_2024;
  using Ctrl = kova_event_ctrl_block_2024;
  using Block = kova_serv_block_head_2024;
  using Msg = reader_message_2024;
  static constexpr bool k2024 = true;
};

inline bool valid_evtype(int t) {
  return t >= 0 && t < KOVA_EV_EVMAX;
}

// The function registered for evtype in one of the key-extraction maps, or null.
template <typename Map>
typename Map::mapped_type lookup(const Map& m, int evtype) {
  auto it = m.find(evtype);
  return it == m.end() ? nullptr : it->second;
}

// Whether a server block carries the 2024 pattern in its first eight bytes.
inline bool is_block_2024(const char* block) {
  uint64_t first;
  memcpy(&first, block, sizeof(first));
  return first == KOVA_SB_PATTERN_2024;
}

inline kova_client_block* client_blocks(void* head, size_t head_size) {
  return reinterpret_cast<kova_client_block*>(static_cast<char*>(head) + head_size);
}

inline kova_client_reader* reader_part(kova_client_slot_head* s) {
  return reinterpret_cast<kova_client_reader*>(reinterpret_cast<char*>(s) + sizeof(*s));
}
inline kova_client_writer* writer_part(kova_client_slot_head* s) {
  return reinterpret_cast<kova_client_writer*>(reinterpret_cast<char*>(s) + sizeof(*s));
}

// Names a client slot can hold, by its type, in a partition of lbuf bytes.
inline int name_capacity(int cltype, int lbuf) {
  long base = static_cast<long>(sizeof(kova_client_slot_head)) +
              (cltype == CLI_T_READER ? sizeof(kova_client_reader) : sizeof(kova_client_writer));
  long room = (lbuf - base) / KOVA_SBLOCK_NAME_LEN;
  return room > 0 ? static_cast<int>(room) : 0;
}

// Typed access to one object's partitions and private state.
struct HeskAccess {
  static kova_client_slot_head* client_slot(const Hesk& h, int c) {
    if (h.cl_buf == nullptr || c < 1) return nullptr;
    return reinterpret_cast<kova_client_slot_head*>(h.cl_buf->buffer_addr(c));
  }
  template <class L>
  static typename L::Head* event_slot(const Hesk& h, int s) {
    if (h.ev_buf == nullptr || s < 1) return nullptr;
    return reinterpret_cast<typename L::Head*>(h.ev_buf->buffer_addr(s));
  }
  template <class L>
  static typename L::Ctrl* record(const Hesk& h, int s) {
    void* base = L::k2024 ? static_cast<void*>(h.evtctrl2024) : static_cast<void*>(h.evtctrl);
    if (base == nullptr || s < 1 || s >= event_slot_count(h)) return nullptr;
    return static_cast<typename L::Ctrl*>(base) + (s - 1);
  }
  static int client_slot_count(const Hesk& h) { return h.cl_buf ? h.cl_buf->getBufferCount() : 0; }
  static int event_slot_count(const Hesk& h) { return h.ev_buf ? h.ev_buf->getBufferCount() : 0; }
  static int event_slot_length(const Hesk& h) { return h.ev_buf ? h.ev_buf->getBufferLength() : 0; }
  static std::atomic<bool>& ready(Hesk& h) { return h.ready_; }
  static std::atomic<bool>& monitor_run(Hesk& h) { return h.monitor_run_; }
  static std::atomic<bool>& reader_run(Hesk& h) { return h.reader_run_; }
  static UdpSocket& send_socket(Hesk& h) { return *h.send_sock_; }
  static UdpSocket& reader_socket(Hesk& h) { return *h.reader_sock_; }
  static ManagedThread& reader_thread(Hesk& h) { return *h.reader_thread_; }
  static ManagedThread& monitor_thread(Hesk& h) { return *h.monitor_thread_; }
  static MonitorState& monitor_state(Hesk& h) { return *h.monitor_state_; }
  static std::unique_ptr<StatsPartition>& stats(Hesk& h) { return h.stats_; }
  static hesk_stats_block* stats_block(const Hesk& h) {
    return h.stats_block_.load(std::memory_order_relaxed);
  }
  static void set_stats_block(Hesk& h, hesk_stats_block* b) { h.stats_block_.store(b); }
  static std::mutex& lists_mutex(Hesk& h) { return h.lists_mx_; }
  static int& master_lock_semid(Hesk& h) { return h.master_lock_semid_; }
  static std::recursive_mutex& pool_mutex(Hesk& h) { return h.pool_mx_; }
  static buf_map_ids& pool_by_id(Hesk& h) { return h.buffers_ids; }
  static void map_partition(Hesk& h, C_shm_buffer* b) { h.map_buffer(b); }
};

// Whether this process holds a writer slot of evtype.
bool holds_writer_of(Hesk& h, int evtype);
// Whether client slot c is one of this object's reader slots.
bool holds_reader_slot(Hesk& h, int c);

// Whether process pid is known to be gone: kill(pid, 0) fails with ESRCH.
// A process of another user (EPERM) is alive. pid <= 0 is not a process.
bool process_gone(int pid);

// Frees the client slot of a process that is gone.
// REQUIRES: the caller holds slot lock 0 of the client partition.
void kick_out(Hesk& h, int slot);

// The client slot's access time and completed-event count, changed
// atomically: several processes and threads update them without a lock.
void touch_client(kova_client_slot_head* s, const time_stamp& t, bool completed);
time_stamp client_atime(const kova_client_slot_head* s);

// Process-wide flags and counters read and written by several threads.
inline int debug_selector() {
  return __atomic_load_n(&KOVA_DAQ_HESK_DEBUG, __ATOMIC_RELAXED);
}
// Bad or dropped datagrams: while fewer than 20 were counted in the process
// a message is printed and then the datagram is counted; beyond 20 they are
// dropped silently and no longer counted.
inline bool bad_datagram_reports_left() {
  return __atomic_load_n(&hesk_bad_format_events, __ATOMIC_RELAXED) < 20;
}
inline void count_bad_datagram() {
  int seen = __atomic_load_n(&hesk_bad_format_events, __ATOMIC_RELAXED);
  while (seen < 20 && !__atomic_compare_exchange_n(&hesk_bad_format_events, &seen, seen + 1, true,
                                                   __ATOMIC_RELAXED, __ATOMIC_RELAXED)) {
  }
}

// Sleeps `usec` microseconds, waking early when `go` is cleared.
void sleep_while(const std::atomic<bool>& go, unsigned long usec);

// Resolves "localhost" once per process (true on failure, reported), and
// gives its first IPv4 address (false when it cannot be had).
bool resolve_localhost();
bool localhost_address(struct in_addr* out);

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_INTERNAL_H
