// Byte order of slow-data blocks: the header with its pattern check, the
// whole block from network order (bounded by its converted data_length), the
// body in the writing direction, and the description-driven conversion.
#include "../convert/convert_internal.h"
#include "event_util.h"
#include "slow_geometry.h"

namespace {

using namespace convert_detail;
using slow_detail::SlowGeometry;

constexpr const char* kHeadFormat = "KOVA_SLOW_DATA_HEADER:UI1:UI1:UI1";
constexpr const char* kBodyFormat =
    "KOVA_SLOW_DATA_BLOCK:UI1=L1:L1(A256):UI1=L2:L2(UI1):L2(UI1):L2(UI1):L1(L2(F1)):L1(L2(I1)):UI1";
constexpr const char* kBodyFormat2024 =
    "KOVA_SLOW_DATA_BLOCK_2024:UI1=L1:L1(A256):UI1=L2:L2(UI1):L2(UI1):L2(UQ1):L1(L2(F1)):L1(L2(I1))"
    ":"
    "UI1";

// Reverses n 4-byte words at `at` in both buffers.
void words(const unsigned char* in, unsigned char* out, int64_t at, int64_t n) {
  if (n > 0) swap_fields4(in + at, out + at, static_cast<size_t>(n));
}

}  // namespace

extern "C" {

int kova_convert_slow_data_head(void* in, void* out) {
  int rc = interpret(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(out),
                     kHeadFormat, sizeof(kova_daq_slow_data_header), false, nullptr);
  if (rc != kOk) return rc;
  const uint32_t want = is_data_format_2024() ? KOVA_SLOW_PATTERN_2024 : KOVA_SLOW_PATTERN;
  const uint32_t found = load_u32(static_cast<const unsigned char*>(out));
  return (found == want || found == __builtin_bswap32(want)) ? kOk : kBadPattern;
}

int kova_convert_slow_data(void* in, void* out) {
  int rc = kova_convert_slow_data_head(in, out);
  if (rc != kOk) return rc;
  const unsigned char* src = static_cast<const unsigned char*>(in);
  unsigned char* dst = static_cast<unsigned char*>(out);
  kova_daq_slow_data_header head;
  memcpy(&head, dst, sizeof(head));
  const bool wide = head.pattern == KOVA_SLOW_PATTERN_2024;
  SlowGeometry g = slow_detail::geometry(head.data_length, head.channels_number, 0, wide);
  if (!g.names_fit()) return kBadPattern;
  copy_bytes(src + 12, dst + 12, static_cast<size_t>(g.entries_at - 12));
  if (!g.count_fits()) return kBadEnvBlock;
  words(src, dst, g.entries_at, 1);
  const int32_t entries = load_i32(dst + g.entries_at);
  if (entries < 0) return kUndefinedGroup;
  g = slow_detail::geometry(head.data_length, head.channels_number, entries, wide);
  // The table and its trailing word must both lie within data_length.
  if (!g.data_fits()) return kBadEvent;
  words(src, dst, g.seconds_at, 2 * g.entries);
  if (wide) {
    swap_fields8(src + g.evid_at, dst + g.evid_at, static_cast<size_t>(g.entries));
  } else {
    words(src, dst, g.evid_at, g.entries);
  }
  words(src, dst, g.values_at, (g.tail_at - g.values_at) / 4 + 1);
  return load_u32(dst + g.tail_at) == head.data_length ? kOk : kUndefinedGroup;
}

int kova_convert_slow_data_block_hton(void* in, void* out, int chans, uint32_t pattern) {
  if (chans < 1) return kDataLength;
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  const unsigned char* src = static_cast<const unsigned char*>(in);
  unsigned char* dst = static_cast<unsigned char*>(out);
  const int64_t names = slow_detail::kNameSize * chans;
  copy_bytes(src, dst, static_cast<size_t>(names));
  const int32_t entries = load_i32(src + names);
  words(src, dst, names, 1);
  if (entries < 0) return kUndefinedGroup;
  int64_t at = names + 4;
  words(src, dst, at, 2 * static_cast<int64_t>(entries));
  at += 8 * static_cast<int64_t>(entries);
  if (pattern == KOVA_SLOW_PATTERN_2024) {
    swap_fields8(src + at, dst + at, static_cast<size_t>(entries));
    at += 8 * static_cast<int64_t>(entries);
  } else {
    words(src, dst, at, entries);
    at += 4 * static_cast<int64_t>(entries);
  }
  words(src, dst, at, 2 * static_cast<int64_t>(chans) * entries + 1);
  return kOk;
}

int kova_convert_slow_data_block(void* in, void* out, int size) {
  return interpret(static_cast<const unsigned char*>(in), static_cast<unsigned char*>(out),
                   is_data_format_2024() ? kBodyFormat2024 : kBodyFormat, size, false, nullptr);
}

}  // extern "C"
