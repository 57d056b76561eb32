// Selection over an archive of N runs with 10 index records each (N = 10 000
// and 20 000): one run-range query and one period query, each covering a
// tenth of the runs, so a linear selection takes twice as long on the
// doubled archive. The floor, measured in the same run, is a plain read of
// the run catalog and of the index files the query needs; the figure
// "x_floor" is query time / floor time.
//
// The order of a selection's files: sort_by_keys on 10 000 and 100 000
// (time, index) pairs with a tenth as many distinct times as pairs, beside
// the floor std::sort of the same pairs, and (up to 20 000 pairs) the plain
// exchange sort whose order it gives.
#include <endian.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "event_util.h"

namespace {

constexpr int kRecordsPerRun = 10;
constexpr unsigned kT0 = 1600000000;
constexpr unsigned kRunSpan = 1000;

char* c(const char* s) {
  return const_cast<char*>(s);
}

struct Archive {
  std::string root;
  int runs = 0;
  std::vector<std::string> index_files;  // per run, run 1 first
  std::string catalog;
};

std::map<int, Archive>& archives() {
  static std::map<int, Archive> a;
  return a;
}

void use(const Archive& a) {
  setenv("KOVA_ROOT_ENV_DIR", (a.root + "/data").c_str(), 1);
  setenv("KOVA_ROOT_ADM_DIR", (a.root + "/adm").c_str(), 1);
  unsetenv("KOVA_ROOT_STAGE_DIR");
  unsetenv("KOVA_RUN_CTLG_DIR");
}

void write_file(const std::string& path, const void* data, size_t n) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || write(fd, data, n) != static_cast<ssize_t>(n)) abort();
  close(fd);
}

// One catalog update with every run, index files written directly (their
// directories made by the library) in big-endian order.
const Archive& archive(int runs) {
  auto it = archives().find(runs);
  if (it != archives().end()) return it->second;
  Archive a;
  char tmpl[] = "/tmp/kova_archive_bench_XXXXXX";
  if (mkdtemp(tmpl) == nullptr) abort();
  a.root = tmpl;
  a.runs = runs;
  use(a);
  std::vector<kova_run_catalog> entries(runs);
  std::vector<kova_run_catalog*> upd;
  for (int r = 1; r <= runs; ++r) {
    kova_run_catalog& e = entries[r - 1];
    memset(&e, 0, sizeof(e));
    e.year = 2020;
    strcpy(e.exp, "lin");
    strcpy(e.stream, "s");
    e.run = r;
    e.files = kRecordsPerRun;
    e.tstart = kT0 + r * kRunSpan;
    e.tend = e.tstart + kRunSpan - 1;
    upd.push_back(&e);
  }
  if (update_run_catalog_entries(&upd, nullptr, c("lin")) != 0) abort();
  char buf[4096];
  int len = sizeof(buf);
  if (get_run_catalog_file_name(buf, &len, nullptr, c("lin")) != 0) abort();
  a.catalog = buf;
  for (const kova_run_catalog& e : entries) {
    len = sizeof(buf);
    if (get_adm_dir_name(c("lin"), c("s"), e.run, true, buf, &len, nullptr, 2020) != 0) abort();
    len = sizeof(buf);
    if (get_index_file_name(c("lin"), c("s"), e.run, buf, &len, 0, nullptr, 0, 2020) != 0) abort();
    kova_index_file recs[kRecordsPerRun];
    memset(recs, 0, sizeof(recs));
    for (int f = 0; f < kRecordsPerRun; ++f) {
      const unsigned t = e.tstart + f * (kRunSpan / kRecordsPerRun);
      recs[f].filen = static_cast<int>(htobe32(static_cast<uint32_t>(kRecordsPerRun - f)));
      recs[f].evfirst = htobe32(t);
      recs[f].evlast = htobe32(t + kRunSpan / kRecordsPerRun - 1);
      recs[f].tfile = htobe32(t);
      recs[f].events = htobe32(100);
    }
    write_file(buf, recs, sizeof(recs));
    a.index_files.push_back(buf);
  }
  return archives().emplace(runs, std::move(a)).first->second;
}

// Plain open/read/close of the catalog and of the index files of runs
// [1, last]: the bytes the query cannot avoid reading.
double floor_seconds(const Archive& a, int last) {
  auto read_all = [](const std::string& p) {
    static std::vector<char> buf(1 << 22);
    const int fd = open(p.c_str(), O_RDONLY);
    ssize_t n, total = 0;
    while ((n = read(fd, buf.data(), buf.size())) > 0) total += n;
    close(fd);
    benchmark::DoNotOptimize(total);
  };
  double best = 1e9;
  for (int rep = 0; rep < 5; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    read_all(a.catalog);
    for (int r = 0; r < last; ++r) read_all(a.index_files[r]);
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    if (d.count() < best) best = d.count();
  }
  return best;
}

template <class Query>
void run_query(benchmark::State& state, Query query) {
  const Archive& a = archive(static_cast<int>(state.range(0)));
  use(a);
  const int last = a.runs / 10;
  size_t files = 0;
  double total = 0;
  for (auto _ : state) {
    std::vector<kova_root_xml_files*> out;
    const auto t0 = std::chrono::steady_clock::now();
    if (query(a, last, &out) != 0) state.SkipWithError("query failed");
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    total += d.count();
    files = 0;
    for (auto* g : out) files += g->rfiles.size();
    clear_root_xml_files(&out);
  }
  const double per_query = total / static_cast<double>(state.iterations());
  const double fl = floor_seconds(a, last);
  state.counters["files"] = static_cast<double>(files);
  state.counters["floor_ms"] = fl * 1e3;
  state.counters["x_floor"] = per_query / fl;
}

void BM_RunRangeQuery(benchmark::State& state) {
  run_query(state, [](const Archive&, int last, std::vector<kova_root_xml_files*>* out) {
    std::vector<int> runs(last);
    std::vector<int*> sel;
    for (int i = 0; i < last; ++i) {
      runs[i] = i + 1;
      sel.push_back(&runs[i]);
    }
    std::string descr, exp = "lin";
    return get_files_for_runs(&sel, out, descr, &exp, nullptr, 0);
  });
}

void BM_PeriodQuery(benchmark::State& state) {
  run_query(state, [](const Archive&, int last, std::vector<kova_root_xml_files*>* out) {
    std::string descr, exp = "lin";
    return get_files_for_period(kT0 + kRunSpan, kT0 + (last + 1) * kRunSpan - 1, out, descr, &exp,
                                nullptr, 0);
  });
}

template <class Sort>
double best_seconds(const std::vector<time_t_index>& in, int reps, Sort sort) {
  double best = 1e9;
  for (int rep = 0; rep < reps; ++rep) {
    std::vector<time_t_index> work = in;
    const auto t0 = std::chrono::steady_clock::now();
    sort(work);
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    benchmark::DoNotOptimize(work.data());
    best = std::min(best, d.count());
  }
  return best;
}

void BM_SortByKeys(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937 rng(7);
  std::vector<time_t_index> in(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    in[static_cast<size_t>(i)] = {static_cast<time_t>(kT0 + rng() % static_cast<unsigned>(n / 10)),
                                  i};
  double total = 0;
  for (auto _ : state) {
    std::vector<time_t_index> work = in;
    const auto t0 = std::chrono::steady_clock::now();
    sort_by_keys(work.data(), n);
    const std::chrono::duration<double> d = std::chrono::steady_clock::now() - t0;
    total += d.count();
    benchmark::DoNotOptimize(work.data());
  }
  const double per_sort = total / static_cast<double>(state.iterations());
  const double fl = best_seconds(in, 5, [](std::vector<time_t_index>& w) {
    std::sort(w.begin(), w.end(), [](const time_t_index& a, const time_t_index& b) {
      return a.t != b.t ? a.t < b.t : a.index < b.index;
    });
  });
  state.counters["floor_ms"] = fl * 1e3;
  state.counters["x_floor"] = per_sort / fl;
  if (n <= 20000) {
    state.counters["exchange_ms"] = 1e3 * best_seconds(in, 1, [](std::vector<time_t_index>& w) {
                                      for (size_t i = 0; i < w.size(); ++i)
                                        for (size_t j = i + 1; j < w.size(); ++j)
                                          if (w[j].t < w[i].t) std::swap(w[i], w[j]);
                                    });
  }
}

BENCHMARK(BM_RunRangeQuery)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeriodQuery)->Arg(10000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByKeys)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Local time in UTC: file names and the times read back from them agree.
  setenv("TZ", "UTC", 1);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (auto& [n, a] : archives()) {
    std::error_code ec;
    std::filesystem::remove_all(a.root, ec);
  }
  return 0;
}
