// The live view's threads: the sampler, the HTTP server, and the main
// thread waiting for the signal that ends them.
#include "serve.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "history.h"
#include "http_server.h"
#include "manager_reader.h"
#include "page_assets.h"
#include "render.h"

namespace live {

namespace {

// Ten minutes of readings at the default interval.
constexpr size_t kHistoryReadings = 601;

struct Rendered {
  std::shared_ptr<const std::string> status, status_history, metrics;
};

// Reads the manager once per interval and renders every answer from that
// reading; answers are taken from the latest rendering.
class Sampler {
 public:
  Sampler(const ServeOptions& o)
      : reader_(o.client_partition, o.event_partition, o.layout),
        history_(kHistoryReadings),
        interval_(o.interval) {}

  void take() {
    Snapshot s = reader_.read();
    history_.add(s);
    auto r = std::make_shared<Rendered>();
    r->status = std::make_shared<const std::string>(status_json(s, history_, interval_, false));
    r->status_history =
        std::make_shared<const std::string>(status_json(s, history_, interval_, true));
    r->metrics = std::make_shared<const std::string>(metrics_text(s));
    std::lock_guard<std::mutex> lock(mx_);
    current_ = r;
  }

  std::shared_ptr<const Rendered> current() const {
    std::lock_guard<std::mutex> lock(mx_);
    return current_;
  }

  void run() {
    auto next = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(stop_mx_);
    while (!stop_) {
      next += std::chrono::microseconds(static_cast<long long>(interval_ * 1e6));
      if (stop_cv_.wait_until(lock, next, [&] { return stop_; })) break;
      lock.unlock();
      take();
      lock.lock();
      // A reading that took longer than the interval is not caught up on.
      next = std::max(next, std::chrono::steady_clock::now());
    }
  }

  void stop() {
    std::lock_guard<std::mutex> lock(stop_mx_);
    stop_ = true;
    stop_cv_.notify_all();
  }

 private:
  ManagerReader reader_;
  History history_;
  const double interval_;
  mutable std::mutex mx_;
  std::shared_ptr<const Rendered> current_;
  std::mutex stop_mx_;
  std::condition_variable stop_cv_;
  bool stop_ = false;
};

std::shared_ptr<const std::string> fixed(const char* text) {
  return std::make_shared<const std::string>(text);
}

std::string url_host(const std::string& host) {
  return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

}  // namespace

bool parse_listen_address(const std::string& text, std::string* host, int* port) {
  std::string h = "127.0.0.1", p = text;
  if (!text.empty() && text[0] == '[') {
    size_t close = text.find("]:");
    if (close == std::string::npos || close == 1) return false;
    h = text.substr(1, close - 1);
    p = text.substr(close + 2);
  } else if (size_t colon = text.rfind(':'); colon != std::string::npos) {
    h = text.substr(0, colon);
    p = text.substr(colon + 1);
    if (h.empty() || h.find(':') != std::string::npos) return false;
  }
  if (p.empty() || p.size() > 5 || p.find_first_not_of("0123456789") != std::string::npos)
    return false;
  long n = strtol(p.c_str(), nullptr, 10);
  if (n > 65535) return false;
  *host = h;
  *port = static_cast<int>(n);
  return true;
}

int serve(const ServeOptions& o) {
  // The signals that end the server are taken by this thread alone.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);

  Sampler sampler(o);
  sampler.take();
  auto page = fixed(kPageHtml), css = fixed(kPageCss), js = fixed(kPageJs);
  std::map<std::string, Resource> resources;
  resources["/"] = {"text/html; charset=utf-8", "no-cache",
                    [page](const std::string&) { return page; }};
  resources["/page.css"] = {"text/css; charset=utf-8", "no-cache",
                            [css](const std::string&) { return css; }};
  resources["/page.js"] = {"text/javascript; charset=utf-8", "no-cache",
                           [js](const std::string&) { return js; }};
  resources["/api/status"] = {
      "application/json", "no-store", [&sampler](const std::string& query) {
        auto r = sampler.current();
        return query.find("history=") != std::string::npos ? r->status_history : r->status;
      }};
  resources["/metrics"] = {"text/plain; version=0.0.4; charset=utf-8", "no-store",
                           [&sampler](const std::string&) { return sampler.current()->metrics; }};
  LiveServer server(std::move(resources));
  std::string error;
  if (!server.bind(o.host, o.port, &error)) {
    fprintf(stderr, "hesk-status: cannot listen on %s:%d: %s\n", o.host.c_str(), o.port,
            error.c_str());
    return 3;
  }
  printf("hesk-status: live view on http://%s:%d/ (JSON at /api/status, Prometheus at /metrics)\n",
         url_host(o.host).c_str(), server.port());
  fflush(stdout);

  std::atomic<bool> server_failed{false};
  std::thread sampling([&] { sampler.run(); });
  std::thread serving([&] {
    if (!server.run()) {
      server_failed = true;
      kill(getpid(), SIGTERM);  // wakes the main thread
    }
  });
  int sig = 0;
  sigwait(&stop_signals, &sig);
  server.stop();
  sampler.stop();
  serving.join();
  sampling.join();
  if (server_failed) {
    fprintf(stderr, "hesk-status: the server stopped accepting connections\n");
    return 3;
  }
  return 0;
}

}  // namespace live
