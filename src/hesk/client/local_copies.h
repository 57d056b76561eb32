// The process's local copies of the slow-control sub-blocks (environment
// dictionary, environment values, updates, begin of run, end of run) and
// the mutex mx_lcp that guards them. Each copy is null or a zero-filled heap
// block of exactly its sub-block's ldata bytes holding the whole sub-block as
// it arrived; a copy keeps its size, later values are merged into its
// entries, and only clean_local_copies frees it.
#ifndef HESK_CLIENT_LOCAL_COPIES_H
#define HESK_CLIENT_LOCAL_COPIES_H

#include <cstdint>
#include <mutex>

#include "event.h"

namespace hesk_client {

enum CopyKind { kDictCopy = 0, kEnvCopy, kUpdCopy, kBorCopy, kEorCopy, kCopyKinds };

// Holds mx_lcp for its lifetime; every access to the copies goes through
// one of these.
class CopiesLock {
 public:
  CopiesLock();
  CopiesLock(const CopiesLock&) = delete;
  CopiesLock& operator=(const CopiesLock&) = delete;

  // The copy of that kind, or null.
  kova_serv_block_subhead_2010* get(CopyKind k) const;
  // Makes the copy of that kind from `sub` (its ldata bytes) unless one
  // exists. false when made or already there; true when out of memory.
  // REQUIRES: ldata >= the head size and ldata bytes readable at sub.
  bool keep_first(CopyKind k, const kova_serv_block_subhead_2010* sub, int64_t ldata);
  // Frees every copy (begin of run, environment, update, end of run,
  // dictionary, in that order).
  void clear();

 private:
  std::lock_guard<std::mutex> guard_;
};

}  // namespace hesk_client

#endif  // HESK_CLIENT_LOCAL_COPIES_H
