// Multi-process test support: the test binary re-runs itself as writer,
// reader and other child processes (--hesk-child=ROLE ...), so every process
// starts single-threaded and uses the real partitions, semaphores and
// datagrams of this host. Children and the test meet through files in a
// per-test directory (ready.<tag>, go, stop, ...).
#ifndef HESK_TESTS_MP_PROCESS_FIXTURE_H
#define HESK_TESTS_MP_PROCESS_FIXTURE_H

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "../manager/hesk_test_util.h"

namespace hesk_mp {

using hesk_test::HeskTest;
using hesk_test::wait_for;

constexpr int kDataBuffers = 16;

inline bool file_exists(const std::string& p) {
  return access(p.c_str(), F_OK) == 0;
}
inline void touch(const std::string& p) {
  std::ofstream(p) << "1";
}

// Waits up to `ms` for a file to appear.
inline bool wait_file(const std::string& p, int ms) {
  return wait_for([&] { return file_exists(p); }, ms);
}

inline kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

inline bool init_retrying(Hesk& h) {
  for (int i = 0; i < 500; ++i) {
    if (!h.init()) return true;
    usleep(10000);
  }
  return false;
}

inline std::string self_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  buf[n > 0 ? n : 0] = '\0';
  return buf;
}

// Starts this binary as a child process with the given role arguments.
inline pid_t start_child(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    static std::string exe = self_path();
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

inline int read_count(const std::string& path) {
  std::ifstream in(path);
  int n = -1;
  in >> n;
  return n;
}

class HeskProcesses : public HeskTest {
 protected:
  void SetUp() override {
    HeskTest::SetUp();
    char tmpl[] = "/tmp/hesk-mp-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    touch(dir_ + "/stop");
    for (pid_t p : children_) shm_test::wait_child(p, std::chrono::milliseconds(10000));
    for (const std::string& d : data_names_) shm_test::kill_partition(d);
    std::string cmd = "rm -rf " + dir_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
    HeskTest::TearDown();
  }
  pid_t writer(const std::string& name, int count, unsigned t0) {
    std::string data = data_name_ + "." + name;
    data_names_.push_back(data);
    pid_t p = start_child(
        {"--hesk-child=writer", dir_, name, data, std::to_string(count), std::to_string(t0)});
    children_.push_back(p);
    return p;
  }
  pid_t reader(const std::string& tag, bool hang = false) {
    pid_t p = start_child({"--hesk-child=reader", dir_, tag, hang ? "hang" : "count"});
    children_.push_back(p);
    return p;
  }
  // Starts a child of any other role; its arguments follow the directory.
  pid_t child(const std::string& role, const std::vector<std::string>& args) {
    std::vector<std::string> all{"--hesk-child=" + role, dir_};
    all.insert(all.end(), args.begin(), args.end());
    pid_t p = start_child(all);
    children_.push_back(p);
    return p;
  }
  bool ready(const std::string& who) { return wait_file(dir_ + "/ready." + who, 20000); }
  void go() { touch(dir_ + "/go"); }
  // Ends a child and reaps it, so that the liveness test sees it gone.
  void kill_child(pid_t p) {
    kill(p, SIGKILL);
    shm_test::wait_child(p, std::chrono::milliseconds(5000));
  }

  // Whether every event slot is free.
  static bool all_events_free(Hesk& m) {
    for (int s = 1; s < m.ev_buf->getBufferCount(); ++s)
      if (hesk_test::record_status(m, s) != EVT_C_FREE) return false;
    return true;
  }

  std::string dir_;
  std::vector<pid_t> children_;
  std::vector<std::string> data_names_;
};

// Runs the child role named by argv[1] (--hesk-child=ROLE); its exit status.
int run_child(int argc, char** argv);

}  // namespace hesk_mp

#endif  // HESK_TESTS_MP_PROCESS_FIXTURE_H
