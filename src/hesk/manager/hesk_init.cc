// Start-up: the master creates (or validates and re-uses) the client and
// event control partitions; every other process attaches to them.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "C_shm_kill.h"
#include "master_guard.h"
#include "partition_repair.h"
#include "stats_partition.h"

using namespace hesk_mgr;

namespace {

int stat_int(C_shm_buffer* b, const char* key) {
  return atoi(b->getStat(key).c_str());
}

enum class Found { kCreated, kReused, kRefused, kFailed };

// The settings that size a control partition, for the message when it
// cannot be created.
const char* sizing_settings(bool client) {
  return client ? "set_nclients or set_ncl_slots (buffers) and set_nblocks (bytes)"
                : "set_rate or set_nev_slots (buffers) and set_nblocks or set_nclients (bytes)";
}

// Creates partition `name` with a slot lock per buffer and adds it to the
// pool, as the pool's own add() does, but says why a creation failed and
// which settings make it smaller.
bool create_partition(Hesk& h, const char* name, int nbuf, int lbuf, bool client) {
  C_shm_buffer* obj = new (std::nothrow) C_shm_buffer(name, nbuf, lbuf, true);
  if (obj == nullptr || !obj->valid()) {
    printf("C_shm_mpool::add() %s %d %d  bf->valid():%d\n", name, nbuf, lbuf, 0);
    const double bytes = static_cast<double>(C_shm_size(nbuf, lbuf));
    const bool giga = bytes >= 1e9;
    message(
        "init(): cannot create partition %s (%d buffers of %d bytes, %.1f %s): %s; lower %s "
        "before init",
        name, nbuf, lbuf, giga ? bytes / 1e9 : bytes / 1e6, giga ? "GB" : "MB",
        obj ? obj->Error() : "out of memory", sizing_settings(client));
    delete obj;
    return false;
  }
  HeskAccess::map_partition(h, obj);
  return true;
}

// Whether a partition found by name may be used by the master: created by
// this user or root, and (for the client partition) not held by another
// master. A refusal is reported.
bool master_may_use(Hesk& h, C_shm_buffer* b, const char* name, bool client) {
  if (!created_by_us_or_root(b, name)) return false;
  if (!client) return true;
  h.cl_buf = b;  // the master lock lives in the client partition's set
  bool refused = take_master_lock(h);
  h.cl_buf = nullptr;
  return !refused;
}

// Attaches the partition `name` when it exists with at least nbuf buffers of
// lbuf bytes (and, for the event partition, the layout in force), replaces an
// incompatible one when `forced`, else creates it.
Found find_or_create(Hesk& h, const char* name, int nbuf, int lbuf, bool client,
                     const char* slots_fmt, const char* incompatible_fmt) {
  // Two rounds: a replaced partition that is still there (no right to
  // remove it) is not fought over forever.
  for (int round = 0; round < 2; ++round) {
    message(slots_fmt, name, nbuf, lbuf);
    if (!h.add(name)) {
      C_shm_buffer* b = h.find_by_name(name);
      if (b == nullptr || !master_may_use(h, b, name, client)) {
        h.remove(name);
        return Found::kRefused;
      }
      int have_n = stat_int(b, "nbuf");
      int have_l = have_n >= nbuf ? stat_int(b, "lbuf") : 0;
      int tag = client ? 0 : event_layout_tag(b);
      bool other_layout = tag != 0 && tag != (h.evid64bitmode ? 2024 : 2010);
      if (have_n >= nbuf && have_l >= lbuf && !other_layout) return Found::kReused;
      if (other_layout)
        message("Old event slot partition uses the %d layout, this master the %d layout", tag,
                h.evid64bitmode ? 2024 : 2010);
      else
        message(incompatible_fmt, have_n, nbuf, have_l, lbuf);
      if (client) release_master_lock(h);
      h.remove(name);
      if (!h.forced) return Found::kRefused;
      message("Forcing mode: removing it !!!");
      C_shm_kill kill(name);
      continue;
    }
    if (!create_partition(h, name, nbuf, lbuf, client)) return Found::kFailed;
    if (client && !master_may_use(h, h.find_by_name(name), name, true)) {
      h.remove(name);
      return Found::kRefused;
    }
    return Found::kCreated;
  }
  return Found::kFailed;
}

void register_defaults(Hesk& h) {
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    h.get_bname_f[t] = get_bname_known;
    h.get_key_f[t] = get_key_known;
    h.get_len_f[t] = get_len_known;
    h.get_trg_f[t] = get_trg_known;
    h.get_sts_f[t] = get_sts_known;
    h.get_evid_f[t] = get_evid_known;
  }
}

void take_ids(Hesk& h) {
  h.cl_buf = h.find_by_name(h.clname);
  h.ev_buf = h.find_by_name(h.evname);
  h.clid = h.cl_buf ? stat_int(h.cl_buf, "shmid") : -1;
  h.evid = h.ev_buf ? stat_int(h.ev_buf, "shmid") : -1;
}

// Takes a control partition out of the pool. A process that only attaches
// never removes it: it may be the only user yet of partitions a master has
// just made and not yet become a user of.
void let_go(Hesk& h, const char* name) {
  C_shm_buffer* b = h.find_by_name(name);
  if (b != nullptr && !h.master) b->keep(true);
  h.remove(name);
}

void drop_partitions(Hesk& h) {
  h.cl_buf = h.find_by_name(h.clname);
  release_master_lock(h);
  let_go(h, h.clname);
  let_go(h, h.evname);
  h.clid = h.evid = -1;
  h.cl_buf = h.ev_buf = nullptr;
  h.clictrl = nullptr;
  h.evtctrl = nullptr;
  h.evtctrl2024 = nullptr;
}

// Whether buffer 0 (the control block) is still in the free queue: the
// master that made the partition was stopped before it finished start-up.
bool start_up_unfinished(C_shm_buffer* b) {
  return b->buffer_status(0) != 0;
}

// Takes buffer 0 out of the free queue so that it is never handed out as a
// slot; null when it is not there.
char* take_buffer_zero(C_shm_buffer* b) {
  return hesk_shm::PartitionRepair::take_out(*b, 0) ? b->buffer_addr(0) : nullptr;
}

void zero_partition(C_shm_buffer* b) {
  for (int i = 0; i < b->getBufferCount(); ++i) memset(b->buffer_addr(i), 0, b->getBufferLength());
}

// A new client partition makes every client reference of an old event
// partition stale: both are cleared, and the old event slots go back to the
// free queue so none is lost.
void clear_for_new_clients(C_shm_buffer* cl, C_shm_buffer* ev, bool ev_reused) {
  zero_partition(cl);
  zero_partition(ev);
  if (!ev_reused) return;
  for (int s = 1; s < ev->getBufferCount(); ++s)
    if (ev->buffer_status(s) == 0) ev->return_buffer(s);
}

}  // namespace

bool Hesk::init() {
  __atomic_store_n(&hesk_bad_format_events, 0, __ATOMIC_RELAXED);
  register_defaults(*this);
  std::lock_guard<std::recursive_mutex> pool_lock(pool_mx_);

  if (!master) {
    if (add(clname)) return true;
    if (add(evname)) {
      let_go(*this, clname);
      return true;
    }
    take_ids(*this);
    clictrl = reinterpret_cast<kova_client_ctrl_block*>(cl_buf->buffer_addr(0));
    bool initialised = false;
    for (int i = 0; i < 10000 && clictrl != nullptr; ++i) {
      int st = __atomic_load_n(&clictrl->status, __ATOMIC_ACQUIRE);
      if (st == CLI_C_INIT || st == CLI_C_UPD) {
        initialised = true;
        break;
      }
      usleep(100);
    }
    if (!initialised) {
      message("Control block not initialized");
      drop_partitions(*this);
      return true;
    }
    // Slots of the other layout would be read with the wrong offsets.
    int tag = event_layout_tag(ev_buf), mine = evid64bitmode ? 2024 : 2010;
    if (tag != 0 && tag != mine) {
      message(
          "init(): the event slots of %s use the %d layout, this process the %d layout "
          "(set_evid_64bit_mode): refused",
          evname, tag, mine);
      drop_partitions(*this);
      return true;
    }
    evtctrl = reinterpret_cast<kova_event_ctrl_block*>(ev_buf->buffer_addr(0));
    evtctrl2024 = reinterpret_cast<kova_event_ctrl_block_2024*>(evtctrl);
    attach_stats(*this);
    ready_.store(true);
    return false;
  }

  // Master: the client partition.
  long n_cl = (clslots ? clslots : 64L * ncli) + 1;
  long l_cl = 48 + 256L * nsbl;
  if (n_cl < 2 || l_cl < 48 || n_cl > INT32_MAX || l_cl > INT32_MAX) {
    message("CL_SLOTS NAME:%s SLOTS:%ld SIZE:%ld", clname, n_cl, l_cl);
    return true;
  }
  Found cl = find_or_create(*this, clname, static_cast<int>(n_cl), static_cast<int>(l_cl), true,
                            "CL_SLOTS NAME:%s SLOTS:%d SIZE:%d",
                            "Old client slot partition is incompatible !!! %d < %d  || %d < %d");
  if (cl == Found::kFailed || cl == Found::kRefused) return true;

  // The event partition, in the layout in force.
  long n_ev = (evslots ? evslots : 32L * evrate) + 1;
  long l_ev = evid64bitmode ? std::max(8L * (10 + 33L * nsbl + ncli), 24L * n_ev)
                            : std::max(60 + 8L * (33L * nsbl + ncli), 20L * n_ev);
  Found ev = Found::kFailed;
  if (n_ev >= 2 && n_ev <= INT32_MAX && l_ev <= INT32_MAX) {
    ev = find_or_create(*this, evname, static_cast<int>(n_ev), static_cast<int>(l_ev), false,
                        "EV_SLOTS NAME:%s SLOTS:%d SIZE:%d",
                        "Old event slot partition is incompatible !!! %d < %d || %d < %d");
  }
  if (ev == Found::kFailed || ev == Found::kRefused) {
    drop_partitions(*this);
    if (ev == Found::kFailed) {
      printf("!!!!!!!!!!!!!!!! failed to add EVENT SLOTS !!!\n");
      fflush(stdout);
    }
    return true;
  }

  take_ids(*this);
  // A partition whose master was stopped before buffer 0 was taken is set up
  // again as if it were new.
  bool cl_new = cl == Found::kCreated || start_up_unfinished(cl_buf);
  bool ev_new = ev == Found::kCreated || start_up_unfinished(ev_buf);
  if (cl_new) {
    clear_for_new_clients(cl_buf, ev_buf, !ev_new);
    clictrl = reinterpret_cast<kova_client_ctrl_block*>(take_buffer_zero(cl_buf));
    if (clictrl == nullptr) {
      message("Failed to allocate 0th slot for client control block");
      drop_partitions(*this);
      return true;
    }
  } else {
    clictrl = reinterpret_cast<kova_client_ctrl_block*>(cl_buf->buffer_addr(0));
  }

  if (ev_new) {
    evtctrl = reinterpret_cast<kova_event_ctrl_block*>(take_buffer_zero(ev_buf));
    if (evtctrl == nullptr) {
      message("Failed to allocate 0th slot for event control block");
      drop_partitions(*this);
      return true;
    }
    memset(evtctrl, 0, ev_buf->getBufferLength());
  } else {
    evtctrl = reinterpret_cast<kova_event_ctrl_block*>(ev_buf->buffer_addr(0));
  }
  evtctrl2024 = reinterpret_cast<kova_event_ctrl_block_2024*>(evtctrl);
  set_event_layout_tag(ev_buf, evid64bitmode);

  // The counts are there before attaching processes may go on.
  attach_stats(*this);
  // Mark the client control block ready for attaching processes whenever
  // either partition is new, or when a stopped start-up never did.
  int status = clictrl->status;
  if (cl_new || ev_new || (status != CLI_C_INIT && status != CLI_C_UPD)) {
    while (!cl_buf->ctrl(0, true)) message("Ku-ku");
    __atomic_store_n(&clictrl->status, static_cast<int32_t>(CLI_C_INIT), __ATOMIC_RELEASE);
    cl_buf->ctrl(0, false);
  }
  ready_.store(true);
  // A master runs the monitor; after a clean-up it is started again here.
  if (!monitor_thread_->running()) start_monitor();
  return false;
}
