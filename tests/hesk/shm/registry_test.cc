// The process-wide registry of mapped segments and the object list: entry
// counting, attaches, flush, and objects created by many threads at once.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "shm_test_util.h"

namespace {

using shm_test::ShmTest;

class RegistryTest : public ShmTest {};

TEST_F(RegistryTest, EntriesCountUpAndDown) {
  const int id = 0x7ffffff0;  // no real segment needs it
  EXPECT_EQ(1, C_shm::add_shmid_entry(id));
  EXPECT_EQ(0, C_shm::add_shmid_entry(id));
  EXPECT_EQ(1, C_shm::rem_shmid_entry(id));
  EXPECT_EQ(0, C_shm::rem_shmid_entry(id));
  testing::internal::CaptureStdout();
  EXPECT_EQ(-1, C_shm::rem_shmid_entry(id));
  EXPECT_EQ("rem_shmid_entry() shmid: 2147483632  NOT FOUND\n",
            testing::internal::GetCapturedStdout());
}

TEST_F(RegistryTest, AttachesCountsAttachedObjectsByNameAndId) {
  const std::string n = name("p");
  C_shm a(n.c_str(), 1, 8, false);
  ASSERT_TRUE(a.valid());
  const int id = std::stoi(a.getStat("shmid"));
  EXPECT_EQ(1, C_shm::attaches(n.c_str()));
  {
    C_shm b(id);
    C_shm c;
    EXPECT_EQ(2, C_shm::attaches(n.c_str()));
    EXPECT_EQ(2, C_shm::attaches(id));
  }
  EXPECT_EQ(1, C_shm::attaches(id));
  EXPECT_EQ(0, C_shm::attaches("no such partition"));
  EXPECT_EQ(0, C_shm::attaches(static_cast<const char*>(nullptr)));
}

// After flush the abandoned objects are no longer listed, yet a new object on
// the same partition still reuses the process's one mapping.
TEST_F(RegistryTest, FlushForgetsTheListButNotTheMapping) {
  const std::string n = name("p");
  auto* abandoned = new C_shm(n.c_str(), 2, 8, false);
  ASSERT_TRUE(abandoned->valid());
  C_shm::flush();
  EXPECT_EQ(0, C_shm::attaches(n.c_str()));
  {
    C_shm again(n.c_str());
    ASSERT_TRUE(again.valid());
    EXPECT_EQ(abandoned->buffer_addr(1), again.buffer_addr(1));
    EXPECT_EQ(1, C_shm::attaches(n.c_str()));
  }
  EXPECT_EQ(n, abandoned->getStat("name"));
  delete abandoned;  // not in the list any more: destroying it is still safe
  EXPECT_FALSE(shm_test::partition_exists(n));
}

TEST_F(RegistryTest, ObjectsCreatedByManyThreadsAtOnce) {
  const std::string shared = name("shared");
  C_shm anchor(shared.c_str(), 4, 16, true);
  ASSERT_TRUE(anchor.valid());
  const int id = std::stoi(anchor.getStat("shmid"));

  constexpr int kThreads = 6;
  constexpr int kRounds = 60;
  std::vector<std::string> own;
  for (int t = 0; t < kThreads; ++t) own.push_back(name("t" + std::to_string(t)));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < kRounds; ++r) {
        C_shm by_name(shared.c_str());
        C_shm_buffer by_id(id);
        C_shm_buffer mine(own[t].c_str(), 2, 8, false);
        C_shm copy(by_name);
        if (!by_name.valid() || !by_id.valid() || !mine.valid() || !copy.valid()) ++failures;
        if (by_name.buffer_addr(0) != by_id.buffer_addr(0)) ++failures;
        char* b = by_id.get_buffer(0, true);
        if (b == nullptr || by_id.return_buffer(b)) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(0, failures.load());
  EXPECT_EQ(1, C_shm::attaches(id));
  EXPECT_EQ("1", anchor.getStat("use_count"));
  EXPECT_EQ("4", anchor.getStat("freebuf"));
  for (const std::string& n : own) EXPECT_FALSE(shm_test::partition_exists(n)) << n;
  // One registry entry for the shared segment, held by anchor alone.
  EXPECT_EQ(0, C_shm::add_shmid_entry(id));
  EXPECT_EQ(1, C_shm::rem_shmid_entry(id));
}

}  // namespace
