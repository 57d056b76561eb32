// Several processes on one partition at once: takers and returners never get
// one buffer twice and leave the count whole; processes creating partitions
// at the same moment never share a key.
#include <gtest/gtest.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "shm_test_util.h"

namespace {

using shm_test::Peek;
using shm_test::ShmTest;
using shm_test::spawn;
using shm_test::wait_child;

class ConcurrencyTest : public ShmTest {};

// Child exit codes.
constexpr int kNoAccess = 2;
constexpr int kTakenTwice = 3;
constexpr int kLostOwnership = 4;
constexpr int kReturnRefused = 5;
constexpr int kWrongOwner = 6;

int take_and_return(const std::string& name, int rounds, bool blocking) {
  C_shm_buffer part(name.c_str());
  if (!part.valid()) return kNoAccess;
  const int me = static_cast<int>(getpid());
  for (int r = 0; r < rounds; ++r) {
    char* b = part.get_buffer(blocking ? 0 : 4, true);
    if (b == nullptr) {
      if (blocking) return kNoAccess;
      --r;
      continue;
    }
    // The first word of the buffer records its current holder.
    auto* mark = reinterpret_cast<int*>(b);
    int expected = 0;
    if (!__atomic_compare_exchange_n(mark, &expected, me, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
      return kTakenTwice;
    }
    for (volatile int spin = 0; spin < (r % 7) * 50; ++spin) {
    }
    expected = me;
    if (!__atomic_compare_exchange_n(mark, &expected, 0, false, __ATOMIC_ACQ_REL,
                                     __ATOMIC_ACQUIRE)) {
      return kLostOwnership;
    }
    if (part.return_buffer(part.buffer_id(b))) return kReturnRefused;
  }
  return 0;
}

TEST_F(ConcurrencyTest, ProcessesTakeAndReturnWithoutDoubleHandout) {
  const std::string n = name("p");
  constexpr int kBuffers = 3;
  constexpr int kChildren = 4;
  constexpr int kRounds = 3000;
  Peek p(n.c_str(), kBuffers, 64, false);
  ASSERT_TRUE(p.valid());
  for (int i = 0; i < kBuffers; ++i) *reinterpret_cast<int*>(p.buffer_addr(i)) = 0;

  std::vector<pid_t> kids;
  for (int c = 0; c < kChildren; ++c) {
    kids.push_back(spawn([&, c] { return take_and_return(n, kRounds, c % 2 == 0); }));
    ASSERT_GT(kids.back(), 0);
  }
  for (pid_t k : kids) EXPECT_EQ(0, wait_child(k, std::chrono::seconds(90))) << "child " << k;

  EXPECT_EQ(std::to_string(kBuffers), p.getStat("freebuf"));
  EXPECT_EQ(kBuffers, p.semval(gbl_empty));
  EXPECT_EQ(1, p.semval(gbl_gate));
  EXPECT_EQ("1", p.getStat("use_count"));
  std::vector<int> q = p.free_queue();
  EXPECT_EQ(static_cast<size_t>(kBuffers), std::set<int>(q.begin(), q.end()).size());
  for (int i = 0; i < kBuffers; ++i) {
    EXPECT_EQ(C_SHM_BUF_FREE, p.desc()[i].status);
    EXPECT_EQ(0, *reinterpret_cast<int*>(p.buffer_addr(i)));
  }
}

// A buffer given back by two processes at once is queued once.
TEST_F(ConcurrencyTest, SimultaneousReturnsOfOneBufferQueueItOnce) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 16, false);
  ASSERT_TRUE(p.valid());
  constexpr int kRounds = 400;
  int pipes[2][2];
  ASSERT_EQ(0, pipe(pipes[0]));
  ASSERT_EQ(0, pipe(pipes[1]));
  std::vector<pid_t> kids;
  for (int c = 0; c < 2; ++c) {
    kids.push_back(spawn([&, c]() -> int {
      C_shm_buffer part(n.c_str());
      if (!part.valid()) return kNoAccess;
      char go;
      for (int r = 0; r < kRounds; ++r) {
        if (read(pipes[c][0], &go, 1) != 1) return kNoAccess;
        part.return_buffer(1);
      }
      return 0;
    }));
  }
  int double_queued = 0;
  for (int r = 0; r < kRounds; ++r) {
    // Take until buffer 1 comes (others go back to the tail); never wait.
    char* b = nullptr;
    for (int tries = 0; tries < 100 && (b == nullptr || p.buffer_id(b) != 1); ++tries) {
      if (b != nullptr) p.return_buffer(b);
      b = p.get_buffer(4, true);
    }
    ASSERT_EQ(1, b == nullptr ? -1 : p.buffer_id(b));
    for (int c = 0; c < 2; ++c) ASSERT_EQ(1, write(pipes[c][1], "g", 1));
    // Wait until both returns are through: buffer 1 free again.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (p.getStat("freebuf") != "2" && std::chrono::steady_clock::now() < deadline) {
    }
    if (p.semval(gbl_empty) != 2) ++double_queued;
    std::vector<int> q = p.free_queue();
    if (q.size() != 2) ++double_queued;
  }
  for (int c = 0; c < 2; ++c) close(pipes[c][1]);
  for (pid_t k : kids) EXPECT_EQ(0, wait_child(k, std::chrono::seconds(30)));
  for (int c = 0; c < 2; ++c) close(pipes[c][0]);
  EXPECT_EQ(0, double_queued);
  EXPECT_EQ("2", p.getStat("freebuf"));
  EXPECT_EQ(2, p.semval(gbl_empty));
}

// Processes creating partitions at the same moment each get keys of their
// own: nobody's partition is overwritten by another's.
TEST_F(ConcurrencyTest, SimultaneousCreationNeverSharesAKey) {
  constexpr int kChildren = 4;
  constexpr int kEach = 12;
  std::vector<std::string> names;
  for (int c = 0; c < kChildren; ++c) {
    for (int j = 0; j < kEach; ++j)
      names.push_back(name(std::to_string(c) + "." + std::to_string(j)));
  }
  int start[2];
  ASSERT_EQ(0, pipe(start));
  std::vector<pid_t> kids;
  for (int c = 0; c < kChildren; ++c) {
    kids.push_back(spawn([&, c]() -> int {
      close(start[1]);
      char go;
      if (read(start[0], &go, 1) != 0) return kNoAccess;  // all start on EOF
      std::vector<C_shm_buffer*> mine;
      for (int j = 0; j < kEach; ++j) {
        const std::string& n = names[static_cast<size_t>(c * kEach + j)];
        auto* part = new C_shm_buffer(n.c_str(), 2, 32, false);
        if (!part->valid() || part->getStat("name") != n) return kWrongOwner;
        for (int i = 0; i < 2; ++i)
          std::fill_n(part->buffer_addr(i), 32, static_cast<char>('a' + c));
        part->keep(true);
        mine.push_back(part);
      }
      for (C_shm_buffer* part : mine) {
        if (part->getStat("use_count") != "1") return kWrongOwner;
        for (int i = 0; i < 2; ++i) {
          for (int k = 0; k < 32; ++k) {
            if (part->buffer_addr(i)[k] != static_cast<char>('a' + c)) return kWrongOwner;
          }
        }
        delete part;
      }
      return 0;
    }));
  }
  close(start[0]);
  close(start[1]);  // go
  for (pid_t k : kids) EXPECT_EQ(0, wait_child(k, std::chrono::seconds(60))) << "child " << k;

  std::set<int> ids;
  std::set<key_t> keys;
  for (const std::string& n : names) {
    Peek view;
    view.keep(true);
    ASSERT_FALSE(view.find(n.c_str())) << n;
    EXPECT_EQ("2", view.getStat("nbuf"));
    ids.insert(view.shmid());
    shmid_ds ds;
    ASSERT_EQ(0, shmctl(view.shmid(), IPC_STAT, &ds));
    keys.insert(ds.shm_perm.__key);
  }
  EXPECT_EQ(names.size(), ids.size());
  EXPECT_EQ(names.size(), keys.size());
}

}  // namespace
