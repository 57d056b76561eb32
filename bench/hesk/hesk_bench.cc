// hesk-bench: events/s and writer-to-callback latency of the buffer manager
// for 1 writer x 1 reader and 4 writers x 2 readers with 1 KB and 64 KB
// server blocks, each beside the floors measured in the same run: a bare
// loopback UDP send+receive and a bare semop lock+unlock pair. The figure
// of merit is the time per event against the system calls the design needs
// for it (one datagram per reader and the slot locks).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Microseconds per bare semop lock+unlock pair with undo.
double semop_pair_us(int rounds) {
  int id = semget(IPC_PRIVATE, 1, IPC_CREAT | 0600);
  if (id < 0) return 0;
  semctl(id, 0, SETVAL, 1);
  sembuf down{0, -1, SEM_UNDO}, up{0, 1, SEM_UNDO};
  auto t0 = Clock::now();
  for (int i = 0; i < rounds; ++i) {
    semop(id, &down, 1);
    semop(id, &up, 1);
  }
  double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / rounds;
  semctl(id, 0, IPC_RMID);
  return us;
}

// Lock pairs the manager takes per event: per block the event lock 0 (find
// the slot), the slot lock (store) and the slot lock of cl_notify, plus the
// buffer take and return; per client the client lock 0 of the set-up scan;
// per reader the slot lock (accept), the slot and client-slot locks of the
// status update and the slot lock of cl_notify; one event lock 0 to free.
int lock_pairs(int writers, int readers) {
  return writers * 5 + (writers + readers) + readers * 4 + 1;
}

}  // namespace

int main(int argc, char** argv) {
  long events = argc > 1 ? atol(argv[1]) : 3000;
  struct Case {
    int writers, readers, block;
  };
  const Case cases[] = {{1, 1, 1024}, {1, 1, 65536}, {4, 2, 1024}, {4, 2, 65536}};
  printf("%-14s %8s %10s %10s %10s %10s %10s %10s %7s\n", "case", "events/s", "us/event", "p50 us",
         "p99 us", "udp us", "semop us", "floor us", "ratio");
  int failures = 0;
  for (const Case& c : cases) {
    double udp = udp_round_us(20000), sem = semop_pair_us(20000);
    DemoConfig cfg;
    cfg.writers = c.writers;
    cfg.whole_readers = c.readers;
    cfg.listing_readers = 0;
    cfg.events = events;
    cfg.block_size = c.block;
    cfg.progress = false;
    DemoResult r = run_demo(cfg);
    if (!r.ok) {
      ++failures;
      fprintf(stderr, "hesk-bench: run %dx%d %d B failed: %s\n", c.writers, c.readers, c.block,
              r.error.c_str());
    }
    double per_event = r.events_per_s > 0 ? 1e6 / r.events_per_s : 0;
    double floor = c.readers * udp + lock_pairs(c.writers, c.readers) * sem;
    std::string name = std::to_string(c.writers) + "x" + std::to_string(c.readers) + " " +
                       (c.block >= 1024 ? std::to_string(c.block / 1024) + "KB" : "");
    printf("%-14s %8.0f %10.1f %10.0f %10.0f %10.2f %10.2f %10.1f %7.2f\n", name.c_str(),
           r.events_per_s, per_event, r.p50_us, r.p99_us, udp, sem, floor,
           floor > 0 ? per_event / floor : 0.0);
    fflush(stdout);
  }
  return failures ? 1 : 0;
}
