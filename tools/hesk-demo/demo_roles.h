// The writer and reader processes of the demo.
#ifndef HESK_DEMO_ROLES_H
#define HESK_DEMO_ROLES_H

#include <string>

#include "demo_engine.h"
#include "demo_shared.h"

namespace demo {

// Both return the process's exit code.
int writer_process(const DemoConfig& cfg, Shared* sh, int index, const std::string& data_name);
int reader_process(const DemoConfig& cfg, Shared* sh, int index, bool listing);

// Name of writer i's server block ("W1", "W2", ...).
std::string writer_block_name(int index);

}  // namespace demo

#endif  // HESK_DEMO_ROLES_H
