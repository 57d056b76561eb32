// Event index table (EIT): the whole table and one event type's entry.
//
// Layout: pattern, nevent_types (2009/2010: 4 + 4 bytes; 2024: 8 + 8), then
// nevent_types entries, each a head (32 / 48 bytes) whose `length` counts the
// whole entry, followed by one record per event (16 / 24 bytes). The table's
// size is the header plus the entries' lengths. A swapped table is converted
// as a run of 4-byte (2024: 8-byte) words.
#include "table_reader.h"

namespace files_detail {

namespace {

template <typename G>
struct EitKind {
  using Table = typename G::Eit;
  static constexpr typename G::Word kPattern = G::kEit;
  static const char* tag() {
    return G::kGen == Gen::k2024 ? "EVENT_INDEX_TABLE_2024" : "EVENT_INDEX_TABLE";
  }
  // Number of entries: 2009/2010 signed (a negative count has no entries).
  static uint64_t entries(const unsigned char* t, bool swapped) {
    if (G::kGen == Gen::k2024) return load<uint64_t>(t + 8, swapped);
    const int32_t n = load<int32_t>(t + 4, swapped);
    return n > 0 ? static_cast<uint64_t>(n) : 0;
  }
  static bool empty(const unsigned char* t, bool swapped) {
    return load<typename G::Word>(t + sizeof(typename G::Word), swapped) == 0;
  }
  static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size) {
    if (empty(t, swapped)) return -6;
    const uint64_t n = entries(t, swapped);
    uint64_t at = G::kHeader;
    for (uint64_t i = 0; i < n; ++i) {
      uint64_t length = 0;
      if (int rc = entry_length(t + at, avail - at, swapped, &length)) return rc;
      at += length;
    }
    *size = at;
    return 0;
  }
  // The length of the entry at `e`: at least its head, within `avail` (-7).
  static int entry_length(const unsigned char* e, uint64_t avail, bool swapped, uint64_t* out) {
    if (avail < G::kEitHead) return -7;
    const typename G::Count length = load<typename G::Count>(e + G::kEitLengthAt, swapped);
    if (length < static_cast<typename G::Count>(G::kEitHead) ||
        static_cast<uint64_t>(length) > avail)
      return -7;
    *out = static_cast<uint64_t>(length);
    return 0;
  }
  static void to_host(const unsigned char* in, unsigned char* out, uint64_t size) {
    swap_table(in, out, size, sizeof(typename G::Word));
  }
};

template <typename G>
int read_by_type_unchecked(u_char* base, const typename G::Frt* frt, int type,
                           typename G::EitEntry** tbl, int* out) {
  using K = EitKind<G>;
  if (tbl != nullptr) *tbl = nullptr;
  if (base == nullptr || frt == nullptr || tbl == nullptr) return -1;
  if (type < 0 || type >= KOVA_EV_EVMAX) return -2;
  typename G::Frt f;
  if (int rc = take_frt<G>(frt, &f)) return rc;
  if (f.eit_pos_ref == 0) return -6;
  const uint64_t r = as_offset(f.eit_pos_ref);
  uint64_t avail = 0;
  if (int rc = place_in_mapping(base, r, &avail)) return rc;
  const unsigned char* t = base + r;
  if (avail < G::kHeader) return -5;
  const typename G::Word pattern = load<typename G::Word>(t);
  bool swapped;
  if (pattern == G::kEit)
    swapped = false;
  else if (pattern == reverse(G::kEit))
    swapped = true;
  else
    return -5;
  if (K::empty(t, swapped)) return -6;
  const uint64_t n = K::entries(t, swapped);
  uint64_t at = G::kHeader;
  for (uint64_t i = 0; i < n; ++i) {
    uint64_t length = 0;
    if (K::entry_length(t + at, avail - at, swapped, &length) != 0) return -7;
    const typename G::Count etype = load<typename G::Count>(t + at, swapped);
    if (etype == type) {
      if (!swapped) {
        *tbl = reinterpret_cast<typename G::EitEntry*>(const_cast<unsigned char*>(t + at));
        if (out != nullptr) *out = 0;
        return 0;
      }
      void* copy = malloc(static_cast<size_t>(length));
      if (copy == nullptr) {
        printf(G::kGen == Gen::k2024 ? "Failed to malloc swapped EVENT_INDEX_ENTRY_2024\n"
                                     : "Failed to malloc swapped EVENT_INDEX_ENTRY\n");
        return -6;
      }
      K::to_host(t + at, static_cast<unsigned char*>(copy), length);
      *tbl = static_cast<typename G::EitEntry*>(copy);
      if (out != nullptr) *out = 1;
      return 0;
    }
    at += length;
  }
  return -7;
}

template <typename G>
int read_by_type(u_char* base, const typename G::Frt* frt, int type, typename G::EitEntry** tbl,
                 int* out) {
  int owned = 0;
  const int rc = read_by_type_unchecked<G>(base, frt, type, tbl, &owned);
  if (rc == 0 && out != nullptr) *out = owned;
  return checked(base, rc, tbl, owned == 1);
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

int kova_get_event_index_table(u_char* base, kova_file_reference_table* frt,
                               kova_event_index_table** tbl, int* out) {
  return read_whole<Gen2009, EitKind<Gen2009>>(base, frt, &Gen2009::Frt::eit_pos_ref, tbl, out);
}

int kova_get_event_index_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                    kova_event_index_table_2024** tbl, int* out) {
  return read_whole<Gen2024, EitKind<Gen2024>>(base, frt, &Gen2024::Frt::eit_pos_ref, tbl, out);
}

int kova_get_event_index_table_m(unsigned long total_length, kova_file_reference_table* frt, int fd,
                                 kova_event_index_table** tbl) {
  return read_windowed<Gen2009, EitKind<Gen2009>>(total_length, frt, fd, &Gen2009::Frt::eit_pos_ref,
                                                  tbl);
}

int kova_get_event_index_table_m_2010(unsigned long total_length,
                                      kova_file_reference_table_2010* frt, int fd,
                                      kova_event_index_table** tbl) {
  return read_windowed<Gen2010, EitKind<Gen2010>>(total_length, frt, fd, &Gen2010::Frt::eit_pos_ref,
                                                  tbl);
}

int kova_get_event_index_table_m_2024(uint64_t total_length, kova_file_reference_table_2024* frt,
                                      int fd, kova_event_index_table_2024** tbl) {
  return read_windowed<Gen2024, EitKind<Gen2024>>(total_length, frt, fd, &Gen2024::Frt::eit_pos_ref,
                                                  tbl);
}

int kova_get_event_index_table_m(unsigned long total_length, void* frt, int fd, void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_event_index_table_m_2010(total_length,
                                               static_cast<kova_file_reference_table_2010*>(frt),
                                               fd, reinterpret_cast<kova_event_index_table**>(tbl));
    case Gen::k2009:
      return kova_get_event_index_table_m(total_length,
                                          static_cast<kova_file_reference_table*>(frt), fd,
                                          reinterpret_cast<kova_event_index_table**>(tbl));
    default:
      return kova_get_event_index_table_m_2024(
          total_length, static_cast<kova_file_reference_table_2024*>(frt), fd,
          reinterpret_cast<kova_event_index_table_2024**>(tbl));
  }
}

int kova_get_event_index_table(unsigned long total_length, void* frt, int fd, void** tbl) {
  return kova_get_event_index_table_m(total_length, frt, fd, tbl);
}

int kova_get_event_index_table_by_type(u_char* base, kova_file_reference_table* frt, int type,
                                       kova_event_index_entry** tbl, int* out) {
  return read_by_type<Gen2009>(base, frt, type, tbl, out);
}

int kova_get_event_index_table_by_type_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            int type, kova_event_index_entry** tbl, int* out) {
  return read_by_type<Gen2010>(base, frt, type, tbl, out);
}

int kova_get_event_index_table_by_type_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            int type, kova_event_index_entry_2024** tbl, int* out) {
  return read_by_type<Gen2024>(base, frt, type, tbl, out);
}

int kova_get_event_index_table_by_type(u_char* base, void* frt, int type, void** tbl, int* out) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_event_index_table_by_type_2010(
          base, static_cast<kova_file_reference_table_2010*>(frt), type,
          reinterpret_cast<kova_event_index_entry**>(tbl), out);
    case Gen::k2009:
      return kova_get_event_index_table_by_type(
          base, static_cast<kova_file_reference_table*>(frt), type,
          reinterpret_cast<kova_event_index_entry**>(tbl), out);
    default:
      return kova_get_event_index_table_by_type_2024(
          base, static_cast<kova_file_reference_table_2024*>(frt), type,
          reinterpret_cast<kova_event_index_entry_2024**>(tbl), out);
  }
}
