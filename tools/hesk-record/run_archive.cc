// Names, lock, catalog and index entries of a recorded run, and the repair
// of what an earlier recorder of the run left behind.
#include "run_archive.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "event_util.h"

namespace hrec {

namespace {

char* c(std::string& s) {
  return &s[0];
}

bool all_digits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char x) { return x >= '0' && x <= '9'; });
}

// "<exp>_<stream>_run<N>_file": every data file name of the run starts so.
std::string name_lead(const RunId& id) {
  return id.exp + "_" + id.stream + "_run" + std::to_string(id.run) + "_file";
}

std::string name_tail(const RunId& id) {
  return (id.fid > 0 ? "." + std::to_string(id.fid) : std::string()) + ".raw";
}

// The rest of a data file name after name_lead(): file number and time stamp.
bool parse_name_rest(const std::string& rest, const std::string& tail, int* number,
                     std::string* iso) {
  const size_t us = rest.find('_');
  if (us == std::string::npos || rest.size() != us + 1 + 15 + tail.size()) return false;
  const std::string num = rest.substr(0, us), stamp = rest.substr(us + 1, 15);
  if (!all_digits(num) || num.size() > 9 || rest.compare(us + 16, std::string::npos, tail) != 0)
    return false;
  if (stamp[8] != 'T' || !all_digits(stamp.substr(0, 8)) || !all_digits(stamp.substr(9)))
    return false;
  *number = atoi(num.c_str());
  *iso = stamp;
  return true;
}

// The time whose compact ISO date is `iso`, as the selection rebuilds the
// name from it.
bool time_of(const std::string& iso, time_t* t) {
  if (time_from_isodate(iso.c_str(), t)) return false;
  for (time_t shift : {0, 3600, -3600}) {
    char back[64] = "";
    create_isodate_from_sec(*t + shift, back, true);
    if (iso == back) {
      *t += shift;
      return true;
    }
  }
  return false;
}

// The experiment's run catalog, read without its lock; empty when there is
// none yet (without the library's message about a missing file).
void read_catalog(std::string exp, std::vector<kova_run_catalog*>* list) {
  char name[4096];
  int len = sizeof(name);
  if (get_run_catalog_file_name(name, &len, nullptr, c(exp)) != 0 || access(name, F_OK) != 0)
    return;
  read_run_catalog(list, false, nullptr, c(exp));
}

// The index record of data file `number`, of either layout.
template <typename Record>
Record index_record(int number, time_t tfile, const daqfile::EventSpan& span) {
  Record r;
  memset(&r, 0, sizeof(r));
  r.filen = number;
  r.evfirst = span.first_time.timeup;
  r.evlast = span.last_time.timeup;
  r.event_first = static_cast<decltype(r.event_first)>(span.first_number);
  r.event_last = static_cast<decltype(r.event_last)>(span.last_number);
  r.tfile = static_cast<unsigned>(tfile);
  r.events = static_cast<unsigned>(span.events);
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) r.tevents[t] = static_cast<int>(span.per_type[t]);
  return r;
}

bool same_run(const kova_run_catalog* e, const RunId& id) {
  return e->type == id.mode && e->run == id.run && e->fid == id.fid &&
         strncmp(e->exp, id.exp.c_str(), sizeof(e->exp)) == 0 &&
         strncmp(e->stream, id.stream.c_str(), sizeof(e->stream)) == 0;
}

}  // namespace

void use_archive_root(const std::string& root) {
  std::string abs = root;
  if (abs[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)) != nullptr) abs = std::string(cwd) + "/" + abs;
  }
  while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
  setenv("KOVA_ROOT_ENV_DIR", abs.c_str(), 1);
  unsetenv("KOVA_ROOT_STAGE_DIR");
  unsetenv("KOVA_RUN_CTLG_DIR");
  setenv("KOVA_ROOT_ADM_DIR", (abs + "/adm").c_str(), 1);
}

bool parse_data_path(const std::string& path, RunId* id, int* number, std::string* data_root) {
  std::vector<std::string> parts;
  size_t from = 0;
  while (from <= path.size()) {
    size_t slash = path.find('/', from);
    if (slash == std::string::npos) slash = path.size();
    parts.push_back(path.substr(from, slash - from));
    from = slash + 1;
  }
  if (parts.size() < 7) return false;
  const size_t n = parts.size();
  const std::string &mode = parts[n - 6], &year = parts[n - 5], &rundir = parts[n - 2];
  RunId r;
  if (mode == "real")
    r.mode = KOVA_GLOB_MODE_REAL;
  else if (mode == "test")
    r.mode = KOVA_GLOB_MODE_TEST;
  else
    return false;
  if (!all_digits(year) || year.size() > 6 || rundir.compare(0, 3, "run") != 0 ||
      !all_digits(rundir.substr(3)) || rundir.size() > 13)
    return false;
  r.year = atoi(year.c_str());
  r.exp = parts[n - 4];
  r.stream = parts[n - 3];
  r.run = atoi(rundir.c_str() + 3);
  const std::string& file = parts[n - 1];
  const std::string lead = name_lead(r);
  if (r.exp.empty() || r.stream.empty() || r.run < 1 || file.compare(0, lead.size(), lead) != 0)
    return false;
  std::string iso, rest = file.substr(lead.size());
  // The writer number, when there is one, stands before ".raw".
  const size_t raw = rest.rfind(".raw");
  const size_t dot = raw == std::string::npos ? raw : rest.rfind('.', raw - 1);
  if (dot != std::string::npos && dot > rest.find('_') &&
      all_digits(rest.substr(dot + 1, raw - dot - 1)))
    r.fid = atoi(rest.c_str() + dot + 1);
  if (!parse_name_rest(rest, name_tail(r), number, &iso)) return false;
  *id = r;
  *data_root = path.substr(0, path.size() - (mode.size() + year.size() + r.exp.size() +
                                             r.stream.size() + rundir.size() + file.size() + 6));
  if (data_root->empty()) *data_root = "/";
  return true;
}

std::string file_err_text(int code) {
  static const char* const kTexts[] = {"ok",
                                       "bad parameter",
                                       "name too long",
                                       "its directory cannot be made or named",
                                       "no such file",
                                       "cannot be opened",
                                       "out of memory",
                                       "cannot be examined (stat)",
                                       "corrupted",
                                       "read error",
                                       "write error (full disk?)",
                                       "its lock cannot be taken"};
  if (code >= 0 && code < static_cast<int>(sizeof(kTexts) / sizeof(kTexts[0]))) return kTexts[code];
  return "error " + std::to_string(code);
}

RunArchive::RunArchive(const RunId& id, Report report) : id_(id), report_(std::move(report)) {}

RunArchive::~RunArchive() {
  if (lock_fd_ >= 0) close(lock_fd_);  // closing gives the lock back
}

bool RunArchive::fail(const std::string& what) {
  error_ = what;
  return false;
}

bool RunArchive::make_dir() {
  char out[4096];
  int len = sizeof(out);
  const int rc = get_event_dir_name_year(id_.mode, id_.year, c(id_.exp), c(id_.stream), id_.run,
                                         true, out, &len);
  if (rc != KOVA_DIR_OK) {
    std::string what = "cannot make the run directory";
    if (rc == KOVA_DIR_FAILED_CREATE) what += " " + std::string(out, static_cast<size_t>(len));
    return fail(what + " (code " + std::to_string(rc) + ")");
  }
  dir_.assign(out, static_cast<size_t>(len));
  return true;
}

bool RunArchive::lock_run() {
  lock_fd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_fd_ < 0) return fail(dir_ + ": " + strerror(errno));
  if (flock(lock_fd_, LOCK_EX | LOCK_NB) == 0) return true;
  const int e = errno;
  close(lock_fd_);
  lock_fd_ = -1;
  if (e == EWOULDBLOCK)
    return fail("another recorder is writing run " + std::to_string(id_.run) + " of " + id_.exp +
                "/" + id_.stream + " (" + dir_ + ")");
  return fail(dir_ + ": lock: " + strerror(e));
}

bool RunArchive::open() {
  std::vector<kova_run_catalog*> list;
  id_.year = 0;
  read_catalog(id_.exp, &list);
  for (kova_run_catalog* e : list) {
    if (same_run(e, id_)) {
      id_.year = e->year;
      break;
    }
  }
  clear_run_catalog_mem(&list);
  if (id_.year == 0) {
    const time_t now = time(nullptr);
    struct tm lt;
    localtime_r(&now, &lt);
    id_.year = lt.tm_year + 1900;
  }
  return make_dir() && lock_run() && repair(nullptr);
}

bool RunArchive::open_for(const std::vector<std::string>& files) {
  return make_dir() && lock_run() && repair(&files);
}

std::vector<RunArchive::Found> RunArchive::list_files() const {
  std::vector<Found> out;
  DIR* d = opendir(dir_.c_str());
  if (d == nullptr) return out;
  const std::string lead = name_lead(id_), tail = name_tail(id_);
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    Found f;
    if (name.compare(0, lead.size(), lead) != 0 ||
        !parse_name_rest(name.substr(lead.size()), tail, &f.number, &f.iso))
      continue;
    f.path = dir_ + name;
    out.push_back(f);
  }
  closedir(d);
  std::sort(out.begin(), out.end(),
            [](const Found& a, const Found& b) { return a.number < b.number; });
  return out;
}

bool RunArchive::repair(const std::vector<std::string>* only) {
  // What the index files of the run list (both layouts: a run may have been
  // recorded in either generation).
  std::set<int> listed;
  int max_number = 0;
  unsigned first = 0, last = 0;
  auto note = [&](int filen, unsigned evfirst, unsigned evlast) {
    if (listed.empty() || evfirst < first) first = evfirst;
    if (listed.empty() || evlast > last) last = evlast;
    listed.insert(filen);
    max_number = std::max(max_number, filen);
  };
  for (int format : {KOVA_DAQ_INDEX_EVENT_FORMAT, KOVA_DAQ_INDEX_BOTH_FORMAT}) {
    char name[4096];
    int len = sizeof(name);
    if (get_index_file_name(c(id_.exp), c(id_.stream), id_.run, name, &len, id_.fid, nullptr,
                            format, id_.year) != 0)
      continue;
    if (format == KOVA_DAQ_INDEX_EVENT_FORMAT) {
      std::vector<kova_index_file_ev*> l;
      if (read_index_file_ev(name, &l, false, 0) == 0)
        for (auto* r : l) note(r->filen, r->evfirst, r->evlast);
      clear_index_file_mem_ev(&l);
    } else {
      std::vector<kova_index_file_ev_2024*> l;
      if (read_index_file_ev_2024(name, &l, false, 0) == 0)
        for (auto* r : l) note(r->filen, r->evfirst, r->evlast);
      clear_index_file_mem_ev_2024(&l);
    }
  }

  struct Pending {
    std::string path;
    int number;
    time_t tfile;
    int generation;
    daqfile::EventSpan span;
  };
  std::vector<Pending> pending;
  size_t seen = 0;
  for (const Found& f : list_files()) {
    max_number = std::max(max_number, f.number);
    if (only != nullptr && std::find(only->begin(), only->end(), f.path) == only->end()) continue;
    ++seen;
    daqfile::Recovery r = daqfile::recover_file(f.path);
    switch (r.outcome) {
      case daqfile::Recovery::kRecovered:
        report_("recovered " + f.path + ": " + std::to_string(r.span.events) +
                " whole events kept, " + std::to_string(r.cut) +
                " bytes after the last one cut, tables written");
        break;
      case daqfile::Recovery::kWhole:
        break;
      case daqfile::Recovery::kNoEvents:
        if (unlink(f.path.c_str()) != 0) return fail(f.path + ": " + strerror(errno));
        report_("removed " + f.path + ": it holds no whole event");
        continue;
      case daqfile::Recovery::kNotDaq:
        report_("left alone " + f.path + ": " + r.error);
        continue;
      case daqfile::Recovery::kFailed:
        return fail(r.error);
    }
    if (listed.count(f.number) != 0) {
      if (only != nullptr && r.outcome == daqfile::Recovery::kWhole)
        report_(f.path + ": already whole and listed");
      continue;
    }
    if (r.outcome == daqfile::Recovery::kWhole) {
      const int gen = r.generation;
      r = daqfile::scan_file(f.path);  // the span for the index record
      if (r.outcome != daqfile::Recovery::kWhole) return fail(f.path + ": cannot be read again");
      r.generation = gen;
    }
    time_t tfile;
    if (!time_of(f.iso, &tfile)) return fail(f.path + ": no time stamp in its name");
    pending.push_back({f.path, f.number, tfile, r.generation, r.span});
  }
  next_number_ = max_number + 1;
  if (only != nullptr && seen != only->size())
    return fail("not a data file of run " + std::to_string(id_.run) + " in " + dir_ +
                " (see --root)");
  if (pending.empty()) return true;

  // The catalog first (it names the year of the index file's directory),
  // then the index records.
  int counted = 0;
  std::vector<kova_run_catalog*> list;
  read_catalog(id_.exp, &list);
  for (kova_run_catalog* e : list)
    if (same_run(e, id_) && e->year == id_.year) counted = e->files;
  clear_run_catalog_mem(&list);
  const int files = static_cast<int>(listed.size() + pending.size());
  for (const Pending& p : pending) {
    if (listed.empty() || p.span.first_time.timeup < first) first = p.span.first_time.timeup;
    if (listed.empty() || p.span.last_time.timeup > last) last = p.span.last_time.timeup;
    listed.insert(p.number);
  }
  if (files > counted && !catalog_update(files - counted, first, last)) return false;
  for (const Pending& p : pending) {
    if (!index_append(p.number, p.tfile, p.generation, p.span)) return false;
    report_("listed " + p.path + " in the run catalog and the index file");
  }
  return true;
}

std::string RunArchive::next_file(int* number, time_t* tfile) {
  *number = next_number_++;
  *tfile = time(nullptr);
  char iso[64] = "";
  create_isodate_from_sec(*tfile, iso, true);
  char out[4096];
  int len = sizeof(out);
  if (get_event_root_file_name_arch(id_.mode, id_.year, c(id_.exp), c(id_.stream), id_.run, *number,
                                    iso, out, &len, id_.fid, KOVA_DAQ_DATA_RAW_FORMAT) != 0)
    return dir_ + name_lead(id_) + std::to_string(*number) + "_" + iso + name_tail(id_);
  return std::string(out, static_cast<size_t>(len));
}

bool RunArchive::catalog_update(int files, unsigned tstart, unsigned tend) {
  kova_run_catalog e;
  memset(&e, 0, sizeof(e));
  e.type = id_.mode;
  e.year = id_.year;
  strncpy(e.exp, id_.exp.c_str(), sizeof(e.exp) - 1);
  strncpy(e.stream, id_.stream.c_str(), sizeof(e.stream) - 1);
  e.run = id_.run;
  e.files = files;
  e.fid = id_.fid;
  e.tstart = tstart;
  e.tend = tend < tstart ? tstart : tend;
  std::vector<kova_run_catalog*> upd{&e};
  const int rc = update_run_catalog_entries(&upd, nullptr, c(id_.exp));
  if (rc == 0) return true;
  char name[4096];
  int len = sizeof(name);
  std::string path = "kovaruns" + id_.exp + ".ctl";
  if (get_run_catalog_file_name(name, &len, nullptr, c(id_.exp)) == 0) path = name;
  return fail("run catalog " + path + ": " + file_err_text(rc));
}

bool RunArchive::index_append(int number, time_t tfile, int generation,
                              const daqfile::EventSpan& span) {
  int rc;
  int format;
  if (generation == 2024) {
    auto r = index_record<kova_index_file_ev_2024>(number, tfile, span);
    std::vector<kova_index_file_ev_2024*> ad{&r};
    format = KOVA_DAQ_INDEX_BOTH_FORMAT;
    rc = add_index_file_entries_ev_2024(c(id_.exp), c(id_.stream), id_.run, id_.fid, &ad, nullptr,
                                        format);
  } else {
    auto r = index_record<kova_index_file_ev>(number, tfile, span);
    std::vector<kova_index_file_ev*> ad{&r};
    format = KOVA_DAQ_INDEX_EVENT_FORMAT;
    rc = add_index_file_entries_ev(c(id_.exp), c(id_.stream), id_.run, id_.fid, &ad, nullptr,
                                   format);
  }
  if (rc == 0) return true;
  char name[4096];
  int len = sizeof(name);
  std::string path = "the index file of run " + std::to_string(id_.run);
  if (get_index_file_name(c(id_.exp), c(id_.stream), id_.run, name, &len, id_.fid, nullptr, format,
                          id_.year) == 0)
    path = name;
  return fail("index file " + path + ": " + file_err_text(rc));
}

bool RunArchive::publish(int number, time_t tfile, int generation, const daqfile::EventSpan& span) {
  return catalog_update(1, span.first_time.timeup, span.last_time.timeup) &&
         index_append(number, tfile, generation, span);
}

}  // namespace hrec
