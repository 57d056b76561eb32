// Writers deposit server blocks: the block's event is located (its slot
// found without a lock and checked under the slot's lock, or set up under
// event lock 0), the block is stored, and the event is settled, all under
// one hold of the slot's lock.
#include <cstring>
#include <type_traits>

#include "event_path.h"
#include "event_util.h"
#include "partition_repair.h"
#include "test_points.h"

namespace hesk_mgr {

namespace {

constexpr int kSlotTakeAttempts = 10001;  // in a row, while no slot is free
constexpr int kLocateRetries = 8;         // a slot freed between finding and locking it

void copy_name(char* dest, const char* src) {
  memset(dest, 0, KOVA_SBLOCK_NAME_LEN);
  strncpy(dest, src, KOVA_SBLOCK_NAME_LEN - 1);
}

template <class Block, class Head>
void report_dropped(const Head& head, const Block& b) {
  message(
      "ev_update(): Nummber of SB blocks collected(%d) == expected (%d), current will be dropped:",
      head.sbfilled, head.nsblocks);
  message("Time %d:%d_%ld", b.time.timeup, b.time.timelow, shown_id(b));
  message("ltotal: %ld server: %.255s  mask: 0x%X status: %d  nchan: %d",
          static_cast<long>(b.ltotal), b.server, b.tmask, b.status, b.nchan);
  message("EV.SLOT type:%s  %d:%d_%ld  evsize:%ld tmask: 0x%x  blocks:%d  filled:%d\n",
          event_name_itoa(head.evtype), head.time.timeup, head.time.timelow, shown_id(head),
          static_cast<long>(head.evsize), head.tmask, head.nsblocks, head.sbfilled);
}

template <class Block>
void report_suspicious(Hesk& h, KOVA_EVTYPE evtype, Block* b) {
  bool suspicious = b->time.timeup == 0 || (h.smode == HESK_SYNCH_EVID && b->mpulse == 0);
  if (!suspicious) return;
  message("!!!!!!!! ev_update(): time stamp %d:%d_%ld   Event type: %d SB: %.255s chans: %d",
          b->time.timeup, b->time.timelow, shown_id(*b), evtype, b->server, b->nchan);
  if constexpr (std::is_same_v<Block, kova_serv_block_head_2024>)
    dump_event_subheader_2024(nullptr, b);
  else
    dump_event_subheader_2010(nullptr, b);
  fflush(nullptr);
}

// A block whose server name is already in the slot. A placeholder entry takes
// the block (stored: false). Against a real block, the one with more channels
// stays and the other buffer goes back to its pool: false when the new block
// was stored in place of the old one, true when the new one was given back.
// While a reader may be reading the event (`in_use`), the held block stays
// whatever the new one holds: its buffer must not go to another writer.
template <class Block>
bool settle_duplicate(Hesk& h, kova_client_sblock_data* held, int id, int bnum, const Block& nb,
                      bool in_use, bool* fill_placeholder) {
  *fill_placeholder = held->shmid == 0 || held->bnum < 0;
  if (*fill_placeholder) return false;
  auto* old = reinterpret_cast<Block*>(h.pool_buffer_address(held->bnum, held->shmid));
  int old_chans = old ? old->nchan : -1;
  message("ev_update(): SB duplication in ev slot channels:%d  new channels; %d shmid: %d (%d)",
          old_chans, nb.nchan, held->shmid, id);
  bool newer_better = nb.nchan > old_chans;
  if (newer_better && in_use) {
    message("ev_update(): SB duplication new SB is better, but a reader reads the event: kept");
    newer_better = false;
  }
  if (newer_better) message("ev_update(): SB duplication new SB is better ... substituting");
  int give_id = newer_better ? held->shmid : id, give_bnum = newer_better ? held->bnum : bnum;
  // The entry never names a buffer already given back, nor half of one: it
  // is a placeholder from before the old buffer goes until the new one is in.
  if (newer_better) held->bnum = -1;
  if (!h.pool_return_buffer(give_bnum, give_id))
    message("ev_update(): HESK FREED (%s) id: %d bnum: %d", newer_better ? "OLD" : "NEW", give_id,
            give_bnum);
  else
    message("ev_update(): failed to free id: %d bnum: %d", give_id, give_bnum);
  if (!newer_better) return true;
  held->shmid = id;
  held->bnum = bnum;
  return false;
}

// Adds the block's length, trigger, status and id to the head; false when a
// key-extraction function is missing (reported; the steps before stay).
template <class Head>
bool account_block(Hesk& h, Head* head, int evtype, char* block) {
  auto missing = [](const void* f, const char* what) {
    if (f == nullptr) message("No function to find the %s !!!", what);
    return f == nullptr;
  };
  GET_LEN_FUN lenf = lookup(h.get_len_f, evtype);
  if (missing(reinterpret_cast<const void*>(lenf), "length")) return false;
  head->evsize += lenf(block);
  GET_TRG_FUN trgf = lookup(h.get_trg_f, evtype);
  if (missing(reinterpret_cast<const void*>(trgf), "trigger mask")) return false;
  head->tmask |= trgf(block);
  GET_STS_FUN stsf = lookup(h.get_sts_f, evtype);
  if (missing(reinterpret_cast<const void*>(stsf), "status")) return false;
  head->status |= stsf(block);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (missing(reinterpret_cast<const void*>(idf), "event Id")) return false;
  if constexpr (std::is_same_v<Head, kova_event_slot_head_2024>)
    store_shared<int64_t>(&head->eventid, idf(block));
  else
    __atomic_fetch_or(&head->eventid, static_cast<uint32_t>(idf(block)), __ATOMIC_RELAXED);
  return true;
}

}  // namespace

template <class L>
bool EventPath<L>::key_of(int evtype, char* block, EventKey* k) {
  GET_KEY_FUN keyf = lookup(h_.get_key_f, evtype);
  GET_EVID_FUN idf = lookup(h_.get_evid_f, evtype);
  if (keyf == nullptr || idf == nullptr || h_.ev_buf == nullptr) return false;
  *k = EventKey{evtype, *keyf(block), idf(block)};
  return true;
}

template <class L>
int EventPath<L>::locate(const EventKey& k, char* block, bool create, SlotLock* lock) {
  bool bad_mode = false;
  // Without a lock first: most blocks belong to an event that has its slot.
  int s = scan_records<L>(h_, k, &bad_mode);
  if (bad_mode) return -2;
  auto holds = [&](int slot) {
    return lock->take(h_.ev_buf, slot) && Record<L>::holds(h_, HeskAccess::record<L>(h_, slot), k);
  };
  if (s < 1 || !holds(s)) {
    lock->release();
    // Under event lock 0 nobody else sets a slot up for this event meanwhile;
    // a slot found may still be freed before its lock is had: look again.
    SlotLock lock0(h_.ev_buf, 0);
    s = -1;
    for (int tries = 0; tries < kLocateRetries && s < 0; ++tries) {
      int found = scan_records<L>(h_, k, &bad_mode);
      if (found < 1) break;
      if (holds(found)) s = found;
      if (s < 0) lock->release();
    }
    if (s < 0) return create ? set_up_new(k, block, lock, &lock0) : -1;
  }
  Record<L>::raise_id(h_, HeskAccess::record<L>(h_, s), k.id);
  if (create && EventSlotView<L>(h_, s).setting_up() && !finish_setup(k.evtype, block, lock))
    return -1;
  return s;
}

template <class L>
bool EventPath<L>::finish_setup(int evtype, char* block, SlotLock* lock) {
  int s = lock->slot();
  message("ev_update(): event slot %d was left half set up by a writer that is gone: set up again",
          s);
  SetUpPlan plan;
  this->plan(static_cast<KOVA_EVTYPE>(evtype), block, &plan);
  if (!write_setup(s, block, plan)) return true;
  Record<L>::set_status(HeskAccess::record<L>(h_, s), EVT_C_FREE);
  hesk_shm::PartitionRepair::return_locked_slot(*h_.ev_buf, s);
  lock->forget();
  return false;
}

// A new slot for event k: taken out of the free queue and its record marked
// used under event lock 0 (held in `lock0`), which is then given back, so
// that other writers of the event find the record (and wait for the slot's
// lock) while its clients are chosen and written under the slot's own lock.
template <class L>
int EventPath<L>::set_up_new(const EventKey& k, char* block, SlotLock* lock, SlotLock* lock0) {
  // The slot comes with its own lock, taken before its record changes: a
  // writer holding an old answer sees either the free record or the
  // finished set-up.
  int s = -1;
  for (int attempt = 0; attempt < kSlotTakeAttempts && s < 0; ++attempt)
    s = hesk_shm::PartitionRepair::take_locked_slot(*h_.ev_buf);
  if (s >= 0) lock->adopt(h_.ev_buf, s);
  if (s < 1) {
    if (s == 0) {  // the control records' buffer: not a slot
      hesk_shm::PartitionRepair::return_locked_slot(*h_.ev_buf, 0);
      lock->forget();
    }
    message("find_ev_slot(): failed to allocate an event slot");
    return -1;
  }
  // Marked as being set up before the record counts: a writer killed from
  // here on leaves a slot that the next writer of the event sets up anew.
  EventSlotView<L> v(h_, s);
  Head* head = v.head();
  if (head == nullptr) return -1;
  v.mark_setting_up();
  clear_shared(head, sizeof(*head));
  v.mark_setting_up();
  if constexpr (L::k2024) head->pattern = KOVA_EV_SLOT_PATTERN_2024;
  store_shared(&head->time.timeup, k.key.timeup);
  store_shared(&head->time.timelow, k.key.timelow);
  store_shared(&head->eventid, static_cast<decltype(head->eventid)>(k.id));
  store_shared<int32_t>(&head->evtype, k.evtype);
  head->pid = static_cast<int32_t>(h_.mpid);
  typename L::Ctrl* r = HeskAccess::record<L>(h_, s);
  Record<L>::set_used(r, k);
  lock0->release();
  test_point("setup:marked");
  SetUpPlan plan;
  this->plan(static_cast<KOVA_EVTYPE>(k.evtype), block, &plan);
  if (!write_setup(s, block, plan)) return s;
  Record<L>::set_status(r, EVT_C_FREE);
  hesk_shm::PartitionRepair::return_locked_slot(*h_.ev_buf, s);
  lock->forget();
  return -1;
}

template <class L>
int EventPath<L>::find(KOVA_EVTYPE evtype, char* block) {
  EventKey k;
  if (!key_of(evtype, block, &k)) return -1;
  SlotLock lock;
  int s = locate(k, block, true, &lock);
  if (s == -2) message("Hesk::find_ev_slot() invalid smode: %d", h_.smode);
  return s < 1 ? -1 : s;
}

template <class L>
bool EventPath<L>::deposit(KOVA_EVTYPE evtype, int id, int bnum) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0) {
    message("ev_update(): invalid parameter(s) evtype: %d id: %d bnum: %d", evtype, id, bnum);
    return true;
  }
  char* block = h_.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("ev_update(): failed to get the buffer address bnum:%d id:%d", bnum, id);
    return true;
  }
  if (generation_mismatch<L>(block, "ev_update()")) return true;
  report_suspicious(h_, evtype, reinterpret_cast<Block*>(block));
  EventKey k;
  Outbox out;
  bool refused;
  {
    SlotLock lock;
    int s = key_of(evtype, block, &k) ? locate(k, block, true, &lock) : -1;
    if (s == -2) message("Hesk::find_ev_slot() invalid smode: %d", h_.smode);
    if (s < 1) {
      message("ev_update(): failed to find the event slot");
      return true;
    }
    refused = store_locked(lock, evtype, id, bnum, block, &out);
  }
  deliver(&out);
  return refused;
}

template <class L>
bool EventPath<L>::store(KOVA_EVTYPE evtype, int id, int bnum, int slot) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0 || slot < 0 ||
      slot >= HeskAccess::event_slot_count(h_)) {
    message("ev_update(): invalid parameter(s) evtype: %d id: %d bnum: %d slot: %d", evtype, id,
            bnum, slot);
    return true;
  }
  char* block = h_.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("ev_update(): failed to get the buffer address");
    return true;
  }
  if (!EventSlotView<L>(h_, slot).addressable()) {
    message("ev_update(): Failed to find address for event slot: %d", slot);
    return true;
  }
  if (generation_mismatch<L>(block, "ev_update()")) return true;
  Outbox out;
  bool refused;
  {
    // The slot may have been freed, or freed and set up for another event,
    // since the caller found it.
    SlotLock lock(h_.ev_buf, slot);
    EventKey k;
    if (!key_of(evtype, block, &k) || !Record<L>::holds(h_, HeskAccess::record<L>(h_, slot), k)) {
      message("ev_update(): event slot %d no longer holds the event of this block: refused", slot);
      return true;
    }
    if (EventSlotView<L>(h_, slot).setting_up() && !finish_setup(evtype, block, &lock)) return true;
    refused = store_locked(lock, evtype, id, bnum, block, &out);
  }
  deliver(&out);
  return refused;
}

// REQUIRES: the slot's lock, its record holding the block's event.
template <class L>
bool EventPath<L>::store_locked(SlotLock& lock, KOVA_EVTYPE evtype, int id, int bnum, char* block,
                                Outbox* out) {
  int slot = lock.slot();
  EventSlotView<L> v(h_, slot);
  Head* head = v.head();
  if (!v.sound()) {
    message("ev_update(): event slot %d is corrupt (clients: %d blocks: %d): refused", slot,
            head->nclients, head->sbfilled);
    return true;
  }
  auto* b = reinterpret_cast<Block*>(block);
  GET_NAME_FUN namef = lookup(h_.get_bname_f, evtype);
  kova_client_sblock_data* entry = nullptr;
  if (namef != nullptr) {
    const char* name = namef(block);
    kova_client_sblock_data* e = v.entries();
    for (int k = 0, filled = v.sbfilled(); k < filled && entry == nullptr; ++k) {
      if (strncmp(e[k].name, name, KOVA_SBLOCK_NAME_LEN) != 0) continue;
      message("ev_update(): SB duplication %.255s", name);
      bool fill = false;
      bool refused = settle_duplicate(h_, &e[k], id, bnum, *b, reader_may_read(h_, v), &fill);
      if (!fill) return refused;
      entry = &e[k];  // the block takes the placeholder's place
    }
  }
  if (entry == nullptr) {
    if (head->sbfilled >= head->nsblocks) {
      report_dropped(*head, *b);
      return true;
    }
    if (!v.room_for_entries(1)) {
      message("ev_update(): event slot %d has no room for another server block", slot);
      return true;
    }
    if (namef == nullptr) {
      message("No function to find the name !!!");
      return true;
    }
    entry = v.entries() + head->sbfilled;
  }
  // The entry is whole before it counts: a writer killed half way leaves an
  // entry beyond sbfilled (a new one) or a placeholder (a filled one).
  bool appended = entry == v.entries() + head->sbfilled;
  copy_name(entry->name, namef(block));
  entry->bnum = -1;
  entry->shmid = id;
  entry->bnum = bnum;
  if (appended) store_shared<int32_t>(&head->sbfilled, head->sbfilled + 1);
  if (!account_block(h_, head, evtype, block)) return true;
  head->lupdate = now();
  if (holds_writer_of(h_, evtype)) settle(lock, out);
  return false;
}

#define HESK_INSTANTIATE(L)                                                   \
  template bool EventPath<L>::deposit(KOVA_EVTYPE, int, int);                 \
  template bool EventPath<L>::store(KOVA_EVTYPE, int, int, int);              \
  template int EventPath<L>::find(KOVA_EVTYPE, char*);                        \
  template int EventPath<L>::locate(const EventKey&, char*, bool, SlotLock*); \
  template bool EventPath<L>::key_of(int, char*, EventKey*);                  \
  template bool EventPath<L>::finish_setup(int, char*, SlotLock*);
HESK_INSTANTIATE(Layout2010)
HESK_INSTANTIATE(Layout2024)
#undef HESK_INSTANTIATE

}  // namespace hesk_mgr

using hesk_mgr::with_layout;

bool Hesk::ev_update(KOVA_EVTYPE evtype, int id, int bnum) {
  return with_layout(*this, [&](auto path) { return path.deposit(evtype, id, bnum); });
}

bool Hesk::ev_update(KOVA_EVTYPE evtype, int id, int bnum, int slot) {
  return with_layout(*this, [&](auto path) { return path.store(evtype, id, bnum, slot); });
}

int Hesk::find_ev_slot(KOVA_EVTYPE evtype, char* block) {
  if (block == nullptr || !hesk_mgr::valid_evtype(evtype)) return -1;
  return with_layout(*this, [&](auto path) { return path.find(evtype, block); });
}
