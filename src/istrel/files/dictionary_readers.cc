// Channel dictionary table (CDT) and environment index dictionary table
// (EIDT).
//
// CDT: pattern, length, then entries of key, channel name (80 bytes in 2009,
// 256 later), event mask, data type mask, count. A swapped CDT is converted
// as 4-byte words except the names, which stay as written; the 2024 header
// (two 8-byte words) is rewritten in host order.
// EIDT: pattern, length, then (key, index) records of 4-byte words; the 2024
// header is rewritten as well.
#include "table_reader.h"

namespace files_detail {

namespace {

template <typename G>
struct CdtKind {
  using Table = typename G::Cdt;
  static constexpr typename G::Word kPattern = G::kCdt;
  static const char* tag() {
    return G::kGen == Gen::k2024 ? "CHAN_DICTIONARY_TABLE_2024" : "CHAN_DICTIONARY_TABLE";
  }
  static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size) {
    return plain_length<G>(t, avail, swapped, 0, size);
  }
  static void to_host(const unsigned char* in, unsigned char* out, uint64_t size) {
    const uint64_t h = G::kHeader;
    swap_table(in + h, out + h, size - h, 4);
    const uint64_t n = (size - h) / G::kCdtEntry;
    for (uint64_t i = 0; i < n; ++i) {
      const uint64_t name = h + i * G::kCdtEntry + 4;
      memcpy(out + name, in + name, G::kCdtName);
    }
    rewrite_header<G>(out, G::kCdt, size);
  }
};

template <typename G>
struct EidtKind {
  using Table = typename G::Eidt;
  static constexpr typename G::Word kPattern = G::kEidt;
  static const char* tag() { return "ENV_EVENT_DICTIONARY_TABLE"; }
  static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size) {
    return plain_length<G>(t, avail, swapped, 0, size);
  }
  static void to_host(const unsigned char* in, unsigned char* out, uint64_t size) {
    const uint64_t h = G::kHeader;
    swap_table(in + h, out + h, size - h, 4);
    rewrite_header<G>(out, G::kEidt, size);
  }
};

}  // namespace

}  // namespace files_detail

using namespace files_detail;

// ---------------------------------------------------------------------------
// Channel dictionary

int kova_get_channel_dictionary_table(u_char* base, kova_file_reference_table* frt,
                                      kova_chan_dictionary_table** tbl, int* out) {
  return read_whole<Gen2009, CdtKind<Gen2009>>(base, frt, &Gen2009::Frt::cdt_ref, tbl, out);
}

int kova_get_channel_dictionary_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                           kova_chan_dictionary_table_2024** tbl, int* out) {
  return read_whole<Gen2024, CdtKind<Gen2024>>(base, frt, &Gen2024::Frt::cdt_ref, tbl, out);
}

int kova_get_channel_dictionary_table_m(unsigned long total_length, kova_file_reference_table* frt,
                                        int fd, kova_chan_dictionary_table** tbl) {
  return read_windowed<Gen2009, CdtKind<Gen2009>>(total_length, frt, fd, &Gen2009::Frt::cdt_ref,
                                                  tbl);
}

int kova_get_channel_dictionary_table_m_2010(unsigned long total_length,
                                             kova_file_reference_table_2010* frt, int fd,
                                             kova_chan_dictionary_table_2010** tbl) {
  return read_windowed<Gen2010, CdtKind<Gen2010>>(total_length, frt, fd, &Gen2010::Frt::cdt_ref,
                                                  tbl);
}

int kova_get_channel_dictionary_table_m_2024(uint64_t total_length,
                                             kova_file_reference_table_2024* frt, int fd,
                                             kova_chan_dictionary_table_2024** tbl) {
  return read_windowed<Gen2024, CdtKind<Gen2024>>(total_length, frt, fd, &Gen2024::Frt::cdt_ref,
                                                  tbl);
}

int kova_get_channel_dictionary_table_m(unsigned long total_length, void* frt, int fd, void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_channel_dictionary_table_m_2010(
          total_length, static_cast<kova_file_reference_table_2010*>(frt), fd,
          reinterpret_cast<kova_chan_dictionary_table_2010**>(tbl));
    case Gen::k2009:
      return kova_get_channel_dictionary_table_m(
          total_length, static_cast<kova_file_reference_table*>(frt), fd,
          reinterpret_cast<kova_chan_dictionary_table**>(tbl));
    default:
      return kova_get_channel_dictionary_table_m_2024(
          total_length, static_cast<kova_file_reference_table_2024*>(frt), fd,
          reinterpret_cast<kova_chan_dictionary_table_2024**>(tbl));
  }
}

int kova_get_channel_dictionary_table(unsigned long total_length, void* frt, int fd, void** tbl) {
  return kova_get_channel_dictionary_table_m(total_length, frt, fd, tbl);
}

// ---------------------------------------------------------------------------
// Environment index dictionary

int kova_get_env_index_dictionary_table(u_char* base, kova_file_reference_table* frt,
                                        kova_env_dictionary_table** tbl, int* out) {
  return read_whole<Gen2009, EidtKind<Gen2009>>(base, frt, &Gen2009::Frt::eidt_ref, tbl, out);
}

int kova_get_env_index_dictionary_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                             kova_env_dictionary_table_2024** tbl, int* out) {
  return read_whole<Gen2024, EidtKind<Gen2024>>(base, frt, &Gen2024::Frt::eidt_ref, tbl, out);
}

int kova_get_env_index_dictionary_table_m(unsigned long total_length,
                                          kova_file_reference_table* frt, int fd,
                                          kova_env_dictionary_table** tbl) {
  return read_windowed<Gen2009, EidtKind<Gen2009>>(total_length, frt, fd, &Gen2009::Frt::eidt_ref,
                                                   tbl);
}

int kova_get_env_index_dictionary_table_m_2010(unsigned long total_length,
                                               kova_file_reference_table_2010* frt, int fd,
                                               kova_env_dictionary_table** tbl) {
  return read_windowed<Gen2010, EidtKind<Gen2010>>(total_length, frt, fd, &Gen2010::Frt::eidt_ref,
                                                   tbl);
}

int kova_get_env_index_dictionary_table_m_2024(uint64_t total_length,
                                               kova_file_reference_table_2024* frt, int fd,
                                               kova_env_dictionary_table_2024** tbl) {
  return read_windowed<Gen2024, EidtKind<Gen2024>>(total_length, frt, fd, &Gen2024::Frt::eidt_ref,
                                                   tbl);
}

int kova_get_env_index_dictionary_table_m(unsigned long total_length, void* frt, int fd,
                                          void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_env_index_dictionary_table_m_2010(
          total_length, static_cast<kova_file_reference_table_2010*>(frt), fd,
          reinterpret_cast<kova_env_dictionary_table**>(tbl));
    case Gen::k2009:
      return kova_get_env_index_dictionary_table_m(
          total_length, static_cast<kova_file_reference_table*>(frt), fd,
          reinterpret_cast<kova_env_dictionary_table**>(tbl));
    default:
      return kova_get_env_index_dictionary_table_m_2024(
          total_length, static_cast<kova_file_reference_table_2024*>(frt), fd,
          reinterpret_cast<kova_env_dictionary_table_2024**>(tbl));
  }
}

int kova_get_env_index_dictionary_table(unsigned long total_length, void* frt, int fd, void** tbl) {
  return kova_get_env_index_dictionary_table_m(total_length, frt, fd, tbl);
}
