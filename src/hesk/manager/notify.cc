// Notification datagrams: prepared under the event slot's lock (the reader's
// client block goes to notified), sent once the lock is given back, and a
// reader whose datagram could not be sent forced done.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>

#include "event_path.h"

namespace hesk_mgr {

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

// Sends one prepared datagram to the local host; false on success.
bool send_datagram(Hesk& h, const Outbox::Item& item, bool b2024) {
  struct in_addr addr;
  if (!localhost_address(&addr)) return true;
  // The reader socket sends when there is one; otherwise a socket of its own,
  // so that no reader slot ever records a port nobody reads.
  int sock = h.qid;
  if (sock < 0) {
    UdpSocket& sender = HeskAccess::send_socket(h);
    if (!sender.valid()) sender = UdpSocket::open();
    if (!sender.valid()) {
      printf(b2024 ? "Failed to create socket (2024)\n" : "Failed to create socket\n");
      return true;
    }
    sock = sender.fd();
  }
  struct sockaddr_in dest;
  memset(&dest, 0, sizeof(dest));
  dest.sin_family = AF_INET;
  dest.sin_addr = addr;
  dest.sin_port = htons(static_cast<uint16_t>(item.port));
  ssize_t sent;
  do {
    sent = sendto(sock, item.msg, item.len, 0, reinterpret_cast<struct sockaddr*>(&dest),
                  sizeof(dest));
  } while (sent < 0 && errno == EINTR);
  if (sent != static_cast<ssize_t>(item.len)) {
    perror("sendto");
    printf(b2024 ? "sendto(2024) failed\n" : "sendto() failed\n");
    return true;
  }
  return false;
}

}  // namespace

// Marks client block cln notified and prepares its datagram. kQueued, or
// kNotWaiting (nothing to send), or kFailed (reported).
template <class L>
Prepared EventPath<L>::prepare(int evslot, int clslot, int cln, Outbox::Item* item) {
  Hesk& h = h_;
  if (clslot < 1 || evslot < 0 || cln < 0) {
    message("Invalid parameter %d %d %d", clslot, evslot, cln);
    return kFailed;
  }
  kova_client_slot_head* cs = HeskAccess::client_slot(h, clslot);
  if (cs == nullptr) {
    message("Something wrong: header == NULL");
    return kFailed;
  }
  if (cs->cltype != CLI_T_READER) {
    message("Something wrong: %u  %d != %d", static_cast<unsigned>(cs->pid), cs->cltype,
            CLI_T_READER);
    return kFailed;
  }
  EventSlotView<L> v(h, evslot);
  if (cln >= v.nclients()) return kFailed;
  typename L::Msg msg;
  fill_message<L>(&msg, cs, v.head(), evslot, clslot, cln);
  kova_client_block* blk = v.clients() + cln;
  if (!move_status(*blk, CLI_S_WAIT, CLI_S_NTF)) return kNotWaiting;
  memcpy(item->msg, &msg, sizeof(msg));
  item->len = sizeof(msg);
  item->port = reader_part(cs)->qid & 0xFFFF;
  item->evslot = evslot;
  item->clslot = clslot;
  item->cln = cln;
  return kQueued;
}

template <class L>
int EventPath<L>::deliver(Outbox* out) {
  int failed = 0;
  for (int k = 0; k < out->count(); ++k) {
    const Outbox::Item& item = out->at(k);
    if (!send_datagram(h_, item, L::k2024)) continue;
    ++failed;
    undelivered(item);
  }
  out->clear();
  return failed;
}

// A datagram that could not be sent: its reader is forced done (unless the
// slot holds another event by now) and the event settled again.
template <class L>
void EventPath<L>::undelivered(const Outbox::Item& item) {
  Msg m;
  memcpy(&m, item.msg, sizeof(m));
  Outbox again;
  {
    SlotLock lock(h_.ev_buf, item.evslot);
    EventSlotView<L> v(h_, item.evslot);
    typename L::Ctrl* rec = HeskAccess::record<L>(h_, item.evslot);
    if (Record<L>::status(rec) != EVT_C_USED || !v.sound() || item.cln >= v.nclients() ||
        v.head()->time.timeup != m.time.timeup)
      return;
    kova_client_block& b = v.clients()[item.cln];
    if (b.snum != item.clslot || !move_status(b, CLI_S_NTF, CLI_S_DONE)) return;
    message(item.all ? "notification(all) failed -> forcing client DONE"
                     : "notification failed -> forcing client DONE");
    settle(lock, &again);
  }
  deliver(&again);
}

template <class L>
bool EventPath<L>::notify_one(int evslot, int clslot, int cln) {
  Outbox::Item item;
  Prepared p = prepare(evslot, clslot, cln, &item);
  if (p != kQueued) return p == kFailed;
  return send_datagram(h_, item, L::k2024);
}

#define HESK_INSTANTIATE(L)                                              \
  template Prepared EventPath<L>::prepare(int, int, int, Outbox::Item*); \
  template int EventPath<L>::deliver(Outbox*);                           \
  template bool EventPath<L>::notify_one(int, int, int);
HESK_INSTANTIATE(Layout2010)
HESK_INSTANTIATE(Layout2024)
#undef HESK_INSTANTIATE

}  // namespace hesk_mgr

bool Hesk::notification(int evslot, int clslot, int cln) {
  return hesk_mgr::with_layout(*this,
                               [&](auto path) { return path.notify_one(evslot, clslot, cln); });
}
