// Record sizes, patterns and the generation switch of the DAQ file writer.
#include "writer_internal.h"

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

GenerationScope::GenerationScope(int gen)
    : f2010_(is_data_format_2010()), f2024_(is_data_format_2024()) {
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (gen == 2010) set_data_format_2010(true);
  if (gen == 2024) set_data_format_2024(true);
}

GenerationScope::~GenerationScope() {
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (f2010_) set_data_format_2010(true);
  if (f2024_) set_data_format_2024(true);
}

}  // namespace daqfile_detail
