// hesk-select run as a real process over a temporary archive.
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive_tree.h"

using namespace archive_test;

namespace {

constexpr unsigned kT0 = 1700000000;

struct ToolRun {
  int status;
  std::string out;
};

ToolRun tool(const std::string& args) {
  const std::string cmd = std::string(HESK_SELECT_TOOL) + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  ToolRun r{-1, ""};
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

std::string iso(unsigned t) {
  char buf[16];
  create_isodate_from_sec(t, buf, true);
  return buf;
}

class SelectTool : public testing::Test {
 protected:
  void SetUp() override {
    for (int run = 1; run <= 3; ++run) {
      for (int fid : {1, 11}) {
        kova_run_catalog e =
            run_entry("lin", "s", run, fid, 2023, kT0 + 1000 * run, kT0 + 1000 * run + 500, 2);
        ASSERT_EQ(add_run(e, "lin"), 0);
        std::vector<kova_index_file_ev> recs;
        for (int f = 1; f <= 2; ++f) {
          const unsigned t = kT0 + 1000 * run + 200 * (f - 1) + fid;
          recs.push_back(index_record<kova_index_file_ev>(f, t, t + 100, t));
        }
        auto ad = pointers(recs);
        ASSERT_EQ(add_index_file_entries_ev(e.exp, e.stream, run, fid, &ad, nullptr, 1), 0);
      }
    }
    // Run 9 is in the catalog, its index file is not.
    ASSERT_EQ(add_run(run_entry("lin", "s", 9, 0, 2023, kT0 + 9000, kT0 + 9500, 1), "lin"), 0);
    // The tool gets the archive from --root only.
    unsetenv("KOVA_ROOT_ENV_DIR");
    unsetenv("KOVA_ROOT_ADM_DIR");
    unsetenv("KOVA_DCCP_CTLG_DIR");
    opts_ = "--root " + tree_.data() + " --adm " + tree_.adm() + " --exp lin ";
  }
  std::string name(int run, int file, int fid) {
    const unsigned t = kT0 + 1000 * run + 200 * (file - 1) + fid;
    const std::string r = std::to_string(run);
    return "lin/s/run" + r + "/lin_s_run" + r + "_file" + std::to_string(file) + "_" + iso(t) +
           "." + std::to_string(fid) + ".raw\n";
  }

  Tree tree_;
  std::string opts_;
};

TEST_F(SelectTool, ListsRunsWritersAndPeriods) {
  ToolRun r = tool(opts_ + "--runs 2");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, name(2, 1, 1) + name(2, 1, 11) + name(2, 2, 1) + name(2, 2, 11));
  r = tool(opts_ + "--runs 1-3 --writer 1 --from-file 2");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, name(1, 2, 1) + name(2, 2, 1) + name(3, 2, 1));
  r = tool(opts_ + "--runs 3 --writer 11 --prefix /pnfs --xml");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, tree_.adm() + "/2023/lin/s/run3/lin_s_run3_chan_dscr.xml\n/pnfs/" +
                       name(3, 1, 11) + "/pnfs/" + name(3, 2, 11));
  // Period by ISO date: the first file of run 3 of both writers.
  r = tool(opts_ + "--start " + iso(kT0 + 3050) + " --end " + std::to_string(kT0 + 3060));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, name(3, 1, 1) + name(3, 1, 11));
}

TEST_F(SelectTool, ExitCodesTellWhatWentWrong) {
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"--runs 9", 2},             // index file missing
      {"--runs 77", 1},            // no such run
      {"--exp tor --runs 1", 2},   // no catalog of that experiment
      {"--runs 1 --start 5", 2},  // both selections
      {"--runs x", 2},            // bad run list
      {"--start 2024-13-45", 2},  // bad date
      {"--frobnicate", 2},        // unknown option
  };
  for (const auto& k : cases) {
    const ToolRun r = tool(opts_ + k.args);
    EXPECT_EQ(r.status, k.status) << k.args;
    EXPECT_EQ(r.out, "") << k.args;
  }
  const ToolRun help = tool("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: hesk-select"), std::string::npos);
}

}  // namespace
