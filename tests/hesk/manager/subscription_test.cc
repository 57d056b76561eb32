#include "hesk_test_util.h"

using hesk_test::HeskTest;

namespace {
kova_client request(int tmask = 0) {
  kova_client c;
  memset(&c, 0, sizeof(c));
  c.tmask = tmask;
  return c;
}
}  // namespace

TEST_F(HeskTest, SubscribeRefusesBadArguments) {
  kova_client c = request();
  {
    Hesk before;
    EXPECT_EQ(before.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, nullptr), -1);
  }
  Hesk m;
  start_master(m);
  EXPECT_EQ(m.subscribe(static_cast<KOVA_EVTYPE>(32), CLI_T_WRITER, &c, nullptr), -1);
  EXPECT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_INVAL, &c, nullptr), -1);
  EXPECT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, nullptr, nullptr), -1);
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(r, 0);
  EXPECT_NE(m.if_cl_slot_free(1), 0);
  // A name list longer than a slot holds is refused, not written past the slot.
  std::list<std::string> many;
  for (int i = 0; i < 10; ++i) many.push_back("S" + std::to_string(i));
  EXPECT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &many), -1);
  EXPECT_EQ(m.unsubscribe(KOVA_EV_NORMAL, CLI_T_WRITER), -1);
  EXPECT_EQ(m.unsubscribe(KOVA_EV_NORMAL, CLI_T_INVAL), -1);
}

TEST_F(HeskTest, SubscriptionsAreCountedAndReleased) {
  Hesk m;
  start_master(m);
  kova_client c = request(0x5);
  auto n = names({"SRV.A", "SRV.B"});
  int ws = m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n);
  ASSERT_EQ(ws, 1);
  EXPECT_EQ(m.if_cl_slot_free(ws), 0);
  auto* slot = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(ws));
  EXPECT_EQ(slot->pid, getpid());
  EXPECT_EQ(slot->cltype, CLI_T_WRITER);
  EXPECT_EQ(slot->evtype, KOVA_EV_NORMAL);
  auto* wr = reinterpret_cast<kova_client_writer*>(reinterpret_cast<char*>(slot) + 24);
  EXPECT_EQ(wr->nsblocks, 2);
  EXPECT_EQ(wr->cl.tmask, 0x5);
  EXPECT_STREQ(wr->sblocks[1], "SRV.B");
  EXPECT_EQ(m.clictrl->status, CLI_C_UPD);
  EXPECT_EQ(m.clictrl->clitotal, 1);
  EXPECT_EQ(m.clictrl->evtypew[KOVA_EV_NORMAL], 1);

  int rs1 = m.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr);
  int rs2 = m.subscribe(KOVA_EV_BOR, CLI_T_READER, &c, nullptr);
  ASSERT_GT(rs1, 0);
  ASSERT_GT(rs2, 0);
  EXPECT_GT(m.port, 0);
  auto* rslot = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(rs1));
  auto* rd = reinterpret_cast<kova_client_reader*>(reinterpret_cast<char*>(rslot) + 24);
  EXPECT_EQ(rd->qid, m.port);
  EXPECT_EQ(rd->nsblocks, 0);
  int w = 0, r = 0;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(r, 2);

  // Only the type-1 reader goes; the reader thread stays for the other.
  EXPECT_EQ(m.unsubscribe(KOVA_EV_NORMAL, CLI_T_READER), rs1);
  EXPECT_NE(m.if_cl_slot_free(rs1), 0);
  EXPECT_NE(m.rid, static_cast<pthread_t>(-1));
  EXPECT_EQ(m.unsubscribe(KOVA_EV_BOR, CLI_T_READER), rs2);
  EXPECT_EQ(m.rid, static_cast<pthread_t>(-1));
  EXPECT_EQ(m.qid, -1);
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(r, 0);
  EXPECT_EQ(m.clictrl->evtyper[KOVA_EV_NORMAL], 0);

  // A freed slot is all zero bytes.
  EXPECT_TRUE(m.set_cl_status(1, 99, CLI_S_DONE));  // no such client in event slot 1
  EXPECT_EQ(m.unsubscribe(KOVA_EV_NORMAL, CLI_T_WRITER), ws);
  EXPECT_EQ(slot->pid, 0);
  EXPECT_EQ(m.clictrl->clitotal, 0);
}
