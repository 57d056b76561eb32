// Slow-data blocks: slow-control readings of N channels at E instants, stored
// as one record of their own (not an event sub-block), with accessors, byte
// order conversion and a printer.
//
// Layout, offsets from the start of the block: the 12-byte header below; N
// channel names of 256 bytes; the entry count E (i32); E seconds; E
// microseconds; E event identifiers (u32 in the 2010 form, pattern
// KOVA_SLOW_PATTERN; u64 in the 2024 form, KOVA_SLOW_PATTERN_2024); N x E
// float values, channel after channel; N x E i32 statuses in the same order;
// a trailing u32 equal to data_length.
//
// The accessors take a block in host order and only return what lies within
// its data_length; they never print. Stateless apart from the generation flag
// that kova_convert_slow_data_head and kova_convert_slow_data_block follow.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_SLOW_H
#define HESK_EVENT_SLOW_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

#include "event.h"

struct kova_daq_slow_data_header {
  uint32_t pattern;
  uint32_t data_length;  // whole block, header and trailing word included
  uint32_t channels_number;
};

static_assert(sizeof(kova_daq_slow_data_header) == 12, "kova_daq_slow_data_header");
static_assert(offsetof(kova_daq_slow_data_header, data_length) == 4 &&
                  offsetof(kova_daq_slow_data_header, channels_number) == 8,
              "kova_daq_slow_data_header");

extern "C" {

// Header fields; 0 for a null block.
int kova_slow_block_get_n_channels(kova_daq_slow_data_header* block);
int kova_slow_block_get_length(kova_daq_slow_data_header* block);
u_int kova_slow_block_get_pattern(kova_daq_slow_data_header* block);

// Name of channel `chan`; null outside 0 ... N-1.
char* kova_slow_block_get_name(kova_daq_slow_data_header* block, int chan);
// E; 0 when N is 0.
int kova_slow_block_get_n_entries(kova_daq_slow_data_header* block);

// The seconds and microseconds arrays and their first and last elements
// (null or 0 when absent; the microseconds also when E is 0).
u_int* kova_slow_block_get_time_s(kova_daq_slow_data_header* block);
u_int kova_slow_block_get_first_time_s(kova_daq_slow_data_header* block);
u_int kova_slow_block_get_last_time_s(kova_daq_slow_data_header* block);
u_int* kova_slow_block_get_time_us(kova_daq_slow_data_header* block);
u_int kova_slow_block_get_first_time_us(kova_daq_slow_data_header* block);
u_int kova_slow_block_get_last_time_us(kova_daq_slow_data_header* block);

// Event identifiers: for the 2010 form the 32-bit array is returned and
// *evidp set to null; otherwise null is returned and *evidp set to the 64-bit
// array. Without a microseconds array: null, *evidp untouched.
u_int* kova_slow_block_get_evid(kova_daq_slow_data_header* block, uint64_t** evidp);
// First / last identifier: 2010 form returned and stored in *evidp; 2024 form
// stored in *evidp and 0 returned. Without entries: 0, *evidp = 0.
u_int kova_slow_block_get_first_evid(kova_daq_slow_data_header* block, uint64_t* evidp);
u_int kova_slow_block_get_last_evid(kova_daq_slow_data_header* block, uint64_t* evidp);

// Values and statuses of channel `chan`: first element (null when N or E is
// 0 or chan is out of range), or element `indx` (2139095040.0, the plain
// number, and -1 on failure).
float* kova_slow_block_get_data_pointer(kova_daq_slow_data_header* block, int chan);
float kova_slow_block_get_data(kova_daq_slow_data_header* block, int chan, int indx);
int* kova_slow_block_get_status_pointer(kova_daq_slow_data_header* block, int chan);
int kova_slow_block_get_status(kova_daq_slow_data_header* block, int chan, int indx);

// Prints the header; false when it was printed (host-order pattern), true
// for a null block, a block still in network order or a bad pattern.
bool kova_print_daq_slow_header(kova_daq_slow_data_header* block);
// Prints header, channel names and the table of entries, stopping at the
// first inconsistency.
void kova_print_daq_slow_block(kova_daq_slow_data_header* block);

// Conversions (results: 0 or the conversion error codes).
// The 12-byte header, with its pattern checked (2024 or 2010 form by the
// generation flag, in either byte order; else 15).
int kova_convert_slow_data_head(void* in, void* out);
// Network to host, a whole block; bounded by its converted data_length.
int kova_convert_slow_data(void* in, void* out);
// Description-driven conversion of the block from its channels_number field
// on, `size` bytes, the sign is the direction.
int kova_convert_slow_data_block(void* in, void* out, int size);
// Host to network, the body from the channel names on; `chans` and `pattern`
// are the host-order header values.
// REQUIRES: the body holds chans names and the entries its count says.
int kova_convert_slow_data_block_hton(void* in, void* out, int chans, uint32_t pattern);

}  // extern "C"

#endif  // HESK_EVENT_SLOW_H
