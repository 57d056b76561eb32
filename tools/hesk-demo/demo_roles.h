// The worker processes of the demo: writers and readers. Each is forked by
// the master process and ends when the master stops it, or by itself when
// the master is gone (the last worker out then removes the run's
// partitions).
#ifndef HESK_DEMO_ROLES_H
#define HESK_DEMO_ROLES_H

#include <sys/types.h>

#include <string>

#include "demo_engine.h"
#include "demo_partitions.h"
#include "demo_shared.h"

namespace demo {

// Called first in a forked worker: interrupts are left to the master, and
// the worker learns when the master (`parent`) ends, also when it already
// has.
void become_worker(pid_t parent);

// Both return the process's exit code.
int writer_process(const DemoConfig& cfg, Shared* sh, int index, const RunNames& names);
int reader_process(const DemoConfig& cfg, Shared* sh, int index, bool listing,
                   const RunNames& names);

// The recorder: hesk-record's engine recording the demo's event types into
// the archive under `root` as run `run` of experiment kRecordExp, stream
// kRecordStream; it ends when sh->rec_stop is set (or the master is gone)
// with its last file closed whole. A `temporary` root is removed when the
// master is gone (nobody reads it back then).
int recorder_process(const DemoConfig& cfg, Shared* sh, const std::string& root, bool temporary,
                     int run, const RunNames& names);

// Name of writer i's server block ("W1", "W2", ...).
std::string writer_block_name(int index);

}  // namespace demo

#endif  // HESK_DEMO_ROLES_H
