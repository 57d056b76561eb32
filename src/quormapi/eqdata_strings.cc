// String values (DATA_STRING, DATA_TEXT, DATA_XML) and key/value lists
// (DATA_KEYVAL: one "key:value" string per element).
#include <cstring>
#include <string>
#include <utility>

#include "eqdata.h"
#include "eqdata_store.h"

using A = EqDataAccess;

namespace {

int set_text(EqData& d, int natural, const char* text) {
  if (text == nullptr) return EQ_ERR_ARG;
  if (d.is_wrapper()) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    Bytes chars;
    const uint32_t len = eq_copy_text(&chars, text, 0);
    const int rc = A::prepare_value(d, natural, true);
    if (rc != EQ_OK) return rc;
    EqDataStore& s = A::st(d);
    s.elems.swap(chars);
    EqArray& a = d.get_data_block()->value.d_array;
    a.length = len;
    a.pad = 0;
    a.data = eq_data_or_null(s.elems);
    return EQ_OK;
  });
}

EqKeyVal keyval_at(const EqData& d, int i) {
  EqKeyVal k{};
  const unsigned char* e = A::element(d, i);
  if (e != nullptr) memcpy(&k, e, sizeof(k));
  return k;
}

// Index of the element whose key is `key`, or -1.
int find_key(const EqData& d, const char* key) {
  if (eq_family(d.type()) != DATA_KEYVAL) return -1;
  const size_t klen = strlen(key);
  for (int i = 0; i < d.length(); ++i) {
    const EqKeyVal k = keyval_at(d, i);
    const size_t n = eq_part_text_length(k.str, k.str_len);
    if (n > klen && k.str[klen] == ':' && memcmp(k.str, key, klen) == 0) return i;
  }
  return -1;
}

}  // namespace

int EqData::set(const char* text) {
  return set_text(*this, DATA_STRING, text);
}
int EqData::set_xml(const char* text) {
  return set_text(*this, DATA_XML, text);
}

int EqData::clear_keys() {
  if (wrap_) return EQ_ERR_WRAP;
  const int rc = A::prepare_value(*this, DATA_KEYVAL, true);
  if (rc != EQ_OK) return rc;
  Bytes().swap(st_->elems);
  std::vector<EqParts>().swap(st_->parts);
  st_->count = 0;
  A::attach_array(*this);
  return EQ_OK;
}

int EqData::set_val(const char* key, const char* value) {
  if (key == nullptr || value == nullptr || key[0] == '\0' || strchr(key, ':') != nullptr) {
    return EQ_ERR_ARG;
  }
  if (wrap_) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    A::sync(*this);
    const std::string joined = std::string(key) + ":" + value;
    Bytes text;
    const uint32_t len = eq_copy_text(&text, joined.c_str(), 0);
    EqKeyVal image{};
    image.str_len = len;

    const int found = find_key(*this, key);
    if (found >= 0) {
      EqParts& parts = st_->parts[static_cast<size_t>(found)];
      parts.a.swap(text);
      image.str = reinterpret_cast<char*>(parts.a.data());
      memcpy(A::element(*this, found), &image, sizeof(image));
      return EQ_OK;
    }

    // Append: build the longer arrays first so that a failed allocation
    // leaves the list as it was.
    const bool is_list = eq_family(type()) == DATA_KEYVAL && A::usable(*this);
    const uint32_t n = is_list ? st_->count : 0;
    Bytes elems = eq_zeroed((static_cast<size_t>(n) + 1) * sizeof(EqKeyVal));
    if (n > 0) memcpy(elems.data(), st_->elems.data(), static_cast<size_t>(n) * sizeof(EqKeyVal));
    std::vector<EqParts> parts;
    parts.reserve(static_cast<size_t>(n) + 1);

    const int rc = A::prepare_value(*this, DATA_KEYVAL, true);
    if (rc != EQ_OK) return rc;
    for (uint32_t i = 0; i < n; ++i) parts.push_back(std::move(st_->parts[i]));
    parts.emplace_back();
    parts.back().a.swap(text);
    image.str = reinterpret_cast<char*>(parts.back().a.data());
    memcpy(elems.data() + static_cast<size_t>(n) * sizeof(EqKeyVal), &image, sizeof(image));
    st_->elems.swap(elems);
    st_->parts.swap(parts);
    st_->count = n + 1;
    A::attach_array(*this);
    return EQ_OK;
  });
}

int EqData::get_val(const char* key, char* buffer, int size) const {
  if (key == nullptr || buffer == nullptr || size < 1 || !A::usable(*this)) return EQ_ERR_ARG;
  buffer[0] = '\0';
  const int i = find_key(*this, key);
  if (i < 0) return EQ_ERR_ARG;
  const EqKeyVal k = keyval_at(*this, i);
  const size_t n = eq_part_text_length(k.str, k.str_len);
  const size_t start = strlen(key) + 1;
  size_t m = n - start;
  if (m > static_cast<size_t>(size) - 1) m = static_cast<size_t>(size) - 1;
  memcpy(buffer, k.str + start, m);
  buffer[m] = '\0';
  return EQ_OK;
}
