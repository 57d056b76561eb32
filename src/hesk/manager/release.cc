// Release: freeing a finished or abandoned event slot with all its buffers,
// and a writer's withdrawal of one deposited block. Both run under the event
// slot's own lock, which guards the slot and its control record.
#include <cstring>

#include "event_path.h"
#include "partition_repair.h"

namespace hesk_mgr {

namespace {

template <class Block>
void print_block(int k, const Block& b, const kova_client_sblock_data& e, int filled,
                 int expected) {
  message("CLEANING[%d]  %d:%d_%ld  SHMID: %d  SLOT: %d filled:ttoal %d:%d", k, b.time.timeup,
          b.time.timelow, shown_id(b), e.shmid, e.bnum, filled, expected);
  message("ltotal: %ld server: %.255s  mask: 0x%X status: %d  nchan: %d",
          static_cast<long>(b.ltotal), b.server, b.tmask, b.status, b.nchan);
}

// The block of entry k as free_ev_slot shows it while the monitor frees.
template <class L>
void print_cleaning(Hesk& h, const typename L::Head* head, int k,
                    const kova_client_sblock_data& e) {
  char* p = h.pool_buffer_address(e.bnum, e.shmid);
  if (p == nullptr) return;
  if (is_block_2024(p) != L::k2024) {
    message("CLEANING[%d]  corrupted data(no details)", k);
    return;
  }
  print_block(k, *reinterpret_cast<typename L::Block*>(p), e, head->sbfilled, head->nsblocks);
}

}  // namespace

// The slot's buffers go back to their partitions (an unsound slot, whose
// counts reach outside it, keeps its entries untouched), its record is
// freed and the slot goes back to the free queue.
template <class L>
bool EventPath<L>::release(SlotLock& lock) {
  int evslot = lock.slot();
  EventSlotView<L> v(h_, evslot);
  bool failed = false;
  kova_client_sblock_data* e = v.entries();
  for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
    if (e[k].shmid == 0 || e[k].bnum < 0) continue;
    if (__atomic_load_n(&free_flag, __ATOMIC_RELAXED)) print_cleaning<L>(h_, v.head(), k, e[k]);
    if (h_.pool_buffer_address(e[k].bnum, e[k].shmid) != nullptr &&
        h_.pool_return_buffer(e[k].bnum, e[k].shmid)) {
      message("free_ev_slot(): failed to free id: %d bnum: %d", e[k].shmid, e[k].bnum);
      failed = true;
    }
    e[k].shmid = 0;
    e[k].bnum = -1;
  }
  count_event(h_, kEventsFreed, v.head()->evtype);
  Record<L>::set_status(HeskAccess::record<L>(h_, evslot), EVT_C_FREE);
  bool was_free = hesk_shm::PartitionRepair::return_locked_slot(*h_.ev_buf, evslot);
  lock.forget();
  if (was_free) {
    message("free_ev_slot(): failed to free event slot: %d ", evslot);
    return true;
  }
  return failed;
}

template <class L>
bool EventPath<L>::free_slot(int evslot) {
  typename L::Ctrl* rec = HeskAccess::record<L>(h_, evslot);
  if (!EventSlotView<L>(h_, evslot).addressable() || rec == nullptr) {
    message("free_ev_slot(): Failed to find event slot: %d", evslot);
    return true;
  }
  SlotLock lock(h_.ev_buf, evslot);
  if (Record<L>::status(rec) == EVT_C_FREE) return false;
  return release(lock);
}

template <class L>
bool EventPath<L>::withdraw(KOVA_EVTYPE evtype, int bnum, int id) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0) {
    message("return_buffer_in_pool_ext(): invalid parameter(s) evtype: %d id: %d bnum: %d", evtype,
            id, bnum);
    return true;
  }
  char* block = h_.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("return_buffer_in_pool_ext(): failed to get the buffer address");
    return true;
  }
  EventKey k;
  if (!key_of(evtype, block, &k)) return true;
  if (HeskAccess::event_slot_count(h_) >= 2) {
    SlotLock lock;
    int s = locate(k, block, false, &lock);
    if (s == -2) message("return_buffer_in_pool_ext(): invalid smode: %d", h_.smode);
    EventSlotView<L> v(h_, s);
    kova_client_sblock_data* e = s > 0 ? v.entries() : nullptr;
    for (int j = 0, filled = s > 0 ? v.sbfilled() : 0; j < filled; ++j) {
      if (e[j].shmid != id || e[j].bnum != bnum) continue;
      // A reader may be reading the block: it stays with the event, whose
      // release gives it back, and the writer no longer owns it.
      if (reader_may_read(h_, v)) {
        message(
            "return_buffer_in_pool_ext(): a reader reads event slot %d: id: %d bnum: %d goes "
            "back when the event ends",
            s, id, bnum);
        return false;
      }
      memmove(&e[j], &e[j + 1], sizeof(*e) * (filled - j - 1));
      v.head()->sbfilled -= 1;
      if (v.head()->sbfilled == 0 && release(lock))
        message("return_buffer_in_pool_ext(): failed to free event slot: %d ", s);
      break;
    }
  }
  return h_.pool_return_buffer(bnum, id);
}

#define HESK_INSTANTIATE(L)                       \
  template bool EventPath<L>::release(SlotLock&); \
  template bool EventPath<L>::free_slot(int);     \
  template bool EventPath<L>::withdraw(KOVA_EVTYPE, int, int);
HESK_INSTANTIATE(Layout2010)
HESK_INSTANTIATE(Layout2024)
#undef HESK_INSTANTIATE

}  // namespace hesk_mgr

bool Hesk::free_ev_slot(int evslot) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.free_slot(evslot); });
}

bool Hesk::return_buffer_in_pool_ext(KOVA_EVTYPE evtype, int bnum, int id) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.withdraw(evtype, bnum, id); });
}
