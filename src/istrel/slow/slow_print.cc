// Printing of a host-order slow-data block: header, channel names, one line
// per entry with every channel's value and status, and the trailing word.
// The first inconsistency found is reported and ends the printout.
#include <cstdio>
#include <cstring>

#include "slow_geometry.h"

namespace {

using slow_detail::SlowGeometry;

// Message texts of the 2010 and the 2024 form.
struct Texts {
  const char* names;
  const char* count;
  const char* data;
  const char* entry;
  const char* tail;
};

const Texts kTexts2010 = {
    "kova_print_daq_slow_block() block corrupted - not enough length to keep %d channels "
    "names\n",
    "kova_print_daq_slow_block() block corrupted - not enough length to keep number of entries\n",
    "kova_print_daq_slow_block() block corrupted - not enough length to keep data\n",
    "[%d] %d:%d_%d ", "kova_print_daq_slow_block() something wrong with the tail %d must be %d\n"};

const Texts kTexts2024 = {
    "kova_print_daq_slow_block() block corrupted - not enough length (2024) to keep %d channels "
    "names\n",
    "kova_print_daq_slow_block() block corrupted - not enough length (2024) to keep number of "
    "entries\n",
    "kova_print_daq_slow_block() block corrupted - not enough length (2024) to keep data\n",
    "[%d] %d:%d_%ld ",
    "kova_print_daq_slow_block() something wrong (2024) with the tail %d must be %d\n"};

template <typename T>
T at(const unsigned char* block, int64_t off) {
  T v;
  memcpy(&v, block + off, sizeof(T));
  return v;
}

}  // namespace

extern "C" {

bool kova_print_daq_slow_header(kova_daq_slow_data_header* block) {
  if (block == nullptr) return true;
  const uint32_t p = block->pattern;
  if (p == KOVA_SLOW_PATTERN || p == KOVA_SLOW_PATTERN_2024) {
    printf("PATTERN:       0x%x\n", p);
    printf("BLOCK_LENGTH:  %d\n", static_cast<int>(block->data_length));
    printf("CHANNELS:      %d\n", static_cast<int>(block->channels_number));
    return false;
  }
  if (p == __builtin_bswap32(KOVA_SLOW_PATTERN) || p == __builtin_bswap32(KOVA_SLOW_PATTERN_2024)) {
    printf("kova_print_daq_slow_block() please swap buffer first\n");
    return true;
  }
  printf("kova_print_daq_slow_block() invalid pattern 0x%x must be 0x%x(0x%x) OR 0x%x(0x%x)\n", p,
         KOVA_SLOW_PATTERN, __builtin_bswap32(KOVA_SLOW_PATTERN), KOVA_SLOW_PATTERN_2024,
         __builtin_bswap32(KOVA_SLOW_PATTERN_2024));
  return true;
}

void kova_print_daq_slow_block(kova_daq_slow_data_header* block) {
  if (kova_print_daq_slow_header(block)) return;
  const bool wide = block->pattern == KOVA_SLOW_PATTERN_2024;
  const Texts& t = wide ? kTexts2024 : kTexts2010;
  const unsigned char* b = reinterpret_cast<const unsigned char*>(block);
  const int n = static_cast<int>(block->channels_number);

  SlowGeometry g = slow_detail::geometry(block->data_length, block->channels_number, 0, wide);
  if (!g.names_fit()) {
    printf(t.names, n);
    return;
  }
  printf("CHANNELS:\n");
  for (int64_t c = 0; c < g.channels; ++c) {
    const char* name = reinterpret_cast<const char*>(b + 12 + slow_detail::kNameSize * c);
    printf("[%d] '%.*s'\n", static_cast<int>(c), static_cast<int>(strnlen(name, 256)), name);
  }
  if (!g.count_fits()) {
    printf("%s", t.count);
    return;
  }
  const int32_t entries = at<int32_t>(b, g.entries_at);
  printf("ENTRIES: %d\n", entries);
  g = slow_detail::geometry(block->data_length, block->channels_number, entries, wide);
  // A table whose trailing word lies beyond data_length does not fit either.
  if (!g.data_fits()) {
    printf("%s", t.data);
    return;
  }
  for (int64_t e = 0; e < g.entries; ++e) {
    const int sec = at<int32_t>(b, g.seconds_at + 4 * e);
    const int usec = at<int32_t>(b, g.micros_at + 4 * e);
    if (wide) {
      printf(t.entry, static_cast<int>(e), sec, usec,
             static_cast<long>(at<int64_t>(b, g.evid_at + 8 * e)));
    } else {
      printf(t.entry, static_cast<int>(e), sec, usec, at<int32_t>(b, g.evid_at + 4 * e));
    }
    for (int64_t c = 0; c < g.channels; ++c) {
      const int64_t cell = 4 * (c * g.entries + e);
      printf("\t%f(%d)", at<float>(b, g.values_at + cell), at<int32_t>(b, g.status_at + cell));
    }
    printf("\n");
  }
  const int tail = at<int32_t>(b, g.tail_at);
  if (tail == static_cast<int>(block->data_length)) {
    printf("TAIL %d\n", tail);
  } else {
    printf(t.tail, tail, static_cast<int>(block->data_length));
  }
}

}  // extern "C"
