// Finding, making and letting go of a manager's stats partition.
#include "stats_partition.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <mutex>
#include <vector>

#include "C_shm_int.h"
#include "C_shm_kill.h"
#include "manager_internal.h"

namespace hesk_mgr {

namespace {

// Partition objects given up by abandon(): kept reachable, never used again.
std::vector<C_shm*>* g_abandoned = nullptr;
std::mutex g_abandoned_mx;

constexpr long kBlockInBuffer = HESK_STATS_OFFSET - C_shm_data_offset(1);

bool ours_or_root(const C_shm& shm) {
  const uid_t me = geteuid();
  return me == 0 || atol(shm.getStat("creator").c_str()) == static_cast<long>(me) ||
         atol(shm.getStat("creator").c_str()) == 0;
}

bool set_up(const hesk_stats_block* b) {
  return __atomic_load_n(&b->magic, __ATOMIC_ACQUIRE) == HESK_STATS_MAGIC &&
         b->version == HESK_STATS_VERSION && b->size == sizeof(hesk_stats_block);
}

}  // namespace

hesk_stats_block* stats_block_of(const C_shm& shm) {
  if (!shm.valid() || shm.getBufferCount() != 1 ||
      shm.getBufferLength() < kBlockInBuffer + static_cast<long>(sizeof(hesk_stats_block)))
    return nullptr;
  char* b0 = shm.buffer_addr(0);
  return b0 == nullptr ? nullptr : reinterpret_cast<hesk_stats_block*>(b0 + kBlockInBuffer);
}

StatsPartition::StatsPartition(std::unique_ptr<C_shm> shm, hesk_stats_block* block,
                               std::string name)
    : shm_(std::move(shm)), block_(block), name_(std::move(name)) {}

StatsPartition::~StatsPartition() = default;  // the partition object releases

void StatsPartition::abandon() {
  std::lock_guard<std::mutex> lock(g_abandoned_mx);
  if (g_abandoned == nullptr) g_abandoned = new std::vector<C_shm*>;
  g_abandoned->push_back(shm_.release());
  block_ = nullptr;
}

std::unique_ptr<StatsPartition> StatsPartition::open(const char* event_partition, bool master) {
  const std::string name = hesk_stats_partition_name(event_partition);
  if (name.empty()) {
    if (master) message("init(): the event partition's name is too long for a stats partition");
    return nullptr;
  }
  std::unique_ptr<C_shm> shm(master ? new C_shm(name.c_str(), 1, HESK_STATS_BUFFER, false)
                                    : new C_shm(name.c_str()));
  if (!shm->valid()) {
    if (master) message("init(): no stats partition %s: %s", name.c_str(), shm->Error());
    return nullptr;
  }
  hesk_stats_block* b = stats_block_of(*shm);
  if (b == nullptr || (master && !ours_or_root(*shm))) {
    if (master)
      message("init(): partition %s is not a stats partition of this user: no counts",
              name.c_str());
    shm->keep(true);  // someone else's: never removed by letting go
    return nullptr;
  }
  if (master && !set_up(b)) {
    // New (or of another version): the counts start at 0. Attaching
    // processes use the block only once its magic is there.
    __atomic_store_n(&b->magic, 0, __ATOMIC_RELEASE);
    memset(b, 0, sizeof(*b));
    b->version = HESK_STATS_VERSION;
    b->size = sizeof(*b);
    b->created = static_cast<int64_t>(time(nullptr));
    __atomic_store_n(&b->magic, HESK_STATS_MAGIC, __ATOMIC_RELEASE);
  }
  if (!set_up(b)) {
    shm->keep(true);
    return nullptr;
  }
  return std::unique_ptr<StatsPartition>(new StatsPartition(std::move(shm), b, name));
}

void attach_stats(Hesk& h) {
  std::unique_ptr<StatsPartition>& s = HeskAccess::stats(h);
  if (s) return;
  s = StatsPartition::open(h.evname, h.master);
  HeskAccess::set_stats_block(h, s ? s->block() : nullptr);
}

void release_stats(Hesk& h) {
  HeskAccess::set_stats_block(h, nullptr);
  HeskAccess::stats(h).reset();
}

void abandon_stats(Hesk& h) {
  HeskAccess::set_stats_block(h, nullptr);
  std::unique_ptr<StatsPartition>& s = HeskAccess::stats(h);
  if (s) s->abandon();
  s.reset();
}

void remove_stats_partition(const std::string& event_partition) {
  const std::string name = hesk_stats_partition_name(event_partition.c_str());
  if (!name.empty()) C_shm_kill kill(name.c_str());
}

}  // namespace hesk_mgr
