// hesk-daqgen: writes a synthetic DAQ raw file (events of regular server
// blocks and channels, then every table) in any generation and byte order,
// for trying out readers and tools.
//
// Exit status: 0 written; 1 the file could not be written; 2 bad usage.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "daq_file_writer.h"
#include "event_util.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-daqgen";
constexpr int kOk = 0;
constexpr int kFailed = 1;

int usage(std::ostream& os, int status) {
  os << "usage: hesk-daqgen [options] OUTPUT\n"
        "\n"
        "  --generation G   2009, 2010 or 2024 (default 2010)\n"
        "  --swapped        write the byte order opposite to this host's\n"
        "  --events N       events (default 100)\n"
        "  --servers N      server blocks per event (default 2)\n"
        "  --channels N     channels per server block (default 4)\n"
        "  --samples N      samples per channel (default 16)\n"
        "  --types LIST     event types cycled through, by number or name,\n"
        "                   comma-separated (default NORMAL; ENV is not synthesised)\n"
        "  --omit LIST      tables to leave out: eit,cdt,ecpt,eidt,xcd,ehb,sbhb\n"
        "  --unsorted       channel dictionary in order of first appearance\n"
        "\n"
        "Channel c of each server is missing from odd events when c % 3 == 2.\n"
        "  -h, --help       this text\n"
        "\n"
        "exit status: 0 written, 1 the file could not be written, 2 bad usage\n";
  return status;
}

// An event type by number (0-31) or by name ("NORMAL", "heart_beat").
bool parse_type(const std::string& text, int* type) {
  if (hesk_cli::parse_int(text.c_str(), 0, KOVA_EV_EVMAX - 1, type)) return true;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    if (strcasecmp(text.c_str(), event_name_itoa(t)) == 0) {
      *type = t;
      return true;
    }
  }
  return false;
}

std::vector<std::string> split(const std::string& list) {
  std::vector<std::string> out;
  std::stringstream ss(list);
  for (std::string item; std::getline(ss, item, ',');)
    if (!item.empty()) out.push_back(item);
  return out;
}

bool parse_tables(const std::string& list, unsigned* tables) {
  static const struct {
    const char* name;
    unsigned bit;
  } names[] = {{"eit", daqfile::kTableEit},   {"cdt", daqfile::kTableCdt},
               {"ecpt", daqfile::kTableEcpt}, {"eidt", daqfile::kTableEidt},
               {"xcd", daqfile::kTableXcd},   {"ehb", daqfile::kTableEhb},
               {"sbhb", daqfile::kTableSbhb}};
  for (const auto& item : split(list)) {
    bool known = false;
    for (const auto& n : names) {
      if (strcasecmp(item.c_str(), n.name) == 0) {
        *tables &= ~n.bit;
        known = true;
      }
    }
    if (!known) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  enum {
    kGeneration = 1000,
    kSwapped,
    kEvents,
    kServers,
    kChannels,
    kSamples,
    kTypes,
    kOmit,
    kUnsorted
  };
  static const struct option options[] = {{"generation", required_argument, nullptr, kGeneration},
                                          {"swapped", no_argument, nullptr, kSwapped},
                                          {"events", required_argument, nullptr, kEvents},
                                          {"servers", required_argument, nullptr, kServers},
                                          {"channels", required_argument, nullptr, kChannels},
                                          {"samples", required_argument, nullptr, kSamples},
                                          {"types", required_argument, nullptr, kTypes},
                                          {"omit", required_argument, nullptr, kOmit},
                                          {"unsorted", no_argument, nullptr, kUnsorted},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  daqfile::WriterOptions opt;
  daqfile::SyntheticFile shape;
  int c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    switch (c) {
      case 'h':
        return usage(std::cout, kOk);
      case kSwapped:
        opt.swapped = true;
        break;
      case kUnsorted:
        opt.sort_by_key = false;
        break;
      case kGeneration:
        if (!hesk_cli::parse_int(optarg, 2009, 2024, &opt.generation) ||
            (opt.generation != 2009 && opt.generation != 2010 && opt.generation != 2024))
          return hesk_cli::usage_error(kTool, "--generation must be 2009, 2010 or 2024, not '%s'",
                                       optarg);
        break;
      case kEvents:
        if (!hesk_cli::parse_int(optarg, 0, 100000000, &shape.events))
          return hesk_cli::range_error(kTool, "--events", 0, 100000000, optarg);
        break;
      case kServers:
        if (!hesk_cli::parse_int(optarg, 0, 1000, &shape.servers))
          return hesk_cli::range_error(kTool, "--servers", 0, 1000, optarg);
        break;
      case kChannels:
        if (!hesk_cli::parse_int(optarg, 0, 10000, &shape.channels))
          return hesk_cli::range_error(kTool, "--channels", 0, 10000, optarg);
        break;
      case kSamples:
        if (!hesk_cli::parse_int(optarg, 0, 100000000, &shape.samples))
          return hesk_cli::range_error(kTool, "--samples", 0, 100000000, optarg);
        break;
      case kTypes:
        shape.event_types.clear();
        for (const auto& t : split(optarg)) {
          int type = -1;
          if (!parse_type(t, &type) || type == KOVA_EV_ENV)
            return hesk_cli::usage_error(
                kTool, "--types: '%s' is not an event type that can be synthesised", t.c_str());
          shape.event_types.push_back(type);
        }
        if (shape.event_types.empty())
          return hesk_cli::usage_error(kTool, "--types needs event types, not '%s'", optarg);
        break;
      case kOmit:
        if (!parse_tables(optarg, &opt.tables))
          return hesk_cli::usage_error(
              kTool, "--omit takes eit,cdt,ecpt,eidt,xcd,ehb,sbhb, not '%s'", optarg);
        break;
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  if (optind >= argc) return hesk_cli::usage_error(kTool, "no OUTPUT file given");
  if (optind + 1 < argc)
    return hesk_cli::usage_error(kTool, "one output file only, not also '%s'", argv[optind + 1]);
  const std::string output = argv[optind];

  daqfile::Writer w(opt);
  if (!w.open(output) || !daqfile::write_synthetic(shape, &w) || !w.finish()) {
    std::cerr << "hesk-daqgen: " << output << ": " << w.error() << "\n";
    return kFailed;
  }
  const daqfile::Layout& l = w.layout();
  std::cout << output << ": " << opt.generation << (opt.swapped ? " opposite" : " host")
            << " byte order, " << shape.events << " events, " << shape.servers * shape.channels
            << " channels, " << l.size << " bytes, FRT at " << l.frt << "\n";
  return kOk;
}
