// hesk-select: the data files of a run range, of one writer, or of a time
// period, one path per line, from the archive's run catalogs and index files.
// The library's diagnostics go to standard error so that standard output
// holds only paths.
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "event_util.h"
#include "tool_options.h"

namespace {

constexpr int kExitNoMatch = 1;
constexpr int kExitMissing = 2;
constexpr int kExitUsage = hesk_cli::kUsageError;  // as every tool

void usage(FILE* f) {
  fprintf(f,
          "usage: hesk-select --exp NAME (--runs LIST | --start TIME [--end TIME]) [options]\n"
          "\n"
          "Lists the data files of the selected runs or period, one path per line, each\n"
          "starting at the experiment directory (exp/stream/runN/...), runs in catalog\n"
          "order, files of a run in time order.\n"
          "\n"
          "selection:\n"
          "  --exp NAME        experiment (required)\n"
          "  --runs LIST       runs: N, N-M, comma-separated, or 'all'\n"
          "  --start TIME      period start; TIME is seconds since the epoch,\n"
          "                    YYYYMMDDThhmmss, YYYY-MM-DDThh:mm:ss or YYYY-MM-DD (local time)\n"
          "  --end TIME        period end (default: the start instant)\n"
          "  --writer N        only the files of writer N (with --runs)\n"
          "  --from-file N     only files numbered N or higher (with --runs)\n"
          "  --format F        root (.idx), raw (.idev, default), both, raw64 (.idev64)\n"
          "archive:\n"
          "  --root DIR        archive root: data under DIR, administration under DIR/adm\n"
          "                    (default: the KOVA_ROOT_* variables, else /daq/kova/)\n"
          "  --adm DIR         administration root (index files, run catalogs)\n"
          "output:\n"
          "  --prefix P        print P/ before every path\n"
          "  --xml             also print each run's channel description file first\n"
          "  -h, --help        this text\n"
          "\n"
          "exit: 0 files listed, 1 nothing matched, 2 run catalog or index files missing,\n"
          "      or bad usage\n");
}

int bad_usage(const char* msg, const char* arg = nullptr) {
  fprintf(stderr, "hesk-select: %s%s%s\n", msg, arg ? ": " : "", arg ? arg : "");
  fprintf(stderr, "try 'hesk-select --help'\n");
  return kExitUsage;
}

bool parse_int(const char* s, long long* v) {
  if (s == nullptr || *s == '\0') return false;
  char* end = nullptr;
  errno = 0;
  *v = strtoll(s, &end, 10);
  return errno == 0 && *end == '\0';
}

bool parse_time(const std::string& s, unsigned int* out) {
  long long v;
  if (parse_int(s.c_str(), &v)) {
    if (v < 0 || v > 0xffffffffLL) return false;
    *out = static_cast<unsigned int>(v);
    return true;
  }
  time_t t = 0;
  std::string text = s;
  if (text.size() == 10 && text[4] == '-' && text[7] == '-') text += "T00:00:00";
  // The parsers explain a failure on standard output, which holds only paths.
  fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  const bool failed = text.find('-') != std::string::npos ? time_from_isodate2(text.c_str(), &t)
                                                          : time_from_isodate(text.c_str(), &t);
  fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  if (failed || t < 0 || t > 0xffffffffLL) return false;
  *out = static_cast<unsigned int>(t);
  return true;
}

// "all", "5", "5-9,12".
bool parse_runs(const std::string& s, std::vector<int>* runs) {
  if (s == "all") {
    runs->push_back(-1);
    return true;
  }
  size_t from = 0;
  while (from <= s.size()) {
    size_t comma = s.find(',', from);
    if (comma == std::string::npos) comma = s.size();
    const std::string item = s.substr(from, comma - from);
    const size_t dash = item.find('-', 1);
    long long a, b;
    if (dash == std::string::npos) {
      if (!parse_int(item.c_str(), &a) || a < 1 || a > 0x7fffffff) return false;
      b = a;
    } else if (!parse_int(item.substr(0, dash).c_str(), &a) ||
               !parse_int(item.substr(dash + 1).c_str(), &b) || a < 1 || b < a || b > 0x7fffffff ||
               b - a > 10000000) {
      return false;
    }
    for (long long r = a; r <= b; ++r) runs->push_back(static_cast<int>(r));
    from = comma + 1;
  }
  return !runs->empty();
}

bool parse_format(const std::string& s, int* f) {
  static const char* const kNames[] = {"root", "raw", "both", "raw64"};
  for (int i = 0; i < 4; ++i) {
    if (s == kNames[i] || s == std::to_string(i)) {
      *f = i;
      return true;
    }
  }
  return false;
}

// Runs `fn` with standard output sent to standard error.
template <class Fn>
auto quietly(Fn fn) {
  fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  dup2(STDERR_FILENO, STDOUT_FILENO);
  auto result = fn();
  fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  return result;
}

struct Options {
  std::string exp;
  std::vector<int> runs;
  bool by_period = false;
  unsigned int start = 0, end = 0;
  long long writer = 0, from_file = -1;
  int format = KOVA_DAQ_DATA_RAW_FORMAT;
  std::string prefix;
  bool xml = false;
};

// True when some catalog entry of the experiment is selected: the runs
// exist, so an empty result means their index files are missing.
bool catalog_has_selected_runs(const Options& o) {
  std::vector<kova_run_catalog*> list;
  const int rc = quietly([&] { return read_all_run_catalogs(&list, false, nullptr); });
  bool found = false;
  for (kova_run_catalog* e : list) {
    const size_t n = strnlen(e->exp, sizeof(e->exp));
    if (n > o.exp.size() || o.exp.compare(0, n, e->exp, n) != 0) continue;
    if (o.by_period) {
      found = found || (e->tstart != 0 && e->tend != 0 &&
                        check_time_interval(o.start, o.end ? o.end : o.start, e->tstart, e->tend));
    } else {
      for (int r : o.runs) found = found || r == -1 || r == e->run;
    }
  }
  clear_run_catalog_mem(&list);
  return rc == 0 && found;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string root, adm;
  bool have_runs = false;
  enum {
    kExp = 1000,
    kRuns,
    kStart,
    kEnd,
    kWriter,
    kFromFile,
    kFormat,
    kRoot,
    kAdm,
    kPrefix,
    kXml
  };
  static const struct option options[] = {{"exp", required_argument, nullptr, kExp},
                                          {"runs", required_argument, nullptr, kRuns},
                                          {"start", required_argument, nullptr, kStart},
                                          {"end", required_argument, nullptr, kEnd},
                                          {"writer", required_argument, nullptr, kWriter},
                                          {"from-file", required_argument, nullptr, kFromFile},
                                          {"format", required_argument, nullptr, kFormat},
                                          {"root", required_argument, nullptr, kRoot},
                                          {"adm", required_argument, nullptr, kAdm},
                                          {"prefix", required_argument, nullptr, kPrefix},
                                          {"xml", no_argument, nullptr, kXml},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  int c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    const char* v = optarg;
    long long n;
    switch (c) {
      case 'h':
        usage(stdout);
        return 0;
      case kXml:
        o.xml = true;
        break;
      case kExp:
        o.exp = v;
        break;
      case kRuns:
        if (!parse_runs(v, &o.runs)) return bad_usage("bad run list", v);
        have_runs = true;
        break;
      case kStart:
        if (!parse_time(v, &o.start)) return bad_usage("bad time", v);
        o.by_period = true;
        break;
      case kEnd:
        if (!parse_time(v, &o.end)) return bad_usage("bad time", v);
        break;
      case kWriter:
        if (!parse_int(v, &n) || n < 0 || n > 0x7fffffff) return bad_usage("bad writer", v);
        o.writer = n;
        break;
      case kFromFile:
        if (!parse_int(v, &n) || n < 0 || n > 0x7fffffff) return bad_usage("bad file number", v);
        o.from_file = n;
        break;
      case kFormat:
        if (!parse_format(v, &o.format)) return bad_usage("bad format", v);
        break;
      case kRoot:
        root = v;
        break;
      case kAdm:
        adm = v;
        break;
      case kPrefix:
        o.prefix = v;
        break;
      default:
        return hesk_cli::getopt_error("hesk-select");
    }
  }
  if (optind < argc) return bad_usage("unexpected argument", argv[optind]);
  if (o.exp.empty()) return bad_usage("--exp is required");
  if (have_runs == o.by_period) return bad_usage("give either --runs or --start");
  if (o.by_period && (o.writer != 0 || o.from_file >= 0))
    return bad_usage("--writer and --from-file go with --runs");
  if (o.by_period && o.end != 0 && o.end < o.start) return bad_usage("--end before --start");

  if (!root.empty()) {
    setenv("KOVA_ROOT_ENV_DIR", root.c_str(), 1);
    unsetenv("KOVA_ROOT_STAGE_DIR");
    unsetenv("KOVA_RUN_CTLG_DIR");
    if (adm.empty()) adm = root + "/adm";
  }
  if (!adm.empty()) setenv("KOVA_ROOT_ADM_DIR", adm.c_str(), 1);

  std::vector<kova_root_xml_files*> out;
  std::string descr;
  const int rc = quietly([&] {
    if (o.by_period)
      return get_files_for_period(o.start, o.end, &out, descr, &o.exp, nullptr, o.format);
    std::vector<int*> sel;
    for (int& r : o.runs) sel.push_back(&r);
    return get_files_for_runsnf(&sel, &out, descr, static_cast<int>(o.writer), &o.exp, nullptr,
                                o.format, static_cast<int>(o.from_file));
  });
  if (rc != 0) {
    if (rc == KOVA_OPEN_FILE_ERROR)
      fprintf(stderr, "hesk-select: no run catalog of '%s' under the administration root\n",
              o.exp.c_str());
    else
      fprintf(stderr, "hesk-select: cannot read the run catalogs of '%s' (code %d)\n",
              o.exp.c_str(), rc);
    clear_root_xml_files(&out);
    return rc == KOVA_OPEN_FILE_ERROR ? kExitMissing : 1;
  }
  const std::string lead = o.prefix.empty() ? "" : o.prefix + "/";
  size_t listed = 0;
  for (kova_root_xml_files* g : out) {
    if (o.xml && g->xmlfile != nullptr) printf("%s\n", g->xmlfile->c_str());
    for (std::string* s : g->rfiles) {
      printf("%s%s\n", lead.c_str(), s->c_str());
      ++listed;
    }
  }
  clear_root_xml_files(&out);
  if (fflush(stdout) != 0) {
    perror("hesk-select: write");
    return 1;
  }
  if (listed > 0) return 0;
  if (catalog_has_selected_runs(o)) {
    fprintf(stderr, "hesk-select: the selected runs have no readable index files\n");
    return kExitMissing;
  }
  fprintf(stderr, "hesk-select: no run of '%s' matches\n", o.exp.c_str());
  return kExitNoMatch;
}
