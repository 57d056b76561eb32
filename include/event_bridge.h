// Bridge between the framework's data container and DAQ sub-blocks of type
// 23, and the DAQ request record helpers.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_BRIDGE_H
#define HESK_EVENT_BRIDGE_H

#include "event.h"

#endif  // HESK_EVENT_BRIDGE_H
