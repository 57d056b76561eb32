// Recovery of DAQ files left without tables: the file's generation and byte
// order come from its first event; its whole events are read in file order
// (each one's pattern, lengths, tail and blocks checked) until the first
// that is not whole; what follows is cut off and the tables are written
// after the last whole event.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "event_files.h"
#include "writer_internal.h"

using namespace daqfile_detail;

namespace daqfile {

namespace {

uint32_t bswap(uint32_t v) {
  return __builtin_bswap32(v);
}
uint64_t bswap(uint64_t v) {
  return __builtin_bswap64(v);
}

// pread of exactly n bytes; false at the end of the file or on an error.
bool read_at(int fd, uint64_t at, void* p, size_t n) {
  auto* c = static_cast<char*>(p);
  size_t done = 0;
  while (done < n) {
    const ssize_t r = pread(fd, c + done, n - done, static_cast<off_t>(at + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += static_cast<size_t>(r);
  }
  return true;
}

// The generation and byte order a file's first word announces.
bool detect(uint32_t word, int* gen, bool* swapped) {
  static const struct {
    uint32_t pattern;
    int gen;
  } known[] = {
      {KOVA_EV_PATTERN_2009, 2009}, {KOVA_EV_PATTERN_2010, 2010}, {KOVA_EV_PATTERN_2024, 2024}};
  for (const auto& k : known) {
    if (word == k.pattern || word == bswap(k.pattern)) {
      *gen = k.gen;
      *swapped = word != k.pattern;
      return true;
    }
  }
  return false;
}

// Whether the file ends in a trailer of its generation whose offset leads to
// a file reference table.
bool has_trailer(int fd, uint64_t size, int gen, bool swapped) {
  const size_t word = gen == 2024 ? 8 : 4;
  const uint64_t frt_size = gen == 2024 ? 336 : 168;
  if (size < 2 * word + frt_size) return false;
  unsigned char t[16];
  if (!read_at(fd, size - 2 * word, t, 2 * word)) return false;
  uint64_t offset, marker, want_marker, frt_pattern;
  if (gen == 2024) {
    offset = bswap(get<uint64_t>(t));
    marker = get<uint64_t>(t + 8);
    want_marker = KOVA_DAQ_FILE_END_MARKER_2024;
    frt_pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN_2024;
  } else {
    offset = bswap(get<uint32_t>(t));
    marker = get<uint32_t>(t + 4);
    want_marker = pattern_of(gen, KOVA_DAQ_FILE_END_MARKER);
    frt_pattern = pattern_of(gen, KOVA_FILE_REFERENCE_TABLE_PATTERN);
  }
  if (swapped) {
    want_marker = word == 8 ? bswap(want_marker) : bswap(static_cast<uint32_t>(want_marker));
    frt_pattern = word == 8 ? bswap(frt_pattern) : bswap(static_cast<uint32_t>(frt_pattern));
  }
  if (marker != want_marker || offset + frt_size > size - 2 * word) return false;
  unsigned char p[8];
  if (!read_at(fd, offset, p, word)) return false;
  return (word == 8 ? get<uint64_t>(p) : get<uint32_t>(p)) == frt_pattern;
}

// Reads the whole events of a file in order.
class Scanner {
 public:
  Scanner(int fd, uint64_t size, int gen, bool swapped)
      : fd_(fd), size_(size), gen_(gen), swapped_(swapped), sizes_(sizes_of(gen)) {
    WriterOptions o;
    o.generation = gen;
    o.swapped = swapped;
    walker_.reset(new TableSet(o));
  }

  // The next whole event, walked, in host order in event(); false at the
  // first that is not whole.
  bool next(EventWalk* w) {
    const size_t head = sizes_.ev_head;
    if (size_ - pos_ < head + sizes_.tail) return false;
    unsigned char h[48];
    if (!read_at(fd_, pos_, h, head)) return false;
    uint32_t pattern = get<uint32_t>(h);
    if (swapped_) pattern = bswap(pattern);
    uint64_t length;
    if (gen_ == 2024) {
      length = get<uint64_t>(h + 8);
      if (swapped_) length = bswap(length);
    } else {
      length = get<uint32_t>(h + 4);
      if (swapped_) length = bswap(static_cast<uint32_t>(length));
    }
    const uint32_t want = gen_ == 2009   ? KOVA_EV_PATTERN_2009
                          : gen_ == 2010 ? KOVA_EV_PATTERN_2010
                                         : KOVA_EV_PATTERN_2024;
    if (pattern != want || length < head + sizes_.tail || length > size_ - pos_) return false;
    buf_.resize(length);
    if (!read_at(fd_, pos_, buf_.data(), length)) return false;
    if (swapped_) {
      GenerationScope scope(gen_);
      if (kova_convert_event(buf_.data(), buf_.data()) != 0) return false;
    }
    std::string why;
    if (!walker_->walk(buf_.data(), length, pos_, w, &why)) return false;
    pos_ += length;
    return true;
  }

  uint64_t pos() const { return pos_; }

 private:
  int fd_;
  uint64_t size_;
  int gen_;
  bool swapped_;
  Sizes sizes_;
  uint64_t pos_ = 0;
  Bytes buf_;
  std::unique_ptr<TableSet> walker_;
};

// Opens the file, tells its generation, order and whether it is whole.
int open_and_detect(const std::string& path, int flags, Recovery* r, uint64_t* size, bool* whole) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) {
    r->outcome = Recovery::kFailed;
    r->error = path + ": " + strerror(errno);
    return -1;
  }
  struct stat st;
  unsigned char first[4];
  if (fstat(fd, &st) != 0) {
    r->outcome = Recovery::kFailed;
    r->error = path + ": " + strerror(errno);
    ::close(fd);
    return -1;
  }
  *size = static_cast<uint64_t>(st.st_size);
  if (*size < 4) {  // not even a whole first word
    r->outcome = Recovery::kNoEvents;
    return fd;
  }
  if (!read_at(fd, 0, first, 4) || !detect(get<uint32_t>(first), &r->generation, &r->swapped)) {
    r->outcome = Recovery::kNotDaq;
    r->error = path + ": does not begin with an event";
    return fd;
  }
  *whole = has_trailer(fd, *size, r->generation, r->swapped);
  r->outcome = *whole ? Recovery::kWhole : Recovery::kRecovered;
  return fd;
}

}  // namespace

Recovery scan_file(const std::string& path) {
  Recovery r;
  uint64_t size = 0;
  bool whole = false;
  const int fd = open_and_detect(path, O_RDONLY, &r, &size, &whole);
  if (fd < 0) return r;
  if (r.outcome == Recovery::kWhole || r.outcome == Recovery::kRecovered) {
    Scanner scan(fd, size, r.generation, r.swapped);
    EventWalk w;
    while (scan.next(&w)) add_to_span(&r.span, w);
    if (!whole) r.cut = size - scan.pos();
    if (r.span.events == 0 && !whole) r.outcome = Recovery::kNoEvents;
  }
  ::close(fd);
  return r;
}

Recovery recover_file(const std::string& path) {
  Recovery r;
  uint64_t size = 0;
  bool whole = false;
  const int fd = open_and_detect(path, O_RDWR, &r, &size, &whole);
  if (fd < 0 || r.outcome != Recovery::kRecovered) {
    if (fd >= 0) ::close(fd);
    return r;
  }
  WriterOptions o;
  o.generation = r.generation;
  o.swapped = r.swapped;
  TableSet tables(o);
  Scanner scan(fd, size, r.generation, r.swapped);
  EventWalk w;
  while (scan.next(&w)) tables.commit(w);
  r.span = tables.span();
  r.cut = size - scan.pos();
  if (r.span.events == 0) {
    r.outcome = Recovery::kNoEvents;
    ::close(fd);
    return r;
  }
  auto failed = [&](const std::string& what) {
    r.outcome = Recovery::kFailed;
    r.error = path + ": " + what;
    ::close(fd);
    return r;
  };
  const off_t kept = static_cast<off_t>(scan.pos());
  if (ftruncate(fd, kept) != 0 || lseek(fd, kept, SEEK_SET) != kept)
    return failed(std::string("cannot cut the file after its last whole event: ") +
                  strerror(errno));
  FdOutput out;
  out.fd = fd;
  out.pos = scan.pos();
  Layout layout;
  std::string why;
  if (!tables.write(out, &layout, &why)) {
    if (ftruncate(fd, kept) != 0) why += "; the partly written tables stay";
    return failed("tables not written: " + why);
  }
  if (fsync(fd) != 0) return failed(std::string("fsync: ") + strerror(errno));
  if (::close(fd) != 0) {
    r.outcome = Recovery::kFailed;
    r.error = path + ": close: " + strerror(errno);
  }
  return r;
}

}  // namespace daqfile
