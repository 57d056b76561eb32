// Appending records to index files. The lock is held from the read that
// validates the file to the end of the write, so writers of one index file
// append one after the other and lose nothing; a failed write is cut back
// to the last whole record.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

struct AppendKind {
  const char* who;          // name in the open / read messages
  const char* write_who;    // name in the write message
  const char* lock_reader;  // reader name for its own messages
};

template <class R>
void zero_unused(R&) {}
template <>
void zero_unused(kova_index_file_ev_2024& r) {
  r.unused = 0;
}

template <class R>
int append_index(char* exp, char* stream, int run, int thrn, std::vector<R*>* ad, char* dirext,
                 int format, const AppendKind& kind) {
  if (ad == nullptr || ad->empty()) return KOVA_FILE_BAD_PRM;
  for (R* r : *ad) {
    const char* why = r == nullptr ? "null record" : Codec<R>::lie(*r);
    if (why != nullptr) {
      printf("%s() refused record: %s\n", kind.who, why);
      return KOVA_FILE_BAD_PRM;
    }
  }
  char name[kMaxName + 1];
  int len = sizeof(name);
  if (get_adm_dir_name(exp, stream, run, true, name, &len, dirext, -1) != KOVA_DIR_OK)
    return KOVA_FILE_DIR_ERROR;
  len = sizeof(name);
  if (int rc = get_index_file_name(exp, stream, run, name, &len, thrn, dirext, format, -1))
    return rc;

  const int fd = open_for_update(name, 0755);
  if (fd < 0) {
    printf("%s() failed to open index file:%s\n", kind.who, name);
    perror("fopen");
    return KOVA_OPEN_FILE_ERROR;
  }
  std::vector<R*> list;
  int rc = read_records(fd, kLockRetries, kLockPeriodUs, &list, kind.lock_reader);
  if (rc != KOVA_FILE_OK) {
    printf("%s() failed to read index file:%s\n", kind.who, name);
    if (rc != KOVA_FILE_LOCK_FAILED) unlock_file(fd);
    close(fd);
    return rc;
  }
  std::vector<R> block;
  block.reserve(ad->size());
  for (R* r : *ad) {
    block.push_back(*r);
    zero_unused(block.back());
    Codec<R>::swap(block.back());
  }
  const off_t end = static_cast<off_t>(list.size() * Codec<R>::kSize);
  if (!write_full(fd, block.data(), block.size() * Codec<R>::kSize, end)) {
    printf("%s() failed to write, check file, it can be corrupted !!!!: %s\n", kind.write_who,
           name);
    if (ftruncate(fd, end) != 0) perror("ftruncate");
    rc = KOVA_FILE_WRITE_ERROR;
  }
  unlock_file(fd);
  close(fd);
  clear_records(&list);
  return rc;
}

}  // namespace

int add_index_file_entries(char* exp, char* stream, int run, int thrn,
                           std::vector<kova_index_file*>* ad, char* dirext) {
  return append_index(exp, stream, run, thrn, ad, dirext, KOVA_DAQ_INDEX_FORMAT,
                      {"add_index_file_entries", "add_index_file_entries", "read_index_file_lock"});
}

int add_index_file_entries_ev(char* exp, char* stream, int run, int thrn,
                              std::vector<kova_index_file_ev*>* ad, char* dirext, int format) {
  // Records of this layout belong in ".idev" files only.
  if (format != KOVA_DAQ_INDEX_EVENT_FORMAT) return KOVA_FILE_BAD_PRM;
  return append_index(
      exp, stream, run, thrn, ad, dirext, format,
      {"add_index_file_entries_ev", "add_index_file_entries", "read_index_file_lock_ev"});
}

int add_index_file_entries_ev_2024(char* exp, char* stream, int run, int thrn,
                                   std::vector<kova_index_file_ev_2024*>* ad, char* dirext,
                                   int format) {
  // ".idev64" files only; the selection numbers that layout 3.
  if (format != KOVA_DAQ_INDEX_BOTH_FORMAT && format != KOVA_DAQ_DATA_RAW64_FORMAT)
    return KOVA_FILE_BAD_PRM;
  return append_index(exp, stream, run, thrn, ad, dirext, KOVA_DAQ_INDEX_BOTH_FORMAT,
                      {"add_index_file_entries_ev_2024", "add_index_file_entries_2024",
                       "read_index_file_lock_ev_2024"});
}
