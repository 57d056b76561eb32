// Starting and stopping the demo's live view.
#include "demo_live_view.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Waits up to `seconds` for the child; its wait status, or -1.
int wait_for(pid_t pid, double seconds) {
  auto end = Clock::now() + std::chrono::milliseconds(static_cast<long>(seconds * 1000));
  for (;;) {
    int st = 0;
    pid_t r = waitpid(pid, &st, WNOHANG);
    if (r == pid) return st;
    if (r < 0 && errno != EINTR) return -1;
    if (Clock::now() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

bool DemoLiveView::start(const std::string& status_tool, const std::string& listen,
                         const std::string& client, const std::string& event, bool layout_2024,
                         std::string* url, std::string* error, int* exit_code) {
  *exit_code = 1;
  int pipefd[2];
  if (pipe2(pipefd, O_CLOEXEC) != 0) {
    *error = std::string("cannot start the live view: ") + strerror(errno);
    return false;
  }
  std::vector<std::string> args{status_tool, "--serve", listen, "--cl", client, "--ev", event};
  if (layout_2024) args.push_back("--2024");
  const pid_t parent = getpid();
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    // Ends with the demo, whatever ends the demo; the first Ctrl-C ends the
    // run in order and leaves the view to the end of it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(1);
    signal(SIGINT, SIG_IGN);
    dup2(pipefd[1], STDOUT_FILENO);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    fprintf(stderr, "hesk-demo: cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  close(pipefd[1]);
  if (pid < 0) {
    close(pipefd[0]);
    *error = std::string("cannot start the live view: ") + strerror(errno);
    return false;
  }
  pid_ = pid;
  out_ = pipefd[0];
  // Its first line says where it listens.
  std::string line;
  auto end = Clock::now() + std::chrono::seconds(15);
  while (line.find('\n') == std::string::npos && Clock::now() < end) {
    pollfd p{out_, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[512];
    ssize_t n = read(out_, buf, sizeof(buf));
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  size_t at = line.find("http://");
  if (at == std::string::npos) {
    int st = wait_for(pid_, 3);
    if (st != -1) pid_ = -1;
    stop();
    if (st != -1 && WIFEXITED(st) && WEXITSTATUS(st) == 2) *exit_code = 2;
    *error = "the live view did not start (hesk-status --serve " + listen + ": see above)";
    return false;
  }
  size_t stop_at = line.find_first_of(" \n", at);
  *url = line.substr(at, stop_at == std::string::npos ? std::string::npos : stop_at - at);
  return true;
}

bool valid_listen_address(const char* text) {
  const char* colon = strrchr(text, ':');
  const char* port = colon ? colon + 1 : text;
  size_t n = strlen(port);
  if (n == 0 || n > 5 || strspn(port, "0123456789") != n) return false;
  return atol(port) <= 65535 && (colon == nullptr || colon > text);
}

void DemoLiveView::stop() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (wait_for(pid_, 5) == -1) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
  if (out_ >= 0) {
    close(out_);
    out_ = -1;
  }
}
