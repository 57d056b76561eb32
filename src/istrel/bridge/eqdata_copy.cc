// Copy mode: a stored value part handed to an owning container through its
// setters, element by element, parts re-pointed to where they lie.
#include <string>

#include "eqdata_stored.h"

namespace bridge_detail {

namespace {

int copy_value(EqData* d, int32_t type, const unsigned char* v) {
  switch (type) {
    case DATA_INT:
    case DATA_BOOL:
      return result(d->set(static_cast<int>(load<int32_t>(v))));
    case DATA_UINT:
      return result(d->set(static_cast<unsigned int>(load<uint32_t>(v))));
    case DATA_FLOAT:
      return result(d->set(load<float>(v)));
    case DATA_SHORT:
      return result(d->set(static_cast<short>(load<int16_t>(v))));
    case DATA_USHORT:
      return result(d->set(static_cast<unsigned short>(load<uint16_t>(v))));
    case DATA_DOUBLE:
      return result(d->set(load<double>(v)));
    case DATA_LONG:
      return result(d->set(static_cast<long>(load<int64_t>(v))));
    case DATA_ULONG:
      return result(d->set(static_cast<unsigned long>(load<uint64_t>(v))));
    case DATA_XY:
      return result(d->set(load<XY>(v)));
    case DATA_TDS:
      return result(d->set(load<TDS>(v)));
    case DATA_IIII:
      return result(d->set(load<IIII>(v)));
    case DATA_IFFF:
      return result(d->set(load<IFFF>(v)));
    case DATA_TTII:
      return result(d->set(load<TTII>(v)));
    default:
      return KOVA_EQDATA_ERR_UNKNOWN_TYPE;
  }
}

int copy_element(EqData* d, int32_t type, const unsigned char* e, int i) {
  switch (type) {
    case DATA_A_FLOAT:
      return d->set(load<float>(e), i);
    case DATA_A_INT:
    case DATA_A_BOOL:
      return d->set(static_cast<int>(load<int32_t>(e)), i);
    case DATA_A_UINT:
      return d->set(static_cast<unsigned int>(load<uint32_t>(e)), i);
    case DATA_A_SHORT:
      return d->set(static_cast<short>(load<int16_t>(e)), i);
    case DATA_A_USHORT:
      return d->set(static_cast<unsigned short>(load<uint16_t>(e)), i);
    case DATA_A_DOUBLE:
      return d->set(load<double>(e), i);
    case DATA_A_LONG:
      return d->set(static_cast<long>(load<int64_t>(e)), i);
    case DATA_A_ULONG:
      return d->set(static_cast<unsigned long>(load<uint64_t>(e)), i);
    case DATA_A_XY:
      return d->set(load<XY>(e), i);
    case DATA_A_TDS:
      return d->set(load<TDS>(e), i);
    case DATA_A_THUMBNAIL:
      return d->set_thumbnail(load<THUMBNAIL>(e), i);
    default:
      return EQ_ERR_TYPE;
  }
}

int copy_mda(EqData* d, In& in, int elem) {
  unsigned char* img = in.take(sizeof(EqMda));
  if (img == nullptr) return kShort;
  EqMda m = load<EqMda>(img);
  unsigned char* comment = in.part(m.comment_len);
  unsigned char* elems = in.take(uint64_t(elem) * m.length);
  if (comment == nullptr || elems == nullptr) return kShort;
  if (m.length > INT32_MAX) return kShort;
  const int n = static_cast<int>(m.length);
  if (int rc = d->length(n)) return result(rc);
  if (n < 1) return KOVA_EQDATA_OK;
  // The dimensions must account for exactly the stored elements; checked
  // before the container sizes its array by them.
  if (m.ndims < 1 || m.ndims > EQ_MDA_MAX_DIMS) return kShort;
  int64_t product = 1;
  for (int k = 0; k < m.ndims; ++k) {
    if (m.dims[k] < 1 || m.dims[k] > n) return kShort;
    product *= m.dims[k];
    if (product > n) return kShort;
  }
  if (product != n) return kShort;
  const std::string text = text_of(comment, m.comment_len);
  const char* c = m.comment_len == 0 ? nullptr : text.c_str();
  int rc = elem == 4 ? d->set_dims(m.dims, m.ndims, c, nullptr)
                     : d->set_dimsd(m.dims, m.ndims, c, nullptr);
  if (rc != EQ_OK || d->length() != n) return kRefused;
  void* dst = elem == 4 ? static_cast<void*>(d->get_mda()) : static_cast<void*>(d->get_mdad());
  if (dst == nullptr) return kRefused;
  memcpy(dst, elems, uint64_t(elem) * n);
  return KOVA_EQDATA_OK;
}

// Seconds and microseconds as nanoseconds; a stored time too far from the
// epoch to be expressed saturates instead of wrapping.
quorm::Timestamp nanoseconds(int64_t sec, int32_t usec) {
  int64_t us, ns;
  if (__builtin_mul_overflow(sec, int64_t(1000000), &us) || __builtin_add_overflow(us, usec, &us) ||
      __builtin_mul_overflow(us, int64_t(1000), &ns))
    ns = sec < 0 ? INT64_MIN : INT64_MAX;
  return quorm::Timestamp(ns);
}

int copy_image(EqData* d, In& in) {
  unsigned char* img = in.take(sizeof(EqImage));
  if (img == nullptr) return kShort;
  EqImage i = load<EqImage>(img);
  unsigned char* comment = in.part(i.comment_len);
  unsigned char* bytes = in.part(i.length);
  if (comment == nullptr || bytes == nullptr || i.length > INT32_MAX) return kShort;
  // The time and the event id low half the block held before the image.
  const EqDataBlock* b = d->get_data_block();
  const int64_t tm = b->tm;
  const int32_t usec = b->tm_usec;
  const uint32_t mp_lo = b->mp_lo;
  const std::string text = text_of(comment, i.comment_len);
  int rc = d->set_image(bytes, static_cast<int>(i.length), i.header, false, false,
                        i.comment_len == 0 ? nullptr : text.c_str());
  if (rc != EQ_OK) return kRefused;
  return result(
      d->set_image_timestamp_and_status(nanoseconds(tm, usec), static_cast<int32_t>(mp_lo)));
}

// Count, element images and their parts (texts, or comments and samples).
int copy_parts_array(EqData* d, In& in, const Layout& l) {
  unsigned char* count = in.take(4);
  if (count == nullptr) return kShort;
  const uint32_t n = load<uint32_t>(count);
  unsigned char* images = in.take(uint64_t(n) * l.size);
  if (images == nullptr || n > INT32_MAX) return kShort;
  if (l.shape == Shape::kKeyval) {
    if (int rc = d->clear_keys()) return result(rc);
  } else {
    if (int rc = d->length(static_cast<int>(n))) return result(rc);
  }
  const PartFields f = part_fields(l.shape);
  for (uint32_t i = 0; i < n; ++i) {
    unsigned char* e = images + uint64_t(i) * l.size;
    const uint32_t tlen = load<uint32_t>(e + f.text_len);
    unsigned char* text = in.part(tlen);
    if (text == nullptr) return kShort;
    unsigned char* samples = nullptr;
    if (f.samples_len != 0) {
      samples = in.take(4 * uint64_t(load<uint32_t>(e + f.samples_len)));
      if (samples == nullptr) return kShort;
    }
    int rc = EQ_OK;
    switch (l.shape) {
      case Shape::kUstr: {
        USTR u = load<USTR>(e);
        u.str = text_or_null(text, tlen);
        rc = d->set(u, static_cast<int>(i));
        break;
      }
      case Shape::kXyzs: {
        XYZS x = load<XYZS>(e);
        x.str = text_or_null(text, tlen);
        rc = d->set(x, static_cast<int>(i));
        break;
      }
      case Shape::kTsSpectrum: {
        EqTsSpectrum t = load<EqTsSpectrum>(e);
        t.spectrum.comment = text_or_null(text, tlen);
        t.spectrum.data = reinterpret_cast<float*>(samples);
        rc = d->set_ts_spect(t.spectrum, t.id, t.status, t.flags, static_cast<int>(i));
        break;
      }
      case Shape::kTsGSpectrum: {
        EqTsGSpectrum t = load<EqTsGSpectrum>(e);
        t.spectrum.comment = text_or_null(text, tlen);
        t.spectrum.data = reinterpret_cast<float*>(samples);
        rc = d->set_ts_gspect(t.spectrum, t.id, t.status, t.flags, static_cast<int>(i));
        break;
      }
      default: {  // "key:value"; the stored text stays as it is
        const std::string kv = text_of(text, tlen);
        const size_t colon = kv.find(':');
        const std::string key = kv.substr(0, colon);
        const std::string value = colon == std::string::npos ? "" : kv.substr(colon + 1);
        if (!key.empty()) rc = d->set_val(key.c_str(), value.c_str());
        break;
      }
    }
    if (rc != EQ_OK) return kRefused;
  }
  return KOVA_EQDATA_OK;
}

// A NUL-terminated text stored padded to 4: its place and held length.
}  // namespace

int copy_in(EqData* d, int32_t type, const Layout& l, In& in) {
  switch (l.shape) {
    case Shape::kNull:
      return KOVA_EQDATA_OK;
    case Shape::kValue: {
      unsigned char* v = in.take(pad4(l.size));
      return v == nullptr ? kShort : copy_value(d, type, v);
    }
    case Shape::kString: {
      uint64_t len;
      unsigned char* t = stored_text(in, &len);
      if (t == nullptr) return kShort;
      const char* text = reinterpret_cast<const char*>(t);
      return result(type == DATA_XML ? d->set_xml(text) : d->set(text));
    }
    case Shape::kSpectrum: {
      SPECTRUM s;
      unsigned char *comment, *samples;
      if (spectrum_parts(in, &s, &comment, &samples) == nullptr) return kShort;
      s.comment = text_or_null(comment, s.comment_len);
      s.data = reinterpret_cast<float*>(samples);
      return result(d->set(s));
    }
    case Shape::kGSpectrum: {
      GSPECTRUM s;
      unsigned char *comment, *samples;
      if (spectrum_parts(in, &s, &comment, &samples) == nullptr) return kShort;
      s.comment = text_or_null(comment, s.comment_len);
      s.data = reinterpret_cast<float*>(samples);
      return result(d->set(s));
    }
    case Shape::kImage:
      return copy_image(d, in);
    case Shape::kBytes: {
      unsigned char* img = in.take(sizeof(EqByteArray));
      if (img == nullptr) return kShort;
      const EqByteArray b = load<EqByteArray>(img);
      unsigned char* bytes = in.part(b.length);
      if (bytes == nullptr || b.length > INT32_MAX) return kShort;
      if (int rc = d->length(static_cast<int>(b.length))) return result(rc);
      if (b.length < 1) return KOVA_EQDATA_OK;
      return result(d->set_byte(bytes, static_cast<int>(b.length), b.prm));
    }
    case Shape::kMda:
      return copy_mda(d, in, l.size);
    case Shape::kCounted: {
      unsigned char* count = in.take(4);
      if (count == nullptr) return kShort;
      const uint32_t n = load<uint32_t>(count);
      unsigned char* elems = in.take(pad4(uint64_t(n) * l.size));
      if (elems == nullptr || n > INT32_MAX) return kShort;
      if (int rc = d->length(static_cast<int>(n))) return result(rc);
      for (uint32_t i = 0; i < n; ++i)
        if (copy_element(d, type, elems + uint64_t(i) * l.size, static_cast<int>(i)) != EQ_OK)
          return kRefused;
      return KOVA_EQDATA_OK;
    }
    default:
      return copy_parts_array(d, in, l);
  }
}

}  // namespace bridge_detail
