// Keeping an EqData's block, type and storage in step.
#include "eqdata_store.h"

#include <algorithm>
#include <cstring>
#include <utility>

bool EqDataAccess::usable(const EqData& d) {
  return d.wrap_ || eq_same_family(d.blk_->data_type, d.st_->type);
}

void EqDataAccess::sync(EqData& d) {
  EqDataStore& s = *d.st_;
  const int t = d.blk_->data_type;
  if (t == s.type) return;
  s.explicit_type = true;
  if (d.wrap_ || eq_same_family(t, s.type)) {
    s.type = t;
    return;
  }
  reset_value(d, t, true);
}

void EqDataAccess::reset_value(EqData& d, int type, bool alloc) {
  EqDataStore& s = *d.st_;
  EqDataBlock* b = d.blk_;
  const EqTypeInfo& ti = eq_type_info(type);
  if (d.wrap_) {
    memset(&b->value, 0, sizeof(b->value));
    b->data_type = type;
    s.type = type;
    return;
  }
  const bool counted = ti.kind == EqKind::kArray || ti.kind == EqKind::kBytes;
  const uint32_t n = (counted && alloc) ? s.count : 0;
  Bytes elems = eq_zeroed(static_cast<size_t>(n) * ti.size);
  std::vector<EqParts> parts = eq_parts(ti.parts ? n : 0);

  s.elems.swap(elems);
  s.parts.swap(parts);
  Bytes().swap(s.first);
  memset(&b->value, 0, sizeof(b->value));
  b->data_type = type;
  s.type = type;
  if (counted) s.count = n;
  if (ti.kind == EqKind::kArray) attach_array(d);
  if (ti.kind == EqKind::kBytes) {
    b->value.d_byte.length = n;
    b->value.d_byte.bytes = eq_data_or_null(s.elems);
  }
}

int EqDataAccess::resolve(const EqData& d, int natural) {
  const int cur = d.blk_->data_type;
  return (d.st_->explicit_type && eq_same_family(cur, natural)) ? cur : natural;
}

int EqDataAccess::prepare_value(EqData& d, int natural, bool needs_storage) {
  if (d.wrap_ && needs_storage) return EQ_ERR_WRAP;
  int rc = eq_guarded([&]() -> int {
    sync(d);
    return EQ_OK;
  });
  if (rc != EQ_OK) return rc;
  EqDataStore& s = *d.st_;
  const int cur = d.blk_->data_type;
  const int target = resolve(d, natural);
  if (!eq_same_family(cur, target)) reset_value(d, target, false);
  d.blk_->data_type = target;
  s.type = target;
  if (target != cur) s.explicit_type = false;
  return EQ_OK;
}

int EqDataAccess::prepare_element(EqData& d, int natural, int index, bool needs_storage) {
  if (index < 0) return EQ_ERR_RANGE;
  if (d.wrap_ && needs_storage) return EQ_ERR_WRAP;
  return eq_guarded([&]() -> int {
    sync(d);
    EqDataStore& s = *d.st_;
    const int cur = d.blk_->data_type;
    const int target = resolve(d, natural);
    if (eq_same_family(cur, target)) {
      const EqArray& a = d.blk_->value.d_array;
      if (static_cast<uint32_t>(index) >= a.length || a.data == nullptr) return EQ_ERR_RANGE;
    } else {
      if (d.wrap_) return EQ_ERR_TYPE;
      if (static_cast<uint32_t>(index) >= s.count) return EQ_ERR_RANGE;
      reset_value(d, target, true);
    }
    d.blk_->data_type = target;
    s.type = target;
    if (target != cur) s.explicit_type = false;
    return EQ_OK;
  });
}

unsigned char* EqDataAccess::element(const EqData& d, int i) {
  const EqTypeInfo& ti = info(d);
  if (ti.kind != EqKind::kArray || i < 0 || !usable(d)) return nullptr;
  const EqArray& a = d.blk_->value.d_array;
  if (static_cast<uint32_t>(i) >= a.length || a.data == nullptr) return nullptr;
  return static_cast<unsigned char*>(a.data) + static_cast<size_t>(i) * ti.size;
}

void EqDataAccess::attach_array(EqData& d) {
  d.blk_->value.d_array.length = d.st_->count;
  d.blk_->value.d_array.pad = 0;
  d.blk_->value.d_array.data = eq_data_or_null(d.st_->elems);
}

void EqDataAccess::resize_array(EqData& d, uint32_t n) {
  EqDataStore& s = *d.st_;
  const EqTypeInfo& ti = info(d);
  Bytes elems = eq_zeroed(static_cast<size_t>(n) * ti.size);
  if (!elems.empty() && !s.elems.empty()) {
    memcpy(elems.data(), s.elems.data(), std::min(elems.size(), s.elems.size()));
  }
  std::vector<EqParts> parts = eq_parts(ti.parts ? n : 0);
  // Moving a part keeps its heap buffer, so the copied element images still
  // point at valid parts.
  for (size_t i = 0; i < parts.size() && i < s.parts.size(); ++i) parts[i] = std::move(s.parts[i]);
  s.elems.swap(elems);
  s.parts.swap(parts);
  s.count = n;
  if (ti.kind == EqKind::kBytes) {
    d.blk_->value.d_byte.length = n;
    d.blk_->value.d_byte.bytes = eq_data_or_null(s.elems);
  } else {
    attach_array(d);
  }
}

uint32_t eq_text_length(const char* s, uint32_t len) {
  if (s == nullptr) return 0;
  return static_cast<uint32_t>(len == 0 ? strlen(s) : strnlen(s, len));
}

uint32_t eq_copy_text(Bytes* dst, const char* s, uint32_t len) {
  if (s == nullptr) {
    dst->clear();
    return 0;
  }
  const uint32_t n = eq_text_length(s, len);
  Bytes text = eq_zeroed(static_cast<size_t>(n) + 1);
  memcpy(text.data(), s, n);
  dst->swap(text);
  return n + 1;
}

bool eq_copy_items(Bytes* dst, const void* src, uint32_t n, size_t size) {
  if (src == nullptr && n > 0) return false;
  Bytes items = eq_zeroed(static_cast<size_t>(n) * size);
  if (n > 0) memcpy(items.data(), src, items.size());
  dst->swap(items);
  return true;
}

Bytes eq_zeroed(size_t n) {
  if (n > EQ_MAX_STORAGE) throw std::bad_alloc();
  return Bytes(n, 0);
}

std::vector<EqParts> eq_parts(size_t n) {
  if (n > EQ_MAX_STORAGE / sizeof(EqParts)) throw std::bad_alloc();
  return std::vector<EqParts>(n);
}
