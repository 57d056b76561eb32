// The fixed records (event header and tail, server block head, sub-block
// head, zip header, image and spectrum heads) with one description and size
// per generation.
#include <cstdio>

#include "convert_internal.h"
#include "event_util.h"

namespace convert_detail {

namespace {

struct RecordFormat {
  const char* format;
  int size;
};

// Indexed by Record, then by generation (2009, 2010, 2024).
const RecordFormat kFormats[][3] = {
    // kEventHead
    {{"KOVA_EVENTHEADER:UI1:UI1:UI1:UI1:UI1:UI1:I1:I1:I1", 36},
     {"KOVA_EVENTHEADER:UI1:UI1:UI1:UI1:UI1:UI1:I1:I1:I1", 36},
     {"KOVA_EVENTHEADER_2024:UI1:UI1:Q1:UQ1:UI1:UI1:I1:I1:I1", 48}},
    // kEventTail
    {{"KOVA_EVENTTAIL:I1", 4}, {"KOVA_EVENTTAIL:I1", 4}, {"KOVA_EVENTTAIL_2024:UQ1", 8}},
    // kServerHead
    {{"KOVA_SBLK_HEAD:UI1:UI1:I1:I1:A48:I1:I1:I1", 76},
     {"KOVA_SBLK_HEAD_2010:UI1:UI1:I1:I1:A256:I1:I1:I1", 284},
     {"KOVA_SBLK_HEAD_2024:UQ1:Q1:Q1:UI1:UI1:A256:I1:I1:I1", 304}},
    // kSubHead
    {{"KOVA_SBLK_SUBHEAD:A32:I1:I1:I1", 44},
     {"KOVA_SBLK_SUBHEAD_2010:A256:I1:I1:I1", 268},
     {"KOVA_SBLK_SUBHEAD_2010:A256:I1:I1:I1", 268}},
    // kZipHead
    {{"KOVA_ZIP_HEADER:UI1:UI1:UI1", 12},
     {"KOVA_ZIP_HEADER:UI1:UI1:UI1", 12},
     {"KOVA_ZIP_HEADER:UI1:UI1:UI1", 12}},
    // kImageHead
    {{"KOVA_IMAGE_HEADER:I1:I1:I1:I1:UI1:UI1:UI1:UI1:UI1:I1", 48},
     {"KOVA_IMAGE_HEADER_2010:I1:I1:I1:I1:UI1:UI1:UI1:UI1:UI1:I1", 48},
     {"KOVA_IMAGE_HEADER_2010:I1:I1:I1:I1:UI1:UI1:UI1:UI1:UI1:I1", 48}},
    // kImageExtHead: the 100-byte extended head alone, without its pixels.
    {{"KOVA_IMAGE_EXT_HEADER:12(I1):UI1:UI1:6(F1):I1:I1:I1:I1:I1", 100},
     {"KOVA_IMAGE_EXT_HEADER:12(I1):UI1:UI1:6(F1):I1:I1:I1:I1:I1", 100},
     {"KOVA_IMAGE_EXT_HEADER:12(I1):UI1:UI1:6(F1):I1:I1:I1:I1:I1", 100}},
    // kSpectHead
    {{"KOVA_SPECT_HEADER:I1:F1:F1:F1:F1:F1:UI1:UI1:UI1:UI1:UI1:I1", 48},
     {"KOVA_SPECT_HEADER:I1:F1:F1:F1:F1:F1:UI1:UI1:UI1:UI1:UI1:I1", 48},
     {"KOVA_SPECT_HEADER:I1:F1:F1:F1:F1:F1:UI1:UI1:UI1:UI1:UI1:I1", 48}},
    // kSlowHead
    {{"KOVA_SLOW_DATA_HEADER:UI1:UI1:UI1", 12},
     {"KOVA_SLOW_DATA_HEADER:UI1:UI1:UI1", 12},
     {"KOVA_SLOW_DATA_HEADER:UI1:UI1:UI1", 12}},
};

const RecordFormat& format_of(Record r, Gen g) {
  return kFormats[static_cast<int>(r)][static_cast<int>(g)];
}

}  // namespace

Gen generation() {
  if (is_data_format_2010()) return Gen::k2010;
  if (is_data_format_2024()) return Gen::k2024;
  return Gen::k2009;
}

int record_size(Record r, Gen g) {
  return format_of(r, g).size;
}

int convert_record(Record r, Gen g, const unsigned char* in, unsigned char* out, bool fill) {
  const RecordFormat& f = format_of(r, g);
  if (fill) return convert_region(in, out, f.format, f.size);
  return interpret(in, out, f.format, f.size, false, nullptr);
}

int convert_event_head(Gen g, const unsigned char* in, unsigned char* out, bool fill) {
  int rc = convert_record(Record::kEventHead, g, in, out, fill);
  if (rc != kOk) {
    if (g == Gen::k2024) printf("FAILE to convert err:%d\n", rc);
    return rc;
  }
  // The same function serves both directions, so the pattern may read in
  // either order.
  const uint32_t patterns[] = {KOVA_EV_PATTERN_2009, KOVA_EV_PATTERN_2010, KOVA_EV_PATTERN_2024};
  uint32_t want = patterns[static_cast<int>(g)];
  uint32_t found = load_u32(out);
  if (found == want || found == __builtin_bswap32(want)) return kOk;
  if (g == Gen::k2024) printf("PATTERN: %X  %X  %X  \n", found, want, __builtin_bswap32(want));
  return kBadPattern;
}

}  // namespace convert_detail

using convert_detail::convert_record;
using convert_detail::generation;
using convert_detail::Record;

namespace {

int convert_fixed(Record r, void* in, void* out) {
  if (in == nullptr) return convert_detail::kBadInput;
  if (out == nullptr) return convert_detail::kBadOutput;
  return convert_record(r, generation(), static_cast<const unsigned char*>(in),
                        static_cast<unsigned char*>(out), false);
}

}  // namespace

extern "C" {

int kova_convert_event_head(void* in, void* out) {
  return convert_detail::convert_event_head(generation(), static_cast<const unsigned char*>(in),
                                            static_cast<unsigned char*>(out), false);
}

int kova_convert_event_tail(void* in, void* out) {
  return convert_fixed(Record::kEventTail, in, out);
}

int kova_convert_event_serv_block_head(void* in, void* out) {
  return convert_fixed(Record::kServerHead, in, out);
}

int kova_convert_event_serv_block_subhead(void* in, void* out) {
  return convert_fixed(Record::kSubHead, in, out);
}

int kova_convert_zip_header(void* in, void* out) {
  return convert_fixed(Record::kZipHead, in, out);
}

int kova_convert_image_head(void* in, void* out) {
  return convert_fixed(Record::kImageHead, in, out);
}

int kova_convert_image_ext_head(void* in, void* out) {
  return convert_fixed(Record::kImageExtHead, in, out);
}

int kova_convert_spect_head(void* in, void* out) {
  return convert_fixed(Record::kSpectHead, in, out);
}

}  // extern "C"
