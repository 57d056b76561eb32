// Byte order of a stored framework data block (the payload of a type-23
// sub-block): the 44-byte block header, then the value part of the block's
// type as the bridge writes it. Numbers are reversed field by field at their
// own width, text and pixel bytes are copied, pointer fields (meaningless on
// another host, re-pointed by readers) are reversed as 8-byte fields. Counts
// and lengths are taken in host order and checked against the bytes left
// before anything they describe is touched.
#include "convert_internal.h"
#include "eqdata_types.h"
#include "event_convert.h"

namespace convert_detail {

namespace {

// Field widths of the value structures, in order.
constexpr unsigned char kHeader[] = {4, 8, 4, 4, 4, 4, 4, 4, 4, 4};
constexpr unsigned char kSpectrum[] = {4, 4, 8, 4, 4, 4, 4, 4, 4, 4, 4, 8};
constexpr unsigned char kGspectrumHead[] = {4, 4, 8, 4, 4, 4, 4, 4, 4, 4, 4};  // then prm
constexpr unsigned char kGspectrumTail[] = {4, 4, 8};
constexpr unsigned char kPartRef[] = {4, 4, 8};  // length, padding, pointer
constexpr unsigned char kByteArray[] = {4, 4, 4, 4, 4, 4, 4, 4, 8};
constexpr unsigned char kMda[] = {4, 4, 8, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 8};
constexpr unsigned char kUstr[] = {4, 4, 4, 4, 8, 4, 4, 8};
constexpr unsigned char kXyzs[] = {4, 4, 4, 4, 4, 4, 8};
constexpr unsigned char kTsHead[] = {4, 2, 2};

template <size_t N>
constexpr int width(const unsigned char (&f)[N]) {
  int w = 0;
  for (size_t i = 0; i < N; ++i) w += f[i];
  return w;
}

static_assert(width(kHeader) == 44, "stored block header");
static_assert(width(kSpectrum) == sizeof(SPECTRUM), "SPECTRUM");
static_assert(width(kGspectrumHead) + 36 * 4 + width(kGspectrumTail) == sizeof(GSPECTRUM),
              "GSPECTRUM");
static_assert(128 + width(kPartRef) * 2 == sizeof(EqImage) && sizeof(IMH) == 128, "EqImage");
static_assert(width(kByteArray) == sizeof(EqByteArray), "EqByteArray");
static_assert(width(kMda) == sizeof(EqMda), "EqMda");
static_assert(width(kUstr) == sizeof(USTR), "USTR");
static_assert(width(kXyzs) == sizeof(XYZS), "XYZS");
static_assert(width(kTsHead) + sizeof(SPECTRUM) == sizeof(EqTsSpectrum), "EqTsSpectrum");
static_assert(width(kTsHead) + sizeof(GSPECTRUM) == sizeof(EqTsGSpectrum), "EqTsGSpectrum");
static_assert(width(kPartRef) == sizeof(EqKeyVal), "EqKeyVal");

int64_t pad4(int64_t n) {
  return (n + 3) & ~int64_t(3);
}

// Cursor over the block; positions are the same in input and output.
class EqWalk {
 public:
  EqWalk(const unsigned char* in, unsigned char* out, int64_t n, bool network_in)
      : in_(in), out_(out), n_(n), net_(network_in) {}

  int64_t pos() const { return pos_; }
  bool fits(int64_t bytes) const { return bytes >= 0 && bytes <= n_ - pos_; }

  // Host-order 32-bit word `off` bytes ahead, from the input (not yet
  // converted) or, with `converted`, from the output (already converted).
  uint32_t ahead(int64_t off, bool converted = false) const {
    return converted ? host_u32(out_ + pos_ + off, !net_) : host_u32(in_ + pos_ + off, net_);
  }

  int swap(int size, int64_t count) {
    if (count < 0 || !fits(count * size)) return kDataLength;
    size_t c = static_cast<size_t>(count);
    switch (size) {
      case 2:
        swap_fields2(in_ + pos_, out_ + pos_, c);
        break;
      case 3:
        swap_fields3(in_ + pos_, out_ + pos_, c);
        break;
      case 4:
        swap_fields4(in_ + pos_, out_ + pos_, c);
        break;
      case 8:
        swap_fields8(in_ + pos_, out_ + pos_, c);
        break;
      default:
        copy_bytes(in_ + pos_, out_ + pos_, c * size);
        break;
    }
    pos_ += count * size;
    return kOk;
  }

  int copy(int64_t bytes) {
    if (!fits(bytes)) return kDataLength;
    copy_bytes(in_ + pos_, out_ + pos_, static_cast<size_t>(bytes));
    pos_ += bytes;
    return kOk;
  }

  template <size_t N>
  int fields(const unsigned char (&f)[N]) {
    if (!fits(width(f))) return kDataLength;
    for (size_t i = 0; i < N; ++i) swap(f[i], 1);
    return kOk;
  }

 private:
  const unsigned char* in_;
  unsigned char* out_;
  int64_t n_;
  bool net_;
  int64_t pos_ = 0;
};

#define TRY(expr)               \
  do {                          \
    int rc_ = (expr);           \
    if (rc_ != kOk) return rc_; \
  } while (0)

// A NUL-terminated text stored padded to 4 bytes: copied as it lies.
int text(EqWalk& w, const unsigned char* in) {
  int64_t pos = w.pos();
  int64_t len = 0;
  for (;; ++len) {
    if (!w.fits(len + 1)) return kDataLength;
    if (in[pos + len] == '\0') break;
  }
  return w.copy(pad4(len + 1));
}

// SPECTRUM: the image, the comment, the float samples.
int spectrum(EqWalk& w) {
  if (!w.fits(sizeof(SPECTRUM))) return kDataLength;
  int64_t comment = w.ahead(offsetof(SPECTRUM, comment_len));
  int64_t samples = w.ahead(offsetof(SPECTRUM, length));
  TRY(w.fields(kSpectrum));
  TRY(w.copy(pad4(comment)));
  return w.swap(4, samples);
}

int gspectrum_image(EqWalk& w) {
  TRY(w.fields(kGspectrumHead));
  TRY(w.swap(4, 36));
  return w.fields(kGspectrumTail);
}

int gspectrum(EqWalk& w) {
  if (!w.fits(sizeof(GSPECTRUM))) return kDataLength;
  int64_t comment = w.ahead(offsetof(GSPECTRUM, comment_len));
  int64_t samples = w.ahead(offsetof(GSPECTRUM, length));
  TRY(gspectrum_image(w));
  TRY(w.copy(pad4(comment)));
  return w.swap(4, samples);
}

int image(EqWalk& w) {
  if (!w.fits(sizeof(EqImage))) return kDataLength;
  int64_t bpp = static_cast<int32_t>(w.ahead(offsetof(IMH, bpp)));
  int64_t comment = w.ahead(offsetof(EqImage, comment_len));
  int64_t bytes = w.ahead(offsetof(EqImage, length));
  if (bpp < 1 || bpp > 4) return kEqUnknownType;
  TRY(w.swap(4, sizeof(IMH) / 4));
  TRY(w.fields(kPartRef));
  TRY(w.fields(kPartRef));
  TRY(w.copy(pad4(comment)));
  if (!w.fits(pad4(bytes))) return kDataLength;
  int64_t pixels = bytes / bpp;
  TRY(bpp == 1 ? w.copy(bytes) : w.swap(static_cast<int>(bpp), pixels));
  return w.copy(pad4(bytes) - (bpp == 1 ? bytes : pixels * bpp));
}

int byte_array(EqWalk& w) {
  if (!w.fits(sizeof(EqByteArray))) return kDataLength;
  int64_t bytes = w.ahead(offsetof(EqByteArray, length));
  TRY(w.fields(kByteArray));
  return w.copy(pad4(bytes));
}

int mda(EqWalk& w, int elem) {
  if (!w.fits(sizeof(EqMda))) return kDataLength;
  int64_t comment = w.ahead(offsetof(EqMda, comment_len));
  int64_t count = w.ahead(offsetof(EqMda, length));
  TRY(w.fields(kMda));
  TRY(w.copy(pad4(comment)));
  return w.swap(elem, count);
}

// Count, then `count` elements of `fields` consecutive fields of `size` bytes;
// 2-byte elements are padded to 4.
int counted(EqWalk& w, int size, int fields) {
  if (!w.fits(4)) return kDataLength;
  int64_t count = w.ahead(0);
  TRY(w.swap(4, 1));
  int64_t n = count * fields;
  TRY(w.swap(size, n));
  return w.copy(pad4(n * size) - n * size);
}

// Count, `count` element images, then each element's text part in order;
// `len_at` is the place of the text length inside an image.
template <size_t N>
int images_with_texts(EqWalk& w, const unsigned char (&image)[N], int64_t len_at) {
  if (!w.fits(4)) return kDataLength;
  int64_t count = w.ahead(0);
  TRY(w.swap(4, 1));
  int64_t first = w.pos();
  if (!w.fits(count * width(image))) return kDataLength;
  for (int64_t i = 0; i < count; ++i) TRY(w.fields(image));
  for (int64_t i = 0; i < count; ++i) {
    int64_t at = first - w.pos() + i * width(image) + len_at;
    TRY(w.copy(pad4(w.ahead(at, true))));
  }
  return kOk;
}

// Count, `count` time-stamped spectrum images, then per element its comment
// and its float samples.
int ts_spectra(EqWalk& w, bool generic) {
  const int64_t size = generic ? sizeof(EqTsGSpectrum) : sizeof(EqTsSpectrum);
  const int64_t comment_at = offsetof(EqTsSpectrum, spectrum) + offsetof(SPECTRUM, comment_len);
  const int64_t samples_at = offsetof(EqTsSpectrum, spectrum) +
                             (generic ? offsetof(GSPECTRUM, length) : offsetof(SPECTRUM, length));
  if (!w.fits(4)) return kDataLength;
  int64_t count = w.ahead(0);
  TRY(w.swap(4, 1));
  int64_t first = w.pos();
  if (!w.fits(count * size)) return kDataLength;
  for (int64_t i = 0; i < count; ++i) {
    TRY(w.fields(kTsHead));
    TRY(generic ? gspectrum_image(w) : w.fields(kSpectrum));
  }
  for (int64_t i = 0; i < count; ++i) {
    int64_t img = first - w.pos() + i * size;
    int64_t comment = w.ahead(img + comment_at, true);
    TRY(w.copy(pad4(comment)));
    img = first - w.pos() + i * size;
    TRY(w.swap(4, w.ahead(img + samples_at, true)));
  }
  return kOk;
}

int value_part(EqWalk& w, const unsigned char* in, int32_t type) {
  switch (type) {
    case DATA_NULL:
      return kOk;
    case DATA_INT:
    case DATA_FLOAT:
    case DATA_BOOL:
    case DATA_UINT:
      return w.swap(4, 1);
    case DATA_SHORT:
    case DATA_USHORT:
      TRY(w.swap(2, 1));
      return w.copy(2);
    case DATA_DOUBLE:
    case DATA_LONG:
    case DATA_ULONG:
      return w.swap(8, 1);
    case DATA_XY:
      return w.swap(4, 2);
    case DATA_TDS:
    case DATA_IIII:
    case DATA_IFFF:
      return w.swap(4, 4);
    case DATA_TTII:
      return w.swap(4, 6);
    case DATA_STRING:
    case DATA_TEXT:
    case DATA_XML:
      return text(w, in);
    case DATA_SPECTRUM:
      return spectrum(w);
    case DATA_GSPECTRUM:
      return gspectrum(w);
    case DATA_IMAGE:
      return image(w);
    case DATA_A_BYTE:
      return byte_array(w);
    case DATA_MDA_FLOAT:
      return mda(w, 4);
    case DATA_MDA_DOUBLE:
      return mda(w, 8);
    case DATA_A_FLOAT:
    case DATA_A_INT:
    case DATA_A_BOOL:
    case DATA_A_UINT:
      return counted(w, 4, 1);
    case DATA_A_SHORT:
    case DATA_A_USHORT:
      return counted(w, 2, 1);
    case DATA_A_DOUBLE:
    case DATA_A_LONG:
    case DATA_A_ULONG:
      return counted(w, 8, 1);
    case DATA_A_XY:
      return counted(w, 4, 2);
    case DATA_A_TDS:
      return counted(w, 4, 4);
    case DATA_A_THUMBNAIL:
      return counted(w, 4, sizeof(THUMBNAIL) / 4);
    case DATA_A_USTR:
      return images_with_texts(w, kUstr, offsetof(USTR, str_len));
    case DATA_A_XYZS:
      return images_with_texts(w, kXyzs, offsetof(XYZS, str_len));
    case DATA_KEYVAL:
      return images_with_texts(w, kPartRef, offsetof(EqKeyVal, str_len));
    case DATA_A_TS_SPECTRUM:
      return ts_spectra(w, false);
    case DATA_A_TS_GSPECTRUM:
      return ts_spectra(w, true);
    default:
      if ((type >= 1000 && type <= 1010) || type == 1014 || (type >= 1017 && type <= 1020))
        return kEqUnsupportedType;
      return kEqUnknownType;
  }
}

#undef TRY

}  // namespace

int convert_eq_block(const unsigned char* in, unsigned char* out, int64_t len, int64_t* covered) {
  if (in == nullptr || out == nullptr || len == 0) return kEqInvalParam;
  bool network_in = len > 0;
  int64_t n = network_in ? len : -len;
  EqWalk w(in, out, n, network_in);
  if (!w.fits(44)) return kDataLength;
  int32_t type = static_cast<int32_t>(w.ahead(0));
  w.fields(kHeader);
  int rc = value_part(w, in, type);
  if (rc == kOk && covered != nullptr) *covered = w.pos();
  return rc;
}

}  // namespace convert_detail

extern "C" int kova_do_convert_eq_data(void* in, void* out, int len) {
  return convert_detail::convert_eq_block(static_cast<const unsigned char*>(in),
                                          static_cast<unsigned char*>(out), len, nullptr);
}
