// The key range of partitions, exhausted on purpose. Runs in a private IPC
// namespace of a child process, so that no other partition of the host is
// kept from being created meanwhile and nothing can be left behind.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/shm.h>

#include <chrono>
#include <string>

#include "shm_test_util.h"

namespace {

using shm_test::spawn;
using shm_test::wait_child;

constexpr int kCannotIsolate = 77;

// Fills every key 32..1055 with a segment too small to be a partition,
// except `spare` (when >= 32). Returns false when a key could not be taken.
bool fill_keys(key_t spare) {
  for (key_t key = 32; key <= 1055; ++key) {
    if (key == spare) continue;
    if (shmget(key, 1, IPC_CREAT | IPC_EXCL | 0600) < 0) return false;
  }
  return true;
}

void empty_keys() {
  for (key_t key = 32; key <= 1055; ++key) {
    int id = shmget(key, 0, 0);
    if (id >= 0) shmctl(id, IPC_RMID, nullptr);
  }
}

int isolated(int (*body)()) {
  pid_t pid = spawn([body]() -> int {
    if (unshare(CLONE_NEWIPC) != 0) return kCannotIsolate;
    const int rc = body();
    empty_keys();
    return rc;
  });
  return wait_child(pid, std::chrono::seconds(60));
}

TEST(KeyRangeTest, AllKeysInUseGivesNoFreeId) {
  const int rc = isolated([]() -> int {
    if (!fill_keys(-1)) return 2;
    C_shm p("hesk-test.keys", 1, 8, false);
    if (p.valid()) return 3;
    if (std::string(p.Error()) != "No free partition IDs are available") return 4;
    // Searching by name walks the same keys and finds nothing.
    C_shm q("hesk-test.keys");
    return q.valid() ? 5 : 0;
  });
  if (rc == kCannotIsolate) GTEST_SKIP() << "no private IPC namespace available";
  EXPECT_EQ(0, rc);
}

TEST(KeyRangeTest, TheFirstFreeKeyIsTaken) {
  const int rc = isolated([]() -> int {
    if (!fill_keys(700)) return 2;
    C_shm p("hesk-test.keys", 2, 8, false);
    if (!p.valid()) return 3;
    shmid_ds ds;
    if (shmctl(std::stoi(p.getStat("shmid")), IPC_STAT, &ds) != 0) return 4;
    if (ds.shm_perm.__key != 700) return 5;
    C_shm again("hesk-test.keys");
    return again.valid() ? 0 : 6;
  });
  if (rc == kCannotIsolate) GTEST_SKIP() << "no private IPC namespace available";
  EXPECT_EQ(0, rc);
}

}  // namespace
