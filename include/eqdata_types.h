// Data type ids, value structures and the data block of the generic data
// container (EqData, see eqdata.h).
//
// These records are stored formats: the DAQ bridge copies value structures
// byte for byte into event payloads and reads them back, and a stored block
// is 264 bytes whose value part follows it in memory. Every size and every
// offset that a stored payload depends on is pinned with static_assert at the
// end of this file. Lengths are 32-bit, pointers 64-bit; the 4-byte words
// between a length and its pointer are padding and are kept zero.
//
// Plain declarations only: no behaviour and no state, safe from any thread.
#ifndef HESK_EQDATA_TYPES_H
#define HESK_EQDATA_TYPES_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Data type ids

enum QuormDataTypeId : int32_t {
  DATA_NULL = 0,
  DATA_INT = 1,
  DATA_FLOAT = 2,
  DATA_STRING = 3,
  DATA_BOOL = 4,  // held as a 32-bit int
  DATA_DOUBLE = 6,
  DATA_TEXT = 7,
  DATA_TDS = 12,
  DATA_XY = 13,
  DATA_IIII = 14,
  DATA_IFFF = 15,
  DATA_NAME_VALUE = 16,  // name/value list category; carried, holds no value
  DATA_TTII = 18,
  DATA_SPECTRUM = 19,
  DATA_XML = 20,
  DATA_IMAGE = 22,
  DATA_GSPECTRUM = 24,
  DATA_SHORT = 25,
  DATA_LONG = 26,
  DATA_USHORT = 27,
  DATA_UINT = 28,
  DATA_ULONG = 29,
  // Single USTR / XYZS values and generic structures: carried, hold no value.
  DATA_USTR = 30,
  DATA_XYZS = 31,
  DATA_STRUCTURE = 32,

  DATA_A_FLOAT = 100,
  DATA_A_TDS = 101,
  DATA_A_XY = 102,
  DATA_A_USTR = 103,
  DATA_A_INT = 105,
  DATA_A_BYTE = 106,
  DATA_A_XYZS = 108,
  DATA_MDA_FLOAT = 109,
  DATA_A_DOUBLE = 110,
  DATA_A_BOOL = 111,  // elements held as 32-bit ints
  DATA_A_SHORT = 113,
  DATA_A_LONG = 114,
  DATA_MDA_DOUBLE = 115,
  DATA_A_USHORT = 116,
  DATA_A_UINT = 117,
  DATA_A_ULONG = 118,
  DATA_A_THUMBNAIL = 120,

  // Time-stamped arrays. Only the spectrum kinds (1013, 1015) hold values;
  // the others are carried as ids and hold no value.
  DATA_A_TS_BOOL = 1000,
  DATA_A_TS_INT = 1001,
  DATA_A_TS_FLOAT = 1002,
  DATA_A_TS_DOUBLE = 1003,
  DATA_A_TS_LONG = 1004,
  DATA_A_TS_STRING = 1005,
  DATA_A_TS_USTR = 1006,
  DATA_A_TS_XML = 1007,
  DATA_A_TS_XY = 1008,
  DATA_A_TS_IFFF = 1009,
  DATA_A_TS_IIII = 1010,
  DATA_A_TS_SPECTRUM = 1013,
  DATA_A_TS_BYTE = 1014,
  DATA_A_TS_GSPECTRUM = 1015,
  DATA_KEYVAL = 1016,
  DATA_A_TS_SHORT = 1017,
  DATA_A_TS_USHORT = 1018,
  DATA_A_TS_UINT = 1019,
  DATA_A_TS_ULONG = 1020,
};

// ---------------------------------------------------------------------------
// Event id and time stamp

namespace quorm {

// 64-bit event identifier; a block holds it as two 32-bit halves.
class EventId {
 public:
  constexpr EventId() = default;
  constexpr explicit EventId(uint64_t value) : value_(value) {}
  constexpr uint64_t to_int() const { return value_; }
  constexpr uint32_t low() const { return static_cast<uint32_t>(value_); }
  constexpr uint32_t high() const { return static_cast<uint32_t>(value_ >> 32); }
  constexpr bool operator==(const EventId& o) const { return value_ == o.value_; }
  constexpr bool operator!=(const EventId& o) const { return value_ != o.value_; }

 private:
  uint64_t value_ = 0;
};

// Point in time as nanoseconds since the Unix epoch.
class Timestamp {
 public:
  constexpr Timestamp() = default;
  constexpr explicit Timestamp(int64_t ns) : ns_(ns) {}
  // Wraps around (rather than overflowing) for times beyond about +-292
  // years, so a garbage block time cannot cause undefined behaviour.
  static constexpr Timestamp from_sec_usec(int64_t sec, int32_t usec) {
    return Timestamp(static_cast<int64_t>(
        (static_cast<uint64_t>(sec) * 1000000u + static_cast<uint64_t>(int64_t{usec})) * 1000u));
  }
  constexpr int64_t nanoseconds() const { return ns_; }
  // Whole seconds and the microseconds within them (rounded down, so a time
  // before the epoch still gives 0 <= microseconds() < 1000000).
  constexpr int64_t seconds() const { return ns_ / 1000000000 - (ns_ % 1000000000 < 0 ? 1 : 0); }
  constexpr int32_t microseconds() const {
    const int64_t rem = ns_ % 1000000000;
    return static_cast<int32_t>((rem < 0 ? rem + 1000000000 : rem) / 1000);
  }
  constexpr bool operator==(const Timestamp& o) const { return ns_ == o.ns_; }
  constexpr bool operator!=(const Timestamp& o) const { return ns_ != o.ns_; }

 private:
  int64_t ns_ = 0;
};

}  // namespace quorm

// ---------------------------------------------------------------------------
// Fixed value structures (no parts)

struct XY {
  float x;
  float y;
};

// Time, data, status.
struct TDS {
  uint32_t tm;  // seconds since the epoch
  uint32_t tm_usec;
  float data;
  int32_t status;
};

struct IIII {
  int32_t i1_data;
  int32_t i2_data;
  int32_t i3_data;
  int32_t i4_data;
};

struct IFFF {
  int32_t i1_data;
  float f1_data;
  float f2_data;
  float f3_data;
};

// Two times (seconds, microseconds) and two integers.
struct TTII {
  uint32_t tm1;
  uint32_t tm1_usec;
  uint32_t tm2;
  uint32_t tm2_usec;
  int32_t i1_data;
  int32_t i2_data;
};

// Image thumbnail: when, which event, size and pixel statistics.
struct THUMBNAIL {
  uint32_t tm;
  uint32_t tm_usec;
  uint32_t event_lo;
  uint32_t event_hi;
  int32_t width;
  int32_t height;
  float min;
  float max;
  float mean;
  float sigma;
  int32_t status;
  int32_t spare;
};

// ---------------------------------------------------------------------------
// Value structures with parts. A part is a variable-length array the
// structure points to; its length sits in front of the pointer. Text parts
// are held with their terminator and the length counts it.

// Three numbers, a time and a string.
struct USTR {
  int32_t i1_data;
  float f1_data;
  float f2_data;
  int32_t spare;
  int64_t tm;
  uint32_t str_len;
  uint32_t pad;
  char* str;
};

// Status, position and a location string.
struct XYZS {
  int32_t status;
  float x;
  float y;
  float z;
  uint32_t str_len;
  uint32_t pad;
  char* str;
};

// Spectrum: comment, parameters, float samples.
struct SPECTRUM {
  uint32_t comment_len;
  uint32_t pad0;
  char* comment;
  uint32_t tm;
  uint32_t tm_usec;
  float start;
  float inc;
  uint32_t status;
  int32_t spare;
  uint32_t length;  // number of samples
  uint32_t pad1;
  float* data;
};

// Generic spectrum: like SPECTRUM with groups and free parameters.
struct GSPECTRUM {
  uint32_t comment_len;
  uint32_t pad0;
  char* comment;
  uint32_t tm;
  uint32_t tm_usec;
  float start;
  float inc;
  uint32_t status;
  int32_t id;
  int32_t groups;
  float group_inc;
  float prm[36];
  uint32_t length;  // number of samples
  uint32_t pad1;
  float* data;
};

// Image header: geometry, pixel format, frame and event, time (32-bit
// seconds) and status. The image bytes themselves are a part of EqImage.
struct IMH {
  int32_t width;
  int32_t height;
  int32_t aoi_width;
  int32_t aoi_height;
  int32_t x_start;
  int32_t y_start;
  int32_t bpp;     // bytes per pixel
  int32_t ebitpp;  // effective bits per pixel
  int32_t hbin;
  int32_t vbin;
  int32_t source_format;
  int32_t image_format;
  uint32_t frame;
  uint32_t event_lo;
  uint32_t event_hi;
  uint32_t tm;
  uint32_t tm_usec;
  int32_t status;
  float scale_x;
  float scale_y;
  float rotation;
  uint32_t flags;
  float fspare[4];
  int32_t ispare[6];
};

// Image value: header, comment (first part), image bytes (second part).
struct EqImage {
  IMH header;
  uint32_t comment_len;
  uint32_t pad0;
  char* comment;
  uint32_t length;  // image bytes
  uint32_t pad1;
  unsigned char* bytes;
};

// Byte array value: five parameters and the bytes.
struct EqByteArray {
  int32_t prm[5];
  int32_t pad0;
  uint32_t length;
  uint32_t pad1;
  unsigned char* bytes;
};

constexpr int EQ_MDA_MAX_DIMS = 7;

// Multi-dimensional float or double array: comment, dimensions, elements in
// row-major order (the last dimension varies fastest).
struct EqMda {
  uint32_t comment_len;
  uint32_t pad0;
  char* comment;
  int32_t ndims;
  int32_t dims[EQ_MDA_MAX_DIMS];
  uint32_t length;  // element count, the product of the dimensions
  uint32_t pad1;
  void* data;  // float* or double*
};

// Element of DATA_A_TS_SPECTRUM.
struct EqTsSpectrum {
  uint32_t id;
  uint16_t status;
  uint16_t flags;
  SPECTRUM spectrum;
};

// Element of DATA_A_TS_GSPECTRUM.
struct EqTsGSpectrum {
  uint32_t id;
  uint16_t status;
  uint16_t flags;
  GSPECTRUM spectrum;
};

// Element of DATA_KEYVAL: one "key:value" string.
struct EqKeyVal {
  uint32_t str_len;
  uint32_t pad;
  char* str;
};

// Array and string view of the value union: element count (for strings the
// held length with the terminator) and the elements.
struct EqArray {
  uint32_t length;
  uint32_t pad;
  void* data;
};

// ---------------------------------------------------------------------------
// The data block

constexpr size_t EQ_VALUE_SIZE = 216;

// Which member of the union a type uses:
//   DATA_INT, DATA_BOOL: d_int   DATA_UINT: d_uint   DATA_SHORT: d_short
//   DATA_USHORT: d_ushort        DATA_LONG: d_long   DATA_ULONG: d_ulong
//   DATA_FLOAT: d_float          DATA_DOUBLE: d_double
//   DATA_XY, DATA_TDS, DATA_IIII, DATA_IFFF, DATA_TTII, DATA_SPECTRUM,
//   DATA_GSPECTRUM: the structure of that name (d_xy, d_tds, ...)
//   DATA_IMAGE: d_image   DATA_A_BYTE: d_byte   DATA_MDA_*: d_mda
//   DATA_STRING, DATA_TEXT, DATA_XML: d_array (chars, length with terminator)
//   every other DATA_A_* and DATA_KEYVAL: d_array (count, element images)
union EqValue {
  int32_t d_int;
  uint32_t d_uint;
  int16_t d_short;
  uint16_t d_ushort;
  int64_t d_long;
  uint64_t d_ulong;
  float d_float;
  double d_double;
  XY d_xy;
  TDS d_tds;
  IIII d_iiii;
  IFFF d_ifff;
  TTII d_ttii;
  SPECTRUM d_spectrum;
  GSPECTRUM d_gspectrum;
  EqImage d_image;
  EqByteArray d_byte;
  EqMda d_mda;
  EqArray d_array;
  unsigned char raw[EQ_VALUE_SIZE];
};

// 264 bytes. When stored, the value's parts follow the block directly.
struct EqDataBlock {
  int32_t data_type;  // QuormDataTypeId
  int32_t error;
  int64_t tm;  // seconds since the epoch
  int32_t tm_usec;
  uint32_t mp_lo;  // event id, low half
  uint32_t mp_hi;  // event id, high half
  int32_t unused0;
  int32_t unused1;
  int32_t unused2;
  int32_t unused3;
  int32_t reserved;
  EqValue value;
};

// ---------------------------------------------------------------------------
// Pinned layouts

static_assert(sizeof(quorm::EventId) == 8, "EventId");
static_assert(sizeof(quorm::Timestamp) == 8, "Timestamp");

static_assert(sizeof(XY) == 8, "XY");
static_assert(sizeof(TDS) == 16, "TDS");
static_assert(sizeof(IIII) == 16, "IIII");
static_assert(sizeof(IFFF) == 16 && offsetof(IFFF, f1_data) == 4, "IFFF");
static_assert(sizeof(TTII) == 24, "TTII");
static_assert(sizeof(THUMBNAIL) == 48, "THUMBNAIL");

static_assert(sizeof(USTR) == 40 && offsetof(USTR, str_len) == 24 && offsetof(USTR, str) == 32,
              "USTR");
static_assert(sizeof(XYZS) == 32 && offsetof(XYZS, str_len) == 16 && offsetof(XYZS, str) == 24,
              "XYZS");
static_assert(sizeof(SPECTRUM) == 56 && offsetof(SPECTRUM, comment_len) == 0 &&
                  offsetof(SPECTRUM, comment) == 8 && offsetof(SPECTRUM, length) == 40 &&
                  offsetof(SPECTRUM, data) == 48,
              "SPECTRUM");
static_assert(sizeof(GSPECTRUM) == 208 && offsetof(GSPECTRUM, comment_len) == 0 &&
                  offsetof(GSPECTRUM, comment) == 8 && offsetof(GSPECTRUM, length) == 192 &&
                  offsetof(GSPECTRUM, data) == 200,
              "GSPECTRUM");
static_assert(sizeof(IMH) == 128, "IMH");
static_assert(sizeof(EqImage) == 160 && offsetof(EqImage, header) == 0 &&
                  offsetof(EqImage, comment_len) == 128 && offsetof(EqImage, comment) == 136 &&
                  offsetof(EqImage, length) == 144 && offsetof(EqImage, bytes) == 152,
              "EqImage");
static_assert(sizeof(EqByteArray) == 40 && offsetof(EqByteArray, prm) == 0 &&
                  offsetof(EqByteArray, length) == 24 && offsetof(EqByteArray, bytes) == 32,
              "EqByteArray");
static_assert(sizeof(EqMda) == 64 && offsetof(EqMda, comment_len) == 0 &&
                  offsetof(EqMda, comment) == 8 && offsetof(EqMda, ndims) == 16 &&
                  offsetof(EqMda, dims) == 20 && offsetof(EqMda, length) == 48 &&
                  offsetof(EqMda, data) == 56,
              "EqMda");
static_assert(sizeof(EqTsSpectrum) == 64 && offsetof(EqTsSpectrum, status) == 4 &&
                  offsetof(EqTsSpectrum, flags) == 6 && offsetof(EqTsSpectrum, spectrum) == 8,
              "EqTsSpectrum");
static_assert(sizeof(EqTsGSpectrum) == 216 && offsetof(EqTsGSpectrum, spectrum) == 8,
              "EqTsGSpectrum");
static_assert(sizeof(EqKeyVal) == 16 && offsetof(EqKeyVal, str_len) == 0 &&
                  offsetof(EqKeyVal, str) == 8,
              "EqKeyVal");
static_assert(sizeof(EqArray) == 16 && offsetof(EqArray, length) == 0 &&
                  offsetof(EqArray, data) == 8,
              "EqArray");

static_assert(sizeof(EqValue) == EQ_VALUE_SIZE && EQ_VALUE_SIZE >= sizeof(GSPECTRUM), "EqValue");
static_assert(sizeof(EqDataBlock) == 264, "EqDataBlock");
static_assert(offsetof(EqDataBlock, data_type) == 0 && offsetof(EqDataBlock, error) == 4 &&
                  offsetof(EqDataBlock, tm) == 8 && offsetof(EqDataBlock, tm_usec) == 16 &&
                  offsetof(EqDataBlock, mp_lo) == 20 && offsetof(EqDataBlock, mp_hi) == 24 &&
                  offsetof(EqDataBlock, unused0) == 28 && offsetof(EqDataBlock, unused3) == 40 &&
                  offsetof(EqDataBlock, value) == 48,
              "EqDataBlock");

#endif  // HESK_EQDATA_TYPES_H
