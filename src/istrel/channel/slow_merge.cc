// Merging newer slow-control values into a reader's local copy: existing
// entries of the copy are overwritten whole, nothing is appended, so the copy
// keeps its size. Reads stop at the last whole entry of each payload.
#include <cstdio>

#include "channel_block.h"

using namespace channel_detail;

namespace {

template <typename Entry, typename Subhead>
int64_t entries(const Subhead* sb) {
  const int64_t len = payload_length(sb);
  return len > 0 ? len / static_cast<int64_t>(sizeof(Entry)) : 0;
}

unsigned long address(const void* p) {
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(p));
}

// Checks both environment blocks; the 2010 form says why it refuses.
template <typename Subhead>
bool env_pair_refused(const Subhead* dst, const Subhead* src, int type, bool report) {
  bool refused = true;
  if (dst == nullptr && src == nullptr) {
    if (report) printf("copy_env_entries_2010() dst: 0x%lx  src: 0x%lx\n", 0ul, 0ul);
  } else if (dst == nullptr) {
    if (report)
      printf("copy_env_entries_2010() dst: 0x%lx  src: 0x%lx stype: %d\n", 0ul, address(src),
             src->dtype);
  } else if (src == nullptr) {
    if (report)
      printf("copy_env_entries_2010() dst: 0x%lx  src: 0x%lx  dtype: %d\n", address(dst), 0ul,
             dst->dtype);
  } else if (type_of(dst) != type || type_of(src) != type) {
    if (report)
      printf("copy_env_entries_2010() dst: 0x%lx  src: 0x%lx  dtype: %d  stype: %d\n", address(dst),
             address(src), dst->dtype, src->dtype);
  } else if (zipped(dst) || zipped(src)) {
    if (report) print_zipped("copy_env_entries", "_2010");
  } else {
    refused = false;
  }
  if (refused && report) fflush(stdout);
  return refused;
}

template <typename G>
bool copy_env(void* dest, void* source, bool report) {
  using Env = typename G::Env;
  auto* dst = static_cast<typename G::Subhead*>(dest);
  auto* src = static_cast<typename G::Subhead*>(source);
  if (env_pair_refused(dst, src, G::kEnvType, report)) return true;
  Env* d = reinterpret_cast<Env*>(payload(dst));
  const Env* s = reinterpret_cast<const Env*>(payload(src));
  const int64_t nd = entries<Env>(dst);
  const int64_t ns = entries<Env>(src);
  for (int64_t i = 0; i < nd; ++i) {
    for (int64_t j = 0; j < ns; ++j) {
      if (s[j].env_ch_idx == d[i].env_ch_idx) {
        if (&d[i] != &s[j]) memmove(&d[i], &s[j], sizeof(Env));
        break;
      }
    }
  }
  return false;
}

// True when both are update blocks that can be read.
template <typename G>
bool upd_pair_ok(const typename G::Subhead* dst, const typename G::Subhead* src) {
  return dst != nullptr && src != nullptr && type_of(dst) == G::kUpdType &&
         type_of(src) == G::kUpdType && !zipped(dst) && !zipped(src);
}

}  // namespace

extern "C" {

bool copy_env_entries_2009(void* dest, void* src) {
  return copy_env<Gen2009>(dest, src, false);
}

bool copy_env_entries_2010(void* dest, void* src) {
  return copy_env<Gen2010>(dest, src, true);
}

// Each entry of the source overwrites the first entry of the copy that has
// its name.
bool copy_upd_entries_2010(void* dest, void* source) {
  using Upd = Gen2010::Upd;
  auto* dst = static_cast<Gen2010::Subhead*>(dest);
  auto* src = static_cast<Gen2010::Subhead*>(source);
  if (!upd_pair_ok<Gen2010>(dst, src)) return true;
  Upd* d = reinterpret_cast<Upd*>(payload(dst));
  const Upd* s = reinterpret_cast<const Upd*>(payload(src));
  const int64_t nd = entries<Upd>(dst);
  const int64_t ns = entries<Upd>(src);
  for (int64_t j = 0; j < ns; ++j) {
    for (int64_t i = 0; i < nd; ++i) {
      if (fields_equal(d[i].upd_prop, s[j].upd_prop, sizeof(d[i].upd_prop))) {
        if (&d[i] != &s[j]) memmove(&d[i], &s[j], sizeof(Upd));
        break;
      }
    }
  }
  return false;
}

// Each entry of the copy takes the first entry of the source with its name.
bool copy_upd_entries_2009(void* dest, void* source) {
  using Upd = Gen2009::Upd;
  auto* dst = static_cast<Gen2009::Subhead*>(dest);
  auto* src = static_cast<Gen2009::Subhead*>(source);
  if (!upd_pair_ok<Gen2009>(dst, src)) return true;
  Upd* d = reinterpret_cast<Upd*>(payload(dst));
  const Upd* s = reinterpret_cast<const Upd*>(payload(src));
  const int64_t nd = entries<Upd>(dst);
  const int64_t ns = entries<Upd>(src);
  for (int64_t i = 0; i < nd; ++i) {
    for (int64_t j = 0; j < ns; ++j) {
      if (fields_equal(d[i].upd_prop, s[j].upd_prop, sizeof(d[i].upd_prop))) {
        if (&d[i] != &s[j]) memmove(&d[i], &s[j], sizeof(Upd));
        break;
      }
    }
  }
  return false;
}

}  // extern "C"
