// The five local copies and mx_lcp.
#include "local_copies.h"

#include <cstdlib>
#include <cstring>

#include "hesk_util.h"

namespace hesk_client {

namespace {

// Statically initialised (constexpr constructor), so it is usable from any
// thread before main and after other statics.
std::mutex mx_lcp;

kova_serv_block_subhead_2010* local_copy_[kCopyKinds] = {};

}  // namespace

CopiesLock::CopiesLock() : guard_(mx_lcp) {}

kova_serv_block_subhead_2010* CopiesLock::get(CopyKind k) const {
  return local_copy_[k];
}

bool CopiesLock::keep_first(CopyKind k, const kova_serv_block_subhead_2010* sub, int64_t ldata) {
  if (local_copy_[k] != nullptr) return false;
  void* copy = calloc(1, static_cast<size_t>(ldata));
  if (copy == nullptr) return true;
  memcpy(copy, sub, static_cast<size_t>(ldata));
  local_copy_[k] = static_cast<kova_serv_block_subhead_2010*>(copy);
  return false;
}

void CopiesLock::clear() {
  for (CopyKind k : {kBorCopy, kEnvCopy, kUpdCopy, kEorCopy, kDictCopy}) {
    free(local_copy_[k]);
    local_copy_[k] = nullptr;
  }
}

}  // namespace hesk_client

void clean_local_copies() {
  hesk_client::CopiesLock lock;
  lock.clear();
}

extern "C" void hesk_util_init() {
  clean_local_copies();
}
