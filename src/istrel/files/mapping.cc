// Mapping a whole DAQ file (guarded, see mapping_guard.cc), and the
// page-aligned start of a window.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "files_internal.h"

int kova_map_file(char* file, u_char** ptr, int* fd, unsigned long* len, char* start) {
  if (file == nullptr || file[0] == '\0' || ptr == nullptr || fd == nullptr || len == nullptr)
    return -1;
  int f;
  do {
    f = open(file, O_RDONLY | O_CLOEXEC);
  } while (f < 0 && errno == EINTR);
  if (f < 0) return -2;
  // The file's size, by seeking to the end and back.
  const off_t size = lseek(f, 0, SEEK_END);
  if (size < 0 || lseek(f, 0, SEEK_SET) < 0) {
    perror("lseek");
    close(f);
    return -3;
  }
  // A preset length maps only that prefix; never more than the file holds,
  // since touching pages past its end would kill the process.
  unsigned long n = *len != 0 ? *len : static_cast<unsigned long>(size);
  if (n > static_cast<unsigned long>(size)) n = static_cast<unsigned long>(size);
  void* m = n == 0 ? MAP_FAILED : mmap(start, n, PROT_READ, MAP_SHARED, f, 0);
  // Guarded while it lives: a file that shrinks under it cannot kill the process.
  if (m == MAP_FAILED || !files_detail::guard_mapping(m, n)) {
    if (n == 0) errno = EINVAL;
    perror("mmap");
    if (m != MAP_FAILED) munmap(m, n);
    close(f);
    return -3;
  }
  *fd = f;
  *ptr = static_cast<u_char*>(m);
  *len = n;
  files_detail::remember_mapping(m, n);
  return 0;
}

int kova_unmap_file(u_char* ptr, int fd, unsigned long len) {
  if (ptr == nullptr) return -1;
  files_detail::forget_mapping(ptr);
  files_detail::unguard_mapping(ptr);
  const int rc = munmap(ptr, len);
  close(fd);
  return rc;
}

off_t kova_get_page_offset(off_t length, off_t offset, off_t* ptr) {
  if (length == 0 || length < offset || offset < 0) return -1;
  if (offset == 0) {
    if (ptr != nullptr) *ptr = 0;
    return 0;
  }
  const off_t page = static_cast<off_t>(sysconf(_SC_PAGESIZE));
  off_t aligned = static_cast<off_t>((static_cast<uint64_t>(offset) / static_cast<uint64_t>(page)) *
                                     static_cast<uint64_t>(page));
  // Fewer than 5 bytes to the end: start one page earlier (never before the
  // start of the file).
  if (length - aligned < 5 && aligned >= page) aligned -= page;
  if (ptr != nullptr) *ptr = offset - aligned;
  return aligned;
}
