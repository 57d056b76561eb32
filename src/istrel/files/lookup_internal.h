// Channel dictionary lookups of one generation, shared by the exported
// lookups, the by-list builder and the environment dictionary printer.
#ifndef HESK_FILES_LOOKUP_INTERNAL_H
#define HESK_FILES_LOOKUP_INTERNAL_H

#include "files_internal.h"

namespace files_detail {

// Entries of a host-order dictionary; 0 when its length holds none.
template <typename G>
int64_t dictionary_entries(const typename G::Cdt* tab) {
  const int64_t body = static_cast<int64_t>(tab->length) - static_cast<int64_t>(G::kHeader);
  return body > 0 ? body / static_cast<int64_t>(G::kCdtEntry) : 0;
}

template <typename G>
int find_by_key(typename G::Cdt* tab, unsigned int key, typename G::CdtEntry** res, int mode);
template <typename G>
int find_by_name(typename G::Cdt* tab, const char* name, typename G::CdtEntry** res);

}  // namespace files_detail

#endif  // HESK_FILES_LOOKUP_INTERNAL_H
