// Shared helpers of the fuzz targets: the generation switch chosen by an
// input's first byte, and heap copies of exactly the bytes a converter may
// touch, so AddressSanitizer sees every access beyond them.
#ifndef HESK_FUZZ_INPUT_H
#define HESK_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "event_util.h"

namespace fuzz {

// Selector bits 0-1: 0 = 2009, 1 = 2010, 2 and 3 = 2024. Returns the header size.
inline int use_generation(uint8_t selector) {
  switch (selector & 3) {
    case 0:
      set_data_format_2010(false);
      set_data_format_2024(false);
      return 36;
    case 1:
      set_data_format_2010(true);
      return 36;
    default:
      set_data_format_2024(true);
      return 48;
  }
}

// Exactly n bytes on the heap, copied from `data` (zero-filled past `size`).
inline std::unique_ptr<unsigned char[]> exact_copy(const uint8_t* data, size_t size, size_t n) {
  std::unique_ptr<unsigned char[]> p(new unsigned char[n > 0 ? n : 1]);
  memset(p.get(), 0, n > 0 ? n : 1);
  if (data != nullptr && size > 0) memcpy(p.get(), data, size < n ? size : n);
  return p;
}

// Writes the event's length into its header in the given byte order, unless
// the header's own value is within the buffer and `keep` says to leave it.
inline void bound_event_length(unsigned char* ev, size_t n, int head, bool network, bool keep) {
  if (head == 48) {
    int64_t v;
    memcpy(&v, ev + 8, 8);
    if (network) v = static_cast<int64_t>(__builtin_bswap64(static_cast<uint64_t>(v)));
    if (keep && v <= static_cast<int64_t>(n)) return;
    uint64_t w = network ? __builtin_bswap64(n) : n;
    memcpy(ev + 8, &w, 8);
  } else {
    uint32_t v;
    memcpy(&v, ev + 4, 4);
    if (network) v = __builtin_bswap32(v);
    if (keep && v <= n) return;
    uint32_t w = static_cast<uint32_t>(n);
    if (network) w = __builtin_bswap32(w);
    memcpy(ev + 4, &w, 4);
  }
}

}  // namespace fuzz

#endif  // HESK_FUZZ_INPUT_H
