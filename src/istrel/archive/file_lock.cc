// Whole-file locks of catalogs and index files, and the read / write loops
// every archive file goes through. lockf locks belong to the process: a
// second process waits, the same process always gets it, and closing any
// descriptor of the file releases it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "archive_internal.h"

bool lock_file(int fid, int att, int prd) {
  if (fid < 0 || att < 0 || prd < 0) return true;
  if (att == 0) return false;
  for (int attempt = 0;; ++attempt) {
    lseek(fid, 0, SEEK_SET);
    if (lockf(fid, F_TLOCK, 0) == 0) return false;
    const int err = errno;
    if (attempt >= att) return true;
    usleep(static_cast<useconds_t>(prd));
    printf("Trying once again: pid:%d errno: %d\n", static_cast<int>(getpid()), err);
    errno = err;
    perror("lockf");
  }
}

bool unlock_file(int fid) {
  if (fid < 0) return true;
  lseek(fid, 0, SEEK_SET);
  if (lockf(fid, F_ULOCK, 0) != 0) {
    printf("Failed to unlock: pid:%d\n", static_cast<int>(getpid()));
    perror("lockf");
    return true;
  }
  return false;
}

namespace kova_archive {

bool write_full(int fd, const void* buf, size_t n, off_t off) {
  const char* p = static_cast<const char*>(buf);
  while (n > 0) {
    ssize_t w = pwrite(fd, p, n, off);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
    off += w;
  }
  return true;
}

int open_for_update(const char* path, mode_t mode) {
  // Non-blocking, so that a FIFO in the file's place cannot hold the writer.
  int fd;
  do {
    fd = open(path, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  int err = 0;
  if (fstat(fd, &st) != 0)
    err = errno;
  else if (!S_ISREG(st.st_mode))
    err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  if (err != 0) {
    close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

bool read_full(int fd, void* buf, size_t n, off_t off) {
  char* p = static_cast<char*>(buf);
  while (n > 0) {
    ssize_t r = pread(fd, p, n, off);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (r == 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
    off += r;
  }
  return true;
}

}  // namespace kova_archive
