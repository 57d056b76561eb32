// Images (header, comment, image bytes), byte arrays with their five
// parameters, and multi-dimensional float and double arrays.
#include <cstring>

#include "eqdata.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

// Element count of `ndims` dimensions; -1 when a dimension is below 1, the
// number of dimensions is outside 1..EQ_MDA_MAX_DIMS or the product does not
// fit in 31 bits.
long element_count(const int32_t* dims, int ndims) {
  if (dims == nullptr || ndims < 1 || ndims > EQ_MDA_MAX_DIMS) return -1;
  long n = 1;
  for (int k = 0; k < ndims; ++k) {
    if (dims[k] < 1) return -1;
    n *= dims[k];
    if (n > INT32_MAX) return -1;
  }
  return n;
}

int set_mda(EqData& d, int natural, const int32_t* dims, int ndims, const char* comment,
            const void* data, size_t elem_size) {
  const long n = element_count(dims, ndims);
  if (n < 0) return EQ_ERR_ARG;
  if (d.is_wrapper()) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes text, elems = eq_zeroed(static_cast<size_t>(n) * elem_size);
    const uint32_t comment_len = eq_copy_text(&text, comment, 0);
    if (data != nullptr) memcpy(elems.data(), data, elems.size());
    const int rc = A::prepare_value(d, natural, true);
    if (rc != EQ_OK) return rc;
    EqDataStore& s = A::st(d);
    s.first.swap(text);
    s.elems.swap(elems);
    EqMda m{};
    m.comment_len = comment_len;
    m.comment = reinterpret_cast<char*>(eq_data_or_null(s.first));
    m.ndims = ndims;
    memcpy(m.dims, dims, static_cast<size_t>(ndims) * sizeof(int32_t));
    m.length = static_cast<uint32_t>(n);
    m.data = eq_data_or_null(s.elems);
    d.get_data_block()->value.d_mda = m;
    return EQ_OK;
  });
}

}  // namespace

int EqData::set_image(const unsigned char* bytes, int length, const IMH& header, bool keep_time,
                      bool keep_event_id, const char* comment) {
  if (length < 0 || (bytes == nullptr && length > 0)) return EQ_ERR_ARG;
  if (wrap_) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes text, image;
    const uint32_t comment_len = eq_copy_text(&text, comment, 0);
    eq_copy_items(&image, bytes, static_cast<uint32_t>(length), 1);
    const int rc = A::prepare_value(*this, DATA_IMAGE, true);
    if (rc != EQ_OK) return rc;
    st_->first.swap(text);
    st_->elems.swap(image);
    EqImage v{};
    v.header = header;
    v.comment_len = comment_len;
    v.comment = reinterpret_cast<char*>(eq_data_or_null(st_->first));
    v.length = static_cast<uint32_t>(length);
    v.bytes = eq_data_or_null(st_->elems);
    blk_->value.d_image = v;
    if (!keep_time) {
      blk_->tm = header.tm;
      blk_->tm_usec = static_cast<int32_t>(header.tm_usec);
    }
    if (!keep_event_id) {
      blk_->mp_lo = header.event_lo;
      blk_->mp_hi = header.event_hi;
    }
    return EQ_OK;
  });
}

int EqData::set_image_timestamp_and_status(quorm::Timestamp ts, int32_t status) {
  const int rc = eq_guarded([&]() -> int {
    A::sync(*this);
    return EQ_OK;
  });
  if (rc != EQ_OK) return rc;
  if (type() != DATA_IMAGE) return EQ_ERR_TYPE;
  IMH& h = blk_->value.d_image.header;
  h.tm = static_cast<uint32_t>(ts.seconds());
  h.tm_usec = static_cast<uint32_t>(ts.microseconds());
  h.status = status;
  set_timestamp(ts);
  return EQ_OK;
}

const EqImage* EqData::get_image() const {
  if (!A::usable(*this) || type() != DATA_IMAGE) return nullptr;
  return &blk_->value.d_image;
}

const char* EqData::get_image_comm() const {
  const EqImage* v = get_image();
  return (v == nullptr || v->comment_len == 0) ? nullptr : v->comment;
}

int EqData::set_byte(const unsigned char* bytes, int length, const int32_t* prm) {
  if (length < 0 || (bytes == nullptr && length > 0)) return EQ_ERR_ARG;
  if (wrap_) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes copy;
    eq_copy_items(&copy, bytes, static_cast<uint32_t>(length), 1);
    const int rc = A::prepare_value(*this, DATA_A_BYTE, true);
    if (rc != EQ_OK) return rc;
    st_->elems.swap(copy);
    st_->count = static_cast<uint32_t>(length);
    EqByteArray v{};
    if (prm != nullptr) memcpy(v.prm, prm, sizeof(v.prm));
    v.length = static_cast<uint32_t>(length);
    v.bytes = eq_data_or_null(st_->elems);
    blk_->value.d_byte = v;
    return EQ_OK;
  });
}

const EqByteArray* EqData::get_byte() const {
  if (!A::usable(*this) || type() != DATA_A_BYTE) return nullptr;
  return &blk_->value.d_byte;
}

int EqData::set_dims(const int32_t* dims, int ndims, const char* comment, const float* data) {
  return set_mda(*this, DATA_MDA_FLOAT, dims, ndims, comment, data, sizeof(float));
}

int EqData::set_dimsd(const int32_t* dims, int ndims, const char* comment, const double* data) {
  return set_mda(*this, DATA_MDA_DOUBLE, dims, ndims, comment, data, sizeof(double));
}

const EqMda* EqData::get_mda_header() const {
  if (!A::usable(*this) || eq_type_info(type()).kind != EqKind::kMda) return nullptr;
  return &blk_->value.d_mda;
}

const float* EqData::get_mda() const {
  if (type() != DATA_MDA_FLOAT || get_mda_header() == nullptr) return nullptr;
  return static_cast<const float*>(blk_->value.d_mda.data);
}

float* EqData::get_mda() {
  return const_cast<float*>(static_cast<const EqData*>(this)->get_mda());
}

const double* EqData::get_mdad() const {
  if (type() != DATA_MDA_DOUBLE || get_mda_header() == nullptr) return nullptr;
  return static_cast<const double*>(blk_->value.d_mda.data);
}

double* EqData::get_mdad() {
  return const_cast<double*>(static_cast<const EqData*>(this)->get_mdad());
}
