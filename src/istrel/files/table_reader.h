// The steps every table reader shares, whole-file and windowed:
//  1. arguments; 2. the FRT's pattern (-3) and length (-4); 3. the table's
//  reference (0: absent, -6); 4. where the table lies (whole-file: base +
//  reference, inside the mapping; windowed: a page window from the table to
//  the end of the file, -5 when it cannot be made); 5. the pattern, in host
//  or byte-reversed form (-5); 6. the size, which the table's kind reads in
//  the table's own byte order and checks against the bytes that follow it
//  (-7, or -6 for an event index without entries); 7. the result: a pointer
//  into the mapping (whole-file, host order), or a heap copy, converted to
//  host order when the table was swapped. Last, a mapping whose file shrank
//  while it was read makes the result KOVA_MAPPING_DAMAGED, whatever was read.
//
// A kind K describes one table of one generation:
//   using Table;                         the record type handed out
//   static constexpr Word kPattern;
//   static const char* tag();            named by the allocation failure message
//   static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size);
//   static void to_host(const unsigned char* in, unsigned char* out, uint64_t size);
#ifndef HESK_FILES_TABLE_READER_H
#define HESK_FILES_TABLE_READER_H

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "files_internal.h"

namespace files_detail {

// A reference from the FRT as an unsigned offset; negative references (2024)
// become offsets no file reaches.
template <typename Ref>
uint64_t as_offset(Ref r) {
  if (std::is_signed<Ref>::value && r < 0) return UINT64_MAX;
  return static_cast<uint64_t>(r);
}

// Steps 5 and 6 on a table that starts at `t` with `avail` bytes readable.
template <typename G, typename K>
int examine(const unsigned char* t, uint64_t avail, bool* swapped, uint64_t* size) {
  using W = typename G::Word;
  if (avail < G::kHeader) return -5;
  const W pattern = load<W>(t);
  if (pattern == K::kPattern)
    *swapped = false;
  else if (pattern == reverse(K::kPattern))
    *swapped = true;
  else
    return -5;
  return K::size(t, avail, *swapped, size);
}

template <typename K>
typename K::Table* heap_copy(const unsigned char* t, uint64_t size, bool swapped) {
  void* copy = size <= SIZE_MAX ? malloc(static_cast<size_t>(size)) : nullptr;
  if (copy == nullptr) {
    printf("Failed to malloc swapped %s\n", K::tag());
    return nullptr;
  }
  if (swapped)
    K::to_host(t, static_cast<unsigned char*>(copy), size);
  else
    memcpy(copy, t, static_cast<size_t>(size));
  return static_cast<typename K::Table*>(copy);
}

// Where a whole-file table starts and how many bytes follow it: 0, or -5
// when the reference leaves the mapping.
inline int place_in_mapping(const unsigned char* base, uint64_t ref, uint64_t* avail) {
  const uint64_t extent = readable_from(base);
  if (extent == kUnknownExtent) {
    *avail = kUnknownExtent;
    return 0;
  }
  if (ref >= extent) return -5;
  *avail = extent - ref;
  return 0;
}

// What a whole-file reader that touched `base` returns: its own code, or
// KOVA_MAPPING_DAMAGED (nothing handed out, a copy released) when the file
// shrank under the mapping. `owned`: the result is a heap copy.
template <typename T>
int checked(const void* base, int rc, T** tbl, bool owned) {
  if (!damaged(base)) return rc;
  if (rc == 0 && owned) free(*tbl);
  if (tbl != nullptr) *tbl = nullptr;
  return KOVA_MAPPING_DAMAGED;
}

template <typename G, typename K, typename Ref>
int read_whole_unchecked(u_char* base, const typename G::Frt* frt, Ref G::Frt::*ref,
                         typename K::Table** tbl, int* out) {
  if (tbl != nullptr) *tbl = nullptr;
  if (base == nullptr || frt == nullptr || tbl == nullptr) return -1;
  typename G::Frt f;
  if (int rc = take_frt<G>(frt, &f)) return rc;
  if (f.*ref == 0) return -6;
  const uint64_t r = as_offset(f.*ref);
  uint64_t avail = 0;
  if (int rc = place_in_mapping(base, r, &avail)) return rc;
  const unsigned char* t = base + r;
  bool swapped = false;
  uint64_t size = 0;
  if (int rc = examine<G, K>(t, avail, &swapped, &size)) return rc;
  if (!swapped) {
    *tbl = reinterpret_cast<typename K::Table*>(const_cast<unsigned char*>(t));
    if (out != nullptr) *out = 0;
    return 0;
  }
  typename K::Table* copy = heap_copy<K>(t, size, true);
  if (copy == nullptr) return -6;
  *tbl = copy;
  if (out != nullptr) *out = 1;
  return 0;
}

template <typename G, typename K, typename Ref>
int read_whole(u_char* base, const typename G::Frt* frt, Ref G::Frt::*ref, typename K::Table** tbl,
               int* out) {
  int owned = 0;
  const int rc = read_whole_unchecked<G, K>(base, frt, ref, tbl, &owned);
  if (rc == 0 && out != nullptr) *out = owned;
  return checked(base, rc, tbl, owned == 1);
}

template <typename G, typename K, typename Ref>
int read_windowed(uint64_t total_length, const typename G::Frt* frt, int fd, Ref G::Frt::*ref,
                  typename K::Table** tbl) {
  if (tbl != nullptr) *tbl = nullptr;
  if (total_length == 0 || fd == 0 || fd < 0 || frt == nullptr || tbl == nullptr) return -1;
  typename G::Frt f;
  if (int rc = take_frt<G>(frt, &f)) return rc;
  if (f.*ref == 0) return -6;
  Window w;
  if (w.open(fd, file_limit(fd, total_length), as_offset(f.*ref)) != 0) return -5;
  bool swapped = false;
  uint64_t size = 0;
  const int rc = examine<G, K>(w.at(), w.avail(), &swapped, &size);
  typename K::Table* copy = rc == 0 ? heap_copy<K>(w.at(), size, swapped) : nullptr;
  if (w.damaged()) {
    free(copy);
    return KOVA_MAPPING_DAMAGED;
  }
  if (rc != 0) return rc;
  if (copy == nullptr) return -6;
  *tbl = copy;
  return 0;
}

// A plain `length` word after the pattern: non-zero (-7), at least the
// header plus `min_body` bytes and within the bytes that follow (-7).
template <typename G>
int plain_length(const unsigned char* t, uint64_t avail, bool swapped, uint64_t min_body,
                 uint64_t* size) {
  using C = typename G::Count;
  const C length = load<C>(t + sizeof(typename G::Word), swapped);
  if (length == 0) return -7;
  if (length < 0 || static_cast<uint64_t>(length) < G::kHeader + min_body) return -7;
  if (static_cast<uint64_t>(length) > avail) return -7;
  *size = static_cast<uint64_t>(length);
  return 0;
}

// Writes the host-order header of a converted 2024 table: pattern and size.
template <typename G>
void rewrite_header(unsigned char* out, typename G::Word pattern, uint64_t size) {
  store<typename G::Word>(out, pattern);
  store<typename G::Count>(out + sizeof(typename G::Word), static_cast<typename G::Count>(size));
}

}  // namespace files_detail

#endif  // HESK_FILES_TABLE_READER_H
