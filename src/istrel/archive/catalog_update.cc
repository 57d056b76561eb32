// Updating run and copy catalogs under the whole-file lock: records with the
// identity of an update are merged in place, the others appended in one
// write. Several processes on several hosts update the same files.
#include <fcntl.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

struct UpdateKind {
  const char* who;          // "update_run_catalog_entries"
  const char* lock_reader;  // reader name for its messages
};

int add_counts(int a, int b) {
  const long long s = static_cast<long long>(a) + b;
  return s > INT_MAX ? INT_MAX : static_cast<int>(s);
}

// Identity of a record: type, year, run, writer, experiment and stream.
template <class R>
std::string identity(const R& r) {
  std::string key;
  const int head[4] = {r.type, r.year, r.run, r.fid};
  key.append(reinterpret_cast<const char*>(head), sizeof(head));
  key += field(r.exp);
  key += '\0';
  key += field(r.stream);
  return key;
}

template <class R>
bool write_record(int fd, const R& r, off_t off) {
  R be = r;
  Codec<R>::swap(be);
  return write_full(fd, &be, sizeof(be), off);
}

template <class R>
void release(int fd, std::vector<R*>* list) {
  unlock_file(fd);
  close(fd);
  clear_records(list);
}

// The update itself: merge(existing, update) gives the merged record,
// fresh(update) the record to append.
template <class R, class Merge, class Fresh>
int update_catalog(std::vector<R*>* upd, const std::string& file, const UpdateKind& kind,
                   Merge merge, Fresh fresh) {
  const int fd = open_for_update(file.c_str(), 0755);
  if (fd < 0) {
    printf("%s() failed to open run catalog:%s\n", kind.who, file.c_str());
    perror("fopen");
    return KOVA_OPEN_FILE_ERROR;
  }
  std::vector<R*> list;
  int rc = read_records(fd, kLockRetries, kLockPeriodUs, &list, kind.lock_reader);
  if (rc != KOVA_FILE_OK) {
    printf("%s() failed to read run catalog:%s error: %d\n", kind.who, file.c_str(), rc);
    if (rc != KOVA_FILE_LOCK_FAILED) unlock_file(fd);
    close(fd);
    return rc;
  }
  std::vector<R> added;
  added.reserve(upd->size());
  std::unordered_map<std::string, size_t> where;
  where.reserve(list.size());
  // A stored record that contradicts itself is left as it is: an update of
  // its run is appended as a record of its own.
  for (size_t k = 0; k < list.size(); ++k) {
    if (!lies(*list[k])) where.emplace(identity(*list[k]), k);
  }

  const size_t rsize = Codec<R>::kSize;
  for (R* u : *upd) {
    auto it = where.find(identity(*u));
    if (it == where.end()) {
      added.push_back(fresh(*u));
      continue;
    }
    // Later updates of the same record in this call add to the merged one.
    R& existing = *list[it->second];
    existing = merge(existing, *u);
    if (!write_record(fd, existing, static_cast<off_t>(it->second * rsize))) {
      printf("%s() failed to write, check file, it can be corrupted !!!!: %s\n", kind.who,
             file.c_str());
      release(fd, &list);
      return KOVA_FILE_WRITE_ERROR;
    }
  }
  if (!added.empty()) {
    const off_t end = static_cast<off_t>(list.size() * rsize);
    for (R& r : added) Codec<R>::swap(r);
    if (!write_full(fd, added.data(), added.size() * rsize, end)) {
      printf("%s() failed to write, check file, it can be corrupted !!!!: %s\n", kind.who,
             file.c_str());
      // Leave only whole records behind.
      if (ftruncate(fd, end) != 0) perror("ftruncate");
      release(fd, &list);
      return KOVA_FILE_WRITE_ERROR;
    }
  }
  release(fd, &list);
  return KOVA_FILE_OK;
}

// The name of a catalog file with its directory created.
template <class DirFn, class NameFn>
int catalog_path(std::string& file, DirFn dir_fn, NameFn name_fn) {
  char buf[kMaxName + 1];
  int len = sizeof(buf);
  if (int rc = dir_fn(buf, &len)) return rc;
  len = sizeof(buf);
  if (int rc = name_fn(buf, &len)) return rc;
  file = buf;
  return KOVA_FILE_OK;
}

unsigned int earlier_known(unsigned int a, unsigned int b) {
  if (a == 0) return b;
  if (b == 0) return a;
  return a < b ? a : b;
}

void clamp_removed(kova_dccp_catalog& r) {
  if (r.removed > r.files) {
    printf(
        " update_dccp_catalog_entries() attempt to set number of removed files %d > number of "
        "file %d\n",
        r.removed, r.files);
    r.removed = r.files;
  }
}

}  // namespace

int update_run_catalog_entries(std::vector<kova_run_catalog*>* upd, char* dirext, char* exp) {
  if (upd == nullptr || upd->empty()) return KOVA_FILE_BAD_PRM;
  for (kova_run_catalog* u : *upd) {
    const char* why = u == nullptr ? "null record" : Codec<kova_run_catalog>::lie(*u);
    if (why != nullptr) {
      printf("update_run_catalog_entries() refused update: %s\n", why);
      return KOVA_FILE_BAD_PRM;
    }
  }
  std::string file;
  if (int rc = catalog_path(
          file, [&](char* b, int* l) { return get_run_catalog_dir_name(true, b, l, dirext); },
          [&](char* b, int* l) { return get_run_catalog_file_name(b, l, dirext, exp); }))
    return rc;
  auto merge = [](const kova_run_catalog& e, const kova_run_catalog& u) {
    kova_run_catalog m = u;
    m.files = add_counts(e.files, u.files);
    m.tstart = earlier_known(e.tstart, u.tstart);
    m.tend = e.tend > u.tend ? e.tend : u.tend;
    return m;
  };
  auto fresh = [](const kova_run_catalog& u) { return u; };
  return update_catalog(upd, file, {"update_run_catalog_entries", "read_run_catalog_lock"}, merge,
                        fresh);
}

int update_dccp_catalog_entries(std::vector<kova_dccp_catalog*>* upd, char* admext, char* exp) {
  if (upd == nullptr || upd->empty()) return KOVA_FILE_BAD_PRM;
  for (kova_dccp_catalog* u : *upd) {
    const char* why = nullptr;
    if (u == nullptr)
      why = "null record";
    else if (u->year < 0)
      why = "negative year";
    else if (u->files < 0 || u->removed < 0)
      why = "negative number of files";
    if (why != nullptr) {
      printf("update_dccp_catalog_entries() refused update: %s\n", why);
      return KOVA_FILE_BAD_PRM;
    }
  }
  std::string file;
  if (int rc = catalog_path(
          file, [&](char* b, int* l) { return get_dccp_catalog_dir_name(true, b, l, admext); },
          [&](char* b, int* l) { return get_dccp_catalog_file_name(b, l, admext, exp); }))
    return rc;
  auto merge = [](const kova_dccp_catalog& e, const kova_dccp_catalog& u) {
    kova_dccp_catalog m = u;
    m.files = add_counts(e.files, u.files);
    m.removed = add_counts(e.removed, u.removed);
    clamp_removed(m);
    return m;
  };
  auto fresh = [](const kova_dccp_catalog& u) {
    kova_dccp_catalog m = u;
    clamp_removed(m);
    return m;
  };
  return update_catalog(upd, file, {"update_dccp_catalog_entries", "read_dccp_catalog_lock"}, merge,
                        fresh);
}
