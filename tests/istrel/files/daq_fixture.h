// Sample DAQ files for the file tests: written by the library's writer into
// a temporary directory, mapped whole or opened for the windowed readers.
#ifndef HESK_TESTS_DAQ_FIXTURE_H
#define HESK_TESTS_DAQ_FIXTURE_H

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "daq_file_writer.h"
#include "event_util.h"

namespace daqtest {

// One sample file: generation, byte order and what the writer left out.
struct Variant {
  int gen;
  bool swapped;
};

inline std::string name_of(const Variant& v) {
  return std::to_string(v.gen) + (v.swapped ? "_swapped" : "_host");
}

// How test listings show a variant (instead of its bytes, padding included).
inline void PrintTo(const Variant& v, std::ostream* os) {
  *os << name_of(v);
}

inline const std::vector<Variant>& all_variants() {
  static const std::vector<Variant> v = {{2009, false}, {2009, true},  {2010, false},
                                         {2010, true},  {2024, false}, {2024, true}};
  return v;
}

// A file in the test's temporary directory, removed at the end.
class TempFile {
 public:
  TempFile() {
    const char* dir = getenv("TMPDIR");
    path_ = std::string(dir != nullptr ? dir : "/tmp") + "/daqfile_test_XXXXXX";
    int fd = mkstemp(&path_[0]);
    if (fd >= 0) close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  char* c_path() { return &path_[0]; }

  bool write(const std::vector<unsigned char>& bytes) const {
    int fd = open(path_.c_str(), O_WRONLY | O_TRUNC);
    if (fd < 0) return false;
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    close(fd);
    return n == static_cast<ssize_t>(bytes.size());
  }

 private:
  std::string path_;
};

// The bytes of a synthetic file and where the writer put things.
struct Sample {
  std::vector<unsigned char> bytes;
  daqfile::Layout layout;
};

inline Sample make_sample(const Variant& v, const daqfile::SyntheticFile& shape = {},
                          unsigned tables = daqfile::kAllTables) {
  daqfile::WriterOptions o;
  o.generation = v.gen;
  o.swapped = v.swapped;
  o.tables = tables;
  daqfile::Writer w(o);
  w.open_memory();
  Sample s;
  if (!daqfile::write_synthetic(shape, &w) || !w.finish()) return s;
  s.bytes = w.bytes();
  s.layout = w.layout();
  return s;
}

// A file mapped whole with kova_map_file, unmapped at the end.
class Mapped {
 public:
  explicit Mapped(TempFile& f) { rc_ = kova_map_file(f.c_path(), &base_, &fd_, &len_, nullptr); }
  ~Mapped() {
    if (rc_ == 0) kova_unmap_file(base_, fd_, len_);
  }
  Mapped(const Mapped&) = delete;
  Mapped& operator=(const Mapped&) = delete;
  int rc() const { return rc_; }
  u_char* base() const { return base_; }
  int fd() const { return fd_; }
  unsigned long len() const { return len_; }

 private:
  u_char* base_ = nullptr;
  int fd_ = -1;
  unsigned long len_ = 0;
  int rc_ = -1;
};

// A file written from `bytes` and mapped.
struct OnDisk {
  explicit OnDisk(const std::vector<unsigned char>& bytes)
      : written(file.write(bytes)), map(file) {}
  TempFile file;
  bool written;
  Mapped map;
};

template <typename T>
std::vector<unsigned char> bytes_of(const T* p, size_t n) {
  const auto* c = reinterpret_cast<const unsigned char*>(p);
  return std::vector<unsigned char>(c, c + n);
}

// Number of mappings of the process (each line of /proc/self/maps).
inline int mapping_count() {
  FILE* f = fopen("/proc/self/maps", "r");
  if (f == nullptr) return -1;
  int n = 0;
  for (int c; (c = fgetc(f)) != EOF;)
    if (c == '\n') ++n;
  fclose(f);
  return n;
}

}  // namespace daqtest

#endif  // HESK_TESTS_DAQ_FIXTURE_H
