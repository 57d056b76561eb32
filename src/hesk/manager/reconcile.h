// The monitor's reconciliation: what a process killed between two steps
// leaves behind, which the semaphores' undo does not repair, is found and
// given back, so that no client slot, event slot or buffer stays lost.
//
// - Client slots: a slot whose process is gone is kicked out; a slot taken
//   whose pid was never written (or whose freeing was cut short) goes back
//   when the process that took it is gone; the control block's counters are
//   recounted from the slots.
// - Event slots: a slot taken out of the free queue whose record says free
//   (set-up or freeing cut short) goes back.
// - Every partition the master holds: the free queue, the free bits and the
//   free count are brought back into agreement.
// - Buffers taken by writers that are gone and that no event slot refers to
//   go back to their partitions, wherever on the host they are. Writers are
//   known gone when the monitor saw them subscribed and then gone; and every
//   twenty passes (and at a monitor's first) the takers of every handed-out
//   buffer of the data partitions that events of this manager used are
//   looked at, so that a writer that died between two passes and was kicked
//   out by another writer's set-up, or before this master started, is found
//   too.
#ifndef HESK_MANAGER_RECONCILE_H
#define HESK_MANAGER_RECONCILE_H

#include <set>
#include <utility>

#include "manager_internal.h"

namespace hesk_mgr {

// Takes event lock 0 when there is something to repair. The number of
// slots repaired (reported), or -1 when the monitor was told to stop.
int reconcile_event_slots(Hesk& h);
// Takes client lock 0. False when the monitor was told to stop meanwhile.
bool reconcile_clients(Hesk& h, MonitorState& ms);
// Repairs the data partitions in the pool and, when writers have gone,
// every partition of the host. True when something was repaired (reported).
//
// A buffer of a writer that is gone is reclaimed only when no event slot
// refers to it. The references are read after the writer was found gone,
// each slot under its lock: a process that is gone deposits nothing more,
// so a buffer no slot refers to then stays unreferenced, while one that
// the writer deposited before it died is seen in its slot.
bool reconcile_data(Hesk& h, MonitorState& ms);

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_RECONCILE_H
