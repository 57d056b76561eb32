// hesk-demo stopped from outside while it runs: an interrupt (Ctrl-C on its
// process group, SIGTERM on the process and its group) ends the run in order
// and loses nothing; a closed output does the same without killing the demo; a
// SIGKILL of the demo ends its workers, and the last of them removes the
// run's partitions. hesk-status, given no names, finds the running demo.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <string>
#include <thread>

#include "C_shm.h"
#include "tool_process.h"

namespace {

bool partition_exists(const std::string& name) {
  C_shm probe;
  probe.keep(true);
  return !probe.find(name.c_str());
}

// Waits until `done` holds, up to `seconds`.
template <class Fn>
bool eventually(Fn done, double seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Every reader was delivered every event built.
void expect_all_delivered(const std::string& out) {
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("events built +([0-9]+)"))) << out;
  const std::string built = m[1];
  EXPECT_NE(built, "0") << out;
  const std::regex delivered("delivered to [LR][0-9]+ +([0-9]+)");
  int readers = 0;
  for (auto it = std::sregex_iterator(out.begin(), out.end(), delivered);
       it != std::sregex_iterator(); ++it, ++readers)
    EXPECT_EQ((*it)[1].str(), built) << out;
  EXPECT_EQ(readers, 3) << out;
}

enum class Stop { kCtrlC, kTerm, kOutputClosed, kKill };

struct StopCase {
  const char* name;
  Stop how;
};

class DemoStop : public testing::TestWithParam<StopCase> {
 protected:
  void SetUp() override {
    unsetenv("KOVA_CLI_SHM_NAME");
    unsetenv("KOVA_EV_SHM_NAME");
  }
};

TEST_P(DemoStop, EndsInOrderAndLeavesNothingBehind) {
  const Stop how = GetParam().how;
  ToolProcess demo({HESK_DEMO_TOOL, "--seconds", "300", "--rate", "2000"});
  ASSERT_TRUE(demo.read_until("EV_SLOTS", 60)) << demo.output();
  const std::string prefix = "hesk-demo." + std::to_string(demo.pid());
  EXPECT_NE(demo.output().find("--cl " + prefix + ".cl --ev " + prefix + ".ev"), std::string::npos)
      << demo.output();
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // events flow

  if (how == Stop::kCtrlC) {
    // Shown when it is the only manager, listed among several otherwise.
    int code = -1;
    const std::string seen = ToolProcess::run({HESK_STATUS_TOOL}, &code);
    EXPECT_EQ(code, 0) << seen;
    EXPECT_NE(seen.find(prefix + ".cl"), std::string::npos) << seen;
  }

  switch (how) {
    case Stop::kCtrlC:
      demo.signal_group(SIGINT);  // as a terminal does
      break;
    case Stop::kTerm:
      demo.signal(SIGTERM);  // as timeout(1) does: to the process, then to its group
      demo.signal_group(SIGTERM);
      break;
    case Stop::kOutputClosed:
      demo.close_output();
      break;
    case Stop::kKill:
      demo.signal(SIGKILL);
      break;
  }
  const std::string& out = demo.read_all(90);
  const int st = demo.wait(90);
  ASSERT_NE(st, -1) << "the demo did not end: " << out;
  if (how == Stop::kKill) {
    EXPECT_TRUE(WIFSIGNALED(st));
  } else {
    ASSERT_TRUE(WIFEXITED(st)) << "signal " << WTERMSIG(st);
    EXPECT_EQ(WEXITSTATUS(st), 0) << out;
  }
  if (how == Stop::kCtrlC || how == Stop::kTerm) {
    EXPECT_NE(out.find("result: OK (interrupted)"), std::string::npos) << out;
    EXPECT_NE(out.find("events lost             0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("events incomplete       0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("events corrupted        0\n"), std::string::npos) << out;
    EXPECT_NE(out.find("partitions left         0\n"), std::string::npos) << out;
    expect_all_delivered(out);
  }
  EXPECT_TRUE(eventually([&] { return demo.group_alive() == 0; }, 30))
      << demo.group_alive() << " processes of the demo still run";
  EXPECT_TRUE(eventually(
      [&] {
        return !partition_exists(prefix + ".cl") && !partition_exists(prefix + ".ev") &&
               !partition_exists(prefix + ".ev.stats") && !partition_exists(prefix + ".data.W1");
      },
      30))
      << "partitions of " << prefix << " left";
}

INSTANTIATE_TEST_SUITE_P(Ways, DemoStop,
                         testing::Values(StopCase{"CtrlC", Stop::kCtrlC},
                                         StopCase{"Term", Stop::kTerm},
                                         StopCase{"OutputClosed", Stop::kOutputClosed},
                                         StopCase{"Kill", Stop::kKill}),
                         [](const testing::TestParamInfo<StopCase>& i) { return i.param.name; });

// The demo records into the archive it is given and keeps it: each run a
// new run number whose files hesk-select finds; --no-record runs without.
TEST(DemoRecord, KeepsTheArchiveItIsGivenWithEachRunSelectable) {
  unsetenv("KOVA_CLI_SHM_NAME");
  unsetenv("KOVA_EV_SHM_NAME");
  const std::string dir = testing::TempDir() + "demo_record." + std::to_string(getpid());
  ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
  for (int run = 1; run <= 2; ++run) {
    int code = -1;
    const std::string out = ToolProcess::run(
        {HESK_DEMO_TOOL, "--events", "300", "--quiet", "--writers", "2", "--record", dir}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("events recorded         300 in 1 files, read back 300, mismatched 0"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("--exp chain --runs " + std::to_string(run)), std::string::npos) << out;
  }
  int code = -1;
  const std::string files =
      ToolProcess::run({HESK_SELECT_TOOL, "--root", dir, "--exp", "chain", "--runs", "1-2"}, &code);
  EXPECT_EQ(code, 0) << files;
  EXPECT_TRUE(
      std::regex_search(files, std::regex("chain/demo/run1/chain_demo_run1_file1_[0-9T]+\\.raw\n"
                                          "chain/demo/run2/chain_demo_run2_file1_[0-9T]+\\.raw\n")))
      << files;

  std::string out =
      ToolProcess::run({HESK_DEMO_TOOL, "--events", "100", "--quiet", "--no-record"}, &code);
  EXPECT_EQ(code, 0) << out;
  EXPECT_NE(out.find("events recorded         not recorded (--no-record)"), std::string::npos)
      << out;
  out = ToolProcess::run({HESK_DEMO_TOOL, "--record", dir, "--no-record"}, &code);
  EXPECT_EQ(code, 2) << out;
  system(("rm -rf " + dir).c_str());
}

}  // namespace
