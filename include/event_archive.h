// The event archive: storage directories and file names, run and copy catalogs, index files and file selection.
// Part of the event-format library; include "event_util.h" to get it.
#ifndef HESK_EVENT_ARCHIVE_H
#define HESK_EVENT_ARCHIVE_H

#include "event.h"

#endif  // HESK_EVENT_ARCHIVE_H
