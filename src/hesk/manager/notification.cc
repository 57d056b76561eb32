// Notification: after every change to an event slot, writers whose blocks
// are all in are marked done, waiting readers whose wishes are met get one
// datagram each, and a finished event is freed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "manager_internal.h"

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
  typename L::Head* head = HeskAccess::event_slot<L>(h, evslot);
  if (head == nullptr || cln >= head->nclients ||
      slot_bytes<L>(cln + 1, 0) > HeskAccess::event_slot_length(h))
    return true;
  typename L::Msg msg;
  fill_message<L>(&msg, cs, head, evslot, clslot, cln);
  kova_client_block* blk = client_blocks<L>(head) + cln;
  if (blk->status != CLI_S_WAIT) return false;
  blk->status = CLI_S_NTF;

  struct in_addr addr;
  if (!localhost_address(&addr)) return true;
  // The reader socket sends when there is one; otherwise a socket of its own,
  // so that no reader slot ever records a port nobody reads.
  int sock = h.qid >= 0 ? h.qid : HeskAccess::send_qid(h);
  if (sock < 0) {
    sock = socket(AF_INET, SOCK_DGRAM, 0);
    if (sock < 0) {
      perror("socket");
      printf(L::k2024 ? "Failed to create socket (2024)\n" : "Failed to create socket\n");
      return true;
    }
    HeskAccess::send_qid(h) = sock;
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
void report_unfinished(Hesk& h, typename L::Head* head) {
  message("------------------------UUuups filled != total %d != %d Ev type: %d ts: %d:%d",
          head->sbfilled, head->nsblocks, head->evtype, head->time.timeup, head->time.timelow);
  kova_client_sblock_data* e = entries<L>(head);
  for (int k = 0; k < head->sbfilled &&
                  slot_bytes<L>(head->nclients, k + 1) <= HeskAccess::event_slot_length(h);
       ++k) {
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

template <class L>
int notify_all(Hesk& h, int evslot) {
  typename L::Head* head = HeskAccess::event_slot<L>(h, evslot);
  if (head == nullptr) {
    message("cl_notify(): Failed to find event slot: %d", evslot);
    return 0;
  }
  int done = 0, notified = 0, writers = 0, writers_done = 0, open_readers = 0;
  int nclients;
  time_stamp start;
  {
    SlotLock lock(h.ev_buf, evslot);
    start = head->start;
    nclients = head->nclients;
    if (slot_bytes<L>(nclients, 0) > HeskAccess::event_slot_length(h)) nclients = 0;
    kova_client_block* blocks = client_blocks<L>(head);
    for (int i = 0; i < nclients; ++i) {
      kova_client_block& b = blocks[i];
      kova_client_slot_head* cs = HeskAccess::client_slot(h, b.snum);
      if (cs == nullptr) {
        message(
            "Failed to find a client slot forcing DONE slot: %d client: %d clients: %d  bunm: %d",
            b.snum, i, nclients, evslot);
        b.status = CLI_S_DONE;
        ++done;
        continue;
      }
      if (cs->cltype == CLI_T_WRITER) {
        ++writers;
        if (b.status != CLI_S_DONE && h.check_if_all_collected(evslot, b.snum)) {
          cs->evcnt += 1;
          b.status = CLI_S_DONE;
        }
        if (b.status == CLI_S_DONE) {
          ++writers_done;
          ++done;
        }
        continue;
      }
      if (b.status != CLI_S_WAIT) {
        if (b.status == CLI_S_DONE) ++done;
        continue;
      }
      if (cs->evtype != head->evtype) {
        message("Wrong event type for reading forcing DONE  expected:%d, seen:%d", cs->evtype,
                head->evtype);
        b.status = CLI_S_DONE;
        ++done;
        continue;
      }
      if (cs->cltype == CLI_T_READER) {
        int want = reader_part(cs)->nsblocks;
        if (want > head->sbfilled) continue;
        if (want == 0) {
          ++open_readers;
          continue;
        }
        if (!h.check_if_all_collected(evslot, b.snum)) continue;
        if (!h.notification(evslot, b.snum, i)) {
          ++notified;
        } else {
          message("notification failed -> forcing client DONE");
          b.status = CLI_S_DONE;
          ++done;
        }
        continue;
      }
      message("Wrong client type for reading forcing DONE");
      b.status = CLI_S_DONE;
      ++done;
    }
    if (writers_done == writers && open_readers > 0) {
      for (int i = 0; i < nclients; ++i) {
        kova_client_block& b = blocks[i];
        kova_client_slot_head* cs = HeskAccess::client_slot(h, b.snum);
        if (cs == nullptr) {
          message("(ALL) Failed to find a client slot forcing DONE");
          b.status = CLI_S_DONE;
          continue;
        }
        if (cs->cltype == CLI_T_READER && reader_part(cs)->nsblocks == 0 &&
            b.status == CLI_S_WAIT) {
          if (!h.notification(evslot, b.snum, i)) {
            ++notified;
          } else {
            message("notification(all) failed -> forcing client DONE");
            b.status = CLI_S_DONE;
          }
        }
      }
    }
  }
  if (done != nclients || notified != 0) return notified;
  if (head->sbfilled != head->nsblocks) report_unfinished<L>(h, head);
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
