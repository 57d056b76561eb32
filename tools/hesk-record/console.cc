// Messages and the progress line of the recorder.
#include "console.h"

#include <unistd.h>

#include <cstdio>

namespace hrec {

Console::Console(bool progress)
    : wanted_(progress),
      tty_(isatty(STDERR_FILENO) != 0),
      next_(std::chrono::steady_clock::now()) {}

void Console::line(const std::string& text) {
  std::lock_guard<std::mutex> lock(mx_);
  fprintf(stderr, "%shesk-record: %s\n", shown_ ? "\r\033[K" : "", text.c_str());
  shown_ = false;
  fflush(stderr);
}

bool Console::progress_due() {
  if (!wanted_) return false;
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> lock(mx_);
  if (now < next_) return false;
  next_ = now + (tty_ ? std::chrono::milliseconds(500) : std::chrono::milliseconds(5000));
  return true;
}

void Console::progress(const std::string& text) {
  std::lock_guard<std::mutex> lock(mx_);
  if (tty_) {
    fprintf(stderr, "\r\033[K%s", text.c_str());
    shown_ = true;
  } else {
    fprintf(stderr, "%s\n", text.c_str());
  }
  fflush(stderr);
}

void Console::end_progress() {
  std::lock_guard<std::mutex> lock(mx_);
  if (shown_) fprintf(stderr, "\n");
  shown_ = false;
  fflush(stderr);
}

}  // namespace hrec
