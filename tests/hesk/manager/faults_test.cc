// The manager against what others leave in shared memory and send on its
// sockets: slots freed under a writer, counts that lie, half-done steps of
// killed processes, an unfinished start-up, forged datagrams, partitions
// that vanish, a second master, and partitions of another user.
#include <fcntl.h>
#include <grp.h>
#include <sys/sem.h>

#include <sstream>

#include "hesk_test_util.h"

namespace {

using hesk_test::HeskTest;
using hesk_test::wait_for;
using shm_test::Peek;

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

// A process id that is certainly gone: a child that has been reaped.
pid_t dead_pid() {
  pid_t p = fork();
  if (p == 0) _exit(0);
  waitpid(p, nullptr, 0);
  return p;
}

kova_event_slot_head* slot_head(Hesk& h, int s) {
  return reinterpret_cast<kova_event_slot_head*>(h.ev_buf->buffer_addr(s));
}

TEST_F(HeskTest, StoreIntoASlotFreedOrReusedMeanwhileIsRefused) {
  Hesk m;
  m.set_nev_slots(1);  // one event slot: a new event must reuse it
  start_master(m);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  int a = put_block(m, id, "A", {100, 0}, 1);
  int s = m.find_ev_slot(KOVA_EV_NORMAL, m.get_buffer_address(a, id, true));
  ASSERT_EQ(s, 1);
  // Freed between finding and storing: the store is refused and the block
  // stays with the writer.
  ASSERT_FALSE(m.free_ev_slot(s));
  EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, id, a, s));
  EXPECT_EQ(hesk_test::record_status(m, s), EVT_C_FREE);
  // Set up again for another event: still refused, the new event untouched.
  int b = put_block(m, id, "B", {500, 0}, 2);
  ASSERT_EQ(m.find_ev_slot(KOVA_EV_NORMAL, m.get_buffer_address(b, id, true)), s);
  EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, id, a, s));
  EXPECT_EQ(slot_head(m, s)->sbfilled, 0);
  EXPECT_EQ(slot_head(m, s)->time.timeup, 500u);
  // The right block goes in; the refused one goes back by its writer.
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b, s));
  EXPECT_FALSE(m.return_buffer_in_pool(a, id));
  EXPECT_FALSE(m.free_ev_slot(s));
  EXPECT_EQ(free_buffers(m, id), 8);
}

TEST_F(HeskTest, CountsThatLieAreRefusedNotTrusted) {
  Hesk m;
  start_master(m);
  m.set_monitoring_period(5000);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  const struct {
    int32_t nclients, sbfilled;
  } lies[] = {{-5, 0}, {1, -3}, {1 << 30, 0}, {1, 1 << 28}};
  unsigned t = 300;
  for (const auto& lie : lies) {
    t += 10;
    int a = put_block(m, id, "A", {t, 0}, 1);
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
    int s = m.find_ev_slot(KOVA_EV_NORMAL, m.get_buffer_address(a, id, true));
    ASSERT_GT(s, 0);
    hesk_test::under_slot_lock(m, s, [&] {
      slot_head(m, s)->nclients = lie.nclients;
      slot_head(m, s)->sbfilled = lie.sbfilled;
      return 0;
    });
    int b = put_block(m, id, "B", {t, 0}, 1);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, id, b, s)) << lie.nclients << " " << lie.sbfilled;
    EXPECT_EQ(m.cl_notify(s), 0);
    m.check_if_all_collected(s, 1);  // reads nothing outside the slot
    std::ostringstream dump;
    m.dump_ev_slots(dump);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("is corrupt"), std::string::npos) << out;
    EXPECT_FALSE(m.return_buffer_in_pool(b, id));
  }
  // The monitor frees the corrupt slots after their ten quiet passes.
  EXPECT_TRUE(wait_for([&] {
    for (int s = 1; s < m.ev_buf->getBufferCount(); ++s)
      if (hesk_test::record_status(m, s) != EVT_C_FREE) return false;
    return true;
  }));
}

TEST_F(HeskTest, MonitorRepairsStepsCutShortByKilledProcesses) {
  Hesk m;
  start_master(m);
  m.set_monitoring_period(5000);
  int id = m.add(data_name_.c_str(), 6, 256, false);
  Peek data(data_name_.c_str());
  data.keep(true);
  Peek events(ev_name_.c_str());
  events.keep(true);
  Peek clients(cl_name_.c_str());
  clients.keep(true);
  ASSERT_TRUE(data.valid() && events.valid() && clients.valid());
  pid_t gone = dead_pid();

  // A take cut short between the queue and the free bit: off the queue, bit set.
  ASSERT_TRUE(data.gate(true));
  int cut = data.global()->free.remove(data.desc(), 6);
  data.gate(false);
  // A return cut short before the count was posted: queued, count not raised.
  char* taken = data.get_buffer(4, true);
  ASSERT_NE(taken, nullptr);
  int back = data.buffer_id(taken);
  ASSERT_TRUE(data.gate(true));
  data.desc()[back].status |= C_SHM_BUF_FREE;
  data.global()->free.link(data.desc(), 6, back);
  data.gate(false);
  // An event slot taken by a set-up that never marked its record.
  char* ev = events.get_buffer(4, true);
  ASSERT_NE(ev, nullptr);
  int evslot = events.buffer_id(ev);
  // A client slot taken by a subscriber that died before writing its pid.
  char* cl = clients.get_buffer(4, true);
  ASSERT_NE(cl, nullptr);
  int clslot = clients.buffer_id(cl);
  ASSERT_TRUE(clients.gate(true));
  clients.desc()[clslot].owner_pid = gone;
  clients.gate(false);

  EXPECT_TRUE(wait_for([&] {
    return data.getStat("freebuf") == "6" && data.semval(gbl_empty) == 6 &&
           events.buffer_status(evslot) != 0 && clients.buffer_status(clslot) != 0;
  })) << data.getStat("freebuf")
      << " " << data.semval(gbl_empty) << " cut " << cut;
  // Everything can be taken again, exactly once.
  int got = 0;
  while (m.get_buffer_from_pool(4, 16, &id, nullptr) != nullptr) ++got;
  EXPECT_EQ(got, 6);
}

TEST_F(HeskTest, StartUpCutShortIsFinishedByTheNextMaster) {
  // A master killed after making both partitions: buffer 0 still queued and
  // the control block never marked ready.
  {
    C_shm_buffer cl(cl_name_.c_str(), 129, 48 + 256 * 4, true);
    C_shm_buffer ev(ev_name_.c_str(), 33, 60 + 8 * (33 * 4 + 2), true);
    ASSERT_TRUE(cl.valid() && ev.valid());
    cl.keep(true);
    ev.keep(true);
  }
  Hesk m;
  start_master(m);
  EXPECT_EQ(m.if_cl_slot_free(0), 0);
  EXPECT_EQ(m.ev_buf->buffer_status(0), 0);
  EXPECT_EQ(m.clictrl->status, CLI_C_INIT);
  Hesk client;
  ASSERT_FALSE(client.init());
  kova_client c = request();
  EXPECT_EQ(client.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, nullptr), 1);
}

TEST_F(HeskTest, ReaderSocketOnDescriptorZeroIsCloseOnExec) {
  Hesk m;
  start_master(m);
  int saved = dup(0);
  close(0);  // a daemon without standard input
  Hesk r;
  ASSERT_FALSE(r.init());
  kova_client c = request();
  int slot = r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr);
  int qid = r.qid;
  int flags = fcntl(qid, F_GETFD);
  r.unsubscribe(KOVA_EV_NORMAL, CLI_T_READER);
  dup2(saved, 0);
  close(saved);
  EXPECT_GT(slot, 0);
  EXPECT_EQ(qid, 0);
  EXPECT_TRUE(flags & FD_CLOEXEC);
}

TEST_F(HeskTest, SecondMasterAndOtherLayoutAreRefused) {
  Hesk m;
  start_master(m);
  Hesk again;
  small(again);
  again.set_master(true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(again.init());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("another master (process " + std::to_string(getpid()) + ")"),
            std::string::npos)
      << out;
  Hesk wide;
  wide.set_evid_64bit_mode(true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(wide.init());
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("use the 2010 layout, this process the 2024 layout"), std::string::npos)
      << out;
  Hesk same;
  EXPECT_FALSE(same.init());
}

TEST_F(HeskTest, ForgedDatagramForAnotherReaderIsDropped) {
  static std::atomic<int> calls{0};
  calls = 0;
  Hesk m;
  start_master(m, false, 4, 4);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  auto count = [](void*, kova_client_sblock_data*) { calls += 1; };
  Hesk r1, r2;
  r1.set_ev_handler(count);
  r2.set_ev_handler(count);
  ASSERT_FALSE(r1.init());
  ASSERT_FALSE(r2.init());
  auto rn = names({"B"});
  ASSERT_GT(r1.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, &rn), 0);
  int s2 = r2.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, &rn);
  ASSERT_GT(s2, 0);
  int a = put_block(m, id, "A", {700, 0}, 9);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  kova_event_slot_head* hd = slot_head(m, 1);
  // Aimed at r1, naming r2's slot and block, with the right stamp.
  reader_message msg;
  memset(&msg, 0, sizeof(msg));
  msg.evslot = 1;
  msg.clslot = s2;
  msg.cln = 2;
  msg.time.timeup = 700;
  msg.time.timelow = 9;
  int before = hesk_test::bad_datagrams();
  hesk_test::send_datagram(r1.port, &msg, sizeof(msg));
  ASSERT_TRUE(wait_for([&] { return hesk_test::bad_datagrams() == before + 1; }));
  EXPECT_EQ(calls.load(), 0);
  auto* blocks = reinterpret_cast<kova_client_block*>(hd + 1);
  EXPECT_EQ(hesk_test::under_slot_lock(m, 1, [&] { return hesk_test::client_status(blocks[2]); }),
            CLI_S_WAIT);
  // The real event still reaches both readers.
  int b = put_block(m, id, "B", {700, 0}, 9);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
  EXPECT_TRUE(wait_for([&] { return calls.load() == 2; }));
  EXPECT_TRUE(wait_for([&] { return free_buffers(m, id) == 8; }));
}

TEST_F(HeskTest, PartitionsRemovedUnderRunningThreadsAreSurvived) {
  static std::atomic<int> in_callback{0};
  in_callback = 0;
  Hesk m;
  start_master(m);
  m.set_monitoring_period(5000);
  kova_client c = request();
  auto wn = names({"A"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  Hesk r;
  r.set_ev_handler([](void*, kova_client_sblock_data*) {
    in_callback = 1;
    while (in_callback.load() == 1) usleep(1000);
  });
  ASSERT_FALSE(r.init());
  ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  int a = put_block(m, id, "A", {800, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  ASSERT_TRUE(wait_for([] { return in_callback.load() == 1; }));
  // An operator removes both semaphore sets while the callback runs.
  testing::internal::CaptureStdout();
  for (Peek* p : {new Peek(cl_name_.c_str()), new Peek(ev_name_.c_str())}) {
    p->keep(true);
    semctl(p->semid(), 0, IPC_RMID);
    delete p;
  }
  in_callback = 2;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("reader_thread: the partitions failed"), std::string::npos) << out;
  EXPECT_NE(out.find("MONITOR: the control partitions failed"), std::string::npos) << out;
  // Reported once each, and the process lives on.
  EXPECT_EQ(out.find("MONITOR: the control partitions failed"),
            out.rfind("MONITOR: the control partitions failed"));
}

TEST_F(HeskTest, PartitionsMadeByAnotherUserAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a partition as another user";
  pid_t p = shm_test::spawn([&] {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) return 1;
    setenv("HESK_IPC_MODE", "0666", 1);
    C_shm squatter(cl_name_.c_str(), 129, 48 + 256 * 4, true);
    squatter.keep(true);
    return squatter.valid() ? 0 : 2;
  });
  ASSERT_EQ(0, shm_test::wait_child(p, std::chrono::seconds(10)));
  Hesk m;
  small(m);
  m.set_master(true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(m.init());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("was created by user 65534, not by this user (0) or root: refused"),
            std::string::npos)
      << out;
  EXPECT_EQ(m.clid, -1);
}

}  // namespace
