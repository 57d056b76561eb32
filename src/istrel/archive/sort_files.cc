// Ordering the data files of a run by the time stamps in their names, and
// the exchange order of sort_by_keys that the ordering follows.
//
// sort_by_keys gives the order of the exchange sort (for each position i,
// every later item with a smaller key is exchanged with item i) without its
// n^2 / 2 comparisons. Pass i moves the chain of running minima of the
// suffix from i: each link goes to the place of the next, and the first
// occurrence of the minimum goes to i. Looking only at one key value v and
// the keys below it, the items of key v that the passes for smaller keys
// have met form a queue: each item of key v joins its back in position
// order, and each pass for a smaller key found after the queue's first item
// sends the queue's front to its back. Whatever lies between has a larger
// key and does not matter. Once the smaller keys are done, the items of key
// v leave in queue order. So per key value: count the smaller keys between
// consecutive items (a Fenwick tree over positions), then undo the queue's
// pushes and rotations from its final state, finding each item's final rank
// among the ranks still free (a second Fenwick tree). O(n log n) in all.
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "archive_internal.h"

namespace {

// Counts at positions 0..n-1: add, prefix sums and the k-th unit.
class Fenwick {
 public:
  // All counts zero, or (full) all one.
  void reset(size_t n, bool full) {
    c_.assign(n + 1, 0);
    if (full) {
      for (size_t i = 1; i <= n; ++i) c_[i] = static_cast<uint32_t>(i & (0 - i));
    }
    top_ = 1;
    while (top_ * 2 <= n) top_ *= 2;
  }
  void add(size_t i, int delta) {
    for (++i; i < c_.size(); i += i & (0 - i)) c_[i] = static_cast<uint32_t>(c_[i] + delta);
  }
  // Sum of the counts at positions below i.
  size_t below(size_t i) const {
    size_t s = 0;
    for (; i > 0; i -= i & (0 - i)) s += c_[i];
    return s;
  }
  // Position of the unit of rank k (0-based) when every count is 0 or 1.
  size_t kth(size_t k) const {
    size_t pos = 0;
    for (size_t step = top_; step > 0; step /= 2) {
      if (pos + step < c_.size() && c_[pos + step] <= k) {
        pos += step;
        k -= c_[pos];
      }
    }
    return pos;
  }

 private:
  std::vector<uint32_t> c_;
  size_t top_ = 1;
};

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

void sort_by_keys(time_t_index* t, int n) {
  if (t == nullptr || n < 2) return;
  const size_t m = static_cast<size_t>(n);
  // Positions by key; positions of equal keys ascending.
  std::vector<uint32_t> by_key(m);
  std::iota(by_key.begin(), by_key.end(), 0u);
  std::stable_sort(by_key.begin(), by_key.end(),
                   [t](uint32_t a, uint32_t b) { return t[a].t < t[b].t; });
  std::vector<time_t_index> out(m);
  Fenwick smaller;  // positions of the keys below the current one
  smaller.reset(m, false);
  Fenwick free_ranks;
  std::vector<size_t> turns;
  for (size_t g = 0; g < m;) {
    size_t h = g + 1;
    while (h < m && t[by_key[h]].t == t[by_key[g]].t) ++h;
    const size_t c = h - g;  // items of this key, at positions by_key[g..h)
    if (c == 1) {
      out[g] = t[by_key[g]];
    } else {
      // turns[j]: passes for smaller keys between item j and item j + 1 (or
      // the end), i.e. the rotations of the queue once item j has joined it.
      turns.resize(c);
      for (size_t j = 0; j < c; ++j) {
        const size_t from = smaller.below(by_key[g + j]);
        const size_t to = j + 1 < c ? smaller.below(by_key[g + j + 1]) : g;
        turns[j] = to - from;
      }
      // Backwards from the final queue (ranks 0..c-1, front at rank 0): the
      // item that joined last lies r places behind the front's back.
      free_ranks.reset(c, true);
      size_t front = 0;  // rank of the queue's front among the free ranks
      for (size_t k = c; k >= 1; --k) {
        const size_t r = turns[k - 1] % k;
        const size_t at = (front + (k - 1) + (k - r)) % k;
        const size_t rank = free_ranks.kth(at);
        free_ranks.add(rank, -1);
        out[g + rank] = t[by_key[g + k - 1]];
        front = k > 1 ? at % (k - 1) : 0;
      }
    }
    for (size_t j = g; j < h; ++j) smaller.add(by_key[j], 1);
    g = h;
  }
  std::copy(out.begin(), out.end(), t);
}

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
