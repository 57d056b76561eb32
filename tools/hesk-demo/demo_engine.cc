// The master side of the demo run: forks the writer and reader processes,
// runs the master, shows progress, gathers the figures and removes every
// partition of the run.
#include "demo_engine.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "C_shm.h"
#include "C_shm_kill.h"
#include "Hesk.h"
#include "demo_events.h"
#include "demo_roles.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile sig_atomic_t g_interrupted = 0;
void on_interrupt(int) {
  g_interrupted = 1;
}

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

bool partition_exists(const std::string& name) {
  C_shm probe;
  probe.keep(true);
  return !probe.find(name.c_str());
}

void remove_partition(const std::string& name) {
  for (int i = 0; i < 4 && partition_exists(name); ++i) C_shm_kill kill(name.c_str());
}

// Percentile of a merged latency histogram, in microseconds.
double percentile(const uint64_t* hist, double q) {
  uint64_t total = 0;
  for (int b = 0; b < demo::kBuckets; ++b) total += hist[b];
  if (total == 0) return 0;
  uint64_t want = static_cast<uint64_t>(q * static_cast<double>(total - 1)) + 1, seen = 0;
  for (int b = 0; b < demo::kBuckets; ++b) {
    seen += hist[b];
    if (seen >= want) return demo::bucket_value(b);
  }
  return demo::bucket_value(demo::kBuckets - 1);
}

struct Child {
  pid_t pid;
  bool writer = false;
  bool reaped = false;
  int status = 0;
};

// Waits for the children until `limit`, then kills the rest.
void reap_all(std::vector<Child>& kids, double limit_s) {
  auto start = Clock::now();
  for (;;) {
    bool all = true;
    for (Child& c : kids) {
      if (c.reaped) continue;
      int st = 0;
      if (waitpid(c.pid, &st, WNOHANG) == c.pid) {
        c.reaped = true;
        c.status = st;
      } else {
        all = false;
      }
    }
    if (all) return;
    if (seconds_since(start) > limit_s) break;
    // Writers waiting for a free buffer are woken to see the stop.
    for (Child& c : kids)
      if (!c.reaped && c.writer) kill(c.pid, SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  for (Child& c : kids) {
    if (c.reaped) continue;
    kill(c.pid, SIGKILL);
    waitpid(c.pid, &c.status, 0);
    c.reaped = true;
  }
}

// A child that ended on its own (crash or refused start).
bool child_failed(std::vector<Child>& kids, std::string* why) {
  for (Child& c : kids) {
    if (c.reaped) continue;
    int st = 0;
    if (waitpid(c.pid, &st, WNOHANG) == c.pid) {
      c.reaped = true;
      c.status = st;
      *why = "a demo process ended early (" +
             (WIFSIGNALED(st) ? "signal " + std::to_string(WTERMSIG(st))
                              : "exit code " + std::to_string(WEXITSTATUS(st))) +
             ")";
      return true;
    }
  }
  return false;
}

}  // namespace

DemoResult run_demo(const DemoConfig& cfg) {
  DemoResult res;
  int nreaders = cfg.listing_readers + cfg.whole_readers;
  if (cfg.writers < 1 || cfg.writers > demo::kMaxWriters || nreaders < 1 ||
      nreaders > demo::kMaxReaders || cfg.listing_readers < 0 || cfg.whole_readers < 0) {
    res.error = "need 1-16 writers and 1-16 readers";
    return res;
  }
  long min_block = demo::min_block_size(cfg.layout_2024);
  if (cfg.block_size < min_block || cfg.block_size > (64 << 20)) {
    res.error = "block size must lie between " + std::to_string(min_block) + " and 64 MiB";
    return res;
  }
  if (cfg.events <= 0 && cfg.seconds <= 0) {
    res.error = "give a number of events or of seconds";
    return res;
  }
  std::string prefix =
      cfg.name_prefix.empty() ? "hesk-demo." + std::to_string(getpid()) : cfg.name_prefix;
  std::string cl_name = prefix + ".cl", ev_name = prefix + ".ev";
  std::vector<std::string> data_names;
  for (int i = 0; i < cfg.writers; ++i)
    data_names.push_back(prefix + ".data." + demo::writer_block_name(i));
  setenv("KOVA_CLI_SHM_NAME", cl_name.c_str(), 1);
  setenv("KOVA_EV_SHM_NAME", ev_name.c_str(), 1);

  void* mem = mmap(nullptr, sizeof(demo::Shared), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) {
    res.error = "cannot map the shared counters";
    return res;
  }
  auto* sh = new (mem) demo::Shared();
  sh->limit = cfg.events > 0 ? cfg.events : (1L << 62);

  struct sigaction sa, old_int, old_term;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, &old_int);
  sigaction(SIGTERM, &sa, &old_term);
  g_interrupted = 0;

  // Children first, while this process has no thread but its own.
  fflush(nullptr);
  std::vector<Child> kids;
  for (int i = 0; i < cfg.writers + nreaders; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      int rc = i < cfg.writers
                   ? demo::writer_process(cfg, sh, i, data_names[static_cast<size_t>(i)])
                   : demo::reader_process(cfg, sh, i - cfg.writers,
                                          i - cfg.writers < cfg.listing_readers);
      fflush(nullptr);
      _exit(rc);
    }
    if (pid < 0) {
      sh->stop = 1;
      res.error = "fork failed";
      break;
    }
    kids.push_back(Child{pid, i < cfg.writers});
  }

  {
    Hesk master;
    master.set_nclients(cfg.writers + nreaders + 2);
    master.set_nblocks(cfg.writers + 2);
    // Every writer and reader takes one client slot for each event type.
    master.set_ncl_slots(4 * (cfg.writers + nreaders) + 8);
    master.set_nev_slots(cfg.event_slots);
    master.set_evid_64bit_mode(cfg.layout_2024);
    if (res.error.empty() && (master.set_master(true) || master.init()))
      res.error = "the master could not set up the control partitions";

    std::string why;
    auto t_ready = Clock::now();
    while (res.error.empty() && sh->ready.load() < cfg.writers + nreaders) {
      if (g_interrupted) break;
      if (child_failed(kids, &why)) res.error = why;
      if (seconds_since(t_ready) > 30) res.error = "the demo processes did not get ready in 30 s";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }

    auto t_go = Clock::now();
    auto t_last = t_go;
    uint64_t last_delivered = 0;
    if (res.error.empty() && !g_interrupted) {
      sh->go = 1;
      auto t_print = t_go;
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (g_interrupted) break;
        if (child_failed(kids, &why)) {
          res.error = why;
          break;
        }
        if (cfg.events <= 0 && sh->limit.load() > (1L << 61) &&
            seconds_since(t_go) >= cfg.seconds) {
          uint64_t most = 0;
          for (int w = 0; w < cfg.writers; ++w)
            most = std::max<uint64_t>(most, sh->w[w].sent.load());
          sh->limit = static_cast<long>(most) + 1;
        }
        uint64_t built = UINT64_MAX, delivered = UINT64_MAX;
        for (int w = 0; w < cfg.writers; ++w)
          built = std::min<uint64_t>(built, sh->w[w].sent.load());
        for (int r = 0; r < nreaders; ++r)
          delivered = std::min<uint64_t>(delivered, sh->r[r].events.load());
        if (delivered != last_delivered) {
          last_delivered = delivered;
          t_last = Clock::now();
        }
        bool writers_done = sh->writers_done.load() == cfg.writers;
        if (writers_done && delivered >= built) break;
        // Deliveries that stopped coming for 5 s after the writers finished are lost.
        if (writers_done && seconds_since(t_last) > 5) break;
        if (cfg.progress && seconds_since(t_print) >= 0.2) {
          t_print = Clock::now();
          double el = seconds_since(t_go);
          fprintf(stderr,
                  "\r[hesk-demo] %6.1f s  events sent %lu%s  delivered %lu  %.0f events/s   ", el,
                  static_cast<unsigned long>(built),
                  cfg.events > 0 ? ("/" + std::to_string(cfg.events)).c_str() : "",
                  static_cast<unsigned long>(delivered), el > 0 ? delivered / el : 0.0);
        }
      }
      if (cfg.progress) fprintf(stderr, "\n");
    }
    res.interrupted = g_interrupted != 0;
    res.elapsed_s = std::chrono::duration<double>(t_last - t_go).count();

    sh->stop = 1;
    reap_all(kids, 15);

    // Figures.
    uint64_t built = UINT64_MAX;
    for (int w = 0; w < cfg.writers; ++w) {
      uint64_t accepted = sh->w[w].sent.load() - sh->w[w].refused.load();
      built = std::min(built, accepted);
      res.refused += sh->w[w].refused.load();
    }
    res.events_built = built == UINT64_MAX ? 0 : built;
    static uint64_t merged[demo::kBuckets];
    std::fill(merged, merged + demo::kBuckets, 0);
    uint64_t bytes = 0;
    for (int r = 0; r < nreaders; ++r) {
      ReaderResult rr;
      rr.listing = r < cfg.listing_readers;
      rr.name = (rr.listing ? "L" : "R") + std::to_string(r + 1);
      rr.events = sh->r[r].events.load();
      rr.incomplete = sh->r[r].incomplete.load();
      rr.corrupted = sh->r[r].corrupted.load();
      rr.bytes = sh->r[r].bytes.load();
      uint64_t h[demo::kBuckets];
      for (int b = 0; b < demo::kBuckets; ++b) {
        h[b] = sh->r[r].hist[b].load();
        merged[b] += h[b];
      }
      rr.p50_us = percentile(h, 0.50);
      rr.p99_us = percentile(h, 0.99);
      if (rr.events < res.events_built) res.lost += res.events_built - rr.events;
      res.incomplete += rr.incomplete;
      res.corrupted += rr.corrupted;
      if (!rr.listing) bytes = std::max(bytes, rr.bytes);
      res.readers.push_back(rr);
    }
    if (bytes == 0) bytes = res.events_built * static_cast<uint64_t>(cfg.writers) * cfg.block_size;
    res.p50_us = percentile(merged, 0.50);
    res.p99_us = percentile(merged, 0.99);
    if (res.elapsed_s > 0) {
      res.events_per_s = static_cast<double>(res.events_built) / res.elapsed_s;
      res.mb_per_s = static_cast<double>(bytes) / res.elapsed_s / 1e6;
    }
    master.all_clean_up();
  }

  // Whatever the run left, nothing of it stays on the host.
  for (const std::string& d : data_names) remove_partition(d);
  remove_partition(cl_name);
  remove_partition(ev_name);
  for (const std::string& d : data_names) res.partitions_left += partition_exists(d);
  res.partitions_left += partition_exists(cl_name) + partition_exists(ev_name);

  sigaction(SIGINT, &old_int, nullptr);
  sigaction(SIGTERM, &old_term, nullptr);
  sh->~Shared();
  munmap(mem, sizeof(demo::Shared));
  res.ok = res.error.empty() && !res.interrupted && res.lost == 0 && res.incomplete == 0 &&
           res.corrupted == 0 && res.refused == 0 && res.partitions_left == 0 &&
           res.events_built > 0;
  return res;
}
