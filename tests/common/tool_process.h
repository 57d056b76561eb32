// A command-line tool run as a process of its own, in a process group of its
// own: its standard output and error (together, through one pipe), signals
// to it or its group, its exit within a time limit, and whether any process
// of its group still lives. The destructor kills what is left of the group.
#ifndef HESK_TESTS_TOOL_PROCESS_H
#define HESK_TESTS_TOOL_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

class ToolProcess {
 public:
  // Runs argv (argv[0] a path) in directory `cwd` (default: this one).
  explicit ToolProcess(const std::vector<std::string>& argv, const std::string& cwd = "");
  ~ToolProcess();
  ToolProcess(const ToolProcess&) = delete;
  ToolProcess& operator=(const ToolProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Reads until `text` has appeared or `seconds` passed; whether it appeared.
  bool read_until(const std::string& text, double seconds);
  // Reads until the output ends (every process holding it ended or closed
  // it) or `seconds` passed.
  const std::string& read_all(double seconds);
  const std::string& output() const { return out_; }
  // Stops reading: the tool's output is a pipe nobody reads any more.
  void close_output();
  void signal(int sig) const;
  void signal_group(int sig) const;
  // The wait status, or -1 when the process did not end in time.
  int wait(double seconds);
  // Processes of the group that are alive (zombies do not count).
  int group_alive() const;

  // Runs argv to its end (up to `seconds`): the output, and the exit code
  // (-1 for a time-out or a signal).
  static std::string run(const std::vector<std::string>& argv, int* code, double seconds = 60,
                         const std::string& cwd = "");

 private:
  bool read_some(double seconds);

  pid_t pid_ = -1;
  int fd_ = -1;
  bool reaped_ = false;
  std::string out_;
};

#endif  // HESK_TESTS_TOOL_PROCESS_H
