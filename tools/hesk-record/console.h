// The recorder's standard error: messages, and the progress line, which is
// rewritten in place (\r) when standard error is a terminal and otherwise
// printed as a line every few seconds.
//
// Threads: any thread may print.
#ifndef HESK_RECORD_CONSOLE_H
#define HESK_RECORD_CONSOLE_H

#include <chrono>
#include <mutex>
#include <string>

namespace hrec {

class Console {
 public:
  // progress: whether progress lines are wanted at all.
  explicit Console(bool progress);

  // "hesk-record: <text>" on a line of its own.
  void line(const std::string& text);
  // Whether a progress line is due now (every 0.5 s on a terminal, else 5 s).
  bool progress_due();
  void progress(const std::string& text);
  // Ends a progress line left on the terminal.
  void end_progress();

 private:
  std::mutex mx_;
  bool wanted_;
  bool tty_;
  bool shown_ = false;  // a progress line stands on the terminal
  std::chrono::steady_clock::time_point next_;
};

}  // namespace hrec

#endif  // HESK_RECORD_CONSOLE_H
