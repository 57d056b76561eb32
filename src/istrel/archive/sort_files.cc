// Ordering the data files of a run by the time stamps in their names.
#include <string>
#include <utility>
#include <vector>

#include "archive_internal.h"

namespace {

// `stamp(item, &t)` is false when it read a time; unreadable names count as 0.
template <class T, class Stamp>
void sort_by_stamp(std::vector<T>& items, Stamp stamp) {
  const size_t n = items.size();
  if (n < 2) return;
  std::vector<time_t_index> keys(n);
  for (size_t i = 0; i < n; ++i) {
    time_t t = 0;
    if (stamp(items[i], &t)) t = 0;
    keys[i] = {t, static_cast<int>(i)};
  }
  sort_by_keys(keys.data(), static_cast<int>(n));
  std::vector<T> sorted;
  sorted.reserve(n);
  for (const time_t_index& k : keys)
    sorted.push_back(std::move(items[static_cast<size_t>(k.index)]));
  items.swap(sorted);
}

}  // namespace

void sort_files(std::vector<std::string*>* files) {
  if (files == nullptr) return;
  sort_by_stamp(*files, [](std::string* s, time_t* t) {
    return s == nullptr || get_file_time_stamp(const_cast<char*>(s->c_str()), t) != 0;
  });
}

void sort_files(std::vector<char*>* files) {
  if (files == nullptr) return;
  sort_by_stamp(*files, [](char* s, time_t* t) { return get_file_time_stamp(s, t) != 0; });
}

void sort_files(std::vector<std::string>& files) {
  sort_by_stamp(files, [](const std::string& s, time_t* t) { return get_file_time_stamp(s, *t); });
}
