// Owned UDP sockets of the manager: the reader's bound socket and the
// sending socket of a process without one.
#include "udp_socket.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hesk_mgr {

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

UdpSocket UdpSocket::open() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) perror("socket");
  return UdpSocket(fd);
}

UdpSocket UdpSocket::open_bound(const in_addr& addr) {
  UdpSocket s = open();
  if (!s.valid()) {
    printf("Failed to create socket\n");
    return s;
  }
  int one = 1;
  if (setsockopt(s.fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one)) != 0) {
    perror("setsockopt");
    s.close();
    printf("Failed to set socket option\n");
    return s;
  }
  sockaddr_in me;
  memset(&me, 0, sizeof(me));
  me.sin_family = AF_INET;
  me.sin_addr = addr;
  me.sin_port = 0;
  if (bind(s.fd_, reinterpret_cast<sockaddr*>(&me), sizeof(me)) != 0) {
    perror("bind");
    s.close();
    printf("Failed to bind\n");
    return s;
  }
  if (s.port() < 0) {
    perror("getsockname");
    s.close();
    printf("Failed to getsockname\n");
  }
  return s;
}

int UdpSocket::port() const {
  sockaddr_in me;
  socklen_t len = sizeof(me);
  if (fd_ < 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&me), &len) != 0) return -1;
  return ntohs(me.sin_port);
}

void UdpSocket::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace hesk_mgr
