// One live event slot of this host's buffer manager, printed read-only: the
// slot's head and the server blocks it holds, each through dump_server_block
// (dump_server_block_2024 for 2024 blocks in the 64-bit mode).
#ifndef HESK_STATUS_EVENT_SLOT_H
#define HESK_STATUS_EVENT_SLOT_H

#include "Hesk.h"

// Prints event slot `slot` of the attached manager `h` to standard output.
// The slot and its server blocks are copied while the slot's own lock is
// held (a few microseconds: the data partitions are attached before), so
// that the event cannot be freed under the copy; nothing is changed, and
// data partitions attached for the copy are kept when this process lets go.
// Returns 0 when printed (or the slot is free), 1 for a slot number outside
// the partition, 4 when the slot's counts do not fit the slot.
int print_event_slot(Hesk& h, int slot);

#endif  // HESK_STATUS_EVENT_SLOT_H
