#include "hesk_test_util.h"

using hesk_test::HeskTest;
using hesk_test::wait_for;

namespace {

std::atomic<int> g_events{0};
std::atomic<int> g_blocks{0};

void count_event(void* head, kova_client_sblock_data* blocks) {
  auto* hd = static_cast<kova_event_slot_head*>(head);
  g_blocks += hd->sbfilled;
  (void)blocks;
  g_events += 1;
}

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

// A derived manager whose handler sees every event.
class CountingHesk : public Hesk {
 public:
  std::atomic<int> seen{0};
  void event_handler(void*, kova_client_sblock_data*) override { seen += 1; }
};

}  // namespace

TEST_F(HeskTest, EventsTravelFromWriterToReaderCallback) {
  g_events = 0;
  g_blocks = 0;
  Hesk m;
  start_master(m);
  kova_client c = request();
  auto wn = names({"A", "B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 16, 1024, false);

  CountingHesk r;
  r.set_ev_handler(count_event);
  ASSERT_FALSE(r.init());
  ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  for (int ev = 0; ev < 5; ++ev) {
    int a = put_block(m, id, "A", {1000u + ev, 0}, ev);
    int b = put_block(m, id, "B", {1000u + ev, 10}, ev);
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, b));
  }
  ASSERT_TRUE(wait_for([&] { return g_events.load() == 5; }));
  EXPECT_EQ(g_blocks.load(), 10);
  EXPECT_EQ(r.seen.load(), 5);
  // Every event was freed by the reader and every buffer came back.
  ASSERT_TRUE(wait_for([&] { return free_buffers(m, id) == 16; }));
  for (int s = 1; s < m.ev_buf->getBufferCount(); ++s)
    EXPECT_EQ(hesk_test::record_status(m, s), EVT_C_FREE);
  auto* rs = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(r.sreader.front()));
  EXPECT_EQ(rs->evcnt, 5);
}

TEST_F(HeskTest, WriterOnlyEventIsFreedByTheLastBlock) {
  Hesk m;
  start_master(m);
  kova_client c = request();
  auto wn = names({"A"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 4, 1024, false);
  int a = put_block(m, id, "A", {1, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_FREE);
  EXPECT_EQ(free_buffers(m, id), 4);
  EXPECT_EQ(m.cl_notify(1), 0);  // a freed slot: nothing to do
}

TEST_F(HeskTest, BadDatagramsAreDroppedCountedAndCapped) {
  g_events = 0;
  Hesk m;
  start_master(m);
  kova_client c = request();
  Hesk r;
  r.set_ev_handler(count_event);
  ASSERT_FALSE(r.init());
  ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  ASSERT_EQ(hesk_test::bad_datagrams(), 0);

  char junk[64] = {0};
  hesk_test::send_datagram(r.port, junk, 33);  // one byte too long for the 2010 layout
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 1; }));
  hesk_test::send_datagram(r.port, junk, 31);
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 2; }));

  // Right length, but it names a slot that holds no such event.
  reader_message forged;
  memset(&forged, 0, sizeof(forged));
  forged.evslot = 1;
  forged.clslot = r.sreader.front();
  forged.cln = 0;
  forged.time.timeup = 12345;
  hesk_test::send_datagram(r.port, &forged, sizeof(forged));
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 3; }));

  // Beyond 20 they are dropped silently and no longer counted.
  for (int i = 0; i < 30; ++i) hesk_test::send_datagram(r.port, junk, 7);
  ASSERT_TRUE(wait_for([] { return hesk_test::bad_datagrams() == 20; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(hesk_test::bad_datagrams(), 20);
  EXPECT_EQ(g_events.load(), 0);
}

TEST_F(HeskTest, NotifyingBeforeReadingKeepsTheReaderPortApart) {
  g_events = 0;
  Hesk m;
  start_master(m);
  kova_client c = request();
  auto wn = names({"A"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 8, 1024, false);
  // Another object reads; the writer notifies it before subscribing as reader.
  Hesk r;
  r.set_ev_handler(count_event);
  ASSERT_FALSE(r.init());
  ASSERT_GT(r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  int a = put_block(m, id, "A", {10, 0}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  ASSERT_TRUE(wait_for([] { return g_events.load() == 1; }));
  EXPECT_EQ(m.qid, -1);  // the sending socket is not the reader socket
  ASSERT_GT(m.subscribe(KOVA_EV_BOR, CLI_T_READER, &c, nullptr), 0);
  EXPECT_GT(m.qid, 0);
  EXPECT_NE(m.rid, static_cast<pthread_t>(-1));
}
