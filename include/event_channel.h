// Channel accessors: single channels, spectra, images, update parameters and slow-control lists read out of device blocks.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_CHANNEL_H
#define HESK_EVENT_CHANNEL_H

#include "event.h"

#endif  // HESK_EVENT_CHANNEL_H
