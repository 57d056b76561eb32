// hesk-status --serve: the live view of one buffer manager over HTTP.
//
//   GET /            a page for people (its script and style from /page.js
//                    and /page.css): partitions, clients, event slots and
//                    rate charts, updated every second
//   GET /api/status  the state as JSON (?history=1 adds the rates of the
//                    last ten minutes)
//   GET /metrics     the state in the Prometheus text format
//
// One thread reads the manager once per interval, read-only, and renders
// every answer; requests only copy what it rendered last, so many clients
// cost the manager nothing more.
#ifndef HESK_STATUS_SERVE_SERVE_H
#define HESK_STATUS_SERVE_SERVE_H

#include <string>

namespace live {

struct ServeOptions {
  std::string host = "127.0.0.1";
  int port = 0;
  std::string client_partition, event_partition;  // empty: the manager of the host
  int layout = 0;                                 // 2024 to force the 2024 layout
  double interval = 1.0;                          // seconds between snapshots
};

// Parses "[ADDR:]PORT" ("9464", "0.0.0.0:9464", "[::1]:9464"); false when
// it is not one.
bool parse_listen_address(const std::string& text, std::string* host, int* port);

// Serves until SIGINT, SIGTERM or SIGHUP; the exit status (0 stopped, 3 the
// address cannot be listened on).
int serve(const ServeOptions& options);

}  // namespace live

#endif  // HESK_STATUS_SERVE_SERVE_H
