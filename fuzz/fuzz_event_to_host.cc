// Whole events from network to host order.
#include "event_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::convert_event_input(data, size, false);
  return 0;
}
