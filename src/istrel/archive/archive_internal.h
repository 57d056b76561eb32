// Helpers shared by the archive sources: roots and the output convention of
// the name builders, safe file I/O, and the one reader of fixed-size
// big-endian record files that catalogs and index files share.
#ifndef HESK_ARCHIVE_INTERNAL_H
#define HESK_ARCHIVE_INTERNAL_H

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "event_util.h"
#include "record_codec.h"

namespace kova_archive {

// Longest name the builders make: their name buffers hold 4096 bytes.
constexpr size_t kMaxName = 4095;

constexpr const char* kDefaultDataRoot = "/daq/kova/";
constexpr const char* kDefaultAdmRoot = "/daq/kova/adm/";
constexpr const char* kPoolSubdir = "POOL/";

// Lock attempts of catalog and index-file writers and locked readers.
constexpr int kLockRetries = 10;
constexpr int kLockPeriodUs = 100000;

inline bool has_text(const char* s) {
  return s != nullptr && *s != '\0';
}

// The value of an environment variable, null when unset or empty.
const char* env_dir(const char* name);
// The overrides; empty when not set.
const std::string& data_override();
const std::string& adm_override();

// Stores the length through outlen and copies `name` with its NUL when the
// capacity exceeds it; otherwise returns `too_long` and copies nothing.
int copy_out(const std::string& name, char* out, int* outlen, int too_long);

// Directory walk of the builders: creates every missing directory of `path`
// (which ends in "/") and checks the last one. Then copies the path out.
int finish_dir(const std::string& path, bool create, char* out, int* outlen);

// "%d" of an int, without a stream.
std::string itos(long long v);

// A fixed text field as a string (the field need not hold a NUL).
template <size_t N>
std::string field(const char (&f)[N]) {
  return std::string(f, strnlen(f, N));
}

// Writes or reads exactly n bytes, retrying interrupted calls; false when a
// call fails or (reading) the file ends first.
bool write_full(int fd, const void* buf, size_t n, off_t off);
bool read_full(int fd, void* buf, size_t n, off_t off);

// Opens an archive file that a writer updates: read-write, created with
// `mode` when missing. The last component of `path` must be a regular file
// and not a symbolic link (directories on the way may be links): a link
// planted in a shared directory must not send a writer elsewhere. -1 with
// errno set otherwise (ELOOP for a link, EISDIR, EINVAL for other kinds).
int open_for_update(const char* path, mode_t mode);

// Reads every record of the file open at fid (see read_run_catalog_lock).
// The lock stays held; the caller releases it.
template <class R>
int read_records(int fid, int att, int prd, std::vector<R*>* out, const char* who) {
  if (out == nullptr) return KOVA_FILE_BAD_PRM;
  if (lock_file(fid, att, prd)) {
    printf("Failed to lock(): %d\n", static_cast<int>(getpid()));
    return KOVA_FILE_LOCK_FAILED;
  }
  struct stat st;
  if (fstat(fid, &st) != 0) return KOVA_FILE_STAT_FAILURE;
  const size_t size = static_cast<size_t>(st.st_size);
  const size_t rsize = Codec<R>::kSize;
  if (att > 0 && size % rsize != 0) return KOVA_FILE_CORRUPTED;
  const size_t n = size / rsize;
  if (n == 0) return KOVA_FILE_OK;
  R* block = static_cast<R*>(calloc(n, sizeof(R)));
  if (block == nullptr) return KOVA_FILE_NO_MEM;
  if (!read_full(fid, block, n * rsize, 0)) {
    free(block);
    return KOVA_FILE_READ_ERROR;
  }
  // Every whole record is handed out; one that contradicts itself is named
  // once per file here and left out of the selections' matches (see lies()).
  size_t lying = 0, first = 0;
  const char* why = nullptr;
  for (size_t i = 0; i < n; ++i) {
    Codec<R>::swap(block[i]);
    if (const char* w = Codec<R>::lie(block[i])) {
      if (lying++ == 0) {
        first = i;
        why = w;
      }
    }
  }
  if (lying > 0)
    printf("%s() %zu of %zu records inconsistent, the first is record %zu: %s\n", who, lying, n,
           first + 1, why);
  out->reserve(out->size() + n);
  for (size_t i = 0; i < n; ++i) out->push_back(block + i);
  return KOVA_FILE_OK;
}

// A stored record that contradicts itself (an end before its start, a
// negative count): the readers hand it out, the selections and look-ups
// pass it over, and the writers neither write one nor merge into one.
template <class R>
bool lies(const R& r) {
  return Codec<R>::lie(r) != nullptr;
}

// Releases the block behind the first pointer and empties the list.
template <class R>
void clear_records(std::vector<R*>* list) {
  if (list == nullptr) return;
  if (!list->empty()) free(list->front());
  list->clear();
}

// Copies the records of several lists (each one block, released here) into
// one new block appended to `out`. False when memory runs out (the lists are
// then released all the same).
template <class R>
bool join_blocks(std::vector<std::vector<R*>>& parts, std::vector<R*>* out) {
  size_t total = 0;
  for (auto& p : parts) total += p.size();
  R* block = total > 0 ? static_cast<R*>(malloc(total * sizeof(R))) : nullptr;
  size_t k = 0;
  for (auto& p : parts) {
    for (R* r : p) {
      if (block != nullptr) block[k++] = *r;
    }
    clear_records(&p);
  }
  if (total > 0 && block == nullptr) return false;
  out->reserve(out->size() + total);
  for (size_t i = 0; i < total; ++i) out->push_back(block + i);
  return true;
}

// The experiment's catalog merged with the general catalog (or the general
// catalog alone when the experiment's has no records; exp null or empty:
// the general one). Returns the general catalog's failure code, or 1 when
// the merge fails.
int load_catalogs(const char* exp, char* dirext, std::vector<kova_run_catalog*>* out);

// True when the entry's experiment name is a prefix of `wanted`.
bool exp_matches(const kova_run_catalog& e, const std::string& wanted);

}  // namespace kova_archive

#endif  // HESK_ARCHIVE_INTERNAL_H
