// hesk-torture: runs a master, writers and readers of the buffer manager as
// real processes, SIGKILLs and restarts random writers and readers at random
// moments for a given time, then stops everything cleanly and checks that
// nothing was lost:
//   - every buffer of every data partition, every event slot and every
//     client slot is free again;
//   - no event slot stayed in use beyond what the monitor allows;
//   - no reader saw an event twice, an event mixing blocks of several
//     events, or a block whose contents were wrong;
//   - no process crashed (the master lives through the run; writers and
//     readers end only by our kills or cleanly when told to).
// Exit status 0 only when every invariant holds; the last line is a summary.
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "C_shm_buffer.h"
#include "C_shm_kill.h"
#include "Hesk.h"
#include "torture.h"

using namespace torture;
using Clock = std::chrono::steady_clock;

namespace {

int usage(int status) {
  fprintf(status ? stderr : stdout,
          "usage: hesk-torture [--seconds S] [--writers N] [--readers N] [--seed X]\n"
          "                    [--tick-us U] [--monitor-us U] [--quiet]\n"
          "Runs a master, N writers and N readers, kills and restarts writers and readers\n"
          "at random for S seconds (default 10), then checks that no buffer, slot or event\n"
          "was lost, duplicated or corrupted. Exit 0 only when all holds.\n");
  return status;
}

bool parse(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto num = [&](int lo, int hi, int* out) {
      if (i + 1 >= argc) return false;
      char* end = nullptr;
      long v = strtol(argv[++i], &end, 10);
      if (*end != '\0' || v < lo || v > hi) return false;
      *out = static_cast<int>(v);
      return true;
    };
    int seed = 0;
    bool ok = true;
    if (a == "--seconds")
      ok = num(1, 86400, &o->seconds);
    else if (a == "--writers")
      ok = num(1, kMaxWriters, &o->writers);
    else if (a == "--readers")
      ok = num(1, kMaxReaders, &o->readers);
    else if (a == "--tick-us")
      ok = num(100, 1000000, &o->tick_us);
    else if (a == "--monitor-us")
      ok = num(1000, 5000000, &o->monitor_us);
    else if (a == "--seed")
      ok = num(0, 1 << 30, &seed), o->seed = static_cast<unsigned>(seed);
    else if (a == "--quiet")
      o->quiet = true;
    else
      ok = false;
    if (!ok) {
      fprintf(stderr, "hesk-torture: bad argument '%s'\n", a.c_str());
      return false;
    }
  }
  return true;
}

// One child process of a role, and how it ended.
struct Child {
  char role;  // 'w' or 'r'
  int index;
  pid_t pid = -1;
};

pid_t start(const Options& o, Shared* s, char role, int index) {
  fflush(nullptr);
  pid_t pid = fork();
  if (pid != 0) return pid;
  install_terminate_handler();
  if (o.quiet && freopen("/dev/null", "w", stdout) == nullptr) _exit(3);
  int rc = role == 'm'   ? run_master(o, s)
           : role == 'w' ? run_writer(o, s, index)
                         : run_reader(o, s, index);
  fflush(nullptr);
  _exit(rc);
}

// Waits for pid; its exit status, or 128 + signal.
int reap(pid_t pid) {
  int st = 0;
  if (waitpid(pid, &st, 0) != pid) return -1;
  if (WIFEXITED(st)) return WEXITSTATUS(st);
  return WIFSIGNALED(st) ? 128 + WTERMSIG(st) : -1;
}

// Stops a child with SIGTERM and waits for it, at most `seconds`.
int stop(pid_t pid, int seconds) {
  kill(pid, SIGTERM);
  for (int i = 0; i < seconds * 100; ++i) {
    int st = 0;
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    usleep(10000);
  }
  kill(pid, SIGKILL);
  return 128 + SIGKILL + 1000 * reap(pid);
}

struct Findings {
  int crashes = 0;
  int stuck = 0;
  int kills = 0;
  int restarts = 0;
  std::vector<std::string> failures;
  void fail(const std::string& what) { failures.push_back(what); }
};

// Watches the event slots of the run: a slot holding one event for longer
// than the monitor allows is stuck.
class StuckWatch {
 public:
  StuckWatch(Hesk& obs, long limit_us) : obs_(obs), limit_(limit_us) {}
  void sample(Findings* f) {
    auto now = Clock::now();
    int n = obs_.ev_buf->getBufferCount();
    for (int s = 1; s < n; ++s) {
      const kova_event_ctrl_block& r = obs_.evtctrl[s - 1];
      if (__atomic_load_n(&r.status, __ATOMIC_RELAXED) != EVT_C_USED) {
        since_.erase(s);
        continue;
      }
      uint32_t id = __atomic_load_n(&r.eventid, __ATOMIC_RELAXED);
      auto it = since_.find(s);
      if (it == since_.end() || it->second.first != id) {
        since_[s] = {id, now};
      } else if (std::chrono::duration_cast<std::chrono::microseconds>(now - it->second.second)
                     .count() > limit_) {
        f->stuck += 1;
        f->fail("event slot " + std::to_string(s) + " held event " + std::to_string(id) +
                " beyond the monitor's limit");
        it->second.second = now;
      }
    }
  }

 private:
  Hesk& obs_;
  long limit_;
  std::map<int, std::pair<uint32_t, Clock::time_point>> since_;
};

// Free buffers of a partition, or -1 when it cannot be reached.
int free_of(const std::string& name, int* total) {
  C_shm_buffer v(name.c_str());
  if (!v.valid()) return -1;
  v.keep(true);
  *total = v.getBufferCount();
  return atoi(v.getStat("freebuf").c_str());
}

// After everything stopped: every buffer and slot free again.
int check_accounting(const Options& o, Hesk& obs, Findings* f) {
  int accounted = 0;
  for (int w = 0; w < o.writers; ++w) {
    int total = 0, free_n = free_of(data_name(o, w), &total);
    if (free_n < 0) continue;  // never made (its writer was killed at once)
    if (free_n != total)
      f->fail(data_name(o, w) + ": " + std::to_string(total - free_n) + " of " +
              std::to_string(total) + " buffers lost");
    accounted += total;
  }
  int free_ev = atoi(obs.ev_buf->getStat("freebuf").c_str());
  int free_cl = atoi(obs.cl_buf->getStat("freebuf").c_str());
  if (free_ev != obs.ev_buf->getBufferCount() - 1)
    f->fail("event slots: " + std::to_string(obs.ev_buf->getBufferCount() - 1 - free_ev) +
            " still taken");
  if (free_cl != obs.cl_buf->getBufferCount() - 1)
    f->fail("client slots: " + std::to_string(obs.cl_buf->getBufferCount() - 1 - free_cl) +
            " still taken");
  int writers = -1, readers = -1;
  obs.cl_subscribed(&writers, &readers);
  if (writers != 0 || readers != 0)
    f->fail("subscriptions left: " + std::to_string(writers) + " writers, " +
            std::to_string(readers) + " readers");
  return accounted + obs.ev_buf->getBufferCount() - 1 + obs.cl_buf->getBufferCount() - 1;
}

bool all_events_free(Hesk& obs) {
  for (int s = 1; s < obs.ev_buf->getBufferCount(); ++s)
    if (__atomic_load_n(&obs.evtctrl[s - 1].status, __ATOMIC_RELAXED) != EVT_C_FREE) return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (strcmp(argv[i], "--help") == 0) return usage(0);
  Options o;
  if (!parse(argc, argv, &o)) return usage(2);
  o.prefix = "hesk-torture." + std::to_string(getpid());
  std::string cl = o.prefix + ".cl", ev = o.prefix + ".ev";
  setenv("KOVA_CLI_SHM_NAME", cl.c_str(), 1);
  setenv("KOVA_EV_SHM_NAME", ev.c_str(), 1);
  signal(SIGPIPE, SIG_IGN);

  void* mem =
      mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) {
    perror("hesk-torture: mmap");
    return 2;
  }
  Shared* s = new (mem) Shared();
  Findings f;
  pid_t master = start(o, s, 'm', 0);
  for (int i = 0; i < 500 && !s->master_ready.load(); ++i) usleep(10000);
  Hesk obs;  // an observer: attached, never subscribed, no threads
  if (!s->master_ready.load() || obs.init()) {
    fprintf(stderr, "hesk-torture: the master did not start\n");
    stop(master, 5);
    return 2;
  }

  std::vector<Child> kids;
  for (int w = 0; w < o.writers; ++w) kids.push_back({'w', w});
  for (int r = 0; r < o.readers; ++r) kids.push_back({'r', r});
  for (Child& c : kids) c.pid = start(o, s, c.role, c.index);

  // The monitor frees a quiet event after ten passes, or keeps it up to
  // twenty periods while its writer still works on it.
  StuckWatch watch(obs, std::max(2000000L, 40L * o.monitor_us));
  std::mt19937 rng(o.seed);
  auto end = Clock::now() + std::chrono::seconds(o.seconds);
  auto next_kill = Clock::now();
  while (Clock::now() < end) {
    usleep(10000);
    watch.sample(&f);
    // Children that ended without being killed crashed.
    for (Child& c : kids) {
      int st = 0;
      if (waitpid(c.pid, &st, WNOHANG) != c.pid) continue;
      f.crashes += 1;
      f.fail(std::string(c.role == 'w' ? "writer " : "reader ") + std::to_string(c.index) +
             " ended by itself (status " + std::to_string(st) + ")");
      c.pid = start(o, s, c.role, c.index);
      f.restarts += 1;
    }
    if (waitpid(master, nullptr, WNOHANG) == master) {
      f.crashes += 1;
      f.fail("the master died");
      break;
    }
    if (Clock::now() < next_kill) continue;
    Child& victim = kids[rng() % kids.size()];
    kill(victim.pid, SIGKILL);
    if (reap(victim.pid) != 128 + SIGKILL) {
      f.crashes += 1;
      f.fail("a victim had ended before it was killed");
    }
    f.kills += 1;
    victim.pid = start(o, s, victim.role, victim.index);
    f.restarts += 1;
    next_kill = Clock::now() + std::chrono::milliseconds(20 + rng() % 280);
  }

  // Orderly end: writers first, then the events in flight drain or are
  // freed by the monitor, then the readers.
  s->stop_writers = 1;
  for (Child& c : kids)
    if (c.role == 'w' && stop(c.pid, 20) != 0) f.fail("a writer did not end cleanly");
  auto drain_end = Clock::now() + std::chrono::microseconds(std::max(5000000L, 60L * o.monitor_us));
  while (!all_events_free(obs) && Clock::now() < drain_end) {
    watch.sample(&f);
    usleep(10000);
  }
  for (Child& c : kids)
    if (c.role == 'r' && stop(c.pid, 20) != 0) f.fail("a reader did not end cleanly");
  // The monitor's next passes settle what the last kills left.
  usleep(static_cast<useconds_t>(std::min(3L * o.monitor_us, 2000000L)));
  int accounted = check_accounting(o, obs, &f);
  if (stop(master, 20) != 0) {
    f.crashes += 1;
    f.fail("the master did not end cleanly");
  }
  obs.all_clean_up();
  for (int w = 0; w < o.writers; ++w) C_shm_kill k(data_name(o, w).c_str());
  C_shm_kill kcl(cl.c_str()), kev(ev.c_str());

  if (s->duplicates) f.fail(std::to_string(s->duplicates.load()) + " events delivered twice");
  if (s->splits) f.fail(std::to_string(s->splits.load()) + " blocks in the wrong event");
  if (s->corrupt) f.fail(std::to_string(s->corrupt.load()) + " corrupted blocks");
  if (s->events_checked == 0) f.fail("no event was checked");
  for (const std::string& why : f.failures)
    fprintf(stderr, "hesk-torture: FAILED: %s\n", why.c_str());
  printf(
      "hesk-torture: %s after %d s: %d kills, %d restarts, %llu events checked, %llu blocks "
      "sent, %d buffers and slots accounted for, %d stuck, %d crashed\n",
      f.failures.empty() ? "OK" : "FAILED", o.seconds, f.kills, f.restarts,
      static_cast<unsigned long long>(s->events_checked.load()),
      static_cast<unsigned long long>(s->blocks_sent.load()), accounted, f.stuck, f.crashes);
  return f.failures.empty() ? 0 : 1;
}
