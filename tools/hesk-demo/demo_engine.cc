// The master side of the demo run: forks the writer and reader processes,
// runs the master, shows progress, ends the run in order, gathers the
// figures and removes every partition of the run.
#include "demo_engine.h"

#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

#include "Hesk.h"
#include "demo_counters.h"
#include "demo_events.h"
#include "demo_partitions.h"
#include "demo_readback.h"
#include "demo_roles.h"

namespace {

using Clock = std::chrono::steady_clock;

// Interrupts received during the run: the first ends it in order, the
// second at once.
volatile sig_atomic_t g_interrupts = 0;
void on_interrupt(int) {
  g_interrupts = g_interrupts + 1;
}

const int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};

// The signal dispositions of the run, restored when it ends.
class RunSignals {
 public:
  RunSignals() {
    g_interrupts = 0;
    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = on_interrupt;
    for (size_t i = 0; i < 3; ++i) sigaction(kInterrupts[i], &sa, &old_[i]);
    // A closed output must not end this process before its workers.
    sa.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &sa, &old_pipe_);
  }
  ~RunSignals() {
    for (size_t i = 0; i < 3; ++i) sigaction(kInterrupts[i], &old_[i], nullptr);
    sigaction(SIGPIPE, &old_pipe_, nullptr);
  }

 private:
  struct sigaction old_[3], old_pipe_;
};

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// Whether standard output or error is a pipe nobody reads any more.
bool output_gone() {
  struct pollfd fds[2] = {{STDOUT_FILENO, POLLOUT, 0}, {STDERR_FILENO, POLLOUT, 0}};
  if (poll(fds, 2, 0) <= 0) return false;
  return ((fds[0].revents | fds[1].revents) & POLLERR) != 0;
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

uint64_t accepted(const demo::Shared* sh, int w) {
  return sh->w[w].sent.load() - sh->w[w].refused.load();
}

// Events every writer delivered without refusal.
uint64_t built(const demo::Shared* sh, int writers) {
  uint64_t b = UINT64_MAX;
  for (int w = 0; w < writers; ++w) b = std::min(b, accepted(sh, w));
  return b == UINT64_MAX ? 0 : b;
}

// What reader r waits for: a listing reader every block of the first
// writer, a whole-event reader every event all writers delivered.
uint64_t expected(const demo::Shared* sh, const DemoConfig& cfg, int r) {
  return r < cfg.listing_readers ? accepted(sh, 0) : built(sh, cfg.writers);
}

// Closes the run: fixes the number of events every writer delivers to the
// most any writer has started (see demo_shared.h); returns it.
long close_run(demo::Shared* sh, int writers) {
  sh->closing = 1;
  long most = 0;
  for (int w = 0; w < writers; ++w) most = std::max(most, sh->w[w].started.load());
  long limit = std::min(sh->limit.load(), most);
  sh->limit = limit;
  sh->limit_fixed = 1;
  return limit;
}

// The progress line on standard error: rewritten in place on a terminal,
// elsewhere (a log file, a pipe) one line every few seconds.
class Progress {
 public:
  Progress(bool on, long events)
      : on_(on), tty_(isatty(STDERR_FILENO) != 0), events_(events), last_(Clock::now()) {}
  // recorded < 0: no recording.
  void show(double elapsed, uint64_t sent, uint64_t delivered, long long recorded) {
    if (!on_ || seconds_since(last_) < (tty_ ? 0.2 : 5.0)) return;
    last_ = Clock::now();
    fprintf(stderr, "%s[hesk-demo] %6.1f s  events sent %lu%s  delivered %lu%s  %.0f events/s%s",
            tty_ ? "\r" : "", elapsed, static_cast<unsigned long>(sent),
            events_ > 0 ? ("/" + std::to_string(events_)).c_str() : "",
            static_cast<unsigned long>(delivered),
            recorded >= 0 ? ("  recorded " + std::to_string(recorded)).c_str() : "",
            elapsed > 0 ? delivered / elapsed : 0.0, tty_ ? "   " : "\n");
    shown_ = true;
  }
  // Ends a line left open on the terminal before anything else is printed.
  void end_line() {
    if (tty_ && shown_) fputc('\n', stderr);
    shown_ = false;
  }

 private:
  bool on_, tty_;
  long events_;
  Clock::time_point last_;
  bool shown_ = false;
};

// Waits up to `limit_s` for one child; kills it after that. Its status.
int reap_one(Child& c, double limit_s) {
  const auto start = Clock::now();
  while (!c.reaped) {
    int st = 0;
    if (waitpid(c.pid, &st, WNOHANG) == c.pid) {
      c.reaped = true;
      c.status = st;
    } else if (seconds_since(start) > limit_s) {
      kill(c.pid, SIGKILL);
      waitpid(c.pid, &c.status, 0);
      c.reaped = true;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  return c.status;
}

// The archive root of a run that records: the one given (made when
// missing), or a fresh temporary one.
bool record_root(const DemoConfig& cfg, DemoResult* res) {
  if (!cfg.record_root.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(cfg.record_root, ec);
    if (ec) {
      res->error = "cannot make the archive root " + cfg.record_root + ": " + ec.message();
      return false;
    }
    res->record_root = std::filesystem::absolute(cfg.record_root, ec).lexically_normal().string();
    if (ec) res->record_root = cfg.record_root;
    while (res->record_root.size() > 1 && res->record_root.back() == '/')
      res->record_root.pop_back();
    res->record_kept = true;
    return true;
  }
  const char* tmp = getenv("TMPDIR");
  std::string dir =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/hesk-demo.archive.XXXXXX";
  if (mkdtemp(&dir[0]) == nullptr) {
    res->error = "cannot make a temporary archive root in " + dir.substr(0, dir.rfind('/'));
    return false;
  }
  res->record_root = dir;
  return true;
}

double per_event(long long count, uint64_t processes, uint64_t events) {
  if (count < 0 || events == 0 || processes == 0) return -1;
  return static_cast<double>(count) / static_cast<double>(processes) / static_cast<double>(events);
}

}  // namespace

std::string demo_default_prefix() {
  return "hesk-demo." + std::to_string(getpid());
}
std::string demo_client_partition(const std::string& prefix) {
  return demo::run_names(prefix, 0).client;
}
std::string demo_event_partition(const std::string& prefix) {
  return demo::run_names(prefix, 0).event;
}

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
  const demo::RunNames names = demo::run_names(
      cfg.name_prefix.empty() ? demo_default_prefix() : cfg.name_prefix, cfg.writers);
  setenv("KOVA_CLI_SHM_NAME", names.client.c_str(), 1);
  setenv("KOVA_EV_SHM_NAME", names.event.c_str(), 1);

  void* mem = mmap(nullptr, sizeof(demo::Shared), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (mem == MAP_FAILED) {
    res.error = "cannot map the shared counters";
    return res;
  }
  auto* sh = new (mem) demo::Shared();
  sh->limit = cfg.events > 0 ? cfg.events : demo::kOpenLimit;
  RunSignals signals;
  const int recorders = cfg.record ? 1 : 0;
  if (cfg.record && record_root(cfg, &res)) res.record_run = demo::next_record_run(res.record_root);

  // Children first, while this process has no thread but its own.
  fflush(nullptr);
  const pid_t master_pid = getpid();
  std::vector<Child> kids;
  const int workers = res.error.empty() ? cfg.writers + nreaders + recorders : 0;
  for (int i = 0; i < workers; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      demo::become_worker(master_pid);
      int rc = i < cfg.writers ? demo::writer_process(cfg, sh, i, names)
               : i < cfg.writers + nreaders
                   ? demo::reader_process(cfg, sh, i - cfg.writers,
                                          i - cfg.writers < cfg.listing_readers, names)
                   : demo::recorder_process(cfg, sh, res.record_root, !res.record_kept,
                                            res.record_run, names);
      fflush(nullptr);
      _exit(rc);
    }
    if (pid < 0) {
      sh->stop = 1;
      sh->rec_stop = true;
      res.error = "fork failed";
      break;
    }
    kids.push_back(Child{pid, i < cfg.writers});
    sh->workers += 1;
  }
  // The recorder is the last child.
  const bool recording = cfg.record && static_cast<int>(kids.size()) == workers && workers > 0;
  // Opened after the fork: this process and the monitor thread it starts.
  demo::KernelCounter master_calls =
      cfg.count_syscalls ? demo::KernelCounter::syscalls() : demo::KernelCounter();

  {
    Hesk master;
    master.set_nclients(cfg.writers + nreaders + recorders + 2);
    master.set_nblocks(cfg.writers + 2);
    // Every writer, reader and recorder takes one client slot for each event type.
    master.set_ncl_slots(4 * (cfg.writers + nreaders + recorders) + 8);
    master.set_nev_slots(cfg.event_slots);
    master.set_evid_64bit_mode(cfg.layout_2024);
    if (res.error.empty() && (master.set_master(true) || master.init()))
      res.error = "the master could not set up the control partitions";

    std::string why;
    auto t_ready = Clock::now();
    while (res.error.empty() && sh->ready.load() < cfg.writers + nreaders + recorders) {
      if (g_interrupts > 0 || output_gone()) break;
      if (child_failed(kids, &why)) res.error = why;
      if (seconds_since(t_ready) > 30) res.error = "the demo processes did not get ready in 30 s";
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    res.interrupted = g_interrupts > 0 || output_gone();

    auto t_go = Clock::now();
    auto t_last = t_go;
    if (res.error.empty() && !res.interrupted) {
      sh->go = 1;
      master_calls.start();
      Progress progress(cfg.progress, cfg.events);
      bool closed = false;
      int seen_interrupts = 0;
      auto t_interrupt = t_go;
      uint64_t last_delivered = 0;
      for (;;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (child_failed(kids, &why)) {
          res.error = why;
          break;
        }
        // An interrupt closes the run; another one, a second or more later,
        // stops it at once. Copies that arrive together (a signal sent to
        // the process and to its group, as timeout(1) does) count once.
        const int interrupts = g_interrupts;
        bool interrupted_now = false;
        if (interrupts > seen_interrupts) {
          if (seen_interrupts == 0) {
            interrupted_now = true;
            t_interrupt = Clock::now();
          } else if (seconds_since(t_interrupt) >= 1.0) {
            break;  // at once
          }
          seen_interrupts = interrupts;
        }
        const bool gone = output_gone();
        const bool time_up = cfg.events <= 0 && seconds_since(t_go) >= cfg.seconds;
        if (!closed && (interrupted_now || gone || time_up)) {
          long last = close_run(sh, cfg.writers);
          closed = true;
          res.interrupted = !time_up;
          if (interrupted_now) {
            progress.end_line();
            fprintf(stderr,
                    "hesk-demo: interrupted: every writer stops at %ld events, the readers take "
                    "what is on its way (interrupt again to stop at once)\n",
                    last);
          }
        }
        uint64_t delivered = 0, least = UINT64_MAX;
        bool drained = true;
        for (int r = 0; r < nreaders; ++r) {
          uint64_t got = sh->r[r].events.load();
          delivered += got;
          least = std::min(least, got);
          drained = drained && got >= expected(sh, cfg, r);
        }
        // The recorder too has every event built.
        if (recording) {
          const uint64_t got = sh->rec.delivered.load();
          delivered += got;
          drained = drained && got >= built(sh, cfg.writers);
        }
        if (delivered != last_delivered) {
          last_delivered = delivered;
          t_last = Clock::now();
        }
        const bool writers_done = sh->writers_done.load() == cfg.writers;
        if (writers_done && drained) break;
        // Deliveries that stopped coming for 5 s after the writers finished are lost.
        if (writers_done && seconds_since(t_last) > 5) break;
        uint64_t sent = UINT64_MAX;
        for (int w = 0; w < cfg.writers; ++w) sent = std::min<uint64_t>(sent, sh->w[w].sent.load());
        progress.show(seconds_since(t_go), sent, least,
                      recording ? static_cast<long long>(sh->rec.written.load()) : -1);
      }
      progress.end_line();
    }
    res.interrupted = res.interrupted || g_interrupts > 0;
    res.elapsed_s = std::chrono::duration<double>(t_last - t_go).count();

    // The recorder first: it writes what it holds and closes its file whole.
    int recorder_status = -1;
    if (recording) {
      sh->rec_stop = true;
      recorder_status = reap_one(kids.back(), 120);
      if (res.error.empty() && !(WIFEXITED(recorder_status) && WEXITSTATUS(recorder_status) == 0))
        res.record_error = "the recorder failed (" +
                           (WIFSIGNALED(recorder_status)
                                ? "signal " + std::to_string(WTERMSIG(recorder_status))
                                : "exit code " + std::to_string(WEXITSTATUS(recorder_status))) +
                           ")";
    }
    sh->rec_stop = true;
    sh->stop = 1;
    master_calls.stop();
    reap_all(kids, 15);

    // Figures.
    res.events_built = built(sh, cfg.writers);
    for (int w = 0; w < cfg.writers; ++w) res.refused += sh->w[w].refused.load();
    static uint64_t merged[demo::kBuckets];
    std::fill(merged, merged + demo::kBuckets, 0);
    uint64_t bytes = 0;
    long long writer_calls = 0, reader_calls = 0;
    for (int w = 0; w < cfg.writers; ++w) {
      long long c = sh->w[w].syscalls.load();
      writer_calls = c < 0 || writer_calls < 0 ? -1 : writer_calls + c;
    }
    for (int r = 0; r < nreaders; ++r) {
      ReaderResult rr;
      rr.listing = r < cfg.listing_readers;
      rr.name = (rr.listing ? "L" : "R") + std::to_string(r + 1);
      rr.expected = expected(sh, cfg, r);
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
      if (rr.events < rr.expected) res.lost += rr.expected - rr.events;
      res.incomplete += rr.incomplete;
      res.corrupted += rr.corrupted;
      if (!rr.listing) bytes = std::max(bytes, rr.bytes);
      long long c = sh->r[r].syscalls.load();
      reader_calls = c < 0 || reader_calls < 0 ? -1 : reader_calls + c;
      res.readers.push_back(rr);
    }
    if (bytes == 0) bytes = res.events_built * static_cast<uint64_t>(cfg.writers) * cfg.block_size;
    res.p50_us = percentile(merged, 0.50);
    res.p99_us = percentile(merged, 0.99);
    if (res.elapsed_s > 0) {
      res.events_per_s = static_cast<double>(res.events_built) / res.elapsed_s;
      res.mb_per_s = static_cast<double>(bytes) / res.elapsed_s / 1e6;
    }
    if (cfg.count_syscalls) {
      res.syscalls_writer = per_event(writer_calls, cfg.writers, res.events_built);
      res.syscalls_reader = per_event(reader_calls, nreaders, res.events_built);
      res.syscalls_master = per_event(master_calls.value(), 1, res.events_built);
    }
    if (recording) {
      res.events_recorded = sh->rec.written.load();
      if (res.record_error.empty()) {
        const demo::ReadBack rb =
            demo::read_back(cfg, res.record_root, res.record_run, res.events_built);
        res.record_files = rb.files;
        res.events_read_back = rb.events;
        res.events_mismatched = rb.mismatched;
        res.record_error = rb.error;
      }
    }
    master.all_clean_up();
  }

  // Whatever the run left, nothing of it stays on the host.
  res.partitions_left = demo::remove_partitions(names);

  sh->~Shared();
  munmap(mem, sizeof(demo::Shared));
  res.ok = res.error.empty() && res.lost == 0 && res.incomplete == 0 && res.corrupted == 0 &&
           res.refused == 0 && res.partitions_left == 0 &&
           (res.events_built > 0 || res.interrupted);
  if (cfg.record) {
    res.ok = res.ok && res.record_error.empty() && res.events_recorded == res.events_built &&
             res.events_read_back == res.events_built && res.events_mismatched == 0;
    // A temporary archive goes after a good run; after a bad one it stays
    // for a look.
    if (!res.record_kept && !res.record_root.empty()) {
      if (res.ok) {
        std::error_code ec;
        std::filesystem::remove_all(res.record_root, ec);
      } else {
        res.record_kept = true;
      }
    }
  }
  return res;
}
