#include "hesk_test_util.h"

using hesk_test::HeskTest;

namespace {

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

// A master that also writes, with its own data partition.
struct Writer {
  explicit Writer(HeskTest* t, Hesk& h, const std::string& data, std::list<std::string> n,
                  KOVA_EVTYPE type = KOVA_EV_NORMAL)
      : h(h) {
    kova_client c = request();
    slot = h.subscribe(type, CLI_T_WRITER, &c, &n);
    id = h.add(data.c_str(), 16, 1024, false);
    (void)t;
  }
  Hesk& h;
  int slot = -1;
  int id = -1;
};

template <class Head>
Head* head_of(Hesk& h, int s) {
  return reinterpret_cast<Head*>(h.ev_buf->buffer_addr(s));
}

kova_client_sblock_data* entries_of(kova_event_slot_head* hd) {
  return reinterpret_cast<kova_client_sblock_data*>(reinterpret_cast<char*>(hd) + sizeof(*hd) +
                                                    8 * hd->nclients);
}

}  // namespace

TEST_F(HeskTest, TimeKeysWithinTheMaskShareASlot) {
  Hesk m;
  start_master(m);
  Writer w(this, m, data_name_, names({"A", "B", "C", "D"}));
  ASSERT_GT(w.id, 0);
  int b1 = put_block(m, w.id, "A", {100, 0}, 1);
  int b2 = put_block(m, w.id, "B", {100, 15000}, 1);
  int b3 = put_block(m, w.id, "C", {100, 40000}, 1);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b1));
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b2));
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b3));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_USED);
  EXPECT_EQ(m.evtctrl[1].status, EVT_C_USED);
  auto* hd = head_of<kova_event_slot_head>(m, 1);
  EXPECT_EQ(hd->sbfilled, 2);
  EXPECT_EQ(hd->nsblocks, 4);
  EXPECT_EQ(hd->nclients, 1);
  EXPECT_EQ(hd->evsize, 2 * 284);
  EXPECT_STREQ(entries_of(hd)[1].name, "B");
  EXPECT_EQ(entries_of(hd)[1].shmid, w.id);
  EXPECT_EQ(entries_of(hd)[1].bnum, b2);
  EXPECT_EQ(head_of<kova_event_slot_head>(m, 2)->sbfilled, 1);
  time_stamp a{100, 0}, b{100, 20000}, c{100, 20001};
  EXPECT_FALSE(m.ev_keys_eq(&a, &a));
  EXPECT_FALSE(m.ev_keys_eq(&a, &b));
  EXPECT_TRUE(m.ev_keys_eq(&a, &c));
}

TEST_F(HeskTest, DuplicatesAndAFullSlotAreRefused) {
  Hesk m;
  start_master(m);
  Writer w(this, m, data_name_, names({"A", "B"}));
  int b1 = put_block(m, w.id, "A", {200, 0}, 1);
  int dup = put_block(m, w.id, "A", {200, 10}, 1);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b1));
  int free_before = free_buffers(m, w.id);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, w.id, dup));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("ev_update(): SB duplication A"), std::string::npos);
  EXPECT_NE(out.find("HESK FREED (NEW)"), std::string::npos);
  // The duplicate (no more channels than the held one) went back to its pool.
  EXPECT_EQ(free_buffers(m, w.id), free_before + 1);

  // A duplicate with more channels takes the held block's place: stored.
  int better = put_block(m, w.id, "A", {200, 20}, 1, false, 3);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, better));
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("new SB is better ... substituting"), std::string::npos);
  auto* hd = head_of<kova_event_slot_head>(m, 1);
  EXPECT_EQ(entries_of(hd)[0].bnum, better);

  // Completing the event frees it; its buffers come back.
  int b2 = put_block(m, w.id, "B", {200, 30}, 1);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b2));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_FREE);
  EXPECT_EQ(free_buffers(m, w.id), 16);
}

TEST_F(HeskTest, FifthBlockOfFourIsDroppedAndLeftWithTheCaller) {
  Hesk m;
  start_master(m, false, 4, 8);
  // A reader listing a name keeps the event open after the writers are done.
  Writer w1(this, m, data_name_, names({"A", "B"}));
  kova_client c = request();
  auto two = names({"C", "D"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &two), 0);
  auto listed = names({"Z"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, &listed), 0);
  int bl[5];
  const char* srv[5] = {"A", "B", "C", "X", "Y"};
  for (int i = 0; i < 5; ++i) bl[i] = put_block(m, w1.id, srv[i], {300, 0}, 1);
  testing::internal::CaptureStdout();
  for (int i = 0; i < 4; ++i) EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w1.id, bl[i])) << i;
  int free_before = free_buffers(m, w1.id);
  EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, w1.id, bl[4]));
  std::string out = testing::internal::GetCapturedStdout();
  // Four announced names plus the reader's unannounced one as a placeholder.
  EXPECT_NE(out.find("Missed blocks !!! Z"), std::string::npos);
  EXPECT_NE(out.find("Nummber of SB blocks collected(5) == expected (5), current will be dropped:"),
            std::string::npos)
      << out;
  EXPECT_EQ(free_buffers(m, w1.id), free_before);
}

TEST_F(HeskTest, EventIdKeysIgnoreBit31) {
  Hesk m;
  m.set_smode(HESK_SYNCH_EVID);
  start_master(m);
  Writer w(this, m, data_name_, names({"A", "B", "C"}));
  int b1 = put_block(m, w.id, "A", {400, 0}, 0x1234);
  int b2 = put_block(m, w.id, "B", {401, 0}, static_cast<int>(0x80001234u));
  int b3 = put_block(m, w.id, "C", {400, 0}, 0x1235);
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b1));
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b2));
  EXPECT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b3));
  EXPECT_EQ(head_of<kova_event_slot_head>(m, 1)->sbfilled, 2);
  EXPECT_EQ(head_of<kova_event_slot_head>(m, 2)->sbfilled, 1);
  EXPECT_EQ(m.evtctrl[1].eventid, 0x1235u);
}

TEST_F(HeskTest, BlocksOfTheOtherGenerationAreRefused) {
  Hesk m;
  start_master(m);
  Writer w(this, m, data_name_, names({"A"}));
  int b = put_block(m, w.id, "A", {500, 0}, 1, /*b2024=*/true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(m.ev_update(KOVA_EV_NORMAL, w.id, b));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("2024 server block refused"), std::string::npos) << out;
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_FREE);
}

TEST_F(HeskTest, TwentyTwentyFourLayoutBuildsEvents) {
  Hesk m;
  start_master(m, /*b64=*/true);
  Writer w(this, m, data_name_, names({"A", "B"}));
  int b1 = put_block(m, w.id, "A", {600, 0}, 0, true);
  auto* blk = reinterpret_cast<kova_serv_block_head_2024*>(m.get_buffer_address(b1, w.id, true));
  blk->mpulse = 1ll << 40;
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b1));
  auto* hd = head_of<kova_event_slot_head_2024>(m, 1);
  EXPECT_EQ(hd->pattern, KOVA_EV_SLOT_PATTERN_2024);
  EXPECT_EQ(hd->eventid, 1ll << 40);
  EXPECT_EQ(m.evtctrl2024[0].status, EVT_C_USED);
  EXPECT_EQ(m.evtctrl2024[0].eventid, 1ll << 40);
  int b2 = put_block(m, w.id, "B", {600, 5}, 0, true);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, w.id, b2));
  EXPECT_EQ(m.evtctrl2024[0].status, EVT_C_FREE);
  EXPECT_EQ(free_buffers(m, w.id), 16);
}

TEST_F(HeskTest, ReaderOutsideItsTriggerLeavesPlaceholdersForItsWriterPart) {
  Hesk m;
  start_master(m);
  // The same process writes "A" and reads with a trigger the event lacks and
  // a time ratio that has not run out.
  Writer w(this, m, data_name_, names({"A"}));
  kova_client c = request();
  c.tmask = 0x100;
  c.time_ratio = {1000, 0};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr), 0);
  Hesk other;
  ASSERT_FALSE(other.init());
  kova_client oc = request();
  auto bn = names({"B"});
  ASSERT_GT(other.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &oc, &bn), 0);
  int ob = other.add((data_name_ + "2").c_str(), 4, 1024, false);
  int blk = put_block(other, ob, "B", {700, 0}, 1);
  testing::internal::CaptureStdout();
  ASSERT_FALSE(other.ev_update(KOVA_EV_NORMAL, ob, blk));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Timed blocks !!! A"), std::string::npos) << out;
  // Writer of "A" done at once, "A" a placeholder; with "B" in, the event is
  // complete and freed.
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_FREE);
}
