// SysError: a runtime error carrying the text of the current errno.
#include "SysError.h"

#include <cerrno>
#include <cstring>

SysError::SysError() : std::runtime_error(std::strerror(errno)) {}
