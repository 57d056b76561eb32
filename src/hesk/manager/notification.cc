// Notification: after every change to an event slot, writers whose blocks
// are all in are marked done, waiting readers whose wishes are met get one
// datagram each, and a finished event is freed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "slot_view.h"

using namespace hesk_mgr;

namespace {

template <class L>
void fill_message(typename L::Msg* m, kova_client_slot_head* cs, typename L::Head* head, int evslot,
                  int clslot, int cln) {
  memset(m, 0, sizeof(*m));
  m->mtype = cs->pid;
  m->evslot = evslot;
  m->clslot = clslot;
  m->cln = cln;
  if constexpr (L::k2024) {
    m->time = head->time;
    m->event = static_cast<uint64_t>(head->eventid);
  } else {
    m->time.timeup = head->time.timeup;
    m->time.timelow = head->eventid;
  }
}

template <class L>
bool notify_one(Hesk& h, int evslot, int clslot, int cln) {
  if (clslot < 1 || evslot < 0 || cln < 0) {
    message("Invalid parameter %d %d %d", clslot, evslot, cln);
    return true;
  }
  kova_client_slot_head* cs = HeskAccess::client_slot(h, clslot);
  if (cs == nullptr) {
    message("Something wrong: header == NULL");
    return true;
  }
  if (cs->cltype != CLI_T_READER) {
    message("Something wrong: %u  %d != %d", static_cast<unsigned>(cs->pid), cs->cltype,
            CLI_T_READER);
    return true;
  }
  EventSlotView<L> v(h, evslot);
  if (cln >= v.nclients()) return true;
  typename L::Msg msg;
  fill_message<L>(&msg, cs, v.head(), evslot, clslot, cln);
  kova_client_block* blk = v.clients() + cln;
  if (blk->status != CLI_S_WAIT) return false;
  blk->status = CLI_S_NTF;

  struct in_addr addr;
  if (!localhost_address(&addr)) return true;
  // The reader socket sends when there is one; otherwise a socket of its own,
  // so that no reader slot ever records a port nobody reads.
  int sock = h.qid;
  if (sock < 0) {
    UdpSocket& sender = HeskAccess::send_socket(h);
    if (!sender.valid()) sender = UdpSocket::open();
    if (!sender.valid()) {
      printf(L::k2024 ? "Failed to create socket (2024)\n" : "Failed to create socket\n");
      return true;
    }
    sock = sender.fd();
  }
  struct sockaddr_in dest;
  memset(&dest, 0, sizeof(dest));
  dest.sin_family = AF_INET;
  dest.sin_addr = addr;
  dest.sin_port = htons(static_cast<uint16_t>(reader_part(cs)->qid & 0xFFFF));
  ssize_t sent;
  do {
    sent =
        sendto(sock, &msg, sizeof(msg), 0, reinterpret_cast<struct sockaddr*>(&dest), sizeof(dest));
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(sizeof(msg))) {
    perror("sendto");
    printf(L::k2024 ? "sendto(2024) failed\n" : "sendto() failed\n");
    return true;
  }
  return false;
}

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
    if (is_block_2024(p)) {
      auto* b = reinterpret_cast<kova_serv_block_head_2024*>(p);
      message(
          "Pattern: 0x%lX, Time: %d sec %d usec\n\t Total size: %ld\n\t Mpulse:%ld\n\t Server: "
          "%.255s\n\t tmask:0x%X\n\t Status: %d\n\t Nchan: %d",
          static_cast<unsigned long>(b->pattern), b->time.timeup, b->time.timelow,
          static_cast<long>(b->ltotal), static_cast<long>(b->mpulse), b->server, b->tmask,
          b->status, b->nchan);
    } else {
      auto* b = reinterpret_cast<kova_serv_block_head_2010*>(p);
      message(
          "Time: %d sec %d usec\n\t Total size: %d\n\t Mpulse:%d\n\t Server: %.255s\n\t "
          "tmask:0x%X\n\t Status: %d\n\t Nchan: %d",
          b->time.timeup, b->time.timelow, b->ltotal, b->mpulse, b->server, b->tmask, b->status,
          b->nchan);
    }
  }
  fflush(nullptr);
}

// The state of one event's clients, as cl_notify counts it.
struct Tally {
  int done = 0, notified = 0, writers = 0, writers_done = 0, open_readers = 0;
};

// Visits client block i: writers complete when their blocks are in, waiting
// readers whose blocks are in get their datagram, and clients that cannot be
// served are forced done. REQUIRES: the event slot's lock.
template <class L>
void visit_client(Hesk& h, int evslot, EventSlotView<L>& v, int i, Tally* t) {
  kova_client_block& b = v.clients()[i];
  ClientSlotView cv(h, b.snum);
  kova_client_slot_head* cs = cv.head();
  if (cs == nullptr) {
    message("Failed to find a client slot forcing DONE slot: %d client: %d clients: %d  bunm: %d",
            b.snum, i, v.nclients(), evslot);
    b.status = CLI_S_DONE;
    ++t->done;
    return;
  }
  if (cv.is_writer()) {
    ++t->writers;
    if (b.status != CLI_S_DONE && h.check_if_all_collected(evslot, b.snum)) {
      touch_client(cs, client_atime(cs), true);
      b.status = CLI_S_DONE;
    }
    if (b.status == CLI_S_DONE) {
      ++t->writers_done;
      ++t->done;
    }
    return;
  }
  if (b.status != CLI_S_WAIT) {
    if (b.status == CLI_S_DONE) ++t->done;
    return;
  }
  if (cs->evtype != v.head()->evtype) {
    message("Wrong event type for reading forcing DONE  expected:%d, seen:%d", cs->evtype,
            v.head()->evtype);
    b.status = CLI_S_DONE;
    ++t->done;
    return;
  }
  int want = 0;
  char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
  if (!cv.is_reader() || !cv.names(&want, &names)) {
    message("Wrong client type for reading forcing DONE");
    b.status = CLI_S_DONE;
    ++t->done;
    return;
  }
  if (want > v.sbfilled()) return;
  if (want == 0) {
    ++t->open_readers;
    return;
  }
  if (!h.check_if_all_collected(evslot, b.snum)) return;
  if (!h.notification(evslot, b.snum, i)) {
    ++t->notified;
  } else {
    message("notification failed -> forcing client DONE");
    b.status = CLI_S_DONE;
    ++t->done;
  }
}

// Once every writer is done, the readers that listed no blocks are notified.
// REQUIRES: the event slot's lock.
template <class L>
void notify_open_readers(Hesk& h, int evslot, EventSlotView<L>& v, Tally* t) {
  for (int i = 0, n = v.nclients(); i < n; ++i) {
    kova_client_block& b = v.clients()[i];
    ClientSlotView cv(h, b.snum);
    if (!cv.addressable()) {
      message("(ALL) Failed to find a client slot forcing DONE");
      b.status = CLI_S_DONE;
      continue;
    }
    int want = -1;
    char(*names)[KOVA_SBLOCK_NAME_LEN] = nullptr;
    if (!cv.is_reader() || !cv.names(&want, &names) || want != 0 || b.status != CLI_S_WAIT)
      continue;
    if (!h.notification(evslot, b.snum, i)) {
      ++t->notified;
    } else {
      message("notification(all) failed -> forcing client DONE");
      b.status = CLI_S_DONE;
    }
  }
}

template <class L>
int notify_all(Hesk& h, int evslot) {
  EventSlotView<L> v(h, evslot);
  if (!v.addressable()) {
    message("cl_notify(): Failed to find event slot: %d", evslot);
    return 0;
  }
  Tally t;
  int nclients;
  time_stamp start;
  {
    SlotLock lock(h.ev_buf, evslot);
    typename L::Ctrl* rec = HeskAccess::record<L>(h, evslot);
    if (rec == nullptr || rec->status != EVT_C_USED) return 0;  // freed meanwhile
    if (!v.sound()) {
      message("cl_notify(): event slot %d is corrupt (clients: %d blocks: %d)", evslot,
              v.head()->nclients, v.head()->sbfilled);
      return 0;
    }
    start = v.head()->start;
    nclients = v.nclients();
    for (int i = 0; i < nclients; ++i) visit_client<L>(h, evslot, v, i, &t);
    if (t.writers_done == t.writers && t.open_readers > 0) notify_open_readers<L>(h, evslot, v, &t);
    if (t.done != nclients || t.notified != 0) return t.notified;
    if (v.head()->sbfilled != v.head()->nsblocks) report_unfinished<L>(h, v);
  }
  // Another process may have finished and freed this event in the meantime
  // and the slot may hold a new one: free it only while it is still ours.
  if (free_event_if_unchanged(h, evslot, start)) message("cl_notify(): free_ev_slot() failed");
  return 0;
}

}  // namespace

int Hesk::cl_notify(int evslot) {
  return evid64bitmode ? notify_all<Layout2024>(*this, evslot)
                       : notify_all<Layout2010>(*this, evslot);
}

bool Hesk::notification(int evslot, int clslot, int cln) {
  return evid64bitmode ? notify_one<Layout2024>(*this, evslot, clslot, cln)
                       : notify_one<Layout2010>(*this, evslot, clslot, cln);
}
