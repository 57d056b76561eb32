// Command line of hesk-record.
#include "record_options.h"

#include <getopt.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

#include "event_util.h"
#include "tool_options.h"

namespace hrec {

namespace {

// 1 MB = 2^20 bytes everywhere in the recorder.
constexpr long kMaxFileMb2010 = 3072;  // 32-bit offsets: files stay below 4 GB with their tables
constexpr long kMaxFileMb2024 = 1L << 20;

using hesk_cli::parse_long;

// "--opt needs a number from lo to hi, not 'VALUE'", as every tool says it.
std::string range(const char* option, long lo, long hi, const std::string& value) {
  return std::string(option) + " needs a number from " + std::to_string(lo) + " to " +
         std::to_string(hi) + ", not '" + value + "'";
}

// Experiment and stream names become parts of directory and file names and
// fill 32-byte catalog fields.
bool good_name(const std::string& s) {
  if (s.empty() || s.size() > 31) return false;
  for (char c : s)
    if (!isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') return false;
  return s.find("_run") == std::string::npos && s[0] != '.';
}

}  // namespace

const char* usage_text() {
  return "usage: hesk-record --exp NAME --stream NAME --run N [options]\n"
         "       hesk-record --recover FILE... [--root DIR]\n"
         "\n"
         "Records the events the buffer manager of this host delivers into the event\n"
         "archive as DAQ raw files, with the run catalog and the index file. Each file\n"
         "is closed whole (tables, reference table, trailer, flushed to disk) before\n"
         "the catalogs name it. Ctrl-C or SIGTERM closes the open file and exits 0.\n"
         "\n"
         "what:\n"
         "  --types LIST        event types, numbers or names, comma-separated\n"
         "                      (default: every type writers deposit, also later ones)\n"
         "  --generation G      2010 or 2024 (default: the generation in force, 2010);\n"
         "                      must match the buffer manager's layout\n"
         "  --queue-mb M        queue between the buffer manager and the disk, MB\n"
         "                      (default 64); when full, delivery waits\n"
         "where:\n"
         "  --root DIR          archive root: data under DIR, administration under DIR/adm\n"
         "                      (default: the KOVA_ROOT_* variables, else /daq/kova/)\n"
         "  --exp NAME          experiment\n"
         "  --stream NAME       stream\n"
         "  --run N             run number\n"
         "  --file-events N     start a new file after N events\n"
         "  --file-mb M         start a new file before one passes M MB (default 1024)\n"
         "other:\n"
         "  --recover FILE...   make whole files left without tables (after a crash or a\n"
         "                      full disk) and list them in the catalogs; records nothing\n"
         "  --quiet             no progress line\n"
         "  -h, --help          this text\n"
         "\n"
         "1 MB = 1048576 bytes. Files of a run left without tables are recovered when\n"
         "the recorder starts on that run.\n"
         "exit: 0 done, 1 failed (the message names the file), 2 bad usage\n";
}

int parse_event_type(const std::string& text) {
  long v;
  if (parse_long(text.c_str(), 0, KOVA_EV_EVMAX - 1, &v)) return static_cast<int>(v);
  for (int t = 0; t < KOVA_EV_EVMAX; ++t)
    if (strcasecmp(text.c_str(), event_name_itoa(t)) == 0) return t;
  return -1;
}

ParseResult parse_options(int argc, char** argv, Options* o, std::string* why) {
  enum {
    kTypes = 1000,
    kGeneration,
    kQueueMb,
    kRoot,
    kExp,
    kStream,
    kRun,
    kFileEvents,
    kFileMb,
    kRecover,
    kQuiet
  };
  static const option longs[] = {{"types", required_argument, nullptr, kTypes},
                                 {"generation", required_argument, nullptr, kGeneration},
                                 {"queue-mb", required_argument, nullptr, kQueueMb},
                                 {"root", required_argument, nullptr, kRoot},
                                 {"exp", required_argument, nullptr, kExp},
                                 {"stream", required_argument, nullptr, kStream},
                                 {"run", required_argument, nullptr, kRun},
                                 {"file-events", required_argument, nullptr, kFileEvents},
                                 {"file-mb", required_argument, nullptr, kFileMb},
                                 {"recover", required_argument, nullptr, kRecover},
                                 {"quiet", no_argument, nullptr, kQuiet},
                                 {"help", no_argument, nullptr, 'h'},
                                 {nullptr, 0, nullptr, 0}};
  auto bad = [why](const std::string& what) {
    *why = what;
    return kUsageError;
  };
  bool recording = false, file_mb_given = false;
  long v;
  opterr = 0;
  optind = 1;
  for (;;) {
    const int c = getopt_long(argc, argv, ":h", longs, nullptr);
    if (c == -1) break;
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case 'h':
        return kHelp;
      case kTypes: {
        o->types.clear();
        std::stringstream ss(value);
        for (std::string item; std::getline(ss, item, ',');) {
          const int t = parse_event_type(item);
          if (t < 0) return bad("unknown event type '" + item + "' in --types");
          o->types.push_back(t);
        }
        if (o->types.empty()) return bad("--types needs at least one event type");
        recording = true;
        break;
      }
      case kGeneration:
        if (value != "2010" && value != "2024")
          return bad("--generation must be 2010 or 2024, not '" + value + "'");
        o->generation = std::stoi(value);
        recording = true;
        break;
      case kQueueMb:
        if (!parse_long(value.c_str(), 1, 65536, &o->queue_mb))
          return bad(range("--queue-mb", 1, 65536, value));
        recording = true;
        break;
      case kRoot:
        if (value.empty()) return bad("--root needs a directory");
        o->root = value;
        break;
      case kExp:
        if (!good_name(value))
          return bad("--exp must be 1 to 31 letters, digits, '.', '-' or '_' (not \"_run\")");
        o->exp = value;
        recording = true;
        break;
      case kStream:
        if (!good_name(value))
          return bad("--stream must be 1 to 31 letters, digits, '.', '-' or '_' (not \"_run\")");
        o->stream = value;
        recording = true;
        break;
      case kRun:
        if (!parse_long(value.c_str(), 1, 0x7fffffff, &v))
          return bad(range("--run", 1, 0x7fffffff, value));
        o->run = static_cast<int>(v);
        recording = true;
        break;
      case kFileEvents:
        if (!parse_long(value.c_str(), 1, 0x7fffffff, &o->file_events))
          return bad(range("--file-events", 1, 0x7fffffff, value));
        recording = true;
        break;
      case kFileMb:
        if (!parse_long(value.c_str(), 1, kMaxFileMb2024, &o->file_mb))
          return bad(range("--file-mb", 1, kMaxFileMb2024, value));
        file_mb_given = true;
        recording = true;
        break;
      case kRecover:
        o->recover.push_back(value);
        break;
      case kQuiet:
        o->quiet = true;
        break;
      case ':':
        return bad(std::string("option ") + argv[optind - 1] + " needs a value");
      default:
        return bad(std::string("unknown option ") + argv[optind - 1]);
    }
  }
  for (int i = optind; i < argc; ++i) {
    if (o->recover.empty()) return bad(std::string("unexpected argument '") + argv[i] + "'");
    o->recover.push_back(argv[i]);
  }
  if (!o->recover.empty()) {
    if (recording) return bad("--recover takes only files, --root and --quiet");
    return kParsed;
  }
  if (o->exp.empty() || o->stream.empty() || o->run == 0)
    return bad("--exp, --stream and --run are required");
  if (o->generation != 2024 && o->file_mb > kMaxFileMb2010)
    return bad("--file-mb: a 2010 file stays below 4 GB, at most " +
               std::to_string(kMaxFileMb2010) + " MB" + (file_mb_given ? "" : " (default)"));
  return kParsed;
}

}  // namespace hrec
