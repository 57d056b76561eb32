// Where the parts of a slow-data block lie for its channel and entry counts,
// and how much of the block its data_length actually covers. All offsets are
// 64-bit, so absurd counts cannot wrap around. Pure functions; thread-safe.
#ifndef HESK_ISTREL_SLOW_GEOMETRY_H
#define HESK_ISTREL_SLOW_GEOMETRY_H

#include <cstdint>
#include <cstring>

#include "event_slow.h"

namespace slow_detail {

constexpr int64_t kNameSize = 256;

struct SlowGeometry {
  int64_t length;    // data_length
  int64_t channels;  // N
  int64_t entries;   // E (0 when the count word lies beyond the block)
  bool wide;         // 64-bit identifiers
  int64_t entries_at, seconds_at, micros_at, evid_at, values_at, status_at, tail_at;

  // The names, the count word and the whole table up to the trailing word
  // (included) lie within data_length.
  bool names_fit() const { return length >= entries_at; }
  bool count_fits() const { return length >= seconds_at; }
  bool data_fits() const { return entries >= 0 && count_fits() && length >= tail_at + 4; }
};

// Geometry of a host-order block; `wide` as its pattern says.
SlowGeometry geometry_of(const unsigned char* block, bool wide);

// Geometry with a given channel count, entry count and length (conversion
// reads them as it goes).
SlowGeometry geometry(int64_t length, int64_t channels, int64_t entries, bool wide);

inline uint32_t load_u32(const unsigned char* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

}  // namespace slow_detail

#endif  // HESK_ISTREL_SLOW_GEOMETRY_H
