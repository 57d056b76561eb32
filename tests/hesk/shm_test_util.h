// Helpers for tests on real System V partitions: unique names, removal of
// what a test made (also on failure paths and after an earlier crashed run),
// a view into a partition's records, and bounded waits for child processes.
#ifndef HESK_TESTS_SHM_TEST_UTIL_H
#define HESK_TESTS_SHM_TEST_UTIL_H

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "C_shm.h"
#include "C_shm_buffer.h"
#include "C_shm_kill.h"
#include "SysError.h"

namespace shm_test {

constexpr const char* kPrefix = "hesk-test.";

// "hesk-test.<pid>.<tag>": unique per process and test.
inline std::string unique_name(const std::string& tag) {
  return kPrefix + std::to_string(getpid()) + "." + tag;
}

// Whether a partition of that name exists (looked at without becoming a user
// and without ever removing it).
inline bool partition_exists(const std::string& name) {
  try {
    C_shm probe;
    probe.keep(true);
    return !probe.find(name.c_str());
  } catch (const SysError&) {
    return true;  // found, with its semaphores gone
  }
}

// Removes every partition of that name, whatever its user count.
inline void kill_partition(const std::string& name) {
  for (int round = 0; round < 16 && partition_exists(name); ++round) {
    C_shm_kill kill(name.c_str());
  }
}

// Removes partitions left behind by earlier test processes that are gone.
inline void remove_stale_partitions() {
  for (int id : C_shm::partition_ids()) {
    std::string name;
    {
      C_shm probe;
      probe.keep(true);
      if (probe.find(id) || probe.getStat("version") != "102") continue;
      name = probe.getStat("name");
    }
    if (name.rfind(kPrefix, 0) != 0) continue;
    const long pid =
        std::strtol(name.c_str() + std::char_traits<char>::length(kPrefix), nullptr, 10);
    if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) kill_partition(name);
  }
}

// Removes the named partitions when it goes out of scope.
class PartitionGuard {
 public:
  PartitionGuard() = default;
  PartitionGuard(const PartitionGuard&) = delete;
  PartitionGuard& operator=(const PartitionGuard&) = delete;
  ~PartitionGuard() { clear(); }
  void add(const std::string& name) { names_.push_back(name); }
  void clear() {
    for (const std::string& n : names_) kill_partition(n);
    names_.clear();
  }

 private:
  std::vector<std::string> names_;
};

// Fixture: leftovers of crashed runs go in SetUp, everything named through
// name() goes in TearDown.
class ShmTest : public ::testing::Test {
 protected:
  void SetUp() override { remove_stale_partitions(); }
  void TearDown() override { guard_.clear(); }

  std::string name(const std::string& tag) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string n = unique_name(std::string(info->name()) + "." + tag);
    kill_partition(n);
    guard_.add(n);
    return n;
  }

  PartitionGuard guard_;
};

// A partition object that also shows its records.
class Peek : public C_shm_buffer {
 public:
  using C_shm_buffer::C_shm_buffer;
  C_shm_global* global() const { return pointer; }
  C_shm_buf* desc() const { return bufptr; }
  int held() const { return ibuf; }
  int shmid() const { return ident; }
  int semid() const { return pointer->gbl_semid; }
  int semval(int num) const { return semctl(pointer->gbl_semid, num, GETVAL); }
  void set_error(int e) { shm_error = static_cast<C_shm_error>(e); }
  // Indices of the free queue, head first.
  std::vector<int> free_queue() const {
    std::vector<int> q;
    for (int i = pointer->free.head; i >= 0 && q.size() <= static_cast<size_t>(NBuff);
         i = bufptr[i].link) {
      q.push_back(i);
    }
    return q;
  }
};

// Waits for a child until the time limit, killing it when it overruns.
// Returns its exit status, 128 + signal when killed, or -1 on a timeout.
inline int wait_child(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (WIFEXITED(status)) return WEXITSTATUS(status);
      if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
      return -1;
    }
    if (r < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// Forks a child that runs fn and leaves with its result; a stray child ends
// itself after limit_s seconds.
template <typename Fn>
pid_t spawn(Fn fn, unsigned limit_s = 60) {
  pid_t pid = fork();
  if (pid == 0) {
    alarm(limit_s);
    int rc = 100;
    try {
      rc = fn();
    } catch (...) {
      rc = 101;
    }
    _exit(rc);
  }
  return pid;
}

}  // namespace shm_test

#endif  // HESK_TESTS_SHM_TEST_UTIL_H
