// Conversion of one sub-block payload by its type: the type's description
// from sblock_fmts, with the pixel width of images chosen from the image
// head, and the dedicated routines of the framework block (23) and the
// generic spectrum array (28).
#include <cstring>

#include "convert_internal.h"
#include "event_convert.h"

namespace convert_detail {

namespace {

bool is_spectrum_2010(int t) {
  return (t >= KOVA_BLOCK_BPM_2010 && t <= KOVA_BLOCK_RF_250K_2010) ||
         (t >= KOVA_BLOCK_2CHAN_2010 && t <= KOVA_BLOCK_8CHAN_2010) ||
         (t >= KOVA_BLOCK_3CHAN_2010 && t <= KOVA_BLOCK_7CHAN_2010);
}

// Copies `format` into `buf` with the first `from` replaced by `to`; false
// when `from` does not occur or the result does not fit.
bool replaced(const char* format, const char* from, const char* to, char (&buf)[256]) {
  const char* at = strstr(format, from);
  if (at == nullptr) return false;
  size_t head = at - format, lf = strlen(from), lt = strlen(to), tail = strlen(at + lf);
  if (head + lt + tail >= sizeof(buf)) return false;
  memcpy(buf, format, head);
  memcpy(buf + head, to, lt);
  memcpy(buf + head + lt, at + lf, tail + 1);
  return true;
}

// Images: bytes per pixel from the head word at `bpp_at` (host order); one
// byte copies the pixels, two and three reverse them in pixel units.
int convert_image(const unsigned char* in, unsigned char* out, const char* format, int64_t len,
                  int64_t bpp_at, int64_t* covered) {
  int64_t n = len < 0 ? -len : len;
  if (n < bpp_at + 4) return kDataLength;
  int bpp = host_u32(in + bpp_at, len > 0) & 15;
  if (bpp == 1) return interpret(in, out, format, len, false, covered);
  if (bpp != 2 && bpp != 3) return kBadFormat;
  char buf[256];
  if (!replaced(format, "A1)", bpp == 2 ? "S1)" : "R1)", buf)) return kBadFormat;
  return interpret(in, out, buf, len, true, covered);
}

}  // namespace

int convert_payload(const unsigned char* in, unsigned char* out, int data_type, int64_t len,
                    int64_t* covered) {
  int64_t n = len < 0 ? -len : len;
  int type = data_type & KOVA_DTYPE_MASK;
  if (covered != nullptr) *covered = 0;
  if (type >= KOVA_BLOCK_MAX_2010) return kBadType;
  if (in == nullptr) return kBadInput;
  if (n == 0) return kOk;
  const char* format = sblock_fmts[type];
  if (format[0] == '\0') return kNoFormat;
  if (out == nullptr) out = const_cast<unsigned char*>(in);
  switch (type) {
    case KOVA_BLOCK_IMAGE:
      return convert_image(in, out, format, len, 8, covered);
    case KOVA_BLOCK_IMAGE_EXT:
      return convert_image(in, out, format, len, 24, covered);
    case KOVA_BLOCK_EQDATA:
      return convert_eq_block(in, out, len, covered);
    case KOVA_BLOCK_GENERIC_SPECT:
      return convert_generic_spectra(in, out, len, covered);
    default:
      break;
  }
  // A 2010 spectrum with groups 0 holds one group of samples; its description
  // multiplies by the groups register, so the group count is taken as 1.
  if (is_spectrum_2010(type) && n >= 16 && load_u32(in + 12) == 0) {
    char buf[256];
    if (replaced(format, "L1(L2(", "L1(1(", buf))
      return interpret(in, out, buf, len, false, covered);
  }
  return interpret(in, out, format, len, false, covered);
}

}  // namespace convert_detail

extern "C" int kova_convert_data(void* in, void* out, int data_type, int len) {
  return convert_detail::convert_payload(static_cast<const unsigned char*>(in),
                                         static_cast<unsigned char*>(out), data_type, len, nullptr);
}
