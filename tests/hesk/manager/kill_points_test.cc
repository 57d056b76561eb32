// What a process killed inside the event path leaves behind, set up by hand
// at each point where the path gives a lock back or works under one slot
// lock alone, and what the master's monitor makes of it: every buffer comes
// back exactly once and every slot is freed.
#include <vector>

#include "hesk_test_util.h"

namespace {

using hesk_test::HeskTest;
using hesk_test::wait_for;

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

class KillPoints : public HeskTest {
 protected:
  // A master with a fast monitor that writes blocks A, B and C.
  void start(Hesk& m) {
    start_master(m);
    m.set_monitoring_period(5000);
    kova_client c = request();
    auto wn = names({"A", "B", "C"});
    ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
    id_ = m.add(data_name_.c_str(), 8, 1024, false);
  }
  bool all_free(Hesk& m) {
    for (int s = 1; s < m.ev_buf->getBufferCount(); ++s)
      if (hesk_test::record_status(m, s) != EVT_C_FREE) return false;
    return free_buffers(m, id_) == 8;
  }
  int id_ = -1;
};

// A release killed after it gave back the first block: that entry is a
// placeholder already, so the monitor's release gives back only the rest,
// even after the first buffer has gone to a new owner.
TEST_F(KillPoints, ReleaseCutShortGivesNothingBackTwice) {
  Hesk m;
  start(m);
  int a = put_block(m, id_, "A", {900, 0}, 1), b = put_block(m, id_, "B", {900, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id_, a));
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id_, b));
  auto* head = reinterpret_cast<kova_event_slot_head*>(m.ev_buf->buffer_addr(1));
  auto* entry = reinterpret_cast<kova_client_sblock_data*>(reinterpret_cast<char*>(head + 1) +
                                                           sizeof(kova_client_block));
  hesk_test::under_slot_lock(m, 1, [&] {
    EXPECT_FALSE(m.return_buffer_in_pool(entry[0].bnum, entry[0].shmid));
    entry[0].shmid = 0;
    entry[0].bnum = -1;
    return 0;
  });
  // The block's buffer goes to a new owner (every free one is taken, the
  // others given back).
  std::vector<int> taken;
  for (int bnum = -1; m.get_buffer_from_pool(4, 16, &id_, &bnum) != nullptr;) taken.push_back(bnum);
  for (int t : taken) {
    if (t != a) {
      EXPECT_FALSE(m.return_buffer_in_pool(t, id_));
    }
  }
  ASSERT_EQ(free_buffers(m, id_), 6);
  ASSERT_TRUE(wait_for([&] { return hesk_test::record_status(m, 1) == EVT_C_FREE; }));
  EXPECT_EQ(free_buffers(m, id_), 7);  // B came back, A stays with its new owner
  EXPECT_FALSE(m.return_buffer_in_pool(a, id_));
  EXPECT_TRUE(all_free(m));
}

// A writer killed while it chose the clients of a new event, after the
// event's record was marked used under event lock 0: the slot is freed.
TEST_F(KillPoints, SetUpCutShortIsFreed) {
  Hesk m;
  start(m);
  char* slot = m.ev_buf->get_buffer(4, true);
  ASSERT_NE(slot, nullptr);
  int s = m.ev_buf->buffer_id(slot);
  hesk_test::under_slot_lock(m, s, [&] {
    memset(slot, 0, m.ev_buf->getBufferLength());
    kova_event_ctrl_block& rec = m.evtctrl[s - 1];
    __atomic_store_n(&rec.evtype, static_cast<int32_t>(KOVA_EV_NORMAL), __ATOMIC_RELAXED);
    __atomic_store_n(&rec.key.timeup, 950u, __ATOMIC_RELAXED);
    __atomic_store_n(&rec.status, static_cast<int32_t>(EVT_C_USED), __ATOMIC_RELAXED);
    return 0;
  });
  EXPECT_TRUE(wait_for([&] { return all_free(m) && m.ev_buf->buffer_status(s) != 0; }));
}

// A writer killed after it gave the slot's lock back and before it sent the
// datagrams it decided on: the reader waits notified for a datagram that
// never comes, and the monitor forces it done and frees the event.
TEST_F(KillPoints, DatagramNeverSentIsSettledByTheMonitor) {
  Hesk m;
  start(m);
  Hesk r;
  ASSERT_FALSE(r.init());
  kova_client c = request();
  int rs = r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr);
  ASSERT_GT(rs, 0);
  // The datagram goes to a port nobody reads: as good as never sent.
  auto* reader = reinterpret_cast<kova_client_reader*>(m.cl_buf->buffer_addr(rs) +
                                                       sizeof(kova_client_slot_head));
  reader->qid = 9;
  for (const char* name : {"A", "B", "C"})
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id_, put_block(m, id_, name, {960, 0}, 1)));
  EXPECT_EQ(hesk_test::record_status(m, 1), EVT_C_USED);
  EXPECT_TRUE(wait_for([&] { return all_free(m); }));
}

}  // namespace
