// Header baskets: copies of every event header (EHB) and server block head
// (SBHB) of the file, after a pattern and a length word. They are only read
// in host byte order and always handed out as pointers into the mapping.
#include "table_reader.h"

namespace files_detail {

namespace {

template <typename G, typename Table, typename Ref>
int read_basket_unchecked(u_char* base, const typename G::Frt* frt, Ref G::Frt::*ref,
                          typename G::Word pattern, Table** tbl) {
  if (tbl != nullptr) *tbl = nullptr;
  if (base == nullptr || frt == nullptr || tbl == nullptr) return -1;
  typename G::Frt f;
  if (int rc = take_frt<G>(frt, &f)) return rc;
  if (f.*ref == 0) return -6;
  const uint64_t r = as_offset(f.*ref);
  uint64_t avail = 0;
  if (int rc = place_in_mapping(base, r, &avail)) return rc;
  const unsigned char* t = base + r;
  if (avail < G::kHeader || load<typename G::Word>(t) != pattern) return -5;
  uint64_t size = 0;
  if (int rc = plain_length<G>(t, avail, false, 0, &size)) return rc;
  *tbl = reinterpret_cast<Table*>(const_cast<unsigned char*>(t));
  return 0;
}

template <typename G, typename Table, typename Ref>
int read_basket(u_char* base, const typename G::Frt* frt, Ref G::Frt::*ref,
                typename G::Word pattern, Table** tbl) {
  return checked(base, read_basket_unchecked<G>(base, frt, ref, pattern, tbl), tbl, false);
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

int kova_get_event_header_basket_table(u_char* base, kova_file_reference_table* frt,
                                       kova_event_header_basket** tbl) {
  return read_basket<Gen2009>(base, frt, &Gen2009::Frt::evhdb_ref, Gen2009::kEhb, tbl);
}

int kova_get_event_header_basket_table_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            kova_event_header_basket** tbl) {
  return read_basket<Gen2010>(base, frt, &Gen2010::Frt::evhdb_ref, Gen2010::kEhb, tbl);
}

int kova_get_event_header_basket_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_event_header_basket_2024** tbl) {
  return read_basket<Gen2024>(base, frt, &Gen2024::Frt::evhdb_ref, Gen2024::kEhb, tbl);
}

int kova_get_event_header_basket_table(u_char* base, void* frt, void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_event_header_basket_table_2010(
          base, static_cast<kova_file_reference_table_2010*>(frt),
          reinterpret_cast<kova_event_header_basket**>(tbl));
    case Gen::k2009:
      return kova_get_event_header_basket_table(base, static_cast<kova_file_reference_table*>(frt),
                                                reinterpret_cast<kova_event_header_basket**>(tbl));
    default:
      return kova_get_event_header_basket_table_2024(
          base, static_cast<kova_file_reference_table_2024*>(frt),
          reinterpret_cast<kova_event_header_basket_2024**>(tbl));
  }
}

int kova_get_server_block_basket_table(u_char* base, kova_file_reference_table* frt,
                                       kova_server_block_basket** tbl) {
  return read_basket<Gen2009>(base, frt, &Gen2009::Frt::srvbb_ref, Gen2009::kSbhb, tbl);
}

int kova_get_server_block_basket_table_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            kova_server_block_basket_2010** tbl) {
  return read_basket<Gen2010>(base, frt, &Gen2010::Frt::srvbb_ref, Gen2010::kSbhb, tbl);
}

int kova_get_server_block_basket_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_server_block_basket_2024** tbl) {
  return read_basket<Gen2024>(base, frt, &Gen2024::Frt::srvbb_ref, Gen2024::kSbhb, tbl);
}

int kova_get_server_block_basket_table(u_char* base, void* frt, void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_server_block_basket_table_2010(
          base, static_cast<kova_file_reference_table_2010*>(frt),
          reinterpret_cast<kova_server_block_basket_2010**>(tbl));
    case Gen::k2009:
      return kova_get_server_block_basket_table(base, static_cast<kova_file_reference_table*>(frt),
                                                reinterpret_cast<kova_server_block_basket**>(tbl));
    default:
      return kova_get_server_block_basket_table_2024(
          base, static_cast<kova_file_reference_table_2024*>(frt),
          reinterpret_cast<kova_server_block_basket_2024**>(tbl));
  }
}
