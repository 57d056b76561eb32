// Read-only snapshots of a buffer manager (see manager_reader.h).
#include "manager_reader.h"

#include <sys/sem.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <map>

#include "../discover.h"
#include "Hesk_int.h"

namespace live {

namespace {

constexpr int kSettingUp = -1;  // client count of a slot whose set-up is under way

double wall_now() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return tv.tv_sec + tv.tv_usec / 1e6;
}

double seconds(const time_stamp& t) {
  return t.timeup + t.timelow / 1e6;
}

std::string host_name() {
  char buf[256] = "";
  if (gethostname(buf, sizeof(buf) - 1) != 0) return "localhost";
  buf[sizeof(buf) - 1] = '\0';
  return buf;
}

std::string bounded_name(const char* p) {
  return std::string(p, strnlen(p, KOVA_SBLOCK_NAME_LEN - 1));
}

int id_of(const std::vector<SegmentEntry>& segs, const std::string& name) {
  if (name.empty()) return -1;
  for (const SegmentEntry& e : segs)
    if (e.name == name) return e.shmid;
  return -1;
}

// The fields of an event slot head the view shows, from either layout.
struct HeadFields {
  int evtype, nsblocks, sbfilled, nclients, pid;
  int64_t eventid, evsize;
  time_stamp key, start, lupdate;
};

template <class Head>
HeadFields fields(const Head& h) {
  return HeadFields{h.evtype,
                    h.nsblocks,
                    h.sbfilled,
                    h.nclients,
                    h.pid,
                    static_cast<int64_t>(h.eventid),
                    static_cast<int64_t>(h.evsize),
                    h.time,
                    h.start,
                    h.lupdate};
}

// Copies what the view shows of an event slot in shared memory (its head,
// client blocks and the entries listed) into `to`, which holds a slot;
// nothing but copying, as it runs under the slot's lock.
void grab_event_slot(const char* slot, int lbuf, bool b2024, char* to) {
  const long head_size = b2024 ? sizeof(kova_event_slot_head_2024) : sizeof(kova_event_slot_head);
  if (lbuf < head_size) return;
  memcpy(to, slot, static_cast<size_t>(head_size));
  int32_t nclients, sbfilled;
  memcpy(&nclients,
         to + (b2024 ? offsetof(kova_event_slot_head_2024, nclients)
                     : offsetof(kova_event_slot_head, nclients)),
         sizeof(nclients));
  memcpy(&sbfilled,
         to + (b2024 ? offsetof(kova_event_slot_head_2024, sbfilled)
                     : offsetof(kova_event_slot_head, sbfilled)),
         sizeof(sbfilled));
  const long entries_at = head_size + static_cast<long>(sizeof(kova_client_block)) * nclients;
  if (nclients < 0 || sbfilled < 0 ||
      entries_at + static_cast<long>(sizeof(kova_client_sblock_data)) * sbfilled > lbuf)
    return;
  const long listed = std::min<long>(sbfilled, static_cast<long>(kMaxBlocksListed));
  memcpy(to + head_size, slot + head_size,
         static_cast<size_t>(entries_at - head_size +
                             static_cast<long>(sizeof(kova_client_sblock_data)) * listed));
}

// Reads an event slot copied by grab_event_slot into `out`; false when its
// counts do not fit the slot.
bool copy_event_slot(const char* slot, int lbuf, bool b2024, EventSlotInfo* out) {
  const size_t head_size = b2024 ? sizeof(kova_event_slot_head_2024) : sizeof(kova_event_slot_head);
  if (lbuf < static_cast<long>(head_size)) return false;
  HeadFields f;
  if (b2024) {
    kova_event_slot_head_2024 h;
    memcpy(&h, slot, sizeof(h));
    f = fields(h);
  } else {
    kova_event_slot_head h;
    memcpy(&h, slot, sizeof(h));
    f = fields(h);
  }
  out->event_type = f.evtype;
  out->event_id = f.eventid;
  out->key_s = f.key.timeup;
  out->key_us = f.key.timelow;
  out->size = f.evsize;
  out->set_up_by = f.pid;
  out->start = seconds(f.start);
  out->last_update = f.lupdate.timeup != 0 ? seconds(f.lupdate) : out->start;
  out->blocks_expected = f.nsblocks;
  out->blocks_filled = f.sbfilled;
  if (f.nclients == kSettingUp) {
    out->setting_up = true;
    return true;
  }
  const long entries_at =
      static_cast<long>(head_size) + static_cast<long>(sizeof(kova_client_block)) * f.nclients;
  if (f.nclients < 0 || f.sbfilled < 0 ||
      entries_at + static_cast<long>(sizeof(kova_client_sblock_data)) * f.sbfilled > lbuf)
    return false;
  for (int i = 0; i < f.nclients; ++i) {
    kova_client_block b;
    memcpy(&b, slot + head_size + sizeof(b) * i, sizeof(b));
    out->clients.push_back(EventClient{b.snum, b.status, 0});
  }
  const int listed = std::min<int>(f.sbfilled, static_cast<int>(kMaxBlocksListed));
  for (int k = 0; k < listed; ++k) {
    kova_client_sblock_data e;
    memcpy(&e, slot + entries_at + sizeof(e) * k, sizeof(e));
    out->blocks.push_back(EventBlock{bounded_name(e.name), e.shmid, e.bnum});
  }
  return true;
}

}  // namespace

ManagerReader::ManagerReader(std::string client_partition, std::string event_partition, int layout)
    : client_(std::move(client_partition)),
      event_(std::move(event_partition)),
      named_(!client_.empty() && !event_.empty()),
      layout_(layout) {}

bool ManagerReader::choose_manager(Snapshot* s) {
  if (named_) return true;
  std::vector<ManagerFound> found = find_managers();
  if (found.size() == 1) {
    // From now on this manager is followed by its names, also through
    // restarts of its master.
    client_ = found[0].client;
    event_ = found[0].event;
    named_ = true;
    return true;
  }
  if (found.empty()) {
    s->state = "no manager";
    s->message = "no buffer manager runs on this host";
    return false;
  }
  s->state = "several managers";
  for (const ManagerFound& m : found) s->managers.push_back(m.client + " " + m.event);
  s->message = "several buffer managers run on this host: name one with --cl NAME --ev NAME";
  return false;
}

Snapshot ManagerReader::read() {
  const auto t0 = std::chrono::steady_clock::now();
  Snapshot s;
  s.time = wall_now();
  s.host = host_name();
  segments_ = directory_.scan();
  auto finish = [&]() {
    s.duration = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return s;
  };
  if (!choose_manager(&s)) return finish();
  s.client_partition = client_;
  s.event_partition = event_;
  s.stats_partition = hesk_stats_partition_name(event_.c_str());
  const int cl_id = id_of(segments_, client_), ev_id = id_of(segments_, event_);
  const int st_id = id_of(segments_, s.stats_partition);
  s.master_pid = last_master_;
  s.master_alive = false;
  if (cl_id < 0 || ev_id < 0) {
    s.state = "partitions missing";
    s.message = "the control partitions " + client_ + " and " + event_ +
                " are not on this host: the manager's master has not started or has ended";
    return finish();
  }
  {
    ReadOnlyPartition cl(cl_id), ev(ev_id);
    if (!cl.ok() || !ev.ok() || cl.nbuf() < 2 || ev.nbuf() < 2) {
      s.state = "unreadable";
      s.message = "the control partitions cannot be read by this user";
      return finish();
    }
    read_clients(cl, &s);
    read_events(ev, &s);
  }
  s.found = true;
  if (st_id >= 0) read_counts(st_id, &s);
  cross_reference(&s);

  add_partition(cl_id, "client", &s);
  add_partition(ev_id, "event", &s);
  if (st_id >= 0) add_partition(st_id, "stats", &s);
  // Data partitions: those the events refer to, those the clients created,
  // and those seen with this manager before that are still there.
  std::set<int> pids;
  for (const ClientInfo& c : s.clients) pids.insert(c.pid);
  std::set<int> present;
  for (const SegmentEntry& e : segments_) {
    present.insert(e.shmid);
    if (pids.count(e.creator)) data_ids_.insert(e.shmid);
  }
  for (const EventSlotInfo& e : s.events)
    for (const EventBlock& b : e.blocks)
      if (b.shmid > 0 && present.count(b.shmid)) data_ids_.insert(b.shmid);
  for (auto it = data_ids_.begin(); it != data_ids_.end();)
    it = present.count(*it) ? std::next(it) : data_ids_.erase(it);
  for (int id : data_ids_) {
    if (id == cl_id || id == ev_id || id == st_id) continue;
    add_partition(id, "data", &s);
  }
  auto rank = [](const PartitionInfo& p) {
    return p.role == "client" ? 0 : p.role == "event" ? 1 : p.role == "stats" ? 2 : 3;
  };
  std::stable_sort(s.partitions.begin(), s.partitions.end(),
                   [&](const PartitionInfo& a, const PartitionInfo& b) {
                     return rank(a) != rank(b) ? rank(a) < rank(b) : a.name < b.name;
                   });

  s.state = s.master_alive ? "running" : "no master";
  if (!s.master_alive)
    s.message = "no master runs on these partitions: nothing reclaims what dead processes leave";
  return finish();
}

void ManagerReader::read_clients(const ReadOnlyPartition& cl, Snapshot* s) {
  kova_client_ctrl_block ctrl;
  memset(&ctrl, 0, sizeof(ctrl));
  if (cl.lbuf() >= static_cast<int>(sizeof(ctrl))) memcpy(&ctrl, cl.buffer(0), sizeof(ctrl));
  s->clients_total = ctrl.clitotal;
  s->readers = ctrl.clireader;
  s->writers = ctrl.cliwriter;
  s->client_slots = cl.nbuf() - 1;

  // The master holds semaphore gbl_synch of the client partition's set at 1;
  // the last process to operate on it is the master.
  const int semid = cl.semid();
  if (semctl(semid, gbl_synch, GETVAL) == 1) {
    int pid = semctl(semid, gbl_synch, GETPID);
    if (pid > 0) last_master_ = pid;
    s->master_pid = last_master_;
    s->master_alive = process_alive(last_master_);
  }

  const long fixed = static_cast<long>(sizeof(kova_client_slot_head) + sizeof(kova_client_reader));
  if (cl.lbuf() < fixed) return;
  std::vector<char> copy(static_cast<size_t>(fixed + KOVA_SBLOCK_NAME_LEN * kMaxBlocksListed));
  for (int c = 1; c < cl.nbuf(); ++c) {
    C_shm_buf d;
    if (!cl.descriptor(c, &d) || d.status != 0) continue;  // free
    if (s->clients.size() >= kMaxClientsListed) {
      s->clients_truncated = true;
      break;
    }
    kova_client_slot_head head;
    kova_client_reader part;  // a writer's part is a prefix of it, shifted (see below)
    int nsblocks = 0, listed = 0;
    const char* slot = cl.buffer(c);
    {
      BriefSlotLock lock(cl.global().sems ? semid : -1, c);
      memcpy(copy.data(), slot, static_cast<size_t>(fixed));
      memcpy(&head, copy.data(), sizeof(head));
      memcpy(&part, copy.data() + sizeof(head), sizeof(part));
      const bool reader = head.cltype == CLI_T_READER;
      const long names_at = static_cast<long>(sizeof(head)) +
                            (reader ? sizeof(kova_client_reader) : sizeof(kova_client_writer));
      nsblocks = reader ? part.nsblocks : part.qid;  // a writer's nsblocks sits where qid is
      const long room = (cl.lbuf() - names_at) / KOVA_SBLOCK_NAME_LEN;
      listed = static_cast<int>(std::max(
          0L, std::min({static_cast<long>(nsblocks), room, static_cast<long>(kMaxBlocksListed)})));
      memcpy(copy.data() + fixed, slot + names_at,
             static_cast<size_t>(listed) * KOVA_SBLOCK_NAME_LEN);
    }
    if (head.pid == 0) continue;  // taken, its subscription not yet written
    ClientInfo ci;
    ci.slot = c;
    ci.type = head.cltype;
    ci.pid = head.pid;
    ci.event_type = head.evtype;
    ci.events = head.evcnt;
    ci.last_access = seconds(head.atime);
    ci.tmask = part.cl.tmask;
    ci.priority = part.cl.pri;
    ci.port = head.cltype == CLI_T_READER ? (part.qid & 0xFFFF) : -1;
    ci.blocks_announced = nsblocks;
    for (int k = 0; k < listed; ++k)
      ci.blocks.push_back(bounded_name(copy.data() + fixed + KOVA_SBLOCK_NAME_LEN * k));
    s->clients.push_back(std::move(ci));
  }
  // Each process once.
  std::map<pid_t, std::pair<bool, std::string>> procs;
  for (ClientInfo& ci : s->clients) {
    auto it = procs.find(ci.pid);
    if (it == procs.end())
      it = procs.emplace(ci.pid, std::make_pair(process_alive(ci.pid), process_name(ci.pid))).first;
    ci.alive = it->second.first;
    ci.command = it->second.second;
  }
}

void ManagerReader::read_events(const ReadOnlyPartition& ev, Snapshot* s) {
  C_shm_buf d0;
  int tag = ev.descriptor(0, &d0) ? d0.data_ID : 0;
  s->layout = layout_ != 0 ? layout_ : (tag == 2024 ? 2024 : 2010);
  const bool b2024 = s->layout == 2024;
  const size_t rec = b2024 ? sizeof(kova_event_ctrl_block_2024) : sizeof(kova_event_ctrl_block);
  const size_t status_at = b2024 ? offsetof(kova_event_ctrl_block_2024, status)
                                 : offsetof(kova_event_ctrl_block, status);
  s->event_slots = ev.nbuf() - 1;
  const char* records = ev.buffer(0);
  const int nrec =
      static_cast<int>(std::min<long>(ev.nbuf() - 1, static_cast<long>(ev.lbuf() / rec)));
  const double now = s->time;
  std::vector<char> copy(static_cast<size_t>(ev.lbuf()));
  for (int slot = 1; slot <= nrec; ++slot) {
    const int32_t* st = reinterpret_cast<const int32_t*>(records + rec * (slot - 1) + status_at);
    if (__atomic_load_n(st, __ATOMIC_RELAXED) != EVT_C_USED) continue;
    s->events_in_use += 1;
    if (s->events.size() >= kMaxEventsListed) {
      s->events_truncated = true;
      continue;
    }
    EventSlotInfo e;
    e.slot = slot;
    bool used, sound;
    {
      BriefSlotLock lock(ev.global().sems ? ev.semid() : -1, slot);
      e.locked_copy = lock.held();
      used = __atomic_load_n(st, __ATOMIC_RELAXED) == EVT_C_USED;
      if (used) grab_event_slot(ev.buffer(slot), ev.lbuf(), b2024, copy.data());
    }
    sound = used && copy_event_slot(copy.data(), ev.lbuf(), b2024, &e);
    if (!used) {
      s->events_in_use -= 1;
      continue;
    }
    if (!sound) e.clients.clear(), e.blocks.clear();
    e.stuck = !e.setting_up && now - e.last_update >= kStuckSeconds;
    s->events.push_back(std::move(e));
  }
}

void ManagerReader::read_counts(int shmid, Snapshot* s) {
  ReadOnlyPartition st(shmid);
  constexpr long kInBuffer = HESK_STATS_OFFSET - C_shm_data_offset(1);
  if (!st.ok() || st.nbuf() != 1 ||
      st.lbuf() < kInBuffer + static_cast<long>(sizeof(hesk_stats_block)))
    return;
  const auto* b = reinterpret_cast<const hesk_stats_block*>(st.buffer(0) + kInBuffer);
  if (__atomic_load_n(&b->magic, __ATOMIC_ACQUIRE) != HESK_STATS_MAGIC ||
      b->version != HESK_STATS_VERSION)
    return;
  Counts& c = s->counts;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    c.set_up[t] = __atomic_load_n(&b->events_set_up[t], __ATOMIC_RELAXED);
    c.completed[t] = __atomic_load_n(&b->events_completed[t], __ATOMIC_RELAXED);
    c.freed[t] = __atomic_load_n(&b->events_freed[t], __ATOMIC_RELAXED);
  }
  c.dropped = __atomic_load_n(&b->datagrams_dropped, __ATOMIC_RELAXED);
  for (int k = 0; k < HESK_RECLAIM_KINDS; ++k)
    c.reclaims[k] = __atomic_load_n(&b->reclaims[k], __ATOMIC_RELAXED);
  c.created = b->created;
  s->have_counts = true;
}

void ManagerReader::cross_reference(Snapshot* s) {
  std::map<int, ClientInfo*> by_slot;
  for (ClientInfo& c : s->clients) by_slot[c.slot] = &c;
  for (EventSlotInfo& e : s->events) {
    for (EventClient& ec : e.clients) {
      auto it = by_slot.find(ec.slot);
      if (it == by_slot.end()) continue;
      ClientInfo& c = *it->second;
      ec.type = c.type;
      c.in_events += 1;
      if (ec.state == CLI_S_WAIT) c.waiting += 1;
      if (ec.state == CLI_S_NTF) c.notified += 1;
      if (ec.state == CLI_S_PROC) c.processing += 1;
      if (e.stuck && ec.state != CLI_S_DONE) c.in_stuck_event = true;
    }
  }
}

void ManagerReader::add_partition(int shmid, const std::string& role, Snapshot* s) {
  ReadOnlyPartition p(shmid);
  if (!p.ok()) return;
  PartitionInfo info;
  info.name = p.name();
  info.role = role;
  info.shmid = shmid;
  info.buffers = p.nbuf();
  info.buffer_size = p.lbuf();
  info.free = p.free_buffers();
  info.users = p.global().gbl_count;
  info.attached = static_cast<int>(p.stat().shm_nattch);  // read before this mapping
  info.mode = p.stat().shm_perm.mode & 0777;
  info.owner = p.stat().shm_perm.uid;
  info.owner_name = user_name(info.owner);
  info.creator = p.stat().shm_cpid;
  s->partitions.push_back(std::move(info));
}

}  // namespace live
