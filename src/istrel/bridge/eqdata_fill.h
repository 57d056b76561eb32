// The bounded form of filling a container from a stored value part, used by
// the readers that know how long the sub-block is. Not thread-safe for one
// container, like the container itself.
#ifndef HESK_ISTREL_EQDATA_FILL_H
#define HESK_ISTREL_EQDATA_FILL_H

#include <cstdint>

#include "event_bridge.h"

namespace bridge_detail {

// kova_fill_in_eqdata over the `avail` bytes at `value`; -2 when the value's
// counts reach beyond them or a text has no terminator within them.
int fill_in(EqData* data, unsigned char* value, uint64_t avail, bool copy);

}  // namespace bridge_detail

#endif  // HESK_ISTREL_EQDATA_FILL_H
