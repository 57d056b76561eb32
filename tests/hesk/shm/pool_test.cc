// Partition pool: its three maps, best-fit selection, address translation
// with auto-add, returns, and what an empty pool answers.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "C_shm_mpool.h"
#include "shm_test_util.h"

namespace {

using shm_test::partition_exists;
using shm_test::ShmTest;

// Exposes the maps for inspection.
class Pool : public C_shm_mpool {
 public:
  size_t names() const { return buffers_names.size(); }
  size_t ids() const { return buffers_ids.size(); }
  size_t sizes() const { return buffers_sz.size(); }
};

class PoolTest : public ShmTest {};

TEST_F(PoolTest, BestFitShortestFirstThenOrderOfAddition) {
  const std::string small = name("small");
  const std::string a = name("A");
  const std::string b = name("B");
  Pool pool;
  const int id_small = pool.add(small.c_str(), 2, 1000, false);
  const int id_a = pool.add(a.c_str(), 2, 4000, false);
  const int id_b = pool.add(b.c_str(), 1, 4000, false);
  ASSERT_GT(id_small, 0);
  ASSERT_GT(id_a, 0);
  ASSERT_GT(id_b, 0);

  int id = 0;
  int bnum = -1;
  char* p = pool.get_buffer_from_pool(4, 2000, &id, &bnum);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(id_a, id);
  EXPECT_EQ(0, bnum);
  id = 0;
  ASSERT_NE(nullptr, pool.get_buffer_from_pool(4, 2000, &id, &bnum));
  EXPECT_EQ(id_a, id);
  EXPECT_EQ(1, bnum);
  id = 0;
  ASSERT_NE(nullptr, pool.get_buffer_from_pool(4, 4000, &id, &bnum));  // A is exhausted
  EXPECT_EQ(id_b, id);
  EXPECT_EQ(nullptr, pool.get_buffer_from_pool(4, 2000, nullptr, &bnum));  // all 4000s out
  EXPECT_EQ(nullptr, pool.get_buffer_from_pool(4, 5000, nullptr, nullptr));
  id = 0;
  ASSERT_NE(nullptr, pool.get_buffer_from_pool(4, 0, &id, nullptr));
  EXPECT_EQ(id_small, id);
  EXPECT_EQ(nullptr, pool.get_buffer_from_pool(4, -1, nullptr, nullptr));
}

TEST_F(PoolTest, NamedPartitionMustFitOnItsOwn) {
  const std::string small = name("small");
  const std::string big = name("big");
  Pool pool;
  const int id_small = pool.add(small.c_str(), 2, 100, false);
  ASSERT_GT(pool.add(big.c_str(), 2, 1000, false), 0);
  int id = id_small;
  int bnum = -1;
  EXPECT_EQ(nullptr, pool.get_buffer_from_pool(4, 500, &id, &bnum));  // no fallback to big
  EXPECT_EQ(-1, bnum);
  char* p = pool.get_buffer_from_pool(4, 50, &id, &bnum);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(id_small, id);
  EXPECT_EQ(0, bnum);
  id = 0x7ffffff0;  // not in the pool
  EXPECT_EQ(nullptr, pool.get_buffer_from_pool(4, 10, &id, &bnum));
}

TEST_F(PoolTest, AddressesReturnsAndIdsOfBuffers) {
  const std::string a = name("a");
  const std::string b = name("b");
  Pool pool;
  const int id_a = pool.add(a.c_str(), 2, 64, false);
  const int id_b = pool.add(b.c_str(), 2, 64, false);
  int id = id_b;
  int bnum = -1;
  char* p = pool.get_buffer_from_pool(4, 10, &id, &bnum);
  ASSERT_NE(nullptr, p);
  EXPECT_EQ(p, pool.get_buffer_address(bnum, id_b, false));
  int found = 0;
  EXPECT_EQ(bnum, pool.get_buffer_id_from_pool(p, &found));
  EXPECT_EQ(id_b, found);
  EXPECT_EQ(-1, pool.get_buffer_id_from_pool(p + 1, &found));
  EXPECT_EQ(nullptr, pool.get_buffer_address(2, id_a, false));

  EXPECT_TRUE(pool.return_buffer_in_pool(p, id_a));  // not a's buffer
  EXPECT_FALSE(pool.return_buffer_in_pool(p, id_b));
  EXPECT_FALSE(pool.return_buffer_in_pool(p));  // already free, still counts as returned
  EXPECT_TRUE(pool.return_buffer_in_pool(p + 1));

  p = pool.get_buffer_from_pool(4, 10, &id, &bnum);
  EXPECT_TRUE(pool.return_buffer_in_pool(bnum, -1));
  EXPECT_TRUE(pool.return_buffer_in_pool(-1, id_b));
  EXPECT_TRUE(pool.return_buffer_in_pool(bnum, 0x7ffffff0));
  EXPECT_FALSE(pool.return_buffer_in_pool(bnum, id_b));
  EXPECT_TRUE(pool.return_buffer_in_pool(bnum, id_b));  // already free
  EXPECT_EQ("2", pool.find_by_id(id_b)->getStat("freebuf"));
}

TEST_F(PoolTest, GetBufferAddressAddsPartitionsFirstSeen) {
  const std::string home = name("home");
  const std::string other = name("other");
  C_shm_buffer outside(other.c_str(), 3, 32, false);
  ASSERT_TRUE(outside.valid());
  const int id = std::stoi(outside.getStat("shmid"));

  Pool empty_pool;
  EXPECT_EQ(nullptr, empty_pool.get_buffer_address(1, id, true));
  EXPECT_EQ(0u, empty_pool.ids());

  Pool pool;
  ASSERT_GT(pool.add(home.c_str(), 1, 8, false), 0);
  EXPECT_EQ(nullptr, pool.get_buffer_address(1, id, false));
  EXPECT_EQ(outside.buffer_addr(1), pool.get_buffer_address(1, id, true));
  EXPECT_EQ(2u, pool.ids());
  EXPECT_NE(nullptr, pool.find_by_name(other.c_str()));
  EXPECT_EQ(nullptr, pool.get_buffer_address(3, id, true));
  EXPECT_EQ(nullptr, pool.get_buffer_address(0, 0x7ffffff0, true));
  EXPECT_EQ(nullptr, pool.get_buffer_address(0, 0, true));
}

TEST_F(PoolTest, AddFindRemoveAndExists) {
  const std::string a = name("a");
  const std::string missing = name("missing");
  Pool pool;
  EXPECT_TRUE(pool.exists(5));  // empty pool answers true
  EXPECT_TRUE(pool.exists(a.c_str()));
  EXPECT_TRUE(pool.remove(a.c_str()));
  EXPECT_TRUE(pool.remove(5));

  EXPECT_TRUE(pool.add(missing.c_str()));
  EXPECT_TRUE(pool.add(0x7ffffff0));
  EXPECT_TRUE(pool.add(0));
  EXPECT_EQ(0u, pool.sizes());

  C_shm creator(a.c_str(), 2, 16, false);
  ASSERT_TRUE(creator.valid());
  const int id = std::stoi(creator.getStat("shmid"));
  EXPECT_FALSE(pool.add(a.c_str()));
  EXPECT_FALSE(pool.add(a.c_str()));  // already there
  EXPECT_FALSE(pool.add(id));
  EXPECT_EQ(1u, pool.names());
  EXPECT_EQ(1u, pool.ids());
  EXPECT_EQ(1u, pool.sizes());
  EXPECT_EQ(pool.find_by_id(id), pool.find_by_name(a.c_str()));
  EXPECT_TRUE(pool.exists(id));
  EXPECT_TRUE(pool.exists(a.c_str()));
  EXPECT_FALSE(pool.exists(id + 1));
  EXPECT_FALSE(pool.exists(missing.c_str()));
  EXPECT_EQ("2", creator.getStat("use_count"));

  EXPECT_FALSE(pool.remove(id));
  EXPECT_EQ(0u, pool.names() + pool.ids() + pool.sizes());
  EXPECT_EQ("1", creator.getStat("use_count"));
  EXPECT_FALSE(pool.add(id));
  EXPECT_FALSE(pool.remove(a.c_str()));
  EXPECT_EQ(nullptr, pool.find_by_name(a.c_str()));
}

TEST_F(PoolTest, RefusedAddIsReported) {
  const std::string a = name("a");
  Pool pool;
  ASSERT_GT(pool.add(a.c_str(), 2, 16, false), 0);
  testing::internal::CaptureStdout();
  EXPECT_EQ(-1, pool.add(a.c_str(), 4, 16, false));
  EXPECT_EQ("C_shm_mpool::add() " + a + " 4 16  bf->valid():0\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ(1u, pool.sizes());
}

// A second add of one name re-points the name and id entries; the pool still
// owns and finally destroys both objects, so the partition goes with it.
TEST_F(PoolTest, SecondAddOfOneNameAndDestruction) {
  const std::string a = name("a");
  const std::string b = name("b");
  {
    Pool pool;
    const int id = pool.add(a.c_str(), 2, 16, false);
    C_shm_buffer* first = pool.find_by_id(id);
    EXPECT_EQ(id, pool.add(a.c_str(), 2, 16, false));
    EXPECT_NE(first, pool.find_by_id(id));
    EXPECT_EQ(pool.find_by_id(id), pool.find_by_name(a.c_str()));
    EXPECT_EQ(2u, pool.sizes());
    EXPECT_EQ("2", first->getStat("use_count"));
    ASSERT_GT(pool.add(b.c_str(), 1, 8, false), 0);
    ASSERT_NE(nullptr, pool.find_by_name(b.c_str())->get_buffer(0, false));
  }
  EXPECT_FALSE(partition_exists(a));
  EXPECT_FALSE(partition_exists(b));
}

TEST_F(PoolTest, BufmodeAndDumps) {
  const std::string a = name("a");
  Pool pool;
  std::ostringstream os;
  pool.pooldump(os);
  EXPECT_EQ("C_shm_mpool::dump() No partition in the pool\n", os.str());
  pool.bufmode(1, 5);  // empty pool: silent

  const int id = pool.add(a.c_str(), 1, 8, false);
  pool.bufmode(2, a.c_str());
  EXPECT_EQ("scavage", pool.find_by_id(id)->getStat("pflags"));
  pool.bufmode(3, id);
  EXPECT_EQ("release,expose", pool.find_by_id(id)->getStat("pflags"));
  testing::internal::CaptureStdout();
  pool.bufmode(1, "no such name");
  pool.bufmode(1, 0x7ffffff0);
  EXPECT_EQ("Partition not found: 2147483632\n ", testing::internal::GetCapturedStdout());

  std::ostringstream one;
  pool.pooldump(one);
  std::ostringstream direct;
  pool.find_by_id(id)->dump(direct);
  EXPECT_EQ("Partition 0\n" + direct.str(), one.str());
}

}  // namespace
