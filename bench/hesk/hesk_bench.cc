// hesk-bench: events/s and writer-to-callback latency of the buffer manager
// for a list of cases (writers x readers, block size), beside the design's
// irreducible floor measured in the same run: one notification datagram per
// reader, i.e. readers x one bare loopback UDP send+receive. Each case runs
// twice: as fast as it goes (saturated), and paced at half that rate, where
// the latency shows what a single event costs without queueing.
//
// System calls per event are counted by role (one writer, one reader, the
// master process) with the kernel's event counters, context switches over
// all the run's processes, where the kernel allows it ("n/a" otherwise);
// CPU microseconds per event are the user and system time of all of them.
//
// The table goes to standard output; everything the library and the runs
// print goes to standard error.
#include <arpa/inet.h>
#include <getopt.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "demo_counters.h"
#include "demo_engine.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-bench";
using Clock = std::chrono::steady_clock;

// The load cases; --cases picks some by name.
struct Case {
  int writers, readers, block;
  std::string name() const {
    return std::to_string(writers) + "x" + std::to_string(readers) + "-" +
           (block >= 1024 ? std::to_string(block / 1024) + "KB" : std::to_string(block) + "B");
  }
};
const Case kCases[] = {{1, 1, 1024}, {1, 1, 65536}, {4, 2, 1024}, {4, 2, 65536},
                       {4, 4, 1024}, {8, 8, 1024},  {16, 8, 1024}};

void usage(FILE* out) {
  std::string names;
  for (const Case& c : kCases) names += (names.empty() ? "" : ",") + c.name();
  fprintf(out,
          "usage: hesk-bench [--events N] [--cases LIST]\n"
          "\n"
          "Runs the buffer manager end to end on this host (as hesk-demo does) for each\n"
          "case of W writers x R readers taking whole events with blocks of B bytes,\n"
          "first as fast as it goes, then paced at half that rate, and prints one line\n"
          "per case:\n"
          "\n"
          "  events/s   saturated throughput       us/event  its inverse\n"
          "  floor us   R x one bare loopback UDP send+receive (udp us), measured now\n"
          "  ratio      us/event / floor us        p99 us    saturated latency, p99\n"
          "  sys/w sys/r sys/m   system calls per event of one writer, one reader and\n"
          "             the master process (n/a where the kernel does not count them)\n"
          "  cs/ev      context switches per event, all processes\n"
          "  paced/s p50 us p99 us   the paced run: its rate and latency\n"
          "\n"
          "  --events N     events per case (100-100000000, default 50000)\n"
          "  --cases LIST   comma-separated cases to run (default all: %s)\n"
          "  -h, --help     this text\n"
          "\n"
          "The table goes to standard output, diagnostics to standard error.\n"
          "exit status: 0 every run lost nothing, 1 a run failed, 2 bad usage\n",
          names.c_str());
}

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

std::string figure(double v) {
  if (v < 0) return "n/a";
  char buf[32];
  snprintf(buf, sizeof(buf), "%.1f", v);
  return buf;
}

struct Run {
  DemoResult r;
  std::string switches;
  double cpu_us = 0;  // user + system CPU of every process of the run, per event
};

// User + system CPU seconds of this process and of its children that ended.
double cpu_seconds() {
  double t = 0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u;
    if (getrusage(who, &u) != 0) continue;
    t +=
        u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
  }
  return t;
}

Run run_counted(const DemoConfig& cfg) {
  demo::KernelCounter cs = demo::KernelCounter::context_switches();
  cs.start();
  const double cpu0 = cpu_seconds();
  Run run;
  run.r = run_demo(cfg);
  const long long n = cs.value();
  const double events = static_cast<double>(run.r.events_built);
  run.switches = figure(n < 0 || events == 0 ? -1 : static_cast<double>(n) / events);
  run.cpu_us = events > 0 ? (cpu_seconds() - cpu0) * 1e6 / events : 0;
  return run;
}

bool select_cases(const char* list, std::vector<Case>* out) {
  out->clear();
  std::string rest(list);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string name = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    if (name.empty()) continue;
    const Case* found = nullptr;
    for (const Case& c : kCases)
      if (c.name() == name) found = &c;
    if (found == nullptr) return false;
    out->push_back(*found);
  }
  return !out->empty();
}

}  // namespace

int main(int argc, char** argv) {
  enum { kEvents = 1000, kCasesOpt };
  static const struct option options[] = {{"events", required_argument, nullptr, kEvents},
                                          {"cases", required_argument, nullptr, kCasesOpt},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  long events = 50000;
  std::vector<Case> cases(std::begin(kCases), std::end(kCases));
  int c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    switch (c) {
      case kEvents:
        if (!hesk_cli::parse_long(optarg, 100, 100000000, &events))
          return hesk_cli::range_error(kTool, "--events", 100, 100000000, optarg);
        break;
      case kCasesOpt:
        if (!select_cases(optarg, &cases)) {
          std::string names;
          for (const Case& k : kCases) names += " " + k.name();
          return hesk_cli::usage_error(kTool, "--cases: unknown case in '%s'; cases:%s", optarg,
                                       names.c_str());
        }
        break;
      case 'h':
        usage(stdout);
        return 0;
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  // The older form: the number of events alone.
  if (optind + 1 == argc && !hesk_cli::parse_long(argv[optind], 100, 100000000, &events))
    return hesk_cli::range_error(kTool, "the number of events", 100, 100000000, argv[optind]);
  if (optind + 1 < argc)
    return hesk_cli::usage_error(kTool, "unexpected argument '%s'", argv[optind + 1]);

  // The table keeps standard output; the runs' own output goes to standard error.
  fflush(stdout);
  FILE* table = fdopen(dup(STDOUT_FILENO), "w");
  if (table == nullptr || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    perror("hesk-bench: standard output");
    return 1;
  }
  fprintf(table, "%-10s %9s %8s %8s %7s %7s %6s %6s %6s %6s %7s %6s | %8s %7s %7s %6s %7s\n",
          "case", "events/s", "us/event", "floor us", "ratio", "p99 us", "sys/w", "sys/r", "sys/m",
          "cs/ev", "cpu us", "udp us", "paced/s", "p50 us", "p99 us", "cs/ev", "cpu us");
  fflush(table);
  int failures = 0;
  for (const Case& k : cases) {
    double udp = udp_round_us(20000);
    double floor = k.readers * udp;
    DemoConfig cfg;
    cfg.writers = k.writers;
    cfg.whole_readers = k.readers;
    cfg.listing_readers = 0;
    cfg.events = events;
    cfg.block_size = k.block;
    cfg.progress = false;
    cfg.count_syscalls = true;
    cfg.record = false;  // the buffer manager alone (hesk-record-bench measures recording)
    Run full = run_counted(cfg);
    // Half the rate just reached, for as long as the saturated run took.
    DemoConfig paced = cfg;
    paced.count_syscalls = false;
    paced.rate = full.r.events_per_s / 2;
    paced.events = std::max(100L, std::min(events, static_cast<long>(paced.rate * 2)));
    Run half = run_counted(paced);
    for (const Run* run : {&full, &half}) {
      if (run->r.ok) continue;
      ++failures;
      fprintf(stderr, "hesk-bench: run %s failed: %s\n", k.name().c_str(),
              run->r.error.empty() ? "events lost" : run->r.error.c_str());
    }
    double us = full.r.events_per_s > 0 ? 1e6 / full.r.events_per_s : 0;
    fprintf(table,
            "%-10s %9.0f %8.1f %8.2f %6.1fx %7.0f %6s %6s %6s %6s %7.1f %6.2f | %8.0f %7.0f %7.0f "
            "%6s %7.1f\n",
            k.name().c_str(), full.r.events_per_s, us, floor, floor > 0 ? us / floor : 0.0,
            full.r.p99_us, figure(full.r.syscalls_writer).c_str(),
            figure(full.r.syscalls_reader).c_str(), figure(full.r.syscalls_master).c_str(),
            full.switches.c_str(), full.cpu_us, udp, paced.rate, half.r.p50_us, half.r.p99_us,
            half.switches.c_str(), half.cpu_us);
    fflush(table);
  }
  fclose(table);
  return failures ? 1 : 0;
}
