// The frame every table printer shares: a rule, the title, the pattern, and
// "WRONG PATTERN" when the table is not a host-order table of the printer's
// generation.
#ifndef HESK_FILES_PRINT_INTERNAL_H
#define HESK_FILES_PRINT_INTERNAL_H

#include <cstdio>

#include "files_internal.h"

namespace files_detail {

constexpr const char* kRule = "========================\n";

inline void print_pattern(uint32_t pattern) {
  printf("PATTERN: 0x%X\n", pattern);
}
inline void print_pattern(uint64_t pattern) {
  printf("PATTERN: 0x%lX\n", static_cast<unsigned long>(pattern));
}

// Prints the opening of the frame; false (after closing it) when the
// pattern is not `expected`.
template <typename W>
bool open_frame(const char* title, W pattern, W expected) {
  printf("%s%s", kRule, title);
  print_pattern(pattern);
  if (pattern == expected) return true;
  printf("WRONG PATTERN\n%s", kRule);
  return false;
}

// A label padded to the value column, then the value.
inline void print_labelled(const char* label, int32_t v) {
  printf("%-46s\t%i\n", label, v);
}
inline void print_labelled(const char* label, int64_t v) {
  printf("%-46s\t%li\n", label, static_cast<long>(v));
}

// "Length (entries):" with the length and the number of entries.
inline void print_length_entries(int32_t length, int64_t entries) {
  printf("%-46s\t%i (%d)\n", "Length (entries):", length, static_cast<int>(entries));
}
inline void print_length_entries(int64_t length, int64_t entries) {
  printf("%-46s\t%li (%d)\n", "Length (entries):", static_cast<long>(length),
         static_cast<int>(entries));
}

// Entries of `entry` bytes after a header of `header` bytes; 0 when the
// length holds none.
template <typename C>
int64_t entries_of(C length, size_t header, size_t entry) {
  const int64_t body = static_cast<int64_t>(length) - static_cast<int64_t>(header);
  return body > 0 ? body / static_cast<int64_t>(entry) : 0;
}

}  // namespace files_detail

#endif  // HESK_FILES_PRINT_INTERNAL_H
