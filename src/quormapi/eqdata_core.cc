// EqData life cycle, type, time and event id, lengths and sizes.
#include <cstring>
#include <memory>

#include "eqdata.h"
#include "eqdata_store.h"

using A = EqDataAccess;

EqData::EqData() : blk_(nullptr), wrap_(false), st_(std::make_unique<EqDataStore>()) {
  memset(&st_->own, 0, sizeof(st_->own));
  blk_ = &st_->own;
}

EqData::EqData(EqDataBlock* block, bool wrap) : EqData() {
  if (block == nullptr) return;
  if (wrap) {
    blk_ = block;
    wrap_ = true;
    st_->type = block->data_type;
    st_->explicit_type = true;
    return;
  }
  EqDataBlock& own = st_->own;
  own.data_type = block->data_type;
  own.error = block->error;
  own.tm = block->tm;
  own.tm_usec = block->tm_usec;
  own.mp_lo = block->mp_lo;
  own.mp_hi = block->mp_hi;
  own.unused0 = block->unused0;
  own.unused1 = block->unused1;
  own.unused2 = block->unused2;
  own.unused3 = block->unused3;
  const EqKind kind = eq_type_info(block->data_type).kind;
  if (kind == EqKind::kScalar || kind == EqKind::kFixed) own.value = block->value;
  st_->type = block->data_type;
  st_->explicit_type = true;
}

EqData::~EqData() = default;

int EqData::set_type(int id) {
  return eq_guarded([&]() -> int {
    A::sync(*this);
    if (!eq_same_family(blk_->data_type, id)) A::reset_value(*this, id, true);
    blk_->data_type = id;
    st_->type = id;
    st_->explicit_type = true;
    return EQ_OK;
  });
}

void EqData::set_event_id(quorm::EventId id) {
  blk_->mp_lo = id.low();
  blk_->mp_hi = id.high();
}

quorm::EventId EqData::get_event_id() const {
  return quorm::EventId((static_cast<uint64_t>(blk_->mp_hi) << 32) | blk_->mp_lo);
}

void EqData::set_timestamp(quorm::Timestamp ts) {
  blk_->tm = ts.seconds();
  blk_->tm_usec = ts.microseconds();
}

quorm::Timestamp EqData::get_timestamp() const {
  return quorm::Timestamp::from_sec_usec(blk_->tm, blk_->tm_usec);
}

int EqData::length() const {
  if (!A::usable(*this)) return 0;
  const EqValue& v = blk_->value;
  uint32_t n = 0;
  switch (A::info(*this).kind) {
    case EqKind::kNone:
    case EqKind::kIdOnly:
      return 0;
    case EqKind::kScalar:
    case EqKind::kFixed:
      return 1;
    case EqKind::kString:
    case EqKind::kArray:
      n = v.d_array.length;
      break;
    case EqKind::kSpectrum:
      n = v.d_spectrum.length;
      break;
    case EqKind::kGSpectrum:
      n = v.d_gspectrum.length;
      break;
    case EqKind::kImage:
      n = v.d_image.length;
      break;
    case EqKind::kBytes:
      n = v.d_byte.length;
      break;
    case EqKind::kMda:
      n = v.d_mda.length;
      break;
  }
  return static_cast<int>(n);
}

int EqData::length(int n) {
  if (n < 0) return EQ_ERR_ARG;
  if (wrap_) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    A::sync(*this);
    const EqKind kind = A::info(*this).kind;
    if (kind == EqKind::kArray || kind == EqKind::kBytes) {
      A::resize_array(*this, static_cast<uint32_t>(n));
    } else {
      st_->count = static_cast<uint32_t>(n);
    }
    return EQ_OK;
  });
}

namespace {

// Bytes of the parts of array element `e` of a type with parts.
long element_parts_size(int type, const unsigned char* e) {
  switch (type) {
    case DATA_A_USTR: {
      USTR u;
      memcpy(&u, e, sizeof(u));
      return u.str_len;
    }
    case DATA_A_XYZS: {
      XYZS x;
      memcpy(&x, e, sizeof(x));
      return x.str_len;
    }
    case DATA_KEYVAL: {
      EqKeyVal k;
      memcpy(&k, e, sizeof(k));
      return k.str_len;
    }
    case DATA_A_TS_SPECTRUM: {
      EqTsSpectrum t;
      memcpy(&t, e, sizeof(t));
      return static_cast<long>(t.spectrum.comment_len) + 4L * t.spectrum.length;
    }
    case DATA_A_TS_GSPECTRUM: {
      EqTsGSpectrum t;
      memcpy(&t, e, sizeof(t));
      return static_cast<long>(t.spectrum.comment_len) + 4L * t.spectrum.length;
    }
    default:
      return 0;
  }
}

}  // namespace

long EqData::size(int first, int count) const {
  if (first < 0 || count < -1) return -1;
  const EqTypeInfo& ti = A::info(*this);
  const EqValue& v = blk_->value;
  if (!A::usable(*this)) return first == 0 ? 0 : -1;
  if (ti.kind != EqKind::kArray) {
    if (first != 0) return -1;
    switch (ti.kind) {
      case EqKind::kScalar:
      case EqKind::kFixed:
        return ti.size;
      case EqKind::kString:
        return v.d_array.length;
      case EqKind::kSpectrum:
        return static_cast<long>(sizeof(SPECTRUM)) + v.d_spectrum.comment_len +
               4L * v.d_spectrum.length;
      case EqKind::kGSpectrum:
        return static_cast<long>(sizeof(GSPECTRUM)) + v.d_gspectrum.comment_len +
               4L * v.d_gspectrum.length;
      case EqKind::kImage:
        return static_cast<long>(sizeof(EqImage)) + v.d_image.comment_len + v.d_image.length;
      case EqKind::kBytes:
        return static_cast<long>(sizeof(EqByteArray)) + v.d_byte.length;
      case EqKind::kMda:
        return static_cast<long>(sizeof(EqMda)) + v.d_mda.comment_len +
               static_cast<long>(ti.size) * v.d_mda.length;
      default:
        return 0;
    }
  }
  const long n = v.d_array.length;
  if (first > n) return -1;
  const long k = count == -1 ? n - first : count;
  if (first + k > n) return -1;
  long total = k * static_cast<long>(ti.size);
  if (ti.parts) {
    for (long i = first; i < first + k; ++i) {
      const unsigned char* e = A::element(*this, static_cast<int>(i));
      if (e != nullptr) total += element_parts_size(ti.id, e);
    }
  }
  return total;
}
