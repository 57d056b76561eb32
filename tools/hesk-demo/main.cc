// hesk-demo: runs the buffer manager end to end on this host (a master,
// writer processes and reader processes) and prints what it achieved.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo_engine.h"

namespace {

void usage(FILE* out) {
  fprintf(out,
          "usage: hesk-demo [options]\n"
          "  --writers N      writer processes, each its own data partition (default 3)\n"
          "  --readers N      readers taking whole events (default 2)\n"
          "  --listing N      readers listing the first writer's block (default 1)\n"
          "  --events N       events to run (default 5000)\n"
          "  --seconds S      run for S seconds instead of a number of events\n"
          "  --block-size B   bytes of every server block (default 4096)\n"
          "  --rate R         offer R events per second (default: as fast as they go)\n"
          "  --2024           2024 server blocks and event slots (default 2010)\n"
          "  --quiet          no progress line\n");
}

bool number(const char* s, long lo, long hi, long* out) {
  char* end = nullptr;
  long v = strtol(s, &end, 10);
  if (end == s || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  DemoConfig cfg;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    long v = 0;
    auto value = [&](long lo, long hi) {
      if (i + 1 >= argc || !number(argv[i + 1], lo, hi, &v)) {
        fprintf(stderr, "hesk-demo: %s needs a number between %ld and %ld\n", a.c_str(), lo, hi);
        exit(2);
      }
      ++i;
      return v;
    };
    if (a == "--writers") {
      cfg.writers = static_cast<int>(value(1, 16));
    } else if (a == "--readers") {
      cfg.whole_readers = static_cast<int>(value(0, 16));
    } else if (a == "--listing") {
      cfg.listing_readers = static_cast<int>(value(0, 16));
    } else if (a == "--events") {
      cfg.events = value(1, 100000000);
    } else if (a == "--seconds") {
      cfg.seconds = static_cast<double>(value(1, 3600));
      cfg.events = 0;
    } else if (a == "--block-size") {
      cfg.block_size = static_cast<int>(value(1, 64 << 20));
    } else if (a == "--rate") {
      cfg.rate = static_cast<double>(value(1, 10000000));
    } else if (a == "--2024") {
      cfg.layout_2024 = true;
    } else if (a == "--quiet") {
      cfg.progress = false;
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else {
      fprintf(stderr, "hesk-demo: unknown option %s\n", a.c_str());
      usage(stderr);
      return 2;
    }
  }

  printf(
      "hesk-demo: %d writers, %d readers (%d listing, %d whole events), %s, %d-byte blocks, %s\n",
      cfg.writers, cfg.listing_readers + cfg.whole_readers, cfg.listing_readers, cfg.whole_readers,
      cfg.events > 0 ? (std::to_string(cfg.events) + " events").c_str()
                     : (std::to_string(static_cast<int>(cfg.seconds)) + " s").c_str(),
      cfg.block_size, cfg.layout_2024 ? "2024 layout" : "2010 layout");
  fflush(stdout);
  DemoResult r = run_demo(cfg);
  if (!r.error.empty()) fprintf(stderr, "hesk-demo: %s\n", r.error.c_str());
  if (r.interrupted) printf("hesk-demo: interrupted\n");

  printf("\n");
  printf("events built            %lu\n", static_cast<unsigned long>(r.events_built));
  for (const ReaderResult& rr : r.readers)
    printf("  delivered to %-4s      %lu (%s)%s%s\n", rr.name.c_str(),
           static_cast<unsigned long>(rr.events), rr.listing ? "listing W1" : "whole events",
           rr.incomplete ? (", " + std::to_string(rr.incomplete) + " incomplete").c_str() : "",
           rr.corrupted ? (", " + std::to_string(rr.corrupted) + " corrupted").c_str() : "");
  printf("events lost             %lu\n", static_cast<unsigned long>(r.lost));
  printf("events incomplete       %lu\n", static_cast<unsigned long>(r.incomplete));
  printf("events corrupted        %lu\n", static_cast<unsigned long>(r.corrupted));
  printf("blocks refused          %lu\n", static_cast<unsigned long>(r.refused));
  printf("elapsed                 %.3f s\n", r.elapsed_s);
  printf("throughput              %.0f events/s, %.1f MB/s\n", r.events_per_s, r.mb_per_s);
  printf("latency writer->reader  p50 %.0f us, p99 %.0f us\n", r.p50_us, r.p99_us);
  printf("partitions left         %d\n", r.partitions_left);
  printf("%s\n", r.ok ? "result: OK" : "result: FAILED");
  return r.ok ? 0 : 1;
}
