// hesk-daqdump: prints what a DAQ raw file holds. The generation and byte
// order are recognised from the file's trailer.
//
//   hesk-daqdump FILE                    the reference table and every table
//   hesk-daqdump --type T FILE           one event type's index entry
//   hesk-daqdump --channels A,B FILE     data offsets of channels in every event
//   hesk-daqdump --events [N] FILE       the events (the first N)
//
// Exit status: 0 done; 1 unused; 2 bad usage, or not a DAQ file, cannot be
// read, or changed (shrank) while it was read; 3 something asked for is not
// in the file, or a table is damaged.
#include <getopt.h>

#include <climits>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "daq_file.h"
#include "tool_options.h"

using namespace daqdump;

namespace {

const char kTool[] = "hesk-daqdump";
constexpr long kMaxEvents = 1L << 40;

int usage(std::ostream& os, int status) {
  os << "usage: hesk-daqdump [--type T | --channels NAME[,NAME...] | --events [N]] FILE\n"
        "\n"
        "  (no option)      the file reference table and every table present\n"
        "  --type T         the index entry of event type T (number or name)\n"
        "  --channels LIST  file offsets of the named channels in every event\n"
        "  --events [N]     the events in file order (the first N; also --events=N)\n"
        "  -h, --help       this text\n"
        "\n"
        "The generation (2009, 2010, 2024) and byte order come from the file.\n"
        "exit status: 0 done, 2 bad usage or not a DAQ file, cannot be read or\n"
        "             changed while read, 3 not in the file or a table damaged\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { kTables, kType, kChannels, kEvents } mode = Mode::kTables;
  enum { kTypeOpt = 1000, kChannelsOpt, kEventsOpt };
  static const struct option options[] = {{"type", required_argument, nullptr, kTypeOpt},
                                          {"channels", required_argument, nullptr, kChannelsOpt},
                                          {"events", optional_argument, nullptr, kEventsOpt},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  std::string arg;
  long limit = -1;
  int modes = 0, c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    switch (c) {
      case kTypeOpt:
      case kChannelsOpt:
        mode = c == kTypeOpt ? Mode::kType : Mode::kChannels;
        arg = optarg;
        ++modes;
        break;
      case kEventsOpt: {
        mode = Mode::kEvents;
        ++modes;
        // The count may follow as a word of its own when a file comes after it.
        const char* n = optarg;
        long any = 0;
        if (n == nullptr && optind + 1 < argc &&
            hesk_cli::parse_long(argv[optind], LONG_MIN, LONG_MAX, &any))
          n = argv[optind++];
        if (n != nullptr && !hesk_cli::parse_long(n, 0, kMaxEvents, &limit))
          return hesk_cli::range_error(kTool, "--events", 0, kMaxEvents, n);
        break;
      }
      case 'h':
        return usage(std::cout, kOk);
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  if (modes > 1) return hesk_cli::usage_error(kTool, "give one of --type, --channels, --events");
  if (optind >= argc) return hesk_cli::usage_error(kTool, "no FILE given");
  if (optind + 1 < argc)
    return hesk_cli::usage_error(kTool, "one file only, not also '%s'", argv[optind + 1]);
  const std::string file = argv[optind];

  int type = -1;
  std::vector<std::string> names;
  if (mode == Mode::kType && (type = parse_event_type(arg)) < 0)
    return hesk_cli::usage_error(kTool, "unknown event type '%s'", arg.c_str());
  if (mode == Mode::kChannels) {
    std::stringstream ss(arg);
    for (std::string n; std::getline(ss, n, ',');)
      if (!n.empty()) names.push_back(n);
    if (names.empty()) return hesk_cli::usage_error(kTool, "--channels needs channel names");
  }

  DaqFile f;
  if (!f.open(file)) {
    std::cerr << "hesk-daqdump: " << file << ": " << f.why() << "\n";
    return kNotDaq;
  }
  int status = kOk;
  switch (mode) {
    case Mode::kType:
      status = dump_type(f, type);
      break;
    case Mode::kChannels:
      status = dump_channels(f, names);
      break;
    case Mode::kEvents:
      status = dump_events(f, limit);
      break;
    case Mode::kTables:
    default:
      status = dump_tables(f);
      break;
  }
  // A file that shrank while mapped reads as zeros from there on.
  if (f.changed()) {
    fflush(stdout);
    std::cerr << "hesk-daqdump: " << file
              << ": the file changed under the reader (it shrank while being read)\n";
    return kNotDaq;
  }
  return status;
}
