// Whole-event conversion throughput of large events, beside memcpy of the
// same bytes as the floor, all in one run:
//   - spectra: 2010 events of two-channel spectra (4096 samples each, ~4 MB)
//   - images:  2010 events of extended images, 2 and 3 bytes per pixel (~4 MB)
// in place (each iteration converts the whole event; directions alternate so
// the buffer is always valid input) and out of place (network to host from an
// unchanged buffer, and host to network).
//
// Counters: bytes_per_second as usual; x_memcpy is the conversion's
// throughput over memcpy's for the same number of bytes, memcpy measured once
// per size in the same process (the BM_Memcpy rows show it too). The goal is
// x_memcpy >= 0.5.
//
// Run: build/<dir>/bench/convert/istrel_convert_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "dual_event.h"
#include "event_util.h"

namespace {

enum Kind { kSpectra = 0, kImages2 = 1, kImages3 = 2 };

const dual::DualBuffer& event_of(int kind) {
  static std::map<int, dual::DualBuffer> events;
  auto it = events.find(kind);
  if (it != events.end()) return it->second;
  dual::DualBuffer ev;
  switch (kind) {
    case kSpectra:
      ev = dual::large_event(2010, KOVA_BLOCK_BPM_2010, 128, 4096);
      break;
    case kImages2:
      ev = dual::large_event(2010, KOVA_BLOCK_IMAGE_EXT, 4, 1 << 20);
      break;
    default: {
      // 3-byte pixels: build one event by hand.
      dual::Values v;
      dual::DualEvent e(2010, 1);
      e.begin_server("CAMERA");
      for (int i = 0; i < 4; ++i) {
        e.begin_sub("CAMERA.IMAGE", KOVA_BLOCK_IMAGE_EXT);
        dual::image_27(e.data(), 3, 3 * 349525, v);
        e.end_sub();
      }
      e.end_server();
      e.finish();
      ev = e.buf();
    }
  }
  return events.emplace(kind, std::move(ev)).first->second;
}

const char* name_of(int kind) {
  return kind == kSpectra ? "spectra" : kind == kImages2 ? "images_2bpp" : "images_3bpp";
}

// memcpy bytes per second for `n` bytes, measured once per size.
double memcpy_rate(size_t n) {
  static std::map<size_t, double> rates;
  auto it = rates.find(n);
  if (it != rates.end()) return it->second;
  std::vector<unsigned char> a(n, 1), b(n, 2);
  for (int i = 0; i < 3; ++i) memcpy(b.data(), a.data(), n);
  int reps = 0;
  auto start = std::chrono::steady_clock::now();
  double elapsed = 0;
  do {
    memcpy(b.data(), a.data(), n);
    benchmark::DoNotOptimize(b.data());
    ++reps;
    elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  } while (elapsed < 0.3);
  return rates[n] = static_cast<double>(n) * reps / elapsed;
}

using Clock = std::chrono::steady_clock;

// Bytes per second and the ratio to memcpy; `start` is taken before the loop.
void finish(benchmark::State& state, size_t n, Clock::time_point start) {
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
  const double rate = static_cast<double>(n) * static_cast<double>(state.iterations()) / seconds;
  state.counters["x_memcpy"] = rate / memcpy_rate(n);
}

void BM_Memcpy(benchmark::State& state) {
  const dual::DualBuffer& ev = event_of(static_cast<int>(state.range(0)));
  std::vector<unsigned char> out(ev.size());
  for (auto _ : state) {
    memcpy(out.data(), ev.net.data(), ev.size());
    benchmark::DoNotOptimize(out.data());
  }
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * ev.size()));
}

void BM_InPlace(benchmark::State& state) {
  set_data_format_2010(true);
  const dual::DualBuffer& ev = event_of(static_cast<int>(state.range(0)));
  std::vector<unsigned char> buf = ev.net;
  bool network = true;
  const auto start = Clock::now();
  for (auto _ : state) {
    int rc = network ? kova_convert_event(buf.data(), buf.data())
                     : kova_convert_event_hton(buf.data(), buf.data(), 0);
    if (rc != 0) state.SkipWithError("conversion failed");
    network = !network;
  }
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
  finish(state, ev.size(), start);
}

void BM_ToHostOutOfPlace(benchmark::State& state) {
  set_data_format_2010(true);
  const dual::DualBuffer& ev = event_of(static_cast<int>(state.range(0)));
  std::vector<unsigned char> in = ev.net, out(ev.size());
  const auto start = Clock::now();
  for (auto _ : state) {
    if (kova_convert_event(in.data(), out.data()) != 0) state.SkipWithError("conversion failed");
  }
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
  finish(state, ev.size(), start);
}

void BM_ToNetworkOutOfPlace(benchmark::State& state) {
  set_data_format_2010(true);
  const dual::DualBuffer& ev = event_of(static_cast<int>(state.range(0)));
  std::vector<unsigned char> in = ev.host, out(ev.size());
  const auto start = Clock::now();
  for (auto _ : state) {
    if (kova_convert_event_hton(in.data(), out.data(), 0) != 0)
      state.SkipWithError("conversion failed");
  }
  state.SetLabel(name_of(static_cast<int>(state.range(0))));
  finish(state, ev.size(), start);
}

}  // namespace

BENCHMARK(BM_Memcpy)->DenseRange(kSpectra, kImages3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_InPlace)->DenseRange(kSpectra, kImages3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToHostOutOfPlace)->DenseRange(kSpectra, kImages3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToNetworkOutOfPlace)->DenseRange(kSpectra, kImages3)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
