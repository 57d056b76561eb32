// Writing a container's value as the payload of a type-23 sub-block. The
// value is taken from the container's block (its union and the parts the
// union points to), so owning and wrap containers are written alike.
#include <climits>

#include "eqdata_layout.h"
#include "event_util.h"

namespace {

using namespace bridge_detail;

// Cursor over the room after the sub-block head.
class Out {
 public:
  Out(unsigned char* p, size_t room) : p_(p), room_(room) {}
  bool fits(uint64_t n) const { return n <= room_ - pos_; }
  uint64_t pos() const { return pos_; }

  template <typename T>
  bool put(T v) {
    if (!fits(sizeof(T))) return false;
    store(p_ + pos_, v);
    pos_ += sizeof(T);
    return true;
  }

  // Room for n bytes to be written later.
  unsigned char* reserve(uint64_t n) {
    unsigned char* at = p_ + pos_;
    pos_ += n;
    return at;
  }

  // n bytes from src, zero-filled to a multiple of 4; where they went.
  unsigned char* part(const void* src, uint64_t n) {
    unsigned char* at = p_ + pos_;
    if (n > 0) memcpy(at, src, n);
    memset(at + n, 0, pad4(n) - n);
    pos_ += pad4(n);
    return at;
  }

 private:
  unsigned char* p_;
  size_t room_;
  uint64_t pos_ = 0;
};

const unsigned char* bytes_of(const void* p) {
  return static_cast<const unsigned char*>(p);
}

// A part the union describes: `len` bytes at `p`; a null pointer may only
// come with nothing to copy.
bool valid(const void* p, uint64_t len) {
  return p != nullptr || len == 0;
}

// Length and place of the parts of element image `e` of a parts array.
struct ElementParts {
  uint64_t text_len;
  const void* text;
  uint64_t samples;  // floats
  const void* data;
};

ElementParts element_parts(Shape s, const unsigned char* e) {
  const PartFields f = part_fields(s);
  ElementParts p{load<uint32_t>(e + f.text_len), load<const void*>(e + f.text_ptr), 0, nullptr};
  if (f.samples_len != 0) {
    p.samples = load<uint32_t>(e + f.samples_len);
    p.data = load<const void*>(e + f.samples_ptr);
  }
  return p;
}

// Bytes of the value part, or -1 when the union names a part it lacks.
int64_t value_size(const Layout& l, const EqValue& v) {
  switch (l.shape) {
    case Shape::kNull:
      return 0;
    case Shape::kValue:
      return pad4(l.size);
    case Shape::kString:
      return valid(v.d_array.data, v.d_array.length) ? pad4(v.d_array.length) : -1;
    case Shape::kSpectrum: {
      const SPECTRUM& s = v.d_spectrum;
      if (!valid(s.comment, s.comment_len) || !valid(s.data, s.length)) return -1;
      return sizeof(SPECTRUM) + pad4(s.comment_len) + 4 * uint64_t(s.length);
    }
    case Shape::kGSpectrum: {
      const GSPECTRUM& s = v.d_gspectrum;
      if (!valid(s.comment, s.comment_len) || !valid(s.data, s.length)) return -1;
      return sizeof(GSPECTRUM) + pad4(s.comment_len) + 4 * uint64_t(s.length);
    }
    case Shape::kImage: {
      const EqImage& i = v.d_image;
      if (!valid(i.comment, i.comment_len) || !valid(i.bytes, i.length)) return -1;
      return sizeof(EqImage) + pad4(i.comment_len) + pad4(i.length);
    }
    case Shape::kBytes:
      if (!valid(v.d_byte.bytes, v.d_byte.length)) return -1;
      return sizeof(EqByteArray) + pad4(v.d_byte.length);
    case Shape::kMda: {
      const EqMda& m = v.d_mda;
      if (!valid(m.comment, m.comment_len) || !valid(m.data, m.length)) return -1;
      // Readers count 64 bytes after the elements; they are written as zeros.
      return sizeof(EqMda) + pad4(m.comment_len) + pad4(uint64_t(l.size) * m.length) + 64;
    }
    case Shape::kCounted:
      if (!valid(v.d_array.data, v.d_array.length)) return -1;
      return 4 + pad4(uint64_t(l.size) * v.d_array.length);
    default: {  // arrays of element images with parts
      const uint64_t n = v.d_array.length;
      if (!valid(v.d_array.data, n)) return -1;
      uint64_t total = 4 + n * l.size;
      for (uint64_t i = 0; i < n; ++i) {
        ElementParts p = element_parts(l.shape, bytes_of(v.d_array.data) + i * l.size);
        if (!valid(p.text, p.text_len) || !valid(p.data, p.samples)) return -1;
        total += pad4(p.text_len) + 4 * p.samples;
      }
      return static_cast<int64_t>(total);
    }
  }
}

void write_value(Out& o, const Layout& l, const EqValue& v) {
  switch (l.shape) {
    case Shape::kNull:
      return;
    case Shape::kValue:
      o.part(&v, l.size);
      return;
    case Shape::kString:
      o.part(v.d_array.data, v.d_array.length);
      return;
    case Shape::kSpectrum: {
      SPECTRUM s = v.d_spectrum;
      unsigned char* at = o.reserve(sizeof(s));
      s.comment = reinterpret_cast<char*>(o.part(s.comment, s.comment_len));
      s.data = reinterpret_cast<float*>(o.part(s.data, 4 * uint64_t(s.length)));
      memcpy(at, &s, sizeof(s));
      return;
    }
    case Shape::kGSpectrum: {
      GSPECTRUM s = v.d_gspectrum;
      unsigned char* at = o.reserve(sizeof(s));
      s.comment = reinterpret_cast<char*>(o.part(s.comment, s.comment_len));
      s.data = reinterpret_cast<float*>(o.part(s.data, 4 * uint64_t(s.length)));
      memcpy(at, &s, sizeof(s));
      return;
    }
    case Shape::kImage: {
      EqImage i = v.d_image;
      unsigned char* at = o.reserve(sizeof(i));
      i.comment = reinterpret_cast<char*>(o.part(i.comment, i.comment_len));
      i.bytes = o.part(i.bytes, i.length);
      memcpy(at, &i, sizeof(i));
      return;
    }
    case Shape::kBytes: {
      EqByteArray b = v.d_byte;
      unsigned char* at = o.reserve(sizeof(b));
      b.bytes = o.part(b.bytes, b.length);
      memcpy(at, &b, sizeof(b));
      return;
    }
    case Shape::kMda: {
      EqMda m = v.d_mda;
      unsigned char* at = o.reserve(sizeof(m));
      m.comment = reinterpret_cast<char*>(o.part(m.comment, m.comment_len));
      m.data = o.part(m.data, uint64_t(l.size) * m.length);
      memcpy(at, &m, sizeof(m));
      memset(o.reserve(64), 0, 64);
      return;
    }
    case Shape::kCounted:
      o.put<uint32_t>(v.d_array.length);
      o.part(v.d_array.data, uint64_t(l.size) * v.d_array.length);
      return;
    default: {
      const uint64_t n = v.d_array.length;
      o.put<uint32_t>(v.d_array.length);
      unsigned char* images = o.part(v.d_array.data, n * l.size);
      const PartFields f = part_fields(l.shape);
      for (uint64_t i = 0; i < n; ++i) {
        unsigned char* e = images + i * l.size;
        ElementParts p = element_parts(l.shape, e);
        store_ptr(e + f.text_ptr, o.part(p.text, p.text_len));
        if (f.samples_len != 0) store_ptr(e + f.samples_ptr, o.part(p.data, 4 * p.samples));
      }
      return;
    }
  }
}

}  // namespace

extern "C" int kova_eqdata_to_daq(EqData* eqdata, kova_serv_block_subhead_2010* subhead,
                                  size_t blocklen) {
  if (eqdata == nullptr || subhead == nullptr || blocklen == 0) return KOVA_EQDATA_ERR_INVAL_PARAM;
  subhead->dtype = KOVA_BLOCK_EQDATA;
  const EqDataBlock* b = eqdata->get_data_block();
  Out o(reinterpret_cast<unsigned char*>(subhead + 1), blocklen);
  if (!o.put<int32_t>(b->data_type) || !o.put<int64_t>(b->tm) || !o.put<int32_t>(b->error) ||
      !o.put<int32_t>(b->tm_usec) || !o.put<uint32_t>(b->mp_lo) || !o.put<uint32_t>(b->mp_hi) ||
      !o.put<int32_t>(b->unused0) || !o.put<int32_t>(b->unused1) || !o.put<int32_t>(b->unused2) ||
      !o.put<int32_t>(b->unused3))
    return KOVA_EQDATA_ERR_NO_ROOM;
  const Layout l = layout_of(b->data_type);
  if (int rc = refusal(l.shape)) return rc;
  const int64_t need = value_size(l, b->value);
  if (need < 0) return KOVA_EQDATA_ERR_INVAL_PARAM;
  if (!o.fits(static_cast<uint64_t>(need)) || o.pos() + need > INT_MAX)
    return KOVA_EQDATA_ERR_NO_ROOM;
  write_value(o, l, b->value);
  return static_cast<int>(o.pos());
}
