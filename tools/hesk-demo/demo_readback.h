// The recorded demo run read back from the archive: its files found through
// the run catalog and the index file (the selection), every event read
// through the file readers, converted to host order and checked through the
// channel accessors against what the writers sent.
#ifndef HESK_DEMO_READBACK_H
#define HESK_DEMO_READBACK_H

#include <cstdint>
#include <string>

#include "demo_engine.h"

namespace demo {

struct ReadBack {
  uint64_t files = 0;       // selected for the run
  uint64_t events = 0;      // read back from them
  uint64_t mismatched = 0;  // wrong, twice, or missing of the events built
  std::string error;        // the first problem, for the message
};

// Reads run `run` of the demo's experiment under `root`; `built` events
// were delivered. Uses the archive roots and generation of this process
// for the time of the call.
ReadBack read_back(const DemoConfig& cfg, const std::string& root, int run, uint64_t built);

// The first run number the demo's experiment has not used under `root`.
int next_record_run(const std::string& root);

}  // namespace demo

#endif  // HESK_DEMO_READBACK_H
