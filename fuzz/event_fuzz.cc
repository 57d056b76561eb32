#include "event_fuzz.h"

#include "fuzz_input.h"

namespace fuzz {

void convert_event_input(const uint8_t* data, size_t size, bool to_network) {
  if (size < 1) return;
  const uint8_t selector = data[0];
  const int head = use_generation(selector);
  ++data;
  --size;
  const bool out_of_place = selector & 4;
  const bool keep_length = selector & 8;
  const bool one_block = (selector & 16) && to_network;

  if (one_block) {
    // A server block is bounded by its own ltotal, which the caller vouches
    // for: make it the input's size.
    const size_t server = (selector & 3) == 0 ? 76 : (selector & 3) == 1 ? 284 : 304;
    if (size < server) return;
    auto in = exact_copy(data, size, size);
    if (server == 304) {
      int64_t n = static_cast<int64_t>(size);
      memcpy(in.get() + 8, &n, 8);
    } else {
      int32_t n = static_cast<int32_t>(size);
      memcpy(in.get() + 8, &n, 4);
    }
    auto out = out_of_place ? exact_copy(data, 0, size) : nullptr;
    kova_convert_event_hton(in.get(), out ? out.get() : in.get(), 1);
    return;
  }

  if (size < static_cast<size_t>(head)) return;
  auto probe = exact_copy(data, size, size);
  bound_event_length(probe.get(), size, head, !to_network, keep_length);
  // The event is exactly as long as its header says (at least a header).
  size_t n = size;
  if (head == 48) {
    int64_t v;
    memcpy(&v, probe.get() + 8, 8);
    if (!to_network) v = static_cast<int64_t>(__builtin_bswap64(static_cast<uint64_t>(v)));
    if (v >= head && v <= static_cast<int64_t>(size)) n = static_cast<size_t>(v);
  } else {
    uint32_t v;
    memcpy(&v, probe.get() + 4, 4);
    if (!to_network) v = __builtin_bswap32(v);
    if (v >= static_cast<uint32_t>(head) && v <= size) n = v;
  }
  auto in = exact_copy(probe.get(), size, n);
  auto out = out_of_place ? exact_copy(data, 0, n) : nullptr;
  unsigned char* dst = out ? out.get() : in.get();
  if (to_network) {
    kova_convert_event_hton(in.get(), dst, 0);
  } else {
    kova_convert_event(in.get(), dst);
  }
}

}  // namespace fuzz
