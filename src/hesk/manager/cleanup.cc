// Ending an object's use of the partitions: the orderly all_clean_up (also
// run by the destructor) and the emergency forced_clean after a
// partition-layer error.
#include <sys/shm.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "C_shm_kill.h"
#include "SysError.h"
#include "master_guard.h"
#include "stats_partition.h"

using namespace hesk_mgr;

namespace {

// Objects abandoned by forced_clean: kept reachable, never used again.
std::vector<C_shm_buffer*>* g_abandoned = nullptr;
std::mutex g_abandoned_mx;

void forget_partitions(Hesk& h) {
  HeskAccess::ready(h).store(false);
  try {
    release_master_lock(h);
  } catch (const SysError&) {
    // The semaphore set is gone, and the lock with it.
  }
  h.clid = h.evid = -1;
  h.cl_buf = h.ev_buf = nullptr;
  h.clictrl = nullptr;
  h.evtctrl = nullptr;
  h.evtctrl2024 = nullptr;
  {
    std::lock_guard<std::mutex> lists(HeskAccess::lists_mutex(h));
    h.sreader.clear();
    h.swriter.clear();
  }
  h.timed_blocks_debug = 20;
  h.missed_blocks_debug = 20;
}

// Number of processes that map the segment now.
long attach_count(int shmid) {
  struct shmid_ds ds;
  if (shmctl(shmid, IPC_STAT, &ds) != 0) return -1;
  return static_cast<long>(ds.shm_nattch);
}

// Other processes that map the segment besides this one (which maps each
// partition once). A master's monitor looking over the partitions of the
// host maps them for moments only: a count above zero is looked at again
// for a while before it is believed.
long other_users(int shmid) {
  long others = attach_count(shmid) - 1;
  for (int i = 0; i < 20 && others > 0; ++i) {
    usleep(5000);
    others = attach_count(shmid) - 1;
  }
  return others;
}

}  // namespace

void Hesk::all_clean_up() {
  timed_blocks_debug = 20;
  missed_blocks_debug = 20;
  stop_monitor();
  // The partitions may already be gone (removed by an operator): what cannot
  // be released is reported, and the clean-up goes on.
  // The reader thread goes first, so that no callback is running on a slot
  // that is being freed.
  if (!sreader.empty() || rid != static_cast<pthread_t>(-1)) stop_reader();
  try {
    for (int slot : std::list<int>(sreader)) {
      SlotLock lock0(cl_buf, 0);
      free_cl_slot(slot, nullptr);
    }
    for (int slot : std::list<int>(swriter)) {
      SlotLock lock0(cl_buf, 0);
      free_cl_slot(slot, nullptr);
    }
  } catch (const SysError& e) {
    message("all_clean_up(): releasing client slots failed: %s", e.what());
  }
  release_stats(*this);

  std::lock_guard<std::recursive_mutex> pool_lock(pool_mx_);
  // Each partition with the number of other processes that map it now
  // (this process maps each partition once).
  std::vector<std::pair<std::string, long>> noted;
  std::vector<C_shm_buffer*> objects;
  for (auto& entry : buffers_names) {
    long others = 0;
    if (master && forced)
      for (auto& by_id : buffers_ids)
        if (by_id.second == entry.second) others = other_users(by_id.first);
    noted.emplace_back(entry.first, others);
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
      // A partition some other process still maps stays on the host: its
      // clients (or another master) go on using it.
      if (n.second > 0) {
        bool control = n.first == cl_name || n.first == ev_name;
        if (control)
          message("all_clean_up(): %s is still attached by other processes: kept", n.first.c_str());
        continue;
      }
      C_shm_kill kill(n.first.c_str());
      if (n.first == ev_name) remove_stats_partition(ev_name);
    }
  }
}

void Hesk::forced_clean() {
  stop_monitor();
  if (!sreader.empty() || rid != static_cast<pthread_t>(-1)) stop_reader();
  abandon_stats(*this);
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
