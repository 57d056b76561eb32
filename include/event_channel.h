// Channel accessors: single channels, spectra, images, update parameters and
// slow-control lists read out of device blocks.
//
// Every function works on one sub-block: its head (kova_serv_block_subhead,
// 44 bytes, in the 2009 generation; kova_serv_block_subhead_2010, 268 bytes,
// in 2010 and 2024) followed by its payload. Each exists as a _2009 and a
// _2010 variant and as an undecorated dispatcher that calls the _2009 variant
// when neither generation flag is set, the _2010 variant otherwise. The
// variants take the sub-block as an untyped pointer too, so that a block read
// from a buffer can be passed as it is.
//
// Results: functions declared bool return FALSE ON SUCCESS and true on
// failure (except if_ndata_the_same and is_slow_event, which answer a
// question); pointer results are null on failure; counters 0. Functions that
// interpret samples refuse a compressed payload (KOVA_CHAN_ZIP_FLAG) with
// "<function>() trying to access ZIPPED channel\n" on standard output.
//
// Bounds: nothing is read beyond the sub-block's ldata. A length or count
// that would reach beyond it (sample counts, list lengths, entry headers of a
// generic spectrum array, ROI sample counts) makes the function fail; name
// fields are compared within their width even without a terminator. Pointers
// returned point into the sub-block given.
//
// REQUIRES: a sub-block starts at a 4-byte aligned address (every field of
// every payload is then naturally aligned), and its ldata bytes are readable.
//
// Reentrant: the functions touch no shared state except reading the
// generation flags. Part of the event-format library; include "event_util.h"
// to get it.
#ifndef HESK_EVENT_CHANNEL_H
#define HESK_EVENT_CHANNEL_H

#include <sys/types.h>

#include "event.h"

extern "C" {

// ---------------------------------------------------------------------------
// Sample-axis parameters of channel `subchan`: start, increment, the channel
// means (2009 fast blocks: all N means; ROI blocks: the ROI's statistics
// record), samples per group, groups and group increment, and the statistics
// record (2010 spectra and generic spectrum arrays). Every output pointer may
// be null; outputs a type does not have are left alone. Fails for bad channel
// numbers, compressed payloads, non-spectral types and corrupt lengths.
bool get_spect_params_for_data_type(void* subhead, float* start, float* inc, void** mean,
                                    int* ndata, int* groups, float* groups_inc,
                                    kova_spect_statistics_2010** stat, int subchan);
bool get_spect_params_for_data_type_2009(void* subhead, float* start, float* inc, void** mean,
                                         int* ndata, int subchan);
bool get_spect_params_for_data_type_2010(void* subhead, float* start, float* inc, void** mean,
                                         int* ndata, int* groups, float* groups_inc,
                                         kova_spect_statistics_2010** stat, int subchan);

// First sample of channel `subchan`. For blocks without a sample axis (slow
// lists, images, framework blocks) the payload start. Null for a null head, a
// negative or too large channel number, a compressed or a corrupt block.
float* get_pointer_to_data(void* subhead, int subchan);
float* get_pointer_to_data_2009(void* subhead, int subchan);
float* get_pointer_to_data_2010(void* subhead, int subchan);

// Channel `subchan` as a new one-channel sub-block: a single-channel block
// (type 9) from 2009 fast blocks, a one-channel spectrum (type 41) from 2010
// spectra and generic spectrum arrays, a one-ROI block (type 24) from ROI
// blocks, a one-entry name/value list from type 22. With `dataout` given the
// block is allocated with malloc (the caller frees it) and its head is the
// source head with chname "<source name>:<subchan>". *lenout and *dtype
// receive its length and type (each only when given). A block with one
// channel asked for channel 0 is not copied: its own length and type are
// reported, *dataout is set to null, and the source is left untouched.
bool device_to_one_channel(void* subhead, int subchan, int* lenout, int* dtype, u_char** dataout);
bool device_to_one_channel_2009(void* subhead, int subchan, int* lenout, int* dtype,
                                u_char** dataout);
bool device_to_one_channel_2010(void* subhead, int subchan, int* lenout, int* dtype,
                                u_char** dataout);

// Whether all channels of the block have the same number of samples: false
// for the ROI types 24-26, for generic spectrum arrays (type 28, 2010 only)
// and for a null head; true for every other type.
bool if_ndata_the_same(void* subhead);
bool if_ndata_the_same_2009(void* subhead);
bool if_ndata_the_same_2010(void* subhead);

// ---------------------------------------------------------------------------
// Images. get_image_params accepts type 13 only: row width (2009: bytes per
// row; 2010: aoi_width), height, bytes per pixel, event number and the first
// pixel byte. get_image_ext_params accepts type 27 only and copies the
// 100-byte extended head into `hd`. Outputs may be null.
bool get_image_params(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data);
bool get_image_params_2009(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data);
bool get_image_params_2010(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data);
bool get_image_ext_params(void* subhead, kova_image_ext_frame_head* hd, int* ev_num, u_char** data);
bool get_image_ext_params_2009(void* subhead, kova_image_ext_frame_head* hd, int* ev_num,
                               u_char** data);
bool get_image_ext_params_2010(void* subhead, kova_image_ext_frame_head* hd, int* ev_num,
                               u_char** data);

// ---------------------------------------------------------------------------
// Update blocks (types 1, 4, 5; 33, 36, 37).

// Entry `indx`: its name field (within the block; up to the field width, which
// a writer may fill without a terminator), status, time and value, each only
// when its pointer is given. The type is not checked.
bool get_update_params(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                       float* data);
bool get_update_params_2009(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                            float* data);
bool get_update_params_2010(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                            float* data);
// Number of entries; 0 for another type, and with
// "<function>() corrupted data !!!\n" when the payload is not whole entries.
int get_number_of_upd_channels(void* subhead);
int get_number_of_upd_channels_2009(void* subhead);
int get_number_of_upd_channels_2010(void* subhead);

// ---------------------------------------------------------------------------
// Slow-control look-ups by property name (exact comparison).

// `chan_name`'s position k in the dictionary `dic` (type 34 / 2), then the
// first entry of the environment block `src` (type 35 / 3) with index k:
// *d_out points at it (a kova_env_data_block[_2010]).
bool find_slow_channel(void* src, void* dic, const char* chan_name, void** d_out);
bool find_slow_channel_2009(void* src, void* dic, const char* chan_name, void** d_out);
bool find_slow_channel_2010(void* src, void* dic, const char* chan_name, void** d_out);
// The first entry of the update block `src` (type 33 / 1) named `chan_name`.
bool find_upd_channel(void* src, const char* chan_name, void** d_out);
bool find_upd_channel_2009(void* src, const char* chan_name, void** d_out);
bool find_upd_channel_2010(void* src, const char* chan_name, void** d_out);

// ---------------------------------------------------------------------------
// Merging newer slow-control values into a local copy `dest`. Only existing
// entries of `dest` are overwritten (whole), so `dest` never grows.

// Environment blocks (type 35 / 3): each entry of `dest` takes the first entry
// of `src` with the same index. The 2010 variant reports refusals on
// standard output and flushes it.
bool copy_env_entries(void* dest, void* src);
bool copy_env_entries_2009(void* dest, void* src);
bool copy_env_entries_2010(void* dest, void* src);
// Update blocks (type 33 / 1): entries of `src` overwrite the first entry of
// `dest` with the same name; entries without a match are dropped.
bool copy_upd_entries(void* dest, void* src);
bool copy_upd_entries_2009(void* dest, void* src);
bool copy_upd_entries_2010(void* dest, void* src);

}  // extern "C"

#endif  // HESK_EVENT_CHANNEL_H
