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
