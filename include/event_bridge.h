// Bridge between the framework's data container (EqData, eqdata.h) and DAQ
// sub-blocks of type 23 (KOVA_BLOCK_EQDATA), and the DAQ request records.
//
// The payload of a type-23 sub-block (after its 268-byte head, host order):
// the data type id (4 bytes), tm (8), error, tm_usec, mp_lo, mp_hi and four
// reserved words (4 each) - 44 bytes - then the value part of the type: a
// scalar or fixed structure; a string with its terminator; the container's
// value structure copied byte for byte followed by its parts (comment,
// samples, image bytes); or an element count, the element structures and
// their parts. Every part is zero-filled to a multiple of 4 bytes. Pointer
// fields of stored structures hold the address the part was written to;
// readers re-point them.
//
// Results: 0 (or a payload length) on success, else one of the codes below.
// Nothing is printed. Not thread-safe for one container; the functions keep
// no state of their own.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_BRIDGE_H
#define HESK_EVENT_BRIDGE_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "Hesk_int.h"
#include "eqdata.h"
#include "event.h"

enum {
  KOVA_EQDATA_OK = 0,
  KOVA_EQDATA_ERR_INVAL_PARAM = -1,  // null argument, zero room, value the container refuses
  KOVA_EQDATA_ERR_NO_ROOM = -2,      // writing: no room; reading: payload shorter than its counts
  KOVA_EQDATA_ERR_UNSUPPORTED_TYPE = -3,  // time-stamped arrays other than the spectra
  KOVA_EQDATA_ERR_UNKNOWN_TYPE = -4       // any other id the payload cannot hold
};

// A request for DAQ data: a time or run range of one experiment and stream.
struct kova_daq_request {
  kova_time_id start_time;
  kova_time_id stop_time;
  int run_first;
  int run_last;
  char exp_name[32];
  char stream_name[32];
  std::string cdir;
  std::string ddir;
  time_stamp time_diff;
  kova_time_id period;
  int synch_mode;
};

struct kova_daq_request_2024 {
  kova_time_id_2024 start_time;
  kova_time_id_2024 stop_time;
  int run_first;
  int run_last;
  char exp_name[32];
  char stream_name[32];
  std::string cdir;
  std::string ddir;
  time_stamp time_diff;
  kova_time_id_2024 period;
  int synch_mode;
};

extern "C" {

// Writes eqdata's value as the payload of `subhead`, with `blocklen` bytes of
// room after the head, and sets the head's dtype to 23 (the caller sets
// chname, error and ldata = 268 + result). Returns the payload length
// (multi-dimensional arrays count 64 trailing bytes, written as zeros), or
// -1 (null argument, blocklen 0, a part the container says it has but does
// not), -2 (no room), -3, -4.
int kova_eqdata_to_daq(EqData* eqdata, kova_serv_block_subhead_2010* subhead, size_t blocklen);

// Makes a container of the type-23 sub-block `subhead`, bounded by its ldata.
// Time and event id come from `hd` when given, else from `event`, else 0;
// non-zero payload values replace them. `copy` true: an owning container
// with copies of everything. `copy` false: a container over a new 264-byte
// block (allocated with malloc) whose value refers into the payload, which
// is re-pointed in place and must outlive it; the caller deletes the
// container, then frees the block. On success *pdata is set and 0 returned;
// else -1 (null subhead or pdata, or a value the container refuses), -2
// (payload shorter than its counts, or unterminated text), -3, -4 (also for
// a sub-block type other than 23), and *pdata is left alone.
int kova_daq_to_eqdata(kova_event_slot_head* hd, kova_serv_block_head_2010* event,
                       kova_serv_block_subhead_2010* subhead, EqData** pdata, bool copy);
int kova_daq_to_eqdata_2024(kova_event_slot_head_2024* hd, kova_serv_block_head_2024* event,
                            kova_serv_block_subhead_2010* subhead, EqData** pdata, bool copy);

// For a container whose 264-byte block is directly followed in memory by the
// parts of its value (the value structure being the block's union): points
// the union (and the element structures) at those parts. 0, -1 (null), -3,
// -4. REQUIRES: the parts are all there, as the union's lengths say.
int kova_daq_eqdata_correct_addresses(EqData* data);

// Reset: both time ids, time_diff, period and synch_mode 0, runs -1, names
// zero, strings empty. True only for a null pointer.
bool kova_clean_daq_request(kova_daq_request* dest);
bool kova_clean_daq_request_2024(kova_daq_request_2024* dest);
// Copies every field; true when either pointer is null.
bool kova_copy_daq_request(kova_daq_request* src, kova_daq_request* dest);
bool kova_copy_daq_request_2024(kova_daq_request_2024* src, kova_daq_request_2024* dest);

}  // extern "C"

// Puts the value part at `bdata` (the payload after its 44-byte header) into
// `data`, whose block already carries the data type id; copy or wrap as for
// kova_daq_to_eqdata. 0, -1, -2, -3, -4.
// REQUIRES: the value part is complete; kova_daq_to_eqdata bounds it by the
// sub-block's length, this entry point cannot.
int kova_fill_in_eqdata(EqData* data, char* bdata, bool copy);

#endif  // HESK_EVENT_BRIDGE_H
