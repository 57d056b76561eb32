// Reading the stored form of a framework data block (the payload of a
// sub-block of type 23) without building a container: its length and the
// element count of array values. A payload is the 44-byte block header (type
// id at 0, 64-bit seconds at 4, error, microseconds, event id halves, four
// reserved words) followed by the value part of the type.
//
// Both functions only read within the `avail` bytes given. Thread-safe.
#ifndef HESK_ISTREL_EQDATA_PAYLOAD_H
#define HESK_ISTREL_EQDATA_PAYLOAD_H

#include <cstddef>

// Offset of the value part inside the stored block.
constexpr size_t KOVA_EQDATA_VALUE_OFFSET = 44;

// Length in bytes of the stored block at `payload` as its type and counts
// describe it; -1 when the type is not storable or the counts point beyond
// `avail` bytes.
long kova_eqdata_payload_size(const unsigned char* payload, size_t avail);

// Channel count of a stored block: the array length for the array types
// (101, 102, 103, 106, 108, 120, 1000-1010, 1013-1020), 1 for every other
// type; 0 when the block is too short to say.
int kova_eqdata_payload_channels(const unsigned char* payload, size_t avail);

#endif  // HESK_ISTREL_EQDATA_PAYLOAD_H
