// Mapped DAQ raw files: the file reference table, the tables it leads to, channel lookup and table printing.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_FILES_H
#define HESK_EVENT_FILES_H

#include "event.h"

#endif  // HESK_EVENT_FILES_H
