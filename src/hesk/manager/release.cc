// Release: freeing a finished or abandoned event slot with all its buffers,
// and a writer's withdrawal of one deposited block.
#include <cstring>

#include "slot_view.h"

using namespace hesk_mgr;

namespace {

template <class L>
void print_cleaning(Hesk& h, const typename L::Head* head, int k,
                    const kova_client_sblock_data& e) {
  char* p = h.pool_buffer_address(e.bnum, e.shmid);
  if (p == nullptr) return;
  bool b2024 = is_block_2024(p);
  if (b2024 != L::k2024) {
    message("CLEANING[%d]  corrupted data(no details)", k);
    return;
  }
  if constexpr (L::k2024) {
    auto* b = reinterpret_cast<kova_serv_block_head_2024*>(p);
    message("CLEANING[%d]  %d:%d_%ld  SHMID: %d  SLOT: %d filled:ttoal %d:%d", k, b->time.timeup,
            b->time.timelow, static_cast<long>(b->mpulse), e.shmid, e.bnum, head->sbfilled,
            head->nsblocks);
    message("ltotal: %ld server: %.255s  mask: 0x%X status: %d  nchan: %d",
            static_cast<long>(b->ltotal), b->server, b->tmask, b->status, b->nchan);
  } else {
    auto* b = reinterpret_cast<kova_serv_block_head_2010*>(p);
    message("CLEANING[%d]  %d:%d_%d  SHMID: %d  SLOT: %d filled:ttoal %d:%d", k, b->time.timeup,
            b->time.timelow, b->mpulse, e.shmid, e.bnum, head->sbfilled, head->nsblocks);
    message("ltotal: %d server: %.255s  mask: 0x%X status: %d  nchan: %d", b->ltotal, b->server,
            b->tmask, b->status, b->nchan);
  }
}

// Returns the buffers of a used event slot and frees it. An unsound slot
// (its counts reach outside it) is freed without touching its entries.
// REQUIRES: event lock 0 and the slot's own lock.
template <class L>
bool release_locked(Hesk& h, int evslot) {
  EventSlotView<L> v(h, evslot);
  typename L::Ctrl* rec = HeskAccess::record<L>(h, evslot);
  bool failed = false;
  kova_client_sblock_data* e = v.entries();
  for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
    if (e[k].shmid == 0 || e[k].bnum < 0) continue;
    if (__atomic_load_n(&free_flag, __ATOMIC_RELAXED)) print_cleaning<L>(h, v.head(), k, e[k]);
    if (h.pool_buffer_address(e[k].bnum, e[k].shmid) != nullptr &&
        h.pool_return_buffer(e[k].bnum, e[k].shmid)) {
      message("free_ev_slot(): failed to free id: %d bnum: %d", e[k].shmid, e[k].bnum);
      failed = true;
    }
    e[k].shmid = 0;
    e[k].bnum = -1;
  }
  rec->status = EVT_C_FREE;
  if (h.ev_buf->return_buffer(evslot)) {
    message("free_ev_slot(): failed to free event slot: %d ", evslot);
    return true;
  }
  return failed;
}

// Frees event slot `evslot`. With `start` given, only while the slot still
// holds the event set up at that moment: a slot freed and set up again in
// between belongs to another event and is left alone.
template <class L>
bool free_slot(Hesk& h, int evslot, const time_stamp* start) {
  typename L::Head* head = HeskAccess::event_slot<L>(h, evslot);
  typename L::Ctrl* rec = HeskAccess::record<L>(h, evslot);
  if (head == nullptr || rec == nullptr) {
    message("free_ev_slot(): Failed to find event slot: %d", evslot);
    return true;
  }
  SlotLock lock0(h.ev_buf, 0);
  SlotLock slot_lock(h.ev_buf, evslot);
  if (rec->status == EVT_C_FREE) return false;
  if (start != nullptr &&
      (head->start.timeup != start->timeup || head->start.timelow != start->timelow))
    return false;
  return release_locked<L>(h, evslot);
}

// Takes the entry of buffer (id, bnum) out of event slot `slot`; frees the
// slot when it was the last. REQUIRES: event lock 0.
template <class L>
void remove_entry(Hesk& h, int slot, int id, int bnum) {
  SlotLock lock(h.ev_buf, slot);
  EventSlotView<L> v(h, slot);
  if (!v.addressable()) {
    message("return_buffer_in_pool_ext(): Failed to find event slot: %d ", slot);
    return;
  }
  kova_client_sblock_data* e = v.entries();
  for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
    if (e[k].shmid != id || e[k].bnum != bnum) continue;
    memmove(&e[k], &e[k + 1], sizeof(*e) * (filled - k - 1));
    v.head()->sbfilled -= 1;
    if (v.head()->sbfilled == 0) {
      HeskAccess::record<L>(h, slot)->status = EVT_C_FREE;
      if (h.ev_buf->return_buffer(slot))
        message("return_buffer_in_pool_ext(): failed to free event slot: %d ", slot);
    }
    return;
  }
}

template <class L>
bool withdraw(Hesk& h, KOVA_EVTYPE evtype, int bnum, int id) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0) {
    message("return_buffer_in_pool_ext(): invalid parameter(s) evtype: %d id: %d bnum: %d", evtype,
            id, bnum);
    return true;
  }
  char* block = h.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("return_buffer_in_pool_ext(): failed to get the buffer address");
    return true;
  }
  GET_KEY_FUN keyf = lookup(h.get_key_f, evtype);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (!keyf || !idf) return true;
  if (h.ev_buf == nullptr || HeskAccess::event_slot_count(h) < 2)
    return h.pool_return_buffer(bnum, id);
  time_stamp key = *keyf(block);
  long evid = idf(block);
  {
    // Event lock 0 stays held while the slot's lock is taken, so that the
    // slot found is the slot changed.
    SlotLock lock0(h.ev_buf, 0);
    bool bad_mode = false;
    int slot = find_record<L>(h, evtype, key, evid, &bad_mode);
    if (bad_mode) message("return_buffer_in_pool_ext(): invalid smode: %d", h.smode);
    if (slot >= 1) remove_entry<L>(h, slot, id, bnum);
  }
  return h.pool_return_buffer(bnum, id);
}

}  // namespace

namespace hesk_mgr {
bool free_event_if_unchanged(Hesk& h, int evslot, const time_stamp& start) {
  return h.evid64bitmode ? free_slot<Layout2024>(h, evslot, &start)
                         : free_slot<Layout2010>(h, evslot, &start);
}
bool release_slot_locked(Hesk& h, int evslot) {
  return h.evid64bitmode ? release_locked<Layout2024>(h, evslot)
                         : release_locked<Layout2010>(h, evslot);
}
}  // namespace hesk_mgr

bool Hesk::free_ev_slot(int evslot) {
  return evid64bitmode ? free_slot<Layout2024>(*this, evslot, nullptr)
                       : free_slot<Layout2010>(*this, evslot, nullptr);
}

bool Hesk::return_buffer_in_pool_ext(KOVA_EVTYPE evtype, int bnum, int id) {
  return evid64bitmode ? withdraw<Layout2024>(*this, evtype, bnum, id)
                       : withdraw<Layout2010>(*this, evtype, bnum, id);
}
