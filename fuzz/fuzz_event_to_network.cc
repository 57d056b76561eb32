// Whole events (or one server block) from host to network order.
#include "event_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::convert_event_input(data, size, true);
  return 0;
}
