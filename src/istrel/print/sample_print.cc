// Sample values of device payloads in the two output forms.
#include <cstdio>

#include "print_internal.h"

namespace print_detail {

namespace {

constexpr int kValuesPerLine = 10;
constexpr int kTuplesPerLine = 4;

void by_channel(const std::vector<SampleRun>& runs) {
  for (const SampleRun& r : runs) {
    printf("\n%s:", r.name.c_str());
    for (int64_t i = 0; i < r.count; ++i) {
      printf("\t%e", static_cast<double>(load<float>(r.data + 4 * i)));
      if ((i + 1) % kValuesPerLine == 0) printf("\n");
    }
  }
  printf("\n");
}

// The stored values one after the other, as many to a tuple as there are
// channels.
void as_tuples(const std::vector<SampleRun>& runs) {
  const size_t width = runs.size();
  size_t in_tuple = 0, tuples = 0;
  for (const SampleRun& r : runs) {
    for (int64_t i = 0; i < r.count; ++i) {
      const double v = load<float>(r.data + 4 * i);
      printf(in_tuple == 0 ? "\t(%e" : " %e", v);
      if (++in_tuple == width) {
        printf(")");
        in_tuple = 0;
        if (++tuples % kTuplesPerLine == 0) printf("\n");
      }
    }
  }
  if (in_tuple != 0) printf(")");
  printf("\n");
}

}  // namespace

void print_samples(const std::vector<SampleRun>& runs, int dformat) {
  if (runs.empty()) return;
  if (dformat != 0)
    by_channel(runs);
  else
    as_tuples(runs);
}

}  // namespace print_detail
