// hesk-torture: runs a master, writers and readers of the buffer manager as
// real processes, SIGKILLs and restarts random writers, readers and (unless
// told not to) the master at random moments for a given time, then stops
// everything cleanly and checks that nothing was lost:
//   - every buffer of every data partition, every event slot and every
//     client slot is free again;
//   - no event slot stayed in use beyond what the monitor allows;
//   - no reader saw an event twice, an event mixing blocks of several
//     events, or a block whose contents were wrong;
//   - every event whose writers all lived through it reached every reader
//     that was subscribed before it and lived after it;
//   - no process crashed (writers and readers end only by our kills or
//     cleanly when told to; the master also by our kills).
// Exit status 0 only when every invariant holds; the last line is a summary.
#include <getopt.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
#include "hesk_stats.h"
#include "torture.h"

using namespace torture;
using Clock = std::chrono::steady_clock;

namespace {

int usage(int status) {
  fprintf(status ? stderr : stdout,
          "usage: hesk-torture [--seconds S] [--writers N] [--readers N] [--seed X]\n"
          "                    [--tick-us U] [--monitor-us U] [--2024] [--no-master-kills]\n"
          "                    [--quiet | --verbose]\n"
          "Runs a master, N writers (1-%d, default 3) and N readers (1-%d, default 2),\n"
          "kills and restarts writers, readers and the master at random for S seconds\n"
          "(default 10), then checks that no buffer, slot or event was lost, duplicated,\n"
          "corrupted or left undelivered. Exit 0 only when all holds, 2 on bad arguments.\n"
          "  --2024             64-bit event ids and 2024 server blocks\n"
          "  --no-master-kills  kill writers and readers only\n"
          "  --tick-us U        one event per writer every U us (100-1000000, default 2000)\n"
          "  --monitor-us U     the master's monitor period (1000-5000000, default 50000)\n"
          "  --quiet            the summary line and failures only, no progress\n"
          "  --verbose          also the processes' own messages (monitor lines)\n"
          "  --help             this text\n",
          kMaxWriters, kMaxReaders);
  return status;
}

bool parse_int(const char* text, long lo, long hi, long* out) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Parses the options; 0 to go on, else the exit status.
int parse(int argc, char** argv, Options* o) {
  enum {
    kSeconds = 1,
    kWriters,
    kReaders,
    kSeed,
    kTick,
    kMonitor,
    k2024,
    kNoMaster,
    kQuiet,
    kVerbose
  };
  static const option opts[] = {{"seconds", required_argument, nullptr, kSeconds},
                                {"writers", required_argument, nullptr, kWriters},
                                {"readers", required_argument, nullptr, kReaders},
                                {"seed", required_argument, nullptr, kSeed},
                                {"tick-us", required_argument, nullptr, kTick},
                                {"monitor-us", required_argument, nullptr, kMonitor},
                                {"2024", no_argument, nullptr, k2024},
                                {"no-master-kills", no_argument, nullptr, kNoMaster},
                                {"quiet", no_argument, nullptr, kQuiet},
                                {"verbose", no_argument, nullptr, kVerbose},
                                {"help", no_argument, nullptr, 'h'},
                                {nullptr, 0, nullptr, 0}};
  struct Range {
    const char* name;
    long lo, hi;
  };
  int c;
  opterr = 0;
  while ((c = getopt_long(argc, argv, "h", opts, nullptr)) != -1) {
    long v = 0;
    auto number = [&](const Range& r) {
      if (parse_int(optarg, r.lo, r.hi, &v)) return true;
      fprintf(stderr, "hesk-torture: --%s takes a number from %ld to %ld, not '%s'\n", r.name, r.lo,
              r.hi, optarg);
      return false;
    };
    switch (c) {
      case 'h':
        return usage(0) + 1000;  // help printed: exit 0
      case kSeconds:
        if (!number({"seconds", 1, 86400})) return 2;
        o->seconds = v;
        break;
      case kWriters:
        if (!number({"writers", 1, kMaxWriters})) return 2;
        o->writers = v;
        break;
      case kReaders:
        if (!number({"readers", 1, kMaxReaders})) return 2;
        o->readers = v;
        break;
      case kSeed:
        if (!number({"seed", 0, 1L << 30})) return 2;
        o->seed = v;
        break;
      case kTick:
        if (!number({"tick-us", 100, 1000000})) return 2;
        o->tick_us = v;
        break;
      case kMonitor:
        if (!number({"monitor-us", 1000, 5000000})) return 2;
        o->monitor_us = v;
        break;
      case k2024:
        o->layout_2024 = true;
        break;
      case kNoMaster:
        o->master_kills = false;
        break;
      case kQuiet:
        o->quiet = true;
        break;
      case kVerbose:
        o->verbose = true;
        break;
      default:
        fprintf(stderr, "hesk-torture: unknown option or missing value: %s\n", argv[optind - 1]);
        return usage(2);
    }
  }
  if (optind < argc) {
    fprintf(stderr, "hesk-torture: unexpected argument '%s'\n", argv[optind]);
    return usage(2);
  }
  if (o->quiet && o->verbose) {
    fprintf(stderr, "hesk-torture: --quiet and --verbose exclude each other\n");
    return 2;
  }
  return 0;
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
  if (!o.verbose && freopen("/dev/null", "w", stdout) == nullptr) _exit(3);
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
  int master_kills = 0;
  int restarts = 0;
  std::vector<std::string> failures;
  void fail(const std::string& what) { failures.push_back(what); }
};

// The status and id of event slot s's record, in the layout of the run.
void record_of(Hesk& obs, int s, int* status, uint64_t* id) {
  if (obs.evid64bitmode) {
    const kova_event_ctrl_block_2024& r = obs.evtctrl2024[s - 1];
    *status = __atomic_load_n(&r.status, __ATOMIC_RELAXED);
    *id = static_cast<uint64_t>(__atomic_load_n(&r.eventid, __ATOMIC_RELAXED));
  } else {
    const kova_event_ctrl_block& r = obs.evtctrl[s - 1];
    *status = __atomic_load_n(&r.status, __ATOMIC_RELAXED);
    *id = __atomic_load_n(&r.eventid, __ATOMIC_RELAXED);
  }
}

// Watches the event slots of the run: a slot holding one event for longer
// than the monitor allows is stuck.
class StuckWatch {
 public:
  StuckWatch(Hesk& obs, long limit_us) : obs_(obs), limit_(limit_us) {}
  void sample(Findings* f) {
    auto now = Clock::now();
    int n = obs_.ev_buf->getBufferCount();
    for (int s = 1; s < n; ++s) {
      int status = 0;
      uint64_t id = 0;
      record_of(obs_, s, &status, &id);
      if (status != EVT_C_USED) {
        since_.erase(s);
        continue;
      }
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
  // While the master is down nobody frees stalled events: the clock of
  // every slot starts again.
  void restart() { since_.clear(); }

 private:
  Hesk& obs_;
  long limit_;
  std::map<int, std::pair<uint64_t, Clock::time_point>> since_;
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
  for (int s = 1; s < obs.ev_buf->getBufferCount(); ++s) {
    int status = 0;
    uint64_t id = 0;
    record_of(obs, s, &status, &id);
    if (status != EVT_C_FREE) return false;
  }
  return true;
}

// When processes lived, for the delivery check (µs of the wall clock).
struct Timeline {
  long long started = 0, writers_stopped = 0, readers_stopped = 0;
  std::vector<long long> writer_ends;  // writers killed or crashed
  // Per reader: the spans in which one of its processes was subscribed.
  std::vector<std::vector<std::pair<long long, long long>>> reader_spans;
};

// Events every writer deposited, far enough from any writer's end and from
// the run's start and end: each must have reached every reader subscribed
// well before it and living well after it. Returns the events checked.
uint64_t check_delivery(const Options& o, Shared* s, const Timeline& tl, Findings* f) {
  const long long kBefore = 100000, kAfter = 500000, kWriterMargin = 100000;
  uint32_t writers_mask = (1u << o.writers) - 1;
  std::vector<long long> ends = tl.writer_ends;
  std::sort(ends.begin(), ends.end());
  uint64_t checked = 0, missing = 0;
  for (uint32_t i = 0; i < s->ticks; ++i) {
    long long t = s->first_tick_us + static_cast<long long>(i) * o.tick_us;
    if (t < tl.started + 1000000 || t > tl.writers_stopped - kAfter) continue;
    uint32_t bits = s->ledger[i].bits.load();
    if ((bits & writers_mask) != writers_mask) continue;
    auto near = std::lower_bound(ends.begin(), ends.end(), t - kWriterMargin);
    if (near != ends.end() && *near <= t + kWriterMargin) continue;
    ++checked;
    for (int r = 0; r < o.readers; ++r) {
      bool expected = false;
      for (const auto& span : tl.reader_spans[r])
        expected =
            expected || (span.first > 0 && span.first < t - kBefore && span.second > t + kAfter);
      if (!expected || (bits & (1u << (8 + r))) != 0) continue;
      if (++missing <= 10)
        f->fail("event " + std::to_string(s->first_tick + i) +
                " (all its writers lived) never reached reader " + std::to_string(r));
    }
  }
  if (missing > 10) f->fail(std::to_string(missing) + " deliveries missing in all");
  return checked;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (int rc = parse(argc, argv, &o)) return rc >= 1000 ? 0 : rc;
  o.prefix = "hesk-torture." + std::to_string(getpid());
  std::string cl = o.prefix + ".cl", ev = o.prefix + ".ev";
  setenv("KOVA_CLI_SHM_NAME", cl.c_str(), 1);
  setenv("KOVA_EV_SHM_NAME", ev.c_str(), 1);
  signal(SIGPIPE, SIG_IGN);

  // The ledger covers the run, the drain and some slack.
  uint32_t ticks = static_cast<uint32_t>((o.seconds + 120LL) * 1000000LL / o.tick_us);
  size_t bytes = sizeof(Shared) + sizeof(TickEntry) * ticks;
  void* mem = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) {
    perror("hesk-torture: mmap");
    return 2;
  }
  Shared* s = new (mem) Shared();
  long long t0 = now_us() / o.tick_us;
  s->first_tick = static_cast<uint32_t>(t0 & 0x7fffffff);
  s->first_tick_us = t0 * o.tick_us;
  s->ticks = ticks;
  Findings f;
  Timeline tl;
  tl.reader_spans.resize(static_cast<size_t>(o.readers));
  pid_t master = start(o, s, 'm', 0);
  for (int i = 0; i < 500 && !s->master_ready.load(); ++i) usleep(10000);
  Hesk obs;  // an observer: attached, never subscribed, no threads
  obs.set_evid_64bit_mode(o.layout_2024);
  if (!s->master_ready.load() || obs.init()) {
    fprintf(stderr, "hesk-torture: the master did not start\n");
    stop(master, 5);
    return 2;
  }

  std::vector<Child> kids;
  for (int w = 0; w < o.writers; ++w) kids.push_back({'w', w});
  for (int r = 0; r < o.readers; ++r) kids.push_back({'r', r});
  tl.started = now_us();
  for (Child& c : kids) c.pid = start(o, s, c.role, c.index);

  // A reader's process ended: its subscribed span closes.
  auto reader_ended = [&](const Child& c) {
    long long since = s->reader_since[c.index].exchange(0);
    if (since > 0) tl.reader_spans[c.index].push_back({since, now_us()});
  };
  auto ended = [&](const Child& c) {
    if (c.role == 'w')
      tl.writer_ends.push_back(now_us());
    else
      reader_ended(c);
  };

  // The monitor frees a quiet event after ten passes, or keeps it up to
  // twenty periods while its writer still works on it.
  StuckWatch watch(obs, std::max(2000000L, 40L * o.monitor_us));
  std::mt19937 rng(o.seed);
  auto end = Clock::now() + std::chrono::seconds(o.seconds);
  auto next_kill = Clock::now(), next_progress = Clock::now() + std::chrono::seconds(10);
  bool master_was_ready = true;
  while (Clock::now() < end) {
    usleep(10000);
    // A new master frees nothing until it has set up, which under load may
    // take a while: the slots' clocks start when it is ready.
    const bool ready = s->master_ready.load();
    if (ready && !master_was_ready) watch.restart();
    master_was_ready = ready;
    if (ready) watch.sample(&f);
    // Children that ended without being killed crashed.
    for (Child& c : kids) {
      int st = 0;
      if (waitpid(c.pid, &st, WNOHANG) != c.pid) continue;
      ended(c);
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
    if (!o.quiet && Clock::now() >= next_progress) {
      fprintf(stderr, "hesk-torture: %d kills, %llu events checked so far\n", f.kills,
              static_cast<unsigned long long>(s->events_checked.load()));
      next_progress += std::chrono::seconds(10);
    }
    if (Clock::now() < next_kill) continue;
    next_kill = Clock::now() + std::chrono::milliseconds(20 + rng() % 280);
    f.kills += 1;
    if (o.master_kills && rng() % 10 == 0) {
      // The master: a new one takes over the partitions and repairs.
      kill(master, SIGKILL);
      if (reap(master) != 128 + SIGKILL) {
        f.crashes += 1;
        f.fail("the master had ended before it was killed");
      }
      f.master_kills += 1;
      s->master_ready = 0;
      master = start(o, s, 'm', 0);
      watch.restart();
      f.restarts += 1;
      continue;
    }
    Child& victim = kids[rng() % kids.size()];
    kill(victim.pid, SIGKILL);
    if (reap(victim.pid) != 128 + SIGKILL) {
      f.crashes += 1;
      f.fail("a victim had ended before it was killed");
    }
    ended(victim);
    victim.pid = start(o, s, victim.role, victim.index);
    f.restarts += 1;
  }
  for (int i = 0; i < 500 && !s->master_ready.load(); ++i) usleep(10000);
  if (!s->master_ready.load()) f.fail("the last master did not start");

  // Orderly end: writers first, then the events in flight drain or are
  // freed by the monitor, then the readers.
  s->stop_writers = 1;
  tl.writers_stopped = now_us();
  for (Child& c : kids)
    if (c.role == 'w' && stop(c.pid, 20) != 0) f.fail("a writer did not end cleanly");
  auto drain_end = Clock::now() + std::chrono::microseconds(std::max(5000000L, 60L * o.monitor_us));
  while (!all_events_free(obs) && Clock::now() < drain_end) {
    watch.sample(&f);
    usleep(10000);
  }
  for (Child& c : kids) {
    if (c.role != 'r') continue;
    reader_ended(c);
    if (stop(c.pid, 20) != 0) f.fail("a reader did not end cleanly");
  }
  // The monitor's next passes settle what the last kills left.
  usleep(static_cast<useconds_t>(std::min(3L * o.monitor_us, 2000000L)));
  int accounted = check_accounting(o, obs, &f);
  if (stop(master, 20) != 0) {
    f.crashes += 1;
    f.fail("the master did not end cleanly");
  }
  obs.all_clean_up();
  for (int w = 0; w < o.writers; ++w) C_shm_kill k(data_name(o, w).c_str());
  C_shm_kill kcl(cl.c_str()), kev(ev.c_str()),
      kstats(hesk_stats_partition_name(ev.c_str()).c_str());

  uint64_t delivered = check_delivery(o, s, tl, &f);
  if (s->duplicates) f.fail(std::to_string(s->duplicates.load()) + " events delivered twice");
  if (s->splits) f.fail(std::to_string(s->splits.load()) + " blocks in the wrong event");
  if (s->corrupt) f.fail(std::to_string(s->corrupt.load()) + " corrupted blocks");
  if (s->events_checked == 0) f.fail("no event was checked");
  if (delivered == 0) f.fail("no event qualified for the delivery check");
  for (const std::string& why : f.failures)
    fprintf(stderr, "hesk-torture: FAILED: %s\n", why.c_str());
  printf(
      "hesk-torture: %s after %d s (%s layout): %d kills (%d of the master), %d restarts, %llu "
      "events checked, %llu whole events delivered to every reader, %llu blocks sent, %d buffers "
      "and slots accounted for, %d stuck, %d crashed\n",
      f.failures.empty() ? "OK" : "FAILED", o.seconds, o.layout_2024 ? "2024" : "2010", f.kills,
      f.master_kills, f.restarts, static_cast<unsigned long long>(s->events_checked.load()),
      static_cast<unsigned long long>(delivered),
      static_cast<unsigned long long>(s->blocks_sent.load()), accounted, f.stuck, f.crashes);
  return f.failures.empty() ? 0 : 1;
}
