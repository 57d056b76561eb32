// A temporary archive tree per test: the archive's environment variables
// point into a fresh directory (data root, administration root, copy-catalog
// directory), overrides are cleared, local time is UTC; everything is
// restored and the tree removed afterwards. Also small builders of catalog
// entries and index records.
#ifndef HESK_TESTS_ARCHIVE_TREE_H
#define HESK_TESTS_ARCHIVE_TREE_H

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "event_util.h"

namespace archive_test {

constexpr const char* kArchiveVars[] = {"KOVA_ROOT_ENV_DIR",
                                        "KOVA_ROOT_STAGE_DIR",
                                        "KOVA_ROOT_ADM_DIR",
                                        "KOVA_RUN_CTLG_DIR",
                                        "KOVA_DCCP_CTLG_DIR",
                                        "HALV_PNFS_PREFIX",
                                        "TZ"};

// Saves the archive variables and TZ, restores them when it goes.
class EnvGuard {
 public:
  EnvGuard() {
    for (const char* v : kArchiveVars) {
      const char* s = getenv(v);
      saved_.push_back(s ? std::optional<std::string>(s) : std::nullopt);
    }
  }
  ~EnvGuard() {
    size_t i = 0;
    for (const char* v : kArchiveVars) {
      if (saved_[i])
        setenv(v, saved_[i]->c_str(), 1);
      else
        unsetenv(v);
      ++i;
    }
    tzset();
    set_ddir(nullptr);
    set_admdir(nullptr);
  }
  static void clear_all() {
    for (const char* v : kArchiveVars) unsetenv(v);
    setenv("TZ", "UTC", 1);
    tzset();
    set_ddir(nullptr);
    set_admdir(nullptr);
  }
  EnvGuard(const EnvGuard&) = delete;
  EnvGuard& operator=(const EnvGuard&) = delete;

 private:
  std::vector<std::optional<std::string>> saved_;
};

class Tree {
 public:
  Tree() {
    EnvGuard::clear_all();
    char tmpl[] = "/tmp/kova_archive_XXXXXX";
    const char* d = mkdtemp(tmpl);
    root_ = d ? d : "/tmp/kova_archive_failed";
    setenv("KOVA_ROOT_ENV_DIR", data().c_str(), 1);
    setenv("KOVA_ROOT_ADM_DIR", adm().c_str(), 1);
    setenv("KOVA_DCCP_CTLG_DIR", dccp().c_str(), 1);
  }
  ~Tree() {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }
  Tree(const Tree&) = delete;
  Tree& operator=(const Tree&) = delete;

  const std::string& root() const { return root_; }
  std::string data() const { return root_ + "/data"; }
  std::string adm() const { return root_ + "/adm"; }
  std::string dccp() const { return root_ + "/dccp"; }

 private:
  EnvGuard guard_;
  std::string root_;
};

inline kova_run_catalog run_entry(const char* exp, const char* stream, int run, int fid, int year,
                                  unsigned tstart, unsigned tend, int files, int type = 0) {
  kova_run_catalog r;
  memset(&r, 0, sizeof(r));
  r.type = type;
  r.year = year;
  strncpy(r.exp, exp, sizeof(r.exp));
  strncpy(r.stream, stream, sizeof(r.stream));
  r.run = run;
  r.files = files;
  r.fid = fid;
  r.tstart = tstart;
  r.tend = tend;
  return r;
}

inline kova_dccp_catalog dccp_entry(const char* exp, const char* stream, int run, int fid,
                                    int files, int removed) {
  kova_dccp_catalog r;
  memset(&r, 0, sizeof(r));
  r.year = 2024;
  strncpy(r.exp, exp, sizeof(r.exp));
  strncpy(r.stream, stream, sizeof(r.stream));
  r.run = run;
  r.files = files;
  r.fid = fid;
  r.removed = removed;
  return r;
}

// An index record of any layout with the fields every layout has.
template <class R>
R index_record(int filen, unsigned evfirst, unsigned evlast, unsigned tfile) {
  R r;
  memset(&r, 0, sizeof(r));
  r.filen = filen;
  r.evfirst = evfirst;
  r.evlast = evlast;
  r.tfile = tfile;
  r.events = 10u + static_cast<unsigned>(filen);
  r.tevents[0] = filen;
  r.tevents[31] = 7;
  return r;
}

// Pointers to each element, as the archive functions take their lists.
template <class T>
std::vector<T*> pointers(std::vector<T>& v) {
  std::vector<T*> p;
  for (T& x : v) p.push_back(&x);
  return p;
}

inline int add_run(kova_run_catalog r, const char* catalog_exp) {
  std::vector<kova_run_catalog*> upd{&r};
  return update_run_catalog_entries(&upd, nullptr, const_cast<char*>(catalog_exp));
}

inline std::string slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

inline void spill(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline long long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

inline int current_year() {
  time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  return lt.tm_year + 1900;
}

}  // namespace archive_test

#endif  // HESK_TESTS_ARCHIVE_TREE_H
