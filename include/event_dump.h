// Text dumps of record heads, payloads and whole events.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_DUMP_H
#define HESK_EVENT_DUMP_H

#include "event.h"

#endif  // HESK_EVENT_DUMP_H
