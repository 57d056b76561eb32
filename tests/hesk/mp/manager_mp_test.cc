// Multi-process tests of the buffer manager: writers and readers in several
// processes, and processes killed at the moments the manager must survive.
#include "process_fixture.h"

using namespace hesk_mp;

TEST_F(HeskProcesses, SeveralWritersAndReadersInSeveralProcesses) {
  Hesk m;
  start_master(m, false, 4, 4);
  const int kEvents = 40;
  writer("W1", kEvents, 5000);
  writer("W2", kEvents, 5000);
  reader("R1");
  reader("R2");
  for (const char* who : {"W1", "W2", "R1", "R2"}) ASSERT_TRUE(ready(who)) << who;
  go();
  ASSERT_TRUE(wait_file(dir_ + "/sent.W1", 30000));
  ASSERT_TRUE(wait_file(dir_ + "/sent.W2", 30000));
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }, 10000));
  touch(dir_ + "/stop");
  for (const char* r : {"R1", "R2"}) {
    ASSERT_TRUE(wait_file(dir_ + "/count." + r, 10000));
    EXPECT_EQ(read_count(dir_ + "/count." + r), kEvents) << r;
  }
  for (pid_t p : children_) EXPECT_EQ(shm_test::wait_child(p, std::chrono::milliseconds(10000)), 0);
  children_.clear();
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(r, 0);
}

TEST_F(HeskProcesses, KilledReaderIsReclaimedAndOthersKeepReceiving) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t stuck = reader("STUCK", /*hang=*/true);
  reader("GOOD");
  ASSERT_TRUE(ready("STUCK"));
  ASSERT_TRUE(ready("GOOD"));
  const int kEvents = 30;
  for (int i = 0; i < kEvents; ++i) {
    if (i == 10) kill_child(stuck);
    int bnum = -1;
    ASSERT_TRUE(wait_for(
        [&] {
          return (bnum = put_block(m, id, "M", {9000u + i, 0}, i + 1)) >= 0;
        },
        10000))
        << i;
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum)) << i;
  }
  // The monitor frees the events the dead reader held, its slot goes, and
  // every buffer is back in the partition.
  ASSERT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(r, 1);
  touch(dir_ + "/stop");
  ASSERT_TRUE(wait_file(dir_ + "/count.GOOD", 10000));
  EXPECT_EQ(read_count(dir_ + "/count.GOOD"), kEvents);
}

TEST_F(HeskProcesses, WriterKilledBeforeDeliveringIsReclaimed) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t late = writer("LATE", 1, 7000);  // announces "LATE" but never gets to send
  ASSERT_TRUE(ready("LATE"));
  int bnum = put_block(m, id, "M", {7000, 0}, 1);
  ASSERT_GE(bnum, 0);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  EXPECT_EQ(hesk_test::record_status(m, 1), EVT_C_USED);
  kill_child(late);
  ASSERT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
  int w = -1;
  m.cl_subscribed(&w, nullptr);
  EXPECT_EQ(w, 1);  // the dead writer's slot is gone, the master's stays
}

TEST_F(HeskProcesses, DeadWriterIsKickedOutWhenANewEventIsSetUp) {
  Hesk m;
  start_master(m, false, 4, 4);  // default monitor period: the set-up acts first
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t dead = writer("GONE", 1, 3000);
  ASSERT_TRUE(ready("GONE"));
  int w = 0;
  m.cl_subscribed(&w, nullptr);
  ASSERT_EQ(w, 2);
  kill_child(dead);
  int bnum = put_block(m, id, "M", {3000, 0}, 1);
  ASSERT_GE(bnum, 0);
  testing::internal::CaptureStdout();
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("init_ev_slot(): " + std::to_string(dead) + "  will be kicked out"),
            std::string::npos)
      << out;
  m.cl_subscribed(&w, nullptr);
  EXPECT_EQ(w, 1);
  // Only the master's own writer took part: the event is complete at once.
  EXPECT_TRUE(all_events_free(m));
}

TEST_F(HeskProcesses, LiveReaderInItsCallbackKeepsItsEvent) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t stuck = reader("BUSY", /*hang=*/true);
  ASSERT_TRUE(ready("BUSY"));
  int bnum = put_block(m, id, "M", {4000, 0}, 1);
  ASSERT_GE(bnum, 0);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  // Many more than ten monitor passes: the event stays while its reader lives.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(hesk_test::record_status(m, 1), EVT_C_USED);
  kill_child(stuck);
  EXPECT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
}

int main(int argc, char** argv) {
  if (argc >= 2 && strncmp(argv[1], "--hesk-child=", 13) == 0) return run_child(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
