// Event building: a writer's block goes into the event slot of its event,
// found by key or id under event lock 0 (and set up there when it is the
// first), then stored under the slot's own lock, which first checks that the
// slot still holds that event.
#include <unistd.h>

#include <cstring>

#include "event_util.h"
#include "slot_view.h"

using namespace hesk_mgr;

namespace {

// A block of the other generation than the slot layout would be read with the
// wrong field offsets: it is refused.
template <class L>
bool generation_mismatch(const char* block, const char* who) {
  if (is_block_2024(block) == L::k2024) return false;
  message("%s: %s server block refused: the event slots use the %s layout", who,
          L::k2024 ? "2010" : "2024", L::k2024 ? "2024" : "2010");
  return true;
}

void copy_name(char* dest, const char* src) {
  memset(dest, 0, KOVA_SBLOCK_NAME_LEN);
  strncpy(dest, src, KOVA_SBLOCK_NAME_LEN - 1);
}

template <class L>
int find_slot(Hesk& h, KOVA_EVTYPE evtype, char* block) {
  GET_KEY_FUN keyf = lookup(h.get_key_f, evtype);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (keyf == nullptr || idf == nullptr || h.ev_buf == nullptr) return -1;
  time_stamp key = *keyf(block);
  long id = idf(block);
  SlotLock lock0(h.ev_buf, 0);
  bool bad_mode = false;
  int found = find_record<L>(h, evtype, key, id, &bad_mode);
  if (bad_mode) {
    message("Hesk::find_ev_slot() invalid smode: %d", h.smode);
    return -1;
  }
  if (found > 0) return found;
  char* addr = nullptr;
  for (int attempt = 0; attempt < 10001 && addr == nullptr; ++attempt)
    addr = h.ev_buf->get_buffer(4, true);
  int s = addr ? h.ev_buf->buffer_id(addr) : -1;
  if (s < 1) {
    if (s == 0) h.ev_buf->return_buffer(0);
    message("find_ev_slot(): failed to allocate an event slot");
    return -1;
  }
  // The slot's own lock too: a writer storing into this slot number with an
  // old answer sees either the free record or the finished set-up.
  SlotLock slot_lock(h.ev_buf, s);
  typename L::Ctrl* r = HeskAccess::record<L>(h, s);
  r->key = key;
  r->evtype = evtype;
  r->eventid = L::k2024 ? id : static_cast<uint32_t>(id);
  r->status = EVT_C_USED;
  if (h.init_ev_slot(evtype, s, block)) {
    r->status = EVT_C_FREE;
    h.ev_buf->return_buffer(s);
    return -1;
  }
  return s;
}

template <class L>
void report_dropped(typename L::Head* head, typename L::Block* b) {
  message(
      "ev_update(): Nummber of SB blocks collected(%d) == expected (%d), current will be dropped:",
      head->sbfilled, head->nsblocks);
  if constexpr (L::k2024) {
    message("Time %d:%d_%ld", b->time.timeup, b->time.timelow, static_cast<long>(b->mpulse));
    message("ltotal: %ld server: %.255s  mask: 0x%X status: %d  nchan: %d",
            static_cast<long>(b->ltotal), b->server, b->tmask, b->status, b->nchan);
    message("EV.SLOT type:%s  %d:%d_%ld  evsize:%ld tmask: 0x%x  blocks:%d  filled:%d\n",
            event_name_itoa(head->evtype), head->time.timeup, head->time.timelow,
            static_cast<long>(head->eventid), static_cast<long>(head->evsize), head->tmask,
            head->nsblocks, head->sbfilled);
  } else {
    message("Time %d:%d_%d", b->time.timeup, b->time.timelow, b->mpulse);
    message("ltotal: %d server: %.255s  mask: 0x%X status: %d  nchan: %d", b->ltotal, b->server,
            b->tmask, b->status, b->nchan);
    message("EV.SLOT type:%s  %d:%d_%d  evsize:%d tmask: 0x%x  blocks:%d  filled:%d\n",
            event_name_itoa(head->evtype), head->time.timeup, head->time.timelow, head->eventid,
            head->evsize, head->tmask, head->nsblocks, head->sbfilled);
  }
}

// A block whose server name is already in the slot. A placeholder entry takes
// the block (stored: false). Against a real block, the one with more channels
// stays and the other buffer goes back to its pool: false when the new block
// was stored in place of the old one, true when the new one was given back.
template <class L>
bool settle_duplicate(Hesk& h, kova_client_sblock_data* held, int id, int bnum,
                      typename L::Block* nb, bool* fill_placeholder) {
  *fill_placeholder = false;
  if (held->shmid == 0 || held->bnum < 0) {
    *fill_placeholder = true;
    return false;
  }
  auto* old = reinterpret_cast<typename L::Block*>(h.pool_buffer_address(held->bnum, held->shmid));
  int old_chans = old ? old->nchan : -1;
  message("ev_update(): SB duplication in ev slot channels:%d  new channels; %d shmid: %d (%d)",
          old_chans, nb->nchan, held->shmid, id);
  if (nb->nchan > old_chans) {
    message("ev_update(): SB duplication new SB is better ... substituting");
    if (!h.pool_return_buffer(held->bnum, held->shmid))
      message("ev_update(): HESK FREED (OLD) id: %d bnum: %d", held->shmid, held->bnum);
    else
      message("ev_update(): failed to free id: %d bnum: %d", held->shmid, held->bnum);
    held->shmid = id;
    held->bnum = bnum;
    return false;
  }
  if (!h.pool_return_buffer(bnum, id))
    message("ev_update(): HESK FREED (NEW) id: %d bnum: %d", id, bnum);
  else
    message("ev_update(): failed to free id: %d bnum: %d", id, bnum);
  return true;
}

// Adds the block's length, trigger, status and id to the head; false when a
// key-extraction function is missing (reported; the steps before stay).
template <class L>
bool account_block(Hesk& h, typename L::Head* head, int evtype, char* block) {
  GET_LEN_FUN lenf = lookup(h.get_len_f, evtype);
  if (!lenf) {
    message("No function to find the length !!!");
    return false;
  }
  head->evsize += lenf(block);
  GET_TRG_FUN trgf = lookup(h.get_trg_f, evtype);
  if (!trgf) {
    message("No function to find the trigger mask !!!");
    return false;
  }
  head->tmask |= trgf(block);
  GET_STS_FUN stsf = lookup(h.get_sts_f, evtype);
  if (!stsf) {
    message("No function to find the status !!!");
    return false;
  }
  head->status |= stsf(block);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (!idf) {
    message("No function to find the event Id !!!");
    return false;
  }
  if constexpr (L::k2024)
    head->eventid = idf(block);
  else
    head->eventid |= static_cast<uint32_t>(idf(block));
  return true;
}

// Whether event slot `slot` still holds the event of `block`: it may have
// been freed, or freed and set up for another event, since it was found.
// REQUIRES: the slot's lock.
template <class L>
bool slot_holds_block(Hesk& h, int slot, int evtype, char* block) {
  GET_KEY_FUN keyf = lookup(h.get_key_f, evtype);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (keyf == nullptr || idf == nullptr) return false;
  return record_holds<L>(h, HeskAccess::record<L>(h, slot), evtype, *keyf(block), idf(block));
}

template <class L>
bool store_block(Hesk& h, KOVA_EVTYPE evtype, int id, int bnum, int slot) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0 || slot < 0 ||
      slot >= HeskAccess::event_slot_count(h)) {
    message("ev_update(): invalid parameter(s) evtype: %d id: %d bnum: %d slot: %d", evtype, id,
            bnum, slot);
    return true;
  }
  char* block = h.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("ev_update(): failed to get the buffer address");
    return true;
  }
  EventSlotView<L> v(h, slot);
  if (!v.addressable()) {
    message("ev_update(): Failed to find address for event slot: %d", slot);
    return true;
  }
  if (generation_mismatch<L>(block, "ev_update()")) return true;
  auto* b = reinterpret_cast<typename L::Block*>(block);
  typename L::Head* head = v.head();
  SlotLock lock(h.ev_buf, slot);
  if (!slot_holds_block<L>(h, slot, evtype, block)) {
    message("ev_update(): event slot %d no longer holds the event of this block: refused", slot);
    return true;
  }
  if (!v.sound()) {
    message("ev_update(): event slot %d is corrupt (clients: %d blocks: %d): refused", slot,
            head->nclients, head->sbfilled);
    return true;
  }

  GET_NAME_FUN namef = lookup(h.get_bname_f, evtype);
  kova_client_sblock_data* entry = nullptr;
  if (namef != nullptr) {
    const char* name = namef(block);
    kova_client_sblock_data* e = v.entries();
    for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
      if (strncmp(e[k].name, name, KOVA_SBLOCK_NAME_LEN) != 0) continue;
      message("ev_update(): SB duplication %.255s", name);
      bool fill = false;
      bool refused = settle_duplicate<L>(h, &e[k], id, bnum, b, &fill);
      if (!fill) return refused;
      entry = &e[k];  // the block takes the placeholder's place
      break;
    }
  }
  if (entry == nullptr) {
    if (head->sbfilled >= head->nsblocks) {
      report_dropped<L>(head, b);
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
    head->sbfilled += 1;
  }
  copy_name(entry->name, namef(block));
  entry->shmid = id;
  entry->bnum = bnum;
  if (!account_block<L>(h, head, evtype, block)) return true;
  head->lupdate = now();
  lock.release();
  if (holds_writer_of(h, evtype)) h.cl_notify(slot);
  return false;
}

template <class L>
void report_suspicious(Hesk& h, KOVA_EVTYPE evtype, typename L::Block* b) {
  bool suspicious = b->time.timeup == 0 || (h.smode == HESK_SYNCH_EVID && b->mpulse == 0);
  if (!suspicious) return;
  if constexpr (L::k2024) {
    message("!!!!!!!! ev_update(): time stamp %d:%d_%ld   Event type: %d SB: %.255s chans: %d",
            b->time.timeup, b->time.timelow, static_cast<long>(b->mpulse), evtype, b->server,
            b->nchan);
    dump_event_subheader_2024(nullptr, b);
  } else {
    message("!!!!!!!! ev_update(): time stamp %d:%d_%d   Event type: %d SB: %.255s chans: %d",
            b->time.timeup, b->time.timelow, b->mpulse, evtype, b->server, b->nchan);
    dump_event_subheader_2010(nullptr, b);
  }
  fflush(nullptr);
}

template <class L>
bool deposit(Hesk& h, KOVA_EVTYPE evtype, int id, int bnum) {
  if (id < 1 || !valid_evtype(evtype) || bnum < 0) {
    message("ev_update(): invalid parameter(s) evtype: %d id: %d bnum: %d", evtype, id, bnum);
    return true;
  }
  char* block = h.pool_buffer_address(bnum, id);
  if (block == nullptr) {
    message("ev_update(): failed to get the buffer address bnum:%d id:%d", bnum, id);
    return true;
  }
  if (generation_mismatch<L>(block, "ev_update()")) return true;
  report_suspicious<L>(h, evtype, reinterpret_cast<typename L::Block*>(block));
  int slot = find_slot<L>(h, evtype, block);
  if (slot == -1) {
    message("ev_update(): failed to find the event slot");
    return true;
  }
  return store_block<L>(h, evtype, id, bnum, slot);
}

template <class L>
bool all_collected(Hesk& h, int evslot, int clslot) {
  EventSlotView<L> v(h, evslot);
  if (!v.addressable()) {
    message("check_if_all_collected(): failed to get the buffer address for event slot: %d",
            evslot);
    return false;
  }
  ClientSlotView cv(h, clslot);
  if (!cv.addressable()) {
    message("check_if_all_collected(): failed to get the buffer address for client slot: %d",
            clslot);
    return false;
  }
  int i = v.client_index(clslot);
  if (i >= 0 && v.clients()[i].status == CLI_S_DONE) return true;
  int n = 0;
  char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
  if (!cv.names(&n, &names)) {
    message("check_if_all_collected(): invalid client type: %d", cv.type());
    return false;
  }
  int filled = v.sbfilled();
  if (n > filled) return false;
  if (filled < 1) return n == 0;
  kova_client_sblock_data* e = v.entries();
  int count = 0;
  for (int k = 0; k < filled; ++k) {
    for (int j = 0; j < n; ++j) {
      if (memcmp(e[k].name, names[j], KOVA_SBLOCK_NAME_LEN) == 0) {
        ++count;
        break;
      }
    }
  }
  return count == n;
}

}  // namespace

bool Hesk::ev_update(KOVA_EVTYPE evtype, int id, int bnum) {
  return evid64bitmode ? deposit<Layout2024>(*this, evtype, id, bnum)
                       : deposit<Layout2010>(*this, evtype, id, bnum);
}

bool Hesk::ev_update(KOVA_EVTYPE evtype, int id, int bnum, int slot) {
  return evid64bitmode ? store_block<Layout2024>(*this, evtype, id, bnum, slot)
                       : store_block<Layout2010>(*this, evtype, id, bnum, slot);
}

int Hesk::find_ev_slot(KOVA_EVTYPE evtype, char* block) {
  if (block == nullptr || !valid_evtype(evtype)) return -1;
  return evid64bitmode ? find_slot<Layout2024>(*this, evtype, block)
                       : find_slot<Layout2010>(*this, evtype, block);
}

bool Hesk::check_if_all_collected(int evslot, int clslot) {
  return evid64bitmode ? all_collected<Layout2024>(*this, evslot, clslot)
                       : all_collected<Layout2010>(*this, evslot, clslot);
}
