// Reading tables and channels of large DAQ files (2010 generation).
//
// Files (written once into $HESK_DAQ_BENCH_DIR, default /tmp/hesk-daqfile-bench,
// and reused by later runs):
//   0 big:    20000 events x 32 channels, 400 samples   (~1.1 GB)
//   1 small:  the same events and channels, 4 samples   (~0.25 GB; same tables)
//   2 wide:   40000 events x 64 channels, 1 sample      (~1.1 GB; 4x the pointers)
//
// Windowed reads touch only the table's pages: BM_WindowedCdt and
// BM_WindowedByList10 (reduced pointers table of 10 channels) report time and
// minor page faults per read beside BM_PreadCdt / BM_PreadRows10, a pread of
// the same bytes into a fresh buffer; counters x_pread (time over pread's) and
// minflt. Both follow the table sizes (file 0 = file 1 < file 2), not the file
// sizes (file 0 = file 2 > file 1).
//
// BM_ChannelThroughIndex reads one channel's sub-block in every event through
// the reduced pointers table (pread of head and payload per event) and, in
// the same run, every event of the file in order (4 MB reads, walking the
// event lengths; scan_s). x_scan = scan time / channel time.
// BM_ChannelThroughIndexCold does both from a cold page cache (the file's
// pages dropped with posix_fadvise before each read; best of 3).
//
// Large allocations are mapped fresh each time (fixed mmap threshold) so that
// both sides of a comparison pay for the pages they fill.
//
// Run: build/default/bench/daqfile/istrel_daqfile_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "daq_file_writer.h"
#include "event_util.h"

namespace {

using Clock = std::chrono::steady_clock;

struct FileShape {
  const char* name;
  int events, servers, channels, samples;
};

const FileShape kFiles[] = {
    {"big", 20000, 4, 8, 400}, {"small", 20000, 4, 8, 4}, {"wide", 40000, 8, 8, 1}};

// An open bench file with its reference table and dictionary.
struct BenchFile {
  std::string path;
  int fd = -1;
  uint64_t size = 0;
  kova_file_reference_table_2010* frt = nullptr;
  kova_chan_dictionary_table_2010* cdt = nullptr;
  std::vector<std::string> ten;  // 10 channels spread over the dictionary
};

std::string bench_dir() {
  const char* d = getenv("HESK_DAQ_BENCH_DIR");
  return d != nullptr ? d : "/tmp/hesk-daqfile-bench";
}

bool write_file(const FileShape& s, const std::string& path) {
  daqfile::WriterOptions o;
  o.generation = 2010;
  daqfile::Writer w(o);
  daqfile::SyntheticFile shape;
  shape.events = s.events;
  shape.servers = s.servers;
  shape.channels = s.channels;
  shape.samples = s.samples;
  const std::string tmp = path + ".part";
  if (!w.open(tmp) || !daqfile::write_synthetic(shape, &w) || !w.finish()) {
    fprintf(stderr, "cannot write %s: %s\n", tmp.c_str(), w.error().c_str());
    return false;
  }
  return rename(tmp.c_str(), path.c_str()) == 0;
}

BenchFile& file(int i) {
  static std::map<int, BenchFile> files;
  auto it = files.find(i);
  if (it != files.end()) return it->second;
  const FileShape& s = kFiles[i];
  BenchFile f;
  mkdir(bench_dir().c_str(), 0755);
  f.path = bench_dir() + "/" + s.name + "_" + std::to_string(s.events) + "x" +
           std::to_string(s.servers * s.channels) + "x" + std::to_string(s.samples) + ".raw";
  struct stat st;
  if (stat(f.path.c_str(), &st) != 0) {
    fprintf(stderr, "writing %s ...\n", f.path.c_str());
    if (!write_file(s, f.path)) exit(1);
  }
  f.fd = open(f.path.c_str(), O_RDONLY);
  fstat(f.fd, &st);
  f.size = static_cast<uint64_t>(st.st_size);
  // The trailer from the last page only.
  std::vector<unsigned char> tail(4096);
  const off_t at = static_cast<off_t>(f.size - tail.size());
  if (pread(f.fd, tail.data(), tail.size(), at) != static_cast<ssize_t>(tail.size())) exit(1);
  if (get_kova_file_reference_table_m_2010(tail.data(), tail.size(), f.size, f.fd, &f.frt) != 0 ||
      kova_get_channel_dictionary_table_m_2010(f.size, f.frt, f.fd, &f.cdt) != 0)
    exit(1);
  const int n = s.servers * s.channels;
  for (int k = 0; k < 10; ++k)
    f.ten.push_back(
        daqfile::synthetic_channel_name((k * n / 10) / s.channels, (k * n / 10) % s.channels));
  return files.emplace(i, std::move(f)).first->second;
}

long minor_faults() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return u.ru_minflt;
}

// Time per call of `f` and minor faults per call, over at least 0.3 s.
template <typename F>
std::pair<double, double> measure(F f) {
  f();
  int n = 0;
  const long faults = minor_faults();
  const auto start = Clock::now();
  double elapsed = 0;
  do {
    f();
    ++n;
    elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  } while (elapsed < 0.3);
  return {elapsed / n, static_cast<double>(minor_faults() - faults) / n};
}

// pread of `n` bytes at `at` into a fresh buffer.
void pread_into_fresh(int fd, uint64_t at, size_t n) {
  void* b = malloc(n);
  if (pread(fd, b, n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) abort();
  benchmark::DoNotOptimize(b);
  free(b);
}

void pread_cdt(BenchFile& f) {
  pread_into_fresh(f.fd, f.frt->cdt_ref, static_cast<size_t>(f.cdt->length));
}

// The same bytes the reduced table holds: the used records of 10 rows.
void pread_rows(BenchFile& f) {
  int32_t maxev = 0;
  if (pread(f.fd, &maxev, 4, static_cast<off_t>(f.frt->ecp_ref + 8)) != 4) abort();
  const size_t row = static_cast<size_t>(maxev) * 16;
  auto* out = static_cast<unsigned char*>(calloc(1, 12 + 10 * row));
  for (size_t i = 0; i < f.ten.size(); ++i) {
    kova_chan_dictionary_entry_2010* e = nullptr;
    const int k = kova_find_channel_by_name_2010(f.cdt, &f.ten[i][0], &e);
    const size_t n = static_cast<size_t>(e->count) * 16;
    if (pread(f.fd, out + 12 + i * row, n,
              static_cast<off_t>(f.frt->ecp_ref + 12 + static_cast<uint64_t>(k) * row)) !=
        static_cast<ssize_t>(n))
      abort();
  }
  benchmark::DoNotOptimize(out);
  free(out);
}

void windowed_cdt(BenchFile& f) {
  kova_chan_dictionary_table_2010* t = nullptr;
  if (kova_get_channel_dictionary_table_m_2010(f.size, f.frt, f.fd, &t) != 0) abort();
  free(t);
}

void windowed_by_list(BenchFile& f) {
  kova_event_chan_pointers_table* t = nullptr;
  if (kova_get_event_chan_pointers_table_by_list_m_2010(f.size, f.frt, f.fd, f.ten, f.cdt, &t) != 0)
    abort();
  free(t);
}

void report(benchmark::State& state, BenchFile& f, std::pair<double, double> mine,
            std::pair<double, double> floor) {
  state.counters["minflt"] = mine.second;
  state.counters["x_pread"] = mine.first / floor.first;
  state.counters["pread_minflt"] = floor.second;
  state.counters["file_MB"] = static_cast<double>(f.size) / 1e6;
  state.SetLabel(kFiles[state.range(0)].name);
}

// Each benchmark measures its pair in one go and reports one row.
void BM_WindowedCdt(benchmark::State& state) {
  BenchFile& f = file(static_cast<int>(state.range(0)));
  std::pair<double, double> mine, floor;
  for (auto _ : state) {
    mine = measure([&] { windowed_cdt(f); });
    floor = measure([&] { pread_cdt(f); });
    state.SetIterationTime(mine.first);
  }
  report(state, f, mine, floor);
  state.counters["table_kB"] = f.cdt->length / 1e3;
}

void BM_WindowedByList10(benchmark::State& state) {
  BenchFile& f = file(static_cast<int>(state.range(0)));
  std::pair<double, double> mine, floor;
  for (auto _ : state) {
    mine = measure([&] { windowed_by_list(f); });
    floor = measure([&] { pread_rows(f); });
    state.SetIterationTime(mine.first);
  }
  report(state, f, mine, floor);
}

void BM_PreadCdt(benchmark::State& state) {
  BenchFile& f = file(static_cast<int>(state.range(0)));
  const long faults = minor_faults();
  for (auto _ : state) pread_cdt(f);
  state.counters["minflt"] = static_cast<double>(minor_faults() - faults) / state.iterations();
  state.SetLabel(kFiles[state.range(0)].name);
}

void BM_PreadRows10(benchmark::State& state) {
  BenchFile& f = file(static_cast<int>(state.range(0)));
  const long faults = minor_faults();
  for (auto _ : state) pread_rows(f);
  state.counters["minflt"] = static_cast<double>(minor_faults() - faults) / state.iterations();
  state.SetLabel(kFiles[state.range(0)].name);
}

// One channel in every event: sub-block head, then its payload.
uint64_t read_channel(BenchFile& f, const kova_event_chan_pointers_table* t) {
  uint64_t sum = 0;
  std::vector<unsigned char> buf(1 << 16);
  for (int i = 0; i < t->maxev; ++i) {
    const kova_event_chan_ptr_entry& p = t->event_chan_ptr_entry[i];
    if (p.chhd == 0) continue;
    kova_serv_block_subhead_2010 h;
    if (pread(f.fd, &h, sizeof(h), p.chhd) != static_cast<ssize_t>(sizeof(h))) abort();
    const size_t n = static_cast<size_t>(h.ldata) - sizeof(h);
    if (n > buf.size()) buf.resize(n);
    if (pread(f.fd, buf.data(), n, p.data) != static_cast<ssize_t>(n)) abort();
    sum += buf[n - 1];
  }
  return sum;
}

// Every event of the file, in order.
uint64_t scan_events(BenchFile& f) {
  const size_t chunk = 4 << 20;
  std::vector<unsigned char> buf(chunk + (1 << 20));
  uint64_t events = 0, pos = 0, have = 0, start = 0;
  const uint64_t end = f.frt->eit_pos_ref;  // the events end where the tables begin
  while (pos < end) {
    // Keep the unfinished event at the front, then fill.
    memmove(buf.data(), buf.data() + start, have - start);
    have -= start;
    start = 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk, end - pos - have));
    if (want == 0) break;
    if (buf.size() < have + want) buf.resize(have + want);
    const ssize_t r = pread(f.fd, buf.data() + have, want, static_cast<off_t>(pos + have));
    if (r <= 0) abort();
    have += static_cast<uint64_t>(r);
    while (have - start >= sizeof(kova_eventheader)) {
      kova_eventheader h;
      memcpy(&h, buf.data() + start, sizeof(h));
      if (have - start < h.event_length) break;
      ++events;
      start += h.event_length;
    }
    pos += start;
    if (start == 0 && have >= buf.size()) buf.resize(buf.size() * 2);
  }
  return events;
}

void BM_ChannelThroughIndex(benchmark::State& state) {
  BenchFile& f = file(0);
  std::vector<std::string> one = {f.ten[3]};
  kova_event_chan_pointers_table* t = nullptr;
  std::pair<double, double> mine, scan;
  for (auto _ : state) {
    mine = measure([&] {
      if (kova_get_event_chan_pointers_table_by_list_m_2010(f.size, f.frt, f.fd, one, f.cdt, &t) !=
          0)
        abort();
      benchmark::DoNotOptimize(read_channel(f, t));
      free(t);
    });
    scan = measure([&] { benchmark::DoNotOptimize(scan_events(f)); });
    state.SetIterationTime(mine.first);
  }
  state.counters["scan_s"] = scan.first;
  state.counters["x_scan"] = scan.first / mine.first;
  state.counters["file_MB"] = static_cast<double>(f.size) / 1e6;
  state.SetLabel(f.ten[3]);
}

// The same from a cold page cache: the file's pages are dropped
// (posix_fadvise) before each read, so both sides read from the disk.
double cold_seconds(BenchFile& f, const std::function<void()>& work) {
  double best = 1e9;
  for (int i = 0; i < 3; ++i) {
    fdatasync(f.fd);
    posix_fadvise(f.fd, 0, 0, POSIX_FADV_DONTNEED);
    const auto start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

void BM_ChannelThroughIndexCold(benchmark::State& state) {
  BenchFile& f = file(0);
  std::vector<std::string> one = {f.ten[3]};
  double mine = 0, scan = 0;
  for (auto _ : state) {
    mine = cold_seconds(f, [&] {
      kova_event_chan_pointers_table* t = nullptr;
      if (kova_get_event_chan_pointers_table_by_list_m_2010(f.size, f.frt, f.fd, one, f.cdt, &t) !=
          0)
        abort();
      benchmark::DoNotOptimize(read_channel(f, t));
      free(t);
    });
    scan = cold_seconds(f, [&] { benchmark::DoNotOptimize(scan_events(f)); });
    state.SetIterationTime(mine);
  }
  state.counters["scan_s"] = scan;
  state.counters["x_scan"] = scan / mine;
  state.SetLabel(f.ten[3]);
}

}  // namespace

BENCHMARK(BM_PreadCdt)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowedCdt)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PreadRows10)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WindowedByList10)
    ->DenseRange(0, 2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChannelThroughIndex)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChannelThroughIndexCold)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // Fixed threshold: large blocks are mapped fresh on every allocation.
  mallopt(M_MMAP_THRESHOLD, 128 * 1024);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
