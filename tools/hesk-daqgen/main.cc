// hesk-daqgen: writes a synthetic DAQ raw file (events of regular server
// blocks and channels, then every table) in any generation and byte order,
// for trying out readers and tools.
//
// Exit status: 0 written; 1 bad usage; 2 the file could not be written.
#include <cerrno>
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

namespace {

constexpr int kOk = 0;
constexpr int kUsage = 1;
constexpr int kFailed = 2;

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
        "exit status: 0 written, 1 bad usage, 2 the file could not be written\n";
  return status;
}

bool parse_int(const char* text, long lo, long hi, int* out) {
  char* end = nullptr;
  errno = 0;
  const long v = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

// An event type by number (0-31) or by name ("NORMAL", "heart_beat").
bool parse_type(const std::string& text, int* type) {
  if (parse_int(text.c_str(), 0, KOVA_EV_EVMAX - 1, type)) return true;
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
  daqfile::WriterOptions opt;
  daqfile::SyntheticFile shape;
  std::string output;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    auto bad = [&](const char* what) {
      std::cerr << "hesk-daqgen: " << what << ": '" << (value ? value : "") << "'\n";
      return usage(std::cerr, kUsage);
    };
    if (a == "--help" || a == "-h") return usage(std::cout, kOk);
    if (a == "--swapped") {
      opt.swapped = true;
    } else if (a == "--unsorted") {
      opt.sort_by_key = false;
    } else if (a == "--generation") {
      if (!value || !parse_int(value, 2009, 2024, &opt.generation) ||
          (opt.generation != 2009 && opt.generation != 2010 && opt.generation != 2024))
        return bad("generation must be 2009, 2010 or 2024");
      ++i;
    } else if (a == "--events") {
      if (!value || !parse_int(value, 0, 100000000, &shape.events)) return bad("bad event count");
      ++i;
    } else if (a == "--servers") {
      if (!value || !parse_int(value, 0, 1000, &shape.servers)) return bad("bad server count");
      ++i;
    } else if (a == "--channels") {
      if (!value || !parse_int(value, 0, 10000, &shape.channels)) return bad("bad channel count");
      ++i;
    } else if (a == "--samples") {
      if (!value || !parse_int(value, 0, 100000000, &shape.samples)) return bad("bad sample count");
      ++i;
    } else if (a == "--types") {
      shape.event_types.clear();
      for (const auto& t : split(value ? value : "")) {
        int type = -1;
        if (!parse_type(t, &type) || type == KOVA_EV_ENV) return bad("bad event type list");
        shape.event_types.push_back(type);
      }
      if (shape.event_types.empty()) return bad("bad event type list");
      ++i;
    } else if (a == "--omit") {
      if (!value || !parse_tables(value, &opt.tables)) return bad("unknown table in");
      ++i;
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "hesk-daqgen: unknown option " << a << "\n";
      return usage(std::cerr, kUsage);
    } else if (output.empty()) {
      output = a;
    } else {
      std::cerr << "hesk-daqgen: one output file only\n";
      return usage(std::cerr, kUsage);
    }
  }
  if (output.empty()) return usage(std::cerr, kUsage);

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
