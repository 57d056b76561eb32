// The master's monitor thread: frees event slots that stopped changing and
// client slots of processes that are gone.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "manager_internal.h"

using namespace hesk_mgr;

namespace {

constexpr int kStallPasses = 9;  // a slot unchanged for more passes is stalled

template <class L>
typename L::Head& snapshot(ev_slot_stats& st) {
  if constexpr (L::k2024)
    return st.head2024;
  else
    return st.head;
}

// Whether two heads are equal but for their status (and 2024 pattern).
template <class L>
bool same_head(const typename L::Head& a, const typename L::Head& b) {
  typename L::Head x = a, y = b;
  x.status = y.status = 0;
  if constexpr (L::k2024) x.pattern = y.pattern = 0;
  return memcmp(&x, &y, sizeof(x)) == 0;
}

// Examines the clients of a stalled slot; returns false when the monitor
// was told to stop meanwhile.
template <class L>
bool examine_clients(Hesk& h, int s, ev_slot_stats& st, const time_stamp& t_now) {
  std::atomic<bool>& run = HeskAccess::monitor_run(h);
  if (!lock_unless_stopped(h.ev_buf, 0, run)) return false;
  typename L::Head* head = HeskAccess::event_slot<L>(h, s);
  int n = head ? head->nclients : 0;
  if (slot_bytes<L>(n, 0) > HeskAccess::event_slot_length(h)) n = 0;
  kova_client_block* blocks = head ? client_blocks<L>(head) : nullptr;
  for (int i = 0; i < n; ++i) {
    kova_client_slot_head* cs = HeskAccess::client_slot(h, blocks[i].snum);
    if (cs == nullptr) {
      message("MONITOR: failed to obtain the client slot address: %d", blocks[i].snum);
      continue;
    }
    if (h.if_cl_slot_free(blocks[i].snum) != 0 || cs->pid == static_cast<int32_t>(h.mpid)) continue;
    if (!lock_unless_stopped(h.cl_buf, 0, run)) {
      h.ev_buf->ctrl(0, false);
      return false;
    }
    if (!process_alive(cs->pid)) {
      message("MONITOR process: %d  will be kicked out", cs->pid);
      kick_out(h, blocks[i].snum);
    } else if (blocks[i].status == CLI_S_PROC) {
      long limit = static_cast<long>(h.mperiod * 20 / 1000000);
      long age = static_cast<long>(t_now.timeup) - snapshot<L>(st).lupdate.timeup;
      if (cs->cltype == CLI_T_READER || (cs->cltype == CLI_T_WRITER && age < limit)) st.count = 0;
    } else if (blocks[i].status == CLI_S_NTF) {
      blocks[i].status = CLI_S_DONE;
    }
    h.cl_buf->ctrl(0, false);
  }
  h.ev_buf->ctrl(0, false);
  return true;
}

// One monitor pass; false when the monitor was told to stop meanwhile.
template <class L>
bool pass(Hesk& h) {
  std::atomic<bool>& run = HeskAccess::monitor_run(h);
  int nev = HeskAccess::event_slot_count(h);
  ev_slot_stats*& stats = HeskAccess::stats(h);
  if (stats == nullptr || HeskAccess::stats_count(h) != nev) {
    free(stats);
    stats = static_cast<ev_slot_stats*>(calloc(static_cast<size_t>(nev), sizeof(ev_slot_stats)));
    HeskAccess::stats_count(h) = stats ? nev : 0;
    if (stats == nullptr) return true;
  }
  if (!lock_unless_stopped(h.ev_buf, 0, run)) return false;
  time_stamp t_start = now();
  for (int s = 1; s < nev; ++s) {
    typename L::Ctrl* rec = HeskAccess::record<L>(h, s);
    if (rec->status == EVT_C_FREE) {
      memset(&stats[s], 0, sizeof(stats[s]));
    } else if (rec->status == EVT_C_USED) {
      typename L::Head* head = HeskAccess::event_slot<L>(h, s);
      if (head == nullptr) {
        message("MONITOR: Failed to get address for buffer: %d", s);
      } else if (same_head<L>(*head, snapshot<L>(stats[s]))) {
        stats[s].count += 1;
      } else {
        snapshot<L>(stats[s]) = *head;
        stats[s].count = 0;
      }
    } else {
      message("Unknown : %d", rec->status);
    }
  }
  h.ev_buf->ctrl(0, false);

  bool eventful = false;
  for (int s = 1; s < nev; ++s) {
    if (stats[s].count <= kStallPasses) continue;
    const typename L::Head& snap = snapshot<L>(stats[s]);
    time_stamp t_now = now();
    if constexpr (L::k2024)
      message("MONITOR [%d:%d] Suspicious event slot: %d evt:%d %d:%d_%ld", t_now.timeup,
              t_now.timelow, s, snap.evtype, snap.time.timeup, snap.time.timelow,
              static_cast<long>(snap.eventid));
    else
      message("MONITOR [%d:%d] Suspicious event slot: %d evt:%d %d:%d_%d", t_now.timeup,
              t_now.timelow, s, snap.evtype, snap.time.timeup, snap.time.timelow, snap.eventid);
    eventful = true;
    if (!examine_clients<L>(h, s, stats[s], t_now)) return false;
    if (stats[s].count != 0) {
      free_flag = 1;
      h.free_ev_slot(s);
      free_flag = 0;
      message("MONITOR Suspicious event slot: %d freed ", s);
      stats[s].count = 0;
    } else {
      message("MONITOR slot[%d] still alive and in processing: not  freed ", s);
    }
  }

  int ncl = HeskAccess::client_slot_count(h);
  for (int c = 1; c < ncl; ++c) {
    if (h.if_cl_slot_free(c) != 0) continue;
    if (!lock_unless_stopped(h.cl_buf, 0, run)) return false;
    kova_client_slot_head* cs = HeskAccess::client_slot(h, c);
    if (cs && h.if_cl_slot_free(c) == 0 && cs->pid != static_cast<int32_t>(h.mpid) &&
        !process_alive(cs->pid)) {
      message("MONITOR: %d  will be kicked out slot:%d", cs->pid, c);
      kick_out(h, c);
    }
    h.cl_buf->ctrl(0, false);
  }

  if (KOVA_DAQ_HESK_DEBUG == -4000 || eventful) {
    time_stamp t_end = now();
    message("MONITORING [%d:%d]   took: %f ms", t_start.timeup, t_start.timelow,
            (micros(t_end) - micros(t_start)) / 1000.0);
  }
  return true;
}

void drop_stats(Hesk& h) {
  free(HeskAccess::stats(h));
  HeskAccess::stats(h) = nullptr;
  HeskAccess::stats_count(h) = 0;
}

}  // namespace

void* monitor_thread(void* hesk) {
  block_host_signals();
  static_cast<Hesk*>(hesk)->monitor_exec();
  return nullptr;
}

bool Hesk::start_monitor() {
  if (pid != 0) return false;
  install_stop_handler();
  sigset_t unblock, previous;
  sigemptyset(&unblock);
  sigaddset(&unblock, SIGABRT);
  pthread_sigmask(SIG_UNBLOCK, &unblock, &previous);
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) {
    printf("Failed to init attribute for the monitor thread\n");
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return true;
  }
  monitor_go = true;
  monitor_run_.store(true);
  bool failed = pthread_create(&pid, &attr, monitor_thread, this) != 0;
  if (failed) {
    printf("Failed to start monitor thread\n");
    pid = 0;
    monitor_go = false;
    monitor_run_.store(false);
  }
  pthread_attr_destroy(&attr);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return failed;
}

bool Hesk::stop_monitor() {
  if (pid == 0) return false;
  monitor_run_.store(false);
  if (pthread_kill(pid, SIGABRT) != 0)
    printf("Failed to kill my monitoring thread: %ld\n", static_cast<long>(pid));
  else if (pthread_join(pid, nullptr) != 0)
    printf("Joining monitoring thread failed \n");
  pid = 0;
  return false;
}

void Hesk::monitor_exec() {
  while (monitor_run_.load()) {
    // Until start-up is complete the control pointers are not to be read.
    if (!ready_.load() || cl_buf == nullptr || ev_buf == nullptr) {
      drop_stats(*this);
      sleep_while(monitor_run_, mperiod);
      continue;
    }
    bool go_on = evid64bitmode ? pass<Layout2024>(*this) : pass<Layout2010>(*this);
    if (!go_on) break;
    sleep_while(monitor_run_, mperiod);
  }
  drop_stats(*this);
}
