// Client data access for reader callbacks: what a reader's event callback
// uses to read slow-control values and single channels out of the server
// blocks of the event it was handed.
//
// Slow control. Heart-beat, begin-of-run, end-of-run, environment and update
// events carry slow sub-blocks (environment dictionary 34, environment
// values 35, updates 33, begin of run 36, end of run 37). The process keeps
// one local copy of each kind, made from the first sub-block of that kind
// that arrives and refreshed in place by later environment and update
// values, so that a slow channel can be read at a later slow event. The
// copies belong to the process (not to a Hesk object) and stay until
// clean_local_copies(), for instance at a new run.
//
// What a reader must have seen first: environment values are looked up
// through the dictionary, and the environment copy is made only once a
// dictionary copy exists. The dictionary comes with a heart-beat event (or
// a begin-of-run or update event that carries one), so until the first of
// these has been handed to the process every read of an environment value
// fails, also in environment events. An environment event is taken for the
// first sub-block of each server block only (it carries one environment
// sub-block per server block); further sub-blocks are not read.
//
// Fast channels. get_fast_channel_data finds a channel (a sub-block by name)
// in the server blocks of the current event; the pointer returned points into
// the shared-memory buffer and is valid until the callback returns.
//
// Server blocks are reached through the Hesk object's partition pool,
// attaching partitions on first use. An entry of the server-block array
// counts only when its shmid is not 0 and its bnum is not -1; the number of
// entries is the slot head's sbfilled. Functions without suffix take the
// 2024 event slot head and accept 2010 and 2024 server blocks (told apart by
// KOVA_SB_PATTERN_2024); the _2010 functions take the 2010 slot head and 2010
// server blocks. get_sb_param and check_bad_sb_data take either slot head
// through the 2024 type: one starting with KOVA_EV_SLOT_PATTERN_2024 is read
// as 2024, any other as 2010.
//
// Bounds: every walk stays within the sub-block's ldata, the server block's
// ltotal and the buffer that holds it. A server block whose ltotal exceeds
// its buffer, a sub-block shorter than its head or longer than the room left,
// or a count that runs past the block is corrupt: the function fails (the
// fast-channel search with its "CHANNEL corrupted" lines) and reads nothing
// outside. Names are compared within their field width even without a
// terminator.
//
// Results: bool functions return TRUE ON FAILURE and false on success;
// pointer results are null when nothing was found. Messages go to standard
// output.
//
// Threads: the local copies are guarded by one process-wide mutex, held for
// each sub-block taken and for the whole look-up of a slow channel (the value
// is copied out under it), so reader threads of several Hesk objects may call
// these functions at once. The pool is used through the Hesk object's own
// serialised methods, so a callback may run while the same object's monitor
// thread uses the pool.
#ifndef HESK_HESK_UTIL_H
#define HESK_HESK_UTIL_H

#include <cstdint>

#include "Hesk.h"
#include "Hesk_int.h"
#include "event.h"

// Frees the five local copies and starts over with none.
void clean_local_copies();

// Takes the slow sub-blocks of this event into the local copies. Event types
// other than heart beat (0) and 2 to 5 make it return true at once (the
// outputs are then not written). Allocation and merge failures are reported
// and make the result true; the other sub-blocks are still taken. When given,
// *head receives the last server block processed if it was a 2010 block (else
// null) and *head2024 the last one if it was a 2024 block (else null).
bool update_local_copies(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, Hesk* obj,
                         kova_serv_block_head_2010** head, kova_serv_block_head_2024** head2024);
bool update_local_copies_2010(kova_event_slot_head* hd, kova_client_sblock_data* data, Hesk* obj,
                              kova_serv_block_head_2010** head);

// Head parameters of the first server block named sb_name: time, ltotal less
// its head (in 32 bits), mpulse (a 2010 value sign-extended), trigger mask,
// status and nchan, each only when its pointer is given. true when the name
// is null or empty, there are no entries, none has that name or its block
// does not resolve.
bool get_sb_param(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, char* sb_name,
                  Hesk* obj, time_stamp* tm, int* len, int64_t* mp, int* tmask, int* status,
                  int* nchan);

// Number of server blocks of this event that carry no channel (nchan 0); 0
// for begin-of-run, end-of-run, environment and update events.
int check_bad_sb_data(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, Hesk* obj);

extern "C" {

// clean_local_copies().
void hesk_util_init();

// Updates the local copies from this event, then reads the current value of
// slow channel chan_name into *dt (when dt is given). Environment values need
// the dictionary of an earlier (or this) heart-beat event; see above. An update entry of that
// name answers first, except in environment events, which answer from the
// environment values through the dictionary. false when a value with status
// 0 was found; true for other event types (normal events included), a failed
// update, an unknown name or a non-zero status. sb_out / sb_out2024 receive
// what update_local_copies gives.
bool get_slow_channel_data(kova_event_slot_head_2024* hd, kova_client_sblock_data* data,
                           char* chan_name, Hesk* obj, kova_serv_block_head_2010** sb_out,
                           kova_serv_block_head_2024** sb_out2024, float* dt);
bool get_slow_channel_data_2010(kova_event_slot_head* hd, kova_client_sblock_data* data,
                                char* chan_name, Hesk* obj, kova_serv_block_head_2010** sb_out,
                                float* dt);

// The sub-block head of channel chan_name in this event, or null. With
// sb_name non-empty only the server block of that name is searched; with
// sb_name pointing at an empty string every block is searched and the name
// of the one holding the channel is written into it (REQUIRES: 256 bytes).
// Null for begin-of-run, end-of-run, environment and update events. On
// success *sb_out receives the server block when it is a 2010 block (else
// null) and *sb_out2024 the 2024 block (else null), each when given.
kova_serv_block_subhead_2010* get_fast_channel_data_2024(kova_event_slot_head_2024* hd,
                                                         kova_client_sblock_data* data,
                                                         char* sb_name, char* chan_name, Hesk* obj,
                                                         kova_serv_block_head_2010** sb_out,
                                                         kova_serv_block_head_2024** sb_out2024);
kova_serv_block_subhead_2010* get_fast_channel_data(kova_event_slot_head* hd,
                                                    kova_client_sblock_data* data, char* sb_name,
                                                    char* chan_name, Hesk* obj,
                                                    kova_serv_block_head_2010** sb_out);

}  // extern "C"

#endif  // HESK_HESK_UTIL_H
