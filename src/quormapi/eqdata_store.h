// Storage of an owning EqData and the helpers every setter and reader of the
// container shares: keeping the block's type and storage in step, preparing
// the container for a value of a given type, finding elements, copying parts.
//
// Storage layout by kind of value (see type_table.h):
//   kString:   elems = the chars with terminator
//   kArray:    elems = the element images; parts[i] = element i's parts
//              (a: string or comment, b: samples)
//   kBytes:    elems = the bytes
//   kSpectrum, kGSpectrum, kImage, kMda: first = comment, elems = samples,
//              image bytes or elements
// The pointers in the block's union always point into these vectors.
#ifndef HESK_QUORMAPI_EQDATA_STORE_H
#define HESK_QUORMAPI_EQDATA_STORE_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "eqdata.h"
#include "type_table.h"

using Bytes = std::vector<unsigned char>;

struct EqParts {
  Bytes a;
  Bytes b;
};

struct EqDataStore {
  EqDataBlock own{};     // the block of an owning container
  int type = DATA_NULL;  // type the value was laid out for
  bool explicit_type = false;
  // Element count of an array; for other types the count length(n) asked
  // for, used when the container next becomes an array.
  uint32_t count = 0;
  Bytes elems;
  Bytes first;
  std::vector<EqParts> parts;
};

struct EqDataAccess {
  static EqDataStore& st(EqData& d) { return *d.st_; }
  static const EqDataStore& st(const EqData& d) { return *d.st_; }
  static EqDataBlock* blk(const EqData& d) { return d.blk_; }
  static bool wrap(const EqData& d) { return d.wrap_; }

  static const EqTypeInfo& info(const EqData& d) { return eq_type_info(d.blk_->data_type); }

  // False when the caller wrote a data type of another family into an owning
  // container's block and no setter has run since: the union then still
  // holds the old value, which readers must not interpret.
  static bool usable(const EqData& d);

  // Takes over a data type written straight into the block: counts it as
  // explicit and, for an owning container, lays out an empty value for it.
  // May throw std::bad_alloc (the zeroed elements of an array).
  static void sync(EqData& d);

  // Drops the value and makes `type` current. An owning array (or byte
  // array) gets `count` zeroed elements when `alloc`, else none and a count
  // of 0. Commits only after every allocation succeeded; may throw
  // std::bad_alloc. Without `alloc` it does not throw.
  static void reset_value(EqData& d, int type, bool alloc);

  // The type a setter of `natural` type stores under: the current type when
  // it was set explicitly and takes the same kind of value, else `natural`.
  static int resolve(const EqData& d, int natural);

  // Prepares a non-indexed setter: resolves the type, refuses a wrap
  // container when the value needs storage, drops a value of another kind
  // and makes the type current. The array and byte kinds get no elements.
  static int prepare_value(EqData& d, int natural, bool needs_storage);

  // Prepares an indexed setter: resolves the type, switches an owning
  // container to it (with `count` zeroed elements) when it is of another
  // kind, and checks `index` against the array. A wrap container is refused
  // when the type would change or when the element needs storage.
  static int prepare_element(EqData& d, int natural, int index, bool needs_storage);

  // Element `i` of a kArray value, or null when out of range.
  static unsigned char* element(const EqData& d, int i);

  // Points the array view at the owning storage (null when empty).
  static void attach_array(EqData& d);

  // Replaces the owning array storage by `n` elements, keeping the first
  // ones; may throw std::bad_alloc.
  static void resize_array(EqData& d, uint32_t n);
};

// Length of the text at `s`: `len` bytes up to the first NUL, or up to the
// NUL when `len` is 0.
uint32_t eq_text_length(const char* s, uint32_t len);

// Copies text (see eq_text_length) with a terminator into `dst`; returns the
// held length (0 and an empty `dst` for a null `s`).
uint32_t eq_copy_text(Bytes* dst, const char* s, uint32_t len);

// `n` zero bytes; throws std::bad_alloc above EQ_MAX_STORAGE.
Bytes eq_zeroed(size_t n);

// `n` empty part holders; throws std::bad_alloc when their own size would
// exceed EQ_MAX_STORAGE.
std::vector<EqParts> eq_parts(size_t n);

// Copies `n` items of `size` bytes; false for a null `src` with n > 0.
bool eq_copy_items(Bytes* dst, const void* src, uint32_t n, size_t size);

// Pointer to the data of `v`, null when empty.
inline unsigned char* eq_data_or_null(Bytes& v) {
  return v.empty() ? nullptr : v.data();
}

// Length of a text part as a reader sees it: at most `len` bytes, up to NUL.
inline size_t eq_part_text_length(const char* s, uint32_t len) {
  return s == nullptr ? 0 : strnlen(s, len);
}

// Runs a setter body that allocates; allocation failures become
// EQ_ERR_NOMEM.
template <typename F>
int eq_guarded(F&& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return EQ_ERR_NOMEM;
  } catch (const std::length_error&) {
    return EQ_ERR_NOMEM;
  }
}

#endif  // HESK_QUORMAPI_EQDATA_STORE_H
