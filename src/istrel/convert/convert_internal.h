// Internal pieces shared by the converters: the conversion error codes, the
// byte-level swap loops, unaligned loads and stores, and the interpreter entry
// that also reports how many bytes its description covered.
//
// Buffers inside events are not aligned for their fields in general (a
// payload may start anywhere a sub-block head leaves it), so everything here
// works on byte pointers and moves words with memcpy. Stateless; thread-safe.
#ifndef HESK_ISTREL_CONVERT_INTERNAL_H
#define HESK_ISTREL_CONVERT_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace convert_detail {

// Conversion results (texts in kova_get_convert_error).
enum Code : int {
  kOk = 0,
  kBadType = 1,
  kBadInput = 2,
  kBadLength = 3,
  kNoFormat = 4,
  kBadFormat = 5,
  kBadOutput = 6,
  kSyntax = 7,
  kEmptyFormat = 8,
  kNullParameter = 9,
  kTooManyRegisters = 10,
  kDataLength = 11,
  kUndefinedGroup = 12,
  kBadEvent = 13,
  kBadEnvBlock = 14,
  kBadPattern = 15
};

// Bridge codes returned by the framework block converter.
constexpr int kEqInvalParam = -1;
constexpr int kEqUnsupportedType = -3;
constexpr int kEqUnknownType = -4;

// Byte reversal of n fields of 2, 3, 4 or 8 bytes. in == out is allowed.
void swap_fields2(const unsigned char* in, unsigned char* out, size_t n);
void swap_fields3(const unsigned char* in, unsigned char* out, size_t n);
void swap_fields4(const unsigned char* in, unsigned char* out, size_t n);
void swap_fields8(const unsigned char* in, unsigned char* out, size_t n);

// Copies n bytes unless the buffers are the same.
inline void copy_bytes(const unsigned char* in, unsigned char* out, size_t n) {
  if (in != out && n > 0) memmove(out, in, n);
}

inline uint32_t load_u32(const unsigned char* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
inline uint64_t load_u64(const unsigned char* p) {
  uint64_t v;
  memcpy(&v, p, 8);
  return v;
}
inline int32_t load_i32(const unsigned char* p) {
  return static_cast<int32_t>(load_u32(p));
}
inline int64_t load_i64(const unsigned char* p) {
  return static_cast<int64_t>(load_u64(p));
}

// Host-order value of a 32-bit field: as it stands, or byte-reversed when the
// buffer holds network order.
inline uint32_t host_u32(const unsigned char* p, bool reversed) {
  uint32_t v = load_u32(p);
  return reversed ? __builtin_bswap32(v) : v;
}
inline uint64_t host_u64(const unsigned char* p, bool reversed) {
  uint64_t v = load_u64(p);
  return reversed ? __builtin_bswap64(v) : v;
}

// Record generation in force: the 2010 flag first, then the 2024 flag, else
// 2009.
enum class Gen { k2009, k2010, k2024 };
Gen generation();

// The fixed records with one description each per generation.
enum class Record {
  kEventHead,
  kEventTail,
  kServerHead,
  kSubHead,
  kZipHead,
  kImageHead,
  kImageExtHead,
  kSpectHead,
  kSlowHead
};

// Converts one record of generation `g`. With `fill`, bytes of the record
// that its description leaves out (padding) are copied when converting out
// of place. The event head's pattern is not checked here.
int convert_record(Record r, Gen g, const unsigned char* in, unsigned char* out, bool fill);
// Size of the record in generation `g`.
int record_size(Record r, Gen g);

// The event head of generation `g` with its pattern check and the 2024
// messages.
int convert_event_head(Gen g, const unsigned char* in, unsigned char* out, bool fill);

// The interpreter. Same contract as kova_do_convert_data with a 64-bit
// length; on success *covered (when given) is the number of bytes the
// description walked, so that a caller can deal with the rest.
int interpret(const unsigned char* in, unsigned char* out, const char* format, int64_t len,
              bool image, int64_t* covered);

// Converts `len` bytes (|len|; the sign is the direction) with `format` and,
// when converting out of place, copies the bytes the description leaves
// untouched, so the whole region of the output is written.
int convert_region(const unsigned char* in, unsigned char* out, const char* format, int64_t len,
                   bool image = false);

// One sub-block payload (kova_convert_data with a 64-bit length); *covered as
// for interpret().
int convert_payload(const unsigned char* in, unsigned char* out, int data_type, int64_t len,
                    int64_t* covered);

// Framework data block; *covered as for interpret().
int convert_eq_block(const unsigned char* in, unsigned char* out, int64_t len, int64_t* covered);

// Generic spectrum array; *covered as for interpret().
int convert_generic_spectra(const unsigned char* in, unsigned char* out, int64_t len,
                            int64_t* covered);

}  // namespace convert_detail

#endif  // HESK_ISTREL_CONVERT_INTERNAL_H
