// Taking and returning buffers: queue order, the free-buffer count, held
// buffers, double returns, scavenging and the synch wait.
#include <gtest/gtest.h>
#include <sys/sem.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "shm_test_util.h"

namespace {

using shm_test::Peek;
using shm_test::ShmTest;

class BufferTest : public ShmTest {
 protected:
  // Index of the buffer at addr, -1 for null.
  static int index_of(const Peek& p, char* addr) { return addr ? p.buffer_id(addr) : -1; }
};

TEST_F(BufferTest, FreeQueueOrderAndCount) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 64, false);
  ASSERT_TRUE(p.valid());
  EXPECT_EQ(0, index_of(p, p.get_buffer(4, true)));
  EXPECT_EQ(1, index_of(p, p.get_buffer(4, true)));
  EXPECT_EQ(2, index_of(p, p.get_buffer(4, true)));
  EXPECT_EQ(0, p.semval(gbl_empty));
  EXPECT_EQ(nullptr, p.get_buffer(4, true));
  EXPECT_EQ(0, p.semval(gbl_empty));

  EXPECT_FALSE(p.return_buffer(1));
  EXPECT_EQ(1, p.semval(gbl_empty));
  EXPECT_EQ(1, index_of(p, p.get_buffer(4, true)));
  EXPECT_FALSE(p.return_buffer(p.buffer_addr(2)));
  EXPECT_FALSE(p.return_buffer(0));
  EXPECT_EQ((std::vector<int>{2, 0}), p.free_queue());
  EXPECT_EQ(2, p.semval(gbl_empty));
  EXPECT_EQ(1, p.semval(gbl_gate));
}

TEST_F(BufferTest, DescriptorWhileHandedOutAndAfterReturn) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 64, false);
  ASSERT_TRUE(p.valid());
  char* b = p.get_buffer(0, false);
  ASSERT_NE(nullptr, b);
  C_shm_buf& d = p.desc()[0];
  EXPECT_EQ(0, d.status);
  EXPECT_EQ(-1, d.link);
  EXPECT_EQ(getpid(), d.owner_pid);
  p.SetID(99);
  EXPECT_EQ(99, d.data_ID);
  d.use_count = 2;
  d.ldata = 40;
  d.trig = 8;
  d.fill_time = 1234567890123LL;
  d.evt_count = 4;
  EXPECT_EQ(40, p.buffer_length(0));
  EXPECT_FALSE(p.return_buffer());
  EXPECT_EQ(C_SHM_BUF_FREE, d.status);
  EXPECT_EQ(0, d.use_count);
  EXPECT_EQ(0, d.ldata);
  EXPECT_EQ(0, d.trig);
  EXPECT_EQ(99, d.data_ID);               // kept
  const int64_t fill_time = d.fill_time;  // packed field: copy, do not bind
  EXPECT_EQ(1234567890123LL, fill_time);
  EXPECT_EQ(4, d.evt_count);
  EXPECT_EQ(getpid(), d.owner_pid);
  EXPECT_EQ(-1, p.held());
  p.SetID(5);  // nothing held
  EXPECT_EQ(99, d.data_ID);
}

TEST_F(BufferTest, HeldBufferIsReturnedAgainAndCountedOnce) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 64, false);
  ASSERT_TRUE(p.valid());
  char* a = p.get_buffer(0, false);
  char* b = p.get_buffer(0, false);
  ASSERT_NE(nullptr, a);
  EXPECT_EQ(a, b);
  EXPECT_EQ(2, p.semval(gbl_empty));
  // An untracked take does not disturb the held buffer.
  char* c = p.get_buffer(4, true);
  EXPECT_NE(a, c);
  EXPECT_EQ(a, p.get_buffer(0, false));
  // Returning another buffer by number or address keeps the held one.
  EXPECT_FALSE(p.return_buffer(p.buffer_id(c)));
  EXPECT_EQ(0, p.held());
  EXPECT_FALSE(p.return_buffer());
  EXPECT_TRUE(p.return_buffer());  // nothing held any more
  EXPECT_EQ(3, p.semval(gbl_empty));
}

TEST_F(BufferTest, ReturningAFreeBufferChangesNothing) {
  const std::string n = name("p");
  Peek p(n.c_str(), 3, 64, false);
  ASSERT_TRUE(p.valid());
  char* b = p.get_buffer(4, true);
  ASSERT_FALSE(p.return_buffer(p.buffer_id(b)));
  const std::vector<int> queue = p.free_queue();
  EXPECT_TRUE(p.return_buffer(0));
  EXPECT_TRUE(p.return_buffer(1));
  EXPECT_FALSE(p.return_buffer(p.buffer_addr(2)));  // an address of this partition counts
  EXPECT_EQ(queue, p.free_queue());
  EXPECT_EQ(3, p.semval(gbl_empty));

  EXPECT_TRUE(p.return_buffer(3));
  EXPECT_TRUE(p.return_buffer(-1));
  EXPECT_TRUE(p.return_buffer(p.buffer_addr(1) + 1));  // not a buffer start
  char outside[8];
  EXPECT_TRUE(p.return_buffer(outside));
  EXPECT_TRUE(p.return_buffer(static_cast<char*>(nullptr)));
  EXPECT_EQ(queue, p.free_queue());

  // A held buffer given back by someone else is forgotten by SetID.
  ASSERT_NE(nullptr, p.get_buffer(0, false));
  const int held = p.held();
  C_shm_buffer other(n.c_str());
  ASSERT_FALSE(other.return_buffer(held));
  const int id_before = p.desc()[held].data_ID;
  p.SetID(7);
  EXPECT_EQ(-1, p.held());
  EXPECT_EQ(id_before, p.desc()[held].data_ID);
}

TEST_F(BufferTest, DestroyingAHolderReturnsItsBuffer) {
  const std::string n = name("p");
  Peek keeper(n.c_str(), 2, 64, false);
  ASSERT_TRUE(keeper.valid());
  {
    C_shm_buffer user(n.c_str());
    ASSERT_NE(nullptr, user.get_buffer(0, false));
    EXPECT_EQ("1", keeper.getStat("freebuf"));
  }
  EXPECT_EQ("2", keeper.getStat("freebuf"));
  EXPECT_EQ(2, keeper.semval(gbl_empty));
}

TEST_F(BufferTest, NoAccessThrowsLogicError) {
  C_shm_buffer none;
  try {
    none.get_buffer(4, true);
    FAIL() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ("Partition not attached", e.what());
  }
  EXPECT_TRUE(none.return_buffer());
  EXPECT_TRUE(none.return_buffer(0));
  none.SetID(1);
}

TEST_F(BufferTest, ScavengingTakesUnusedBuffersOfTheFullQueue) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 8, false);
  ASSERT_TRUE(p.valid());
  ASSERT_NE(nullptr, p.get_buffer(4, true));
  ASSERT_NE(nullptr, p.get_buffer(4, true));
  // Park buffers 0 (in use) and 1 (unused) on the full queue, and make one
  // free count available as if buffer 1 had been released to it.
  C_shm_global* g = p.global();
  C_shm_buf* d = p.desc();
  ASSERT_TRUE(p.gate(true));
  g->full.link(d, 2, 0);
  g->full.link(d, 2, 1);
  d[0].use_count = 1;
  ASSERT_TRUE(p.gate(false));
  struct sembuf post[2] = {{gbl_empty, 1, 0}, {gbl_full, 2, 0}};
  ASSERT_EQ(0, semop(p.semid(), post, 2));

  p.bufmode(1);  // neither release nor scavage: the count is used up, no buffer
  EXPECT_EQ(nullptr, p.get_buffer(4, true));
  EXPECT_EQ(0, p.semval(gbl_empty));

  ASSERT_EQ(0, semop(p.semid(), post, 1));
  p.bufmode(0);  // release without scavage: still nothing
  EXPECT_EQ(nullptr, p.get_buffer(4, true));

  ASSERT_EQ(0, semop(p.semid(), post, 1));
  p.bufmode(0);
  ASSERT_TRUE(p.gate(true));
  g->status |= C_SHM_SCAVAGE;
  ASSERT_TRUE(p.gate(false));
  char* b = p.get_buffer(4, true);
  EXPECT_EQ(1, index_of(p, b));
  EXPECT_EQ("1", p.getStat("fullbuf"));
  EXPECT_EQ(1, p.semval(gbl_full));
  EXPECT_EQ(0, d[1].status);

  // Returning a buffer that still sits on the full queue takes it off first.
  EXPECT_FALSE(p.return_buffer(0));
  EXPECT_EQ("0", p.getStat("fullbuf"));
  EXPECT_EQ((std::vector<int>{0}), p.free_queue());
}

TEST_F(BufferTest, SynchModeAdmitsOneTakePerPost) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 8, false);
  ASSERT_TRUE(p.valid());
  p.rqsynch(true);
  EXPECT_EQ(nullptr, p.get_buffer(4, true));
  EXPECT_EQ(nullptr, p.get_buffer(4, false));
  EXPECT_EQ(2, p.semval(gbl_empty));
  struct sembuf post = {gbl_synch, 1, 0};
  ASSERT_EQ(0, semop(p.semid(), &post, 1));
  EXPECT_NE(nullptr, p.get_buffer(4, true));
  EXPECT_EQ(nullptr, p.get_buffer(4, true));
  p.rqsynch(false);
  EXPECT_NE(nullptr, p.get_buffer(4, true));
}

TEST_F(BufferTest, BufferAddressesOfACorruptedDescriptor) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 64, false);
  ASSERT_TRUE(p.valid());
  EXPECT_EQ(nullptr, p.buffer_addr(2));
  EXPECT_EQ(0, p.buffer_length(-1));
  const int saved = p.desc()[1].boff;
  p.desc()[1].boff = 1 << 30;
  EXPECT_EQ(nullptr, p.buffer_addr(1));
  p.desc()[1].boff = saved;
  EXPECT_NE(nullptr, p.buffer_addr(1));
}

}  // namespace
