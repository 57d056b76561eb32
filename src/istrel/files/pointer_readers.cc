// Event channel pointers table (ECPT): pattern, length, maxev, then one row
// of maxev records per channel, each record the file offsets of the event
// header, server block head, channel head and channel data of one event.
// A swapped table is converted as 4-byte (2024: 8-byte) words.
#include "table_reader.h"

namespace files_detail {

namespace {

template <typename G>
struct EcptKind {
  using Table = typename G::Ecpt;
  static constexpr typename G::Word kPattern = G::kEcpt;
  static const char* tag() {
    return G::kGen == Gen::k2024 ? "EVENT_CHAN_POINTERS_TABLE_2024" : "EVENT_CHAN_POINTERS_TABLE";
  }
  static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size) {
    if (int rc = plain_length<G>(t, avail, swapped, G::kEcptHeader - G::kHeader, size)) return rc;
    // A negative row width cannot be walked.
    if (load<typename G::Count>(t + 2 * sizeof(typename G::Word), swapped) < 0) return -7;
    return 0;
  }
  static void to_host(const unsigned char* in, unsigned char* out, uint64_t size) {
    swap_table(in, out, size, sizeof(typename G::Word));
  }
};

}  // namespace

}  // namespace files_detail

using namespace files_detail;

int kova_get_event_chan_pointers_table(u_char* base, kova_file_reference_table* frt,
                                       kova_event_chan_pointers_table** tbl, int* out) {
  return read_whole<Gen2009, EcptKind<Gen2009>>(base, frt, &Gen2009::Frt::ecp_ref, tbl, out);
}

int kova_get_event_chan_pointers_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_event_chan_pointers_table_2024** tbl, int* out) {
  return read_whole<Gen2024, EcptKind<Gen2024>>(base, frt, &Gen2024::Frt::ecp_ref, tbl, out);
}

int kova_get_event_chan_pointers_table_m(unsigned long total_length, kova_file_reference_table* frt,
                                         int fd, kova_event_chan_pointers_table** tbl) {
  return read_windowed<Gen2009, EcptKind<Gen2009>>(total_length, frt, fd, &Gen2009::Frt::ecp_ref,
                                                   tbl);
}

int kova_get_event_chan_pointers_table_m_2010(unsigned long total_length,
                                              kova_file_reference_table_2010* frt, int fd,
                                              kova_event_chan_pointers_table** tbl) {
  return read_windowed<Gen2010, EcptKind<Gen2010>>(total_length, frt, fd, &Gen2010::Frt::ecp_ref,
                                                   tbl);
}

int kova_get_event_chan_pointers_table_m_2024(uint64_t total_length,
                                              kova_file_reference_table_2024* frt, int fd,
                                              kova_event_chan_pointers_table_2024** tbl) {
  return read_windowed<Gen2024, EcptKind<Gen2024>>(total_length, frt, fd, &Gen2024::Frt::ecp_ref,
                                                   tbl);
}

int kova_get_event_chan_pointers_table_m(unsigned long total_length, void* frt, int fd,
                                         void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_event_chan_pointers_table_m_2010(
          total_length, static_cast<kova_file_reference_table_2010*>(frt), fd,
          reinterpret_cast<kova_event_chan_pointers_table**>(tbl));
    case Gen::k2009:
      return kova_get_event_chan_pointers_table_m(
          total_length, static_cast<kova_file_reference_table*>(frt), fd,
          reinterpret_cast<kova_event_chan_pointers_table**>(tbl));
    default:
      return kova_get_event_chan_pointers_table_m_2024(
          total_length, static_cast<kova_file_reference_table_2024*>(frt), fd,
          reinterpret_cast<kova_event_chan_pointers_table_2024**>(tbl));
  }
}

int kova_get_event_chan_pointers_table(unsigned long total_length, void* frt, int fd, void** tbl) {
  return kova_get_event_chan_pointers_table_m(total_length, frt, fd, tbl);
}
