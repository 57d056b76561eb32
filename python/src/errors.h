// The failures the module's C++ side reports, and how they reach Python.
//
// Code below the bindings throws heskpy::Error; the module translates it to
// hesk.Error or to one of its subclasses that are also the fitting built-in
// exception (a missing file is also a FileNotFoundError, an unknown channel
// also a KeyError). Every such exception carries `code` (the library's result
// code of the call that failed, or -1 where the library only says that it
// failed) and `message`.
#ifndef HESK_PY_ERRORS_H
#define HESK_PY_ERRORS_H

#include <stdexcept>
#include <string>

namespace heskpy {

enum class ErrorKind {
  kLibrary,     // hesk.Error
  kNoFile,      // hesk.FileMissingError: also FileNotFoundError
  kNoChannel,   // hesk.ChannelMissingError: also KeyError
  kBadArgument  // ValueError
};

class Error : public std::runtime_error {
 public:
  Error(ErrorKind kind, int code, const std::string& message, int sys_errno = 0,
        std::string path = std::string())
      : std::runtime_error(message),
        kind_(kind),
        code_(code),
        errno_(sys_errno),
        path_(std::move(path)) {}

  ErrorKind kind() const { return kind_; }
  int code() const { return code_; }
  int sys_errno() const { return errno_; }
  const std::string& path() const { return path_; }

 private:
  ErrorKind kind_;
  int code_;
  int errno_;
  std::string path_;
};

// A hesk.Error with the library's code.
[[noreturn]] inline void fail(int code, const std::string& message) {
  throw Error(ErrorKind::kLibrary, code, message);
}

}  // namespace heskpy

#endif  // HESK_PY_ERRORS_H
