#include <sstream>

#include "hesk_test_util.h"

using hesk_test::HeskTest;

TEST_F(HeskTest, DumpsBeforeInit) {
  Hesk h;
  std::ostringstream cl, ev;
  h.dump_cl_slots(cl);
  h.dump_ev_slots(ev);
  EXPECT_EQ(cl.str(), "Hesk::dump_cl_slots() Global partition not accessed\n");
  EXPECT_EQ(ev.str(), "Hesk::dump_ev_slots() Global partition not accessed\n");
}

TEST_F(HeskTest, DumpsOfFreshPartitions) {
  Hesk m;
  m.set_nclients(1);
  m.set_nblocks(1);
  m.set_ncl_slots(2);
  m.set_nev_slots(2);
  ASSERT_FALSE(m.set_master(true));
  ASSERT_FALSE(m.init());
  std::ostringstream cl;
  m.dump_cl_slots(cl);
  std::string expect = "\n            Clien Slot Partition - " + cl_name_ +
                       "\n\nClient Control Block\n--------------------\n"
                       "  status:           1\n  clients total:    0\n  readers:          0\n"
                       "  writers:          0\n\n"
                       "Event types subscribed for reading\n----------------------------------\n"
                       "  Event  Type        Readers      \n----------------------------------\n";
  for (int t = 0; t < 32; ++t) expect += "     " + std::to_string(t) + "         0\n";
  expect +=
      "\nEvent types subscribed for writing\n----------------------------------\n"
      "  Event  Type        Writers      \n----------------------------------\n";
  for (int t = 0; t < 32; ++t) expect += "     " + std::to_string(t) + "         0\n";
  expect +=
      "\nClients information\n-------------------\n"
      "Slot # 1   Not used\nSlot # 2   Not used\n";
  EXPECT_EQ(cl.str(), expect);

  std::ostringstream ev;
  m.dump_ev_slots(ev);
  EXPECT_EQ(ev.str(), "\n            Event Slot Partition - " + ev_name_ +
                          "\n\nEvent Control Block\n--------------------\n"
                          "  Slot: 1  status:           FREE\n"
                          "  Slot: 2  status:           FREE\n");
}

TEST_F(HeskTest, DumpOfAReaderSlotWithTwoNames) {
  Hesk m;
  start_master(m);
  kova_client c;
  memset(&c, 0, sizeof(c));
  c.pri = 3;
  c.tmask = 7;
  c.time_ratio = {2, 5};
  auto n = names({"SRV.X", "SRV.Y"});
  int slot = m.subscribe(KOVA_EV_BOR, CLI_T_READER, &c, &n);
  ASSERT_EQ(slot, 1);
  std::ostringstream cl;
  m.dump_cl_slots(cl);
  auto* s = reinterpret_cast<kova_client_slot_head*>(m.cl_buf->buffer_addr(1));
  std::string expect =
      "Slot # 1 a reader\n  PID:          " + std::to_string(getpid()) +
      "\n  Access time:  " + std::to_string(s->atime.timeup) + " " +
      std::to_string(s->atime.timelow) +
      "\n  Events:       0\n  Event Type:   2\n  Time ratio:   2 5\n"
      "  Priority:     3\n  Triggers:     7\n  Port    :     " +
      std::to_string(m.port) +
      "\n  # of blocks:  2\nServer # 0 SRV.X\nServer # 1 SRV.Y\n\nSlot # 2   Not used\n";
  EXPECT_NE(cl.str().find(expect), std::string::npos) << cl.str();
}

TEST_F(HeskTest, DumpOfAnEventInUse) {
  Hesk m;
  start_master(m);
  kova_client c;
  memset(&c, 0, sizeof(c));
  auto n = names({"A", "B"});
  ASSERT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 1);
  int id = m.add(data_name_.c_str(), 4, 1024, false);
  int a = put_block(m, id, "A", {50, 7}, 9);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, a));
  auto* hd = reinterpret_cast<kova_event_slot_head*>(m.ev_buf->buffer_addr(1));
  std::ostringstream ev;
  m.dump_ev_slots(ev);
  std::string dash95(95, '-'), dash44(44, '-'), dash23(23, '-');
  std::string expect =
      "  Slot: 1  status:           USED\n  key        :       50:7_9\n  event type :       1\n"
      "---------------------------------- Event Slot 1  --------------------- ---------\n" +
      dash95 +
      "\n  Key              EventType    Tmask   Status   Start      LastUpdate   EvSize   "
      "#SvrBlocks/filled   #Clients\n" +
      dash95 + "\n50:7_9 1   1   0   " + std::to_string(hd->start.timeup) + "/" +
      std::to_string(hd->start.timelow) + "   " + std::to_string(hd->lupdate.timeup) + "/" +
      std::to_string(hd->lupdate.timelow) + "  284   2/1   1\n" +
      "---- Clients    1  ----\n---Client:    0  ----\n" + dash23 + "\n  ClientSlot  Status \n" +
      dash23 + "\n1  Processing\n---- ServerBlocks:    1  ----\n" + dash44 +
      "\n #  Name                      ShmID      Buf# \n" + dash44 + "\n0 A   " +
      std::to_string(id) + "   " + std::to_string(a) + "\n" + dash44 + "\n" + dash44 +
      "\n  Slot: 2  status:           FREE\n";
  EXPECT_NE(ev.str().find(expect), std::string::npos) << ev.str();
}
