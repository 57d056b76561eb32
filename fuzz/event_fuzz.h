// One whole-event conversion of a fuzz input, in the direction given.
// Input: a selector byte (bits 0-1 generation, bit 2 out of place, bit 3
// keep the event's own length when it lies within the input, bit 4 convert
// one server block alone, writing direction only), then the event.
#ifndef HESK_FUZZ_EVENT_FUZZ_H
#define HESK_FUZZ_EVENT_FUZZ_H

#include <cstddef>
#include <cstdint>

namespace fuzz {

void convert_event_input(const uint8_t* data, size_t size, bool to_network);

}  // namespace fuzz

#endif  // HESK_FUZZ_EVENT_FUZZ_H
