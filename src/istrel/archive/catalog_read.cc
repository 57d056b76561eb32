// Reading run and copy catalogs: one file on a descriptor or by name, every
// catalog of the directory, merging, identity and release.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

// Names and texts of one catalog kind.
struct CatalogKind {
  const char* reader;       // "read_run_catalog"
  const char* lock_reader;  // "read_run_catalog_lock"
  const char* what;         // "run catalog"
};

constexpr CatalogKind kRun = {"read_run_catalog", "read_run_catalog_lock", "run catalog"};
constexpr CatalogKind kDccp = {"read_dccp_catalog", "read_dccp_catalog_lock", "dccp catalog"};

template <class R>
int read_named(std::vector<R*>* out, bool lock, const std::string& file, const CatalogKind& kind) {
  const int fd = open(file.c_str(), (lock ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    printf("%s() failed to open %s:%s\n", kind.reader, kind.what, file.c_str());
    perror("fopen");
    return KOVA_OPEN_FILE_ERROR;
  }
  const int rc =
      read_records(fd, lock ? kLockRetries : 0, lock ? kLockPeriodUs : 0, out, kind.lock_reader);
  if (lock && rc != KOVA_FILE_LOCK_FAILED && unlock_file(fd))
    printf("%s() Failed to unlock the file ????\n", kind.reader);
  close(fd);
  return rc;
}

bool regular_file(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ends_with(const char* name, const char* suffix) {
  const size_t n = strlen(name), s = strlen(suffix);
  return n >= s && strcmp(name + n - s, suffix) == 0;
}

// Every regular file of `dir` whose name ends in `suffix`, in directory
// order; the records of all files that read well end up in one block.
template <class R>
int read_directory(std::vector<R*>* out, bool lock, const std::string& dir, const char* suffix,
                   const CatalogKind& kind, bool announce) {
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) {
    perror("opendir");
    return KOVA_FILE_DIR_ERROR;
  }
  const std::string join = (!dir.empty() && dir.back() == '/') ? "" : "/";
  std::vector<std::vector<R*>> parts;
  int rc = KOVA_FILE_OK;
  while (struct dirent* e = readdir(d)) {
    if (!ends_with(e->d_name, suffix)) continue;
    const std::string path = dir + join + e->d_name;
    if (!regular_file(path)) continue;
    if (announce)
      printf(">>>>>>>DCCP CATALOG>>>>>>>>>>>>>>>> %s <<<<<<<<<<<<<<<<<<<<<<<<\n", path.c_str());
    std::vector<R*> one;
    rc = read_named(&one, lock, path, kind);
    if (rc == KOVA_OPEN_FILE_ERROR) break;
    if (rc == KOVA_FILE_OK) parts.push_back(std::move(one));
  }
  closedir(d);
  if (!join_blocks(parts, out)) return KOVA_FILE_NO_MEM;
  return rc;
}

}  // namespace

int read_run_catalog_lock(int fid, int att, int prd, std::vector<kova_run_catalog*>* out) {
  return read_records(fid, att, prd, out, kRun.lock_reader);
}

int read_dccp_catalog_lock(int fid, int att, int prd, std::vector<kova_dccp_catalog*>* out) {
  return read_records(fid, att, prd, out, kDccp.lock_reader);
}

int read_run_catalog(std::vector<kova_run_catalog*>* out, bool lock, char* dirext, char* exp) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  char name[kMaxName + 1];
  int len = sizeof(name);
  if (int rc = get_run_catalog_file_name(name, &len, dirext, exp)) {
    printf("read_run_catalog() failed to get run catalog name\n");
    return rc;
  }
  return read_named(out, lock, name, kRun);
}

int read_dccp_catalog(std::vector<kova_dccp_catalog*>* out, bool lock, char* admext, char* exp) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  char name[kMaxName + 1];
  int len = sizeof(name);
  if (int rc = get_dccp_catalog_file_name(name, &len, admext, exp)) {
    printf("read_dccp_catalog() failed to get dccp catalog name\n");
    return rc;
  }
  return read_named(out, lock, name, kDccp);
}

int read_all_run_catalogs(std::vector<kova_run_catalog*>* out, bool lock, char* dirext) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  char dir[kMaxName + 1];
  int len = sizeof(dir);
  if (int rc = get_run_catalog_dir_name(false, dir, &len, dirext)) {
    printf("read_run_catalog() failed to get run catalog dir name\n");
    return rc;
  }
  return read_directory(out, lock, dir, ".ctl", kRun, false);
}

int read_all_dccp_catalogs(std::vector<kova_dccp_catalog*>* out, bool lock, char* admext) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  // The same directory the copy-catalog writers use.
  char dir[kMaxName + 1];
  int len = sizeof(dir);
  if (int rc = get_dccp_catalog_dir_name(false, dir, &len, admext)) {
    printf("read_dccp_catalog() failed to get dccp catalog dir name\n");
    return rc;
  }
  return read_directory(out, lock, dir, ".dccp", kDccp, true);
}

bool merge_run_catalogs(std::vector<kova_run_catalog*>* rc, std::vector<kova_run_catalog*>* rc1) {
  if (rc == nullptr) return true;
  if (rc1 == nullptr || rc1->empty() || rc == rc1) return false;
  if (rc->empty()) {
    rc->insert(rc->end(), rc1->begin(), rc1->end());
    return false;
  }
  const size_t total = rc->size() + rc1->size();
  auto* block = static_cast<kova_run_catalog*>(malloc(total * sizeof(kova_run_catalog)));
  if (block == nullptr) {
    printf("Failed to malloc memory for merged run catalog of size %lu  bytes\n",
           static_cast<unsigned long>(total * sizeof(kova_run_catalog)));
    return true;
  }
  size_t k = 0;
  for (kova_run_catalog* r : *rc) block[k++] = *r;
  for (kova_run_catalog* r : *rc1) block[k++] = *r;
  // The two lists may share one block (after a merge into an empty list).
  kova_run_catalog* first = rc->front();
  kova_run_catalog* second = rc1->front();
  free(first);
  if (second != first) free(second);
  rc1->clear();
  rc->clear();
  rc->reserve(total);
  for (size_t i = 0; i < total; ++i) rc->push_back(block + i);
  return false;
}

bool same_run_catalog_entry(kova_run_catalog* a, kova_run_catalog* b) {
  if (a == nullptr || b == nullptr) return false;
  return a->type == b->type && a->year == b->year && a->run == b->run && a->fid == b->fid &&
         strncmp(a->exp, b->exp, sizeof(a->exp)) == 0 &&
         strncmp(a->stream, b->stream, sizeof(a->stream)) == 0;
}

bool same_dccp_catalog_entry(kova_dccp_catalog* a, kova_dccp_catalog* b) {
  if (a == nullptr || b == nullptr) return false;
  return a->type == b->type && a->year == b->year && a->run == b->run && a->fid == b->fid &&
         strncmp(a->exp, b->exp, sizeof(a->exp)) == 0 &&
         strncmp(a->stream, b->stream, sizeof(a->stream)) == 0;
}

void clear_run_catalog_mem(std::vector<kova_run_catalog*>* list) {
  clear_records(list);
}

void clear_dccp_catalog_mem(std::vector<kova_dccp_catalog*>* list) {
  clear_records(list);
}
