#include "tool_process.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& argv, const std::string& cwd) {
  int fds[2];
  if (pipe(fds) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    setpgid(0, 0);
    dup2(fds[1], STDOUT_FILENO);
    dup2(fds[1], STDERR_FILENO);
    close(fds[0]);
    close(fds[1]);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    fprintf(stderr, "cannot run %s: %s\n", args[0], strerror(errno));
    _exit(127);
  }
  if (pid_ > 0) setpgid(pid_, pid_);  // either side may come first
  close(fds[1]);
  fd_ = fds[0];
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0) {
    kill(-pid_, SIGKILL);
    if (!reaped_) waitpid(pid_, nullptr, 0);
  }
  if (fd_ >= 0) close(fd_);
}

bool ToolProcess::read_some(double seconds) {
  if (fd_ < 0) return false;
  struct pollfd p = {fd_, POLLIN, 0};
  if (poll(&p, 1, static_cast<int>(seconds * 1000)) <= 0) return true;
  char buf[4096];
  ssize_t n = read(fd_, buf, sizeof(buf));
  if (n <= 0) {
    if (n < 0 && errno == EINTR) return true;
    close(fd_);
    fd_ = -1;
    return false;
  }
  out_.append(buf, static_cast<size_t>(n));
  return true;
}

bool ToolProcess::read_until(const std::string& text, double seconds) {
  const auto start = Clock::now();
  while (out_.find(text) == std::string::npos) {
    const double left = seconds - since(start);
    if (left <= 0 || !read_some(left < 0.1 ? left : 0.1)) break;
  }
  return out_.find(text) != std::string::npos;
}

const std::string& ToolProcess::read_all(double seconds) {
  const auto start = Clock::now();
  while (since(start) < seconds && read_some(0.1)) {
  }
  return out_;
}

void ToolProcess::close_output() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

void ToolProcess::signal(int sig) const {
  if (pid_ > 0 && !reaped_) kill(pid_, sig);
}

void ToolProcess::signal_group(int sig) const {
  if (pid_ > 0) kill(-pid_, sig);
}

int ToolProcess::wait(double seconds) {
  const auto start = Clock::now();
  while (pid_ > 0 && !reaped_) {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) == pid_) {
      reaped_ = true;
      return st;
    }
    if (since(start) > seconds) return -1;
    if (fd_ >= 0) {
      read_some(0.01);  // keep the pipe from filling up
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return -1;
}

int ToolProcess::group_alive() const {
  int alive = 0;
  DIR* d = opendir("/proc");
  if (d == nullptr) return -1;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::ifstream in(std::string("/proc/") + e->d_name + "/stat");
    std::string line;
    if (!std::getline(in, line)) continue;
    // pid (comm) state ppid pgrp ...: the command may hold blanks and ')'.
    const size_t close_paren = line.rfind(')');
    if (close_paren == std::string::npos) continue;
    char state = 0;
    int ppid = 0, pgrp = 0;
    if (sscanf(line.c_str() + close_paren + 1, " %c %d %d", &state, &ppid, &pgrp) != 3) continue;
    if (pgrp == pid_ && state != 'Z') ++alive;
  }
  closedir(d);
  return alive;
}

std::string ToolProcess::run(const std::vector<std::string>& argv, int* code, double seconds,
                             const std::string& cwd) {
  ToolProcess p(argv, cwd);
  p.read_all(seconds);
  const int st = p.wait(seconds);
  *code = st >= 0 && WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return p.output();
}
