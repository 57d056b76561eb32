// Plain-socket HTTP for the live view's tests: requests written byte for
// byte (also the broken ones a hostile client sends), answers read until the
// server closes, every wait bounded.
#ifndef HESK_TESTS_HTTP_PROBE_H
#define HESK_TESTS_HTTP_PROBE_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <string>

namespace http_probe {

// A port nobody listens on now (the kernel's choice of a free one).
inline int free_port() {
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  int port = -1;
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
      getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  close(s);
  return port;
}

// A connected socket to 127.0.0.1:port, or -1. With `nonblocking` the
// connection may still be under way (poll for POLLOUT).
inline int connect_to(int port, bool nonblocking = false) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonblocking ? SOCK_NONBLOCK : 0), 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 &&
      !(nonblocking && errno == EINPROGRESS)) {
    close(s);
    return -1;
  }
  return s;
}

// Sends what it can of `bytes` (a server may close early); false when the
// connection broke before anything was sent.
inline bool send_all(int s, const std::string& bytes) {
  size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = send(s, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n <= 0) return off > 0;
    off += static_cast<size_t>(n);
  }
  return true;
}

// Reads until the server closes or `seconds` pass; `closed` says which.
inline std::string read_to_close(int s, double seconds, bool* closed = nullptr) {
  std::string out;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  if (closed) *closed = false;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return out;
    pollfd p{s, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return out;
    char buf[65536];
    ssize_t n = recv(s, buf, sizeof(buf), 0);
    if (n <= 0) {
      if (closed) *closed = true;
      return out;
    }
    out.append(buf, static_cast<size_t>(n));
  }
}

// Sends raw bytes on a new connection and reads the answer to the close.
inline std::string exchange(int port, const std::string& bytes, double seconds = 15,
                            bool* closed = nullptr) {
  int s = connect_to(port);
  if (s < 0) return std::string();
  send_all(s, bytes);
  std::string out = read_to_close(s, seconds, closed);
  close(s);
  return out;
}

struct Answer {
  int status = -1;
  std::map<std::string, std::string> headers;  // names in lower case
  std::string body;
};

inline Answer parse(const std::string& raw) {
  Answer a;
  size_t head_end = raw.find("\r\n\r\n");
  if (raw.compare(0, 9, "HTTP/1.1 ") != 0 || head_end == std::string::npos) return a;
  a.status = atoi(raw.c_str() + 9);
  size_t line = raw.find("\r\n") + 2;
  while (line < head_end) {
    size_t eol = raw.find("\r\n", line);
    size_t colon = raw.find(':', line);
    if (colon != std::string::npos && colon < eol) {
      std::string name = raw.substr(line, colon - line);
      for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
      size_t v = raw.find_first_not_of(' ', colon + 1);
      a.headers[name] = raw.substr(v, eol - v);
    }
    line = eol + 2;
  }
  a.body = raw.substr(head_end + 4);
  return a;
}

// One request on a connection of its own, closed after the answer.
inline Answer request(int port, const std::string& method, const std::string& target,
                      double seconds = 15) {
  return parse(exchange(
      port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
      seconds));
}

inline Answer get(int port, const std::string& target) {
  return request(port, "GET", target);
}

}  // namespace http_probe

#endif  // HESK_TESTS_HTTP_PROBE_H
