// hesk-bench: events/s and writer-to-callback latency of the buffer manager
// for 1 writer x 1 reader and 4 writers x 2 readers with 1 KB and 64 KB
// server blocks, beside the design's irreducible floor measured in the same
// run: one notification datagram per reader, i.e. readers x one bare
// loopback UDP send+receive. Each case runs twice: as fast as it goes
// (saturated), and paced at half that rate, where the latency shows what a
// single event costs without queueing.
//
// System calls and context switches per event are counted with the kernel's
// event counters over all the run's processes, where the kernel allows it
// ("n/a" otherwise).
//
// Usage: hesk-bench [events per case, default 50000]
#include <arpa/inet.h>
#include <linux/perf_event.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "demo_engine.h"

namespace {

using Clock = std::chrono::steady_clock;

// Microseconds per bare loopback UDP datagram sent and received.
double udp_round_us(int rounds) {
  int rx = socket(AF_INET, SOCK_DGRAM, 0), tx = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a;
  memset(&a, 0, sizeof(a));
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  socklen_t len = sizeof(a);
  getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len);
  char msg[32] = {0}, in[64];
  auto t0 = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    sendto(tx, msg, sizeof(msg), 0, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    recv(rx, in, sizeof(in), 0);
  }
  double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;
  close(rx);
  close(tx);
  return us;
}

// A kernel event counter over this process and the children it forks from
// now on; unavailable counters read as -1.
class Counter {
 public:
  Counter(uint32_t type, uint64_t config) {
    perf_event_attr attr;
    memset(&attr, 0, sizeof(attr));
    attr.size = sizeof(attr);
    attr.type = type;
    attr.config = config;
    attr.inherit = 1;
    attr.disabled = 1;
    attr.exclude_hv = 1;
    fd_ = static_cast<int>(syscall(SYS_perf_event_open, &attr, 0, -1, -1, 0));
    if (fd_ >= 0) ioctl(fd_, PERF_EVENT_IOC_ENABLE, 0);
  }
  ~Counter() {
    if (fd_ >= 0) close(fd_);
  }
  Counter(const Counter&) = delete;
  Counter& operator=(const Counter&) = delete;
  long long read_value() const {
    long long v = -1;
    if (fd_ < 0 || ::read(fd_, &v, sizeof(v)) != static_cast<ssize_t>(sizeof(v))) return -1;
    return v;
  }

 private:
  int fd_ = -1;
};

// The id of the tracepoint counting every system call's entry, or -1. Its
// file system is mounted when it is not and this process may do so.
long syscall_tracepoint() {
  const char* dir = "/sys/kernel/tracing";
  std::string id_file = std::string(dir) + "/events/raw_syscalls/sys_enter/id";
  if (access(id_file.c_str(), R_OK) != 0 && geteuid() == 0)
    mount("nodev", dir, "tracefs", 0, nullptr);
  std::ifstream in(id_file);
  long id = -1;
  return in >> id ? id : -1;
}

std::string per_event(long long count, uint64_t events) {
  if (count < 0 || events == 0) return "n/a";
  char buf[32];
  snprintf(buf, sizeof(buf), "%.1f", static_cast<double>(count) / static_cast<double>(events));
  return buf;
}

struct Run {
  DemoResult r;
  std::string syscalls, switches;
};

Run run_counted(const DemoConfig& cfg) {
  long tp = syscall_tracepoint();
  Counter sys(PERF_TYPE_TRACEPOINT, tp < 0 ? 0 : static_cast<uint64_t>(tp));
  Counter cs(PERF_TYPE_SOFTWARE, PERF_COUNT_SW_CONTEXT_SWITCHES);
  Run run;
  run.r = run_demo(cfg);
  run.syscalls = per_event(tp < 0 ? -1 : sys.read_value(), run.r.events_built);
  run.switches = per_event(cs.read_value(), run.r.events_built);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  long events = argc > 1 ? atol(argv[1]) : 50000;
  if (events < 100) {
    fprintf(stderr, "usage: hesk-bench [events per case, at least 100]\n");
    return 2;
  }
  struct Case {
    int writers, readers, block;
  };
  const Case cases[] = {{1, 1, 1024}, {1, 1, 65536}, {4, 2, 1024}, {4, 2, 65536}};
  printf("%-9s %9s %8s %8s %7s %7s %6s %6s %6s | %8s %7s %7s\n", "case", "events/s", "us/event",
         "floor us", "ratio", "p99 us", "sys/ev", "cs/ev", "udp us", "paced/s", "p50 us", "p99 us");
  int failures = 0;
  for (const Case& c : cases) {
    double udp = udp_round_us(20000);
    double floor = c.readers * udp;
    DemoConfig cfg;
    cfg.writers = c.writers;
    cfg.whole_readers = c.readers;
    cfg.listing_readers = 0;
    cfg.events = events;
    cfg.block_size = c.block;
    cfg.progress = false;
    Run full = run_counted(cfg);
    // Half the rate just reached, for as long as the saturated run took.
    DemoConfig paced = cfg;
    paced.rate = full.r.events_per_s / 2;
    paced.events = std::max(100L, std::min(events, static_cast<long>(paced.rate * 2)));
    Run half = run_counted(paced);
    for (const Run* run : {&full, &half}) {
      if (run->r.ok) continue;
      ++failures;
      fprintf(stderr, "hesk-bench: run %dx%d %d B failed: %s\n", c.writers, c.readers, c.block,
              run->r.error.c_str());
    }
    double us = full.r.events_per_s > 0 ? 1e6 / full.r.events_per_s : 0;
    std::string name =
        std::to_string(c.writers) + "x" + std::to_string(c.readers) + " " +
        (c.block >= 1024 ? std::to_string(c.block / 1024) + "KB" : std::to_string(c.block) + "B");
    printf("%-9s %9.0f %8.1f %8.2f %6.1fx %7.0f %6s %6s %6.2f | %8.0f %7.0f %7.0f\n", name.c_str(),
           full.r.events_per_s, us, floor, floor > 0 ? us / floor : 0.0, full.r.p99_us,
           full.syscalls.c_str(), full.switches.c_str(), udp, paced.rate, half.r.p50_us,
           half.r.p99_us);
    fflush(stdout);
  }
  return failures ? 1 : 0;
}
