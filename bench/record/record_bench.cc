// hesk-record-bench: MB/s and events/s of the recorder for 1 KB and 64 KB
// events, each beside its floors measured in the same run:
//   - "write": the same bytes written sequentially with write(), one call
//     per event, to the same file system, then fsync: what recording cannot
//     avoid; the goal for 64 KB events is at least 0.8x of it;
//   - "no recording": the buffer manager's own rate with a plain reader
//     taking the events in place of the recorder (master, writer and reader
//     processes as for the recorder).
// A recorder run counts from the writer's first event until the recorder
// has exited: every event in the file, the file closed whole, flushed and
// listed in the catalogs.
//
// Each figure is the best of a few rounds (the machine is shared); every
// measurement starts after sync(), with earlier pages on disk.
//
// Usage: hesk-record-bench [--mb M (per case, default 128)] [--rounds N]
//                          [--dir DIR (default $TMPDIR or /tmp)]
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "C_shm_kill.h"
#include "Hesk.h"
#include "recorder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDataBuffers = 64;

struct Shared {
  std::atomic<int> ready;
  std::atomic<int> go;
  std::atomic<int> stop_master;
  std::atomic<bool> stop_recorder;
  std::atomic<uint64_t> taken;  // events the plain reader took
  std::atomic<int> failed;
  hrec::Counters counters;
};

Shared* g_shared = nullptr;

// One server block of `bytes` bytes: a head and one spectrum.
std::vector<unsigned char> make_block(size_t bytes, long i) {
  std::vector<unsigned char> b(bytes, 0);
  kova_serv_block_head_2010 h;
  memset(&h, 0, sizeof(h));
  h.time = {1700000000u + static_cast<unsigned>(i), 0};
  h.ltotal = static_cast<int32_t>(bytes);
  h.mpulse = static_cast<int32_t>(i + 1);
  strcpy(h.server, "BENCH");
  h.tmask = 1;
  h.nchan = 1;
  memcpy(b.data(), &h, sizeof(h));
  kova_serv_block_subhead_2010 sub;
  memset(&sub, 0, sizeof(sub));
  strcpy(sub.chname, "BENCH.CH0");
  sub.dtype = KOVA_BLOCK_1CHAN_2010;
  sub.ldata = static_cast<int32_t>(bytes - sizeof(h));
  memcpy(b.data() + sizeof(h), &sub, sizeof(sub));
  kova_norm_1channel_block_2010 sp;
  memset(&sp, 0, sizeof(sp));
  sp.header.inc = 1;
  sp.header.ndata = static_cast<int32_t>((bytes - sizeof(h) - sizeof(sub) - sizeof(sp)) / 4);
  sp.header.groups = 1;
  memcpy(b.data() + sizeof(h) + sizeof(sub), &sp, sizeof(sp));
  return b;
}

bool wait_until(const std::atomic<int>& v, int want, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (v.load() < want) {
    if (Clock::now() > end || g_shared->failed.load()) return false;
    usleep(1000);
  }
  return true;
}

int master_process() {
  Hesk m;
  m.set_nclients(4);
  m.set_nblocks(4);
  m.set_ncl_slots(16);
  m.set_nev_slots(256);
  if (m.set_master(true) || m.init()) return 1;
  g_shared->ready += 1;
  while (!g_shared->stop_master.load()) usleep(2000);
  return 0;
}

int writer_process(const std::string& data, size_t block, long events) {
  Hesk h;
  if (!wait_until(g_shared->ready, 1, 30) || h.init()) return 1;
  kova_client c;
  memset(&c, 0, sizeof(c));
  std::list<std::string> names{"BENCH"};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &names) < 1) return 2;
  const int id = h.add(data.c_str(), kDataBuffers, static_cast<int>(block), false);
  if (id < 0) return 3;
  std::vector<unsigned char> b = make_block(block, 0);
  g_shared->ready += 1;
  if (!wait_until(g_shared->go, 1, 60)) return 4;
  for (long i = 0; i < events; ++i) {
    int bid = id, bnum = -1;
    char* p;
    // Waits (blocked, not spinning: the machine may have two cores) while
    // every buffer is in an event not yet taken.
    while ((p = h.get_buffer_from_pool(0, static_cast<int>(block), &bid, &bnum)) == nullptr) {
      if (g_shared->failed.load()) return 5;
      bid = id;
    }
    // One second apart: each block is an event of its own.
    const time_stamp key = {1700000000u + static_cast<unsigned>(i), 0};
    memcpy(b.data(), &key, sizeof(key));
    const int32_t id32 = static_cast<int32_t>(i + 1);
    memcpy(b.data() + offsetof(kova_serv_block_head_2010, mpulse), &id32, sizeof(id32));
    memcpy(p, b.data(), block);
    if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) {
      g_shared->failed = 1;
      return 6;
    }
  }
  while (!g_shared->stop_master.load()) usleep(2000);
  return 0;
}

class CountingReader : public Hesk {
 public:
  void event_handler(void*, kova_client_sblock_data*) override { g_shared->taken += 1; }
};

int reader_process() {
  CountingReader r;
  if (!wait_until(g_shared->ready, 1, 30) || r.init()) return 1;
  kova_client c;
  memset(&c, 0, sizeof(c));
  if (r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr) < 1) return 2;
  g_shared->ready += 1;
  while (!g_shared->stop_master.load()) usleep(2000);
  return 0;
}

int recorder_process(const std::string& root, int run) {
  if (!wait_until(g_shared->ready, 1, 30)) return 1;
  hrec::Options o;
  o.types = {KOVA_EV_NORMAL};
  o.generation = 2010;
  o.root = root;
  o.exp = "bench";
  o.stream = "rec";
  o.run = run;
  o.quiet = true;
  o.file_mb = 3072;
  hrec::Recorder r(o, &g_shared->counters);
  if (!r.start()) return 2;
  g_shared->ready += 1;
  return r.run(&g_shared->stop_recorder);
}

template <typename Fn>
pid_t spawn(Fn fn) {
  fflush(stdout);
  fflush(stderr);
  const pid_t pid = fork();
  if (pid == 0) {
    fclose(stdout);  // the buffer manager's own messages stay out of the table
    _exit(fn());
  }
  return pid;
}

struct Result {
  bool ok = false;
  double seconds = 0;
};

// One run of master, writer and (recorder or plain reader).
Result run_chain(bool record, size_t block, long events, const std::string& root, int run) {
  Shared* sh = g_shared;
  memset(static_cast<void*>(sh), 0, sizeof(*sh));
  new (&sh->counters) hrec::Counters();
  const std::string tag =
      "hesk-record-bench." + std::to_string(getpid()) + "." + std::to_string(run);
  const std::string cl = tag + ".cl", ev = tag + ".ev", data = tag + ".data";
  setenv("KOVA_CLI_SHM_NAME", cl.c_str(), 1);
  setenv("KOVA_EV_SHM_NAME", ev.c_str(), 1);
  std::vector<pid_t> kids;
  kids.push_back(spawn([] { return master_process(); }));
  kids.push_back(spawn([&] { return writer_process(data, block, events); }));
  const pid_t consumer =
      spawn([&] { return record ? recorder_process(root, run) : reader_process(); });
  kids.push_back(consumer);
  Result res;
  if (wait_until(sh->ready, 3, 60)) {
    const auto t0 = Clock::now();
    sh->go = 1;
    const uint64_t want = static_cast<uint64_t>(events);
    auto done = [&] {
      return record ? sh->counters.written.load() >= want : sh->taken.load() >= want;
    };
    const auto limit = t0 + std::chrono::seconds(600);
    while (!done() && Clock::now() < limit && !sh->failed.load() &&
           sh->counters.malformed.load() == 0)
      usleep(200);
    if (record) {
      sh->stop_recorder = true;  // closes the file: tables, fsync, catalogs
      int st = 0;
      waitpid(consumer, &st, 0);
      kids.pop_back();
      res.ok = done() && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    } else {
      res.ok = done();
    }
    res.seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  }
  sh->failed = 1;
  sh->stop_recorder = true;
  sh->stop_master = 1;
  const char* const roles[] = {"master", "writer", record ? "recorder" : "reader"};
  const auto give_up = Clock::now() + std::chrono::seconds(10);
  for (size_t k = 0; k < kids.size(); ++k) {
    int st = 0;
    // A writer blocked on a buffer that never comes back is ended.
    while (waitpid(kids[k], &st, WNOHANG) == 0) {
      if (Clock::now() > give_up) kill(kids[k], SIGKILL);
      usleep(2000);
    }
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0)
      fprintf(stderr, "hesk-record-bench: the %s process ended with status %d\n", roles[k],
              WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
  }
  for (const std::string& n : {data, ev, cl}) C_shm_kill kill(n.c_str());
  return res;
}

// The floor: the same bytes, one write() per event, then fsync.
double write_floor(const std::string& path, size_t event, long events) {
  std::vector<unsigned char> b(event, 0x5A);
  const auto t0 = Clock::now();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  for (long i = 0; i < events; ++i)
    if (write(fd, b.data(), event) != static_cast<ssize_t>(event)) {
      close(fd);
      return 0;
    }
  fsync(fd);
  close(fd);
  const double s = std::chrono::duration<double>(Clock::now() - t0).count();
  unlink(path.c_str());
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  long mb = 128;
  int rounds = 3;
  std::string dir;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--mb" && i + 1 < argc) {
      mb = atol(argv[++i]);
    } else if (a == "--rounds" && i + 1 < argc) {
      rounds = atoi(argv[++i]);
    } else if (a == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else {
      fprintf(stderr,
              "usage: hesk-record-bench [--mb M (per case, default 128)] [--rounds N (default 3)]"
              " [--dir DIR]\n");
      return 2;
    }
  }
  if (mb < 1) mb = 1;
  if (rounds < 1) rounds = 1;
  std::string base = dir.empty() ? (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp") : dir;
  std::string work = base + "/hesk-record-bench.XXXXXX";
  if (mkdtemp(&work[0]) == nullptr) {
    perror("mkdtemp");
    return 1;
  }
  g_shared = static_cast<Shared*>(
      mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  printf("%ld MB per case, best of %d rounds, files in %s\n", mb, rounds, base.c_str());
  printf("%-6s %7s | %10s %8s | %10s %6s | %11s %6s\n", "event", "events", "recorded/s", "MB/s",
         "write MB/s", "ratio", "no record/s", "ratio");
  int failures = 0, run = 0;
  for (const size_t event : {size_t{1024}, size_t{65536}}) {
    const size_t block = event - sizeof(kova_eventheader) - sizeof(kova_eventtail);
    const long events =
        static_cast<long>((static_cast<uint64_t>(mb) << 20) / static_cast<uint64_t>(event));
    const double mbytes = static_cast<double>(event) * static_cast<double>(events) / (1 << 20);
    double floor_s = 0, rec_s = 0, bm_s = 0;  // best of the rounds
    bool ok = true;
    for (int r = 0; r < rounds && ok; ++r) {
      // Each measurement starts with the earlier ones' pages on disk.
      sync();
      const double f = write_floor(work + "/floor.raw", event, events);
      sync();
      const std::string root = work + "/run" + std::to_string(++run);
      const Result rec = run_chain(true, block, events, root, run);
      const Result bm = run_chain(false, block, events, root, ++run);
      std::string rm = "rm -rf '" + root + "'";
      if (system(rm.c_str()) != 0)
        fprintf(stderr, "hesk-record-bench: cannot remove %s\n", root.c_str());
      ok = rec.ok && bm.ok && f > 0;
      if (!ok) {
        fprintf(stderr, "hesk-record-bench: %zu-byte case failed (%s)\n", event,
                !rec.ok  ? "recorder"
                : !bm.ok ? "plain reader"
                         : "write floor");
        break;
      }
      floor_s = r == 0 ? f : std::min(floor_s, f);
      rec_s = r == 0 ? rec.seconds : std::min(rec_s, rec.seconds);
      bm_s = r == 0 ? bm.seconds : std::min(bm_s, bm.seconds);
    }
    if (!ok) {
      ++failures;
      continue;
    }
    const double rec_ev = static_cast<double>(events) / rec_s;
    const double bm_ev = static_cast<double>(events) / bm_s;
    printf("%-6s %7ld | %10.0f %8.1f | %10.1f %5.2fx | %11.0f %5.2fx\n",
           event >= 65536 ? "64 KB" : "1 KB", events, rec_ev, mbytes / rec_s, mbytes / floor_s,
           floor_s / rec_s, bm_ev, rec_ev / bm_ev);
    fflush(stdout);
  }
  std::string rm = "rm -rf '" + work + "'";
  if (system(rm.c_str()) != 0)
    fprintf(stderr, "hesk-record-bench: could not remove %s\n", work.c_str());
  return failures ? 1 : 0;
}
