// The format-description interpreter with arbitrary descriptions, and the
// payload converter with arbitrary types.
// Input: a selector byte (bit 0 negative length, bit 1 image mode, bit 2 out
// of place, bit 3 payload converter with the type from the next byte
// instead of a description), then the description up to a NUL byte, then the
// data. Exactly the data's bytes are available to the converter.
#include <cstring>

#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t selector = data[0];
  ++data;
  --size;
  char format[320] = {};
  int type = 0;
  if (selector & 8) {
    type = data[0] | ((selector & 0x30) << 4);  // some values above 62 too
    ++data;
    --size;
  } else {
    const void* nul = memchr(data, 0, size < sizeof(format) - 1 ? size : sizeof(format) - 1);
    if (nul == nullptr) return 0;
    size_t flen = static_cast<const uint8_t*>(nul) - data;
    memcpy(format, data, flen);
    data += flen + 1;
    size -= flen + 1;
  }
  auto in = fuzz::exact_copy(data, size, size);
  auto out = (selector & 4) ? fuzz::exact_copy(data, 0, size) : nullptr;
  unsigned char* dst = out ? out.get() : in.get();
  const int len = (selector & 1) ? -static_cast<int>(size) : static_cast<int>(size);
  if (selector & 8) {
    fuzz::use_generation(selector >> 6);
    kova_convert_data(in.get(), dst, type, len);
  } else {
    kova_do_convert_data(in.get(), dst, format, len, selector & 2);
  }
  return 0;
}
