// The reader side: a UDP socket bound to an ephemeral port of the local host
// and a thread that receives notifications, checks them against the event
// slot, runs the callback and reports the reader done.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "manager_internal.h"

using namespace hesk_mgr;

namespace {

// How often a receive returns to look at the run flag, so that a stop never
// waits on a datagram that does not come.
constexpr int kReceiveTimeoutUs = 100000;

bool running(Hesk& h) {
  return h.reader_go && HeskAccess::reader_run(h).load();
}

// Messages about bad datagrams stop after 20 per process.
template <typename... Args>
void bad_datagram(const char* fmt, Args... args) {
  if (hesk_bad_format_events >= 20) return;
  message(fmt, args...);
  hesk_bad_format_events += 1;
}

void close_socket(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

template <class L>
void handle(Hesk& h, const typename L::Msg& m) {
  if (KOVA_DAQ_HESK_DEBUG == -2000) {
    std::cout << "Got message: mtype: " << m.mtype << "  evslot: " << m.evslot
              << " clslot: " << m.clslot << " cln: " << m.cln << std::endl;
  }
  kova_client_slot_head* cs = HeskAccess::client_slot(h, m.clslot);
  typename L::Head* head = HeskAccess::event_slot<L>(h, m.evslot);
  if (cs == nullptr || head == nullptr) return;  // names a slot outside the partitions
  if (cs->evtype != head->evtype) {
    if (hesk_bad_format_events < 20) {
      message("reader_thread: event types mismatch expected: %d found: %d", cs->evtype,
              head->evtype);
      if constexpr (L::k2024)
        message(
            "reader_thread: %d:%d_%ld   ev_type:%d  pid: %d  ev.size: %ld blocks:%d filled:%d "
            "clients: %d",
            head->time.timeup, head->time.timelow, static_cast<long>(head->eventid), head->evtype,
            head->pid, static_cast<long>(head->evsize), head->nsblocks, head->sbfilled,
            head->nclients);
      else
        message(
            "reader_thread: %d:%d_%d   ev_type:%d  pid: %d  ev.size: %d blocks:%d filled:%d "
            "clients: %d",
            head->time.timeup, head->time.timelow, head->eventid, head->evtype, head->pid,
            head->evsize, head->nsblocks, head->sbfilled, head->nclients);
      hesk_bad_format_events += 1;
    }
    return;
  }
  long msg_id;
  if constexpr (L::k2024)
    msg_id = static_cast<long>(m.event);
  else
    msg_id = static_cast<long>(m.time.timelow);
  if (head->time.timeup != m.time.timeup || static_cast<long>(head->eventid) != msg_id) {
    if constexpr (L::k2024)
      bad_datagram("reader_thread: event (%d) stamp invalid (old event): event:%d_%ld  msg: %d_%ld",
                   head->evtype, head->time.timeup, static_cast<long>(head->eventid), m.time.timeup,
                   msg_id);
    else
      bad_datagram("reader_thread: event (%d) stamp invalid (old event): event:%d_%d  msg: %d_%ld",
                   head->evtype, head->time.timeup, head->eventid, m.time.timeup, msg_id);
    return;
  }
  if (m.cln < 0 || m.cln >= head->nclients ||
      slot_bytes<L>(m.cln + 1, 0) > HeskAccess::event_slot_length(h)) {
    bad_datagram("reader_thread: client slot number invalid: %d  total: %d", m.cln, head->nclients);
    return;
  }
  kova_client_block* blk = client_blocks<L>(head) + m.cln;
  if (blk->snum == m.clslot) {
    SlotLock lock(h.ev_buf, m.evslot);
    typename L::Ctrl* rec = HeskAccess::record<L>(h, m.evslot);
    if (rec == nullptr || rec->status == EVT_C_FREE) {
      lock.release();
      bad_datagram("reader_thread: event slot:%d is already free ", m.evslot);
      return;
    }
    if (blk->status != CLI_S_NTF) {
      int found = blk->status;
      blk->status = CLI_S_DONE;
      lock.release();
      if constexpr (L::k2024)
        bad_datagram("reader_thread: wrong client status: %d  must be: %d %d:%d_%ld", found,
                     CLI_S_NTF, head->time.timeup, head->time.timelow,
                     static_cast<long>(head->eventid));
      else
        bad_datagram("reader_thread: wrong client status: %d  must be: %d %d:%d_%d", found,
                     CLI_S_NTF, head->time.timeup, head->time.timelow, head->eventid);
      return;
    }
    blk->status = CLI_S_PROC;
  }
  time_stamp t0 = now();
  kova_client_sblock_data* blocks = entries<L>(head);
  if (h.user_cb) h.user_cb(head, blocks);
  h.event_handler(head, blocks);
  time_stamp t1 = now();
  if (KOVA_DAQ_HESK_DEBUG == -3000) {
    printf("(%d) USER CALL %f msec\n", h.port, (micros(t1) - micros(t0)) / 1000.0);
    fflush(stdout);
  }
  if (h.set_cl_status(m.evslot, m.clslot, CLI_S_DONE))
    message("Failed to update the client status to 'CLI_S_DONE' ");
  h.cl_notify(m.evslot);
}

}  // namespace

void* reader_thread(void* hesk) {
  block_host_signals();
  static_cast<Hesk*>(hesk)->reader_exec();
  return nullptr;
}

bool Hesk::start_reader() {
  if (rid != static_cast<pthread_t>(-1)) return qid < 0;  // already running
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    printf("Failed to init attribute for the thread\n");
    return true;
  }
  qid = socket(AF_INET, SOCK_DGRAM, 0);
  if (qid < 0) {
    perror("socket");
    printf("Failed to create socket\n");
    pthread_attr_destroy(&attr);
    return true;
  }
  int one = 1;
  if (setsockopt(qid, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) {
    perror("setsockopt");
    close_socket(&qid);
    printf("Failed to set socket option\n");
    pthread_attr_destroy(&attr);
    return true;
  }
  struct timeval tv = {0, kReceiveTimeoutUs};
  setsockopt(qid, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  // Notifications come from this host only: listen on the local address.
  struct sockaddr_in me;
  memset(&me, 0, sizeof(me));
  me.sin_family = AF_INET;
  if (!localhost_address(&me.sin_addr)) me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  me.sin_port = 0;
  if (bind(qid, reinterpret_cast<struct sockaddr*>(&me), sizeof(me)) != 0) {
    perror("bind");
    close_socket(&qid);
    printf("Failed to bind\n");
    pthread_attr_destroy(&attr);
    return true;
  }
  socklen_t len = sizeof(me);
  if (getsockname(qid, reinterpret_cast<struct sockaddr*>(&me), &len) != 0) {
    perror("getsockname");
    close_socket(&qid);
    printf("Failed to getsockname\n");
    pthread_attr_destroy(&attr);
    return true;
  }
  port = ntohs(me.sin_port);

  install_stop_handler();
  sigset_t unblock, previous;
  sigemptyset(&unblock);
  sigaddset(&unblock, SIGABRT);
  pthread_sigmask(SIG_UNBLOCK, &unblock, &previous);
  reader_go = true;
  reader_run_.store(true);
  if (pthread_create(&rid, &attr, reader_thread, this) != 0) {
    printf("Failed to start reader thread\n");
    close_socket(&qid);
    reader_go = false;
    reader_run_.store(false);
    port = -1;
    rid = static_cast<pthread_t>(-1);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  pthread_attr_destroy(&attr);
  return !(qid > 0);
}

bool Hesk::stop_reader() {
  if (rid != static_cast<pthread_t>(-1)) {
    reader_go = false;
    reader_run_.store(false);
    if (pthread_equal(rid, pthread_self())) {
      // Asked from the callback: the thread ends by itself after it returns.
      pthread_detach(rid);
    } else if (pthread_kill(rid, SIGABRT) != 0) {
      printf("Failed to kill my reading thread: %ld\n", static_cast<long>(rid));
    } else if (pthread_join(rid, nullptr) != 0) {
      printf("Joining reading thread failed \n");
    }
    rid = static_cast<pthread_t>(-1);
  }
  int p = port;
  remove_queue(&p);
  return false;
}

void Hesk::remove_queue(int* p) {
  if (p == nullptr || *p < 0) return;
  if (*p == port) {
    close_socket(&qid);
    port = -1;
  }
  *p = -1;
}

void Hesk::reader_exec() {
  alignas(8) unsigned char buf[64];
  const size_t expected = evid64bitmode ? sizeof(reader_message_2024) : sizeof(reader_message);
  while (running(*this)) {
    // MSG_TRUNC reports the datagram's real length, so a longer one is seen
    // as wrong rather than cut to size.
    ssize_t n = recv(qid, buf, sizeof(buf), MSG_TRUNC);
    if (!running(*this)) break;
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      perror("recv");
      printf("recv() bad status going to IDLE \n");
      for (int i = 0; i < 100 && running(*this); ++i) usleep(10000);
      continue;
    }
    if (static_cast<size_t>(n) != expected) {
      if (hesk_bad_format_events < 20) {
        printf("reader_thread: recv() got wrong length\n");
        hesk_bad_format_events += 1;
      }
      continue;
    }
    if (evid64bitmode) {
      reader_message_2024 m;
      memcpy(&m, buf, sizeof(m));
      handle<Layout2024>(*this, m);
    } else {
      reader_message m;
      memcpy(&m, buf, sizeof(m));
      handle<Layout2010>(*this, m);
    }
  }
}
