// Length and element count of a stored framework data block, walked from its
// type id and counts with every read checked against the bytes available.
#include "eqdata_payload.h"

#include <cstdint>
#include <cstring>

namespace {

// Framework data type ids as stored in the block (first word).
enum StoredType : int32_t {
  kNull = 0,
  kInt = 1,
  kFloat = 2,
  kString = 3,
  kBool = 4,
  kDouble = 6,
  kText = 7,
  kTds = 12,
  kXy = 13,
  kIiii = 14,
  kIfff = 15,
  kTtii = 18,
  kSpectrum = 19,
  kXml = 20,
  kImage = 22,
  kGspectrum = 24,
  kShort = 25,
  kLong = 26,
  kUshort = 27,
  kUint = 28,
  kUlong = 29,
  kAFloat = 100,
  kATds = 101,
  kAXy = 102,
  kAUstr = 103,
  kAInt = 105,
  kAByte = 106,
  kAXyzs = 108,
  kMdaFloat = 109,
  kADouble = 110,
  kABool = 111,
  kAShort = 113,
  kALong = 114,
  kMdaDouble = 115,
  kAUshort = 116,
  kAUint = 117,
  kAUlong = 118,
  kAThumbnail = 120,
  kATsSpectrum = 1013,
  kATsGspectrum = 1015,
  kKeyval = 1016
};

// Smallest multiple of 4 not below n.
long pad4(long n) {
  return (n + 3) & ~3L;
}

// Bounded reader over the stored block.
class Reader {
 public:
  Reader(const unsigned char* p, size_t avail) : p_(p), avail_(avail) {}
  // 32-bit word at `off`; false when it lies beyond the block.
  bool word(long off, int32_t* out) const {
    if (off < 0 || static_cast<size_t>(off) + 4 > avail_) return false;
    memcpy(out, p_ + off, 4);
    return true;
  }
  // A length or count word that must not be negative.
  bool count(long off, long* out) const {
    int32_t v;
    if (!word(off, &v) || v < 0) return false;
    *out = v;
    return true;
  }

 private:
  const unsigned char* p_;
  size_t avail_;
};

constexpr long V = static_cast<long>(KOVA_EQDATA_VALUE_OFFSET);

// Length of an array of fixed images each followed (after all images) by
// string parts whose lengths sit at `len_at` inside each image.
long images_with_strings(const Reader& r, long image_size, long len_at) {
  long n;
  if (!r.count(V, &n)) return -1;
  long total = V + 4 + image_size * n;
  for (long i = 0; i < n; ++i) {
    long len;
    if (!r.count(V + 4 + i * image_size + len_at, &len)) return -1;
    total += pad4(len);
  }
  return total;
}

// Length of an array of time-stamped spectra: per element a comment and a
// float array whose lengths sit in the element image.
long spectrum_array(const Reader& r, long image_size, long comment_at, long array_at) {
  long n;
  if (!r.count(V, &n)) return -1;
  long total = V + 4 + image_size * n;
  for (long i = 0; i < n; ++i) {
    long c, m;
    long img = V + 4 + i * image_size;
    if (!r.count(img + comment_at, &c) || !r.count(img + array_at, &m)) return -1;
    total += pad4(c) + 4 * m;
  }
  return total;
}

long counted(const Reader& r, long elem_size) {
  long n;
  if (!r.count(V, &n)) return -1;
  return V + 4 + pad4(elem_size * n);
}

long stored_size(const Reader& r, int32_t type) {
  long a, b;
  switch (type) {
    case kNull:
      return V;
    case kInt:
    case kBool:
    case kUint:
    case kFloat:
    case kShort:
    case kUshort:
      return V + 4;
    case kDouble:
    case kLong:
    case kUlong:
    case kXy:
      return V + 8;
    case kTds:
    case kIiii:
    case kIfff:
      return V + 16;
    case kTtii:
      return V + 24;
    case kSpectrum:
      if (!r.count(V, &a) || !r.count(V + 40, &b)) return -1;
      return V + 56 + pad4(a) + 4 * b;
    case kGspectrum:
      if (!r.count(V, &a) || !r.count(V + 192, &b)) return -1;
      return V + 208 + pad4(a) + 4 * b;
    case kImage:
      if (!r.count(V + 128, &a) || !r.count(V + 144, &b)) return -1;
      return V + 160 + pad4(a) + pad4(b);
    case kAByte:
      if (!r.count(V + 24, &a)) return -1;
      return V + 40 + pad4(a);
    case kMdaFloat:
    case kMdaDouble:
      if (!r.count(V, &a) || !r.count(V + 48, &b)) return -1;
      return V + 64 + pad4(a) + (type == kMdaFloat ? 4 : 8) * b + 64;
    case kAFloat:
    case kAInt:
    case kABool:
    case kAUint:
      return counted(r, 4);
    case kAShort:
    case kAUshort:
      return counted(r, 2);
    case kAXy:
    case kADouble:
    case kALong:
    case kAUlong:
      return counted(r, 8);
    case kATds:
      return counted(r, 16);
    case kAThumbnail:
      return counted(r, 48);
    case kAUstr:
      return images_with_strings(r, 40, 24);
    case kAXyzs:
      return images_with_strings(r, 32, 16);
    case kKeyval:
      return images_with_strings(r, 16, 0);
    case kATsSpectrum:
      return spectrum_array(r, 64, 8, 48);
    case kATsGspectrum:
      return spectrum_array(r, 216, 8, 200);
    default:
      return -1;
  }
}

// Strings are stored with their terminator; their length is found by scanning.
long string_size(const unsigned char* p, size_t avail) {
  if (avail <= KOVA_EQDATA_VALUE_OFFSET) return -1;
  const void* nul = memchr(p + V, '\0', avail - V);
  if (nul == nullptr) return -1;
  long len = static_cast<const unsigned char*>(nul) - (p + V) + 1;
  return V + pad4(len);
}

bool is_array_type(int32_t t) {
  return t == kATds || t == kAXy || t == kAUstr || t == kAByte || t == kAXyzs || t == kAThumbnail ||
         (t >= 1000 && t <= 1010) || (t >= 1013 && t <= 1020);
}

}  // namespace

long kova_eqdata_payload_size(const unsigned char* payload, size_t avail) {
  if (payload == nullptr) return -1;
  Reader r(payload, avail);
  int32_t type;
  if (!r.word(0, &type)) return -1;
  long size = (type == kString || type == kText || type == kXml) ? string_size(payload, avail)
                                                                 : stored_size(r, type);
  if (size < 0) return -1;
  // The multi-dimensional types count 64 trailing bytes that are never written.
  long written = (type == kMdaFloat || type == kMdaDouble) ? size - 64 : size;
  return static_cast<size_t>(written) > avail ? -1 : size;
}

int kova_eqdata_payload_channels(const unsigned char* payload, size_t avail) {
  if (payload == nullptr) return 0;
  Reader r(payload, avail);
  int32_t type;
  if (!r.word(0, &type)) return 0;
  if (!is_array_type(type)) return 1;
  long n;
  if (!r.count(type == kAByte ? V + 24 : V, &n)) return 0;
  return static_cast<int>(n);
}
