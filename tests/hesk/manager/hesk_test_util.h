// Helpers for buffer-manager tests on real System V partitions: a fixture
// that gives every test its own control-partition names (through the
// environment variables the manager reads) and removes every partition the
// test made, server blocks in data partitions, and bounded waits.
#ifndef HESK_TESTS_HESK_TEST_UTIL_H
#define HESK_TESTS_HESK_TEST_UTIL_H

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "Hesk.h"
#include "shm_test_util.h"

namespace hesk_test {

// Waits up to `ms` milliseconds for `done` to hold.
inline bool wait_for(const std::function<bool()>& done, int ms = 5000) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return done();
}

// Sends `len` bytes as one datagram to `port` on the loopback address.
inline void send_datagram(int port, const void* data, size_t len) {
  int s = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in to;
  memset(&to, 0, sizeof(to));
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  to.sin_port = htons(static_cast<uint16_t>(port));
  sendto(s, data, len, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  close(s);
}

// The bad-datagram count, read as the reader threads change it.
inline int bad_datagrams() {
  return __atomic_load_n(&hesk_bad_format_events, __ATOMIC_RELAXED);
}

// Status of event slot s's control record; the records are read and written
// as atomic words, without a lock.
inline int record_status(Hesk& h, int s) {
  const int32_t* st = h.evid64bitmode ? &h.evtctrl2024[s - 1].status : &h.evtctrl[s - 1].status;
  return __atomic_load_n(st, __ATOMIC_RELAXED);
}

// A client block's status; readers change their own without the slot's
// lock, so it is read atomically.
inline int client_status(const kova_client_block& b) {
  return __atomic_load_n(&b.status, __ATOMIC_SEQ_CST);
}

// Runs fn holding event slot s's own lock, as the manager's threads change
// the slot under it.
template <typename Fn>
auto under_slot_lock(Hesk& h, int s, Fn fn) -> decltype(fn()) {
  while (!h.ev_buf->ctrl(s, true)) {
  }
  auto r = fn();
  h.ev_buf->ctrl(s, false);
  return r;
}

class HeskTest : public testing::Test {
 protected:
  void SetUp() override {
    shm_test::remove_stale_partitions();
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string tag = std::string(info->name()).substr(0, 40);
    cl_name_ = shm_test::unique_name(tag + ".cl");
    ev_name_ = shm_test::unique_name(tag + ".ev");
    data_name_ = shm_test::unique_name(tag + ".data");
    guard_.add(cl_name_);
    guard_.add(ev_name_);
    guard_.add(ev_name_ + ".stats");
    guard_.add(data_name_);
    guard_.add(data_name_ + "2");
    setenv("KOVA_CLI_SHM_NAME", cl_name_.c_str(), 1);
    setenv("KOVA_EV_SHM_NAME", ev_name_.c_str(), 1);
  }
  void TearDown() override {
    guard_.clear();
    unsetenv("KOVA_CLI_SHM_NAME");
    unsetenv("KOVA_EV_SHM_NAME");
  }

  std::string cl_name_, ev_name_, data_name_;
  shm_test::PartitionGuard guard_;

 public:
  // Small partitions so that tests stay light.
  static void small(Hesk& h, int ncli = 2, int nsbl = 4, int rate = 1) {
    h.set_nclients(ncli);
    h.set_nblocks(nsbl);
    h.set_rate(rate);
  }

  // A started master with short monitor passes.
  static void start_master(Hesk& h, bool b64 = false, int ncli = 2, int nsbl = 4) {
    small(h, ncli, nsbl);
    h.set_evid_64bit_mode(b64);
    ASSERT_FALSE(h.set_master(true));
    ASSERT_FALSE(h.init());
  }

  // Takes a buffer of the writer's data partition and writes a server block
  // head into it; returns the buffer number.
  static int put_block(Hesk& w, int id, const char* server, time_stamp t, int mpulse,
                       bool b2024 = false, int nchan = 0) {
    int pid_ = id, bnum = -1;
    char* p = w.get_buffer_from_pool(4, 512, &pid_, &bnum);
    if (p == nullptr) return -1;
    if (b2024) {
      kova_serv_block_head_2024 h;
      memset(&h, 0, sizeof(h));
      h.pattern = KOVA_SB_PATTERN_2024;
      h.time = t;
      h.ltotal = sizeof(h);
      h.mpulse = mpulse;
      strncpy(h.server, server, 255);
      h.tmask = 1;
      h.nchan = nchan;
      memcpy(p, &h, sizeof(h));
    } else {
      kova_serv_block_head_2010 h;
      memset(&h, 0, sizeof(h));
      h.time = t;
      h.ltotal = sizeof(h);
      h.mpulse = mpulse;
      strncpy(h.server, server, 255);
      h.tmask = 1;
      h.nchan = nchan;
      memcpy(p, &h, sizeof(h));
    }
    return bnum;
  }

  static int free_buffers(Hesk& h, int id) {
    C_shm_buffer* b = h.find_by_id(id);
    return b ? atoi(b->getStat("freebuf").c_str()) : -1;
  }

  static std::list<std::string> names(std::initializer_list<const char*> l) {
    std::list<std::string> out;
    for (const char* n : l) out.emplace_back(n);
    return out;
  }
};

}  // namespace hesk_test

#endif  // HESK_TESTS_HESK_TEST_UTIL_H
