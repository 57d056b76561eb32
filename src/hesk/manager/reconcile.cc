// The monitor's reconciliation of slots and buffers left behind by killed
// processes (see reconcile.h).
#include "reconcile.h"

#include <unistd.h>

#include <cstring>
#include <vector>

#include "partition_repair.h"
#include "event_path.h"

using namespace hesk_mgr;
using hesk_shm::PartitionRepair;
using hesk_shm::RepairResult;

namespace {

void report(const char* what, const char* name, const RepairResult& r) {
  if (!r.repaired()) return;
  message("MONITOR: %s %s: %d buffers queued again, %d reclaimed, free count raised by %d", what,
          name, r.requeued, r.reclaimed, r.counts_added);
}

template <class L>
bool record_free(Hesk& h, int s) {
  typename L::Ctrl* r = HeskAccess::record<L>(h, s);
  return r != nullptr && Record<L>::status(r) == EVT_C_FREE;
}

// Recounts the subscriptions of the control block from the slots.
// REQUIRES: client lock 0.
void recount(Hesk& h) {
  kova_client_ctrl_block want;
  memset(&want, 0, sizeof(want));
  for (int c = 1, n = HeskAccess::client_slot_count(h); c < n; ++c) {
    ClientSlotView cv(h, c);
    kova_client_slot_head* s = cv.head();
    if (s == nullptr || s->pid == 0 || !(cv.is_reader() || cv.is_writer())) continue;
    want.clitotal += 1;
    bool typed = valid_evtype(s->evtype);
    if (cv.is_reader()) {
      want.clireader += 1;
      if (typed) want.evtyper[s->evtype] += 1;
    } else {
      want.cliwriter += 1;
      if (typed) want.evtypew[s->evtype] += 1;
    }
  }
  kova_client_ctrl_block* have = h.clictrl;
  bool differ = have->clitotal != want.clitotal || have->clireader != want.clireader ||
                have->cliwriter != want.cliwriter ||
                memcmp(have->evtyper, want.evtyper, sizeof(want.evtyper)) != 0 ||
                memcmp(have->evtypew, want.evtypew, sizeof(want.evtypew)) != 0;
  if (!differ) return;
  message("MONITOR: client counters corrected: total %d -> %d, readers %d -> %d, writers %d -> %d",
          have->clitotal, want.clitotal, have->clireader, want.clireader, have->cliwriter,
          want.cliwriter);
  have->clitotal = want.clitotal;
  have->clireader = want.clireader;
  have->cliwriter = want.cliwriter;
  memcpy(have->evtyper, want.evtyper, sizeof(want.evtyper));
  memcpy(have->evtypew, want.evtypew, sizeof(want.evtypew));
}

// Kicks out the slots of processes that are gone and notes the writers seen.
// REQUIRES: client lock 0.
void kick_out_dead(Hesk& h, MonitorState& ms) {
  std::set<int> seen;
  for (int c = 1, n = HeskAccess::client_slot_count(h); c < n; ++c) {
    ClientSlotView cv(h, c);
    kova_client_slot_head* cs = cv.head();
    if (cs == nullptr || cs->pid == 0 || cs->cltype == 0) continue;
    if (cs->pid == static_cast<int32_t>(h.mpid)) continue;
    if (process_gone(cs->pid)) {
      message("MONITOR: %d  will be kicked out slot:%d", cs->pid, c);
      count_reclaims(h, HESK_RECLAIM_CLIENT_SLOT);
      if (cv.is_writer()) ms.departed.insert(cs->pid);
      kick_out(h, c);
    } else if (cv.is_writer()) {
      seen.insert(cs->pid);
    }
  }
  // Writers seen before whose slots are gone now (freed by another process
  // that found them dead): their buffers are looked for as well.
  for (int pid : ms.writers_seen)
    if (seen.count(pid) == 0 && process_gone(pid)) ms.departed.insert(pid);
  ms.writers_seen.swap(seen);
}

// Buffers (segment id, buffer number) that event slots refer to.
using References = std::set<std::pair<int, int>>;

// What the used event slots refer to now, each read under the slot's lock.
template <class L>
void collect_references(Hesk& h, References* refs) {
  for (int s = 1, nev = HeskAccess::event_slot_count(h); s < nev; ++s) {
    if (Record<L>::status(HeskAccess::record<L>(h, s)) == EVT_C_FREE) continue;
    EventSlotView<L> v(h, s);
    if (!v.addressable()) continue;
    SlotLock lock(h.ev_buf, s);
    kova_client_sblock_data* e = v.entries();
    for (int k = 0, n = v.sbfilled(); k < n; ++k)
      if (e[k].shmid > 0 && e[k].bnum >= 0) refs->insert({e[k].shmid, e[k].bnum});
  }
}

// Whether handed-out buffer (id, bnum) was taken by a departed writer and is
// in no event slot.
bool orphaned(const MonitorState& ms, const References& refs, int id, int bnum,
              const C_shm_buf& d) {
  return ms.departed.count(d.owner_pid) != 0 && refs.count({id, bnum}) == 0;
}

constexpr long kSweepEvery = 20;  // passes between looks at every buffer's taker

// The takers of the handed-out buffers of the data partitions events used
// that are gone join `departed`.
void sweep_takers(Hesk& h, MonitorState& ms) {
  std::set<int> takers;
  auto note = [&](int, const C_shm_buf& d) {
    takers.insert(d.owner_pid);
    return false;
  };
  for (auto it = ms.data_partitions.begin(); it != ms.data_partitions.end();) {
    int id = *it;
    if (id == h.clid || id == h.evid) {
      it = ms.data_partitions.erase(it);
      continue;
    }
    hesk_shm::PartitionViewer v(id);
    if (!PartitionRepair::usable(v)) {  // removed meanwhile
      it = ms.data_partitions.erase(it);
      continue;
    }
    PartitionRepair::repair(v, note);
    ++it;
  }
  for (int pid : takers)
    if (pid != static_cast<int>(h.mpid) && process_gone(pid)) ms.departed.insert(pid);
}

}  // namespace

namespace hesk_mgr {

int reconcile_event_slots(Hesk& h) {
  // Slots out of the free queue whose record is free: a set-up cut short
  // (its event lock 0 and the slot's lock decide), or a release between its
  // two steps (the slot's lock decides).
  bool b2024 = h.evid64bitmode;
  auto is_free = [&](int s) {
    return b2024 ? record_free<Layout2024>(h, s) : record_free<Layout2010>(h, s);
  };
  std::vector<int> candidates;
  RepairResult r = PartitionRepair::repair(*h.ev_buf, [&](int s, const C_shm_buf&) {
    if (s >= 1 && is_free(s)) candidates.push_back(s);
    return false;
  });
  report("event partition", h.evname, r);
  int repaired = r.repaired() ? 1 : 0;
  if (candidates.empty()) return repaired;
  if (!lock_unless_stopped(h.ev_buf, 0, HeskAccess::monitor_run(h))) return -1;
  SlotLock lock0;
  lock0.adopt(h.ev_buf, 0);
  for (int s : candidates) {
    SlotLock lock(h.ev_buf, s);
    if (!is_free(s) || h.ev_buf->buffer_status(s) != 0) continue;
    message("MONITOR: event slot %d was taken but never used: freed", s);
    count_reclaims(h, HESK_RECLAIM_EVENT_SLOT);
    h.ev_buf->return_buffer(s);
    ++repaired;
  }
  return repaired;
}

bool reconcile_clients(Hesk& h, MonitorState& ms) {
  if (!lock_unless_stopped(h.cl_buf, 0, HeskAccess::monitor_run(h))) return false;
  struct Unlock {
    Hesk& h;
    ~Unlock() {
      try {
        h.cl_buf->ctrl(0, false);
      } catch (...) {
      }
    }
  } unlock{h};
  kick_out_dead(h, ms);
  RepairResult r = PartitionRepair::repair(*h.cl_buf, [&](int c, const C_shm_buf& d) {
    kova_client_slot_head* cs = HeskAccess::client_slot(h, c);
    if (c < 1 || cs == nullptr || cs->pid != 0 || !process_gone(d.owner_pid)) return false;
    message("MONITOR: client slot %d taken by %d, which is gone: freed", c, d.owner_pid);
    count_reclaims(h, HESK_RECLAIM_CLIENT_SLOT);
    memset(cs, 0, h.cl_buf->getBufferLength());
    return true;
  });
  report("client partition", h.clname, r);
  recount(h);
  return true;
}

bool reconcile_data(Hesk& h, MonitorState& ms) {
  bool repaired = false;
  if (ms.passes++ % kSweepEvery == 0) sweep_takers(h, ms);
  // Read only now, after every writer in `departed` was found gone.
  References refs;
  if (!ms.departed.empty()) {
    if (h.evid64bitmode)
      collect_references<Layout2024>(h, &refs);
    else
      collect_references<Layout2010>(h, &refs);
  }
  auto test = [&](int id) {
    return [&, id](int bnum, const C_shm_buf& d) { return orphaned(ms, refs, id, bnum, d); };
  };
  std::vector<int> held;
  {
    std::lock_guard<std::recursive_mutex> pool(HeskAccess::pool_mutex(h));
    for (auto& entry : HeskAccess::pool_by_id(h)) {
      C_shm_buffer* b = entry.second;
      if (b == h.cl_buf || b == h.ev_buf) continue;
      held.push_back(entry.first);
      RepairResult r = PartitionRepair::repair(*b, test(entry.first));
      report("partition", b->getStat("name").c_str(), r);
      count_reclaims(h, HESK_RECLAIM_BUFFER, r.reclaimed);
      repaired = repaired || r.repaired();
    }
  }
  if (ms.departed.empty()) return repaired;
  // Writers that are gone may have taken buffers of partitions this process
  // never saw: every partition of the host is looked at once.
  for (int id : C_shm::partition_ids()) {
    if (id == h.clid || id == h.evid) continue;
    bool in_pool = false;
    for (int k : held) in_pool = in_pool || k == id;
    if (in_pool) continue;
    hesk_shm::PartitionViewer v(id);
    if (!PartitionRepair::usable(v)) continue;
    RepairResult r = PartitionRepair::repair(v, test(id));
    report("partition", v.getStat("name").c_str(), r);
    count_reclaims(h, HESK_RECLAIM_BUFFER, r.reclaimed);
    repaired = repaired || r.repaired();
  }
  ms.departed.clear();
  return repaired;
}

}  // namespace hesk_mgr
