// XML channel description (XCD): pattern, length, then the XML text. A valid
// description holds at least one byte of text. The text is never converted;
// a swapped description only gets its header rewritten in host order.
#include "table_reader.h"

namespace files_detail {

namespace {

template <typename G>
struct XcdKind {
  using Table = typename G::Xcd;
  static constexpr typename G::Word kPattern = G::kXcd;
  static const char* tag() {
    return G::kGen == Gen::k2024 ? "DAQ_XML_CHAN_DESCR_TABLE_2024" : "DAQ_XML_CHAN_DESCR_TABLE";
  }
  static int size(const unsigned char* t, uint64_t avail, bool swapped, uint64_t* size) {
    return plain_length<G>(t, avail, swapped, 1, size);
  }
  static void to_host(const unsigned char* in, unsigned char* out, uint64_t size) {
    memcpy(out + G::kHeader, in + G::kHeader, static_cast<size_t>(size - G::kHeader));
    rewrite_header<G>(out, G::kXcd, size);
  }
};

}  // namespace

}  // namespace files_detail

using namespace files_detail;

int kova_get_chan_descr_table(u_char* base, kova_file_reference_table* frt,
                              kova_xml_chan_descr_header** tbl, int* out) {
  return read_whole<Gen2009, XcdKind<Gen2009>>(base, frt, &Gen2009::Frt::xcd_ref, tbl, out);
}

int kova_get_chan_descr_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                   kova_xml_chan_descr_header_2024** tbl, int* out) {
  return read_whole<Gen2024, XcdKind<Gen2024>>(base, frt, &Gen2024::Frt::xcd_ref, tbl, out);
}

int kova_get_chan_descr_table_m(unsigned long total_length, kova_file_reference_table* frt, int fd,
                                kova_xml_chan_descr_header** tbl) {
  return read_windowed<Gen2009, XcdKind<Gen2009>>(total_length, frt, fd, &Gen2009::Frt::xcd_ref,
                                                  tbl);
}

int kova_get_chan_descr_table_m_2010(unsigned long total_length,
                                     kova_file_reference_table_2010* frt, int fd,
                                     kova_xml_chan_descr_header** tbl) {
  return read_windowed<Gen2010, XcdKind<Gen2010>>(total_length, frt, fd, &Gen2010::Frt::xcd_ref,
                                                  tbl);
}

int kova_get_chan_descr_table_m_2024(uint64_t total_length, kova_file_reference_table_2024* frt,
                                     int fd, kova_xml_chan_descr_header_2024** tbl) {
  return read_windowed<Gen2024, XcdKind<Gen2024>>(total_length, frt, fd, &Gen2024::Frt::xcd_ref,
                                                  tbl);
}

int kova_get_chan_descr_table_m(unsigned long total_length, void* frt, int fd, void** tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_get_chan_descr_table_m_2010(total_length,
                                              static_cast<kova_file_reference_table_2010*>(frt), fd,
                                              reinterpret_cast<kova_xml_chan_descr_header**>(tbl));
    case Gen::k2009:
      return kova_get_chan_descr_table_m(total_length, static_cast<kova_file_reference_table*>(frt),
                                         fd, reinterpret_cast<kova_xml_chan_descr_header**>(tbl));
    default:
      return kova_get_chan_descr_table_m_2024(
          total_length, static_cast<kova_file_reference_table_2024*>(frt), fd,
          reinterpret_cast<kova_xml_chan_descr_header_2024**>(tbl));
  }
}

int kova_get_chan_descr_table(unsigned long total_length, void* frt, int fd, void** tbl) {
  return kova_get_chan_descr_table_m(total_length, frt, fd, tbl);
}
