// The manager's counts (hesk_stats.h): every process of the manager adds to
// them, they outlive the processes that made them, a restarted master goes
// on with them, and they leave the host with the control partitions.
#include "hesk_stats.h"
#include "process_fixture.h"

using namespace hesk_mp;

namespace {

// The counts as they are now; all zero when the partition is not there.
hesk_stats_block read_counts(const std::string& name) {
  hesk_stats_block b;
  memset(&b, 0, sizeof(b));
  C_shm p(name.c_str());
  p.keep(true);  // looking must not remove it
  if (!p.valid() || p.getBufferLength() < HESK_STATS_OFFSET - 348 + static_cast<int>(sizeof(b)))
    return b;
  memcpy(&b, p.buffer_addr(0) + (HESK_STATS_OFFSET - 348), sizeof(b));
  return b;
}

// The UDP port of the first reader slot.
int reader_port(Hesk& m) {
  for (int c = 1; c < m.cl_buf->getBufferCount(); ++c) {
    auto* s = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(c));
    if (m.if_cl_slot_free(c) == 0 && s->cltype == CLI_T_READER)
      return reinterpret_cast<kova_client_reader*>(s + 1)->qid;
  }
  return -1;
}

}  // namespace

TEST_F(HeskProcesses, CountsOutliveTheProcessesThatMadeThem) {
  const std::string stats = ev_name_ + ".stats";
  const int normal = KOVA_EV_NORMAL;
  {
    Hesk m;
    start_master(m, false, 4, 4);
    m.set_forced(false);  // the partitions stay while a dead writer counts as their user
    m.set_monitoring_period(20000);
    ASSERT_TRUE(shm_test::partition_exists(stats));
    reader("R");
    ASSERT_TRUE(ready("R"));
    writer("W", 5, 7000);
    ASSERT_TRUE(ready("W"));
    go();
    // Set up by the writer's process, completed and freed by the reader's.
    EXPECT_TRUE(wait_for([&] { return read_counts(stats).events_freed[normal] == 5; }, 10000));
    hesk_stats_block b = read_counts(stats);
    EXPECT_EQ(b.events_set_up[normal], 5u);
    EXPECT_EQ(b.events_completed[normal], 5u);
    EXPECT_EQ(b.datagrams_dropped, 0u);

    // A datagram the reader cannot act on.
    int port = reader_port(m);
    ASSERT_GT(port, 0);
    hesk_test::send_datagram(port, "bad", 3);
    EXPECT_TRUE(wait_for([&] { return read_counts(stats).datagrams_dropped == 1; }));

    // A writer killed with a buffer: the monitor takes back its client slot
    // and its buffer, and counts both.
    std::string data = data_name_ + ".held";
    data_names_.push_back(data);
    pid_t holder = child("holder", {"HOLDER", data});
    ASSERT_TRUE(ready("HOLDER"));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));  // seen alive first
    kill_child(holder);
    EXPECT_TRUE(wait_for([&] {
      b = read_counts(stats);
      return b.reclaims[HESK_RECLAIM_CLIENT_SLOT] >= 1 && b.reclaims[HESK_RECLAIM_BUFFER] >= 1;
    }));
    EXPECT_EQ(b.reclaims[HESK_RECLAIM_EVENT_SLOT], 0u);
    touch(dir_ + "/stop");
    for (pid_t p : children_) shm_test::wait_child(p, std::chrono::milliseconds(10000));
    children_.clear();
  }
  // The killed writer still counts as a user of the partitions: they stay,
  // counts and all, and the next master goes on with them.
  ASSERT_TRUE(shm_test::partition_exists(stats));
  {
    Hesk again;
    start_master(again, false, 4, 4);
    EXPECT_EQ(read_counts(stats).events_set_up[normal], 5u);
  }
  // A master with forced set removes them with the control partitions.
  EXPECT_FALSE(shm_test::partition_exists(cl_name_));
  EXPECT_FALSE(shm_test::partition_exists(stats));
}
