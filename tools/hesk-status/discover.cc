// Finding control partitions by what they hold.
#include "discover.h"

#include <sys/sem.h>
#include <sys/shm.h>

#include <cstring>

#include "C_shm.h"
#include "C_shm_int.h"
#include "Hesk_int.h"

namespace {

struct Seen {
  std::string name;
  pid_t creator = 0;  // process that created the segment
  bool client = false, event = false;
  int layout = 0;
  int semid = -1;
  kova_client_ctrl_block ctrl{};
};

bool plausible_control_block(const kova_client_ctrl_block& c, int nbuf) {
  return (c.status == CLI_C_INIT || c.status == CLI_C_UPD) && c.clireader >= 0 &&
         c.cliwriter >= 0 && c.clitotal == c.clireader + c.cliwriter && c.clitotal < nbuf;
}

// Reads what partition `id` is, from a read-only mapping.
bool look_at(int id, Seen* out) {
  shmid_ds ds;
  if (shmctl(id, IPC_STAT, &ds) != 0) return false;
  void* p = shmat(id, nullptr, SHM_RDONLY);
  if (p == reinterpret_cast<void*>(-1)) return false;
  const char* base = static_cast<const char*>(p);
  C_shm_global g;
  memcpy(&g, base, sizeof(g));
  const bool shaped = g.version == C_SHM_VERSION && g.sems != 0 && g.nbuf >= 2 && g.lbuf > 0 &&
                      C_shm_size(g.nbuf, g.lbuf) <= static_cast<long long>(ds.shm_segsz);
  if (shaped) {
    C_shm_buf d0;
    memcpy(&d0, base + C_SHM_GLOBAL_SIZE, sizeof(d0));
    const char* b0 = base + C_shm_data_offset(g.nbuf);
    out->name.assign(g.name, strnlen(g.name, sizeof(g.name)));
    out->creator = ds.shm_cpid;
    out->semid = g.gbl_semid;
    // Buffer 0 holds the control data once the master's start-up took it.
    if (d0.status == 0 && (d0.data_ID == 2010 || d0.data_ID == 2024)) {
      out->event = true;
      out->layout = d0.data_ID;
    } else if (d0.status == 0 && g.lbuf >= 48 + 256 && (g.lbuf - 48) % 256 == 0) {
      memcpy(&out->ctrl, b0, sizeof(out->ctrl));
      out->client = plausible_control_block(out->ctrl, g.nbuf);
    }
  }
  shmdt(p);
  return out->client || out->event;
}

std::vector<Seen> control_partitions() {
  std::vector<Seen> seen;
  for (int id : C_shm::partition_ids()) {
    Seen s;
    if (look_at(id, &s)) seen.push_back(s);
  }
  return seen;
}

// The master lock is semaphore gbl_synch of the client partition's set,
// held at 1 by the running master, which was the last to operate on it.
int master_of(int semid) {
  if (semid < 0 || semctl(semid, gbl_synch, GETVAL) != 1) return 0;
  int pid = semctl(semid, gbl_synch, GETPID);
  return pid > 0 ? pid : 0;
}

ManagerFound manager(const Seen& cl, const Seen& ev) {
  ManagerFound m;
  m.client = cl.name;
  m.event = ev.name;
  m.layout = ev.layout;
  m.master_pid = master_of(cl.semid);
  m.readers = cl.ctrl.clireader;
  m.writers = cl.ctrl.cliwriter;
  return m;
}

}  // namespace

std::vector<ManagerFound> find_managers() {
  std::vector<Seen> seen = control_partitions();
  std::vector<const Seen*> clients, events;
  for (const Seen& s : seen) (s.client ? clients : events).push_back(&s);
  std::vector<ManagerFound> found;
  // Pairs made by one process.
  for (auto c = clients.begin(); c != clients.end();) {
    auto e = events.begin();
    while (e != events.end() && (*e)->creator != (*c)->creator) ++e;
    if (e == events.end()) {
      ++c;
      continue;
    }
    found.push_back(manager(**c, **e));
    events.erase(e);
    c = clients.erase(c);
  }
  // One of each left (a partition re-created by a later master): a pair.
  if (clients.size() == 1 && events.size() == 1) found.push_back(manager(*clients[0], *events[0]));
  return found;
}

int event_partition_layout(const std::string& name) {
  for (const Seen& s : control_partitions())
    if (s.event && s.name == name) return s.layout;
  return 0;
}
