// The trailer and the file reference table (FRT): whole-file and windowed
// readers of the three generations and the windowed dispatcher.
//
// Trailer: FRT offset (always big-endian), then the end marker in the
// writer's byte order: 4 + 4 bytes (2009, 2010), 8 + 8 bytes (2024). The
// marker read in host order tells the file's byte order.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "files_internal.h"

namespace files_detail {

namespace {

// Big-endian word of the trailer.
template <typename W>
W load_big_endian(const unsigned char* p) {
  W v = 0;
  for (size_t i = 0; i < sizeof(W); ++i) v = static_cast<W>((v << 8) | p[i]);
  return v;
}

enum class Marker { kNone, kHost, kSwapped };

// Looks at the marker at the end of `map` (length >= 2 words) and reads the
// FRT offset before it.
template <typename G>
Marker read_trailer(const unsigned char* map, uint64_t length, uint64_t* frt_offset) {
  using W = typename G::Word;
  const W marker = load<W>(map + length - sizeof(W));
  Marker m = Marker::kNone;
  if (marker == G::kEndMarker)
    m = Marker::kHost;
  else if (marker == reverse(G::kEndMarker))
    m = Marker::kSwapped;
  *frt_offset = load_big_endian<W>(map + length - 2 * sizeof(W));
  return m;
}

// The FRT must lie wholly before the trailer.
template <typename G>
bool frt_fits(uint64_t offset, uint64_t file_length) {
  const uint64_t need = sizeof(typename G::Frt) + 2 * sizeof(typename G::Word);
  return file_length >= need && offset <= file_length - need;
}

template <typename G>
void print_missing(bool swapped, typename G::Word found, bool whole_file);

template <>
void print_missing<Gen2009>(bool swapped, uint32_t, bool) {
  printf(swapped ? "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found (swapped)\n"
                 : "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found\n");
}

template <>
void print_missing<Gen2010>(bool swapped, uint32_t, bool) {
  printf(swapped ? "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2010 found (swapped)\n"
                 : "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2010 found\n");
}

template <>
void print_missing<Gen2024>(bool swapped, uint64_t found, bool whole_file) {
  if (!swapped)
    printf("No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found\n");
  else if (whole_file)
    printf("No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found (swapped) 0x%lX\n",
           static_cast<unsigned long>(found));
  else
    printf("No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found (swapped)\n");
}

template <typename G>
const char* malloc_message() {
  return G::kGen == Gen::k2024 ? "Failed to malloc swapped REFERENCE_TABLE_2024\n"
                               : "Failed to malloc swapped REFERENCE_TABLE\n";
}

template <typename G>
typename G::Frt* swapped_copy(const unsigned char* at) {
  auto* copy = static_cast<typename G::Frt*>(malloc(sizeof(typename G::Frt)));
  if (copy == nullptr) {
    printf("%s", malloc_message<G>());
    return nullptr;
  }
  swap_table(at, reinterpret_cast<unsigned char*>(copy), sizeof(typename G::Frt),
             sizeof(typename G::Word));
  return copy;
}

template <typename G>
int read_whole(u_char* map, uint64_t length, typename G::Frt** tbl, int* out) {
  using W = typename G::Word;
  if (tbl != nullptr) *tbl = nullptr;
  if (map == nullptr || length == 0 || tbl == nullptr) return -1;
  // The table readers check every reference against this extent.
  remember_mapping(map, length);
  if (length < 2 * sizeof(W)) return -2;
  uint64_t offset = 0;
  const Marker m = read_trailer<G>(map, length, &offset);
  const bool swapped = m == Marker::kSwapped;
  const W want = swapped ? reverse(G::kFrt) : G::kFrt;
  const W found = m != Marker::kNone && frt_fits<G>(offset, length) ? load<W>(map + offset) : 0;
  // What was read is not the file's when the file shrank under the mapping.
  if (damaged(map)) return KOVA_MAPPING_DAMAGED;
  if (m == Marker::kNone) return -2;
  if (found != want) {
    print_missing<G>(swapped, found, true);
    return -3;
  }
  if (!swapped) {
    *tbl = reinterpret_cast<typename G::Frt*>(map + offset);
    if (out != nullptr) *out = 0;
    return 0;
  }
  typename G::Frt* copy = swapped_copy<G>(map + offset);
  if (copy == nullptr) return -6;
  if (damaged(map)) {
    free(copy);
    return KOVA_MAPPING_DAMAGED;
  }
  *tbl = copy;
  if (out != nullptr) *out = 1;
  return 0;
}

template <typename G>
int read_windowed(u_char* map, uint64_t length, uint64_t total_length, int fd,
                  typename G::Frt** tbl) {
  using W = typename G::Word;
  if (tbl != nullptr) *tbl = nullptr;
  if (map == nullptr || length == 0 || tbl == nullptr || fd == 0 || fd < 0) return -1;
  if (length < 2 * sizeof(W)) return -2;
  uint64_t offset = 0;
  const Marker m = read_trailer<G>(map, length, &offset);
  if (damaged(map)) return KOVA_MAPPING_DAMAGED;
  if (m == Marker::kNone) return -2;
  const bool swapped = m == Marker::kSwapped;
  const uint64_t limit = file_limit(fd, total_length);
  if (!frt_fits<G>(offset, limit)) {
    print_missing<G>(swapped, 0, false);
    return -3;
  }
  Window w;
  if (w.open(fd, limit, offset) != 0) {
    return -3;
  }
  auto* copy = static_cast<typename G::Frt*>(malloc(sizeof(typename G::Frt)));
  if (copy == nullptr) {
    printf("%s", malloc_message<G>());
    return -6;
  }
  memcpy(copy, w.at(), sizeof(*copy));
  if (w.damaged()) {
    free(copy);
    return KOVA_MAPPING_DAMAGED;
  }
  const W want = swapped ? reverse(G::kFrt) : G::kFrt;
  if (copy->pattern != want) {
    print_missing<G>(swapped, copy->pattern, false);
    free(copy);
    return -3;
  }
  if (swapped)
    swap_table(reinterpret_cast<unsigned char*>(copy), reinterpret_cast<unsigned char*>(copy),
               sizeof(*copy), sizeof(W));
  *tbl = copy;
  return 0;
}

}  // namespace

}  // namespace files_detail

using files_detail::Gen2009;
using files_detail::Gen2010;
using files_detail::Gen2024;

int get_kova_file_reference_table(u_char* map, unsigned long length,
                                  kova_file_reference_table** tbl, int* out) {
  return files_detail::read_whole<Gen2009>(map, length, tbl, out);
}

int get_kova_file_reference_table_2024(u_char* map, unsigned long length,
                                       kova_file_reference_table_2024** tbl, int* out) {
  return files_detail::read_whole<Gen2024>(map, length, tbl, out);
}

int get_kova_file_reference_table_m(u_char* map, unsigned long length, unsigned long total_length,
                                    int fd, kova_file_reference_table** tbl) {
  return files_detail::read_windowed<Gen2009>(map, length, total_length, fd, tbl);
}

int get_kova_file_reference_table_m_2010(u_char* map, unsigned long length,
                                         unsigned long total_length, int fd,
                                         kova_file_reference_table_2010** tbl) {
  return files_detail::read_windowed<Gen2010>(map, length, total_length, fd, tbl);
}

int get_kova_file_reference_table_m_2024(u_char* map, uint64_t length, uint64_t total_length,
                                         int fd, kova_file_reference_table_2024** tbl) {
  return files_detail::read_windowed<Gen2024>(map, length, total_length, fd, tbl);
}

int get_kova_file_reference_table_m(u_char* map, unsigned long length, unsigned long total_length,
                                    int fd, void** tbl) {
  using files_detail::Gen;
  switch (files_detail::flags_generation()) {
    case Gen::k2010:
      return get_kova_file_reference_table_m_2010(
          map, length, total_length, fd, reinterpret_cast<kova_file_reference_table_2010**>(tbl));
    case Gen::k2009:
      return get_kova_file_reference_table_m(map, length, total_length, fd,
                                             reinterpret_cast<kova_file_reference_table**>(tbl));
    case Gen::k2024:
    default:
      return get_kova_file_reference_table_m_2024(
          map, length, total_length, fd, reinterpret_cast<kova_file_reference_table_2024**>(tbl));
  }
}
