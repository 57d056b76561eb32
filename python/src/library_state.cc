// Process-wide state of the event-format library: one lock, the generation
// flags, environment variables and a capture of standard output.
#include "library_state.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "event_util.h"

namespace heskpy {

std::recursive_mutex& library_lock() {
  static std::recursive_mutex m;
  return m;
}

GenerationScope::GenerationScope(int generation)
    : hold_(library_lock()), was_2010_(is_data_format_2010()), was_2024_(is_data_format_2024()) {
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (generation == 2010) set_data_format_2010(true);
  if (generation == 2024) set_data_format_2024(true);
}

GenerationScope::~GenerationScope() {
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (was_2010_) set_data_format_2010(true);
  if (was_2024_) set_data_format_2024(true);
}

EnvironmentScope::EnvironmentScope(const std::vector<std::pair<const char*, const char*>>& vars)
    : hold_(library_lock()) {
  for (const auto& v : vars) {
    const char* old = getenv(v.first);
    saved_.push_back({v.first, old != nullptr, old != nullptr ? old : ""});
    if (v.second != nullptr)
      setenv(v.first, v.second, 1);
    else
      unsetenv(v.first);
  }
}

EnvironmentScope::~EnvironmentScope() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->set)
      setenv(it->name.c_str(), it->value.c_str(), 1);
    else
      unsetenv(it->name.c_str());
  }
}

namespace {

void flush_stdout() {
  std::cout.flush();
  fflush(stdout);
}

int retry_dup2(int from, int to) {
  int rc;
  do {
    rc = dup2(from, to);
  } while (rc < 0 && errno == EINTR);
  return rc;
}

void write_all(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

StdoutCapture::StdoutCapture() : hold_(library_lock()) {
  flush_stdout();
  file_ = memfd_create("hesk-stdout", MFD_CLOEXEC);
  if (file_ < 0) return;
  saved_ = dup(STDOUT_FILENO);
  if (saved_ < 0 || retry_dup2(file_, STDOUT_FILENO) < 0) {
    if (saved_ >= 0) close(saved_);
    close(file_);
    saved_ = file_ = -1;
  }
}

StdoutCapture::~StdoutCapture() {
  release();
}

std::string StdoutCapture::finish() {
  if (file_ < 0) return std::string();
  flush_stdout();
  retry_dup2(saved_, STDOUT_FILENO);
  close(saved_);
  std::string text;
  char buf[4096];
  off_t at = 0;
  for (;;) {
    const ssize_t n = pread(file_, buf, sizeof(buf), at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
    at += n;
  }
  close(file_);
  saved_ = file_ = -1;
  return text;
}

std::string StdoutCapture::text() {
  return finish();
}

void StdoutCapture::release() {
  const std::string t = finish();
  if (!t.empty()) write_all(STDOUT_FILENO, t);
}

}  // namespace heskpy
