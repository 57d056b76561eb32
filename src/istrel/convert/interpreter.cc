// The format-description interpreter: walks "NAME:item:item:..." and converts
// field by field from the input to the output buffer, keeping 31 length
// registers for counts found in the data. The description is parsed afresh on
// every call and nothing is allocated; parsing is bounded by the 255
// characters a description may have, conversion by the length given.
#include <cstdio>
#include <cstring>

#include "convert_internal.h"
#include "event_convert.h"
#include "format_parse.h"

namespace convert_detail {

namespace {

constexpr size_t kMaxFormat = 255;
constexpr int kRegisters = 32;
constexpr int kMaxGroupCodes = 128;

// Reverses a few fields in line; long runs go to the vector loops.
template <typename T>
inline bool swap_short(const unsigned char* in, unsigned char* out, int64_t fields) {
  if (fields > 4) return false;
  for (int64_t i = 0; i < fields; ++i) {
    T v;
    memcpy(&v, in + i * sizeof(T), sizeof(T));
    if constexpr (sizeof(T) == 2) v = __builtin_bswap16(v);
    if constexpr (sizeof(T) == 4) v = __builtin_bswap32(v);
    if constexpr (sizeof(T) == 8) v = __builtin_bswap64(v);
    memcpy(out + i * sizeof(T), &v, sizeof(T));
  }
  return true;
}

// Converts `fields` fields of `letter` spread over `bytes` bytes. In image
// mode the bytes need not be a whole number of fields; the rest is copied.
void convert_fields(char letter, const unsigned char* in, unsigned char* out, int64_t fields,
                    int64_t bytes) {
  size_t n = static_cast<size_t>(fields);
  int64_t done = 0;
  switch (letter) {
    case 'A':
      done = 0;
      break;  // copied with the rest below
    case 'F':
    case 'I':
      if (!swap_short<uint32_t>(in, out, fields)) swap_fields4(in, out, n);
      done = 4 * fields;
      break;
    case 'Q':
      if (!swap_short<uint64_t>(in, out, fields)) swap_fields8(in, out, n);
      done = 8 * fields;
      break;
    case 'R':
      swap_fields3(in, out, n);
      done = 3 * fields;
      break;
    case 'S':
      if (!swap_short<uint16_t>(in, out, fields)) swap_fields2(in, out, n);
      done = 2 * fields;
      break;
    default:
      return;
  }
  if (bytes > done) copy_bytes(in + done, out + done, static_cast<size_t>(bytes - done));
}

// First `c` in [p, e), or null. Items are a few characters long; a plain
// loop beats a library call here.
inline const char* find(const char* p, const char* e, char c) {
  for (; p < e; ++p)
    if (*p == c) return p;
  return nullptr;
}

// Position of the parenthesis closing the one at `open`, or null.
const char* matching_paren(const char* open, const char* end) {
  int depth = 0;
  for (const char* q = open; q < end; ++q) {
    if (*q == '(') ++depth;
    if (*q == ')' && --depth == 0) return q;
  }
  return nullptr;
}

class Interpreter {
 public:
  Interpreter(const unsigned char* in, unsigned char* out, int64_t len, int dir, bool image)
      : in_(in), out_(out), len_(len), remaining_(len), dir_(dir), image_(image) {
    for (int32_t& r : regs_) r = -1;
  }

  // Runs the items in [p, end): the text after the first colon.
  int run(const char* p, const char* end) {
    for (;;) {
      const char* q = p;
      const char* open = nullptr;
      const char* eq = nullptr;
      int depth = 0;
      for (; q < end; ++q) {
        const char c = *q;
        if (c == ':' && depth == 0) break;
        if (c == '(') {
          if (open == nullptr) open = q;
          ++depth;
        } else if (c == ')') {
          if (--depth < 0) return kSyntax;
        } else if (c == '=' && eq == nullptr) {
          eq = q;
        }
      }
      if (depth != 0) return kSyntax;
      int rc = item(p, q, open, eq);
      if (rc != kOk) return rc;
      if (q == end) return kOk;
      p = q + 1;
    }
  }

  int64_t covered() const { return len_ - remaining_; }

 private:
  // One item [p, e); `open` and `eq` are its first '(' and '=' (or null).
  int item(const char* p, const char* e, const char* open, const char* eq) {
    if (p == e) return kSyntax;
    if (open != nullptr) return repeat(p, e, open);
    if (eq != nullptr) return length_defining(p, eq, e);
    FieldCode c;
    if (parse_code(p, e, &c) != e - p) return kSyntax;
    return step(c, c.count, c.count * c.size, "Here 4\n");
  }

  // Converts one run of fields after checking the field counter and the bytes
  // left; `message` is printed when the bytes do not suffice.
  int step(const FieldCode& c, int64_t fields, int64_t bytes, const char* message) {
    fields_ += fields;
    if (fields_ > len_) return kBadEnvBlock;
    if (bytes > remaining_) {
      printf(message, static_cast<int>(remaining_));
      return kDataLength;
    }
    convert_fields(c.letter, in_, out_, fields, bytes);
    in_ += bytes;
    out_ += bytes;
    remaining_ -= bytes;
    return kOk;
  }

  int length_defining(const char* p, const char* eq, const char* e) {
    FieldCode c;
    if (parse_code(p, eq, &c) != eq - p) return kSyntax;
    const unsigned char* written = out_;
    int64_t bytes = c.count * c.size;
    int rc = step(c, c.count, bytes, "Here 3\n");
    if (rc != kOk) return rc;
    int64_t n;
    if (parse_register(eq + 1, e, &n) != e - (eq + 1)) return kSyntax;
    if (n >= kRegisters) return kTooManyRegisters;
    // The register takes a 32-bit word; a shorter field holds none.
    if (bytes < 4) return kSyntax;
    regs_[n] = static_cast<int32_t>(host_u32(written, dir_ < 0));
    return kOk;
  }

  // Value of one repeat prefix: a register reference or a number >= 1.
  int prefix_value(const char* p, const char* e, int64_t* value) {
    if (find(p, e, 'L') != nullptr) {
      int64_t n;
      if (parse_register(p, e, &n) != e - p) return kSyntax;
      if (n >= kRegisters) return kTooManyRegisters;
      if (regs_[n] < 0) return kUndefinedGroup;
      *value = regs_[n];
      return kOk;
    }
    if (p == e || parse_number(p, e, value) != e - p || *value == 0) return kSyntax;
    return kOk;
  }

  int repeat(const char* p, const char* e, const char* open) {
    int64_t factor = 1;
    for (; open != nullptr; open = find(p, e, '(')) {
      if (matching_paren(open, e) != e - 1) return kSyntax;
      int64_t value;
      int rc = prefix_value(p, open, &value);
      if (rc != kOk) return rc;
      factor = mul_capped(factor, value);
      p = open + 1;
      e = e - 1;
    }
    if (find(p, e, ':') != nullptr) return group(p, e, factor);
    FieldCode c;
    if (parse_code(p, e, &c) != e - p) return kSyntax;
    int64_t total = mul_capped(c.count, factor);
    int64_t fields = image_ ? total / c.size : total;
    int64_t bytes = image_ ? total : total * c.size;
    return step(c, fields, bytes, "Here 1 llen:%d\n");
  }

  int group(const char* p, const char* e, int64_t factor) {
    FieldCode codes[kMaxGroupCodes];
    int ncodes = 0;
    for (;;) {
      const char* q = find(p, e, ':');
      if (q == nullptr) q = e;
      if (ncodes == kMaxGroupCodes || parse_code(p, q, &codes[ncodes]) != q - p) return kSyntax;
      ++ncodes;
      if (q == e) break;
      p = q + 1;
    }
    // Every code takes at least one byte, so a factor beyond the bytes left
    // ends in an error after at most len passes.
    for (int64_t r = 0; r < factor; ++r) {
      for (int i = 0; i < ncodes; ++i) {
        const FieldCode& c = codes[i];
        int rc = step(c, c.count, c.count * c.size, "Here 2\n");
        if (rc != kOk) return rc;
      }
    }
    return kOk;
  }

  const unsigned char* in_;
  unsigned char* out_;
  int64_t len_;
  int64_t remaining_;
  int64_t fields_ = 0;
  int dir_;
  bool image_;
  int32_t regs_[kRegisters];
};

}  // namespace

int interpret(const unsigned char* in, unsigned char* out, const char* format, int64_t len,
              bool image, int64_t* covered) {
  int dir = 1;
  if (len < 0) {
    dir = -1;
    len = -len;
  }
  if (format == nullptr) return kBadFormat;
  if (format[0] == '\0') return kNoFormat;
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  if (len == 0) return kBadLength;
  size_t n = strnlen(format, kMaxFormat + 1);
  if (n > kMaxFormat) return kBadFormat;
  const char* end = format + n;
  const char* colon = static_cast<const char*>(memchr(format, ':', n));
  if (colon == nullptr) return kSyntax;
  if (colon + 1 == end) return kEmptyFormat;
  Interpreter walk(in, out, len, dir, image);
  int rc = walk.run(colon + 1, end);
  if (rc == kOk && covered != nullptr) *covered = walk.covered();
  return rc;
}

int convert_region(const unsigned char* in, unsigned char* out, const char* format, int64_t len,
                   bool image) {
  int64_t covered = 0;
  int rc = interpret(in, out, format, len, image, &covered);
  int64_t n = len < 0 ? -len : len;
  if (rc == kOk && covered < n) copy_bytes(in + covered, out + covered, n - covered);
  return rc;
}

}  // namespace convert_detail

extern "C" int kova_do_convert_data(void* in, void* out, char* lformat, int len, bool image) {
  return convert_detail::interpret(static_cast<const unsigned char*>(in),
                                   static_cast<unsigned char*>(out), lformat, len, image, nullptr);
}
