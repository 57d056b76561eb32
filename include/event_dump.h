// Text dumps of record heads, payloads and whole events, printed to standard
// output in a fixed line format. Nothing is returned; a null record prints
// nothing. Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_DUMP_H
#define HESK_EVENT_DUMP_H

#include "Hesk_int.h"
#include "event.h"

// Event headers.
void dump_event_header_(kova_eventheader* evhd);
void dump_event_header_2024_(kova_eventheader_2024* evhd);

// Server block heads, alone (null slot) or with the event slot that holds them
// (then the slot's event type name comes first). The 2024 form first checks
// the slot and server-block patterns and prints only a complaint when either
// is wrong.
void dump_event_subheader(kova_event_slot_head* slot, kova_serv_block_head* event);
void dump_event_subheader_2010(kova_event_slot_head* slot, kova_serv_block_head_2010* event);
void dump_event_subheader_2024(kova_event_slot_head_2024* slot, kova_serv_block_head_2024* event);

// The buffer manager's event slot heads.
void dump_event_header(kova_event_slot_head* hd);
void dump_event_header_2024(kova_event_slot_head_2024* hd);

// Sub-block (channel) heads; a compressed channel also shows its zip header.
// The undecorated form follows the generation in force.
void dump_event_chanhead(void* subhead);
void dump_event_chanhead_2009(kova_serv_block_subhead* subhead);
void dump_event_chanhead_2010(kova_serv_block_subhead_2010* subhead);
void print_kova_zip_header(kova_zip_header* zhd);

#endif  // HESK_EVENT_DUMP_H
