// A process killed while holding a lock: the kernel's undo gives the gate and
// the slot locks back, so the next taker still gets them; the dead process's
// user count stays until the partition is removed by name.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "shm_test_util.h"

namespace {

using shm_test::partition_exists;
using shm_test::Peek;
using shm_test::ShmTest;
using shm_test::spawn;
using shm_test::wait_child;

class CrashTest : public ShmTest {
 protected:
  // Starts a child that takes what lock() takes, reports through a pipe and
  // waits to be killed; returns its pid once the lock is held.
  template <typename Lock>
  pid_t start_holder(const std::string& n, Lock lock) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t pid = spawn(
        [&]() -> int {
          close(fds[0]);
          C_shm_buffer part(n.c_str());
          if (!part.valid() || !lock(part)) return 2;
          if (write(fds[1], "1", 1) != 1) return 3;
          for (;;) pause();
        },
        30);
    close(fds[1]);
    pollfd pfd = {fds[0], POLLIN, 0};
    char c = 0;
    const bool ready = poll(&pfd, 1, 10000) == 1 && read(fds[0], &c, 1) == 1;
    close(fds[0]);
    if (!ready) {
      kill(pid, SIGKILL);
      wait_child(pid, std::chrono::seconds(5));
      return -1;
    }
    return pid;
  }

  void kill_holder(pid_t pid) {
    ASSERT_EQ(0, kill(pid, SIGKILL));
    EXPECT_EQ(128 + SIGKILL, wait_child(pid, std::chrono::seconds(10)));
  }
};

// Interrupts a wait that would otherwise hang, so a lost undo fails the test.
class AlarmGuard {
 public:
  explicit AlarmGuard(unsigned seconds) {
    struct sigaction sa = {};
    sa.sa_handler = [](int) {};
    sigaction(SIGALRM, &sa, &old_);  // no SA_RESTART: semop returns EINTR
    alarm(seconds);
  }
  ~AlarmGuard() {
    alarm(0);
    sigaction(SIGALRM, &old_, nullptr);
  }

 private:
  struct sigaction old_;
};

TEST_F(CrashTest, GateOfAKilledHolderIsGivenBack) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 16, true);
  ASSERT_TRUE(p.valid());
  const pid_t holder = start_holder(n, [](C_shm_buffer& part) { return part.gate(true); });
  ASSERT_GT(holder, 0);
  EXPECT_EQ(0, p.semval(gbl_gate));
  EXPECT_EQ("2", p.getStat("use_count"));
  kill_holder(holder);

  EXPECT_EQ(1, p.semval(gbl_gate));
  {
    AlarmGuard alarm_guard(5);
    ASSERT_TRUE(p.gate(true));
    ASSERT_TRUE(p.gate(false));
  }
  // The buffers still work; the dead user is still counted.
  char* b = p.get_buffer(4, true);
  ASSERT_NE(nullptr, b);
  EXPECT_FALSE(p.return_buffer(b));
  EXPECT_EQ("2", p.getStat("use_count"));
}

TEST_F(CrashTest, SlotLockOfAKilledHolderIsGivenBack) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 16, true);
  ASSERT_TRUE(p.valid());
  const pid_t holder = start_holder(n, [](C_shm_buffer& part) { return part.ctrl(2, true); });
  ASSERT_GT(holder, 0);
  EXPECT_EQ(0, p.semval(gbl_nsems + 2));
  kill_holder(holder);
  EXPECT_EQ(1, p.semval(gbl_nsems + 2));
  AlarmGuard alarm_guard(5);
  ASSERT_TRUE(p.ctrl(2, true));
  ASSERT_TRUE(p.ctrl(2, false));
}

// A taker blocked behind the holder gets the gate as soon as the holder dies.
TEST_F(CrashTest, WaitingTakerProceedsWhenTheHolderDies) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 16, false);
  ASSERT_TRUE(p.valid());
  const pid_t holder = start_holder(n, [](C_shm_buffer& part) { return part.gate(true); });
  ASSERT_GT(holder, 0);
  const pid_t taker = spawn([&]() -> int {
    C_shm_buffer part(n.c_str());  // waits for the gate
    return part.valid() && part.get_buffer(0, true) != nullptr ? 0 : 2;
  });
  usleep(100 * 1000);
  kill_holder(holder);
  EXPECT_EQ(0, wait_child(taker, std::chrono::seconds(10)));
  EXPECT_EQ(1, p.semval(gbl_gate));
  EXPECT_EQ("1", p.getStat("freebuf"));  // the taker died holding one buffer
}

// After a crash the partition has users that never let go; removing it by
// name still works.
TEST_F(CrashTest, PartitionOfCrashedUsersIsRemovedByName) {
  const std::string n = name("p");
  {
    C_shm creator(n.c_str(), 2, 16, false);
    ASSERT_TRUE(creator.valid());
    const pid_t holder =
        start_holder(n, [](C_shm_buffer& part) { return part.get_buffer(4, true) != nullptr; });
    ASSERT_GT(holder, 0);
    kill_holder(holder);
  }
  ASSERT_TRUE(partition_exists(n));  // the dead user keeps it
  { C_shm_kill kill(n.c_str()); }
  EXPECT_FALSE(partition_exists(n));
}

}  // namespace
