// Reading index files of the three layouts, on a descriptor or by name.
// Unlike the catalog readers, these release the lock they took.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

template <class R>
int read_index_lock(int fid, int att, int prd, std::vector<R*>* out, const char* who) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  const int rc = read_records(fid, att, prd, out, who);
  if (att > 0 && rc != KOVA_FILE_LOCK_FAILED && unlock_file(fid))
    printf("Failed to unlock the file ????\n");
  return rc;
}

template <class R>
int read_index_named(const char* file, std::vector<R*>* out, bool lock, int warn,
                     const char* reader, const char* lock_reader) {
  if (out == nullptr || file == nullptr) return KOVA_FILE_BAD_PRM;
  const int fd = open(file, (lock ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    if (warn == 0) return KOVA_OPEN_FILE_ERROR;
    printf("%s() failed to open index file:%s\n", reader, file);
    perror("fopen");
    return KOVA_OPEN_FILE_ERROR;
  }
  const int rc =
      read_index_lock(fd, lock ? kLockRetries : 0, lock ? kLockPeriodUs : 0, out, lock_reader);
  close(fd);
  return rc;
}

}  // namespace

int read_index_file_lock(int fid, int att, int prd, std::vector<kova_index_file*>* out) {
  return read_index_lock(fid, att, prd, out, "read_index_file_lock");
}

int read_index_file_lock_ev(int fid, int att, int prd, std::vector<kova_index_file_ev*>* out) {
  return read_index_lock(fid, att, prd, out, "read_index_file_lock_ev");
}

int read_index_file_lock_ev_2024(int fid, int att, int prd,
                                 std::vector<kova_index_file_ev_2024*>* out) {
  return read_index_lock(fid, att, prd, out, "read_index_file_lock_ev_2024");
}

int read_index_file(char* file, std::vector<kova_index_file*>* out, bool lock, int warn) {
  return read_index_named(file, out, lock, warn, "read_index_file", "read_index_file_lock");
}

int read_index_file_ev(char* file, std::vector<kova_index_file_ev*>* out, bool lock, int warn) {
  return read_index_named(file, out, lock, warn, "read_index_file_ev", "read_index_file_lock_ev");
}

int read_index_file_ev_2024(char* file, std::vector<kova_index_file_ev_2024*>* out, bool lock,
                            int warn) {
  return read_index_named(file, out, lock, warn, "read_index_file_ev",
                          "read_index_file_lock_ev_2024");
}

void clear_index_file_mem(std::vector<kova_index_file*>* list) {
  clear_records(list);
}

void clear_index_file_mem_ev(std::vector<kova_index_file_ev*>* list) {
  clear_records(list);
}

void clear_index_file_mem_ev_2024(std::vector<kova_index_file_ev_2024*>* list) {
  clear_records(list);
}
