// What makes a master the only one of its host, and what a process checks
// before it trusts control partitions it did not create.
//
// The master lock is semaphore gbl_synch of the client partition's set
// (unused by control partitions otherwise): a master raises it from 0 to 1
// with undo-on-exit, so it drops back when the master ends or is killed,
// and a second master finds it at 1 and is refused. The semaphore's last
// operating process names the master that holds it.
//
// The event partition's layout (2010 or 2024 slots) is recorded as the data
// identifier of its buffer 0, which holds the control records.
#ifndef HESK_MANAGER_MASTER_GUARD_H
#define HESK_MANAGER_MASTER_GUARD_H

#include "manager_internal.h"

namespace hesk_mgr {

// Takes the master lock of the client partition; false on success. Refused
// (reported, naming the holder) while another master holds it.
bool take_master_lock(Hesk& h);
void release_master_lock(Hesk& h);

// Whether the partition (segment and semaphore set) was created by this
// user or by root; otherwise reported and false.
bool created_by_us_or_root(C_shm_buffer* b, const char* name);

// The layout tag of an event partition: 2010, 2024, or 0 when none is
// recorded (buffer 0 not yet taken, or made by an older version).
int event_layout_tag(C_shm_buffer* ev);
void set_event_layout_tag(C_shm_buffer* ev, bool b2024);

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_MASTER_GUARD_H
