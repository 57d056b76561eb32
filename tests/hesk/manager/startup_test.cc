#include <memory>

#include "hesk_test_util.h"

using hesk_test::HeskTest;

TEST_F(HeskTest, DefaultsBeforeInit) {
  Hesk h;
  EXPECT_EQ(h.clid, -1);
  EXPECT_EQ(h.evid, -1);
  EXPECT_FALSE(h.master);
  EXPECT_EQ(h.ncli, 1024);
  EXPECT_EQ(h.nsbl, 4094);
  EXPECT_EQ(h.evrate, 20);
  EXPECT_EQ(h.time_mask, 20000u);
  EXPECT_EQ(h.mperiod, 500000u);
  EXPECT_TRUE(h.forced);
  EXPECT_EQ(h.get_smode(), HESK_SYNCH_TIME);
  EXPECT_STREQ(h.clname, cl_name_.c_str());
  EXPECT_STREQ(h.evname, ev_name_.c_str());
  EXPECT_TRUE(h.set_smode(2));
  EXPECT_FALSE(h.set_smode(HESK_SYNCH_EVID));
  EXPECT_EQ(h.get_smode(), HESK_SYNCH_EVID);
}

TEST_F(HeskTest, MasterSizesThePartitions2010) {
  Hesk m;
  m.set_nclients(2);
  m.set_nblocks(3);
  m.set_rate(1);
  ASSERT_FALSE(m.set_master(true));
  ASSERT_FALSE(m.init());
  EXPECT_GT(m.clid, 0);
  EXPECT_GT(m.evid, 0);
  EXPECT_EQ(m.cl_buf->getBufferCount(), 129);
  EXPECT_EQ(m.cl_buf->getBufferLength(), 816);
  EXPECT_EQ(m.ev_buf->getBufferCount(), 33);
  EXPECT_EQ(m.ev_buf->getBufferLength(), 868);
  EXPECT_EQ(m.clictrl->status, CLI_C_INIT);
  // Buffer 0 of both partitions is taken: the first slot handed out is 1.
  EXPECT_EQ(m.if_cl_slot_free(0), 0);
  EXPECT_NE(m.if_cl_slot_free(1), 0);
  char* slot = m.ev_buf->get_buffer(4, true);
  EXPECT_EQ(m.ev_buf->buffer_id(slot), 1);
  m.ev_buf->return_buffer(slot);
  // Sizes are frozen once the partitions exist.
  EXPECT_EQ(m.set_nblocks(50), 3);
  EXPECT_EQ(m.set_nclients(50), 2);
  EXPECT_EQ(m.set_rate(50), 1);
  EXPECT_EQ(m.set_ncl_slots(5), 129);
  EXPECT_EQ(m.set_nev_slots(5), 33);
  EXPECT_FALSE(m.set_evid_64bit_mode(true));
}

TEST_F(HeskTest, MasterSizesThePartitions2024) {
  Hesk m;
  m.set_nclients(2);
  m.set_nblocks(3);
  m.set_rate(1);
  EXPECT_TRUE(m.set_evid_64bit_mode(true));
  ASSERT_FALSE(m.set_master(true));
  ASSERT_FALSE(m.init());
  EXPECT_EQ(m.ev_buf->getBufferLength(), 888);
  EXPECT_TRUE(m.set_evid_64bit_mode(false));
}

TEST_F(HeskTest, ExplicitEventSlotsGrowTheControlRecordBuffer) {
  Hesk m;
  m.set_nclients(1);
  m.set_nblocks(1);
  EXPECT_EQ(m.set_nev_slots(1000), 1000);
  EXPECT_EQ(m.set_ncl_slots(4), 4);
  ASSERT_FALSE(m.set_master(true));
  ASSERT_FALSE(m.init());
  EXPECT_EQ(m.ev_buf->getBufferCount(), 1001);
  EXPECT_GE(m.ev_buf->getBufferLength(), 20 * 1001);
  EXPECT_EQ(m.cl_buf->getBufferCount(), 5);
}

TEST_F(HeskTest, AttachingBeforeAndAfterTheMaster) {
  {
    Hesk early;
    EXPECT_TRUE(early.init());
    EXPECT_EQ(early.find_by_name(cl_name_.c_str()), nullptr);
    EXPECT_EQ(early.find_by_name(ev_name_.c_str()), nullptr);
    EXPECT_EQ(early.clid, -1);
  }
  {
    // While the master makes its partitions: the client partition is there,
    // the master not yet its user, the event partition still to come. A
    // process that attaches and gives up leaves it to the master.
    C_shm making;
    ASSERT_FALSE(making.make(cl_name_.c_str(), 3, 512));
    Hesk between;
    EXPECT_TRUE(between.init());
    EXPECT_TRUE(shm_test::partition_exists(cl_name_));
    EXPECT_TRUE(making.access());
  }
  Hesk m;
  start_master(m);
  Hesk late;
  ASSERT_FALSE(late.init());
  EXPECT_EQ(late.clid, m.clid);
  EXPECT_EQ(late.evid, m.evid);
  EXPECT_NE(late.clictrl, nullptr);
  EXPECT_NE(late.evtctrl, nullptr);
}

TEST_F(HeskTest, RestartedMasterReusesOrReplaces) {
  // Holders keep the partitions alive between the masters of this test.
  std::unique_ptr<C_shm> hold_cl, hold_ev;
  int first_id;
  {
    Hesk m;
    start_master(m);
    first_id = m.clid;
    m.set_forced(false);  // leave the partitions for the next master
    hold_cl.reset(new C_shm(cl_name_.c_str()));
    hold_ev.reset(new C_shm(ev_name_.c_str()));
  }
  {
    // Same sizes: re-used unchanged.
    Hesk again;
    start_master(again);
    EXPECT_EQ(again.clid, first_id);
    again.set_forced(false);
  }
  {
    // Larger and not forced: refused, the old partition stays.
    Hesk bigger;
    bigger.set_nclients(4);
    bigger.set_nblocks(4);
    bigger.set_rate(1);
    bigger.set_forced(false);
    bigger.set_master(true);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(bigger.init());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Old client slot partition is incompatible !!! 129 < 257  || 0 < 1072"),
              std::string::npos)
        << out;
    EXPECT_TRUE(shm_test::partition_exists(cl_name_));
  }
  {
    // Forced: destroyed and made anew.
    Hesk forced;
    forced.set_nclients(4);
    forced.set_nblocks(4);
    forced.set_rate(1);
    forced.set_master(true);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(forced.init());
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("Forcing mode: removing it !!!"), std::string::npos);
    EXPECT_EQ(forced.cl_buf->getBufferCount(), 257);
  }
}

TEST_F(HeskTest, DefaultSizesFailCleanly) {
  // 64 x 1024 client slots each with a slot lock are more semaphores than one
  // set may hold: init refuses and leaves nothing behind.
  Hesk m;
  m.set_master(true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(m.init());
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("CL_SLOTS NAME:" + cl_name_ + " SLOTS:65537 SIZE:1048112"), std::string::npos)
      << out;
  // The message says which settings to lower.
  EXPECT_NE(out.find("init(): cannot create partition " + cl_name_ +
                     " (65537 buffers of 1048112 bytes, 68.7 GB): "),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("; lower set_nclients or set_ncl_slots (buffers) and set_nblocks (bytes) "
                     "before init"),
            std::string::npos)
      << out;
  EXPECT_EQ(m.clid, -1);
  EXPECT_FALSE(shm_test::partition_exists(cl_name_));
}

TEST_F(HeskTest, KeyDefaultsReadBothGenerations) {
  kova_serv_block_head_2010 a;
  memset(&a, 0, sizeof(a));
  a.time = {5, 6};
  a.ltotal = -2;
  a.mpulse = -7;
  strcpy(a.server, "A");
  a.tmask = 9;
  a.status = 10;
  char* pa = reinterpret_cast<char*>(&a);
  EXPECT_STREQ(get_bname_known(pa), "A");
  EXPECT_EQ(get_key_known(pa), &a.time);
  EXPECT_EQ(get_len_known(pa), -2);
  EXPECT_EQ(get_trg_known(pa), 9);
  EXPECT_EQ(get_sts_known(pa), 10);
  EXPECT_EQ(get_evid_known(pa), -7);

  kova_serv_block_head_2024 b;
  memset(&b, 0, sizeof(b));
  b.pattern = KOVA_SB_PATTERN_2024;
  b.time = {7, 8};
  b.ltotal = 1ll << 33;
  b.mpulse = 1ll << 40;
  strcpy(b.server, "B");
  b.tmask = 11;
  b.status = 12;
  char* pb = reinterpret_cast<char*>(&b);
  EXPECT_STREQ(get_bname_known(pb), "B");
  EXPECT_EQ(get_key_known(pb), &b.time);
  EXPECT_EQ(get_len_known(pb), 1l << 33);
  EXPECT_EQ(get_trg_known(pb), 11);
  EXPECT_EQ(get_sts_known(pb), 12);
  EXPECT_EQ(get_evid_known(pb), 1l << 40);
}

TEST_F(HeskTest, DumpMessageHasDateAndFlushes) {
  testing::internal::CaptureStdout();
  char msg[] = "hello";
  hesk_dump_message(msg);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(out.size(), 15u + 1 + 5 + 1);
  EXPECT_EQ(out[8], 'T');
  EXPECT_EQ(out.substr(15), " hello\n");
}

TEST_F(HeskTest, CleanUpsAllowANewInit) {
  Hesk m;
  start_master(m);
  m.forced_clean();
  EXPECT_EQ(m.clid, -1);
  EXPECT_EQ(m.evid, -1);
  EXPECT_EQ(m.cl_buf, nullptr);
  ASSERT_FALSE(m.init());
  EXPECT_GT(m.clid, 0);
  m.all_clean_up();
  EXPECT_EQ(m.clid, -1);
  // A forced master's clean-up removes its partitions from the host.
  EXPECT_FALSE(shm_test::partition_exists(cl_name_));
  EXPECT_FALSE(shm_test::partition_exists(ev_name_));
  ASSERT_FALSE(m.init());
  EXPECT_GT(m.clid, 0);
}
