// Page windows of the windowed readers, the file length they may use, the
// bulk word swaps and the generation chosen by the process-wide flags.
#include <sys/mman.h>
#include <sys/stat.h>

#include <climits>
#include <cstdio>

#include "files_internal.h"

namespace files_detail {

uint64_t file_limit(int fd, uint64_t total_length) {
  struct stat st;
  uint64_t limit = total_length;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) < limit)
    limit = static_cast<uint64_t>(st.st_size);
  if (limit > static_cast<uint64_t>(INT64_MAX)) limit = static_cast<uint64_t>(INT64_MAX);
  return limit;
}

Window::~Window() {
  if (map_ == nullptr) return;
  unguard_mapping(map_);
  munmap(map_, len_);
}

int Window::open(int fd, uint64_t limit, uint64_t offset) {
  if (offset >= limit) return -1;
  off_t delta = 0;
  const off_t aligned =
      kova_get_page_offset(static_cast<off_t>(limit), static_cast<off_t>(offset), &delta);
  if (aligned < 0) return -1;
  const uint64_t len = limit - static_cast<uint64_t>(aligned);
  if (len > SIZE_MAX) return -2;
  void* m = mmap(nullptr, static_cast<size_t>(len), PROT_READ, MAP_SHARED, fd, aligned);
  if (m == MAP_FAILED || !guard_mapping(m, len)) {
    perror("mmap");
    if (m != MAP_FAILED) munmap(m, static_cast<size_t>(len));
    return -2;
  }
  map_ = m;
  len_ = static_cast<size_t>(len);
  at_ = static_cast<const unsigned char*>(m) + delta;
  avail_ = limit - offset;
  return 0;
}

void swap_words4(const unsigned char* in, unsigned char* out, uint64_t n) {
  // kova_swap4 takes an int count: large tables go in slices.
  constexpr uint64_t kSlice = INT_MAX / 4;
  while (n > 0) {
    const uint64_t k = n < kSlice ? n : kSlice;
    kova_swap4(reinterpret_cast<int*>(const_cast<unsigned char*>(in)), reinterpret_cast<int*>(out),
               static_cast<int>(k));
    in += 4 * k;
    out += 4 * k;
    n -= k;
  }
}

void swap_words8(const unsigned char* in, unsigned char* out, uint64_t n) {
  constexpr uint64_t kSlice = INT_MAX / 8;
  while (n > 0) {
    const uint64_t k = n < kSlice ? n : kSlice;
    kova_swap8(reinterpret_cast<uint64_t*>(const_cast<unsigned char*>(in)),
               reinterpret_cast<uint64_t*>(out), static_cast<int>(k));
    in += 8 * k;
    out += 8 * k;
    n -= k;
  }
}

void swap_table(const unsigned char* in, unsigned char* out, uint64_t size, size_t word) {
  const uint64_t n = size / word;
  if (word == 8)
    swap_words8(in, out, n);
  else
    swap_words4(in, out, n);
  const uint64_t done = n * word;
  if (done < size && in != out) memcpy(out + done, in + done, size - done);
}

Gen flags_generation() {
  if (is_data_format_2010()) return Gen::k2010;
  if (!is_data_format_2024()) return Gen::k2009;
  return Gen::k2024;
}

}  // namespace files_detail
