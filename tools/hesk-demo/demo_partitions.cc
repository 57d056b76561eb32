// Names and removal of a demo run's partitions.
#include "demo_partitions.h"

#include "C_shm.h"
#include "C_shm_kill.h"
#include "demo_roles.h"
#include "hesk_stats.h"

namespace demo {

RunNames run_names(const std::string& prefix, int writers) {
  RunNames n;
  n.client = prefix + ".cl";
  n.event = prefix + ".ev";
  n.stats = hesk_stats_partition_name(n.event.c_str());
  for (int i = 0; i < writers; ++i) n.data.push_back(prefix + ".data." + writer_block_name(i));
  return n;
}

bool partition_exists(const std::string& name) {
  C_shm probe;
  probe.keep(true);
  return !probe.find(name.c_str());
}

namespace {

bool remove_one(const std::string& name) {
  for (int i = 0; i < 4 && partition_exists(name); ++i) C_shm_kill kill(name.c_str());
  return !partition_exists(name);
}

}  // namespace

int remove_partitions(const RunNames& names) {
  int left = 0;
  for (const std::string& d : names.data) left += !remove_one(d);
  left += !remove_one(names.client);
  left += !remove_one(names.event);
  left += !remove_one(names.stats);
  return left;
}

}  // namespace demo
