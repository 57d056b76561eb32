// Segment layout of a new partition, its semaphore set, and the buffer queue
// operations (including a corrupted queue).
#include <gtest/gtest.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <vector>

#include "C_shm_int.h"
#include "shm_test_util.h"

namespace {

using shm_test::Peek;
using shm_test::ShmTest;

class LayoutTest : public ShmTest {};

union semun_arg {
  int val;
  semid_ds* buf;
  unsigned short* array;
};

// Segment and semaphore set get one mode: 0660 unless HESK_IPC_MODE says
// otherwise; a value that is no octal mode falls back to 0660.
TEST_F(LayoutTest, SegmentsAndSemaphoresTakeTheConfiguredMode) {
  const struct {
    const char* env;
    unsigned mode;
  } cases[] = {{nullptr, 0660u}, {"0666", 0666u}, {"600", 0600u}, {"0777", 0666u}, {"rw", 0660u}};
  int k = 0;
  for (const auto& c : cases) {
    if (c.env)
      setenv("HESK_IPC_MODE", c.env, 1);
    else
      unsetenv("HESK_IPC_MODE");
    const std::string n = name("m" + std::to_string(k++));
    Peek p(n.c_str(), 2, 64, true);
    unsetenv("HESK_IPC_MODE");
    ASSERT_TRUE(p.valid()) << p.Error();
    shmid_ds ds;
    ASSERT_EQ(0, shmctl(p.shmid(), IPC_STAT, &ds));
    EXPECT_EQ(c.mode, ds.shm_perm.mode & 0777u) << (c.env ? c.env : "default");
    semid_ds sd;
    semun_arg arg;
    arg.buf = &sd;
    ASSERT_EQ(0, semctl(p.semid(), 0, IPC_STAT, arg));
    EXPECT_EQ(c.mode, sd.sem_perm.mode & 0777u) << (c.env ? c.env : "default");
    EXPECT_EQ(std::to_string(geteuid()), p.getStat("owner"));
  }
}

TEST_F(LayoutTest, FourBuffersOfThousandBytes) {
  const std::string n = name("p");
  Peek p(n.c_str(), 4, 1000, false);
  ASSERT_TRUE(p.valid()) << p.Error();

  shmid_ds ds;
  ASSERT_EQ(0, shmctl(p.shmid(), IPC_STAT, &ds));
  EXPECT_EQ(4492u, ds.shm_segsz);
  EXPECT_GE(ds.shm_perm.__key, 32);
  EXPECT_LE(ds.shm_perm.__key, 1055);
  EXPECT_EQ(0660u, ds.shm_perm.mode & 0777u);

  char* base = reinterpret_cast<char*>(p.global());
  EXPECT_EQ(base + 300, reinterpret_cast<char*>(p.desc()));
  EXPECT_EQ(2492, p.buffer_addr(2) - base);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(300 + 48 * 4 + i * 1000, p.desc()[i].boff) << i;
    EXPECT_EQ(C_SHM_BUF_FREE, p.desc()[i].status) << i;
  }

  const C_shm_global* g = p.global();
  EXPECT_EQ(3, g->status);
  EXPECT_EQ(102, g->version);
  EXPECT_EQ(1, g->gbl_count);
  EXPECT_EQ(4, g->nbuf);
  EXPECT_EQ(1000, g->lbuf);
  EXPECT_EQ(0, g->sems);
  EXPECT_EQ(0, g->free.head);
  EXPECT_EQ(3, g->free.tail);
  EXPECT_EQ(-1, g->full.head);
  EXPECT_EQ(-1, g->full.tail);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3}), p.free_queue());
  EXPECT_EQ(n, std::string(g->name));
}

TEST_F(LayoutTest, SemaphoreSetWithAndWithoutSlotLocks) {
  const std::string plain = name("plain");
  const std::string slots = name("slots");
  Peek a(plain.c_str(), 3, 64, false);
  Peek b(slots.c_str(), 3, 64, true);
  ASSERT_TRUE(a.valid());
  ASSERT_TRUE(b.valid());

  semid_ds ds;
  union {
    int val;
    semid_ds* buf;
  } arg;
  arg.buf = &ds;
  ASSERT_EQ(0, semctl(a.semid(), 0, IPC_STAT, arg));
  EXPECT_EQ(4u, ds.sem_nsems);
  ASSERT_EQ(0, semctl(b.semid(), 0, IPC_STAT, arg));
  EXPECT_EQ(7u, ds.sem_nsems);
  EXPECT_EQ(1, b.global()->sems);

  for (const Peek* p : {&a, &b}) {
    EXPECT_EQ(1, p->semval(gbl_gate));
    EXPECT_EQ(3, p->semval(gbl_empty));
    EXPECT_EQ(0, p->semval(gbl_full));
    EXPECT_EQ(0, p->semval(gbl_synch));
  }
  for (int i = 0; i < 3; ++i) EXPECT_EQ(1, b.semval(gbl_nsems + i));
}

// Queue operations on a plain descriptor array.
class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto& d : bufs) d = C_shm_buf{};
    q.init();
  }
  std::vector<int> order() const {
    std::vector<int> v;
    for (int i = q.head, n = 0; i >= 0 && n < 8; i = bufs[i].link, ++n) v.push_back(i);
    return v;
  }
  C_shm_buf bufs[6];
  C_shm_BufferQ q;
};

TEST_F(QueueTest, FirstInFirstOut) {
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(-1, q.remove(bufs, 6));
  for (int i : {4, 1, 3}) q.link(bufs, 6, i);
  EXPECT_EQ((std::vector<int>{4, 1, 3}), order());
  EXPECT_EQ(3, q.length(bufs, 6));
  EXPECT_EQ(4, q.remove(bufs, 6));
  EXPECT_EQ(1, q.remove(bufs, 6));
  EXPECT_EQ(3, q.remove(bufs, 6));
  EXPECT_TRUE(q.empty());
  EXPECT_EQ(-1, q.tail);
}

TEST_F(QueueTest, RemoveByIndexFromHeadMiddleAndTail) {
  for (int i = 0; i < 5; ++i) q.link(bufs, 6, i);
  EXPECT_TRUE(q.remove(bufs, 6, 2));
  EXPECT_EQ((std::vector<int>{0, 1, 3, 4}), order());
  EXPECT_TRUE(q.remove(bufs, 6, 4));
  EXPECT_EQ(3, q.tail);
  EXPECT_TRUE(q.remove(bufs, 6, 0));
  EXPECT_EQ(1, q.head);
  EXPECT_FALSE(q.remove(bufs, 6, 2));  // not queued
  EXPECT_FALSE(q.remove(bufs, 6, 9));  // out of range
  q.link(bufs, 6, 5);
  EXPECT_EQ((std::vector<int>{1, 3, 5}), order());
}

TEST_F(QueueTest, CorruptedLinksNeitherLoopNorLeaveTheArray) {
  for (int i = 0; i < 3; ++i) q.link(bufs, 6, i);
  bufs[2].link = 0;  // a cycle
  EXPECT_EQ(6, q.length(bufs, 6));
  EXPECT_FALSE(q.remove(bufs, 6, 5));
  bufs[1].link = 77;  // out of range
  EXPECT_EQ(2, q.length(bufs, 6));
  q.head = 99;
  EXPECT_EQ(-1, q.remove(bufs, 6));
  EXPECT_TRUE(q.empty());
  q.link(bufs, 6, 42);  // ignored
  EXPECT_TRUE(q.empty());
}

}  // namespace
