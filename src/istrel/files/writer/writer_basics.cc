// Record sizes, patterns, outputs and the generation switch of the DAQ file
// writers.
#include <unistd.h>

#include <cerrno>

#include "writer_internal.h"

namespace daqfile {

bool network_order_is_swapped() {
  const uint16_t one = 1;
  unsigned char first;
  memcpy(&first, &one, 1);
  return first == 1;
}

}  // namespace daqfile

namespace daqfile_detail {

void put_text(Bytes& b, const std::string& s, size_t width) {
  const size_t n = b.size();
  b.resize(n + width, 0);
  memcpy(b.data() + n, s.data(), s.size() < width ? s.size() : width - 1);
}

Sizes sizes_of(int gen) {
  if (gen == 2009) return {36, 76, 44, 4, 48, 32, 80, 4};
  if (gen == 2024) return {48, 304, 268, 8, 256, 256, 256, 8};
  return {36, 284, 268, 4, 256, 256, 256, 4};
}

uint64_t pattern_of(int gen, uint32_t pattern_2009) {
  const uint32_t high = pattern_2009 & ~0xFFu;
  if (gen == 2009) return pattern_2009;
  if (gen == 2010) return high | 0xF3u;
  const uint64_t word = high | 0xF4u;
  return (word << 32) | word;
}

bool Output::pad_to_8(std::string* why) {
  static const unsigned char zeros[8] = {};
  const size_t n = static_cast<size_t>((8 - pos % 8) % 8);
  return n == 0 || emit(zeros, n, why);
}

bool FdOutput::emit(const void* p, size_t n, std::string* why) {
  const auto* c = static_cast<const char*>(p);
  size_t done = 0;
  while (done < n) {
    const ssize_t w = ::write(fd, c + done, n - done);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      pos += done;
      *why = std::string("write: ") + strerror(w < 0 ? errno : ENOSPC);
      return false;
    }
    done += static_cast<size_t>(w);
  }
  pos += n;
  return true;
}

bool MemoryOutput::emit(const void* p, size_t n, std::string*) {
  const auto* c = static_cast<const unsigned char*>(p);
  bytes.insert(bytes.end(), c, c + n);
  pos += n;
  return true;
}

GenerationScope::GenerationScope(int gen)
    : f2010_(is_data_format_2010()), f2024_(is_data_format_2024()) {
  const bool want2010 = gen == 2010, want2024 = gen == 2024;
  changed_ = f2010_ != want2010 || f2024_ != want2024;
  if (!changed_) return;
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (want2010) set_data_format_2010(true);
  if (want2024) set_data_format_2024(true);
}

GenerationScope::~GenerationScope() {
  if (!changed_) return;
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (f2010_) set_data_format_2010(true);
  if (f2024_) set_data_format_2024(true);
}

}  // namespace daqfile_detail
