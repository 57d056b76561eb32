// Settling an event after every change to its slot: writers whose blocks
// are all in are marked done, waiting readers whose wishes are met get one
// datagram each, and a finished event is released, all under the slot's lock.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "event_path.h"

namespace hesk_mgr {

namespace {

// The state of one event's clients, as cl_notify counts it.
struct Tally {
  int done = 0, notified = 0, writers = 0, writers_done = 0, open_readers = 0;
};

void describe_block(const kova_serv_block_head_2010& b) {
  message(
      "Time: %d sec %d usec\n\t Total size: %d\n\t Mpulse:%d\n\t Server: %.255s\n\t "
      "tmask:0x%X\n\t Status: %d\n\t Nchan: %d",
      b.time.timeup, b.time.timelow, b.ltotal, b.mpulse, b.server, b.tmask, b.status, b.nchan);
}
void describe_block(const kova_serv_block_head_2024& b) {
  message(
      "Pattern: 0x%lX, Time: %d sec %d usec\n\t Total size: %ld\n\t Mpulse:%ld\n\t Server: "
      "%.255s\n\t tmask:0x%X\n\t Status: %d\n\t Nchan: %d",
      static_cast<unsigned long>(b.pattern), b.time.timeup, b.time.timelow,
      static_cast<long>(b.ltotal), static_cast<long>(b.mpulse), b.server, b.tmask, b.status,
      b.nchan);
}

// A finished event that lacks blocks it expected: each entry is shown.
template <class L>
void report_unfinished(Hesk& h, const EventSlotView<L>& v) {
  typename L::Head* head = v.head();
  message("------------------------UUuups filled != total %d != %d Ev type: %d ts: %d:%d",
          head->sbfilled, head->nsblocks, head->evtype, head->time.timeup, head->time.timelow);
  kova_client_sblock_data* e = v.entries();
  for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
    if (e[k].shmid == 0 || e[k].bnum == -1) {
      message("------------------------UUuups BAD SHMID: %d or BNUM:%d", e[k].shmid, e[k].bnum);
      continue;
    }
    char* p = h.pool_buffer_address(e[k].bnum, e[k].shmid);
    if (p == nullptr) continue;
    if (is_block_2024(p))
      describe_block(*reinterpret_cast<kova_serv_block_head_2024*>(p));
    else
      describe_block(*reinterpret_cast<kova_serv_block_head_2010*>(p));
  }
  fflush(nullptr);
}

// Queues the notification of client block i; a failure forces it done.
template <class L>
void notify_client(Hesk& h, int evslot, EventSlotView<L>& v, int i, bool all, Outbox* out,
                   Tally* t) {
  kova_client_block& b = v.clients()[i];
  Outbox::Item item;
  Prepared p = EventPath<L>(h).prepare(evslot, b.snum, i, &item);
  if (p == kQueued) {
    item.all = all;
    out->add(item);
    ++t->notified;
  } else if (p == kFailed) {
    message(all ? "notification(all) failed -> forcing client DONE"
                : "notification failed -> forcing client DONE");
    set_status_of(b, CLI_S_DONE);
    if (!all) ++t->done;
  }
}

// Visits client block i: writers complete when their blocks are in, waiting
// readers whose blocks are in get their datagram, and clients that cannot be
// served are forced done. REQUIRES: the event slot's lock.
template <class L>
void visit_client(Hesk& h, int evslot, EventSlotView<L>& v, int i, Outbox* out, Tally* t) {
  kova_client_block& b = v.clients()[i];
  ClientSlotView cv(h, b.snum);
  kova_client_slot_head* cs = cv.head();
  if (cs == nullptr) {
    message("Failed to find a client slot forcing DONE slot: %d client: %d clients: %d  bunm: %d",
            b.snum, i, v.nclients(), evslot);
    set_status_of(b, CLI_S_DONE);
    ++t->done;
    return;
  }
  if (cv.is_writer()) {
    ++t->writers;
    if (status_of(b) != CLI_S_DONE && EventPath<L>(h).collected(evslot, b.snum)) {
      touch_client(cs, client_atime(cs), true);
      set_status_of(b, CLI_S_DONE);
    }
    if (status_of(b) == CLI_S_DONE) {
      ++t->writers_done;
      ++t->done;
    }
    return;
  }
  int st = status_of(b);
  if (st != CLI_S_WAIT) {
    if (st == CLI_S_DONE) ++t->done;
    return;
  }
  if (cs->evtype != v.head()->evtype) {
    message("Wrong event type for reading forcing DONE  expected:%d, seen:%d", cs->evtype,
            v.head()->evtype);
    set_status_of(b, CLI_S_DONE);
    ++t->done;
    return;
  }
  int want = 0;
  char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
  if (!cv.is_reader() || !cv.names(&want, &names)) {
    message("Wrong client type for reading forcing DONE");
    set_status_of(b, CLI_S_DONE);
    ++t->done;
    return;
  }
  if (want > v.sbfilled()) return;
  if (want == 0) {
    ++t->open_readers;
    return;
  }
  if (!EventPath<L>(h).collected(evslot, b.snum)) return;
  notify_client<L>(h, evslot, v, i, false, out, t);
}

// Once every writer is done, the readers that listed no blocks are notified.
// REQUIRES: the event slot's lock.
template <class L>
void notify_open_readers(Hesk& h, int evslot, EventSlotView<L>& v, Outbox* out, Tally* t) {
  for (int i = 0, n = v.nclients(); i < n; ++i) {
    kova_client_block& b = v.clients()[i];
    ClientSlotView cv(h, b.snum);
    if (!cv.addressable()) {
      message("(ALL) Failed to find a client slot forcing DONE");
      set_status_of(b, CLI_S_DONE);
      continue;
    }
    int want = -1;
    char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
    if (!cv.is_reader() || !cv.names(&want, &names) || want != 0 || status_of(b) != CLI_S_WAIT)
      continue;
    notify_client<L>(h, evslot, v, i, true, out, t);
  }
}

}  // namespace

template <class L>
int EventPath<L>::settle(SlotLock& lock, Outbox* out) {
  int evslot = lock.slot();
  EventSlotView<L> v(h_, evslot);
  if (!v.sound()) {
    message("cl_notify(): event slot %d is corrupt (clients: %d blocks: %d)", evslot,
            v.head()->nclients, v.head()->sbfilled);
    return 0;
  }
  Tally t;
  int nclients = v.nclients();
  for (int i = 0; i < nclients; ++i) visit_client<L>(h_, evslot, v, i, out, &t);
  if (t.writers_done == t.writers && t.open_readers > 0)
    notify_open_readers<L>(h_, evslot, v, out, &t);
  if (t.done != nclients || t.notified != 0) return t.notified;
  count_event(h_, kEventsCompleted, v.head()->evtype);
  if (v.head()->sbfilled != v.head()->nsblocks) report_unfinished<L>(h_, v);
  if (release(lock)) message("cl_notify(): free_ev_slot() failed");
  return 0;
}

template <class L>
int EventPath<L>::settle_unlocked(int evslot) {
  if (!EventSlotView<L>(h_, evslot).addressable()) {
    message("cl_notify(): Failed to find event slot: %d", evslot);
    return 0;
  }
  Outbox out;
  int notified = 0;
  {
    SlotLock lock(h_.ev_buf, evslot);
    typename L::Ctrl* rec = HeskAccess::record<L>(h_, evslot);
    if (rec == nullptr || Record<L>::status(rec) != EVT_C_USED) return 0;  // freed meanwhile
    notified = settle(lock, &out);
  }
  return notified - deliver(&out);
}

template <class L>
bool EventPath<L>::collected(int evslot, int clslot) {
  EventSlotView<L> v(h_, evslot);
  if (!v.addressable()) {
    message("check_if_all_collected(): failed to get the buffer address for event slot: %d",
            evslot);
    return false;
  }
  ClientSlotView cv(h_, clslot);
  if (!cv.addressable()) {
    message("check_if_all_collected(): failed to get the buffer address for client slot: %d",
            clslot);
    return false;
  }
  int i = v.client_index(clslot);
  if (i >= 0 && status_of(v.clients()[i]) == CLI_S_DONE) return true;
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

template <class L>
bool EventPath<L>::set_status(int evslot, int clslot, BUF_MNG_CLI_STATUS status) {
  EventSlotView<L> v(h_, evslot);
  if (!v.addressable()) {
    message("set_cl_status(): failed to get the buffer address for event slot: %d", evslot);
    return true;
  }
  {
    SlotLock lock(h_.ev_buf, evslot);
    int i = v.client_index(clslot);
    if (i < 0) return true;
    set_status_of(v.clients()[i], status);
  }
  kova_client_slot_head* cs = HeskAccess::client_slot(h_, clslot);
  if (cs != nullptr) touch_client(cs, now(), status == CLI_S_DONE);
  return false;
}

#define HESK_INSTANTIATE(L)                              \
  template int EventPath<L>::settle(SlotLock&, Outbox*); \
  template int EventPath<L>::settle_unlocked(int);       \
  template bool EventPath<L>::collected(int, int);       \
  template bool EventPath<L>::set_status(int, int, BUF_MNG_CLI_STATUS);
HESK_INSTANTIATE(Layout2010)
HESK_INSTANTIATE(Layout2024)
#undef HESK_INSTANTIATE

}  // namespace hesk_mgr

int Hesk::cl_notify(int evslot) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.settle_unlocked(evslot); });
}

bool Hesk::check_if_all_collected(int evslot, int clslot) {
  return hesk_mgr::with_layout(*this, [&](auto path) { return path.collected(evslot, clslot); });
}

bool Hesk::set_cl_status(int evslot, int clslot, BUF_MNG_CLI_STATUS status) {
  return hesk_mgr::with_layout(*this,
                               [&](auto path) { return path.set_status(evslot, clslot, status); });
}
