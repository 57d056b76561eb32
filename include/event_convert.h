// Byte-order conversion of DAQ records between host and network (big-endian)
// order: the format-description interpreter and its table of sub-block
// descriptions, the byte-swap primitives, the fixed-record converters, the
// converter of one sub-block payload and the converters of whole events and
// server blocks.
//
// A format description is "NAME:item:item:...": an item is a code (optional
// U, a letter A F I Q R S, a count), a length-defining code "code=Ln" that
// stores the field's value in length register n (1-31), or a repeat "P(code)"
// / "P(code:code:...)" whose prefix P is a number or a register "Ln" and may
// nest around a single code ("L1(L2(F2))"). Conversion always reverses the
// bytes of F, I, Q, R and S fields and copies A bytes, so one call serves both
// directions; the sign of a length argument says where length fields can be
// read in host order: positive = input in network order, negative = input in
// host order.
//
// Every converter returns 0 or a conversion error code (1-15, texts from
// kova_get_convert_error); the framework block converter also returns the
// bridge's negative codes. A converter never reads or writes beyond the
// length it is given (for whole events: the event's event_length); records
// converted before a failure stay converted.
//
// REQUIRES: input and output are either the same buffer (conversion in place)
// or do not overlap.
//
// Threads: the converters keep no state; the generation flags they follow are
// set at start-up. kova_get_convert_error writes into a per-thread buffer.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_CONVERT_H
#define HESK_EVENT_CONVERT_H

#include <cstdint>

#include "event.h"

extern "C" {

// ---------------------------------------------------------------------------
// Format descriptions and the interpreter

// Descriptions of the sub-block payloads, indexed by sub-block type (0-62);
// empty for types without a format. Types 23 and 28 have dedicated routines.
extern const char* const sblock_fmts[KOVA_BLOCK_MAX_2010];

// Converts the record at `in` described by `lformat` into `out`; `len` is the
// number of bytes available in both buffers, its sign the direction (see
// above). `image` makes single-code repeats count bytes (pixel data).
// Bytes beyond the last described field are not touched.
int kova_do_convert_data(void* in, void* out, char* lformat, int len, bool image);

// Parses one code ("[U]<letter><count>") at `start`: 0, 9 for a null pointer,
// 7 for a bad letter or a missing or zero count.
int extract_code_length(char* start, char* code, bool* sign, int* len, int* bpd);
// Parses a register reference "Ln": 0 with *len = n, 9 for a null pointer, 7
// when the text is not "L" followed by a number >= 1.
int extract_length(char* start, int* len);
// Converts `len` fields of letter `type` (A copies, F I Q R S reverse bytes);
// 9 for a null pointer, 7 for another letter. `sign` is ignored.
int kova_encode(void* in, void* out, char type, bool sign, int len);

// ---------------------------------------------------------------------------
// Byte-swap primitives. Each field is read completely before it is written,
// so in == out is allowed; wc <= 0 does nothing.

void kova_swap2(short* in, short* out, int wc);
void kova_swap3(unsigned char* in, unsigned char* out, int wc);
void kova_swap4(int* in, int* out, int wc);
void kova_swap8(uint64_t* in, uint64_t* out, int wc);
uint64_t htonll(uint64_t x);
uint64_t ntohll(uint64_t x);
uint64_t swap8bytes(uint64_t val);

// Text of a conversion error code. Code 0 leaves the buffer as it stands.
char* kova_get_convert_error(int err);

// Generic spectrum array (type 28): the two leading words, then every entry
// with its own sample count.
int kova_do_convert_generic_data(void* in, void* out, int len);

// ---------------------------------------------------------------------------
// Fixed records of the generation in force (each reads and writes exactly the
// record's size; in and out must hold that many bytes)

// Also checks the converted pattern: the generation's pattern or its
// byte-swapped twin, else 15.
int kova_convert_event_head(void* in, void* out);
int kova_convert_event_tail(void* in, void* out);
int kova_convert_event_serv_block_head(void* in, void* out);
int kova_convert_event_serv_block_subhead(void* in, void* out);
int kova_convert_zip_header(void* in, void* out);
// Image frame head: ten words (in and out hold 48 bytes).
int kova_convert_image_head(void* in, void* out);
// Extended image head (100 bytes, without the pixels).
int kova_convert_image_ext_head(void* in, void* out);
int kova_convert_spect_head(void* in, void* out);

// ---------------------------------------------------------------------------
// Payloads, server blocks and events

// One sub-block payload of type data_type (masked with 0xFFFF); |len| bytes,
// the sign is the direction. A null `out` converts in place.
int kova_convert_data(void* in, void* out, int data_type, int len);

// Network to host, a whole event.
int kova_convert_event(void* in, void* out);
// Host to network: a whole event when nsb <= 0, else one server block
// (without event header and tail).
int kova_convert_event_hton(void* in, void* out, int nsb);
// Host to network, one server block.
int kova_convert_server_block_hton(void* in, void* out);

// A stored framework data block (type 23) of |len| bytes. Besides the
// conversion codes: -1 null argument or len 0, -3 unsupported type, -4 unknown
// type.
int kova_do_convert_eq_data(void* in, void* out, int len);

// `chans` entries of the 2010 channel dictionary of a DAQ file (272 bytes:
// key, 256 name bytes, event mask, type mask, count); chans < 1 gives 11.
int kova_convert_kova_chan_dictionary_table_2010(void* in, void* out, int chans);

}  // extern "C"

#endif  // HESK_EVENT_CONVERT_H
