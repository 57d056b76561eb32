#include <algorithm>
#include <vector>

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
    return hesk_test::under_slot_lock(
        m, 1, [&] { return hesk_test::client_status(blocks[1]) == CLI_S_DONE; });
  }));
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 1; }));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("reader_thread: wrong client status: 1  must be: 2 20:0_77"),
            std::string::npos)
      << out;
  EXPECT_EQ(g_calls.load(), 0);
}

namespace {

// A listing reader held in its callback until the test lets it go; it notes
// the first name and channel count of every block it is given.
std::atomic<bool> g_in_callback{false}, g_let_go{false};
std::atomic<int> g_changed{0};
Hesk* g_reader = nullptr;
void hold_and_check(void* head, kova_client_sblock_data* blocks) {
  auto* hd = static_cast<kova_event_slot_head*>(head);
  std::vector<std::pair<char*, kova_serv_block_head_2010>> seen;
  for (int k = 0; k < hd->sbfilled; ++k) {
    char* p = g_reader->pool_buffer_address(blocks[k].bnum, blocks[k].shmid);
    if (p == nullptr) continue;
    kova_serv_block_head_2010 b;
    memcpy(&b, p, sizeof(b));
    seen.push_back({p, b});
  }
  g_in_callback = true;
  while (!g_let_go.load()) usleep(1000);
  for (auto& s : seen)
    if (memcmp(s.first, &s.second, sizeof(s.second)) != 0) g_changed += 1;
  g_in_callback = false;
}

}  // namespace

// While a reader that was notified reads the event, neither a better
// duplicate nor a withdrawal gives a buffer it may read back to the pool:
// a writer taking buffers meanwhile never overwrites what the reader reads.
TEST_F(HeskTest, BuffersAReaderMayReadStayWithTheEvent) {
  for (bool withdraw : {false, true}) {
    SCOPED_TRACE(withdraw ? "withdrawal" : "better duplicate");
    g_in_callback = false;
    g_let_go = false;
    g_changed = 0;
    Hesk m;
    start_master(m);
    kova_client c = request();
    auto wn = names({"A", "B"});
    ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
    int id = m.add(data_name_.c_str(), 4, 1024, false);
    Hesk r;
    g_reader = &r;
    r.set_ev_handler(hold_and_check);
    ASSERT_FALSE(r.init());
    auto rn = names({"A"});
    ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, &rn), 0);

    int a = put_block(m, id, "A", {20, 0}, 1, false, 1);
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
    ASSERT_TRUE(wait_for([] { return g_in_callback.load(); }));
    if (withdraw) {
      EXPECT_FALSE(m.return_buffer_in_pool_ext(KOVA_EV_NORMAL, a, id));
    } else {
      int better = put_block(m, id, "A", {20, 0}, 1, false, 5);
      EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, id, better));  // a duplicate
    }
    // Every free buffer is taken and scribbled over, as a busy writer would.
    std::vector<int> taken;
    for (int bn = put_block(m, id, "X", {99, 0}, 7, false, 9); bn >= 0;
         bn = put_block(m, id, "X", {99, 0}, 7, false, 9))
      taken.push_back(bn);
    EXPECT_EQ(std::count(taken.begin(), taken.end(), a), 0) << "the reader's buffer was handed out";
    for (int t : taken) EXPECT_FALSE(m.return_buffer_in_pool(t, id));
    g_let_go = true;
    ASSERT_TRUE(wait_for([] { return !g_in_callback.load(); }));
    EXPECT_EQ(g_changed.load(), 0);
    int b = put_block(m, id, "B", {20, 0}, 1);
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
    ASSERT_TRUE(wait_for([&] { return hesk_test::record_status(m, 1) == EVT_C_FREE; }));
    EXPECT_EQ(free_buffers(m, id), 4);  // each buffer back exactly once
    r.all_clean_up();
  }
}
