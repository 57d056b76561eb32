// SysError is the exception the partition layer throws when a System V call
// fails in a way its caller cannot handle (typically a semaphore set removed
// under a waiting process). Its message is the text of errno at the moment of
// construction, as strerror gives it.
//
// Plain value type; safe to throw and catch from any thread.
#ifndef HESK_SYSERROR_H
#define HESK_SYSERROR_H

#include <stdexcept>

class SysError : public std::runtime_error {
 public:
  // REQUIRES: errno still holds the code of the failed call.
  SysError();
};

#endif  // HESK_SYSERROR_H
