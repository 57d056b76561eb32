// Release: freeing a finished or abandoned event slot with all its buffers,
// and a writer's withdrawal of one deposited block.
#include <cstring>

#include "manager_internal.h"

using namespace hesk_mgr;

namespace {

template <class L>
void print_cleaning(Hesk& h, typename L::Head* head, int k, const kova_client_sblock_data& e) {
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
  if (rec->status == EVT_C_FREE) return false;
  if (start != nullptr &&
      (head->start.timeup != start->timeup || head->start.timelow != start->timelow))
    return false;
  bool failed = false;
  kova_client_sblock_data* e = entries<L>(head);
  int filled = head->sbfilled;
  for (int k = 0;
       k < filled && slot_bytes<L>(head->nclients, k + 1) <= HeskAccess::event_slot_length(h);
       ++k) {
    if (e[k].shmid == 0 || e[k].bnum < 0) continue;
    if (free_flag) print_cleaning<L>(h, head, k, e[k]);
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
  int slot;
  {
    SlotLock lock0(h.ev_buf, 0);
    bool bad_mode = false;
    slot = find_record<L>(h, evtype, key, evid, &bad_mode);
    if (bad_mode) message("return_buffer_in_pool_ext(): invalid smode: %d", h.smode);
  }
  if (slot < 1) return h.pool_return_buffer(bnum, id);
  {
    SlotLock lock(h.ev_buf, slot);
    typename L::Head* head = HeskAccess::event_slot<L>(h, slot);
    if (head == nullptr) {
      message("return_buffer_in_pool_ext(): Failed to find event slot: %d ", slot);
    } else {
      kova_client_sblock_data* e = entries<L>(head);
      int filled = head->sbfilled;
      if (slot_bytes<L>(head->nclients, filled) > HeskAccess::event_slot_length(h)) filled = 0;
      for (int k = 0; k < filled; ++k) {
        if (e[k].shmid != id || e[k].bnum != bnum) continue;
        memmove(&e[k], &e[k + 1], sizeof(*e) * (filled - k - 1));
        head->sbfilled -= 1;
        if (head->sbfilled == 0) {
          HeskAccess::record<L>(h, slot)->status = EVT_C_FREE;
          if (h.ev_buf->return_buffer(slot))
            message("return_buffer_in_pool_ext(): failed to free event slot: %d ", slot);
        }
        break;
      }
    }
  }
  return h.pool_return_buffer(bnum, id);
}

}  // namespace

namespace hesk_mgr {
bool free_event_if_unchanged(Hesk& h, int evslot, const time_stamp& start) {
  return h.evid64bitmode ? free_slot<Layout2024>(h, evslot, &start)
                         : free_slot<Layout2010>(h, evslot, &start);
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
