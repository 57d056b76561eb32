// Bounded views of the records other processes write: an event slot and a
// client slot. Every count the manager takes from shared memory (client
// blocks, server-block entries, names) is read here and checked against the
// slot it lives in: a count below 0 or one that would reach past the slot
// makes the view unsound, and the caller refuses to act on it instead of
// reading or writing outside the slot.
//
// A view reads the counts when asked; the caller holds whatever lock makes
// them stable (the event slot's own lock for an event slot).
#ifndef HESK_MANAGER_SLOT_VIEW_H
#define HESK_MANAGER_SLOT_VIEW_H

#include "manager_internal.h"

namespace hesk_mgr {

// A client block's status. Readers move their own block from notified to
// processing and from processing to done without the slot's lock; every
// other change is made under it. So every read and write of a status is
// atomic (sequentially consistent: a reader that marks itself done and then
// looks at the others, and a writer that marks itself done and then looks at
// the readers, cannot both miss that the event is finished).
inline int status_of(const kova_client_block& b) {
  return __atomic_load_n(&b.status, __ATOMIC_SEQ_CST);
}
inline void set_status_of(kova_client_block& b, int status) {
  __atomic_store_n(&b.status, static_cast<int32_t>(status), __ATOMIC_SEQ_CST);
}
// Moves the status from `from` to `to`; false (and *seen the status found)
// when it was not `from`.
inline bool move_status(kova_client_block& b, int from, int to, int* seen = nullptr) {
  int32_t expected = from;
  bool moved = __atomic_compare_exchange_n(&b.status, &expected, static_cast<int32_t>(to), false,
                                           __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  if (seen) *seen = expected;
  return moved;
}

// The words of a slot that readers read without its lock (the head's key,
// id, type and client count, and the client blocks) are written with atomic
// stores: a reader may still look at a slot that was freed and is being set
// up again, and rejects what it finds there.
template <typename T>
inline void store_shared(T* field, T value) {
  __atomic_store_n(field, value, __ATOMIC_RELAXED);
}
// Zeroes n bytes (a multiple of 4 from a 4-byte aligned start) word by word
// with atomic stores.
inline void clear_shared(void* start, size_t n) {
  int32_t* w = static_cast<int32_t*>(start);
  for (size_t k = 0; k < n / sizeof(int32_t); ++k) __atomic_store_n(&w[k], 0, __ATOMIC_RELAXED);
}

// Event slot `s`: head, then nclients client blocks, then sbfilled entries.
template <class L>
class EventSlotView {
 public:
  using Head = typename L::Head;

  EventSlotView(const Hesk& h, int s)
      : head_(HeskAccess::event_slot<L>(h, s)), length_(HeskAccess::event_slot_length(h)) {}
  EventSlotView(void* head, long length) : head_(static_cast<Head*>(head)), length_(length) {}

  bool addressable() const { return head_ != nullptr; }
  Head* head() const { return head_; }

  // Whether the counts describe a slot that fits: 0 <= nclients,
  // 0 <= sbfilled, and head + blocks + entries within the slot length.
  bool sound() const { return head_ != nullptr && fits(head_->nclients, head_->sbfilled); }
  // Room for `more` further entries, or for one more client block.
  bool room_for_entries(long more) const {
    return sound() && fits(head_->nclients, head_->sbfilled + more);
  }
  bool room_for_client() const { return sound() && fits(head_->nclients + 1L, head_->sbfilled); }

  // A slot is marked as being set up (a client count of -1, which makes it
  // unsound to every other reader of it) before its record counts as used,
  // and the mark goes when the set-up is whole. Whoever holds the slot's lock
  // and still finds the mark knows that the writer setting it up is gone.
  void mark_setting_up() { store_shared<int32_t>(&head_->nclients, kSettingUp); }
  bool setting_up() const { return head_ != nullptr && head_->nclients == kSettingUp; }

  // Counts; 0 for an unsound slot, so that loops over them do nothing.
  int nclients() const { return sound() ? head_->nclients : 0; }
  int sbfilled() const { return sound() ? head_->sbfilled : 0; }
  kova_client_block* clients() const { return client_blocks(head_, sizeof(Head)); }
  kova_client_sblock_data* entries() const {
    return reinterpret_cast<kova_client_sblock_data*>(
        reinterpret_cast<char*>(head_) + sizeof(Head) + sizeof(kova_client_block) * nclients());
  }
  // Index of the client block of client slot `clslot`, or -1.
  int client_index(int clslot) const {
    kova_client_block* b = clients();
    for (int i = 0, n = nclients(); i < n; ++i)
      if (b[i].snum == clslot) return i;
    return -1;
  }

 private:
  static constexpr int kSettingUp = -1;

  bool fits(long nclients, long nentries) const {
    if (nclients < 0 || nentries < 0) return false;
    return static_cast<long>(sizeof(Head)) +
               static_cast<long>(sizeof(kova_client_block)) * nclients +
               static_cast<long>(sizeof(kova_client_sblock_data)) * nentries <=
           length_;
  }

  Head* head_;
  long length_;
};

// Whether a reader of event slot view `v` was notified and may be reading
// its blocks: a client block notified or processing whose client is not a
// writer (a client slot freed meanwhile counts as a reader). Such an event's
// buffers stay with it until it is released. REQUIRES: the slot's lock.
template <class L>
bool reader_may_read(const Hesk& h, const EventSlotView<L>& v);

// Client slot `c`: head, request and a name list whose length depends on the
// client type.
class ClientSlotView {
 public:
  ClientSlotView(const Hesk& h, int c)
      : slot_(HeskAccess::client_slot(h, c)), lbuf_(h.cl_buf ? h.cl_buf->getBufferLength() : 0) {}

  bool addressable() const { return slot_ != nullptr; }
  kova_client_slot_head* head() const { return slot_; }
  int type() const { return slot_ ? slot_->cltype : 0; }
  bool is_reader() const { return type() == CLI_T_READER; }
  bool is_writer() const { return type() == CLI_T_WRITER; }

  // The name list of a reader or writer whose count fits the slot: count and
  // first name. false for other types and for a count below 0 or beyond the
  // slot.
  bool names(int* count, char (**first)[KOVA_SBLOCK_NAME_LEN]) const {
    int n;
    if (is_reader()) {
      n = reader_part(slot_)->nsblocks;
      *first = reader_part(slot_)->sblocks;
    } else if (is_writer()) {
      n = writer_part(slot_)->nsblocks;
      *first = writer_part(slot_)->sblocks;
    } else {
      return false;
    }
    if (n < 0 || n > name_capacity(type(), lbuf_)) return false;
    *count = n;
    return true;
  }
  // Whether the list names `name` (compared over the whole field).
  bool lists(const char* name) const {
    int n = 0;
    char(*first)[KOVA_SBLOCK_NAME_LEN] = nullptr;
    if (!names(&n, &first)) return false;
    for (int i = 0; i < n; ++i)
      if (memcmp(first[i], name, KOVA_SBLOCK_NAME_LEN) == 0) return true;
    return false;
  }

 private:
  kova_client_slot_head* slot_;
  int lbuf_;
};

template <class L>
bool reader_may_read(const Hesk& h, const EventSlotView<L>& v) {
  kova_client_block* b = v.clients();
  for (int i = 0, n = v.nclients(); i < n; ++i) {
    const int st = status_of(b[i]);
    if ((st == CLI_S_NTF || st == CLI_S_PROC) && !ClientSlotView(h, b[i].snum).is_writer())
      return true;
  }
  return false;
}

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_SLOT_VIEW_H
