// hesk-daqgen and hesk-daqdump as real processes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "daq_fixture.h"

namespace {

struct ToolRun {
  int rc = -1;
  std::string out;
};

// Runs a command line; standard error joins standard output when `err`.
ToolRun run(const std::string& cmd, bool err = true) {
  ToolRun r;
  FILE* p = popen((cmd + (err ? " 2>&1" : " 2>/dev/null")).c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof(buf), p)) > 0) r.out.append(buf, n);
  const int st = pclose(p);
  r.rc = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

const std::string kGen = HESK_DAQGEN_TOOL;
const std::string kDump = HESK_DAQDUMP_TOOL;

// The dump from its reference table to the XML description (the baskets
// that follow are not printed for a swapped file).
std::string tables_part(const std::string& dump) {
  const size_t from = dump.find('\n') + 1;
  const size_t to = dump.find("END=OF=XCD");
  return to == std::string::npos ? dump : dump.substr(from, to - from);
}

TEST(DaqTools, EveryGenerationAndByteOrderDumps) {
  for (const char* gen : {"2009", "2010", "2024"}) {
    daqtest::TempFile host, swapped;
    const std::string opts = std::string(" --generation ") + gen + " --events 6 --types 1,0 ";
    ASSERT_EQ(run(kGen + opts + host.path()).rc, 0);
    ASSERT_EQ(run(kGen + opts + "--swapped " + swapped.path()).rc, 0);
    const ToolRun h = run(kDump + " " + host.path(), false);
    const ToolRun s = run(kDump + " " + swapped.path(), false);
    EXPECT_EQ(h.rc, 0) << h.out;
    EXPECT_EQ(s.rc, 0) << s.out;
    EXPECT_NE(h.out.find(std::string("generation ") + gen + ", host byte order"),
              std::string::npos);
    EXPECT_NE(s.out.find("opposite byte order"), std::string::npos);
    for (const char* part : {"KOVA File Reference Table", "Event Type: \tHEART_BEAT", "END=OF=CDT",
                             "END=OF=ECP", "END=OF=EIDT", "<channels>"})
      EXPECT_NE(h.out.find(part), std::string::npos) << gen << " " << part;
    EXPECT_NE(h.out.find("END=OF=SBHB"), std::string::npos);
    EXPECT_EQ(h.out.find("WRONG"), std::string::npos);
    EXPECT_EQ(tables_part(s.out), tables_part(h.out)) << gen;
  }
}

TEST(DaqTools, ChannelsTypeAndEvents) {
  daqtest::TempFile f;
  ASSERT_EQ(run(kGen + " --generation 2024 --swapped --events 4 --channels 3 " + f.path()).rc, 0);
  ToolRun r = run(kDump + " --channels SRV.01/CH.002,SRV.00/CH.000 " + f.path());
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.out.find("Channel SRV.01/CH.002 (key 1050): 2 events\n"), 0u) << r.out;
  EXPECT_NE(r.out.find("Channel SRV.00/CH.000 (key 1000): 4 events\n  [0] event 1000 at 0: "
                       "server block 48, channel 352, data 620\n"),
            std::string::npos)
      << r.out;
  r = run(kDump + " --channels NO/SUCH " + f.path());
  EXPECT_EQ(r.rc, 3);
  EXPECT_NE(r.out.find("channel not found: NO/SUCH"), std::string::npos);
  r = run(kDump + " --type NORMAL " + f.path());
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("[3]\tEvent#: 1003\t"), std::string::npos) << r.out;
  r = run(kDump + " --type BOR " + f.path());
  EXPECT_EQ(r.rc, 3);
  r = run(kDump + " --events=2 " + f.path());
  EXPECT_EQ(r.rc, 0) << r.out;
  EXPECT_NE(r.out.find("--- event at 0 (NORMAL)\nPATTERN:0xFFCCFFCC"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Event#:1001"), std::string::npos);
  EXPECT_EQ(r.out.find("Event#:1002"), std::string::npos);
}

TEST(DaqTools, AbsentTablesAreNoted) {
  daqtest::TempFile f;
  ASSERT_EQ(run(kGen + " --generation 2009 --omit cdt,xcd " + f.path()).rc, 0);
  const ToolRun r = run(kDump + " " + f.path());
  EXPECT_EQ(r.rc, 0);
  EXPECT_NE(r.out.find("(no CDT in this file)"), std::string::npos);
  EXPECT_NE(r.out.find("(no XCD in this file)"), std::string::npos);
  EXPECT_NE(r.out.find("END=OF=ECP"), std::string::npos);
}

TEST(DaqTools, NotADaqFileAndBadUsage) {
  daqtest::TempFile junk;
  ASSERT_TRUE(junk.write(std::vector<unsigned char>(5000, 'x')));
  ToolRun r = run(kDump + " " + junk.path());
  EXPECT_EQ(r.rc, 2);
  EXPECT_NE(r.out.find("not a DAQ file"), std::string::npos) << r.out;
  r = run(kDump + " /nonexistent/file.raw");
  EXPECT_EQ(r.rc, 2);
  EXPECT_NE(r.out.find("cannot open"), std::string::npos);
  daqtest::TempFile empty;
  EXPECT_EQ(run(kDump + " " + empty.path()).rc, 2);
  // A DAQ file whose reference table is gone.
  daqtest::TempFile cut;
  ASSERT_EQ(run(kGen + " --events 3 " + cut.path()).rc, 0);
  {
    auto s = daqtest::make_sample({2010, false});
    s.bytes[s.layout.frt] ^= 0xFF;
    ASSERT_TRUE(cut.write(s.bytes));
  }
  EXPECT_EQ(run(kDump + " " + cut.path()).rc, 2);
  EXPECT_EQ(run(kDump).rc, 2);
  EXPECT_EQ(run(kDump + " --bogus x").rc, 2);
  EXPECT_EQ(run(kDump + " --type NOSUCHTYPE " + cut.path()).rc, 2);
  EXPECT_EQ(run(kGen + " --generation 2011 x").rc, 2);
  EXPECT_EQ(run(kGen + " --types ENV x").rc, 2);
  EXPECT_EQ(run(kGen + " /nonexistent/dir/out.raw").rc, 1);
}

// A file cut while hesk-daqdump prints its events: exit 2 and a message naming
// the file, not a crash. The tool writes into a pipe of one page that the test
// reads only up to the first event, so the tool is still near the file's
// start when the file is cut to one page.
TEST(DaqTools, AFileCutWhileItsEventsArePrintedEndsWithExit2) {
  daqtest::TempFile f, err;
  ASSERT_EQ(run(kGen + " --events 400 --samples 64 " + f.path()).rc, 0);
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  fcntl(out[1], F_SETPIPE_SZ, 4096);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(open(err.path().c_str(), O_WRONLY | O_TRUNC), 2);
    close(out[0]);
    execl(kDump.c_str(), kDump.c_str(), "--events", f.path().c_str(), nullptr);
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  close(out[1]);
  std::string seen;
  char buf[256];
  while (seen.find("--- event at") == std::string::npos) {
    const ssize_t n = read(out[0], buf, sizeof(buf));
    if (n <= 0) break;
    seen.append(buf, static_cast<size_t>(n));
  }
  EXPECT_NE(seen.find("--- event at 0"), std::string::npos);
  ASSERT_EQ(truncate(f.path().c_str(), 4096), 0);
  while (read(out[0], buf, sizeof(buf)) > 0) {
  }
  close(out[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 2);
  std::ifstream e(err.path());
  const std::string text((std::istreambuf_iterator<char>(e)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "hesk-daqdump: " + f.path() +
                      ": the file changed under the reader (it shrank while being read)\n");
}

}  // namespace
