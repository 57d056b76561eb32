// Ending an object's use of the partitions: the orderly all_clean_up (also
// run by the destructor) and the emergency forced_clean after a
// partition-layer error.
#include <sys/shm.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "C_shm_kill.h"
#include "SysError.h"
#include "manager_internal.h"

using namespace hesk_mgr;

namespace {

// Objects abandoned by forced_clean: kept reachable, never used again.
std::vector<C_shm_buffer*>* g_abandoned = nullptr;
std::mutex g_abandoned_mx;

void forget_partitions(Hesk& h) {
  HeskAccess::ready(h).store(false);
  h.clid = h.evid = -1;
  h.cl_buf = h.ev_buf = nullptr;
  h.clictrl = nullptr;
  h.evtctrl = nullptr;
  h.evtctrl2024 = nullptr;
  h.sreader.clear();
  h.swriter.clear();
  h.timed_blocks_debug = 20;
  h.missed_blocks_debug = 20;
}

// Number of processes that map the segment now.
long attach_count(int shmid) {
  struct shmid_ds ds;
  if (shmctl(shmid, IPC_STAT, &ds) != 0) return -1;
  return static_cast<long>(ds.shm_nattch);
}

}  // namespace

void Hesk::all_clean_up() {
  timed_blocks_debug = 20;
  missed_blocks_debug = 20;
  stop_monitor();
  // The partitions may already be gone (removed by an operator): what cannot
  // be released is reported, and the clean-up goes on.
  try {
    bool had_readers = !sreader.empty();
    for (int slot : sreader) {
      SlotLock lock0(cl_buf, 0);
      free_cl_slot(slot, nullptr);
    }
    if (had_readers || rid != static_cast<pthread_t>(-1)) stop_reader();
    for (int slot : swriter) {
      SlotLock lock0(cl_buf, 0);
      free_cl_slot(slot, nullptr);
    }
  } catch (const SysError& e) {
    message("all_clean_up(): releasing client slots failed: %s", e.what());
    if (rid != static_cast<pthread_t>(-1)) stop_reader();
  }

  std::lock_guard<std::recursive_mutex> pool_lock(pool_mx_);
  std::vector<std::pair<std::string, int>> noted;
  std::vector<C_shm_buffer*> objects;
  for (auto& entry : buffers_names) {
    int id = -1;
    for (auto& by_id : buffers_ids)
      if (by_id.second == entry.second) id = by_id.first;
    noted.emplace_back(entry.first, id);
    objects.push_back(entry.second);
  }
  std::string cl_name = clname ? clname : "", ev_name = evname ? evname : "";
  forget_partitions(*this);
  buffers_names.clear();
  buffers_ids.clear();
  buffers_sz.clear();
  for (C_shm_buffer* obj : objects) delete obj;

  if (master && forced) {
    for (auto& n : noted) {
      bool control = n.first == cl_name || n.first == ev_name;
      // A data partition some other process still maps stays on the host.
      if (!control && n.second > 0 && attach_count(n.second) > 0) continue;
      C_shm_kill kill(n.first.c_str());
    }
  }
}

void Hesk::forced_clean() {
  stop_monitor();
  if (!sreader.empty() || rid != static_cast<pthread_t>(-1)) stop_reader();
  std::lock_guard<std::recursive_mutex> pool_lock(pool_mx_);
  C_shm::flush();
  {
    std::lock_guard<std::mutex> lock(g_abandoned_mx);
    if (g_abandoned == nullptr) g_abandoned = new std::vector<C_shm_buffer*>;
    for (auto& entry : buffers_names) g_abandoned->push_back(entry.second);
  }
  forget_partitions(*this);
  buffers_names.clear();
  buffers_ids.clear();
  buffers_sz.clear();
}
