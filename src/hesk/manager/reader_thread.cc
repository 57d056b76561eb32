// The reader side: a UDP socket bound to an ephemeral port of the local host
// and a thread that receives notifications, checks each against the event
// slot under the slot's lock, runs the callback and reports the reader done.
//
// Datagrams can come from any local process. One is acted on only when it
// names one of this object's reader slots, the event slot is in use and
// lists that reader at the given place, and the slot holds the event the
// datagram names; anything else is dropped and counted.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "SysError.h"
#include "event_path.h"
#include "adaptive_wait.h"
#include "ipc_sys.h"
#include "partition_repair.h"
#include "tsan_sync.h"

namespace hesk_mgr {

namespace {

// How often a receive returns to look at the run flag, so that a stop never
// waits on a datagram that does not come.
constexpr int kReceiveTimeoutUs = 100000;
// How the thread looks for the next datagram before it sleeps: with CPU
// pauses for a few microseconds, then after yields, 40 us in all.
constexpr int kReceivePauseUs = 10;
constexpr int kReceiveLookUs = 40;

bool running(Hesk& h) {
  return __atomic_load_n(&h.reader_go, __ATOMIC_RELAXED) && HeskAccess::reader_run(h).load();
}

// Counts a dropped datagram and reports it while reports are allowed.
template <typename... Args>
void bad_datagram(const char* fmt, Args... args) {
  if (!bad_datagram_reports_left()) return;
  message(fmt, args...);
  count_bad_datagram();
}

template <class Head>
void report_type_mismatch(const kova_client_slot_head* cs, const Head* head) {
  if (!bad_datagram_reports_left()) return;
  message("reader_thread: event types mismatch expected: %d found: %d", cs->evtype, head->evtype);
  message(
      "reader_thread: %d:%d_%ld   ev_type:%d  pid: %d  ev.size: %ld blocks:%d filled:%d "
      "clients: %d",
      head->time.timeup, head->time.timelow, shown_id(*head), head->evtype, head->pid,
      static_cast<long>(head->evsize), head->nsblocks, head->sbfilled, head->nclients);
  count_bad_datagram();
}

template <class L>
long message_event_id(const typename L::Msg& m) {
  if constexpr (L::k2024)
    return static_cast<long>(m.event);
  else
    return static_cast<long>(m.time.timelow);
}

}  // namespace

// The event's key as the datagram names it and the head holds it, read with
// atomic loads (the head is written under the slot's lock).
template <class L>
bool names_event(const typename L::Head* head, const typename L::Msg& m) {
  uint32_t seconds = __atomic_load_n(&head->time.timeup, __ATOMIC_ACQUIRE);
  long id = static_cast<long>(__atomic_load_n(&head->eventid, __ATOMIC_ACQUIRE));
  return seconds == m.time.timeup && id == message_event_id<L>(m);
}

// What a reader finds in the datagram's event slot without the slot's lock.
template <class L>
struct Listing {
  typename L::Ctrl* rec = nullptr;
  typename L::Head* head = nullptr;
  kova_client_block* blocks = nullptr;  // the slot's client blocks
  int nclients = 0;
};

// Whether the slot is in use, holds the event the datagram names and lists
// this reader's client slot at the datagram's place, read without the lock.
template <class L>
bool lists_reader(Hesk& h, const typename L::Msg& m, Listing<L>* out) {
  EventSlotView<L> v(h, m.evslot);
  out->rec = HeskAccess::record<L>(h, m.evslot);
  if (out->rec == nullptr || Record<L>::status(out->rec) != EVT_C_USED) return false;
  out->head = v.head();
  out->nclients = __atomic_load_n(&out->head->nclients, __ATOMIC_ACQUIRE);
  if (!names_event<L>(out->head, m) || m.cln < 0 || m.cln >= out->nclients) return false;
  out->blocks = v.clients();
  return __atomic_load_n(&out->blocks[m.cln].snum, __ATOMIC_RELAXED) == m.clslot;
}

// The common case, without the slot's lock: the slot is in use, holds the
// event the datagram names, lists this reader at the datagram's place, and
// its block is notified; the block moves to processing by an atomic
// exchange, and the event is checked again after it (an event freed and set
// up anew meanwhile gives the block back to notified). While the block is
// notified, only the monitor (under the lock, by an atomic exchange too)
// takes it from this reader. Anything else is left to accept, under the
// lock, with its messages.
template <class L>
bool EventPath<L>::accept_unlocked(const Msg& m) {
  kova_client_slot_head* cs = HeskAccess::client_slot(h_, m.clslot);
  Listing<L> l;
  if (cs == nullptr || !lists_reader<L>(h_, m, &l) ||
      __atomic_load_n(&l.head->evtype, __ATOMIC_RELAXED) != cs->evtype)
    return false;
  kova_client_block* blk = l.blocks + m.cln;
  if (!move_status(*blk, CLI_S_NTF, CLI_S_PROC)) return false;
  if (Record<L>::status(l.rec) != EVT_C_USED || !names_event<L>(l.head, m)) {
    move_status(*blk, CLI_S_PROC, CLI_S_NTF);
    return false;
  }
  // What writers stored under the slot's lock is seen from here on.
  hesk_shm::sync_acquired(hesk_shm::PartitionRepair::slot_sync(*h_.ev_buf, m.evslot));
  return true;
}

// Checks the datagram against the slots and, when it is this reader's turn,
// moves its client block to processing. True: run the callback. A block
// found in another state than notified is forced done (the event can then
// finish without this reader). REQUIRES: the event slot's lock.
template <class L>
bool EventPath<L>::accept(const Msg& m, bool* forced_done) {
  Hesk& h = h_;
  EventSlotView<L> v(h, m.evslot);
  typename L::Ctrl* rec = HeskAccess::record<L>(h, m.evslot);
  if (rec == nullptr || Record<L>::status(rec) != EVT_C_USED) {
    bad_datagram("reader_thread: event slot:%d is already free ", m.evslot);
    return false;
  }
  typename L::Head* head = v.head();
  kova_client_slot_head* cs = HeskAccess::client_slot(h, m.clslot);
  if (cs->evtype != head->evtype) {
    report_type_mismatch(cs, head);
    return false;
  }
  long msg_id = message_event_id<L>(m);
  if (head->time.timeup != m.time.timeup || static_cast<long>(head->eventid) != msg_id) {
    bad_datagram("reader_thread: event (%d) stamp invalid (old event): event:%d_%ld  msg: %d_%ld",
                 head->evtype, head->time.timeup, shown_id(*head), m.time.timeup, msg_id);
    return false;
  }
  if (!v.sound() || m.cln < 0 || m.cln >= v.nclients()) {
    bad_datagram("reader_thread: client slot number invalid: %d  total: %d", m.cln, head->nclients);
    return false;
  }
  kova_client_block* blk = v.clients() + m.cln;
  if (blk->snum != m.clslot) {
    bad_datagram("reader_thread: client %d of event slot %d is slot %d, not this reader's %d",
                 m.cln, m.evslot, blk->snum, m.clslot);
    return false;
  }
  int found = CLI_S_NTF;
  if (!move_status(*blk, CLI_S_NTF, CLI_S_PROC, &found)) {
    set_status_of(*blk, CLI_S_DONE);
    *forced_done = true;
    if constexpr (L::k2024)
      bad_datagram("reader_thread: wrong client status: %d  must be: %d %d:%d_%ld", found,
                   CLI_S_NTF, head->time.timeup, head->time.timelow,
                   static_cast<long>(head->eventid));
    else
      bad_datagram("reader_thread: wrong client status: %d  must be: %d %d:%d_%d", found, CLI_S_NTF,
                   head->time.timeup, head->time.timelow, head->eventid);
    return false;
  }
  return true;
}

// The reader is done with the event: its client block goes to done, and
// the event is settled under the slot's lock when this may have been its
// last client. An event freed or replaced meanwhile is left alone.
template <class L>
void EventPath<L>::complete(const Msg& m) {
  if (complete_unlocked(m)) return;
  Outbox out;
  {
    SlotLock lock(h_.ev_buf, m.evslot);
    if (!complete_locked(lock, m, &out))
      message("Failed to update the client status to 'CLI_S_DONE' ");
  }
  deliver(&out);
}

// Without the slot's lock: the block this reader processes goes to done by
// an atomic exchange. When every other client is done too, or another one
// needs the forcing that settling does, the caller settles under the lock;
// otherwise a later client's change finishes the event. (A writer that
// settles under the lock marks itself done before it looks at the readers,
// and this reader marks itself done before it looks at the others: one of
// the two sees the event finished.) True when nothing more is to be done.
template <class L>
bool EventPath<L>::complete_unlocked(const Msg& m) {
  Listing<L> l;
  if (!lists_reader<L>(h_, m, &l)) return false;
  // Once this block is done, the event may be freed and its slot set up
  // anew at any moment: only the atomic statuses are read after.
  // What this reader read is ordered before whoever releases the event.
  hesk_shm::sync_releasing(hesk_shm::PartitionRepair::slot_sync(*h_.ev_buf, m.evslot));
  if (!move_status(l.blocks[m.cln], CLI_S_PROC, CLI_S_DONE)) return false;
  kova_client_slot_head* cs = HeskAccess::client_slot(h_, m.clslot);
  if (cs != nullptr) touch_client(cs, now(), true);
  // Clients still notified or processing settle the event when they are
  // done (or the monitor does); a client still waiting may need what
  // settling does (a notification, or being forced done), and a finished
  // event is released.
  bool someone_left = false, settle_now = false;
  for (int i = 0; i < l.nclients && !settle_now; ++i) {
    int st = status_of(l.blocks[i]);
    someone_left = someone_left || st != CLI_S_DONE;
    settle_now = st == CLI_S_WAIT;
  }
  if (someone_left && !settle_now) return true;
  Outbox out;
  {
    SlotLock lock(h_.ev_buf, m.evslot);
    if (Record<L>::status(l.rec) == EVT_C_USED && names_event<L>(l.head, m)) settle(lock, &out);
  }
  deliver(&out);
  return true;
}

// REQUIRES: the slot's lock. false when the slot holds another event by now,
// or not this reader.
template <class L>
bool EventPath<L>::complete_locked(SlotLock& lock, const Msg& m, Outbox* out) {
  EventSlotView<L> v(h_, m.evslot);
  typename L::Ctrl* rec = HeskAccess::record<L>(h_, m.evslot);
  if (Record<L>::status(rec) != EVT_C_USED || v.head()->time.timeup != m.time.timeup ||
      static_cast<long>(v.head()->eventid) != message_event_id<L>(m))
    return false;
  int i = v.client_index(m.clslot);
  if (i < 0) return false;
  set_status_of(v.clients()[i], CLI_S_DONE);
  kova_client_slot_head* cs = HeskAccess::client_slot(h_, m.clslot);
  if (cs != nullptr) touch_client(cs, now(), true);
  settle(lock, out);
  return true;
}

template <class L>
void EventPath<L>::receive(const Msg& m) {
  if (debug_selector() == -2000) {
    std::cout << "Got message: mtype: " << m.mtype << "  evslot: " << m.evslot
              << " clslot: " << m.clslot << " cln: " << m.cln << std::endl;
  }
  EventSlotView<L> v(h_, m.evslot);
  if (!v.addressable() || HeskAccess::client_slot(h_, m.clslot) == nullptr) {
    count_dropped_datagram(h_);
    bad_datagram("reader_thread: datagram names slots outside the partitions: %d %d", m.evslot,
                 m.clslot);
    return;
  }
  if (!holds_reader_slot(h_, m.clslot)) {
    count_dropped_datagram(h_);
    bad_datagram("reader_thread: datagram for client slot %d, not one of this reader's", m.clslot);
    return;
  }
  bool run = accept_unlocked(m), forced_done = false;
  if (!run) {
    Outbox out;
    {
      SlotLock lock(h_.ev_buf, m.evslot);
      run = accept(m, &forced_done);
      // A reader forced to done may have been the event's last client.
      if (forced_done) settle(lock, &out);
    }
    deliver(&out);
  }
  if (!run) count_dropped_datagram(h_);
  if (!run) return;
  time_stamp t0 = now();
  Head* head = v.head();
  // The entries follow the client blocks; their count is read atomically
  // (writers may still add entries while a reader that listed blocks reads).
  int nclients = __atomic_load_n(&head->nclients, __ATOMIC_ACQUIRE);
  auto* blocks = reinterpret_cast<kova_client_sblock_data*>(
      reinterpret_cast<char*>(head) + sizeof(Head) +
      sizeof(kova_client_block) * static_cast<size_t>(nclients > 0 ? nclients : 0));
  // The reader is reported done whatever the callback does.
  try {
    if (h_.user_cb) h_.user_cb(head, blocks);
    h_.event_handler(head, blocks);
  } catch (...) {
    message("reader_thread: the event callback threw an exception (event slot %d)", m.evslot);
  }
  time_stamp t1 = now();
  if (debug_selector() == -3000) {
    printf("(%d) USER CALL %f msec\n", h_.port, (micros(t1) - micros(t0)) / 1000.0);
    fflush(stdout);
  }
  complete(m);
}

template void EventPath<Layout2010>::receive(const Msg&);
template void EventPath<Layout2024>::receive(const Msg&);
template bool EventPath<Layout2010>::accept_unlocked(const Msg&);
template bool EventPath<Layout2024>::accept_unlocked(const Msg&);
template bool EventPath<Layout2010>::complete_unlocked(const Msg&);
template bool EventPath<Layout2024>::complete_unlocked(const Msg&);

namespace {

// One received datagram of the expected length, handled in the layout in force.
void dispatch(Hesk& h, const unsigned char* buf) {
  with_layout(h, [&](auto path) {
    typename decltype(path)::Msg m;
    memcpy(&m, buf, sizeof(m));
    path.receive(m);
  });
}

}  // namespace

// The next datagram. Right after an event the next one is often only
// microseconds away: it is looked for for a while (adaptive_wait.h) before
// the thread sleeps in the kernel, which costs more than that.
ssize_t receive_next(int fd, unsigned char* buf, size_t len) {
  ssize_t n = recv(fd, buf, len, MSG_TRUNC | MSG_DONTWAIT);
  if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) return n;
  static hesk_shm::AdaptiveWait receive_wait(kReceivePauseUs, kReceiveLookUs, kReceiveLookUs);
  hesk_shm::adaptive_wait(
      receive_wait,
      [&] {
        n = recv(fd, buf, len, MSG_TRUNC | MSG_DONTWAIT);
        return n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
      },
      [&] { n = recv(fd, buf, len, MSG_TRUNC); });
  return n;
}

}  // namespace hesk_mgr

using namespace hesk_mgr;

void* reader_thread(void* hesk) {
  block_host_signals();
  static_cast<Hesk*>(hesk)->reader_exec();
  return nullptr;
}

bool Hesk::start_reader() {
  if (reader_thread_->running()) return qid < 0;  // already running
  in_addr local;
  // Notifications come from this host only: listen on the local address.
  if (!localhost_address(&local)) local.s_addr = htonl(INADDR_LOOPBACK);
  *reader_sock_ = UdpSocket::open_bound(local);
  if (!reader_sock_->valid()) return true;
  struct timeval tv = {0, kReceiveTimeoutUs};
  setsockopt(reader_sock_->fd(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  qid = reader_sock_->fd();
  port = reader_sock_->port();

  __atomic_store_n(&reader_go, true, __ATOMIC_RELAXED);
  reader_run_.store(true);
  if (reader_thread_->start(reader_thread, this, "Failed to init attribute for the thread\n",
                            "Failed to start reader thread\n")) {
    reader_sock_->close();
    __atomic_store_n(&reader_go, false, __ATOMIC_RELAXED);
    reader_run_.store(false);
    port = -1;
    qid = -1;
    rid = static_cast<pthread_t>(-1);
    return true;
  }
  rid = reader_thread_->id();
  return false;
}

bool Hesk::stop_reader() {
  if (reader_thread_->running()) {
    __atomic_store_n(&reader_go, false, __ATOMIC_RELAXED);
    reader_run_.store(false);
    reader_thread_->stop("Failed to kill my reading thread: %ld\n",
                         "Joining reading thread failed \n");
    rid = static_cast<pthread_t>(-1);
  }
  int p = port;
  remove_queue(&p);
  return false;
}

void Hesk::remove_queue(int* p) {
  if (p == nullptr || *p < 0) return;
  if (*p == port) {
    reader_sock_->close();
    qid = -1;
    port = -1;
  }
  *p = -1;
}

void Hesk::reader_exec() {
  alignas(8) unsigned char buf[64];
  const size_t expected = evid64bitmode ? sizeof(reader_message_2024) : sizeof(reader_message);
  const int fd = qid;
  bool fault_reported = false;
  while (running(*this)) {
    // MSG_TRUNC reports the datagram's real length, so a longer one is seen
    // as wrong rather than cut to size.
    ssize_t n = receive_next(fd, buf, sizeof(buf));
    if (!running(*this)) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      perror("recv");
      printf("recv() bad status going to IDLE \n");
      for (int i = 0; i < 100 && running(*this); ++i) usleep(10000);
      continue;
    }
    if (static_cast<size_t>(n) != expected) {
      count_dropped_datagram(*this);
      if (bad_datagram_reports_left()) {
        printf("reader_thread: recv() got wrong length\n");
        count_bad_datagram();
      }
      continue;
    }
    // The partitions may be removed under a running reader (an operator, a
    // master's forced clean-up): it reports once and stops, and the process
    // lives on.
    try {
      dispatch(*this, buf);
    } catch (const std::exception& e) {
      if (!fault_reported)
        message("reader_thread: the partitions failed (%s): reader stopped", e.what());
      fault_reported = true;
      break;
    }
  }
}
