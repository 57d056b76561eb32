// The live view's HTTP server: cpp-httplib's request parsing and response
// writing, with connections handled by a guarded loop of this file, so that
// no client, however slow, stalled or hostile, holds the server (or the
// other clients) for long or makes it allocate without bound:
//
// - each connection has a worker of its own from a pool that grows with the
//   connections up to `workers`; beyond that, connections wait in line;
// - a request's head (request line and headers) must arrive whole within
//   `head_bytes` bytes (414 for a longer request line, 431 otherwise) and
//   `head_seconds` seconds from its first byte (408), whatever the pace;
// - an idle keep-alive connection is closed after `idle_seconds`, a
//   connection after `keep_alive_requests` requests, and a response that
//   the client does not take within `write_seconds` is abandoned;
// - GET and HEAD of the known paths are answered from bodies prepared
//   beforehand (no work per request beyond copying bytes); other methods on
//   them get 405, any other path 404; nothing else is routed.
#ifndef HESK_STATUS_SERVE_HTTP_SERVER_H
#define HESK_STATUS_SERVE_HTTP_SERVER_H

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace live {

struct ServerLimits {
  int workers = 256;
  int head_bytes = 16384;
  double head_seconds = 5;
  double idle_seconds = 2;
  double write_seconds = 10;
  int keep_alive_requests = 100;
};

// What a known path answers: its content type and, per request, its body
// (shared, never copied); `query` is the raw query string.
struct Resource {
  std::string content_type;
  std::string cache_control = "no-store";
  std::function<std::shared_ptr<const std::string>(const std::string& query)> body;
};

class LiveServer {
 public:
  LiveServer(std::map<std::string, Resource> resources, ServerLimits limits = ServerLimits());
  ~LiveServer();
  LiveServer(const LiveServer&) = delete;
  LiveServer& operator=(const LiveServer&) = delete;

  // Binds host:port (port 0: any free port); false with the reason.
  bool bind(const std::string& host, int port, std::string* error);
  int port() const { return port_; }
  // Serves until stop(); true when stopped by stop().
  bool run();
  void stop();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
  int port_ = -1;
};

}  // namespace live

#endif  // HESK_STATUS_SERVE_HTTP_SERVER_H
