// Lexing of format descriptions: codes ("[U]<letter><count>"), register
// references ("Ln") and decimal numbers. Every function reads only the
// characters in [p, end) and reports how many it consumed, so a caller can
// insist that an item holds nothing else. Numbers saturate at kCountCap,
// which lies far above any length a converter accepts. Pure functions;
// thread-safe.
#ifndef HESK_ISTREL_FORMAT_PARSE_H
#define HESK_ISTREL_FORMAT_PARSE_H

#include <cstdint>

namespace convert_detail {

constexpr int64_t kCountCap = int64_t(1) << 40;

struct FieldCode {
  char letter;    // A F I Q R S
  bool sign;      // U given
  int64_t count;  // >= 1
  int size;       // bytes per field
};

// Field size of a code letter, 0 for a letter that is not one.
inline int field_size(char letter) {
  switch (letter) {
    case 'A':
      return 1;
    case 'F':
    case 'I':
      return 4;
    case 'Q':
      return 8;
    case 'R':
      return 3;
    case 'S':
      return 2;
    default:
      return 0;
  }
}

// Decimal digits at p; 0 when there are none, else the characters consumed.
inline int parse_number(const char* p, const char* end, int64_t* value) {
  int used = 0;
  int64_t v = 0;
  while (p + used < end && p[used] >= '0' && p[used] <= '9') {
    v = v * 10 + (p[used] - '0');
    if (v > kCountCap) v = kCountCap;
    ++used;
  }
  *value = v;
  return used;
}

// A code at p; the characters consumed, or -1 for a syntax error (bad
// letter, U before another letter, count missing or 0).
inline int parse_code(const char* p, const char* end, FieldCode* code) {
  int used = 0;
  *code = FieldCode{'\0', false, 0, 0};
  if (p < end && *p == 'U') {
    code->sign = true;
    ++used;
  }
  if (p + used >= end) return -1;
  code->letter = p[used];
  code->size = field_size(code->letter);
  if (code->size == 0) return -1;
  ++used;
  int digits = parse_number(p + used, end, &code->count);
  if (digits == 0 || code->count == 0) return -1;
  return used + digits;
}

// A register reference "Ln" at p; the characters consumed, or -1 when the
// text does not start with L followed by a number >= 1.
inline int parse_register(const char* p, const char* end, int64_t* n) {
  *n = 0;
  if (p >= end || *p != 'L') return -1;
  int digits = parse_number(p + 1, end, n);
  if (digits == 0 || *n == 0) return -1;
  return 1 + digits;
}

// a * b, saturated at kCountCap (both >= 0).
inline int64_t mul_capped(int64_t a, int64_t b) {
  if (a == 0 || b == 0) return 0;
  if (a > kCountCap / b) return kCountCap;
  return a * b;
}

}  // namespace convert_detail

#endif  // HESK_ISTREL_FORMAT_PARSE_H
