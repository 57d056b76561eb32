// Fast-channel search (get_fast_channel_data) in one event of 100 server
// blocks x 50 channels, each block in its own buffer of a data partition,
// resolved through a Hesk pool as a reader's callback does. The floor,
// measured in the same run, is a bare scan of the same sub-block heads from
// addresses resolved beforehand: step by ldata, compare the name, no bounds
// and no pool. "x_scan" is search time / floor time.
//
// Arguments: 0 searches every block for the last channel of the last block
// (the whole event is walked); 1 names that block (one block is walked).
// The partition is made for the run and removed afterwards.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "C_shm_kill.h"
#include "hesk_util.h"

namespace {

constexpr int kBlocks = 100;
constexpr int kChannels = 50;
constexpr int kSamples = 8;
constexpr size_t kSub = sizeof(kova_serv_block_subhead_2010) +
                        sizeof(kova_norm_1channel_block_2010) + kSamples * sizeof(float);
constexpr size_t kBlock = sizeof(kova_serv_block_head_2010) + kChannels * kSub;

std::string block_name(int b) {
  char s[16];
  snprintf(s, sizeof(s), "SRV%02d", b);
  return s;
}
std::string channel_name(int b, int c) {
  char s[32];
  snprintf(s, sizeof(s), "SRV%02d.CH%02d", b, c);
  return s;
}

struct Event {
  std::string partition;
  Hesk* pool = nullptr;
  kova_event_slot_head head;
  std::vector<kova_client_sblock_data> entries;
  std::vector<char*> blocks;  // resolved beforehand, for the floor
};

void write_block(char* p, int b) {
  memset(p, 0, kBlock);
  auto* h = reinterpret_cast<kova_serv_block_head_2010*>(p);
  h->time = {1700000000, 0};
  h->ltotal = static_cast<int32_t>(kBlock);
  h->mpulse = 1;
  strncpy(h->server, block_name(b).c_str(), 255);
  h->nchan = kChannels;
  for (int c = 0; c < kChannels; ++c) {
    auto* s = reinterpret_cast<kova_serv_block_subhead_2010*>(p + sizeof(*h) + c * kSub);
    strncpy(s->chname, channel_name(b, c).c_str(), 255);
    s->dtype = KOVA_BLOCK_1CHAN_2010;
    s->ldata = static_cast<int32_t>(kSub);
    auto* d = reinterpret_cast<kova_norm_1channel_block_2010*>(s + 1);
    d->header.inc = 1;
    d->header.ndata = kSamples;
  }
}

Event& event() {
  static Event ev;
  if (ev.pool != nullptr) return ev;
  ev.partition = "hesk-client-bench." + std::to_string(getpid());
  ev.pool = new Hesk();
  int id = ev.pool->add(ev.partition.c_str(), kBlocks, static_cast<int>(kBlock), false);
  if (id < 0) abort();
  memset(&ev.head, 0, sizeof(ev.head));
  ev.head.evtype = KOVA_EV_NORMAL;
  for (int b = 0; b < kBlocks; ++b) {
    int pid = id, bnum = -1;
    char* p = ev.pool->get_buffer_from_pool(4, static_cast<int>(kBlock), &pid, &bnum);
    if (p == nullptr) abort();
    write_block(p, b);
    kova_client_sblock_data e;
    memset(&e, 0, sizeof(e));
    strncpy(e.name, block_name(b).c_str(), 255);
    e.shmid = id;
    e.bnum = bnum;
    ev.entries.push_back(e);
    ev.blocks.push_back(p);
  }
  ev.head.sbfilled = kBlocks;
  return ev;
}

// The bare scan: the same heads, no resolution and no bounds.
kova_serv_block_subhead_2010* bare_scan(const Event& ev, const char* sb_name, const char* name) {
  for (size_t b = 0; b < ev.blocks.size(); ++b) {
    if (sb_name[0] != '\0' && strncmp(ev.entries[b].name, sb_name, 256) != 0) continue;
    char* p = ev.blocks[b];
    auto* h = reinterpret_cast<kova_serv_block_head_2010*>(p);
    char* s = p + sizeof(*h);
    for (int c = 0; c < h->nchan; ++c) {
      auto* sub = reinterpret_cast<kova_serv_block_subhead_2010*>(s);
      if (strncmp(sub->chname, name, 256) == 0) return sub;
      s += sub->ldata;
    }
  }
  return nullptr;
}

using Clock = std::chrono::steady_clock;

// Seconds per call of f, best of several batches.
template <class F>
double per_call(F f) {
  double best = 1e9;
  for (int rep = 0; rep < 7; ++rep) {
    const auto t0 = Clock::now();
    for (int k = 0; k < 200; ++k) benchmark::DoNotOptimize(f());
    const double d = std::chrono::duration<double>(Clock::now() - t0).count() / 200;
    if (d < best) best = d;
  }
  return best;
}

void BM_FastChannelSearch(benchmark::State& state) {
  Event& ev = event();
  const bool named = state.range(0) != 0;
  std::string sb = named ? block_name(kBlocks - 1) : "";
  std::string name = channel_name(kBlocks - 1, kChannels - 1);
  std::vector<char> sb_buf(256, 0);
  memcpy(sb_buf.data(), sb.c_str(), sb.size());
  auto search = [&] {
    kova_serv_block_head_2010* out = nullptr;
    // An empty name asks for the block's name back: give it a fresh buffer.
    if (!named) sb_buf[0] = '\0';
    return get_fast_channel_data(&ev.head, ev.entries.data(), sb_buf.data(), &name[0], ev.pool,
                                 &out);
  };
  if (search() != bare_scan(ev, sb.c_str(), name.c_str()) || search() == nullptr)
    state.SkipWithError("search and scan disagree");
  for (auto _ : state) benchmark::DoNotOptimize(search());
  const double t = per_call(search);
  const double floor = per_call([&] { return bare_scan(ev, sb.c_str(), name.c_str()); });
  state.counters["search_us"] = t * 1e6;
  state.counters["scan_us"] = floor * 1e6;
  state.counters["x_scan"] = t / floor;
}

BENCHMARK(BM_FastChannelSearch)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  Event& ev = event();
  delete ev.pool;
  C_shm_kill kill(ev.partition.c_str());
  return 0;
}
