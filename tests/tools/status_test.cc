#include <cstdio>
#include <string>

#include "../hesk/manager/hesk_test_util.h"

using hesk_test::HeskTest;

namespace {

// Runs a command and gives its standard output and exit code.
std::string run(const std::string& cmd, int* rc) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
  int st = pclose(p);
  *rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

}  // namespace

TEST_F(HeskTest, StatusToolShowsALiveManagerAndLeavesItAlone) {
  Hesk m;
  start_master(m);
  kova_client c;
  memset(&c, 0, sizeof(c));
  std::list<std::string> n{"SRV.A"};
  ASSERT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 1);
  int rc = -1;
  std::string out = run(std::string(HESK_STATUS_TOOL) + " 2>&1", &rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("Clien Slot Partition - " + cl_name_), std::string::npos) << out;
  EXPECT_NE(out.find("Slot # 1 a writer"), std::string::npos);
  EXPECT_NE(out.find("Server # 0 SRV.A"), std::string::npos);
  EXPECT_NE(out.find("Event Slot Partition - " + ev_name_), std::string::npos);
  // Looking changed nothing: the partitions are there and still counted once.
  EXPECT_TRUE(shm_test::partition_exists(cl_name_));
  EXPECT_EQ(m.cl_buf->getStat("use_count"), "1");
  int w = 0;
  m.cl_subscribed(&w, nullptr);
  EXPECT_EQ(w, 1);
}

TEST_F(HeskTest, StatusToolSaysWhenNoManagerRuns) {
  int rc = -1;
  std::string out = run(std::string(HESK_STATUS_TOOL) + " 2>&1", &rc);
  EXPECT_EQ(rc, 2);
  EXPECT_NE(out.find("no buffer manager runs on this host"), std::string::npos) << out;
  EXPECT_FALSE(shm_test::partition_exists(cl_name_));
}

namespace {

// Writes a server block with one two-sample spectrum "<server>.CH0" into a
// buffer of partition id; its buffer number.
int put_spectrum_block(Hesk& w, int id, const char* server, unsigned key, bool b2024) {
  int bnum = HeskTest::put_block(w, id, server, {key, 0}, 1, b2024, 1);
  char* p = w.get_buffer_address(bnum, id, false);
  size_t hs = b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
  auto* sb = reinterpret_cast<kova_serv_block_subhead_2010*>(p + hs);
  memset(sb, 0, sizeof(*sb));
  snprintf(sb->chname, sizeof(sb->chname), "%s.CH0", server);
  sb->dtype = KOVA_BLOCK_1CHAN_2010;
  auto* s = reinterpret_cast<kova_norm_1channel_block_2010*>(p + hs + sizeof(*sb));
  memset(s, 0, sizeof(*s));
  s->header.inc = 1;
  s->header.ndata = 2;
  s->data[0] = 1.5f;
  s->data[1] = 2.5f;
  sb->ldata = static_cast<int32_t>(sizeof(*sb) + sizeof(*s) + 2 * sizeof(float));
  long ltotal = static_cast<long>(hs) + sb->ldata;
  if (b2024)
    reinterpret_cast<kova_serv_block_head_2024*>(p)->ltotal = ltotal;
  else
    reinterpret_cast<kova_serv_block_head_2010*>(p)->ltotal = static_cast<int32_t>(ltotal);
  return bnum;
}

class StatusEventSlot : public HeskTest, public testing::WithParamInterface<bool> {};

}  // namespace

// An event waiting for its second block stays live; the tool prints it with
// its server block and changes nothing.
TEST_P(StatusEventSlot, PrintsOneLiveEventSlotReadOnly) {
  const bool b2024 = GetParam();
  Hesk m;
  start_master(m, b2024);
  kova_client c;
  memset(&c, 0, sizeof(c));
  auto wn = names({"SRV.A", "SRV.B"});
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &wn), 0);
  int id = m.add(data_name_.c_str(), 4, 1024, false);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, put_spectrum_block(m, id, "SRV.A", 4242, b2024)));
  const std::string tool = std::string(HESK_STATUS_TOOL) + (b2024 ? " --2024" : "");

  int rc = -1;
  std::string out = run(tool + " --event-slot 1 2>&1", &rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("Event slot 1: "), std::string::npos) << out;
  EXPECT_NE(out.find("1 server block\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Server block 0: SRV.A"), std::string::npos) << out;
  EXPECT_NE(out.find("SRV.A.CH0"), std::string::npos) << out;
  EXPECT_EQ(out.find("not shown"), std::string::npos) << out;

  out = run(tool + " --event-slot 2 2>&1", &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_NE(out.find("Event slot 2 is free"), std::string::npos) << out;
  out = run(tool + " --event-slot 100000 2>&1", &rc);
  EXPECT_EQ(rc, 1);
  EXPECT_NE(out.find("does not exist"), std::string::npos) << out;
  out = run(tool + " --event-slot x 2>&1", &rc);
  EXPECT_EQ(rc, 2);

  // Nothing changed: the event still waits, the partitions keep their users.
  EXPECT_EQ(hesk_test::record_status(m, 1), EVT_C_USED);
  EXPECT_EQ(m.find_by_id(id)->getStat("use_count"), "1");
  EXPECT_EQ(m.ev_buf->getStat("use_count"), "1");
  EXPECT_EQ(free_buffers(m, id), 3);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, put_spectrum_block(m, id, "SRV.B", 4242, b2024)));
  EXPECT_EQ(hesk_test::record_status(m, 1), EVT_C_FREE);
}

INSTANTIATE_TEST_SUITE_P(Layouts, StatusEventSlot, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return i.param ? "Layout2024" : "Layout2010";
                         });
