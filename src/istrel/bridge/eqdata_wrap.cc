// Wrap mode: the block's union points into the stored value part; the stored
// structures' pointer fields are re-pointed to their parts in place.
#include "eqdata_stored.h"

namespace bridge_detail {

namespace {

int wrap_parts_array(EqDataBlock* b, In& in, const Layout& l) {
  unsigned char* count = in.take(4);
  if (count == nullptr) return kShort;
  const uint32_t n = load<uint32_t>(count);
  unsigned char* images = in.take(uint64_t(n) * l.size);
  if (images == nullptr) return kShort;
  const PartFields f = part_fields(l.shape);
  for (uint32_t i = 0; i < n; ++i) {
    unsigned char* e = images + uint64_t(i) * l.size;
    const uint32_t tlen = load<uint32_t>(e + f.text_len);
    unsigned char* text = in.part(tlen);
    if (text == nullptr) return kShort;
    store_ptr(e + f.text_ptr, text);
    if (f.samples_len != 0) {
      unsigned char* samples = in.take(4 * uint64_t(load<uint32_t>(e + f.samples_len)));
      if (samples == nullptr) return kShort;
      store_ptr(e + f.samples_ptr, samples);
    }
    if (l.shape == Shape::kKeyval) {
      // The held length is the text's own, with its terminator.
      const uint64_t held = text_length(text, pad4(tlen));
      if (held == 0) return kShort;
      store<uint32_t>(e + f.text_len, static_cast<uint32_t>(held));
    }
  }
  b->value.d_array.length = n;
  b->value.d_array.data = images;
  return KOVA_EQDATA_OK;
}

}  // namespace

int wrap_in(EqDataBlock* b, const Layout& l, In& in) {
  EqValue& v = b->value;
  memset(&v, 0, sizeof(v));
  switch (l.shape) {
    case Shape::kNull:
      return KOVA_EQDATA_OK;
    case Shape::kValue: {
      unsigned char* p = in.take(pad4(l.size));
      if (p == nullptr) return kShort;
      memcpy(&v, p, l.size);
      return KOVA_EQDATA_OK;
    }
    case Shape::kString: {
      uint64_t len;
      unsigned char* t = stored_text(in, &len);
      if (t == nullptr) return kShort;
      v.d_array.length = static_cast<uint32_t>(len);
      v.d_array.data = t;
      return KOVA_EQDATA_OK;
    }
    case Shape::kSpectrum: {
      unsigned char *comment, *samples;
      unsigned char* img = spectrum_parts(in, &v.d_spectrum, &comment, &samples);
      if (img == nullptr) return kShort;
      v.d_spectrum.comment = reinterpret_cast<char*>(comment);
      v.d_spectrum.data = reinterpret_cast<float*>(samples);
      memcpy(img, &v.d_spectrum, sizeof(SPECTRUM));
      return KOVA_EQDATA_OK;
    }
    case Shape::kGSpectrum: {
      unsigned char *comment, *samples;
      unsigned char* img = spectrum_parts(in, &v.d_gspectrum, &comment, &samples);
      if (img == nullptr) return kShort;
      v.d_gspectrum.comment = reinterpret_cast<char*>(comment);
      v.d_gspectrum.data = reinterpret_cast<float*>(samples);
      memcpy(img, &v.d_gspectrum, sizeof(GSPECTRUM));
      return KOVA_EQDATA_OK;
    }
    case Shape::kImage: {
      unsigned char* img = in.take(sizeof(EqImage));
      if (img == nullptr) return kShort;
      v.d_image = load<EqImage>(img);
      unsigned char* comment = in.part(v.d_image.comment_len);
      unsigned char* bytes = comment == nullptr ? nullptr : in.part(v.d_image.length);
      if (bytes == nullptr) return kShort;
      v.d_image.comment = reinterpret_cast<char*>(comment);
      v.d_image.bytes = bytes;
      memcpy(img, &v.d_image, sizeof(EqImage));
      return KOVA_EQDATA_OK;
    }
    case Shape::kBytes: {
      unsigned char* img = in.take(sizeof(EqByteArray));
      if (img == nullptr) return kShort;
      v.d_byte = load<EqByteArray>(img);
      unsigned char* bytes = in.part(v.d_byte.length);
      if (bytes == nullptr) return kShort;
      v.d_byte.bytes = bytes;
      memcpy(img, &v.d_byte, sizeof(EqByteArray));
      return KOVA_EQDATA_OK;
    }
    case Shape::kMda: {
      unsigned char* img = in.take(sizeof(EqMda));
      if (img == nullptr) return kShort;
      v.d_mda = load<EqMda>(img);
      unsigned char* comment = in.part(v.d_mda.comment_len);
      unsigned char* elems =
          comment == nullptr ? nullptr : in.take(uint64_t(l.size) * v.d_mda.length);
      if (elems == nullptr) return kShort;
      v.d_mda.comment = reinterpret_cast<char*>(comment);
      v.d_mda.data = elems;
      memcpy(img, &v.d_mda, sizeof(EqMda));
      return KOVA_EQDATA_OK;
    }
    case Shape::kCounted: {
      unsigned char* count = in.take(4);
      if (count == nullptr) return kShort;
      const uint32_t n = load<uint32_t>(count);
      unsigned char* elems = in.take(pad4(uint64_t(n) * l.size));
      if (elems == nullptr) return kShort;
      v.d_array.length = n;
      v.d_array.data = elems;
      return KOVA_EQDATA_OK;
    }
    default:
      return wrap_parts_array(b, in, l);
  }
}

}  // namespace bridge_detail
