// Finding, creating, sharing and releasing partitions: name and id rules,
// the find-or-make request, one mapping per process, and what a refused or
// failed request must leave alone.
#include <gtest/gtest.h>
#include <sys/shm.h>

#include <cstring>
#include <string>

#include "shm_test_util.h"

namespace {

using shm_test::partition_exists;
using shm_test::Peek;
using shm_test::ShmTest;

class PartitionTest : public ShmTest {};

TEST_F(PartitionTest, FoundByNameAndByIdAsTheSamePartition) {
  const std::string n = name("p");
  C_shm made(n.c_str(), 2, 128, false);
  ASSERT_TRUE(made.valid()) << made.Error();
  const int id = std::stoi(made.getStat("shmid"));

  C_shm by_name(n.c_str());
  C_shm by_id(id);
  ASSERT_TRUE(by_name.valid());
  ASSERT_TRUE(by_id.valid());
  EXPECT_EQ(made.getStat("shmid"), by_name.getStat("shmid"));
  EXPECT_EQ(n, by_id.getStat("name"));
  EXPECT_EQ(2, by_id.getBufferCount());
  EXPECT_EQ(128, by_id.getBufferLength());
  EXPECT_EQ("3", made.getStat("use_count"));
  EXPECT_EQ(std::string("No error"), by_name.Error());
}

TEST_F(PartitionTest, MissingPartitionLeavesAnInvalidObject) {
  const std::string n = name("none");
  C_shm missing(n.c_str());
  EXPECT_FALSE(missing.valid());
  EXPECT_STREQ("Partition not attached", missing.Error());
  EXPECT_EQ("0", missing.getStat("name"));
  EXPECT_EQ(nullptr, missing.buffer_addr(0));
  C_shm null_name(static_cast<const char*>(nullptr));
  EXPECT_FALSE(null_name.valid());
}

TEST_F(PartitionTest, LongNamesAreStoredAsTheirFirst255Characters) {
  std::string full = name("long");
  full.resize(300, 'x');
  C_shm made(full.c_str(), 1, 8, false);
  ASSERT_TRUE(made.valid());
  guard_.add(full.substr(0, 255));
  EXPECT_EQ(full.substr(0, 255), made.getStat("name"));

  C_shm whole;
  whole.keep(true);
  EXPECT_TRUE(whole.find(full.c_str()));
  C_shm cut;
  cut.keep(true);
  EXPECT_FALSE(cut.find(full.substr(0, 255).c_str()));
  // A name that merely starts like the stored one is another name.
  C_shm prefix;
  EXPECT_TRUE(prefix.find(full.substr(0, 254).c_str()));
}

TEST_F(PartitionTest, FindOrMakeAcceptsEqualOrSmallerRequests) {
  const std::string n = name("p");
  C_shm made(n.c_str(), 4, 100, true);
  ASSERT_TRUE(made.valid());
  C_shm smaller(n.c_str(), 2, 50, false);
  ASSERT_TRUE(smaller.valid());
  EXPECT_EQ(4, smaller.getBufferCount());
  EXPECT_EQ(100, smaller.getBufferLength());
  EXPECT_TRUE(smaller.ctrl(3, true));  // the existing partition's slot locks win
  EXPECT_TRUE(smaller.ctrl(3, false));
  C_shm equal(n.c_str(), 4, 100, false);
  EXPECT_TRUE(equal.valid());
  EXPECT_EQ(made.getStat("shmid"), equal.getStat("shmid"));
}

TEST_F(PartitionTest, FindOrMakeRefusesLargerRequests) {
  const std::string n = name("p");
  C_shm made(n.c_str(), 4, 100, false);
  ASSERT_TRUE(made.valid());
  for (auto req : {std::make_pair(5, 100), std::make_pair(4, 101)}) {
    C_shm larger(n.c_str(), req.first, req.second, false);
    EXPECT_FALSE(larger.valid());
    EXPECT_STREQ("Existing partition is incompatible with request", larger.Error());
  }
  EXPECT_EQ("1", made.getStat("use_count"));
}

// A refused request must not give back a registry entry it never took: the
// mapping shared by the other objects of the process stays in place.
TEST_F(PartitionTest, RefusedRequestLeavesOtherObjectsMappingIntact) {
  const std::string n = name("p");
  Peek first(n.c_str(), 2, 64, false);
  ASSERT_TRUE(first.valid());
  const int id = first.shmid();
  {
    C_shm second(n.c_str());
    ASSERT_TRUE(second.valid());
    C_shm refused(n.c_str(), 8, 64, false);
    ASSERT_FALSE(refused.valid());
    C_shm refused_again(n.c_str(), 2, 4096, false);
    ASSERT_FALSE(refused_again.valid());
    EXPECT_EQ(2, C_shm::attaches(id));
  }
  // The last other object is gone; first still owns a live mapping.
  char* b = first.buffer_addr(1);
  ASSERT_NE(nullptr, b);
  std::memset(b, 0x5a, 64);
  EXPECT_EQ(0x5a, static_cast<unsigned char>(first.buffer_addr(1)[63]));
  EXPECT_EQ(n, first.getStat("name"));
  EXPECT_EQ("1", first.getStat("use_count"));
  // Exactly one entry left for the segment: first's own.
  EXPECT_EQ(0, C_shm::add_shmid_entry(id));
  EXPECT_EQ(1, C_shm::rem_shmid_entry(id));
}

TEST_F(PartitionTest, RefusedRequestDoesNotRemoveAnUnusedPartition) {
  const std::string n = name("kept");
  {
    C_shm creator(n.c_str(), 2, 16, false);
    ASSERT_TRUE(creator.valid());
    creator.keep(true);
  }
  ASSERT_TRUE(partition_exists(n));
  {
    C_shm refused(n.c_str(), 3, 16, false);
    EXPECT_FALSE(refused.valid());
  }
  EXPECT_TRUE(partition_exists(n));
}

TEST_F(PartitionTest, ObjectsOfOneProcessShareOneMapping) {
  const std::string n = name("p");
  auto* a = new C_shm(n.c_str(), 2, 32, false);
  C_shm b(n.c_str());
  ASSERT_TRUE(a->valid());
  ASSERT_TRUE(b.valid());
  EXPECT_EQ(a->buffer_addr(0), b.buffer_addr(0));
  EXPECT_EQ(2, C_shm::attaches(n.c_str()));
  delete a;
  EXPECT_EQ(n, b.getStat("name"));
  EXPECT_EQ("1", b.getStat("use_count"));
  b.release();
  EXPECT_FALSE(partition_exists(n));
}

TEST_F(PartitionTest, LastReleaseRemovesSegmentAndSemaphores) {
  const std::string n = name("p");
  int shmid = -1;
  int semid = -1;
  {
    Peek p(n.c_str(), 2, 32, false);
    ASSERT_TRUE(p.valid());
    shmid = p.shmid();
    semid = p.semid();
  }
  shmid_ds ds;
  EXPECT_NE(0, shmctl(shmid, IPC_STAT, &ds));
  EXPECT_EQ(-1, semctl(semid, 0, GETVAL));
}

TEST_F(PartitionTest, KeepSurvivesTheLastRelease) {
  const std::string n = name("p");
  {
    C_shm p(n.c_str(), 1, 8, false);
    p.keep(true);
  }
  ASSERT_TRUE(partition_exists(n));
  C_shm again(n.c_str());
  ASSERT_TRUE(again.valid());
  EXPECT_EQ("1", again.getStat("use_count"));
}

TEST_F(PartitionTest, CopySharesTheAttachmentAsAnotherUser) {
  const std::string n = name("p");
  C_shm orig(n.c_str(), 2, 16, false);
  ASSERT_TRUE(orig.valid());
  C_shm copy(orig);
  ASSERT_TRUE(copy.valid());
  EXPECT_EQ(orig.buffer_addr(1), copy.buffer_addr(1));
  EXPECT_EQ("2", orig.getStat("use_count"));

  C_shm empty;
  C_shm empty_copy(empty);
  EXPECT_FALSE(empty_copy.valid());
  EXPECT_STREQ("No error", empty_copy.Error());
}

TEST_F(PartitionTest, FindAndMakeOnAnAttachedObject) {
  const std::string n = name("p");
  const std::string other = name("other");
  C_shm p(n.c_str(), 1, 8, false);
  ASSERT_TRUE(p.valid());
  EXPECT_TRUE(p.find(n.c_str()));
  EXPECT_TRUE(p.find(std::stoi(p.getStat("shmid"))));
  EXPECT_FALSE(p.make(other.c_str(), 1, 8));  // does nothing
  EXPECT_FALSE(partition_exists(other));
  EXPECT_FALSE(p.access());  // already a user
}

TEST_F(PartitionTest, MakeThenAccessByHand) {
  const std::string n = name("p");
  C_shm p;
  EXPECT_FALSE(p.access());
  ASSERT_FALSE(p.make(n.c_str(), 2, 8));
  EXPECT_FALSE(p.valid());
  EXPECT_EQ("0", p.getStat("use_count"));
  ASSERT_TRUE(p.access());
  EXPECT_EQ("1", p.getStat("use_count"));
  p.deaccess();
  EXPECT_EQ("0", p.getStat("use_count"));
}

TEST_F(PartitionTest, BadArgumentsToMake) {
  const std::string n = name("p");
  C_shm neg_count(n.c_str(), -1, 8, false);
  EXPECT_STREQ("Unable to create a new partition", neg_count.Error());
  C_shm neg_len(n.c_str(), 1, -8, false);
  EXPECT_STREQ("Unable to create a new partition", neg_len.Error());
  C_shm huge(n.c_str(), 1 << 20, 1 << 20, false);
  EXPECT_STREQ("Unable to create a new partition", huge.Error());
  C_shm too_many(n.c_str(), 40000, 1, false);  // more than a semaphore can count
  EXPECT_STREQ("Unable to create a new semaphore", too_many.Error());
  EXPECT_FALSE(partition_exists(n));
}

TEST_F(PartitionTest, OtherVersionIsRefusedAndLeftInPlace) {
  const std::string n = name("p");
  Peek p(n.c_str(), 1, 8, false);
  ASSERT_TRUE(p.valid());
  p.global()->version = 101;
  {
    C_shm other(n.c_str());
    EXPECT_FALSE(other.valid());
    EXPECT_STREQ("Incompatible version number", other.Error());
  }
  EXPECT_EQ("1", p.getStat("use_count"));
  p.global()->version = 102;
}

TEST_F(PartitionTest, ForeignSegmentsFoundByIdAreNeverRemoved) {
  // A zero-filled segment that is no partition, and one too small to be one.
  const int big = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  const int tiny = shmget(IPC_PRIVATE, 16, IPC_CREAT | 0600);
  ASSERT_GE(big, 0);
  ASSERT_GE(tiny, 0);
  {
    C_shm a(big);
    EXPECT_FALSE(a.valid());
    EXPECT_STREQ("Incompatible version number", a.Error());
    C_shm b(tiny);
    EXPECT_FALSE(b.valid());
    EXPECT_STREQ("Unable to attach partition", b.Error());
    C_shm c;
    ASSERT_FALSE(c.find(big));  // no check by id
    EXPECT_EQ("0", c.getStat("freebuf"));
    c.release();
  }
  shmid_ds ds;
  EXPECT_EQ(0, shmctl(big, IPC_STAT, &ds));
  EXPECT_EQ(0, ds.shm_perm.mode & SHM_DEST);
  shmctl(big, IPC_RMID, nullptr);
  shmctl(tiny, IPC_RMID, nullptr);
}

TEST_F(PartitionTest, CorruptedSizesAreRefused) {
  const std::string n = name("p");
  Peek p(n.c_str(), 2, 64, false);
  ASSERT_TRUE(p.valid());
  p.global()->nbuf = 1000;  // would reach past the segment
  C_shm other(n.c_str());
  EXPECT_FALSE(other.valid());
  EXPECT_STREQ("Existing partition is incompatible with request", other.Error());
  p.global()->nbuf = 2;
}

}  // namespace
