// One event's way through the buffer manager, in one layout (2010 or 2024
// slots), chosen once per public call. Top to bottom:
//
//   writer, ev_update:    locate   the event's slot, found without a lock and
//                                  checked under the slot's lock, or taken
//                                  under event lock 0 and set up under its
//                                  own lock; the slot's lock stays held from
//                                  here on
//                         store    the block's entry, length, trigger, status
//                         settle   writers whose blocks are all in are done;
//                                  readers whose blocks are all in get their
//                                  datagram; a finished event is released
//   reader thread:        accept   the datagram, checked against the slot;
//                                  the reader is processing
//                         (the callback runs without a lock)
//                         complete the reader is done; the last client
//                                  settles the event under the slot's lock
//   release:              the buffers go back to their partitions and the
//                         slot to the free queue, under the slot's lock
//
// Each writer's deposit costs event lock 0 only when it sets up a new event;
// readers never take it. A process killed anywhere leaves its locks to the
// semaphores' undo and anything half done to the master's monitor.
#ifndef HESK_MANAGER_EVENT_PATH_H
#define HESK_MANAGER_EVENT_PATH_H

#include "event_records.h"
#include "slot_view.h"
#include "stats_count.h"

#include <array>
#include <vector>

namespace hesk_mgr {

// Datagrams decided under a slot's lock and sent once it is given back, so
// that a reader woken by one does not find the lock still held. Holds a few
// in place and more on the heap.
class Outbox {
 public:
  struct Item {
    unsigned char msg[sizeof(reader_message_2024)];
    size_t len = 0;
    int port = 0;
    int evslot = 0, clslot = 0, cln = 0;
    bool all = false;  // a reader that listed no blocks
  };
  void add(const Item& item) {
    if (n_ < kInPlace)
      in_place_[n_] = item;
    else
      more_.push_back(item);
    ++n_;
  }
  int count() const { return n_; }
  const Item& at(int k) const { return k < kInPlace ? in_place_[k] : more_[k - kInPlace]; }
  void clear() {
    n_ = 0;
    more_.clear();
  }

 private:
  static constexpr int kInPlace = 8;
  Item in_place_[kInPlace];
  std::vector<Item> more_;
  int n_ = 0;
};

// The clients of a new event and the placeholders it starts with, as
// planned from the client slots.
struct SetUpPlan {
  typedef std::array<char, KOVA_SBLOCK_NAME_LEN> Name;
  struct Client {
    kova_client_block block;
    int blocks;   // blocks a writer announced
    bool reader;  // its access time becomes the event's start
  };
  int evtype = -1;
  bool no_writer = false;  // this process writes no block of the type
  bool made = false;       // planned (false: a key-extraction function is missing)
  time_stamp start{0, 0};
  std::vector<Client> clients;
  std::vector<int> timed;    // writers whose process's reader part does not take it
  std::vector<Name> missed;  // names readers want that no writer announced
};

// Whether a plan cannot set a slot up; the reason is reported.
inline bool refused(const SetUpPlan& plan) {
  if (plan.no_writer)
    message("init_ev_slot(): no write registration found for event type: %d", plan.evtype);
  return !plan.made;
}

// What preparing a notification came to.
enum Prepared { kQueued, kNotWaiting, kFailed };

template <class L>
class EventPath {
 public:
  using Head = typename L::Head;
  using Block = typename L::Block;
  using Msg = typename L::Msg;

  explicit EventPath(Hesk& h) : h_(h) {}

  // --- writers (deposit.cc) ---
  bool deposit(KOVA_EVTYPE evtype, int id, int bnum);          // ev_update(evtype, id, bnum)
  bool store(KOVA_EVTYPE evtype, int id, int bnum, int slot);  // ev_update(..., slot)
  int find(KOVA_EVTYPE evtype, char* block);                   // find_ev_slot

  // --- set-up of a new slot (slot_setup.cc) ---
  bool setup(KOVA_EVTYPE evtype, int slot, char* block);  // init_ev_slot
  // Chooses the clients of a new event of the block (takes client lock 0).
  void plan(KOVA_EVTYPE evtype, char* block, SetUpPlan* plan);
  // Writes a new slot from its plan; true when it cannot be set up
  // (reported). REQUIRES: the slot's lock.
  bool write_setup(int slot, char* block, const SetUpPlan& plan);

  // --- settling and notification (settle.cc) ---
  // Counts the clients, queues the notifications in `out`, and releases a
  // finished event. REQUIRES: the slot's lock. Returns the readers notified.
  int settle(SlotLock& lock, Outbox* out);
  // Sends what settle queued; after the slot's lock is given back. Returns
  // the datagrams that could not be sent (their readers are forced done).
  int deliver(Outbox* out);
  int settle_unlocked(int evslot);  // cl_notify

  // --- notification datagrams (notify.cc) ---
  // Marks client block cln notified and prepares its datagram.
  // REQUIRES: the slot's lock.
  Prepared prepare(int evslot, int clslot, int cln, Outbox::Item* item);
  bool notify_one(int evslot, int clslot, int cln);                    // notification
  bool collected(int evslot, int clslot);                              // check_if_all_collected
  bool set_status(int evslot, int clslot, BUF_MNG_CLI_STATUS status);  // set_cl_status

  // --- the reader thread (reader_thread.cc) ---
  void receive(const Msg& m);

  // --- release (release.cc) ---
  // Gives the slot's buffers back, then the slot together with its lock.
  // REQUIRES: `lock` holds the slot, its record used.
  bool release(SlotLock& lock);
  bool free_slot(int evslot);                           // free_ev_slot
  bool withdraw(KOVA_EVTYPE evtype, int bnum, int id);  // return_buffer_in_pool_ext

 private:
  // The slot holding event k, locked in `lock`; with `create` a new slot is
  // set up for `block` when there is none. -1 when there is none (reported
  // when the mode is unknown or no slot is free).
  int locate(const EventKey& k, char* block, bool create, SlotLock* lock);
  int set_up_new(const EventKey& k, char* block, SlotLock* lock, SlotLock* lock0);
  // A held slot whose set-up was cut short by a killed writer is set up
  // anew from `block` (reported); false when it cannot be, and the slot was
  // freed. REQUIRES: the slot's lock, its record holding the block's event.
  bool finish_setup(int evtype, char* block, SlotLock* lock);
  bool key_of(int evtype, char* block, EventKey* k);
  bool store_locked(SlotLock& lock, KOVA_EVTYPE evtype, int id, int bnum, char* block, Outbox* out);
  void undelivered(const Outbox::Item& item);
  bool accept(const Msg& m, bool* forced_done);
  // The common case of accept and complete without the slot's lock (see
  // reader_thread.cc); false when the locked way must decide.
  bool accept_unlocked(const Msg& m);
  bool complete_unlocked(const Msg& m);
  void complete(const Msg& m);
  bool complete_locked(SlotLock& lock, const Msg& m, Outbox* out);

  Hesk& h_;
};

// The id as the manager's messages print it: the 2010 view's 32-bit id as a
// signed 32-bit number, the 2024 id as it is.
inline long shown_id(const kova_event_slot_head& h) {
  return static_cast<int32_t>(h.eventid);
}
inline long shown_id(const kova_event_slot_head_2024& h) {
  return static_cast<long>(h.eventid);
}
inline long shown_id(const kova_serv_block_head_2010& b) {
  return b.mpulse;
}
inline long shown_id(const kova_serv_block_head_2024& b) {
  return static_cast<long>(b.mpulse);
}

// A block of the other generation than the slot layout would be read with the
// wrong field offsets: it is refused (reported).
template <class L>
bool generation_mismatch(const char* block, const char* who) {
  if (is_block_2024(block) == L::k2024) return false;
  message("%s: %s server block refused: the event slots use the %s layout", who,
          L::k2024 ? "2010" : "2024", L::k2024 ? "2024" : "2010");
  return true;
}

// Runs fn with the event path of the layout in force: the one place where a
// public call chooses between the 2010 and the 2024 slots.
template <typename Fn>
auto with_layout(Hesk& h, Fn fn) {
  return h.evid64bitmode ? fn(EventPath<Layout2024>(h)) : fn(EventPath<Layout2010>(h));
}

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_EVENT_PATH_H
