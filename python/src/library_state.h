// The event-format library's process-wide state as the Python module meets
// it: the generation flags, the archive's root variables and standard output.
//
// The library keeps its generation flags and archive roots in plain
// process-wide variables and prints its diagnostics on standard output. A
// Python process may read files of several generations from several threads
// at once, so every call that depends on that state runs inside one of the
// scopes below, which all take the same process-wide lock.
//
// REQUIRES: the interpreter lock is NOT held while a scope is entered (a
// thread holding the library lock never waits for the interpreter lock).
#ifndef HESK_PY_LIBRARY_STATE_H
#define HESK_PY_LIBRARY_STATE_H

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace heskpy {

// The one lock over the library's process-wide state.
std::recursive_mutex& library_lock();

// Sets the generation flags for `generation` (2009, 2010 or 2024) and puts
// the previous flags back when it goes. Holds the library lock.
class GenerationScope {
 public:
  explicit GenerationScope(int generation);
  ~GenerationScope();
  GenerationScope(const GenerationScope&) = delete;
  GenerationScope& operator=(const GenerationScope&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> hold_;
  bool was_2010_;
  bool was_2024_;
};

// Sets environment variables (a null value unsets one) and restores them
// when it goes. Holds the library lock.
class EnvironmentScope {
 public:
  explicit EnvironmentScope(const std::vector<std::pair<const char*, const char*>>& vars);
  ~EnvironmentScope();
  EnvironmentScope(const EnvironmentScope&) = delete;
  EnvironmentScope& operator=(const EnvironmentScope&) = delete;

 private:
  std::lock_guard<std::recursive_mutex> hold_;
  struct Saved {
    std::string name;
    bool set;
    std::string value;
  };
  std::vector<Saved> saved_;
};

// Collects what is written to standard output (descriptor 1, both stdio and
// iostreams) while it lives. text() ends the capture and returns the text;
// release() ends it and writes the text to standard output after all, so
// that nothing printed meanwhile is lost. The destructor releases. Holds
// the library lock. When the capture cannot be set up, output goes where it
// always goes and text() is empty.
class StdoutCapture {
 public:
  StdoutCapture();
  ~StdoutCapture();
  StdoutCapture(const StdoutCapture&) = delete;
  StdoutCapture& operator=(const StdoutCapture&) = delete;

  std::string text();
  void release();

 private:
  std::string finish();

  std::lock_guard<std::recursive_mutex> hold_;
  int saved_ = -1;  // the real standard output while capturing
  int file_ = -1;   // where the output goes meanwhile
};

}  // namespace heskpy

#endif  // HESK_PY_LIBRARY_STATE_H
