// How each framework data type is laid out in a stored payload: what kind of
// value part it has and the size of its value or of its elements. Shared by
// the writer, the reader and the re-pointing of a block's parts. Pure
// functions; thread-safe.
#ifndef HESK_ISTREL_EQDATA_LAYOUT_H
#define HESK_ISTREL_EQDATA_LAYOUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "eqdata_types.h"
#include "event_bridge.h"

namespace bridge_detail {

enum class Shape {
  kNull,         // no value part
  kValue,        // a number or fixed structure of `size` bytes, padded to 4
  kString,       // text with its terminator
  kSpectrum,     // SPECTRUM, comment, samples
  kGSpectrum,    // GSPECTRUM, comment, samples
  kImage,        // EqImage, comment, image bytes
  kBytes,        // EqByteArray, bytes
  kMda,          // EqMda, comment, `size`-byte elements
  kCounted,      // count, elements of `size` bytes (no parts)
  kUstr,         // count, USTR images, strings
  kXyzs,         // count, XYZS images, strings
  kTsSpectrum,   // count, EqTsSpectrum images, comment and samples each
  kTsGSpectrum,  // count, EqTsGSpectrum images, comment and samples each
  kKeyval,       // count, EqKeyVal images, "key:value" strings
  kUnsupported,
  kUnknown
};

struct Layout {
  Shape shape;
  int size;  // value size (kValue), element size (kCounted, kMda, images of the rest)
};

Layout layout_of(int32_t type);

// The bridge's result for a shape that holds no storable value, else 0.
inline int refusal(Shape s) {
  if (s == Shape::kUnsupported) return KOVA_EQDATA_ERR_UNSUPPORTED_TYPE;
  if (s == Shape::kUnknown) return KOVA_EQDATA_ERR_UNKNOWN_TYPE;
  return KOVA_EQDATA_OK;
}

// Smallest multiple of 4 not below n.
inline uint64_t pad4(uint64_t n) {
  return (n + 3) & ~uint64_t(3);
}

// Offset of the value part inside the payload.
constexpr size_t kValueAt = 44;

// Place of the parts' lengths and pointers inside the element images that
// have parts: a text (USTR, XYZS, EqKeyVal) or a comment and samples (the
// time-stamped spectra).
struct PartFields {
  size_t text_len, text_ptr;        // text or comment
  size_t samples_len, samples_ptr;  // 0 for images without samples
};

PartFields part_fields(Shape s);

template <typename T>
T load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
void store(unsigned char* p, T v) {
  memcpy(p, &v, sizeof(T));
}

inline void store_ptr(unsigned char* p, const void* target) {
  store<uint64_t>(p, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(target)));
}

}  // namespace bridge_detail

#endif  // HESK_ISTREL_EQDATA_LAYOUT_H
