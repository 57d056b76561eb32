// Every tool reads its options alike: "--opt VALUE" and "--opt=VALUE" give
// the same result, a bad value, an unknown option or a missing value is a
// usage error with exit status 2 that says what is allowed, and --help
// prints the usage on standard output with exit status 0.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tool_process.h"

namespace {

struct Tool {
  std::string name, path;
};

std::vector<Tool> tools() {
  std::vector<Tool> t = {{"hesk-demo", HESK_DEMO_TOOL},       {"hesk-status", HESK_STATUS_TOOL},
                         {"hesk-shm", HESK_SHM_TOOL},         {"hesk-select", HESK_SELECT_TOOL},
                         {"hesk-daqgen", HESK_DAQGEN_TOOL},   {"hesk-daqdump", HESK_DAQDUMP_TOOL},
                         {"hesk-torture", HESK_TORTURE_TOOL}, {"hesk-record", HESK_RECORD_TOOL}};
#ifdef HESK_BENCH_TOOL
  t.push_back({"hesk-bench", HESK_BENCH_TOOL});
#endif
  return t;
}

// One option given both ways: tool, arguments before it, the option and its
// value, arguments after it; the exit code and a text the output holds.
struct OptionCase {
  std::string tool;
  std::vector<std::string> before;
  std::string option, value;
  std::vector<std::string> after;
  int code;
  std::string says;
};

class ToolOptions : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "tool_options." + std::to_string(getpid());
    ASSERT_EQ(system(("rm -rf " + dir_ + " && mkdir -p " + dir_).c_str()), 0);
    file_ = dir_ + "/run.daq";
    int code = -1;
    ToolProcess::run({HESK_DAQGEN_TOOL, "--events", "4", file_}, &code);
    ASSERT_EQ(code, 0);
    unsetenv("KOVA_CLI_SHM_NAME");
    unsetenv("KOVA_EV_SHM_NAME");
  }
  void TearDown() override { system(("rm -rf " + dir_).c_str()); }

  std::string path(const std::string& tool) const {
    for (const Tool& t : tools())
      if (t.name == tool) return t.path;
    return "";
  }

  std::string dir_, file_;
};

TEST_F(ToolOptions, ValuesAreTakenWithBlankOrEqualsAlike) {
  const std::string out = dir_ + "/out.daq";
  const std::vector<OptionCase> cases = {
      // Good values: the same result either way.
      {"hesk-daqdump", {}, "--events", "2", {file_}, 0, "Event"},
      {"hesk-daqdump", {}, "--channels", "SRV.00/CH.000", {file_}, 0, "SRV.00/CH.000"},
      {"hesk-daqdump", {}, "--type", "NORMAL", {file_}, 0, ""},
      {"hesk-daqgen", {}, "--events", "3", {out}, 0, "3 events"},
      {"hesk-status", {"--ev", "no.such.ev"}, "--cl", "no.such.cl", {}, 2, "'no.such.cl'"},
      {"hesk-select", {"--runs", "1"}, "--exp", "lin", {"--root", dir_}, 2, "'lin'"},
      {"hesk-shm", {"dump"}, "--id", "2147483000", {}, 2, "2147483000"},
      // Bad values: a usage error naming what is allowed.
      {"hesk-demo", {}, "--writers", "99", {}, 2, "from 1 to 16, not '99'"},
      {"hesk-demo", {}, "--block-size", "100", {}, 2, "from 736 to"},
      {"hesk-demo", {"--2024"}, "--block-size", "740", {}, 2, "from 756 to"},
      {"hesk-demo", {"--readers", "2"}, "--listing", "3", {}, 2, "--listing 3 exceeds"},
      {"hesk-demo", {"--events", "10"}, "--seconds", "2", {}, 2, "not both"},
      {"hesk-status", {}, "--event-slot", "x", {}, 2, "not 'x'"},
      {"hesk-status", {}, "--serve", "65536", {}, 2, "port from 0 to 65535, not '65536'"},
      {"hesk-status", {}, "--serve", "[::1:80", {}, 2, "not '[::1:80'"},
      {"hesk-status", {"--clients"}, "--serve", "9464", {}, 2, "not with --clients"},
      {"hesk-demo", {}, "--serve", "localhost:x", {}, 2, "port from 0 to 65535, not 'localhost:x'"},
      {"hesk-shm", {"dump"}, "--id", "12x", {}, 2, "not '12x'"},
      {"hesk-select", {"--exp", "lin"}, "--runs", "x", {}, 2, "bad run list: x"},
      {"hesk-daqgen", {}, "--generation", "2011", {out}, 2, "2011"},
      {"hesk-daqdump", {}, "--events", "-1", {file_}, 2, "not '-1'"},
      {"hesk-daqdump", {}, "--type", "NOSUCH", {file_}, 2, "'NOSUCH'"},
      {"hesk-bench", {}, "--events", "5", {}, 2, "from 100 to"},
      {"hesk-torture", {}, "--seconds", "0", {}, 2, "from 1 to 86400, not '0'"},
      {"hesk-torture", {}, "--writers", "9", {}, 2, "from 1 to 8, not '9'"},
      {"hesk-bench", {}, "--cases", "9x9-1KB", {}, 2, "unknown case"},
      {"hesk-record", {}, "--recover", file_, {}, 0, "already whole"},
      {"hesk-record", {"--exp", "lin", "--stream", "s"}, "--run", "0", {}, 2, "not '0'"},
      {"hesk-record", {"--run", "1", "--exp", "lin"}, "--stream", "a/b", {}, 2, "--stream must"},
      {"hesk-record",
       {"--run", "1", "--exp", "lin", "--stream", "s"},
       "--generation",
       "2009",
       {},
       2,
       "2010 or 2024, not '2009'"},
  };
  for (const OptionCase& k : cases) {
    const std::string tool = path(k.tool);
    if (tool.empty()) continue;  // not built here
    std::vector<std::string> blank{tool}, equals{tool};
    for (const std::string& a : k.before) blank.push_back(a), equals.push_back(a);
    blank.push_back(k.option);
    blank.push_back(k.value);
    equals.push_back(k.option + "=" + k.value);
    for (const std::string& a : k.after) blank.push_back(a), equals.push_back(a);
    SCOPED_TRACE(k.tool + " " + k.option + " " + k.value);
    int code_blank = -1, code_equals = -1;
    const std::string a = ToolProcess::run(blank, &code_blank);
    const std::string b = ToolProcess::run(equals, &code_equals);
    EXPECT_EQ(code_blank, k.code) << a;
    EXPECT_EQ(code_equals, k.code) << b;
    EXPECT_EQ(a, b);
    EXPECT_NE(a.find(k.says), std::string::npos) << a;
  }
}

TEST_F(ToolOptions, EveryToolHasHelpAndRefusesWhatItDoesNotKnow) {
  for (const Tool& t : tools()) {
    SCOPED_TRACE(t.name);
    int code = -1;
    std::string out = ToolProcess::run({t.path, "--help"}, &code);
    EXPECT_EQ(code, 0) << out;
    EXPECT_EQ(out.rfind("usage: " + t.name, 0), 0u) << out;
    out = ToolProcess::run({t.path, "--no-such-option"}, &code);
    EXPECT_EQ(code, 2) << out;
    EXPECT_NE(out.find("--help"), std::string::npos) << out;
  }
  // A value missing at the end of the line.
  for (const auto& k :
       std::vector<std::pair<std::string, std::string>>{{"hesk-demo", "--events"},
                                                        {"hesk-status", "--cl"},
                                                        {"hesk-select", "--exp"},
                                                        {"hesk-daqgen", "--samples"},
                                                        {"hesk-daqdump", "--channels"},
                                                        {"hesk-shm", "--id"},
                                                        {"hesk-torture", "--seed"},
                                                        {"hesk-bench", "--cases"},
                                                        {"hesk-record", "--exp"}}) {
    if (path(k.first).empty()) continue;
    int code = -1;
    const std::string out = ToolProcess::run({path(k.first), k.second}, &code);
    EXPECT_EQ(code, 2) << k.first << " " << k.second << ": " << out;
  }
}

}  // namespace
