// Byte-order conversion of records and whole events: the format-description interpreter, the swap
// primitives, the per-record converters and the whole-event and server-block converters. Part of
// the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_CONVERT_H
#define HESK_EVENT_CONVERT_H

#include "event.h"

#endif  // HESK_EVENT_CONVERT_H
