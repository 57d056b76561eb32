// Processes that die at bad moments, live processes of another user, a
// second master, and a monitor racing writers: the manager loses nothing
// and kicks out nobody who lives.
#include <grp.h>

#include <mutex>
#include <random>
#include <set>

#include "process_fixture.h"

using namespace hesk_mp;

namespace {

// Forks a child that runs fn once the parent writes a byte into the pipe.
// The child does not exec, so it reaches the test's code even where the test
// binary lies in a directory other users cannot enter.
template <typename Fn>
pid_t fork_on_signal(int* go_fd, Fn fn) {
  int p[2];
  if (pipe(p) != 0) return -1;
  pid_t pid = shm_test::spawn([&] {
    close(p[1]);
    char c;
    if (read(p[0], &c, 1) != 1) return 99;
    return fn();
  });
  close(p[0]);
  *go_fd = p[1];
  return pid;
}

TEST_F(HeskProcesses, LiveWriterOfAnotherUserIsNotKickedOut) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run a writer as another user";
  // Everything opened to every user, so that user 65534 can take part.
  setenv("HESK_IPC_MODE", "0666", 1);
  std::string data = data_name_ + ".other";
  data_names_.push_back(data);
  int go = -1;
  pid_t other = fork_on_signal(&go, [&] {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 30;
    Hesk w;
    if (w.init()) return 31;
    kova_client c = request();
    std::list<std::string> n{"OTHER"};
    if (w.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 32;
    int id = w.add(data.c_str(), 4, 1024, false);
    if (id < 0) return 33;
    int bnum = put_block(w, id, "OTHER", {6100, 0}, 1);
    // The set-up of this event looks at the root writer: kill(pid, 0) is
    // refused for lack of permission, which means alive.
    return bnum >= 0 && !w.ev_update(KOVA_EV_NORMAL, id, bnum) ? 0 : 34;
  });
  ASSERT_GT(other, 0);
  Hesk m;
  start_master(m, false, 4, 4);
  unsetenv("HESK_IPC_MODE");
  kova_client c = request();
  std::list<std::string> n{"ROOT"};
  int mine = m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n);
  ASSERT_GT(mine, 0);
  testing::internal::CaptureStdout();
  ASSERT_EQ(1, write(go, "g", 1));
  close(go);
  EXPECT_EQ(0, shm_test::wait_child(other, std::chrono::seconds(20)));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.find("will be kicked out"), std::string::npos) << out;
  EXPECT_EQ(0, m.if_cl_slot_free(mine));
  auto* slot = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(mine));
  EXPECT_EQ(slot->pid, getpid());
}

TEST_F(HeskProcesses, SubscriberKilledBeforeWritingItsSlotIsReclaimed) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  pid_t taker = child("slot-taker", {});
  ASSERT_TRUE(ready("slot"));
  int slot = read_count(dir_ + "/slot");
  ASSERT_GT(slot, 0);
  // Taken, but no pid in it: only the buffer knows whose it is.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(0, m.if_cl_slot_free(slot));
  kill_child(taker);
  EXPECT_TRUE(wait_for([&] { return m.if_cl_slot_free(slot) != 0; }, 5000));
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(r, 0);
}

TEST_F(HeskProcesses, BufferTakenByAKilledWriterComesBack) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  std::string data = data_name_ + ".held";
  data_names_.push_back(data);
  pid_t holder = child("holder", {"HOLDER", data});
  ASSERT_TRUE(ready("HOLDER"));
  C_shm_buffer view(data.c_str());
  ASSERT_TRUE(view.valid());
  EXPECT_EQ("3", view.getStat("freebuf"));
  // Let the monitor see the writer alive, then kill it with the buffer.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  kill_child(holder);
  EXPECT_TRUE(wait_for([&] { return view.getStat("freebuf") == "4"; }, 5000))
      << view.getStat("freebuf");
}

TEST_F(HeskProcesses, SecondMasterIsRefusedWhileTheFirstLives) {
  pid_t first = child("master", {"FIRST"});
  ASSERT_TRUE(ready("FIRST"));
  {
    Hesk second;
    small(second);
    second.set_master(true);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(second.init());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("another master (process " + std::to_string(first) + ")"), std::string::npos)
        << out;
    EXPECT_EQ(second.clid, -1);
    // Its predecessor dies: the next attempt takes over.
    kill_child(first);
    EXPECT_FALSE(second.init());
    int slot = second.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, nullptr, nullptr);
    EXPECT_EQ(slot, -1);  // a null request is refused; the object works
    kova_client c = request();
    EXPECT_GT(second.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, nullptr), 0);
  }
}

TEST_F(HeskProcesses, MasterCleanUpKeepsPartitionsOthersStillAttach) {
  {
    Hesk m;
    start_master(m, false, 4, 4);
    child("attacher", {"CLIENT"});
    ASSERT_TRUE(ready("CLIENT"));
  }
  EXPECT_TRUE(shm_test::partition_exists(cl_name_));
  EXPECT_TRUE(shm_test::partition_exists(ev_name_));
}

// Writers, a reader and a monitor that frees every event left waiting for
// more than a few milliseconds, all at once: a block is either in an event
// that reaches the reader once, or refused and back with its writer; at the
// end every buffer and every slot is free.
TEST_F(HeskProcesses, BusyMonitorAgainstWritersAndReaderLosesNothing) {
  static std::mutex seen_mx;
  static std::set<long> seen;
  static std::atomic<int> duplicates{0};
  seen.clear();
  duplicates = 0;
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(1000);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  // A slow name lookup holds the writer inside the store now and then, for
  // longer than the monitor waits before it frees a quiet event.
  m.set_get_name_func(KOVA_EV_NORMAL, [](char* block) {
    static unsigned n = 0;
    if (++n % 10 == 0) usleep(25000);
    return get_bname_known(block);
  });
  Hesk r;
  r.set_ev_handler([](void* head, kova_client_sblock_data*) {
    auto* h = static_cast<kova_event_slot_head*>(head);
    std::lock_guard<std::mutex> lock(seen_mx);
    if (!seen.insert(h->time.timeup).second) duplicates += 1;
  });
  ASSERT_FALSE(r.init());
  ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  std::mt19937 rng(7);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
  unsigned t = 20000;
  while (std::chrono::steady_clock::now() < deadline) {
    t += 1;
    for (const char* name : {"A", "B"}) {
      int bnum = -1;
      ASSERT_TRUE(wait_for([&] { return (bnum = put_block(m, id, name, {t, 0}, 1)) >= 0; }));
      if (m.ev_update(KOVA_EV_NORMAL, id, bnum)) {
        ASSERT_FALSE(m.return_buffer_in_pool(bnum, id));
      }
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 15000));
    }
  }
  EXPECT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000))
      << free_buffers(m, id);
  EXPECT_EQ(duplicates.load(), 0);
}

}  // namespace
