// Slow-data blocks: accessors, conversions and printing.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_SLOW_H
#define HESK_EVENT_SLOW_H

#include "event.h"

#endif  // HESK_EVENT_SLOW_H
