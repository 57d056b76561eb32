#include "hesk_test_util.h"

using hesk_test::HeskTest;
using hesk_test::wait_for;

namespace {

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

kova_client_sblock_data* entries_of(kova_event_slot_head* hd) {
  return reinterpret_cast<kova_client_sblock_data*>(reinterpret_cast<char*>(hd) + sizeof(*hd) +
                                                    8 * hd->nclients);
}

std::atomic<int> g_calls{0};
void count_call(void*, kova_client_sblock_data*) {
  g_calls += 1;
}

}  // namespace

TEST_F(HeskTest, WithdrawingBlocksKeepsTheRestInOrder) {
  Hesk m;
  start_master(m);
  kova_client c = request();
  auto n = names({"A", "B", "C", "D"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  int a = put_block(m, id, "A", {10, 0}, 1);
  int b = put_block(m, id, "B", {10, 0}, 1);
  int cc = put_block(m, id, "C", {10, 0}, 1);
  for (int bn : {a, b, cc}) ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bn));
  auto* hd = reinterpret_cast<kova_event_slot_head*>(m.ev_buf->buffer_addr(1));
  ASSERT_EQ(hd->sbfilled, 3);
  EXPECT_FALSE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, b, id));
  EXPECT_EQ(hd->sbfilled, 2);
  EXPECT_STREQ(entries_of(hd)[0].name, "A");
  EXPECT_STREQ(entries_of(hd)[1].name, "C");
  EXPECT_EQ(entries_of(hd)[1].bnum, cc);
  EXPECT_EQ(hd->nsblocks, 4);  // what was expected stays
  EXPECT_EQ(free_buffers(m, id), 8 - 2);

  // A block in no event just goes back.
  int loose = put_block(m, id, "Z", {99, 0}, 1);
  EXPECT_FALSE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, loose, id));
  EXPECT_EQ(free_buffers(m, id), 8 - 2);

  // Withdrawing the last ones frees the event slot.
  EXPECT_FALSE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, a, id));
  EXPECT_FALSE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, cc, id));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_FREE);
  EXPECT_EQ(free_buffers(m, id), 8);
  EXPECT_NE(m.ev_buf->buffer_status(1), 0);

  EXPECT_TRUE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, -1, id));
  EXPECT_TRUE(m.return_buffer_in_pool_ext(static_cast<KOVA_EVTYPE>(40), 0, id));
}

TEST_F(HeskTest, FreeingAFreeSlotDoesNothing) {
  Hesk m;
  start_master(m);
  EXPECT_FALSE(m.free_ev_slot(3));
  EXPECT_NE(m.ev_buf->buffer_status(3), 0);
  EXPECT_TRUE(m.free_ev_slot(1000));
}

TEST_F(HeskTest, ReaderBlockStillWaitingIsForcedDone) {
  g_calls = 0;
  Hesk m;
  start_master(m);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  Hesk r;
  r.set_ev_handler(count_call);
  ASSERT_FALSE(r.init());
  auto rn = names({"B"});  // waits for B, which does not come yet
  int rslot = r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, &rn);
  ASSERT_GT(rslot, 0);
  int a = put_block(m, id, "A", {20, 0}, 77);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  auto* hd = reinterpret_cast<kova_event_slot_head*>(m.ev_buf->buffer_addr(1));
  auto* blocks = reinterpret_cast<kova_client_block*>(reinterpret_cast<char*>(hd) + sizeof(*hd));
  ASSERT_EQ(hd->nclients, 2);
  ASSERT_EQ(blocks[1].snum, rslot);
  ASSERT_EQ(blocks[1].status, CLI_S_WAIT);

  // A datagram that matches the event but finds the reader still waiting.
  reader_message msg;
  memset(&msg, 0, sizeof(msg));
  msg.mtype = getpid();
  msg.evslot = 1;
  msg.clslot = rslot;
  msg.cln = 1;
  msg.time.timeup = 20;
  msg.time.timelow = hd->eventid;
  testing::internal::CaptureStdout();
  hesk_test::send_datagram(r.port, &msg, sizeof(msg));
  ASSERT_TRUE(wait_for([&] {
    return hesk_test::under_slot_lock(m, 1, [&] { return blocks[1].status == CLI_S_DONE; });
  }));
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 1; }));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("reader_thread: wrong client status: 1  must be: 2 20:0_77"),
            std::string::npos)
      << out;
  EXPECT_EQ(g_calls.load(), 0);
}
