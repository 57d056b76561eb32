// Structure readers, and the array elements that carry a string part (USTR,
// XYZS).
#include <cstring>

#include "eqdata.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

// The single value of `fixed_type` (i = 0) or element `i` of `array_type`.
const void* fixed_or_element(const EqData& d, int fixed_type, int array_type, int i) {
  if (!A::usable(d)) return nullptr;
  const int family = eq_family(d.type());
  if (family == fixed_type && fixed_type != DATA_NULL) {
    return i == 0 ? &d.get_data_block()->value : nullptr;
  }
  if (family == array_type) return A::element(d, i);
  return nullptr;
}

// Copies the string of an element image into the element's part and points
// the image at it. `T` is USTR or XYZS.
template <typename T>
int set_with_string(EqData& d, int natural, const T& v, int index) {
  if (d.is_wrapper()) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes text;
    const uint32_t len = eq_copy_text(&text, v.str, v.str_len);
    const int rc = A::prepare_element(d, natural, index, true);
    if (rc != EQ_OK) return rc;
    EqDataStore& s = A::st(d);
    EqParts& parts = s.parts[static_cast<size_t>(index)];
    parts.a.swap(text);
    T image = v;
    image.pad = 0;
    image.str_len = len;
    image.str = reinterpret_cast<char*>(eq_data_or_null(parts.a));
    memcpy(A::element(d, index), &image, sizeof(image));
    return EQ_OK;
  });
}

}  // namespace

int EqData::set(const USTR& v, int index) {
  return set_with_string(*this, DATA_A_USTR, v, index);
}
int EqData::set(const XYZS& v, int index) {
  return set_with_string(*this, DATA_A_XYZS, v, index);
}

const XY* EqData::get_xy(int i) const {
  return static_cast<const XY*>(fixed_or_element(*this, DATA_XY, DATA_A_XY, i));
}

const TDS* EqData::get_tds(int i) const {
  return static_cast<const TDS*>(fixed_or_element(*this, DATA_TDS, DATA_A_TDS, i));
}

const IFFF* EqData::get_ifff() const {
  return static_cast<const IFFF*>(fixed_or_element(*this, DATA_IFFF, -1, 0));
}

const IIII* EqData::get_iiii() const {
  return static_cast<const IIII*>(fixed_or_element(*this, DATA_IIII, -1, 0));
}

const TTII* EqData::get_ttii() const {
  return static_cast<const TTII*>(fixed_or_element(*this, DATA_TTII, -1, 0));
}

const USTR* EqData::get_ustr(int i) const {
  return static_cast<const USTR*>(fixed_or_element(*this, DATA_NULL, DATA_A_USTR, i));
}

const XYZS* EqData::get_xyzs(int i) const {
  return static_cast<const XYZS*>(fixed_or_element(*this, DATA_NULL, DATA_A_XYZS, i));
}

const THUMBNAIL* EqData::get_thumbnail(int i) const {
  return static_cast<const THUMBNAIL*>(fixed_or_element(*this, DATA_NULL, DATA_A_THUMBNAIL, i));
}
