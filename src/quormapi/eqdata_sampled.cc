// Spectra: single SPECTRUM / GSPECTRUM values and the time-stamped arrays
// of them. Each keeps its comment and its float samples as parts.
#include <cstring>

#include "eqdata.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

// Copies the comment and samples `S` (SPECTRUM or GSPECTRUM) refers to and
// returns the image pointing at the copies through `out`.
template <typename S>
int copy_parts(const S& v, Bytes* comment, Bytes* samples, S* out) {
  *out = v;
  out->pad0 = 0;
  out->pad1 = 0;
  out->comment_len = eq_copy_text(comment, v.comment, v.comment_len);
  if (!eq_copy_items(samples, v.data, v.length, sizeof(float))) return EQ_ERR_ARG;
  out->comment = reinterpret_cast<char*>(eq_data_or_null(*comment));
  out->data = reinterpret_cast<float*>(eq_data_or_null(*samples));
  return EQ_OK;
}

template <typename S>
int set_single(EqData& d, int natural, const S& v, S* slot) {
  if (d.is_wrapper()) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes comment, samples;
    S image;
    int rc = copy_parts(v, &comment, &samples, &image);
    if (rc != EQ_OK) return rc;
    rc = A::prepare_value(d, natural, true);
    if (rc != EQ_OK) return rc;
    EqDataStore& s = A::st(d);
    s.first.swap(comment);
    s.elems.swap(samples);
    *slot = image;
    return EQ_OK;
  });
}

// `E` is EqTsSpectrum or EqTsGSpectrum, `S` its spectrum type.
template <typename E, typename S>
int set_ts(EqData& d, int natural, const S& v, uint32_t id, uint16_t status, uint16_t flags,
           int index) {
  if (d.is_wrapper()) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes comment, samples;
    E element{};
    element.id = id;
    element.status = status;
    element.flags = flags;
    int rc = copy_parts(v, &comment, &samples, &element.spectrum);
    if (rc != EQ_OK) return rc;
    rc = A::prepare_element(d, natural, index, true);
    if (rc != EQ_OK) return rc;
    EqParts& parts = A::st(d).parts[static_cast<size_t>(index)];
    parts.a.swap(comment);
    parts.b.swap(samples);
    memcpy(A::element(d, index), &element, sizeof(element));
    return EQ_OK;
  });
}

}  // namespace

int EqData::set(const SPECTRUM& v) {
  return set_single(*this, DATA_SPECTRUM, v, &blk_->value.d_spectrum);
}

int EqData::set(const GSPECTRUM& v) {
  return set_single(*this, DATA_GSPECTRUM, v, &blk_->value.d_gspectrum);
}

int EqData::set_ts_spect(const SPECTRUM& v, uint32_t id, uint16_t status, uint16_t flags,
                         int index) {
  return set_ts<EqTsSpectrum>(*this, DATA_A_TS_SPECTRUM, v, id, status, flags, index);
}

int EqData::set_ts_gspect(const GSPECTRUM& v, uint32_t id, uint16_t status, uint16_t flags,
                          int index) {
  return set_ts<EqTsGSpectrum>(*this, DATA_A_TS_GSPECTRUM, v, id, status, flags, index);
}

const SPECTRUM* EqData::get_spectrum() const {
  if (!A::usable(*this) || type() != DATA_SPECTRUM) return nullptr;
  return &blk_->value.d_spectrum;
}

const GSPECTRUM* EqData::get_gspectrum() const {
  if (!A::usable(*this) || type() != DATA_GSPECTRUM) return nullptr;
  return &blk_->value.d_gspectrum;
}

const EqTsSpectrum* EqData::get_ts_spect(int i) const {
  if (type() != DATA_A_TS_SPECTRUM) return nullptr;
  return reinterpret_cast<const EqTsSpectrum*>(A::element(*this, i));
}

const EqTsGSpectrum* EqData::get_ts_gspect(int i) const {
  if (type() != DATA_A_TS_GSPECTRUM) return nullptr;
  return reinterpret_cast<const EqTsGSpectrum*>(A::element(*this, i));
}
