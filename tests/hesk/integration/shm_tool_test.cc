// The operator tool hesk-shm, run as a real process: listing, dumps, removal
// after a crash, and its answers for a missing partition or a user without
// the right to remove one.
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "shm_test_util.h"

#ifndef HESK_SHM_TOOL
#error "HESK_SHM_TOOL must name the hesk-shm executable"
#endif

namespace {

using shm_test::partition_exists;
using shm_test::Peek;
using shm_test::ShmTest;
using shm_test::wait_child;

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// The tool as another user can run it: the build tree may lie in a directory
// only its owner can enter, so the tool and the libraries it loads are copied
// once into a directory everyone may read.
std::string tool_for_others() {
  static std::string path;
  if (!path.empty()) return path;
  char dir[] = "/tmp/hesk-tool.XXXXXX";
  if (mkdtemp(dir) == nullptr) return HESK_SHM_TOOL;
  chmod(dir, 0755);
  const std::string tool = std::string(dir) + "/hesk-shm";
  std::string cmd = "cp '" + std::string(HESK_SHM_TOOL) + "' '" + tool + "' && for l in $(ldd '" +
                    HESK_SHM_TOOL +
                    "' | awk '/=>/ {print $3}' | grep -v -e '^/lib' -e '^/usr'); do cp \"$l\" '" +
                    dir + "'/; done; chmod -R a+rX '" + dir + "'";
  if (system(cmd.c_str()) != 0) return HESK_SHM_TOOL;
  path = tool;
  static std::string libdir = dir;
  atexit([] { system(("rm -rf '" + libdir + "'").c_str()); });
  return path;
}

// Runs hesk-shm with args (as user `uid` when >= 0), within 20 seconds.
ToolRun run_tool(const std::vector<std::string>& args, int uid = -1) {
  const std::string tool = uid >= 0 ? tool_for_others() : std::string(HESK_SHM_TOOL);
  const std::string libdir = tool.substr(0, tool.rfind('/'));
  ToolRun run;
  int out[2];
  int err[2];
  if (pipe(out) != 0 || pipe(err) != 0) return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]);
    close(err[0]);
    if (uid >= 0) {
      if (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(uid)) != 0 ||
          setuid(static_cast<uid_t>(uid)) != 0)
        _exit(126);
      setenv("LD_LIBRARY_PATH", libdir.c_str(), 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(tool.c_str(), argv.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_fds = 2;
  while (open_fds > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 100) <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (fds[k].fd < 0 || fds[k].revents == 0) continue;
      char buf[4096];
      ssize_t got = read(fds[k].fd, buf, sizeof buf);
      if (got > 0) {
        (k == 0 ? run.out : run.err).append(buf, static_cast<size_t>(got));
      } else {
        close(fds[k].fd);
        fds[k].fd = -1;
        --open_fds;
      }
    }
  }
  for (auto& f : fds) {
    if (f.fd >= 0) close(f.fd);
  }
  run.status = wait_child(pid, std::chrono::seconds(5));
  return run;
}

class ToolTest : public ShmTest {};

TEST_F(ToolTest, ListShowsEveryPartitionWithItsCounts) {
  const std::string a = name("a");
  const std::string b = name("b");
  C_shm_buffer pa(a.c_str(), 3, 128, false);
  C_shm_buffer pb(b.c_str(), 2, 64, true);
  ASSERT_TRUE(pa.valid());
  ASSERT_TRUE(pb.valid());
  ASSERT_NE(nullptr, pa.get_buffer(4, true));
  pb.bufmode(3);

  const ToolRun run = run_tool({"list"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_EQ(0u, run.out.find("NAME"));
  std::istringstream lines(run.out);
  std::string line;
  int seen = 0;
  while (std::getline(lines, line)) {
    std::istringstream cols(line);
    std::string nm, id, nbuf, lbuf, users, free_n, full_n, mode, owner, flags;
    cols >> nm >> id >> nbuf >> lbuf >> users >> free_n >> full_n >> mode >> owner >> flags;
    if (nm == a) {
      ++seen;
      EXPECT_EQ(pa.getStat("shmid"), id);
      EXPECT_EQ("3", nbuf);
      EXPECT_EQ("128", lbuf);
      EXPECT_EQ("1", users);
      EXPECT_EQ("2", free_n);
      EXPECT_EQ("0", full_n);
      EXPECT_EQ("0660", mode);
      EXPECT_EQ(std::to_string(geteuid()), owner);
      EXPECT_EQ("release,scavage", flags);
    } else if (nm == b) {
      ++seen;
      EXPECT_EQ("2", free_n);
      EXPECT_EQ("release,expose", flags);
    }
  }
  EXPECT_EQ(2, seen) << run.out;
  // Listing made nobody a user and removed nothing.
  EXPECT_EQ("1", pa.getStat("use_count"));
}

TEST_F(ToolTest, DumpByNameAndById) {
  const std::string a = name("a");
  C_shm pa(a.c_str(), 2, 32, false);
  ASSERT_TRUE(pa.valid());
  std::ostringstream expected;
  pa.dump(expected);

  const ToolRun by_name = run_tool({"dump", a});
  EXPECT_EQ(0, by_name.status) << by_name.err;
  EXPECT_EQ(expected.str(), by_name.out);
  const ToolRun by_id = run_tool({"dump", "--id", pa.getStat("shmid")});
  EXPECT_EQ(0, by_id.status) << by_id.err;
  EXPECT_EQ(expected.str(), by_id.out);
}

TEST_F(ToolTest, MissingPartitionsAndBadUsage) {
  const std::string a = name("missing");
  const ToolRun dump = run_tool({"dump", a});
  EXPECT_EQ(2, dump.status);
  EXPECT_NE(std::string::npos, dump.err.find("no partition named '" + a + "'"));
  const ToolRun rm = run_tool({"rm", a});
  EXPECT_EQ(2, rm.status);
  EXPECT_NE(std::string::npos, rm.err.find("no partition named"));
  const ToolRun by_id = run_tool({"dump", "--id", "2147483000"});
  EXPECT_EQ(2, by_id.status);
  EXPECT_NE(std::string::npos, by_id.err.find("no partition with segment id 2147483000"));
  EXPECT_EQ(2, run_tool({"dump", "--id", "12x"}).status);
  EXPECT_EQ(2, run_tool({}).status);
  EXPECT_EQ(2, run_tool({"frobnicate"}).status);
  const ToolRun help = run_tool({"--help"});
  EXPECT_EQ(0, help.status);
  EXPECT_NE(std::string::npos, help.out.find("usage: hesk-shm list"));
}

TEST_F(ToolTest, RemoveAPartitionLeftByCrashedUsers) {
  const std::string a = name("a");
  {
    Peek p(a.c_str(), 2, 32, true);
    ASSERT_TRUE(p.valid());
    p.keep(true);
    ASSERT_TRUE(p.gate(true));
    p.global()->gbl_count += 3;
    ASSERT_TRUE(p.gate(false));
  }
  const ToolRun rm = run_tool({"rm", a});
  EXPECT_EQ(0, rm.status) << rm.err;
  EXPECT_NE(std::string::npos, rm.out.find("removed partition '" + a + "'"));
  EXPECT_NE(std::string::npos, rm.out.find("3 registered users"));
  EXPECT_FALSE(partition_exists(a));
}

TEST_F(ToolTest, OtherUsersCannotRemoveAndByDefaultCannotSee) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as another user";
  // By default only the owner (and its group) reach a partition.
  const std::string a = name("a");
  C_shm pa(a.c_str(), 2, 32, false);
  ASSERT_TRUE(pa.valid());
  const ToolRun hidden = run_tool({"rm", a}, 65534);
  EXPECT_EQ(2, hidden.status) << hidden.out << hidden.err;
  EXPECT_TRUE(partition_exists(a));

  // Opened to everyone: others may look, but removing is still refused.
  setenv("HESK_IPC_MODE", "0666", 1);
  const std::string b = name("b");
  C_shm pb(b.c_str(), 2, 32, false);
  unsetenv("HESK_IPC_MODE");
  ASSERT_TRUE(pb.valid());
  EXPECT_EQ("0666", pb.getStat("mode"));
  const ToolRun rm = run_tool({"rm", b}, 65534);
  EXPECT_EQ(3, rm.status) << rm.out << rm.err;
  EXPECT_NE(std::string::npos, rm.err.find("permission denied"));
  EXPECT_TRUE(partition_exists(b));
  EXPECT_EQ("1", pb.getStat("use_count"));
  EXPECT_EQ(0, run_tool({"dump", b}, 65534).status);
}

}  // namespace
