// hesk-demo: runs the buffer manager end to end on this host (a master,
// writer processes and reader processes) and prints what it achieved.
#include <getopt.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "demo_engine.h"
#include "demo_live_view.h"
#include "demo_events.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-demo";
constexpr long kMaxBlock = 64L << 20;

void usage(FILE* out) {
  const long min2010 = demo::min_block_size(false), min2024 = demo::min_block_size(true);
  fprintf(out,
          "usage: hesk-demo [options]\n"
          "\n"
          "Runs the buffer manager end to end on this host, with partitions of its own:\n"
          "a master (this process), writer processes that each deliver one server block\n"
          "of every event, and reader processes that check what they are handed.\n"
          "A recorder writes every event into an event archive (DAQ raw files, run\n"
          "catalog, index file); at the end the run's files are found through the\n"
          "catalogs and every event is read back and compared with what was sent.\n"
          "Shows progress, then a summary. Ctrl-C ends the run in order: every writer\n"
          "stops after the same event and the readers take what is on its way; another\n"
          "Ctrl-C, a second or more later, stops at once.\n"
          "\n"
          "  --writers N      writer processes, each with its own data partition\n"
          "                   (1-16, default 3)\n"
          "  --readers N      reader processes in all (1-16, default 3); of these,\n"
          "  --listing N      N list the first writer's block (W1) and wait for it alone\n"
          "                   (0 to --readers; default 1, or 0 with a single reader);\n"
          "                   the others take whole events\n"
          "  --events N       events to run (1-100000000, default 5000)\n"
          "  --seconds S      run for S seconds instead (1-86400); not with --events\n"
          "  --block-size B   bytes of every server block (%ld-%ld, %ld with --2024;\n"
          "                   default 4096)\n"
          "  --rate R         offer R events per second (1-10000000; default: as fast\n"
          "                   as they go)\n"
          "  --2024           2024 server blocks and event slots (default 2010)\n"
          "  --record DIR     record into the archive under DIR and keep it (default: a\n"
          "                   fresh temporary archive, removed after a good run)\n"
          "  --no-record      no recording\n"
          "  --quiet          no progress\n"
          "  --serve PORT     a live view of the run on http://127.0.0.1:PORT/ (or\n"
          "                   [ADDR:]PORT) while it runs: hesk-status --serve\n"
          "  -h, --help       this text\n"
          "\n"
          "exit status: 0 nothing lost or changed (also when interrupted), 1 events lost,\n"
          "changed or not recorded, or the run failed, 2 bad usage\n",
          min2010, kMaxBlock, min2024);
}

// The path of tool `name` installed or built beside this program, relative
// to the working directory when it lies below it; else the plain name.
std::string sibling_tool(const char* name) {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
  if (n <= 0) return name;
  exe[n] = '\0';
  std::string dir(exe);
  dir.erase(dir.rfind('/'));
  for (const std::string& candidate : {dir + "/" + name, dir + "/../" + name + "/" + name}) {
    char real[PATH_MAX];
    if (realpath(candidate.c_str(), real) == nullptr || access(real, X_OK) != 0) continue;
    char cwd[PATH_MAX];
    std::string path(real);
    if (getcwd(cwd, sizeof(cwd)) != nullptr) {
      std::string base = std::string(cwd) + "/";
      if (path.compare(0, base.size(), base) == 0) path = path.substr(base.size());
    }
    return path;
  }
  return name;
}

std::string this_year() {
  const time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  return std::to_string(lt.tm_year + 1900);
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kWriters = 1000,
    kReaders,
    kListing,
    kEvents,
    kSeconds,
    kBlock,
    kRate,
    k2024,
    kRecord,
    kNoRecord,
    kQuiet,
    kServe
  };
  static const struct option options[] = {{"writers", required_argument, nullptr, kWriters},
                                          {"readers", required_argument, nullptr, kReaders},
                                          {"listing", required_argument, nullptr, kListing},
                                          {"events", required_argument, nullptr, kEvents},
                                          {"seconds", required_argument, nullptr, kSeconds},
                                          {"block-size", required_argument, nullptr, kBlock},
                                          {"rate", required_argument, nullptr, kRate},
                                          {"2024", no_argument, nullptr, k2024},
                                          {"record", required_argument, nullptr, kRecord},
                                          {"no-record", no_argument, nullptr, kNoRecord},
                                          {"quiet", no_argument, nullptr, kQuiet},
                                          {"serve", required_argument, nullptr, kServe},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  DemoConfig cfg;
  int readers = 3, listing = -1;
  long block = cfg.block_size;
  const char* block_text = nullptr;
  bool events_given = false, seconds_given = false, record_given = false;
  std::string serve;
  int c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    long v = 0;
    auto number = [&](const char* opt, long lo, long hi) {
      if (!hesk_cli::parse_long(optarg, lo, hi, &v))
        exit(hesk_cli::range_error(kTool, opt, lo, hi, optarg));
      return v;
    };
    switch (c) {
      case kWriters:
        cfg.writers = static_cast<int>(number("--writers", 1, 16));
        break;
      case kReaders:
        readers = static_cast<int>(number("--readers", 1, 16));
        break;
      case kListing:
        listing = static_cast<int>(number("--listing", 0, 16));
        break;
      case kEvents:
        cfg.events = number("--events", 1, 100000000);
        events_given = true;
        break;
      case kSeconds:
        cfg.seconds = static_cast<double>(number("--seconds", 1, 86400));
        seconds_given = true;
        break;
      case kBlock:
        // The lower bound depends on --2024, which may come later.
        block = number("--block-size", 1, kMaxBlock);
        block_text = optarg;
        break;
      case kRate:
        cfg.rate = static_cast<double>(number("--rate", 1, 10000000));
        break;
      case k2024:
        cfg.layout_2024 = true;
        break;
      case kRecord:
        if (*optarg == '\0') return hesk_cli::usage_error(kTool, "--record needs a directory");
        cfg.record_root = optarg;
        record_given = true;
        break;
      case kNoRecord:
        cfg.record = false;
        break;
      case kQuiet:
        cfg.progress = false;
        break;
      case kServe:
        if (!valid_listen_address(optarg))
          return hesk_cli::usage_error(
              kTool, "--serve needs [ADDR:]PORT with a port from 0 to 65535, not '%s'", optarg);
        serve = optarg;
        break;
      case 'h':
        usage(stdout);
        return 0;
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  if (optind < argc) return hesk_cli::usage_error(kTool, "unexpected argument '%s'", argv[optind]);
  if (events_given && seconds_given)
    return hesk_cli::usage_error(kTool, "give --events or --seconds, not both");
  if (seconds_given) cfg.events = 0;
  if (record_given && !cfg.record)
    return hesk_cli::usage_error(kTool, "give --record DIR or --no-record, not both");
  const long min_block = demo::min_block_size(cfg.layout_2024);
  if (block < min_block)
    return hesk_cli::usage_error(kTool, "--block-size needs a number from %ld to %ld%s, not '%s'",
                                 min_block, kMaxBlock, cfg.layout_2024 ? " with --2024" : "",
                                 block_text ? block_text : "");
  cfg.block_size = static_cast<int>(block);
  if (listing < 0) listing = readers > 1 ? 1 : 0;
  if (listing > readers)
    return hesk_cli::usage_error(
        kTool, "--listing %d exceeds the %d readers in all (--readers); raise --readers", listing,
        readers);
  cfg.listing_readers = listing;
  cfg.whole_readers = readers - listing;
  cfg.name_prefix = demo_default_prefix();

  // A closed output must not end the demo before it has stopped its
  // workers and removed its partitions.
  signal(SIGPIPE, SIG_IGN);
  const std::string run = cfg.events > 0 ? std::to_string(cfg.events) + " events"
                                         : std::to_string(static_cast<long>(cfg.seconds)) + " s";
  printf(
      "hesk-demo: %d writers, %d readers (%d listing W1, %d taking whole events), %s, "
      "%d-byte blocks, %s layout\n",
      cfg.writers, readers, cfg.listing_readers, cfg.whole_readers, run.c_str(), cfg.block_size,
      cfg.layout_2024 ? "2024" : "2010");
  if (cfg.record)
    printf("hesk-demo: recording into %s\n",
           cfg.record_root.empty() ? "a temporary archive" : cfg.record_root.c_str());
  printf("hesk-demo: watch it while it runs: %s --cl %s --ev %s%s\n",
         sibling_tool("hesk-status").c_str(), demo_client_partition(cfg.name_prefix).c_str(),
         demo_event_partition(cfg.name_prefix).c_str(), cfg.layout_2024 ? " --2024" : "");
  fflush(stdout);
  DemoLiveView live;
  if (!serve.empty()) {
    std::string url, error;
    int code = 1;
    if (!live.start(sibling_tool("hesk-status"), serve, demo_client_partition(cfg.name_prefix),
                    demo_event_partition(cfg.name_prefix), cfg.layout_2024, &url, &error, &code)) {
      fprintf(stderr, "hesk-demo: %s\n", error.c_str());
      return code;
    }
    printf("hesk-demo: live view: %s (open it in a browser; it ends with the run)\n", url.c_str());
    fflush(stdout);
  }
  DemoResult r = run_demo(cfg);
  live.stop();
  if (!r.error.empty()) fprintf(stderr, "hesk-demo: %s\n", r.error.c_str());
  if (!r.record_error.empty())
    fprintf(stderr, "hesk-demo: recording: %s\n", r.record_error.c_str());

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
  if (cfg.record)
    printf("events recorded         %lu in %lu files, read back %lu, mismatched %lu\n",
           static_cast<unsigned long>(r.events_recorded),
           static_cast<unsigned long>(r.record_files),
           static_cast<unsigned long>(r.events_read_back),
           static_cast<unsigned long>(r.events_mismatched));
  else
    printf("events recorded         not recorded (--no-record)\n");
  printf("partitions left         %d\n", r.partitions_left);
  printf("result: %s%s\n", r.ok ? "OK" : "FAILED", r.interrupted ? " (interrupted)" : "");
  if (cfg.record && r.record_kept)
    printf("hesk-demo: the recorded run: %s --root %s --exp %s --runs %d%s --prefix %s/real/%s\n",
           sibling_tool("hesk-select").c_str(), r.record_root.c_str(), kRecordExp, r.record_run,
           cfg.layout_2024 ? " --format raw64" : "", r.record_root.c_str(), this_year().c_str());
  fflush(stdout);
  return r.ok ? 0 : 1;
}
