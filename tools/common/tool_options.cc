// Argument helpers shared by the command-line tools.
#include "tool_options.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace hesk_cli {

bool parse_long(const char* text, long lo, long hi, long* out) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (*end != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool parse_int(const char* text, int lo, int hi, int* out) {
  long v = 0;
  if (!parse_long(text, lo, hi, &v)) return false;
  *out = static_cast<int>(v);
  return true;
}

int usage_error(const char* tool, const char* format, ...) {
  fprintf(stderr, "%s: ", tool);
  va_list ap;
  va_start(ap, format);
  vfprintf(stderr, format, ap);
  va_end(ap);
  fprintf(stderr, "\ntry '%s --help'\n", tool);
  return kUsageError;
}

int range_error(const char* tool, const char* option, long lo, long hi, const char* value) {
  return usage_error(tool, "%s needs a number from %ld to %ld, not '%s'", option, lo, hi,
                     value ? value : "");
}

int getopt_error(const char* tool) {
  fprintf(stderr, "try '%s --help'\n", tool);
  return kUsageError;
}

}  // namespace hesk_cli
