// Payload, block and whole-event printers: text dumps of device payloads,
// slow-control lists, image and ROI heads, whole events of the three
// generations and single server blocks as the buffer manager holds them.
//
// Everything prints to standard output (the slow lists of the event walk
// through std::cout, the rest through printf); nothing is returned. Every
// printer follows the generation flags through its undecorated dispatcher:
// the 2010 form for sub-blocks when the 2010 or the 2024 flag is set, the
// 2009 form otherwise.
//
// Bounds: payload printers read only within a sub-block's ldata; the event
// walk only within event_length, each server block within its ltotal and
// each sub-block within its ldata. A length or count that does not fit is
// reported ("Corrupted data in ...", or the walker's own complaint) and
// nothing behind it is printed. Name fields are printed within their width.
// The block printers that take a bare payload record (print_name_val, the
// image and ROI heads, print_stats_value_2010, the list printers) cannot
// know its length: REQUIRES the entries or channels they print are there.
//
// Not thread-safe with respect to the output only (lines of two threads may
// interleave); no state is kept. Part of the event-format library; include
// "event_util.h" to get it.
#ifndef HESK_EVENT_PRINT_H
#define HESK_EVENT_PRINT_H

#include "Hesk_int.h"
#include "eqdata_types.h"
#include "event.h"

extern "C" {

// ---------------------------------------------------------------------------
// One sub-block: the channel head, the type's head line (means, statistics,
// image head, list entries), and with mode != 0 the samples: dformat 0 as
// parenthesised tuples, dformat != 0 channel by channel, ten to a line.
void print_data_type(void* subhead, int mode, int dformat);
void print_data_type_2009(void* subhead, int mode, int dformat);
void print_data_type_2010(void* subhead, int mode, int dformat);

// ---------------------------------------------------------------------------
// Block printers. The list printers take the first entry and the number of
// entries; entry sizes and type names follow the generation in force.
void print_env_block(void* dt, int nentr);
void print_upd_block(void* upd, int nentr);
void print_env_dict_block(void* dbl, int nentr);
void print_name_val(kova_name_value_block* dt);
// The container's text of a stored framework data block.
void print_eqdata_block(EqDataBlock* dt);
void print_image_header(kova_image_frame_head* im);
void print_image_ext_header(kova_image_ext_frame_head* im);
void print_roi_params(kova_image_roi_param* r_prm);
void print_roi_channel(zel_image_roi_channel* r_prm);
// The sample axes ("Spect1 prm: ...") of a one-, two- or three-ROI block.
void print_roi_stats1(kova_image_roi1* roi);
void print_roi_stats2(kova_image_roi2* roi);
void print_roi_stats3(kova_image_roi3* roi);
// The statistics records of every channel of a 2010 spectrum of type `dtype`
// (one record when the type has no fixed channel count).
void print_stats_value_2010(kova_spect_statistics_2010* stats, int dtype);

// ---------------------------------------------------------------------------
// Whole events: the header, each server block head and its sub-blocks as the
// event type selects, then the tail line. The server blocks and the tail are
// read from `buffer` when given (it then holds the event_length - header
// bytes that follow the header), else right after the header. The 2010 and
// 2024 walks stop when the server blocks reach event_length or after
// num_svr_block of them; the 2009 walk takes num_svr_block of them.
void print_event(void* evhd, char* buffer);
void print_event_2009(kova_eventheader* evhd, char* buffer);
void print_event_2010(kova_eventheader* evhd, char* buffer);
void print_event_2024(kova_eventheader_2024* evhd, char* buffer);

// One server block as the buffer manager holds it: the head with the slot's
// event type, then its sub-blocks as in the event walk for that type. The
// 2009 or 2010 layout follows the generation in force. Without a slot head
// only "dump_server_block() no event type given\n" is printed.
void dump_server_block(kova_event_slot_head* hd, kova_serv_block_head* event);
void dump_server_block_2024(kova_event_slot_head_2024* hd, kova_serv_block_head_2024* event);

}  // extern "C"

#endif  // HESK_EVENT_PRINT_H
