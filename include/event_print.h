// Payload, block and whole-event printers.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_PRINT_H
#define HESK_EVENT_PRINT_H

#include "event.h"

#endif  // HESK_EVENT_PRINT_H
