// Values held wholly in the block or in fixed-size elements: numbers and the
// structures without parts. Setters and the converting number readers.
#include <climits>
#include <cmath>
#include <cstring>

#include "eqdata.h"
#include "eqdata_numbers.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

template <typename T>
int set_scalar(EqData& d, int natural, T v) {
  const int rc = A::prepare_value(d, natural, false);
  if (rc != EQ_OK) return rc;
  memcpy(&d.get_data_block()->value, &v, sizeof(v));
  return EQ_OK;
}

template <typename T>
int set_element(EqData& d, int natural, const T& v, int index) {
  const int rc = A::prepare_element(d, natural, index, false);
  if (rc != EQ_OK) return rc;
  unsigned char* e = A::element(d, index);
  if (e == nullptr) return EQ_ERR_RANGE;
  memcpy(e, &v, sizeof(v));
  return EQ_OK;
}

template <typename T>
T load(const void* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// Float to integer without undefined behaviour: NaN gives 0, values beyond
// the range give its ends.
long saturate(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(LONG_MAX)) return LONG_MAX;
  if (v <= static_cast<double>(LONG_MIN)) return LONG_MIN;
  return static_cast<long>(v);
}

}  // namespace

const void* eq_number_at(const EqData& d, int i, EqNum* num) {
  if (i < 0 || !A::usable(d)) return nullptr;
  const EqTypeInfo& ti = A::info(d);
  const EqValue& v = d.get_data_block()->value;
  const void* base = nullptr;
  uint32_t n = 0;
  switch (ti.kind) {
    case EqKind::kScalar:
      *num = ti.num;
      return i == 0 ? &v : nullptr;
    case EqKind::kArray:
      if (ti.num == EqNum::kNone) return nullptr;
      *num = ti.num;
      return A::element(d, i);
    case EqKind::kBytes:
      base = v.d_byte.bytes;
      n = v.d_byte.length;
      break;
    case EqKind::kSpectrum:
      base = v.d_spectrum.data;
      n = v.d_spectrum.length;
      break;
    case EqKind::kGSpectrum:
      base = v.d_gspectrum.data;
      n = v.d_gspectrum.length;
      break;
    case EqKind::kMda:
      base = v.d_mda.data;
      n = v.d_mda.length;
      break;
    default:
      return nullptr;
  }
  if (base == nullptr || static_cast<uint32_t>(i) >= n) return nullptr;
  *num = ti.num;
  return static_cast<const unsigned char*>(base) + static_cast<size_t>(i) * ti.size;
}

double eq_load_double(const void* p, EqNum num) {
  switch (num) {
    case EqNum::kI32:
      return load<int32_t>(p);
    case EqNum::kU32:
      return load<uint32_t>(p);
    case EqNum::kI16:
      return load<int16_t>(p);
    case EqNum::kU16:
      return load<uint16_t>(p);
    case EqNum::kI64:
      return static_cast<double>(load<int64_t>(p));
    case EqNum::kU64:
      return static_cast<double>(load<uint64_t>(p));
    case EqNum::kF32:
      return load<float>(p);
    case EqNum::kF64:
      return load<double>(p);
    case EqNum::kU8:
      return load<uint8_t>(p);
    case EqNum::kNone:
      break;
  }
  return 0;
}

long eq_load_long(const void* p, EqNum num) {
  switch (num) {
    case EqNum::kI64:
      return load<int64_t>(p);
    case EqNum::kU64: {
      const uint64_t u = load<uint64_t>(p);
      return u > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(u);
    }
    case EqNum::kF32:
    case EqNum::kF64:
      return saturate(eq_load_double(p, num));
    default:
      return static_cast<long>(eq_load_double(p, num));
  }
}

int EqData::set(int v) {
  return set_scalar(*this, DATA_INT, static_cast<int32_t>(v));
}
int EqData::set(unsigned int v) {
  return set_scalar(*this, DATA_UINT, static_cast<uint32_t>(v));
}
int EqData::set(short v) {
  return set_scalar(*this, DATA_SHORT, static_cast<int16_t>(v));
}
int EqData::set(unsigned short v) {
  return set_scalar(*this, DATA_USHORT, static_cast<uint16_t>(v));
}
int EqData::set(long v) {
  return set_scalar(*this, DATA_LONG, static_cast<int64_t>(v));
}
int EqData::set(unsigned long v) {
  return set_scalar(*this, DATA_ULONG, static_cast<uint64_t>(v));
}
int EqData::set(float v) {
  return set_scalar(*this, DATA_FLOAT, v);
}
int EqData::set(double v) {
  return set_scalar(*this, DATA_DOUBLE, v);
}

int EqData::set(int v, int index) {
  return set_element(*this, DATA_A_INT, static_cast<int32_t>(v), index);
}
int EqData::set(unsigned int v, int index) {
  return set_element(*this, DATA_A_UINT, static_cast<uint32_t>(v), index);
}
int EqData::set(short v, int index) {
  return set_element(*this, DATA_A_SHORT, static_cast<int16_t>(v), index);
}
int EqData::set(unsigned short v, int index) {
  return set_element(*this, DATA_A_USHORT, static_cast<uint16_t>(v), index);
}
int EqData::set(long v, int index) {
  return set_element(*this, DATA_A_LONG, static_cast<int64_t>(v), index);
}
int EqData::set(unsigned long v, int index) {
  return set_element(*this, DATA_A_ULONG, static_cast<uint64_t>(v), index);
}
int EqData::set(float v, int index) {
  return set_element(*this, DATA_A_FLOAT, v, index);
}
int EqData::set(double v, int index) {
  return set_element(*this, DATA_A_DOUBLE, v, index);
}

int EqData::set(const XY& v) {
  return set_scalar(*this, DATA_XY, v);
}
int EqData::set(const XY& v, int index) {
  return set_element(*this, DATA_A_XY, v, index);
}
int EqData::set(const TDS& v) {
  return set_scalar(*this, DATA_TDS, v);
}
int EqData::set(const TDS& v, int index) {
  return set_element(*this, DATA_A_TDS, v, index);
}
int EqData::set(const IFFF& v) {
  return set_scalar(*this, DATA_IFFF, v);
}
int EqData::set(const IIII& v) {
  return set_scalar(*this, DATA_IIII, v);
}
int EqData::set(const TTII& v) {
  return set_scalar(*this, DATA_TTII, v);
}
int EqData::set_thumbnail(const THUMBNAIL& v, int index) {
  return set_element(*this, DATA_A_THUMBNAIL, v, index);
}

float EqData::get_float(int i) const {
  return static_cast<float>(get_double(i));
}

double EqData::get_double(int i) const {
  EqNum num = EqNum::kNone;
  const void* p = eq_number_at(*this, i, &num);
  return p == nullptr ? 0 : eq_load_double(p, num);
}

long EqData::get_long(int i) const {
  EqNum num = EqNum::kNone;
  const void* p = eq_number_at(*this, i, &num);
  return p == nullptr ? 0 : eq_load_long(p, num);
}

int EqData::get_int(int i) const {
  const long v = get_long(i);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}
