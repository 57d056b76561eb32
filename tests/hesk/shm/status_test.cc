// Status answers, flag words, the dump text, error texts, and the gate and
// slot locks (including a semaphore set removed underneath).
#include <gtest/gtest.h>
#include <sys/sem.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>

#include "SysError.h"
#include "shm_test_util.h"

namespace {

using shm_test::Peek;
using shm_test::ShmTest;

class StatusTest : public ShmTest {};

TEST_F(StatusTest, GetStatAnswersOfANewPartition) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 200, false);
  ASSERT_TRUE(p.valid());
  EXPECT_EQ("1", p.getStat("exists"));
  EXPECT_EQ(n, p.getStat("name"));
  EXPECT_EQ(std::to_string(p.shmid()), p.getStat("shmid"));
  EXPECT_EQ("102", p.getStat("version"));
  EXPECT_EQ("3", p.getStat("nbuf"));
  EXPECT_EQ("200", p.getStat("lbuf"));
  EXPECT_EQ("1", p.getStat("use_count"));
  EXPECT_EQ("0", p.getStat("buffer_tot"));
  EXPECT_EQ("0", p.getStat("maxcons"));
  EXPECT_EQ(std::to_string(p.semid()), p.getStat("semglobal"));
  EXPECT_EQ("0", p.getStat("fullbuf"));
  EXPECT_EQ("3", p.getStat("freebuf"));
  EXPECT_EQ("0", p.getStat("usedbuf"));
  EXPECT_EQ("-0", p.getStat("last_ID"));
  EXPECT_EQ("release,scavage", p.getStat("pflags"));
  EXPECT_EQ("Undefined parameter", p.getStat("nbufs"));
  EXPECT_EQ(1, p.semval(gbl_gate));  // the counts gave the gate back

  C_shm none;
  for (const char* key : {"exists", "name", "shmid", "pflags", "freebuf", "last_ID", "bogus"}) {
    EXPECT_EQ("0", none.getStat(key)) << key;
  }
}

TEST_F(StatusTest, FullQueueCountsAndLastId) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 8, false);
  ASSERT_TRUE(p.valid());
  // Put buffers 2 and 0 on the full queue by hand (no operation does so).
  C_shm_global* g = p.global();
  C_shm_buf* d = p.desc();
  ASSERT_TRUE(p.gate(true));
  for (int i : {2, 0}) {
    g->free.remove(d, 3, i);
    d[i].status = 0;
    g->full.link(d, 3, i);
  }
  d[2].use_count = 1;
  d[0].data_ID = -17;
  d[1].evt_count = 5;
  d[2].evt_count = 7;
  ASSERT_TRUE(p.gate(false));
  EXPECT_EQ("2", p.getStat("fullbuf"));
  EXPECT_EQ("1", p.getStat("freebuf"));
  EXPECT_EQ("1", p.getStat("usedbuf"));
  EXPECT_EQ("-17", p.getStat("last_ID"));
  EXPECT_EQ("12", p.getStat("buffer_tot"));
}

TEST_F(StatusTest, BufmodeRewritesAllButTheSynchBit) {
  const std::string n = name("p");
  C_shm p(n.c_str(), 1, 8, false);
  ASSERT_TRUE(p.valid());
  EXPECT_TRUE(p.testFlag(C_SHM_RELEASE | C_SHM_SYNCH));
  EXPECT_FALSE(p.testFlag(C_SHM_SYNCH));
  p.bufmode(1);
  EXPECT_EQ("-", p.getStat("pflags"));
  p.bufmode(3);
  p.rqsynch(true);
  EXPECT_EQ("release,synch,expose", p.getStat("pflags"));
  p.bufmode(2);
  EXPECT_EQ("scavage,synch", p.getStat("pflags"));
  p.bufmode(0);
  EXPECT_EQ("release,synch", p.getStat("pflags"));
  testing::internal::CaptureStdout();
  p.bufmode(7);
  EXPECT_EQ("C_shm::bufmode: Invalid mode 7 request\n", testing::internal::GetCapturedStdout());
  EXPECT_EQ("release,synch", p.getStat("pflags"));
  p.rqsynch(false);
  EXPECT_EQ("release", p.getStat("pflags"));
  C_shm none;
  EXPECT_FALSE(none.testFlag(C_SHM_RELEASE));
}

TEST_F(StatusTest, DumpText) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 16, false);
  ASSERT_TRUE(p.valid());
  p.desc()[1].ldata = 12;
  p.desc()[1].trig = 255;
  p.desc()[1].evt_count = 3;
  std::ostringstream os;
  p.dump(os);
  const std::string expected =
      "\n"
      "            Event Manager Partition - " +
      n +
      "\n"
      "\n"
      "Global Control Data\n"
      "-------------------\n"
      "  version:           1.02\n"
      "  status:            release,scavage\n"
      "  global use count:  1\n"
      "  global sem id:     " +
      std::to_string(p.semid()) +
      "\n"
      "  # buffers:         2\n"
      "  buffer length:     16\n"
      "  first full buffer: -1\n"
      "  last full buffer:  -1\n"
      "  first free buffer: 0\n"
      "\n"
      "Buffer Status\n"
      "-------------\n"
      " id status use   ldata   link  t-mask   count\n"
      "  0    1    0        0    1        0       0\n"
      "  1    1    0       12   -1      255       3\n";
  EXPECT_EQ(expected, os.str());
}

TEST_F(StatusTest, ErrorTexts) {
  Peek p;
  const char* texts[] = {"No error",
                         "Partition not attached",
                         "Existing partition is incompatible with request",
                         "Semaphore doesn't exist",
                         "No free partition IDs are available",
                         "Unable to attach partition",
                         "Unable to create a new partition",
                         "Unable to create a new semaphore",
                         "No Priviledge for attempted operation",
                         "Incompatible version number"};
  for (int e = 0; e < 10; ++e) {
    p.set_error(e);
    EXPECT_STREQ(texts[e], p.Error()) << e;
  }
  p.set_error(10);
  EXPECT_STREQ("Unidentifier error", p.Error());

  errno = ENOENT;
  SysError err;
  EXPECT_STREQ(std::strerror(ENOENT), err.what());
}

TEST_F(StatusTest, LockNeedsAnAttachedPartition) {
  C_shm none;
  none.lock(true);
  EXPECT_EQ(NotAttached, none.getError());
  const std::string n = name("p");
  C_shm p(n.c_str(), 1, 8, false);
  p.lock(true);
  p.lock(false);
  EXPECT_TRUE(p.getError() == NoError || p.getError() == NoPriviledge);
}

TEST_F(StatusTest, GateAndSlotLocks) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 8, true);
  ASSERT_TRUE(p.valid());
  EXPECT_TRUE(p.gate(true));
  EXPECT_EQ(0, p.semval(gbl_gate));
  EXPECT_TRUE(p.gate(false));
  EXPECT_EQ(1, p.semval(gbl_gate));
  EXPECT_TRUE(p.ctrl(1, true));
  EXPECT_EQ(0, p.semval(gbl_nsems + 1));
  EXPECT_EQ(1, p.semval(gbl_nsems + 0));
  EXPECT_TRUE(p.ctrl(1, false));
  EXPECT_EQ(0, p.getLockCount());

  testing::internal::CaptureStdout();
  EXPECT_FALSE(p.ctrl(2, true));
  EXPECT_FALSE(p.ctrl(-1, true));
  EXPECT_EQ("ctrl(): Wrong slot id: 2\nctrl(): Wrong slot id: -1\n",
            testing::internal::GetCapturedStdout());

  const std::string plain = name("plain");
  C_shm q(plain.c_str(), 2, 8, false);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(q.ctrl(0, true));
  EXPECT_EQ("ctrl(): No additional semaphores available \n",
            testing::internal::GetCapturedStdout());

  C_shm none;
  EXPECT_FALSE(none.gate(true));
}

TEST_F(StatusTest, BusyGateIsWaitedForAndCounted) {
  const std::string n = name("p");
  C_shm p(n.c_str(), 1, 8, true);
  ASSERT_TRUE(p.gate(true));
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.gate(false);
  });
  C_shm other(n.c_str());  // waits for the gate in access
  holder.join();
  ASSERT_TRUE(other.valid());
  EXPECT_GE(other.getLockCount(), 1);  // the busy gate was counted (a retry may count again)
  other.clrLockCount();
  EXPECT_EQ(0, other.getLockCount());
}

TEST_F(StatusTest, RemovedSemaphoreSetThrowsSysError) {
  const std::string n = name("p");
  auto* p = new Peek(n.c_str(), 2, 8, true);
  ASSERT_TRUE(p->valid());
  ASSERT_EQ(0, semctl(p->semid(), 0, IPC_RMID));
  testing::internal::CaptureStdout();
  EXPECT_THROW(p->gate(true), SysError);
  EXPECT_THROW(p->ctrl(0, true), SysError);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(std::string::npos, out.find("throw C_shm::gate UP sem: 0 errno: "));
  EXPECT_NE(std::string::npos, out.find("throw C_shm::gate DOWN sem: 0  rrno: "));
  EXPECT_NE(std::string::npos, out.find("Partition name:" + n + "  buffers:2  size:8"));
  EXPECT_NE(std::string::npos, out.find("throw C_shm::ctrl UP sem: 4   errno: "));
  try {
    p->gate(true);
  } catch (const SysError& e) {
    EXPECT_STREQ(std::strerror(EINVAL), e.what());
  }
  testing::internal::CaptureStdout();
  delete p;  // must not throw
  testing::internal::GetCapturedStdout();
  // The guard still removes the segment whose semaphores are gone.
  guard_.clear();
  EXPECT_FALSE(shm_test::partition_exists(n));
}

}  // namespace
