// Text forms: a value or one element as text, and the one-line form of a
// block for printing.
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "eqdata.h"
#include "eqdata_numbers.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof(buf), fmt, ap);
  va_end(ap);
  return buf;
}

template <typename T>
T load(const void* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

std::string number_text(const void* p, EqNum num) {
  switch (num) {
    case EqNum::kI32:
      return format("%" PRId32, load<int32_t>(p));
    case EqNum::kU32:
      return format("%" PRIu32, load<uint32_t>(p));
    case EqNum::kI16:
      return format("%d", load<int16_t>(p));
    case EqNum::kU16:
      return format("%u", load<uint16_t>(p));
    case EqNum::kI64:
      return format("%" PRId64, load<int64_t>(p));
    case EqNum::kU64:
      return format("%" PRIu64, load<uint64_t>(p));
    case EqNum::kF32:
      return format("%g", static_cast<double>(load<float>(p)));
    case EqNum::kF64:
      return format("%g", load<double>(p));
    case EqNum::kU8:
      return format("%u", load<uint8_t>(p));
    case EqNum::kNone:
      break;
  }
  return std::string();
}

// Text of a structure without parts of family `family` at `p`.
std::string structure_text(int family, const void* p) {
  switch (family) {
    case DATA_XY:
    case DATA_A_XY: {
      const XY v = load<XY>(p);
      return format("%g %g", v.x, v.y);
    }
    case DATA_TDS:
    case DATA_A_TDS: {
      const TDS v = load<TDS>(p);
      return format("%u.%06u %g %d", v.tm, v.tm_usec, v.data, v.status);
    }
    case DATA_IIII: {
      const IIII v = load<IIII>(p);
      return format("%d %d %d %d", v.i1_data, v.i2_data, v.i3_data, v.i4_data);
    }
    case DATA_IFFF: {
      const IFFF v = load<IFFF>(p);
      return format("%d %g %g %g", v.i1_data, v.f1_data, v.f2_data, v.f3_data);
    }
    case DATA_TTII: {
      const TTII v = load<TTII>(p);
      return format("%u.%06u %u.%06u %d %d", v.tm1, v.tm1_usec, v.tm2, v.tm2_usec, v.i1_data,
                    v.i2_data);
    }
    case DATA_A_THUMBNAIL: {
      const THUMBNAIL v = load<THUMBNAIL>(p);
      const uint64_t ev = (static_cast<uint64_t>(v.event_hi) << 32) | v.event_lo;
      return format("%u.%06u %" PRIu64 " %dx%d %g %g %g %g %d", v.tm, v.tm_usec, ev, v.width,
                    v.height, v.min, v.max, v.mean, v.sigma, v.status);
    }
    default:
      return std::string();
  }
}

std::string part_text(const char* s, uint32_t len) {
  return std::string(s == nullptr ? "" : s, eq_part_text_length(s, len));
}

// Text of element `i` of a kArray value whose elements are not numbers.
bool array_element_text(const EqData& d, int i, std::string* out) {
  const unsigned char* e = A::element(d, i);
  if (e == nullptr) return false;
  switch (d.type()) {
    case DATA_A_USTR: {
      const USTR v = load<USTR>(e);
      *out = part_text(v.str, v.str_len);
      return true;
    }
    case DATA_A_XYZS: {
      const XYZS v = load<XYZS>(e);
      *out = part_text(v.str, v.str_len);
      return true;
    }
    case DATA_KEYVAL: {
      const EqKeyVal v = load<EqKeyVal>(e);
      *out = part_text(v.str, v.str_len);
      return true;
    }
    case DATA_A_TS_SPECTRUM: {
      const EqTsSpectrum v = load<EqTsSpectrum>(e);
      *out = part_text(v.spectrum.comment, v.spectrum.comment_len);
      return true;
    }
    case DATA_A_TS_GSPECTRUM: {
      const EqTsGSpectrum v = load<EqTsGSpectrum>(e);
      *out = part_text(v.spectrum.comment, v.spectrum.comment_len);
      return true;
    }
    default:
      *out = structure_text(d.type(), e);
      return true;
  }
}

bool element_text(const EqData& d, int i, std::string* out) {
  if (i < 0 || !A::usable(d)) return false;
  EqNum num = EqNum::kNone;
  const void* p = eq_number_at(d, i, &num);
  if (p != nullptr) {
    *out = number_text(p, num);
    return true;
  }
  const EqValue& v = d.get_data_block()->value;
  switch (A::info(d).kind) {
    case EqKind::kString:
      if (i != 0) return false;
      *out = part_text(static_cast<const char*>(v.d_array.data), v.d_array.length);
      return true;
    case EqKind::kFixed:
      if (i != 0) return false;
      *out = structure_text(eq_family(d.type()), &v);
      return true;
    case EqKind::kArray:
      return array_element_text(d, i, out);
    default:
      return false;
  }
}

void copy_out(const std::string& text, char* buffer, int size) {
  const size_t n = text.size() < static_cast<size_t>(size) ? text.size() : size - 1;
  memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

char* EqData::get_string(char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return nullptr;
  std::string text;
  if (A::usable(*this)) {
    const EqValue& v = blk_->value;
    switch (A::info(*this).kind) {
      case EqKind::kString:
      case EqKind::kScalar:
      case EqKind::kFixed:
        element_text(*this, 0, &text);
        break;
      case EqKind::kSpectrum:
        text = part_text(v.d_spectrum.comment, v.d_spectrum.comment_len);
        break;
      case EqKind::kGSpectrum:
        text = part_text(v.d_gspectrum.comment, v.d_gspectrum.comment_len);
        break;
      case EqKind::kImage:
        text = part_text(v.d_image.comment, v.d_image.comment_len);
        break;
      case EqKind::kMda:
        text = part_text(v.d_mda.comment, v.d_mda.comment_len);
        break;
      case EqKind::kArray:
      case EqKind::kBytes: {
        std::string item;
        const int n = length();
        for (int i = 0; i < n && text.size() < static_cast<size_t>(size); ++i) {
          if (!element_text(*this, i, &item)) break;
          if (i > 0) text += ' ';
          text += item;
        }
        break;
      }
      case EqKind::kNone:
      case EqKind::kIdOnly:
        break;
    }
  }
  copy_out(text, buffer, size);
  return buffer;
}

char* EqData::get_string(int i, char* buffer, int size) const {
  if (buffer == nullptr || size < 1) return nullptr;
  std::string text;
  if (!element_text(*this, i, &text)) {
    buffer[0] = '\0';
    return nullptr;
  }
  copy_out(text, buffer, size);
  return buffer;
}

std::string EqData::block_text(const EqDataBlock* b) {
  if (b == nullptr) return "EqDataBlock: (null)";
  const EqTypeInfo& ti = eq_type_info(b->data_type);
  const uint64_t ev = (static_cast<uint64_t>(b->mp_hi) << 32) | b->mp_lo;
  std::string line = format("type:%s(%d) time:%" PRId64 ".%06d error:%d event:%" PRIu64, ti.name,
                            b->data_type, b->tm, b->tm_usec, b->error, ev);
  const EqValue& v = b->value;
  switch (ti.kind) {
    case EqKind::kScalar:
      line += " value:" + number_text(&v, ti.num);
      break;
    case EqKind::kFixed:
      line += " value:" + structure_text(eq_family(b->data_type), &v);
      break;
    case EqKind::kString:
    case EqKind::kArray:
      line += format(" length:%u", v.d_array.length);
      break;
    case EqKind::kSpectrum:
      line += format(" length:%u start:%g inc:%g", v.d_spectrum.length, v.d_spectrum.start,
                     v.d_spectrum.inc);
      break;
    case EqKind::kGSpectrum:
      line += format(" length:%u start:%g inc:%g", v.d_gspectrum.length, v.d_gspectrum.start,
                     v.d_gspectrum.inc);
      break;
    case EqKind::kImage:
      line += format(" length:%u width:%d height:%d bpp:%d", v.d_image.length,
                     v.d_image.header.width, v.d_image.header.height, v.d_image.header.bpp);
      break;
    case EqKind::kBytes:
      line += format(" length:%u", v.d_byte.length);
      break;
    case EqKind::kMda:
      line += format(" length:%u ndims:%d", v.d_mda.length, v.d_mda.ndims);
      break;
    case EqKind::kNone:
    case EqKind::kIdOnly:
      break;
  }
  return line;
}
