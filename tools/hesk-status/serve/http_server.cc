// The guarded HTTP server (see http_server.h).
#include "http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <httplib.h>

namespace live {

namespace {

using Clock = std::chrono::steady_clock;

// Set by the routing of the request being answered on this worker: the
// connection is closed after the answer (an error, or a request whose body
// was never read).
thread_local bool t_close_after = false;

Clock::time_point after(double seconds) {
  return Clock::now() + std::chrono::microseconds(static_cast<long long>(seconds * 1e6));
}

int ms_until(Clock::time_point t) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - Clock::now()).count();
  return ms < 0 ? 0 : static_cast<int>(std::min<long long>(ms, 1 << 30));
}

// The server's stop, seen by every wait at once: a flag, and a descriptor
// that becomes readable (and stays so) when it is raised, so that waits
// sleep until their socket or the stop wakes them.
class StopSignal {
 public:
  StopSignal() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  ~StopSignal() {
    if (fd_ >= 0) close(fd_);
  }
  void raise() {
    flag_.store(true);
    uint64_t one = 1;
    if (fd_ >= 0 && write(fd_, &one, sizeof(one)) < 0) {
      // Already raised as far as the counter goes: it stays readable.
    }
  }
  bool raised() const { return flag_.load(); }
  int fd() const { return fd_; }

 private:
  std::atomic<bool> flag_{false};
  int fd_;
};

// A worker per connection, created as connections come, up to `max`; the
// workers stay for the next connections. Connections beyond `max` wait.
class ElasticPool : public httplib::TaskQueue {
 public:
  explicit ElasticPool(size_t max) : max_(max) {}
  ~ElasticPool() override { shutdown(); }

  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> lock(mx_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_.size() < max_) {
      try {
        threads_.emplace_back([this] { work(); });
      } catch (const std::system_error&) {
        // No thread to be had now: the job waits for one of the others.
      }
    }
    cv_.notify_one();
  }

  void shutdown() override {
    {
      std::lock_guard<std::mutex> lock(mx_);
      stop_ = true;
    }
    cv_.notify_all();
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
  }

 private:
  void work() {
    for (;;) {
      std::function<void()> fn;
      {
        std::unique_lock<std::mutex> lock(mx_);
        ++idle_;
        cv_.wait(lock, [&] { return stop_ || !jobs_.empty(); });
        --idle_;
        if (jobs_.empty()) return;  // stopping, nothing left
        fn = std::move(jobs_.front());
        jobs_.pop_front();
      }
      fn();
    }
  }

  const size_t max_;
  std::mutex mx_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  size_t idle_ = 0;
  bool stop_ = false;
};

// A connection's socket as httplib reads and writes it, within the limits
// of one request at a time.
class GuardedStream final : public httplib::Stream {
 public:
  GuardedStream(int fd, const ServerLimits& lim, const StopSignal& stop)
      : fd_(fd), lim_(lim), stop_(stop) {}

  // Waits for the next request: false when the client stayed quiet for the
  // idle time, went away, or the server stops.
  bool next_request() {
    if (failed_) return false;
    if (pos_ == len_) {
      auto end = after(lim_.idle_seconds);
      for (;;) {
        int r = wait(POLLIN, ms_until(end));
        if (r > 0) break;
        if (r < 0 || Clock::now() >= end) return false;
      }
    }
    budget_ = static_cast<size_t>(lim_.head_bytes);
    line_done_ = false;
    writing_ = false;
    head_deadline_ = after(lim_.head_seconds);
    return true;
  }
  bool failed() const { return failed_; }

  bool is_readable() const override { return pos_ < len_ || wait(POLLIN, 0) > 0; }
  bool is_writable() const override { return !failed_ && wait(POLLOUT, 0) > 0; }

  ssize_t read(char* ptr, size_t size) override {
    if (failed_) return -1;
    if (pos_ == len_) {
      int r = refill();
      if (r <= 0) return r;
    }
    if (budget_ == 0) {
      // The request line, or the head, goes on beyond the limit.
      if (line_done_)
        refuse(431, "Request Header Fields Too Large", "request header too large\n");
      else
        refuse(414, "URI Too Long", "request line too long\n");
      return -1;
    }
    size_t n = std::min({size, len_ - pos_, budget_});
    memcpy(ptr, buf_ + pos_, n);
    if (!line_done_ && memchr(buf_ + pos_, '\n', n) != nullptr) line_done_ = true;
    pos_ += n;
    budget_ -= n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (failed_) return -1;
    if (!writing_) {
      writing_ = true;
      write_deadline_ = after(lim_.write_seconds);
    }
    for (;;) {
      if (Clock::now() >= write_deadline_) {
        failed_ = true;
        return -1;
      }
      int r = wait(POLLOUT, ms_until(write_deadline_));
      if (r < 0) {
        failed_ = true;
        return -1;
      }
      if (r == 0) continue;
      ssize_t n = send(fd_, ptr, size, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n < 0) failed_ = true;
      return n;
    }
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    address(getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    address(getsockname, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  // Waits for the socket: >0 ready, 0 not within ms, <0 error, hang-up
  // without data, or the server stops.
  int wait(short events, int ms) const {
    pollfd p[2] = {{fd_, events, 0}, {stop_.fd(), POLLIN, 0}};
    if (stop_.raised()) return -1;
    int r;
    do {
      r = poll(p, 2, ms);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return r;
    if (p[1].revents != 0) return -1;
    if ((p[0].revents & events) != 0) return 1;
    return -1;
  }

  // Reads what the client sent: >0 bytes buffered, 0 end of input, -1
  // failure (answered when the client was too slow).
  int refill() {
    for (;;) {
      if (Clock::now() >= head_deadline_) {
        refuse(408, "Request Timeout", "request not received in time\n");
        return -1;
      }
      int r = wait(POLLIN, ms_until(head_deadline_));
      if (r < 0) {
        failed_ = true;
        return -1;
      }
      if (r == 0) continue;
      ssize_t n = recv(fd_, buf_, sizeof(buf_), MSG_DONTWAIT);
      if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (n <= 0) {
        failed_ = true;
        return n == 0 ? 0 : -1;
      }
      pos_ = 0;
      len_ = static_cast<size_t>(n);
      return 1;
    }
  }

  // Answers a request that cannot be read, then the connection is closed.
  void refuse(int status, const char* reason, const char* text) {
    std::string msg = "HTTP/1.1 " + std::to_string(status) + " " + reason +
                      "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                      std::to_string(strlen(text)) + "\r\nConnection: close\r\n\r\n" + text;
    writing_ = true;
    write_deadline_ = after(1.0);
    for (size_t off = 0; off < msg.size();) {
      ssize_t n = write(msg.data() + off, msg.size() - off);
      if (n <= 0) break;
      off += static_cast<size_t>(n);
    }
    failed_ = true;
  }

  void address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage a;
    socklen_t len = sizeof(a);
    ip.clear();
    port = 0;
    if (get(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (a.ss_family == AF_INET) {
      auto* in = reinterpret_cast<sockaddr_in*>(&a);
      inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
      port = ntohs(in->sin_port);
    } else if (a.ss_family == AF_INET6) {
      auto* in6 = reinterpret_cast<sockaddr_in6*>(&a);
      inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
      port = ntohs(in6->sin6_port);
    }
    ip = text;
  }

  const int fd_;
  const ServerLimits& lim_;
  const StopSignal& stop_;
  char buf_[4096];
  size_t pos_ = 0, len_ = 0;
  size_t budget_ = 0;       // bytes the current request's head may still take
  bool line_done_ = false;  // its request line is complete
  bool writing_ = false;
  bool failed_ = false;
  Clock::time_point head_deadline_, write_deadline_;
};

// Closes a connection so that an answer written just before reaches the
// client: no more writing, what the client still sends is read and dropped
// for a moment (a close with unread input would reset the connection).
void close_gently(int fd) {
  shutdown(fd, SHUT_WR);
  char sink[4096];
  size_t drained = 0;
  auto end = after(0.2);
  while (drained < 65536 && Clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, ms_until(end)) <= 0) break;
    ssize_t n = recv(fd, sink, sizeof(sink), MSG_DONTWAIT);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
  close(fd);
}

class GuardedServer : public httplib::Server {
 public:
  GuardedServer(const ServerLimits& lim, const StopSignal& stop) : lim_(lim), stop_(stop) {}

  // The library listens with a backlog of 5: connections that come all at
  // once would wait for retransmissions of their handshake. A listening
  // socket takes a new backlog by listening again.
  void widen_backlog() {
    socket_t s = svr_sock_;
    if (s != INVALID_SOCKET) ::listen(s, SOMAXCONN);
  }

 private:
  bool process_and_close_socket(socket_t sock) override {
    GuardedStream strm(sock, lim_, stop_);
    bool ok = true;
    for (int n = 0; n < lim_.keep_alive_requests; ++n) {
      if (!strm.next_request()) break;
      t_close_after = false;
      bool closed = false;
      const bool last = n + 1 == lim_.keep_alive_requests || stop_.raised();
      ok = process_request(strm, last, closed, [](httplib::Request&) {});
      if (!ok || closed || last || t_close_after || strm.failed()) break;
    }
    close_gently(sock);
    return ok;
  }

  const ServerLimits& lim_;
  const StopSignal& stop_;
};

}  // namespace

class LiveServer::Impl {
 public:
  Impl(std::map<std::string, Resource> resources, ServerLimits limits)
      : resources_(std::move(resources)), limits_(limits), server_(limits_, stop_) {
    const size_t workers = static_cast<size_t>(std::max(1, limits_.workers));
    server_.new_task_queue = [workers] { return new ElasticPool(workers); };
    server_.set_payload_max_length(4096);
    // What the answers announce about keep-alive, as the connection loop does it.
    server_.set_keep_alive_max_count(static_cast<size_t>(std::max(1, limits_.keep_alive_requests)));
    server_.set_keep_alive_timeout(static_cast<time_t>(std::max(1.0, limits_.idle_seconds)));
    server_.set_pre_routing_handler(
        [this](const httplib::Request& req, httplib::Response& res) { return route(req, res); });
  }

  httplib::Server::HandlerResponse route(const httplib::Request& req, httplib::Response& res) {
    res.set_header("X-Content-Type-Options", "nosniff");
    auto it = resources_.find(req.path);
    const bool read = req.method == "GET" || req.method == "HEAD";
    if (it == resources_.end()) {
      res.status = 404;
      res.set_content("not found\n", "text/plain; charset=utf-8");
      t_close_after = !read;
      return httplib::Server::HandlerResponse::Handled;
    }
    if (!read) {
      res.status = 405;
      res.set_header("Allow", "GET, HEAD");
      res.set_content("method not allowed: use GET or HEAD\n", "text/plain; charset=utf-8");
      t_close_after = true;
      return httplib::Server::HandlerResponse::Handled;
    }
    std::string query;
    for (const auto& p : req.params) query += p.first + "=" + p.second + "&";
    std::shared_ptr<const std::string> body = it->second.body(query);
    res.status = 200;
    res.set_header("Cache-Control", it->second.cache_control);
    res.set_header("Content-Security-Policy",
                   "default-src 'self'; img-src 'self' data:; base-uri 'none'; form-action 'none'");
    res.set_content_provider(body->size(), it->second.content_type,
                             [body](size_t offset, size_t length, httplib::DataSink& sink) {
                               if (offset < body->size())
                                 sink.write(body->data() + offset,
                                            std::min(length, body->size() - offset));
                               return true;
                             });
    return httplib::Server::HandlerResponse::Handled;
  }

  std::map<std::string, Resource> resources_;
  ServerLimits limits_;
  StopSignal stop_;
  GuardedServer server_;
};

LiveServer::LiveServer(std::map<std::string, Resource> resources, ServerLimits limits)
    : impl_(new Impl(std::move(resources), limits)) {}

LiveServer::~LiveServer() {
  stop();
}

bool LiveServer::bind(const std::string& host, int port, std::string* error) {
  errno = 0;
  if (port == 0) {
    port_ = impl_->server_.bind_to_any_port(host);
  } else {
    port_ = impl_->server_.bind_to_port(host, port) ? port : -1;
  }
  if (port_ > 0) {
    impl_->server_.widen_backlog();
    return true;
  }
  *error = errno != 0 ? strerror(errno) : "the address cannot be used";
  return false;
}

bool LiveServer::run() {
  impl_->server_.listen_after_bind();
  return impl_->stop_.raised();
}

void LiveServer::stop() {
  impl_->stop_.raise();
  impl_->server_.stop();
}

}  // namespace live
