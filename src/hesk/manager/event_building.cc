// Event building: finding or setting up the event slot of a server block,
// deciding which clients take part, and storing blocks into the slot.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "event_util.h"
#include "manager_internal.h"

using namespace hesk_mgr;

namespace {

typedef std::array<char, KOVA_SBLOCK_NAME_LEN> Name;

// Entries an event slot can hold beyond its client blocks.
template <class L>
bool slot_has_room(const Hesk& h, long nclients, long nentries) {
  return slot_bytes<L>(nclients, nentries) <= HeskAccess::event_slot_length(h);
}

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
void append_placeholder(const Hesk& h, typename L::Head* head, const char* name) {
  if (!slot_has_room<L>(h, head->nclients, head->sbfilled + 1)) return;
  kova_client_sblock_data* e = entries<L>(head) + head->sbfilled;
  copy_name(e->name, name);
  e->shmid = 0;
  e->bnum = -1;
  head->sbfilled += 1;
}

// Whether a writer slot other than `skip` of evtype announced `name`.
bool announced_by_writer(const Hesk& h, int evtype, const char* name) {
  int n = HeskAccess::client_slot_count(h);
  for (int w = 1; w < n; ++w) {
    kova_client_slot_head* s = HeskAccess::client_slot(h, w);
    if (s == nullptr || s->pid == 0 || s->cltype != CLI_T_WRITER || s->evtype != evtype) continue;
    kova_client_writer* wr = writer_part(s);
    int cnt = std::min<int>(wr->nsblocks, name_capacity(CLI_T_WRITER, h.cl_buf->getBufferLength()));
    for (int i = 0; i < cnt; ++i)
      if (memcmp(wr->sblocks[i], name, KOVA_SBLOCK_NAME_LEN) == 0) return true;
  }
  return false;
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
bool setup_slot(Hesk& h, KOVA_EVTYPE evtype, int slot, char* block) {
  if (block == nullptr || !valid_evtype(evtype) || slot < 0) {
    unsigned first = 0;
    if (block) memcpy(&first, block, sizeof(first));
    message("init_ev_slot(): invalid parameter(s) evtype:%d bnum:%d evhd:%u", evtype, slot, first);
    return true;
  }
  if (!holds_writer_of(h, evtype)) {
    message("init_ev_slot(): no write registration found for event type: %d", evtype);
    return true;
  }
  typename L::Head* head = HeskAccess::event_slot<L>(h, slot);
  if (head == nullptr) {
    message("init_ev_slot(): failed to get the buffer address for event slot: %d", slot);
    return true;
  }
  GET_KEY_FUN keyf = lookup(h.get_key_f, evtype);
  GET_TRG_FUN trgf = lookup(h.get_trg_f, evtype);
  GET_STS_FUN stsf = lookup(h.get_sts_f, evtype);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (!keyf || !trgf || !stsf || !idf) return true;

  time_stamp key = *keyf(block);
  long id = idf(block);
  int trigger = trgf(block);
  memset(head, 0, HeskAccess::event_slot_length(h));
  if (key.timeup == 0) message("!!!!!!!! init_ev_slot(): time stamp is: %d:%d", 0, key.timelow);
  if (h.smode == HESK_SYNCH_EVID && id == 0) message("!!!!!!!! init_ev_slot(): eventId: %ld", id);
  if constexpr (L::k2024) head->pattern = KOVA_EV_SLOT_PATTERN_2024;
  head->time = key;
  head->eventid = id;
  head->evtype = evtype;
  head->tmask = trigger;
  head->status = static_cast<int32_t>(stsf(block));
  time_stamp t_now = now();
  head->start = t_now;
  head->pid = static_cast<int32_t>(getpid());

  std::vector<int> timed;
  std::vector<Name> missed;
  kova_client_block* blocks = client_blocks<L>(head);
  int ncl = HeskAccess::client_slot_count(h);
  int lbuf = h.cl_buf->getBufferLength();
  bool no_room_reported = false;
  for (int c = 1; c < ncl; ++c) {
    if (h.if_cl_slot_free(c) != 0) continue;
    kova_client_slot_head* cs = HeskAccess::client_slot(h, c);
    if (cs == nullptr || cs->evtype != evtype) continue;
    {
      SlotLock lock0(h.cl_buf, 0);
      if (cs->pid != static_cast<int32_t>(h.mpid) && !process_alive(cs->pid)) {
        message("init_ev_slot(): %d  will be kicked out", cs->pid);
        kick_out(h, c);
        continue;
      }
    }
    if (cs->cltype != CLI_T_READER && cs->cltype != CLI_T_WRITER) continue;
    bool takes_part = true;
    kova_client_reader* r = reader_part(cs);
    if (cs->cltype == CLI_T_READER) {
      time_stamp ratio = r->cl.time_ratio;
      takes_part = (r->cl.tmask & trigger) != 0 || (ratio.timeup == 0 && ratio.timelow == 0) ||
                   h.time_expired(&t_now, &cs->atime, &ratio);
    }
    if (takes_part && !slot_has_room<L>(h, head->nclients + 1, 0)) {
      if (!no_room_reported)
        message("init_ev_slot(): event slot %d has no room for more clients", slot);
      no_room_reported = true;
      continue;
    }
    if (cs->cltype == CLI_T_WRITER) {
      bool own = cs->pid == static_cast<int32_t>(h.mpid);
      blocks[head->nclients] = kova_client_block{c, own ? CLI_S_PROC : CLI_S_WAIT};
      head->nsblocks += writer_part(cs)->nsblocks;
      head->nclients += 1;
      continue;
    }
    if (takes_part) {
      cs->atime = t_now;
      blocks[head->nclients] = kova_client_block{c, CLI_S_WAIT};
      head->nclients += 1;
      int cnt = std::min<int>(r->nsblocks, name_capacity(CLI_T_READER, lbuf));
      for (int i = 0; i < cnt; ++i) {
        if (announced_by_writer(h, evtype, r->sblocks[i])) continue;
        Name n;
        memcpy(n.data(), r->sblocks[i], n.size());
        bool listed = false;
        for (const Name& m : missed) listed = listed || m == n;
        if (!listed) missed.push_back(n);
      }
    } else {
      for (int w = 1; w < ncl; ++w) {
        if (w == c) continue;
        kova_client_slot_head* ws = HeskAccess::client_slot(h, w);
        if (ws && ws->pid == cs->pid && ws->cltype == CLI_T_WRITER && ws->evtype == evtype) {
          timed.push_back(w);
          break;
        }
      }
    }
  }

  for (int w : timed) {
    for (int i = 0; i < head->nclients; ++i) {
      if (blocks[i].snum != w) continue;
      blocks[i].status = CLI_S_DONE;
      kova_client_slot_head* ws = HeskAccess::client_slot(h, w);
      if (ws) ws->evcnt += 1;
      break;
    }
    kova_client_slot_head* ws = HeskAccess::client_slot(h, w);
    if (ws == nullptr) continue;
    kova_client_writer* wr = writer_part(ws);
    int cnt = std::min<int>(wr->nsblocks, name_capacity(CLI_T_WRITER, lbuf));
    for (int i = 0; i < cnt; ++i) {
      append_placeholder<L>(h, head, wr->sblocks[i]);
      if (h.timed_blocks_debug > 0) {
        message("Timed blocks !!! %.255s", wr->sblocks[i]);
        h.timed_blocks_debug -= 1;
      }
    }
  }
  for (const Name& n : missed) {
    append_placeholder<L>(h, head, n.data());
    head->nsblocks += 1;
    if (h.missed_blocks_debug > 0) {
      message("Missed blocks !!! %.255s", n.data());
      h.missed_blocks_debug -= 1;
    }
  }
  return false;
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
  typename L::Head* head = HeskAccess::event_slot<L>(h, slot);
  if (head == nullptr) {
    message("ev_update(): Failed to find address for event slot: %d", slot);
    return true;
  }
  if (generation_mismatch<L>(block, "ev_update()")) return true;
  auto* b = reinterpret_cast<typename L::Block*>(block);
  SlotLock lock(h.ev_buf, slot);

  GET_NAME_FUN namef = lookup(h.get_bname_f, evtype);
  kova_client_sblock_data* entry = nullptr;
  if (namef != nullptr) {
    const char* name = namef(block);
    int filled = head->sbfilled;
    kova_client_sblock_data* e = entries<L>(head);
    for (int k = 0; k < filled && slot_has_room<L>(h, head->nclients, k + 1); ++k) {
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
    if (!slot_has_room<L>(h, head->nclients, head->sbfilled + 1)) {
      message("ev_update(): event slot %d has no room for another server block", slot);
      return true;
    }
    if (namef == nullptr) {
      message("No function to find the name !!!");
      return true;
    }
    entry = entries<L>(head) + head->sbfilled;
    head->sbfilled += 1;
  }
  copy_name(entry->name, namef(block));
  entry->shmid = id;
  entry->bnum = bnum;

  GET_LEN_FUN lenf = lookup(h.get_len_f, evtype);
  if (!lenf) {
    message("No function to find the length !!!");
    return true;
  }
  head->evsize += lenf(block);
  GET_TRG_FUN trgf = lookup(h.get_trg_f, evtype);
  if (!trgf) {
    message("No function to find the trigger mask !!!");
    return true;
  }
  head->tmask |= trgf(block);
  GET_STS_FUN stsf = lookup(h.get_sts_f, evtype);
  if (!stsf) {
    message("No function to find the status !!!");
    return true;
  }
  head->status |= stsf(block);
  GET_EVID_FUN idf = lookup(h.get_evid_f, evtype);
  if (!idf) {
    message("No function to find the event Id !!!");
    return true;
  }
  if constexpr (L::k2024)
    head->eventid = idf(block);
  else
    head->eventid |= static_cast<uint32_t>(idf(block));
  head->lupdate = now();
  lock.release();
  if (holds_writer_of(h, evtype)) h.cl_notify(slot);
  return false;
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
  auto* b = reinterpret_cast<typename L::Block*>(block);
  bool suspicious = b->time.timeup == 0 || (h.smode == HESK_SYNCH_EVID && b->mpulse == 0);
  if (suspicious) {
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
  int slot = h.find_ev_slot(evtype, block);
  if (slot == -1) {
    message("ev_update(): failed to find the event slot");
    return true;
  }
  typename L::Head* head = HeskAccess::event_slot<L>(h, slot);
  if (head != nullptr) head->lupdate = now();
  return h.ev_update(evtype, id, bnum, slot);
}

template <class L>
bool all_collected(Hesk& h, int evslot, int clslot) {
  typename L::Head* head = HeskAccess::event_slot<L>(h, evslot);
  if (head == nullptr) {
    message("check_if_all_collected(): failed to get the buffer address for event slot: %d",
            evslot);
    return false;
  }
  kova_client_slot_head* cs = HeskAccess::client_slot(h, clslot);
  if (cs == nullptr) {
    message("check_if_all_collected(): failed to get the buffer address for client slot: %d",
            clslot);
    return false;
  }
  kova_client_block* blocks = client_blocks<L>(head);
  for (int i = 0; i < head->nclients && slot_has_room<L>(h, i + 1, 0); ++i)
    if (blocks[i].snum == clslot && blocks[i].status == CLI_S_DONE) return true;
  int n = 0;
  char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
  if (!client_names(cs, &n, &names)) {
    message("check_if_all_collected(): invalid client type: %d", cs->cltype);
    return false;
  }
  n = std::min(n, name_capacity(cs->cltype, h.cl_buf->getBufferLength()));
  int filled = head->sbfilled;
  if (n > filled) return false;
  if (filled < 1) return n == 0;
  kova_client_sblock_data* e = entries<L>(head);
  int count = 0;
  for (int k = 0; k < filled && slot_has_room<L>(h, head->nclients, k + 1); ++k) {
    for (int i = 0; i < n; ++i) {
      if (memcmp(e[k].name, names[i], KOVA_SBLOCK_NAME_LEN) == 0) {
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

bool Hesk::init_ev_slot(KOVA_EVTYPE evtype, int slot, char* block) {
  return evid64bitmode ? setup_slot<Layout2024>(*this, evtype, slot, block)
                       : setup_slot<Layout2010>(*this, evtype, slot, block);
}

bool Hesk::check_if_all_collected(int evslot, int clslot) {
  return evid64bitmode ? all_collected<Layout2024>(*this, evslot, clslot)
                       : all_collected<Layout2010>(*this, evslot, clslot);
}
