// Reading stored framework data blocks (type-23 payloads) into containers, in
// copy and in wrap mode, and writing the result back.
// Input: a selector byte (bit 0 copy mode), then the payload. The sub-block's
// ldata says exactly the payload's length.
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > (1u << 20)) return 0;
  const bool copy = data[0] & 1;
  ++data;
  --size;
  constexpr size_t kHead = sizeof(kova_serv_block_subhead_2010);
  auto mem = fuzz::exact_copy(nullptr, 0, kHead + size);
  memcpy(mem.get() + kHead, data, size);
  auto* sub = reinterpret_cast<kova_serv_block_subhead_2010*>(mem.get());
  sub->dtype = KOVA_BLOCK_EQDATA;
  sub->ldata = static_cast<int32_t>(kHead + size);
  EqData* d = nullptr;
  if (kova_daq_to_eqdata(nullptr, nullptr, sub, &d, copy) != 0) return 0;
  char text[256];
  d->get_string(text, sizeof(text));
  for (int i = 0; i < d->length() && i < 16; ++i) d->get_double(i);
  // Writing it back needs at most the room it came from (plus the 64 bytes
  // multi-dimensional arrays count).
  auto out = fuzz::exact_copy(nullptr, 0, kHead + size + 64);
  kova_eqdata_to_daq(d, reinterpret_cast<kova_serv_block_subhead_2010*>(out.get()), size + 64);
  EqDataBlock* block = d->get_data_block();
  delete d;
  if (!copy) free(block);
  return 0;
}
