// Slow-data blocks from network to host order, then the accessors and the
// printer on the result.
// Input: a selector byte (bit 0 the 2024 form, bit 1 out of place, bit 2
// keep the block's own data_length when it lies within the input), then the
// block.
#include <cstring>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 + sizeof(kova_daq_slow_data_header)) return 0;
  const uint8_t selector = data[0];
  set_data_format_2024(selector & 1);
  if (!(selector & 1)) set_data_format_2010(true);
  ++data;
  --size;
  // The block is exactly as long as its (network-order) data_length says.
  uint32_t length;
  memcpy(&length, data + 4, 4);
  length = __builtin_bswap32(length);
  if (!(selector & 4) || length > size || length < sizeof(kova_daq_slow_data_header)) {
    length = static_cast<uint32_t>(size);
  }
  auto in = fuzz::exact_copy(data, size, length);
  const uint32_t be = __builtin_bswap32(length);
  memcpy(in.get() + 4, &be, 4);
  auto out = (selector & 2) ? fuzz::exact_copy(nullptr, 0, length) : nullptr;
  unsigned char* dst = out ? out.get() : in.get();
  if (kova_convert_slow_data(in.get(), dst) != 0) return 0;
  auto* block = reinterpret_cast<kova_daq_slow_data_header*>(dst);
  uint64_t id = 0;
  uint64_t* wide = nullptr;
  kova_slow_block_get_evid(block, &wide);
  kova_slow_block_get_last_evid(block, &id);
  kova_slow_block_get_last_time_us(block);
  kova_slow_block_get_data(block, 1, 1);
  kova_slow_block_get_status(block, 0, 2);
  kova_slow_block_get_name(block, 1);
  kova_print_daq_slow_block(block);
  return 0;
}
