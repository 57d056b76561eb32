// hesk-liveview-bench: what the live view costs the buffer manager. The demo
// runs as fast as it goes, alternately without the live view (the floor),
// with it (hesk-demo --serve) and no client, and with it under a hostile
// load: many connections that poll /api/status once a second as open pages
// do, clients that send half a request and stall, and requests for huge
// paths. Reported, not asserted: events/s of each run beside the floor, and
// what the hostile clients got back.
//
// Run it alone on the machine (under the shared lock where there is one):
//   flock -o /tmp/hesk-build.lock build/default/bench/liveview/hesk-liveview-bench
#include <arpa/inet.h>
#include <fcntl.h>
#include <getopt.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "http_probe.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-liveview-bench";
using Clock = std::chrono::steady_clock;

struct Options {
  int seconds = 15;
  int rounds = 2;
  int connections = 200;
  int stalled = 20;
  int huge_every_ms = 100;
};

// What the hostile clients got back.
struct Tally {
  std::atomic<long> answered{0};   // 200 OK to a polling page
  std::atomic<long> timed_out{0};  // 408 to a stalled half request
  std::atomic<long> too_long{0};   // 414 to a huge path
  std::atomic<long> failed{0};     // pages whose answer did not come
  std::atomic<long> cut{0};        // huge paths whose answer was lost in the reset
};

// The hostile load on 127.0.0.1:port until `stop`: one thread for the pages
// and the stalled clients (one poll loop), one for the huge paths.
class Abuse {
 public:
  Abuse(const Options& o, int port, Tally* t) : o_(o), port_(port), t_(t) {}
  void start() {
    threads_.emplace_back([this] { pages_and_stalls(); });
    threads_.emplace_back([this] { huge_paths(); });
  }
  void stop() {
    stop_ = true;
    for (std::thread& t : threads_) t.join();
  }

 private:
  struct Conn {
    int fd = -1;
    bool stall = false;
    std::string in;
    Clock::time_point next;
    bool waiting = false;  // a request is out
  };

  void open(Conn& c) {
    if (c.fd >= 0) close(c.fd);
    c.fd = http_probe::connect_to(port_, true);
    c.in.clear();
    c.waiting = false;
    if (c.stall && c.fd >= 0) {
      // Half a request, then nothing: the server answers 408 and closes.
      waitable(c.fd, POLLOUT, 1000);
      send(c.fd, "GET /api/sta", 12, MSG_NOSIGNAL);
      c.waiting = true;
    }
  }

  static bool waitable(int fd, short ev, int ms) {
    pollfd p{fd, ev, 0};
    return poll(&p, 1, ms) > 0;
  }

  // A whole answer in c.in: its status, or 0 while it is still coming.
  static int answer(Conn& c) {
    size_t head = c.in.find("\r\n\r\n");
    if (head == std::string::npos) return 0;
    size_t cl = c.in.find("Content-Length: ");
    size_t len =
        cl != std::string::npos && cl < head ? strtoul(c.in.c_str() + cl + 16, nullptr, 10) : 0;
    if (c.in.size() < head + 4 + len) return 0;
    int status = atoi(c.in.c_str() + 9);
    c.in.erase(0, head + 4 + len);
    return status;
  }

  void pages_and_stalls() {
    std::vector<Conn> conns(static_cast<size_t>(o_.connections + o_.stalled));
    auto t0 = Clock::now();
    for (size_t i = 0; i < conns.size(); ++i) {
      conns[i].stall = i >= static_cast<size_t>(o_.connections);
      // Pages spread their once-a-second polls over the second.
      conns[i].next = t0 + std::chrono::milliseconds(1000 * i / std::max(1, o_.connections));
      open(conns[i]);
    }
    const std::string get = "GET /api/status HTTP/1.1\r\nHost: bench\r\n\r\n";
    std::vector<pollfd> fds(conns.size());
    while (!stop_) {
      auto now = Clock::now();
      for (Conn& c : conns) {
        if (c.fd < 0) open(c);
        if (!c.stall && !c.waiting && now >= c.next && c.fd >= 0) {
          if (send(c.fd, get.data(), get.size(), MSG_NOSIGNAL) ==
              static_cast<ssize_t>(get.size())) {
            c.waiting = true;
          } else {
            t_->failed += 1;
            open(c);
          }
          c.next += std::chrono::seconds(1);
        }
      }
      for (size_t i = 0; i < conns.size(); ++i) fds[i] = {conns[i].fd, POLLIN, 0};
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      for (size_t i = 0; i < conns.size(); ++i) {
        Conn& c = conns[i];
        if (fds[i].revents == 0 || c.fd < 0) continue;
        char buf[65536];
        ssize_t n = recv(c.fd, buf, sizeof(buf), MSG_DONTWAIT);
        if (n > 0) {
          c.in.append(buf, static_cast<size_t>(n));
          for (int st; (st = answer(c)) != 0;) {
            c.waiting = false;
            if (st == 200)
              t_->answered += 1;
            else if (st == 408)
              t_->timed_out += 1;
            else
              t_->failed += 1;
          }
          continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // Closed: expected for a stalled client once answered, and for a
        // page after its keep-alive requests; anything else is a failure.
        if (c.waiting && !c.stall) t_->failed += 1;
        open(c);
      }
    }
    for (Conn& c : conns)
      if (c.fd >= 0) close(c.fd);
  }

  void huge_paths() {
    const std::string huge = "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n";
    while (!stop_) {
      int s = http_probe::connect_to(port_, true);
      if (s >= 0 && waitable(s, POLLOUT, 1000)) {
        fcntl(s, F_SETFL, 0);
        timeval tv{2, 0};
        setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
        send(s, huge.data(), huge.size(), MSG_NOSIGNAL);
        char buf[256];
        ssize_t n = recv(s, buf, sizeof(buf) - 1, 0);
        if (n > 12 && strncmp(buf, "HTTP/1.1 414", 12) == 0)
          t_->too_long += 1;
        else
          t_->cut += 1;
      }
      if (s >= 0) close(s);
      std::this_thread::sleep_for(std::chrono::milliseconds(o_.huge_every_ms));
    }
  }

  const Options& o_;
  const int port_;
  Tally* t_;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

// Whether hesk-demo has an option (read from its --help).
bool demo_knows(const char* option) {
  std::string cmd = std::string(HESK_DEMO_TOOL) + " --help";
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return false;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) text.append(buf, n);
  pclose(p);
  return text.find(option) != std::string::npos;
}

// One demo run; its events/s, or a negative number when it failed.
double run_demo(const Options& o, int serve_port, Tally* abuse_tally) {
  std::vector<std::string> args{HESK_DEMO_TOOL, "--seconds", std::to_string(o.seconds), "--quiet"};
  // The buffer manager's own rate: a demo that also records its run does not.
  static const bool can_skip_recording = demo_knows("--no-record");
  if (can_skip_recording) args.push_back("--no-record");
  if (serve_port > 0) {
    args.push_back("--serve");
    args.push_back(std::to_string(serve_port));
  }
  int out[2];
  if (pipe(out) != 0) return -1;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  std::unique_ptr<Abuse> abuse;
  char buf[4096];
  for (;;) {
    ssize_t n = read(out[0], buf, sizeof(buf));
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    if (abuse_tally && !abuse && text.find("live view: http://") != std::string::npos) {
      abuse.reset(new Abuse(o, serve_port, abuse_tally));
      abuse->start();
    }
  }
  close(out[0]);
  if (abuse) abuse->stop();
  int st = 0;
  waitpid(pid, &st, 0);
  std::smatch m;
  if (!WIFEXITED(st) || WEXITSTATUS(st) != 0 ||
      !std::regex_search(text, m, std::regex("throughput +([0-9.]+) events/s"))) {
    fprintf(stderr, "%s: a demo run failed:\n%s\n", kTool, text.c_str());
    return -1;
  }
  return std::stod(m[1]);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  static const struct option options[] = {{"seconds", required_argument, nullptr, 's'},
                                          {"rounds", required_argument, nullptr, 'r'},
                                          {"connections", required_argument, nullptr, 'c'},
                                          {"stalled", required_argument, nullptr, 't'},
                                          {"load-only", required_argument, nullptr, 'l'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  Options o;
  int c, load_port = 0;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    switch (c) {
      case 's':
        if (!hesk_cli::parse_int(optarg, 2, 3600, &o.seconds))
          return hesk_cli::range_error(kTool, "--seconds", 2, 3600, optarg);
        break;
      case 'r':
        if (!hesk_cli::parse_int(optarg, 1, 20, &o.rounds))
          return hesk_cli::range_error(kTool, "--rounds", 1, 20, optarg);
        break;
      case 'c':
        if (!hesk_cli::parse_int(optarg, 0, 900, &o.connections))
          return hesk_cli::range_error(kTool, "--connections", 0, 900, optarg);
        break;
      case 't':
        if (!hesk_cli::parse_int(optarg, 0, 100, &o.stalled))
          return hesk_cli::range_error(kTool, "--stalled", 0, 100, optarg);
        break;
      case 'l':
        if (!hesk_cli::parse_int(optarg, 1, 65535, &load_port))
          return hesk_cli::range_error(kTool, "--load-only", 1, 65535, optarg);
        break;
      case 'h':
        printf(
            "usage: %s [--seconds S] [--rounds N] [--connections N] [--stalled N]\n"
            "       [--load-only PORT]\n"
            "\n"
            "The demo's events/s without the live view (the floor), with it and no\n"
            "client, and with it under a hostile load: --connections pages polling\n"
            "/api/status once a second (default 200), --stalled clients that send half a\n"
            "request and wait (default 20), a request for a 1 MiB path every 100 ms.\n"
            "Runs of --seconds (default 15) alternate, --rounds times (default 2); the\n"
            "medians are shown. --load-only PORT puts the hostile load alone on a live\n"
            "view already listening on PORT, for --seconds.\n",
            kTool);
        return 0;
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  signal(SIGPIPE, SIG_IGN);
  if (load_port > 0) {
    // The hostile load alone, for --seconds, on a live view already running.
    Tally t;
    Abuse abuse(o, load_port, &t);
    abuse.start();
    std::this_thread::sleep_for(std::chrono::seconds(o.seconds));
    abuse.stop();
    printf("%ld answers, %ld cut off with 408, %ld refused with 414 (%ld reset), %ld failures\n",
           t.answered.load(), t.timed_out.load(), t.too_long.load(), t.cut.load(), t.failed.load());
    return 0;
  }
  std::vector<double> floor, quiet, abused;
  Tally tally;
  for (int r = 0; r < o.rounds; ++r) {
    fprintf(stderr, "%s: round %d of %d (3 runs of %d s)\n", kTool, r + 1, o.rounds, o.seconds);
    double a = run_demo(o, 0, nullptr);
    double b = run_demo(o, http_probe::free_port(), nullptr);
    double d = run_demo(o, http_probe::free_port(), &tally);
    if (a < 0 || b < 0 || d < 0) return 1;
    fprintf(stderr, "%s:   %.0f without, %.0f with the live view, %.0f under the load\n", kTool, a,
            b, d);
    floor.push_back(a);
    quiet.push_back(b);
    abused.push_back(d);
  }
  const double f = median(floor);
  auto row = [&](const char* what, double v, bool is_floor) {
    if (is_floor)
      printf("%-44s %10.0f   (floor)\n", what, v);
    else
      printf("%-44s %10.0f   %+.1f %%\n", what, v, 100.0 * (v - f) / f);
  };
  printf(
      "hesk-demo as fast as it goes (3 writers, 3 readers, 4096-byte blocks), %d s runs, "
      "median of %d\n",
      o.seconds, o.rounds);
  printf("%-44s %10s   %s\n", "run", "events/s", "vs. floor");
  row("without the live view", f, true);
  row("live view, no client", median(quiet), false);
  row("live view under the hostile load", median(abused), false);
  printf(
      "hostile load: %d pages polling once a second (%ld answers, %ld missing), %d stalled "
      "half requests (%ld cut off with 408), 1 MiB paths every %d ms (%ld refused with 414, %ld "
      "reset before the answer was read)\n",
      o.connections, tally.answered.load(), tally.failed.load(), o.stalled, tally.timed_out.load(),
      o.huge_every_ms, tally.too_long.load(), tally.cut.load());
  return 0;
}
