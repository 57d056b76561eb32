// File selection over an archive through get_files_for_runsn and
// get_files_for_period, one experiment at a time.
#include "select.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "errors.h"
#include "event_util.h"
#include "library_state.h"

namespace heskpy {

namespace {

bool is_directory(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string field(const char* f, size_t width) {
  return std::string(f, strnlen(f, width));
}

// The catalogs' entries, released when it goes.
struct Catalog {
  std::vector<kova_run_catalog*> entries;
  ~Catalog() { clear_run_catalog_mem(&entries); }
};

// The library cuts each name at the first occurrence of the experiment's
// name. The part cut off is the run's data directory up to that point; it
// is found again from the catalog entry whose directory gives back the name.
class PathCompleter {
 public:
  PathCompleter(const std::vector<kova_run_catalog*>& entries, const std::string& exp)
      : entries_(entries), exp_(exp) {}

  std::string complete(const std::string& cut) {
    const size_t slash = cut.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : cut.substr(0, slash);
    const std::string base = cut.substr(slash == std::string::npos ? 0 : slash + 1);
    auto known = prefixes_.find(dir);
    if (known != prefixes_.end()) return known->second + cut;
    for (kova_run_catalog* e : entries_) {
      char out[4096];
      int len = sizeof(out);
      if (get_event_dir_name_year(e->type, e->year, e->exp, e->stream, e->run, false, out, &len) !=
          0)
        continue;
      const std::string full = std::string(out) + base;
      const size_t at = full.find(exp_);
      if (at == std::string::npos || full.compare(at, std::string::npos, cut) != 0) continue;
      prefixes_[dir] = full.substr(0, at);
      return full;
    }
    return cut;  // not a name of this archive's tree: as the selection gave it
  }

 private:
  const std::vector<kova_run_catalog*>& entries_;
  std::string exp_;
  std::map<std::string, std::string> prefixes_;
};

void append_group_files(std::vector<kova_root_xml_files*>* groups, PathCompleter* paths,
                        std::vector<std::string>* out, std::set<std::string>* seen) {
  for (kova_root_xml_files* g : *groups)
    for (std::string* s : g->rfiles) {
      if (s == nullptr || s->empty()) continue;
      std::string p = paths->complete(*s);
      if (seen->insert(p).second) out->push_back(std::move(p));
    }
  clear_root_xml_files(groups);
}

// Whether a run asked for is in the catalogs of one of the experiments:
// then an empty result means that the run's index files are missing.
bool catalogs_hold_runs(const std::vector<kova_run_catalog*>& entries,
                        const std::vector<std::string>& exps, const std::vector<int>& runs) {
  for (kova_run_catalog* e : entries) {
    const std::string x = field(e->exp, sizeof(e->exp));
    bool exp_matches = false;
    for (const std::string& want : exps)
      exp_matches = exp_matches || want.compare(0, x.size(), x) == 0;
    if (exp_matches && (std::find(runs.begin(), runs.end(), -1) != runs.end() ||
                        std::find(runs.begin(), runs.end(), e->run) != runs.end()))
      return true;
  }
  return false;
}

std::string code_text(int rc) {
  switch (rc) {
    case KOVA_FILE_BAD_PRM:
      return "bad parameters";
    case KOVA_FILE_TOO_LONG:
      return "a name is too long";
    case KOVA_FILE_DIR_ERROR:
      return "a directory of the archive cannot be named or read";
    case KOVA_NO_FILE_FOUND:
      return "no file found";
    case KOVA_OPEN_FILE_ERROR:
      return "a run catalog cannot be opened";
    case KOVA_FILE_NO_MEM:
      return "no memory";
    case KOVA_FILE_CORRUPTED:
      return "a catalog or index file is corrupted";
    case KOVA_FILE_READ_ERROR:
      return "a catalog or index file cannot be read";
    case KOVA_FILE_LOCK_FAILED:
      return "a catalog cannot be locked";
    default:
      return "the selection failed";
  }
}

}  // namespace

std::vector<std::string> select_files(const Selection& s) {
  if (!is_directory(s.root))
    throw Error(ErrorKind::kNoFile, KOVA_FILE_DIR_ERROR,
                "no archive at " + s.root + ": not a directory", ENOENT, s.root);
  const std::string adm = s.adm.empty() ? s.root + "/adm" : s.adm;
  if (!is_directory(adm))
    throw Error(ErrorKind::kNoFile, KOVA_FILE_DIR_ERROR,
                "no administration tree (run catalogs, index files) at " + adm, ENOENT, adm);

  // The archive as hesk-select --root sees it: data under root, catalogs
  // and index files under adm, no staging directory.
  EnvironmentScope env({{"KOVA_ROOT_ENV_DIR", s.root.c_str()},
                        {"KOVA_ROOT_ADM_DIR", adm.c_str()},
                        {"KOVA_ROOT_STAGE_DIR", nullptr},
                        {"KOVA_RUN_CTLG_DIR", nullptr}});
  GenerationScope gen(2010);  // the selection's own default: formats as asked
  StdoutCapture said;

  Catalog all;
  int rc = read_all_run_catalogs(&all.entries, false, nullptr);
  if (rc != 0) {
    const std::string text = said.text();
    throw Error(rc == KOVA_OPEN_FILE_ERROR ? ErrorKind::kNoFile : ErrorKind::kLibrary, rc,
                "run catalogs under " + adm + ": " + code_text(rc) +
                    (text.empty() ? "" : " [library: " + text + "]"));
  }
  if (all.entries.empty())
    throw Error(ErrorKind::kNoFile, KOVA_OPEN_FILE_ERROR, "no run catalog under " + adm, ENOENT,
                adm);

  std::vector<std::string> exps;
  if (!s.exp.empty()) {
    exps.push_back(s.exp);
  } else {
    for (kova_run_catalog* e : all.entries) {
      const std::string x = field(e->exp, sizeof(e->exp));
      if (!x.empty() && std::find(exps.begin(), exps.end(), x) == exps.end()) exps.push_back(x);
    }
    std::sort(exps.begin(), exps.end());
  }

  // The runs asked for that the catalogs know: a range is never expanded
  // beyond the runs that exist.
  std::vector<int> runs;
  if (!s.by_period) {
    if (s.runs.empty()) {
      runs.push_back(-1);
    } else {
      std::set<int> known;
      for (kova_run_catalog* e : all.entries)
        for (const auto& r : s.runs)
          if (e->run >= r.first && e->run <= r.second) known.insert(e->run);
      runs.assign(known.begin(), known.end());
    }
  }

  std::vector<std::string> out;
  std::set<std::string> seen;
  for (std::string exp : exps) {
    PathCompleter paths(all.entries, exp);
    std::vector<kova_root_xml_files*> groups;
    std::string descr;
    if (s.by_period) {
      rc = get_files_for_period(s.start, s.end, &groups, descr, &exp, nullptr, s.format);
    } else {
      if (runs.empty()) break;
      std::vector<int*> sel;
      for (int& r : runs) sel.push_back(&r);
      rc = get_files_for_runsnf(&sel, &groups, descr, s.writer, &exp, nullptr, s.format, -1);
    }
    if (rc != 0) {
      clear_root_xml_files(&groups);
      const std::string text = said.text();
      throw Error(ErrorKind::kLibrary, rc,
                  "selection of '" + exp + "' in " + s.root + ": " + code_text(rc) +
                      (text.empty() ? "" : " [library: " + text + "]"));
    }
    append_group_files(&groups, &paths, &out, &seen);
  }
  said.release();
  // (A period may fall between the files of a run; a writer may have none.)
  if (out.empty() && !s.by_period && s.writer == 0 && catalogs_hold_runs(all.entries, exps, runs))
    throw Error(ErrorKind::kNoFile, KOVA_OPEN_FILE_ERROR,
                "the selected runs are in the catalogs under " + adm +
                    " but none of their index files can be read",
                ENOENT, adm);
  return out;
}

}  // namespace heskpy
