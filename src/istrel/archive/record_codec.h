// Byte order and sanity of the stored archive records. On disk every integer
// is big-endian and the text fields are raw bytes; swapping is its own
// inverse, so one function converts both ways. lie() names the first field
// that contradicts the record's meaning, or returns null.
#ifndef HESK_ARCHIVE_RECORD_CODEC_H
#define HESK_ARCHIVE_RECORD_CODEC_H

#include <endian.h>

#include <cstddef>
#include <cstdint>

#include "event_util.h"

namespace kova_archive {

inline void swap32(int& v) {
  v = static_cast<int>(be32toh(static_cast<uint32_t>(v)));
}
inline void swap32(unsigned int& v) {
  v = be32toh(v);
}
inline void swap64(uint64_t& v) {
  v = be64toh(v);
}

// An end before the start, when both are known (0 means not known).
inline bool reversed(unsigned int first, unsigned int last) {
  return first != 0 && last != 0 && last < first;
}

template <class R>
struct Codec;

template <>
struct Codec<kova_run_catalog> {
  static constexpr size_t kSize = 92;
  static void swap(kova_run_catalog& r) {
    swap32(r.type);
    swap32(r.year);
    swap32(r.run);
    swap32(r.files);
    swap32(r.fid);
    swap32(r.tstart);
    swap32(r.tend);
  }
  static const char* lie(const kova_run_catalog& r) {
    if (r.year < 0) return "negative year";
    if (r.files < 0) return "negative number of files";
    if (reversed(r.tstart, r.tend)) return "run ends before it starts";
    return nullptr;
  }
};

template <>
struct Codec<kova_dccp_catalog> {
  static constexpr size_t kSize = 88;
  static void swap(kova_dccp_catalog& r) {
    swap32(r.type);
    swap32(r.year);
    swap32(r.run);
    swap32(r.files);
    swap32(r.fid);
    swap32(r.removed);
  }
  static const char* lie(const kova_dccp_catalog& r) {
    if (r.year < 0) return "negative year";
    if (r.files < 0) return "negative number of files";
    if (r.removed < 0) return "negative number of removed files";
    if (r.removed > r.files) return "more removed files than files";
    return nullptr;
  }
};

// Checks common to the three index layouts.
template <class R>
const char* index_lie(const R& r) {
  if (r.filen < 0) return "negative file number";
  if (reversed(r.evfirst, r.evlast)) return "last event time before the first";
  for (int c : r.tevents) {
    if (c < 0) return "negative event count";
  }
  return nullptr;
}

template <class R>
void swap_index_common(R& r) {
  swap32(r.filen);
  swap32(r.evfirst);
  swap32(r.evlast);
  swap32(r.tfile);
  swap32(r.events);
  for (int& c : r.tevents) swap32(c);
}

template <>
struct Codec<kova_index_file> {
  static constexpr size_t kSize = 148;
  static void swap(kova_index_file& r) { swap_index_common(r); }
  static const char* lie(const kova_index_file& r) { return index_lie(r); }
};

template <>
struct Codec<kova_index_file_ev> {
  static constexpr size_t kSize = 156;
  static void swap(kova_index_file_ev& r) {
    swap_index_common(r);
    swap32(r.event_first);
    swap32(r.event_last);
  }
  static const char* lie(const kova_index_file_ev& r) {
    if (r.event_last != 0 && r.event_last < r.event_first)
      return "last event number before the first";
    return index_lie(r);
  }
};

template <>
struct Codec<kova_index_file_ev_2024> {
  static constexpr size_t kSize = 168;
  static void swap(kova_index_file_ev_2024& r) {
    swap_index_common(r);
    swap32(r.unused);
    swap64(r.event_first);
    swap64(r.event_last);
  }
  static const char* lie(const kova_index_file_ev_2024& r) {
    if (r.event_last != 0 && r.event_last < r.event_first)
      return "last event number before the first";
    return index_lie(r);
  }
};

static_assert(sizeof(kova_run_catalog) == Codec<kova_run_catalog>::kSize, "run catalog record");
static_assert(sizeof(kova_dccp_catalog) == Codec<kova_dccp_catalog>::kSize, "dccp record");
static_assert(sizeof(kova_index_file) == Codec<kova_index_file>::kSize, "idx record");
static_assert(sizeof(kova_index_file_ev) == Codec<kova_index_file_ev>::kSize, "idev record");
static_assert(sizeof(kova_index_file_ev_2024) == Codec<kova_index_file_ev_2024>::kSize,
              "idev64 record");

}  // namespace kova_archive

#endif  // HESK_ARCHIVE_RECORD_CODEC_H
