// hesk-daqdump: prints what a DAQ raw file holds. The generation and byte
// order are recognised from the file's trailer.
//
//   hesk-daqdump FILE                    the reference table and every table
//   hesk-daqdump --type T FILE           one event type's index entry
//   hesk-daqdump --channels A,B FILE     data offsets of channels in every event
//   hesk-daqdump --events[=N] FILE       the events (the first N)
//
// Exit status: 0 done; 1 bad usage; 2 not a DAQ file, cannot be read, or
// changed (shrank) while it was read; 3 something asked for is not in the
// file, or a table is damaged.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "daq_file.h"

using namespace daqdump;

namespace {

int usage(std::ostream& os, int status) {
  os << "usage: hesk-daqdump [--type T | --channels NAME[,NAME...] | --events[=N]] FILE\n"
        "\n"
        "  (no option)      the file reference table and every table present\n"
        "  --type T         the index entry of event type T (number or name)\n"
        "  --channels LIST  file offsets of the named channels in every event\n"
        "  --events[=N]     the events in file order (the first N)\n"
        "\n"
        "The generation (2009, 2010, 2024) and byte order come from the file.\n"
        "exit status: 0 done, 1 bad usage, 2 not a DAQ file, cannot be read or\n"
        "             changed while read, 3 not in the file or a table damaged\n";
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  enum class Mode { kTables, kType, kChannels, kEvents } mode = Mode::kTables;
  std::string file, arg;
  long limit = -1;
  int modes = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") return usage(std::cout, kOk);
    if ((a == "--type" || a == "--channels") && i + 1 < argc) {
      mode = a == "--type" ? Mode::kType : Mode::kChannels;
      arg = argv[++i];
      ++modes;
    } else if (a == "--events" || a.rfind("--events=", 0) == 0) {
      mode = Mode::kEvents;
      ++modes;
      if (a.size() > 9) {
        char* end = nullptr;
        limit = strtol(a.c_str() + 9, &end, 10);
        if (*end != '\0' || limit < 0) {
          std::cerr << "hesk-daqdump: bad event count '" << a.substr(9) << "'\n";
          return usage(std::cerr, kUsage);
        }
      }
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "hesk-daqdump: unknown option or missing value: " << a << "\n";
      return usage(std::cerr, kUsage);
    } else if (file.empty()) {
      file = a;
    } else {
      std::cerr << "hesk-daqdump: one file only\n";
      return usage(std::cerr, kUsage);
    }
  }
  if (file.empty() || modes > 1) return usage(std::cerr, kUsage);

  int type = -1;
  std::vector<std::string> names;
  if (mode == Mode::kType && (type = parse_event_type(arg)) < 0) {
    std::cerr << "hesk-daqdump: unknown event type '" << arg << "'\n";
    return usage(std::cerr, kUsage);
  }
  if (mode == Mode::kChannels) {
    std::stringstream ss(arg);
    for (std::string n; std::getline(ss, n, ',');)
      if (!n.empty()) names.push_back(n);
    if (names.empty()) return usage(std::cerr, kUsage);
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
