// Channel dictionary entries by key (binary search over a dictionary sorted
// by key, with an optional linear fallback) and by name (first exact match).
#include <cstring>

#include "lookup_internal.h"

namespace files_detail {

template <typename G>
int find_by_key(typename G::Cdt* tab, unsigned int key, typename G::CdtEntry** res, int mode) {
  if (tab == nullptr || res == nullptr) return -1;
  if (tab->pattern != G::kCdt) return -5;
  if (static_cast<uint64_t>(tab->length) == G::kHeader) return -7;
  *res = nullptr;
  const int64_t n = dictionary_entries<G>(tab);
  typename G::CdtEntry* e = tab->chan_dictionary_entry;
  int64_t low = 0, high = n - 1;
  while (low <= high) {
    const int64_t mid = (low + high) >> 1;
    if (e[mid].key > key) {
      high = mid - 1;
    } else if (e[mid].key < key) {
      low = mid + 1;
    } else {
      if (mode == 0) *res = &e[mid];
      return static_cast<int>(mid);
    }
  }
  if (mode == 0) return -1;
  // The dictionary may not be sorted: look at every entry.
  for (int64_t i = 0; i < n; ++i) {
    if (e[i].key == key) {
      *res = &e[i];
      return static_cast<int>(i);
    }
  }
  return -1;
}

template <typename G>
int find_by_name(typename G::Cdt* tab, const char* name, typename G::CdtEntry** res) {
  if (tab == nullptr || name == nullptr || name[0] == '\0' || res == nullptr) return -1;
  if (tab->pattern != G::kCdt) return -5;
  if (static_cast<uint64_t>(tab->length) == G::kHeader) return -7;
  *res = nullptr;
  const int64_t n = dictionary_entries<G>(tab);
  if (n < 1) return -1;
  const size_t want = strlen(name);
  typename G::CdtEntry* e = tab->chan_dictionary_entry;
  for (int64_t i = 0; i < n; ++i) {
    // A name that fills its field has no terminator: compare within the field.
    const size_t have = strnlen(e[i].chan_name, sizeof(e[i].chan_name));
    if (have == want && memcmp(e[i].chan_name, name, want) == 0) {
      *res = &e[i];
      return static_cast<int>(i);
    }
  }
  return -1;
}

template int find_by_key<Gen2009>(kova_chan_dictionary_table*, unsigned int,
                                  kova_chan_dictionary_entry**, int);
template int find_by_key<Gen2010>(kova_chan_dictionary_table_2010*, unsigned int,
                                  kova_chan_dictionary_entry_2010**, int);
template int find_by_key<Gen2024>(kova_chan_dictionary_table_2024*, unsigned int,
                                  kova_chan_dictionary_entry_2024**, int);
template int find_by_name<Gen2009>(kova_chan_dictionary_table*, const char*,
                                   kova_chan_dictionary_entry**);
template int find_by_name<Gen2010>(kova_chan_dictionary_table_2010*, const char*,
                                   kova_chan_dictionary_entry_2010**);
template int find_by_name<Gen2024>(kova_chan_dictionary_table_2024*, const char*,
                                   kova_chan_dictionary_entry_2024**);

}  // namespace files_detail

using namespace files_detail;

namespace {

// A lookup in a dictionary that lies in a mapping whose file shrank meanwhile
// found nothing the file holds.
template <typename E>
int checked_lookup(const void* tab, int rc, E** res) {
  if (tab == nullptr || !damaged(tab)) return rc;
  if (res != nullptr) *res = nullptr;
  return KOVA_MAPPING_DAMAGED;
}

}  // namespace

int kova_find_channel_by_key(kova_chan_dictionary_table* tab, unsigned int key,
                             kova_chan_dictionary_entry** res, int mode) {
  return checked_lookup(tab, find_by_key<Gen2009>(tab, key, res, mode), res);
}

int kova_find_channel_by_key_2010(kova_chan_dictionary_table_2010* tab, unsigned int key,
                                  kova_chan_dictionary_entry_2010** res, int mode) {
  return checked_lookup(tab, find_by_key<Gen2010>(tab, key, res, mode), res);
}

int kova_find_channel_by_key_2024(kova_chan_dictionary_table_2024* tab, unsigned int key,
                                  kova_chan_dictionary_entry_2024** res, int mode) {
  return checked_lookup(tab, find_by_key<Gen2024>(tab, key, res, mode), res);
}

int kova_find_channel_by_key(void* tab, unsigned int key, void** res, int mode) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_find_channel_by_key_2010(static_cast<kova_chan_dictionary_table_2010*>(tab), key,
                                           reinterpret_cast<kova_chan_dictionary_entry_2010**>(res),
                                           mode);
    case Gen::k2009:
      return kova_find_channel_by_key(static_cast<kova_chan_dictionary_table*>(tab), key,
                                      reinterpret_cast<kova_chan_dictionary_entry**>(res), mode);
    default:
      return kova_find_channel_by_key_2024(static_cast<kova_chan_dictionary_table_2024*>(tab), key,
                                           reinterpret_cast<kova_chan_dictionary_entry_2024**>(res),
                                           mode);
  }
}

int kova_find_channel_by_name(kova_chan_dictionary_table* tab, char* name,
                              kova_chan_dictionary_entry** res) {
  return checked_lookup(tab, find_by_name<Gen2009>(tab, name, res), res);
}

int kova_find_channel_by_name_2010(kova_chan_dictionary_table_2010* tab, char* name,
                                   kova_chan_dictionary_entry_2010** res) {
  return checked_lookup(tab, find_by_name<Gen2010>(tab, name, res), res);
}

int kova_find_channel_by_name_2024(kova_chan_dictionary_table_2024* tab, char* name,
                                   kova_chan_dictionary_entry_2024** res) {
  return checked_lookup(tab, find_by_name<Gen2024>(tab, name, res), res);
}

int kova_find_channel_by_name(void* tab, char* name, void** res) {
  switch (flags_generation()) {
    case Gen::k2010:
      return kova_find_channel_by_name_2010(
          static_cast<kova_chan_dictionary_table_2010*>(tab), name,
          reinterpret_cast<kova_chan_dictionary_entry_2010**>(res));
    case Gen::k2009:
      return kova_find_channel_by_name(static_cast<kova_chan_dictionary_table*>(tab), name,
                                       reinterpret_cast<kova_chan_dictionary_entry**>(res));
    default:
      return kova_find_channel_by_name_2024(
          static_cast<kova_chan_dictionary_table_2024*>(tab), name,
          reinterpret_cast<kova_chan_dictionary_entry_2024**>(res));
  }
}
