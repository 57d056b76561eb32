// The extents of whole-file mappings, so that readers given only a mapping
// base can check every offset and length against the mapping's end. A short
// list guarded by a mutex; the newest description of a base wins.
#include <mutex>
#include <vector>

#include "files_internal.h"

namespace files_detail {

namespace {

struct Extent {
  const unsigned char* base;
  uint64_t length;
};

constexpr size_t kMaxExtents = 64;  // oldest descriptions are dropped beyond this

std::mutex& registry_mutex() {
  static std::mutex m;
  return m;
}

std::vector<Extent>& registry() {
  static std::vector<Extent> r;
  return r;
}

}  // namespace

void remember_mapping(const void* base, uint64_t length) {
  if (base == nullptr) return;
  const auto* b = static_cast<const unsigned char*>(base);
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto& r = registry();
  for (auto it = r.begin(); it != r.end(); ++it) {
    if (it->base == b) {
      r.erase(it);
      break;
    }
  }
  if (r.size() >= kMaxExtents) r.erase(r.begin());
  r.push_back({b, length});
}

void forget_mapping(const void* base) {
  const auto* b = static_cast<const unsigned char*>(base);
  std::lock_guard<std::mutex> lock(registry_mutex());
  auto& r = registry();
  for (auto it = r.begin(); it != r.end(); ++it) {
    if (it->base == b) {
      r.erase(it);
      return;
    }
  }
}

uint64_t readable_from(const void* p) {
  const auto* q = static_cast<const unsigned char*>(p);
  std::lock_guard<std::mutex> lock(registry_mutex());
  const auto& r = registry();
  // Newest first: a base described again replaces what was known about it.
  for (auto it = r.rbegin(); it != r.rend(); ++it) {
    if (q >= it->base && static_cast<uint64_t>(q - it->base) < it->length)
      return it->length - static_cast<uint64_t>(q - it->base);
    if (q == it->base) return 0;  // an empty mapping
  }
  return kUnknownExtent;
}

}  // namespace files_detail
