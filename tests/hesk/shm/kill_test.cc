// Removing partitions by name: C_shm_kill and Zeuss, also with users that
// died without letting go and with objects of this process still on it.
#include <gtest/gtest.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <string>

#include "SysError.h"
#include "shm_test_util.h"

namespace {

using shm_test::partition_exists;
using shm_test::Peek;
using shm_test::ShmTest;

class KillTest : public ShmTest {};

TEST_F(KillTest, RemovesAPartitionWithStaleUsers) {
  const std::string n = name("p");
  int shmid = -1;
  int semid = -1;
  {
    Peek p(n.c_str(), 2, 16, true);
    ASSERT_TRUE(p.valid());
    p.keep(true);
    shmid = p.shmid();
    semid = p.semid();
    ASSERT_TRUE(p.gate(true));
    p.global()->gbl_count += 5;  // users that died without deaccess
    ASSERT_TRUE(p.gate(false));
  }
  ASSERT_TRUE(partition_exists(n));
  {
    C_shm_kill kill(n.c_str());
    EXPECT_EQ(NoError, kill.getError());
    EXPECT_EQ("0", kill.getStat("use_count"));
    EXPECT_FALSE(kill.valid());
  }
  EXPECT_FALSE(partition_exists(n));
  shmid_ds ds;
  EXPECT_NE(0, shmctl(shmid, IPC_STAT, &ds));
  EXPECT_EQ(-1, semctl(semid, 0, GETVAL));
}

TEST_F(KillTest, MissingPartitionDoesNothing) {
  const std::string n = name("none");
  C_shm_kill kill(n.c_str());
  EXPECT_EQ(NotAttached, kill.getError());
  C_shm_kill null_name(nullptr);
  EXPECT_EQ(NotAttached, null_name.getError());
}

TEST_F(KillTest, ZeussRefusesAnAttachedObject) {
  const std::string n = name("p");
  C_shm p(n.c_str(), 1, 8, false);
  ASSERT_TRUE(p.valid());
  testing::internal::CaptureStderr();
  p.Zeuss(n.c_str());
  EXPECT_EQ("Zeuss: Can't zero user count - partition is attached.\n",
            testing::internal::GetCapturedStderr());
  EXPECT_EQ("1", p.getStat("use_count"));
}

// Objects of this process still on a killed partition keep a valid mapping:
// reading stays safe, their locks fail with SysError, and destroying them
// does not throw.
TEST_F(KillTest, SameProcessUsersSurviveTheKill) {
  const std::string n = name("p");
  auto* user = new C_shm_buffer(n.c_str(), 2, 16, false);
  ASSERT_TRUE(user->valid());
  char* held = user->get_buffer(0, false);
  ASSERT_NE(nullptr, held);
  { C_shm_kill kill(n.c_str()); }
  EXPECT_FALSE(partition_exists(n));
  held[0] = 'x';  // the mapping is still there
  EXPECT_EQ(n, user->getStat("name"));
  testing::internal::CaptureStdout();
  EXPECT_THROW(user->get_buffer(4, true), SysError);
  delete user;
  testing::internal::GetCapturedStdout();
}

}  // namespace
