// The master's monitor thread: frees event slots that stopped changing and
// client slots of processes that are gone, and reconciles what processes
// killed in the middle of a change left behind.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "SysError.h"
#include "reconcile.h"
#include "event_path.h"
#include "test_points.h"

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

// Compares every used slot's head with its snapshot, under the slot's lock,
// and notes the data partitions its blocks come from.
template <class L>
void take_snapshots(Hesk& h, MonitorState& ms) {
  for (int s = 1, nev = HeskAccess::event_slot_count(h); s < nev; ++s) {
    ev_slot_stats& st = ms.stats[s];
    int status = Record<L>::status(HeskAccess::record<L>(h, s));
    if (status == EVT_C_FREE) {
      memset(&st, 0, sizeof(st));
      continue;
    }
    if (status != EVT_C_USED) {
      message("Unknown : %d", status);
      continue;
    }
    EventSlotView<L> v(h, s);
    if (!v.addressable()) {
      message("MONITOR: Failed to get address for buffer: %d", s);
      continue;
    }
    SlotLock lock(h.ev_buf, s);
    if (same_head<L>(*v.head(), snapshot<L>(st))) {
      st.count += 1;
    } else {
      snapshot<L>(st) = *v.head();
      st.count = 0;
    }
    kova_client_sblock_data* e = v.entries();
    for (int k = 0, n = v.sbfilled(); k < n; ++k)
      if (e[k].shmid > 0) ms.data_partitions.insert(e[k].shmid);
  }
}

// Looks at the clients of a stalled slot: dead ones are kicked out, readers
// that never answered are forced done, and live processing clients keep the
// event (count back to 0). REQUIRES: the slot's lock.
template <class L>
bool examine_clients(Hesk& h, MonitorState& ms, EventSlotView<L>& v, ev_slot_stats& st,
                     const time_stamp& t_now) {
  if (!lock_unless_stopped(h.cl_buf, 0, HeskAccess::monitor_run(h))) return false;
  for (int i = 0, n = v.nclients(); i < n; ++i) {
    kova_client_block& b = v.clients()[i];
    ClientSlotView cv(h, b.snum);
    kova_client_slot_head* cs = cv.head();
    if (cs == nullptr) {
      message("MONITOR: failed to obtain the client slot address: %d", b.snum);
      continue;
    }
    if (cs->cltype == 0 || cs->pid == static_cast<int32_t>(h.mpid)) continue;
    if (process_gone(cs->pid)) {
      message("MONITOR process: %d  will be kicked out", cs->pid);
      count_reclaims(h, HESK_RECLAIM_CLIENT_SLOT);
      if (cv.is_writer()) ms.departed.insert(cs->pid);
      kick_out(h, b.snum);
    } else if (status_of(b) == CLI_S_PROC) {
      long limit = static_cast<long>(h.mperiod * 20 / 1000000);
      long age = static_cast<long>(t_now.timeup) - snapshot<L>(st).lupdate.timeup;
      if (cv.is_reader() || (cv.is_writer() && age < limit)) st.count = 0;
    } else {
      move_status(b, CLI_S_NTF, CLI_S_DONE);
    }
  }
  h.cl_buf->ctrl(0, false);
  return true;
}

// A stalled slot: freed unless a live client is still working on it. A
// slot that holds another event by now is left alone.
template <class L>
bool handle_stalled(Hesk& h, MonitorState& ms, int s) {
  ev_slot_stats& st = ms.stats[s];
  const typename L::Head snap = snapshot<L>(st);
  time_stamp t_now = now();
  if constexpr (L::k2024)
    message("MONITOR [%d:%d] Suspicious event slot: %d evt:%d %d:%d_%ld", t_now.timeup,
            t_now.timelow, s, snap.evtype, snap.time.timeup, snap.time.timelow,
            static_cast<long>(snap.eventid));
  else
    message("MONITOR [%d:%d] Suspicious event slot: %d evt:%d %d:%d_%d", t_now.timeup,
            t_now.timelow, s, snap.evtype, snap.time.timeup, snap.time.timelow, snap.eventid);
  EventSlotView<L> v(h, s);
  SlotLock lock(h.ev_buf, s);
  typename L::Ctrl* rec = HeskAccess::record<L>(h, s);
  if (Record<L>::status(rec) != EVT_C_USED || !same_head<L>(*v.head(), snap)) {
    st.count = 0;
    return true;
  }
  if (!examine_clients<L>(h, ms, v, st, t_now)) return false;
  if (st.count != 0) {
    __atomic_store_n(&free_flag, 1, __ATOMIC_RELAXED);
    EventPath<L>(h).release(lock);
    __atomic_store_n(&free_flag, 0, __ATOMIC_RELAXED);
    message("MONITOR Suspicious event slot: %d freed ", s);
    count_reclaims(h, HESK_RECLAIM_EVENT_SLOT);
    st.count = 0;
  } else {
    message("MONITOR slot[%d] still alive and in processing: not  freed ", s);
  }
  return true;
}

// One monitor pass; false when the monitor was told to stop meanwhile.
template <class L>
bool pass(Hesk& h) {
  MonitorState& ms = HeskAccess::monitor_state(h);
  int nev = HeskAccess::event_slot_count(h);
  if (static_cast<int>(ms.stats.size()) != nev) ms.stats.assign(static_cast<size_t>(nev), {});
  time_stamp t_start = now();
  take_snapshots<L>(h, ms);
  test_point("monitor:snapshots");
  bool eventful = false;
  for (int s = 1; s < nev; ++s) {
    if (ms.stats[s].count <= kStallPasses) continue;
    eventful = true;
    if (!handle_stalled<L>(h, ms, s)) return false;
  }
  int repaired = reconcile_event_slots(h);
  if (repaired < 0) return false;
  if (!reconcile_clients(h, ms)) return false;
  if (repaired > 0 || reconcile_data(h, ms)) eventful = true;
  if (debug_selector() == -4000 || eventful) {
    time_stamp t_end = now();
    message("MONITORING [%d:%d]   took: %f ms", t_start.timeup, t_start.timelow,
            (micros(t_end) - micros(t_start)) / 1000.0);
  }
  return true;
}

}  // namespace

void* monitor_thread(void* hesk) {
  block_host_signals();
  static_cast<Hesk*>(hesk)->monitor_exec();
  return nullptr;
}

bool Hesk::start_monitor() {
  if (monitor_thread_->running()) return false;
  __atomic_store_n(&monitor_go, true, __ATOMIC_RELAXED);
  monitor_run_.store(true);
  if (monitor_thread_->start(monitor_thread, this,
                             "Failed to init attribute for the monitor thread\n",
                             "Failed to start monitor thread\n")) {
    pid = 0;
    __atomic_store_n(&monitor_go, false, __ATOMIC_RELAXED);
    monitor_run_.store(false);
    return true;
  }
  pid = monitor_thread_->id();
  return false;
}

bool Hesk::stop_monitor() {
  if (!monitor_thread_->running()) return false;
  monitor_run_.store(false);
  monitor_thread_->stop("Failed to kill my monitoring thread: %ld\n",
                        "Joining monitoring thread failed \n");
  pid = 0;
  return false;
}

void Hesk::monitor_exec() {
  MonitorState& ms = *monitor_state_;
  while (monitor_run_.load()) {
    // Until start-up is complete the control pointers are not to be read.
    if (!ready_.load() || cl_buf == nullptr || ev_buf == nullptr) {
      ms.stats.clear();
      sleep_while(monitor_run_, mperiod);
      continue;
    }
    // A partition removed under the running monitor is reported once; the
    // monitor goes on trying, so it recovers when the partitions are whole
    // again (a new init of this object).
    try {
      bool go_on = evid64bitmode ? pass<Layout2024>(*this) : pass<Layout2010>(*this);
      if (!go_on) break;
      ms.fault_reported = false;
    } catch (const std::exception& e) {
      if (!ms.fault_reported)
        message("MONITOR: the control partitions failed (%s): waiting for them", e.what());
      ms.fault_reported = true;
      ms.stats.clear();
    }
    sleep_while(monitor_run_, mperiod);
  }
  ms.stats.clear();
}
