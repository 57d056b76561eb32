// Steps of two processes put into a chosen order through the manager's test
// points: a writer that dies between the monitor's looks, and a writer killed
// half way through setting up an event. Nothing another process deposited
// may be lost or handed out twice.
#include <atomic>

#include "process_fixture.h"
#include "test_points.h"

using namespace hesk_mp;

namespace {

// The monitor held at its point once armed, until released.
std::atomic<bool> g_armed{false}, g_held{false}, g_released{false};
std::atomic<int> g_passes{0};
void hold_monitor(const char* point) {
  if (strcmp(point, "monitor:snapshots") != 0) return;
  g_passes += 1;
  if (!g_armed.exchange(false)) return;
  g_held = true;
  while (!g_released.load()) usleep(1000);
}

int free_of(const std::string& partition) {
  C_shm_buffer v(partition.c_str());
  if (!v.valid()) return -1;
  v.keep(true);
  return atoi(v.getStat("freebuf").c_str());
}

// A master that writes block B, with a fast monitor that a test can hold at
// its point; the hook goes when the test ends.
class MonitorOrder : public HeskProcesses {
 protected:
  void SetUp() override {
    HeskProcesses::SetUp();
    g_armed = g_held = g_released = false;
    hesk_mgr::set_test_point_hook(hold_monitor);
  }
  void TearDown() override {
    g_released = true;
    hesk_mgr::set_test_point_hook(nullptr);
    HeskProcesses::TearDown();
  }
  // Starts m as that master; the id of its data partition.
  int start_writing_master(Hesk& m, unsigned long period_us) {
    start_master(m, false, 4, 4);
    m.set_monitoring_period(period_us);
    kova_client c = request();
    auto mine = names({"B"});
    EXPECT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &mine), 0);
    return m.add(data_name_.c_str(), 4, 1024, false);
  }
  // Holds the monitor's next pass at its point.
  void hold() {
    g_armed = true;
    ASSERT_TRUE(wait_for([] { return g_held.load(); }));
  }
};

}  // namespace

// A writer deposits after the monitor's pass has looked at the event slots
// and dies before the pass looks for writers that are gone: its deposited
// buffer still belongs to the event and is not reclaimed.
TEST_F(MonitorOrder, MonitorLeavesTheBufferOfAnEventWhoseWriterDiedMeanwhile) {
  Hesk m;
  int id = start_writing_master(m, 20000);
  writer("A", 1, 8000);
  ASSERT_TRUE(ready("A"));
  std::string data_a = data_names_.back();

  hold();
  go();  // A deposits its block of event 8000 and is killed
  ASSERT_TRUE(wait_file(dir_ + "/sent.A", 20000));
  kill_child(children_.back());
  int passes = g_passes.load();
  g_released = true;
  ASSERT_TRUE(wait_for([&] { return g_passes.load() >= passes + 2; }));
  EXPECT_EQ(free_of(data_a), kDataBuffers - 1) << "a buffer the event holds was reclaimed";

  // The event ends with B's block; each buffer comes back once.
  testing::internal::CaptureStdout();
  int b = put_block(m, id, "B", {8000, 0}, 1);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(free_of(data_a), kDataBuffers);
  EXPECT_EQ(free_buffers(m, id), 4);
  EXPECT_EQ(out.find("failed to free"), std::string::npos) << out;
}

// A writer killed while it sets up an event (its record marked used, its
// clients not yet chosen): the event's other blocks are still taken and
// reach the reader.
TEST_F(HeskProcesses, EventOfAWriterKilledInItsSetUpStillReachesTheReader) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  auto mine = names({"B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &mine), 0);
  int id = m.add(data_name_.c_str(), 4, 1024, false);
  reader("R");
  ASSERT_TRUE(ready("R"));
  std::string data_a = data_name_ + ".A";
  data_names_.push_back(data_a);
  pid_t victim = child("setup-victim", {"A", data_a, "8100"});
  ASSERT_TRUE(ready("A"));
  usleep(100000);  // the monitor sees the writer subscribed
  go();
  EXPECT_EQ(128 + SIGKILL, shm_test::wait_child(victim, std::chrono::seconds(20)));

  int b = put_block(m, id, "B", {8100, 0}, 1);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b)) << "the block was refused";
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }));
  touch(dir_ + "/stop");
  for (pid_t p : children_)
    if (p != victim) shm_test::wait_child(p, std::chrono::seconds(10));
  EXPECT_EQ(read_count(dir_ + "/count.R"), 1);
  // The buffer the victim took is reclaimed by the monitor.
  EXPECT_TRUE(wait_for([&] { return free_of(data_a) == kDataBuffers; }));
  EXPECT_EQ(free_buffers(m, id), 4);
}

// The event partition's gate held by another process for longer than the
// attempts to take a free slot last: the first block of a new event waits
// for the gate and is taken; a block is refused only when no slot is free.
TEST_F(HeskProcesses, FirstBlockWaitsForABusyGateWhileSlotsAreFree) {
  Hesk m;
  start_master(m, false, 4, 4);
  kova_client c = request();
  auto mine = names({"A"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &mine), 0);
  int id = m.add(data_name_.c_str(), 4, 1024, false);
  pid_t holder = child("gate-holder", {ev_name_, "300"});
  ASSERT_TRUE(ready("gate"));
  int a = put_block(m, id, "A", {8200, 0}, 1);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a)) << "refused while slots were free";
  EXPECT_EQ(0, shm_test::wait_child(holder, std::chrono::seconds(10)));
  EXPECT_TRUE(wait_for([&] { return all_events_free(m); }));
  EXPECT_EQ(free_buffers(m, id), 4);
}

// A writer that the monitor never saw subscribed (it came and was killed
// while a pass was held, and another writer's set-up kicked it out) still
// gets the buffer it took back, from a partition events used before.
TEST_F(MonitorOrder, BufferOfAWriterTheMonitorNeverSawComesBack) {
  Hesk m;
  int id = start_writing_master(m, 5000);
  // A first writer of partition A delivers an event the monitor sees.
  pid_t first = writer("A", 1, 8300);
  std::string data_a = data_names_.back();
  ASSERT_TRUE(ready("A"));
  go();
  ASSERT_TRUE(wait_file(dir_ + "/sent.A", 20000));
  int passes = g_passes.load();
  ASSERT_TRUE(wait_for([&] { return g_passes.load() >= passes + 3; }));
  int b = put_block(m, id, "B", {8300, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
  kill_child(first);
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }));

  // While a pass is held, a second writer of partition A takes a buffer and
  // is killed, and a new event's set-up kicks it out.
  hold();
  pid_t second = child("holder", {"A2", data_a});
  ASSERT_TRUE(ready("A2"));
  kill_child(second);
  testing::internal::CaptureStdout();
  b = put_block(m, id, "B", {8301, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("will be kicked out"), std::string::npos) << out;
  g_released = true;
  EXPECT_TRUE(wait_for([&] { return free_of(data_a) == kDataBuffers; }, 10000))
      << free_of(data_a) << " of " << kDataBuffers << " free";
}
