// The recorder's settings and the parsing of its command line: record a run
// (--exp, --stream, --run, ...) or recover files (--recover FILE...).
#ifndef HESK_RECORD_OPTIONS_H
#define HESK_RECORD_OPTIONS_H

#include <string>
#include <vector>

namespace hrec {

struct Options {
  // What to record.
  std::vector<int> types;  // event types; empty: every type writers deposit
  int generation = 0;      // 2010 or 2024; 0: the generation in force
  long queue_mb = 64;      // bound of the queue between callback and writer
  // Where.
  std::string root;  // archive root (data under it, administration under root/adm)
  std::string exp, stream;
  int run = 0;
  // Rotation: a file ends after file_events events (0: no bound) or before
  // it would pass file_mb MB of events.
  long file_events = 0;
  long file_mb = 1024;
  bool quiet = false;                // no progress line
  double attach_wait_s = 0;          // keep trying to attach to the buffer manager this long
  std::vector<std::string> recover;  // --recover: these files, nothing recorded
};

enum ParseResult { kParsed, kHelp, kUsageError };

// Parses argv (getopt_long: "--opt VALUE" and "--opt=VALUE"); on a usage
// error *why says what is wrong.
ParseResult parse_options(int argc, char** argv, Options* o, std::string* why);

// The --help text.
const char* usage_text();

// An event type by number (0-31) or by name as event_name_itoa gives it
// (case ignored); -1 when it is neither.
int parse_event_type(const std::string& text);

}  // namespace hrec

#endif  // HESK_RECORD_OPTIONS_H
