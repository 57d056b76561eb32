// Writer and reader processes of the demo.
#include "demo_roles.h"

#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <list>
#include <vector>

#include "Hesk.h"
#include "demo_counters.h"
#include "demo_events.h"

namespace demo {

namespace {

// Sent to a worker when the master process ends. The library's threads
// block it, so it reaches the worker's main thread.
constexpr int kMasterGoneSignal = SIGUSR2;
// A worker whose master is gone leaves in order; should that hang, the
// alarm's default action ends it.
constexpr unsigned kOrphanGraceS = 10;

volatile sig_atomic_t g_orphaned = 0;
// In the recorder worker: where its stop flag lies.
Shared* g_recorder_shared = nullptr;

void on_wake(int) {}
void on_master_gone(int) {
  g_orphaned = 1;
  if (g_recorder_shared != nullptr) g_recorder_shared->rec_stop.store(true);
  alarm(kOrphanGraceS);
}

bool ending(const Shared* sh) {
  return g_orphaned || sh->stop.load();
}

// After the worker's Hesk object is gone: when the master is gone too, the
// last worker out removes the run's partitions.
void leave(Shared* sh, const RunNames& names) {
  if (!g_orphaned) return;
  if (sh->orphans_out.fetch_add(1) + 1 == sh->workers.load()) remove_partitions(names);
}

uint64_t now_us() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec / 1000);
}

bool init_retrying(Hesk& h, Shared* sh) {
  while (!ending(sh)) {
    if (!h.init()) return true;
    usleep(20000);
  }
  return false;
}

kova_client plain_request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

// The event types the demo's writers deliver and its readers take.
const KOVA_EVTYPE kDemoTypes[] = {KOVA_EV_NORMAL, KOVA_EV_HB, KOVA_EV_ENV, KOVA_EV_UPD};

// Whether event i is one every writer delivers (see demo_shared.h). Called
// after the writer announced event i in `started`.
bool within_limit(const Shared* sh, long i) {
  if (sh->closing.load()) {
    while (!sh->limit_fixed.load()) {
      if (ending(sh)) return false;
      usleep(100);
    }
  }
  return i < sh->limit.load();
}

// Waits until `offset_ns` after `start`: a long wait sleeps, the last stretch
// hands the CPU to whoever wants it (sched_yield) instead of arming a timer
// per event, which costs a virtual machine more than the event itself.
void wait_until(const struct timespec& start, long long offset_ns) {
  long long due = start.tv_sec * 1000000000LL + start.tv_nsec + offset_ns;
  for (;;) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    long long ahead = due - (ts.tv_sec * 1000000000LL + ts.tv_nsec);
    if (ahead <= 0) return;
    if (ahead > 2000000) {
      struct timespec nap = {0, static_cast<long>(ahead - 1000000)};
      nanosleep(&nap, nullptr);
    } else {
      sched_yield();
    }
  }
}

// A reader that looks at every block of every event it is handed, and reads
// and checks one fast and one slow channel.
class DemoReader : public Hesk {
 public:
  DemoReader(const DemoConfig& cfg, ReaderStats* st, bool listing)
      : cfg_(cfg), st_(st), listing_(listing), checker_(cfg, listing) {}

  void event_handler(void* head, kova_client_sblock_data* blocks) override {
    uint64_t t_now = now_us();
    int n = cfg_.layout_2024 ? static_cast<kova_event_slot_head_2024*>(head)->sbfilled
                             : static_cast<kova_event_slot_head*>(head)->sbfilled;
    int type = cfg_.layout_2024 ? static_cast<kova_event_slot_head_2024*>(head)->evtype
                                : static_cast<kova_event_slot_head*>(head)->evtype;
    uint64_t latest = 0;
    int present = 0;
    bool first_present = false;
    for (int k = 0; k < n; ++k) {
      if (blocks[k].shmid == 0 || blocks[k].bnum < 0) continue;
      char* p = pool_buffer_address(blocks[k].bnum, blocks[k].shmid);
      if (p == nullptr) continue;
      ++present;
      bool is_first = strcmp(blocks[k].name, "W1") == 0;
      first_present = first_present || is_first;
      long ltotal = cfg_.layout_2024
                        ? static_cast<long>(reinterpret_cast<kova_serv_block_head_2024*>(p)->ltotal)
                        : reinterpret_cast<kova_serv_block_head_2010*>(p)->ltotal;
      st_->bytes += static_cast<uint64_t>(ltotal);
      if (type != KOVA_EV_NORMAL) continue;  // only normal events carry the send time
      uint64_t sent = send_time(p, cfg_.layout_2024);
      if (!listing_ || is_first) latest = sent > latest ? sent : latest;
    }
    bool complete = listing_ ? first_present : present == cfg_.writers;
    if (!complete) st_->incomplete += 1;
    if (!checker_.check(this, head, blocks)) st_->corrupted += 1;
    if (latest > 0) {
      double lat = t_now > latest ? static_cast<double>(t_now - latest) : 0.0;
      st_->hist[bucket_of(lat)] += 1;
    }
    st_->events += 1;
  }

 private:
  const DemoConfig& cfg_;
  ReaderStats* st_;
  bool listing_;
  EventChecker checker_;
};

// The event types the demo's writers deliver and its readers take, for the
// recorder.
std::vector<int> demo_types() {
  std::vector<int> t;
  for (KOVA_EVTYPE e : kDemoTypes) t.push_back(e);
  return t;
}

}  // namespace

int recorder_process(const DemoConfig& cfg, Shared* sh, const std::string& root, bool temporary,
                     int run, const RunNames& names) {
  g_recorder_shared = sh;
  if (g_orphaned) sh->rec_stop.store(true);
  int rc;
  {
    hrec::Options o;
    o.types = demo_types();
    o.generation = cfg.layout_2024 ? 2024 : 2010;
    o.root = root;
    o.exp = kRecordExp;
    o.stream = kRecordStream;
    o.run = run;
    o.quiet = true;
    o.attach_wait_s = 30;  // the master sets up its partitions after the fork
    hrec::Recorder r(o, &sh->rec);
    if (!r.start()) return 30;
    sh->ready += 1;
    rc = r.run(&sh->rec_stop) == 0 ? 0 : 31;
  }
  if (g_orphaned && temporary) {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  leave(sh, names);
  return rc;
}

void become_worker(pid_t parent) {
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, SIG_IGN);
  signal(SIGHUP, SIG_IGN);
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sigemptyset(&sa.sa_mask);
  // No automatic restart: a writer waiting for a free buffer is woken by
  // SIGUSR1 at the stop, and by the master's end.
  sa.sa_handler = on_wake;
  sigaction(SIGUSR1, &sa, nullptr);
  sa.sa_handler = on_master_gone;
  sigaction(kMasterGoneSignal, &sa, nullptr);
  prctl(PR_SET_PDEATHSIG, kMasterGoneSignal);
  if (getppid() != parent) on_master_gone(0);  // gone before the line above
}

std::string writer_block_name(int index) {
  return "W" + std::to_string(index + 1);
}

int writer_process(const DemoConfig& cfg, Shared* sh, int index, const RunNames& names) {
  WriterStats& st = sh->w[index];
  int rc = 0;
  {
    Hesk h;
    h.set_evid_64bit_mode(cfg.layout_2024);
    if (!init_retrying(h, sh)) return 10;
    kova_client c = plain_request();
    std::string name = writer_block_name(index);
    std::list<std::string> blocks{name};
    for (KOVA_EVTYPE t : kDemoTypes)
      if (h.subscribe(t, CLI_T_WRITER, &c, &blocks) < 1) return 11;
    int id = h.add(names.data[static_cast<size_t>(index)].c_str(), cfg.data_buffers,
                   static_cast<int>(buffer_length(cfg)), false);
    if (id < 0) return 12;
    sh->ready += 1;
    while (!sh->go.load() && !ending(sh)) usleep(1000);
    KernelCounter calls = cfg.count_syscalls ? KernelCounter::syscalls() : KernelCounter();
    calls.start();
    // At a fixed offered rate, event i is due at start + i / rate.
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long i = 0; !ending(sh); ++i) {
      st.started.store(i + 1);
      if (!within_limit(sh, i)) break;
      if (cfg.rate > 0) wait_until(start, static_cast<long long>(i * 1e9 / cfg.rate));
      int bid = id, bnum = -1;
      char* p = nullptr;
      // Waits for a buffer when all are in events still being read.
      while ((p = h.get_buffer_from_pool(0, cfg.block_size, &bid, &bnum)) == nullptr) {
        if (ending(sh)) break;
        bid = id;
      }
      if (p == nullptr) break;
      fill_block(p, cfg, index, i, now_us());
      if (h.ev_update(event_type(i), id, bnum)) {
        st.refused += 1;
        h.return_buffer_in_pool(bnum, id);
      }
      st.sent += 1;
    }
    calls.stop();
    st.syscalls = calls.value();
    sh->writers_done += 1;
    // The writer stays subscribed, and its data partition stays, until
    // every reader has handed its blocks back.
    while (!ending(sh)) usleep(2000);
  }
  st.exit_code = rc;
  leave(sh, names);
  return rc;
}

int reader_process(const DemoConfig& cfg, Shared* sh, int index, bool listing,
                   const RunNames& names) {
  {
    DemoReader r(cfg, &sh->r[index], listing);
    r.set_evid_64bit_mode(cfg.layout_2024);
    if (!init_retrying(r, sh)) return 20;
    // Opened before the reader thread starts, so that it counts it too.
    KernelCounter calls = cfg.count_syscalls ? KernelCounter::syscalls() : KernelCounter();
    kova_client c = plain_request();
    std::list<std::string> blocks{writer_block_name(0)};
    for (KOVA_EVTYPE t : kDemoTypes)
      if (r.subscribe(t, CLI_T_READER, &c, listing ? &blocks : nullptr) < 1) return 21;
    sh->ready += 1;
    while (!sh->go.load() && !ending(sh)) usleep(1000);
    calls.start();
    while (!ending(sh)) usleep(5000);
    calls.stop();
    sh->r[index].syscalls = calls.value();
    // The reader thread calls event_handler: it ends before this object's
    // own members (the checker) go.
    r.stop_reader();
  }
  leave(sh, names);
  return 0;
}

}  // namespace demo
