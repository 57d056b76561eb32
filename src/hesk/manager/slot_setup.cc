// Setting up an event slot for the first block of an event: the head from
// the block, the clients that take part, and placeholders for the blocks
// that will never come (writers a reader part of their process does not
// want, names no writer announced).
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "event_path.h"

namespace hesk_mgr {

namespace {

typedef std::array<char, KOVA_SBLOCK_NAME_LEN> Name;

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

// What the client scan leaves for the placeholders.
struct Scan {
  std::vector<int> timed;    // writer slots whose reader part does not take the event
  std::vector<Name> missed;  // names readers want that no writer announced
};

template <class L>
bool reader_takes_part(Hesk& h, kova_client_slot_head* cs, int trigger, time_stamp t_now) {
  kova_client_reader* r = reader_part(cs);
  time_stamp ratio = r->cl.time_ratio, atime = client_atime(cs);
  return (r->cl.tmask & trigger) != 0 || (ratio.timeup == 0 && ratio.timelow == 0) ||
         h.time_expired(&t_now, &atime, &ratio);
}

// Decides for every subscribed client of evtype whether it takes part and
// appends its client block; dead clients are kicked out on the way.
template <class L>
void scan_clients(Hesk& h, EventSlotView<L>& v, int evtype, int trigger, Scan* out) {
  typename L::Head* head = v.head();
  time_stamp t_now = head->start;
  bool full_reported = false;
  SlotLock lock0(h.cl_buf, 0);
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
    bool takes_part = !cv.is_reader() || reader_takes_part<L>(h, cs, trigger, t_now);
    if (takes_part && !v.room_for_client()) {
      if (!full_reported) message("init_ev_slot(): event slot has no room for more clients");
      full_reported = true;
      continue;
    }
    if (cv.is_writer()) {
      bool own = cs->pid == static_cast<int32_t>(h.mpid);
      v.clients()[head->nclients] = kova_client_block{c, own ? CLI_S_PROC : CLI_S_WAIT};
      head->nsblocks += nnames;
      head->nclients += 1;
    } else if (takes_part) {
      touch_client(cs, t_now, false);
      v.clients()[head->nclients] = kova_client_block{c, CLI_S_WAIT};
      head->nclients += 1;
      for (int i = 0; i < nnames; ++i) {
        if (announced_by_writer(h, evtype, names[i])) continue;
        Name n;
        memcpy(n.data(), names[i], n.size());
        if (std::find(out->missed.begin(), out->missed.end(), n) == out->missed.end())
          out->missed.push_back(n);
      }
    } else if (int w = writer_of_process(h, c, cs->pid, evtype)) {
      out->timed.push_back(w);
    }
  }
}

// Writers whose process's reader part does not take this event are done at
// once, and their blocks stand in the slot as placeholders; names no writer
// announced get placeholders too and are counted as expected.
template <class L>
void add_placeholders(Hesk& h, EventSlotView<L>& v, const Scan& scan) {
  typename L::Head* head = v.head();
  for (int w : scan.timed) {
    int i = v.client_index(w);
    ClientSlotView wv(h, w);
    if (i >= 0) {
      v.clients()[i].status = CLI_S_DONE;
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
  for (const Name& n : scan.missed) {
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
bool EventPath<L>::setup(KOVA_EVTYPE evtype, int slot, char* block) {
  Hesk& h = h_;
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
  EventSlotView<L> v(h, slot);
  if (!v.addressable()) {
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
  typename L::Head* head = v.head();
  memset(head, 0, HeskAccess::event_slot_length(h));
  if (key.timeup == 0) message("!!!!!!!! init_ev_slot(): time stamp is: %d:%d", 0, key.timelow);
  if (h.smode == HESK_SYNCH_EVID && id == 0) message("!!!!!!!! init_ev_slot(): eventId: %ld", id);
  if constexpr (L::k2024) head->pattern = KOVA_EV_SLOT_PATTERN_2024;
  head->time = key;
  head->eventid = id;
  head->evtype = evtype;
  head->tmask = trigger;
  head->status = static_cast<int32_t>(stsf(block));
  head->start = now();
  head->pid = static_cast<int32_t>(h.mpid);

  Scan scan;
  scan_clients<L>(h, v, evtype, trigger, &scan);
  add_placeholders<L>(h, v, scan);
  return false;
}

template bool EventPath<Layout2010>::setup(KOVA_EVTYPE, int, char*);
template bool EventPath<Layout2024>::setup(KOVA_EVTYPE, int, char*);

}  // namespace hesk_mgr

bool Hesk::init_ev_slot(KOVA_EVTYPE evtype, int slot, char* block) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.setup(evtype, slot, block); });
}
