// Setting up an event slot for the first block of an event: the clients
// that take part and the placeholders for blocks that will never come
// (writers a reader part of their process does not want, names no writer
// announced) are planned from the client slots under client lock 0; the
// slot is then written from the plan.
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "event_path.h"

namespace hesk_mgr {

namespace {

void copy_name(char* dest, const char* src) {
  memset(dest, 0, KOVA_SBLOCK_NAME_LEN);
  strncpy(dest, src, KOVA_SBLOCK_NAME_LEN - 1);
}

template <class L>
void append_placeholder(EventSlotView<L>& v, const char* name) {
  if (!v.room_for_entries(1)) return;
  kova_client_sblock_data* e = v.entries() + v.head()->sbfilled;
  copy_name(e->name, name);
  e->shmid = 0;
  e->bnum = -1;
  v.head()->sbfilled += 1;
}

// Whether a writer slot of evtype announced `name`. REQUIRES: client lock 0.
bool announced_by_writer(const Hesk& h, int evtype, const char* name) {
  for (int w = 1, n = HeskAccess::client_slot_count(h); w < n; ++w) {
    ClientSlotView wv(h, w);
    if (!wv.is_writer() || wv.head()->pid == 0 || wv.head()->evtype != evtype) continue;
    if (wv.lists(name)) return true;
  }
  return false;
}

// The first writer slot other than c of evtype held by process pid, or 0.
int writer_of_process(const Hesk& h, int c, int pid, int evtype) {
  for (int w = 1, n = HeskAccess::client_slot_count(h); w < n; ++w) {
    if (w == c) continue;
    kova_client_slot_head* ws = HeskAccess::client_slot(h, w);
    if (ws && ws->pid == pid && ws->cltype == CLI_T_WRITER && ws->evtype == evtype) return w;
  }
  return 0;
}

bool reader_takes_part(Hesk& h, kova_client_slot_head* cs, int trigger, time_stamp t_now) {
  kova_client_reader* r = reader_part(cs);
  time_stamp ratio = r->cl.time_ratio, atime = client_atime(cs);
  return (r->cl.tmask & trigger) != 0 || (ratio.timeup == 0 && ratio.timelow == 0) ||
         h.time_expired(&t_now, &atime, &ratio);
}

// Decides for every subscribed client of evtype whether it takes part;
// dead clients are kicked out on the way. REQUIRES: client lock 0.
void scan_clients(Hesk& h, int evtype, int trigger, SetUpPlan* plan) {
  for (int c = 1, ncl = HeskAccess::client_slot_count(h); c < ncl; ++c) {
    ClientSlotView cv(h, c);
    kova_client_slot_head* cs = cv.head();
    if (cs == nullptr || cs->cltype == 0 || cs->evtype != evtype) continue;
    if (cs->pid != static_cast<int32_t>(h.mpid) && process_gone(cs->pid)) {
      message("init_ev_slot(): %d  will be kicked out", cs->pid);
      kick_out(h, c);
      continue;
    }
    int nnames = 0;
    char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
    if (!cv.names(&nnames, &names)) continue;  // another type, or a corrupt list
    if (cv.is_writer()) {
      bool own = cs->pid == static_cast<int32_t>(h.mpid);
      plan->clients.push_back({{c, own ? CLI_S_PROC : CLI_S_WAIT}, nnames, false});
    } else if (reader_takes_part(h, cs, trigger, plan->start)) {
      plan->clients.push_back({{c, CLI_S_WAIT}, 0, true});
      for (int i = 0; i < nnames; ++i) {
        if (announced_by_writer(h, evtype, names[i])) continue;
        SetUpPlan::Name n;
        memcpy(n.data(), names[i], n.size());
        if (std::find(plan->missed.begin(), plan->missed.end(), n) == plan->missed.end())
          plan->missed.push_back(n);
      }
    } else if (int w = writer_of_process(h, c, cs->pid, evtype)) {
      plan->timed.push_back(w);
    }
  }
}

// Writers whose process's reader part does not take this event are done at
// once, and their blocks stand in the slot as placeholders; names no writer
// announced get placeholders too and are counted as expected.
template <class L>
void add_placeholders(Hesk& h, EventSlotView<L>& v, const SetUpPlan& plan) {
  typename L::Head* head = v.head();
  for (int w : plan.timed) {
    int i = v.client_index(w);
    ClientSlotView wv(h, w);
    if (i >= 0) {
      set_status_of(v.clients()[i], CLI_S_DONE);
      if (wv.addressable()) touch_client(wv.head(), client_atime(wv.head()), true);
    }
    int n = 0;
    char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
    if (!wv.names(&n, &names)) continue;
    for (int k = 0; k < n; ++k) {
      append_placeholder<L>(v, names[k]);
      if (h.timed_blocks_debug > 0) {
        message("Timed blocks !!! %.255s", names[k]);
        h.timed_blocks_debug -= 1;
      }
    }
  }
  for (const SetUpPlan::Name& n : plan.missed) {
    append_placeholder<L>(v, n.data());
    head->nsblocks += 1;
    if (h.missed_blocks_debug > 0) {
      message("Missed blocks !!! %.255s", n.data());
      h.missed_blocks_debug -= 1;
    }
  }
}

}  // namespace

template <class L>
void EventPath<L>::plan(KOVA_EVTYPE evtype, char* block, SetUpPlan* plan) {
  plan->evtype = evtype;
  if (!holds_writer_of(h_, evtype)) {
    plan->no_writer = true;
    return;
  }
  GET_TRG_FUN trgf = lookup(h_.get_trg_f, evtype);
  if (!trgf || !lookup(h_.get_key_f, evtype) || !lookup(h_.get_sts_f, evtype) ||
      !lookup(h_.get_evid_f, evtype))
    return;
  plan->start = now();
  plan->made = true;
  SlotLock lock0(h_.cl_buf, 0);
  scan_clients(h_, evtype, trgf(block), plan);
}

template <class L>
bool EventPath<L>::write_setup(int slot, char* block, const SetUpPlan& plan) {
  if (refused(plan)) return true;
  EventSlotView<L> v(h_, slot);
  int evtype = plan.evtype;
  time_stamp key = *lookup(h_.get_key_f, evtype)(block);
  long id = lookup(h_.get_evid_f, evtype)(block);
  Head* head = v.head();
  // Head and client blocks, as far as the slot's last event or this one
  // has them, word by word (readers may still look there); the rest at once.
  long length = HeskAccess::event_slot_length(h_);
  long old_clients = __atomic_load_n(&head->nclients, __ATOMIC_RELAXED);
  long clients = std::max<long>(old_clients, static_cast<long>(plan.clients.size()));
  long shared = std::min<long>(length, sizeof(Head) + sizeof(kova_client_block) * clients);
  clear_shared(head, static_cast<size_t>(shared) & ~size_t{3});
  memset(reinterpret_cast<char*>(head) + (shared & ~3L), 0,
         static_cast<size_t>(length - (shared & ~3L)));
  if (key.timeup == 0) message("!!!!!!!! init_ev_slot(): time stamp is: %d:%d", 0, key.timelow);
  if (h_.smode == HESK_SYNCH_EVID && id == 0) message("!!!!!!!! init_ev_slot(): eventId: %ld", id);
  if constexpr (L::k2024) head->pattern = KOVA_EV_SLOT_PATTERN_2024;
  store_shared(&head->time.timeup, key.timeup);
  store_shared(&head->time.timelow, key.timelow);
  store_shared(&head->eventid, static_cast<decltype(head->eventid)>(id));
  store_shared<int32_t>(&head->evtype, evtype);
  head->tmask = lookup(h_.get_trg_f, evtype)(block);
  head->status = static_cast<int32_t>(lookup(h_.get_sts_f, evtype)(block));
  head->start = plan.start;
  head->pid = static_cast<int32_t>(h_.mpid);
  for (const SetUpPlan::Client& c : plan.clients) {
    if (!v.room_for_client()) {
      message("init_ev_slot(): event slot %d has no room for more clients", slot);
      break;
    }
    kova_client_block& b = v.clients()[head->nclients];
    store_shared(&b.snum, c.block.snum);
    set_status_of(b, c.block.status);
    store_shared<int32_t>(&head->nclients, head->nclients + 1);
    head->nsblocks += c.blocks;
    if (c.reader) touch_client(HeskAccess::client_slot(h_, c.block.snum), plan.start, false);
  }
  add_placeholders<L>(h_, v, plan);
  count_event(h_, kEventsSetUp, evtype);
  return false;
}

template <class L>
bool EventPath<L>::setup(KOVA_EVTYPE evtype, int slot, char* block) {
  if (block == nullptr || !valid_evtype(evtype) || slot < 0) {
    unsigned first = 0;
    if (block) memcpy(&first, block, sizeof(first));
    message("init_ev_slot(): invalid parameter(s) evtype:%d bnum:%d evhd:%u", evtype, slot, first);
    return true;
  }
  SetUpPlan p;
  plan(evtype, block, &p);
  if (!p.no_writer && !EventSlotView<L>(h_, slot).addressable()) {
    message("init_ev_slot(): failed to get the buffer address for event slot: %d", slot);
    return true;
  }
  return write_setup(slot, block, p);
}

#define HESK_INSTANTIATE(L)                                         \
  template bool EventPath<L>::setup(KOVA_EVTYPE, int, char*);       \
  template void EventPath<L>::plan(KOVA_EVTYPE, char*, SetUpPlan*); \
  template bool EventPath<L>::write_setup(int, char*, const SetUpPlan&);
HESK_INSTANTIATE(Layout2010)
HESK_INSTANTIATE(Layout2024)
#undef HESK_INSTANTIATE

}  // namespace hesk_mgr

bool Hesk::init_ev_slot(KOVA_EVTYPE evtype, int slot, char* block) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.setup(evtype, slot, block); });
}
