// One UDP/IPv4 socket, owned: closed when the owner goes or is reset.
// Created close-on-exec, so programs the host spawns never hold a manager's
// socket. Move-only.
#ifndef HESK_MANAGER_UDP_SOCKET_H
#define HESK_MANAGER_UDP_SOCKET_H

#include <netinet/in.h>

namespace hesk_mgr {

class UdpSocket {
 public:
  UdpSocket() = default;
  ~UdpSocket() { close(); }
  UdpSocket(UdpSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  // An unbound socket for sending; invalid (reported with perror) on failure.
  static UdpSocket open();
  // Opens, enables address re-use and binds to `addr`, port 0 (the kernel
  // picks one). On failure prints perror and the manager's message for the
  // failing step and returns an invalid socket.
  static UdpSocket open_bound(const in_addr& addr);

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The bound port in host order, -1 when it cannot be read.
  int port() const;
  void close();

 private:
  explicit UdpSocket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_UDP_SOCKET_H
