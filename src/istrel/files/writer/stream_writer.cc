// The streaming DAQ writer: each event goes to the file as it comes, the
// table set grows in memory, close() makes the file whole and durable.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "event_files.h"
#include "writer_internal.h"

using namespace daqfile_detail;

namespace daqfile {

namespace {

// The file's pages are written back as it grows, a window behind the end:
// close() then has little left to flush, and a disk slower than the events
// holds the writer back early instead of at the close.
constexpr uint64_t kWriteback = 16u << 20;

void write_back(int fd, uint64_t before, uint64_t now) {
  if (before / kWriteback == now / kWriteback) return;
  const uint64_t edge = now / kWriteback * kWriteback;
  sync_file_range(fd, static_cast<off_t>(edge - kWriteback), kWriteback, SYNC_FILE_RANGE_WRITE);
  if (edge >= 2 * kWriteback)
    sync_file_range(
        fd, static_cast<off_t>(edge - 2 * kWriteback), kWriteback,
        SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
}

}  // namespace

struct StreamWriter::Impl {
  explicit Impl(const WriterOptions& o) : opt(o), tables(o) {}

  WriterOptions opt;
  TableSet tables;
  FdOutput out;
  std::string path;
  std::string err;
  bool failed = false;
  EventWalk walk;

  bool fail(const std::string& what) {
    err = path + ": " + what;
    return false;
  }
  // Back to `at` after a failed write: the file ends with a whole event.
  void cut_back(uint64_t at) {
    if (ftruncate(out.fd, static_cast<off_t>(at)) == 0 &&
        lseek(out.fd, static_cast<off_t>(at), SEEK_SET) == static_cast<off_t>(at))
      out.pos = at;
  }
};

StreamWriter::StreamWriter(const WriterOptions& options) : impl_(new Impl(options)) {}

StreamWriter::~StreamWriter() {
  if (impl_->out.fd >= 0) ::close(impl_->out.fd);
}

bool StreamWriter::create(const std::string& path) {
  Impl& m = *impl_;
  m.path = path;
  const int gen = m.opt.generation;
  if (gen != 2009 && gen != 2010 && gen != 2024)
    return m.fail("generation must be 2009, 2010 or 2024");
  if (m.out.fd >= 0) return m.fail("the writer already has a file");
  m.out.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (m.out.fd < 0) return m.fail(strerror(errno));
  m.out.pos = 0;
  return true;
}

bool StreamWriter::add_event(void* event, size_t length) {
  Impl& m = *impl_;
  if (m.out.fd < 0) return m.fail("the file is not open");
  if (m.failed) return m.fail("an earlier write failed; the file takes no more events");
  if (event == nullptr) return m.fail("no event");
  auto* ev = static_cast<unsigned char*>(event);
  const uint64_t at = m.out.pos;
  if (m.opt.generation != 2024 && at + length > UINT32_MAX)
    return m.fail("a 2009/2010 file cannot reach beyond 4 GB");
  std::string why;
  if (!m.tables.walk(ev, length, at, &m.walk, &why))
    return m.fail("event " + std::to_string(m.tables.span().events) + " refused: " + why);
  if (m.opt.swapped) {
    GenerationScope scope(m.opt.generation);
    const int rc = kova_convert_event_hton(ev, ev, 0);
    if (rc != 0)
      return m.fail("event " + std::to_string(m.tables.span().events) +
                    " refused: it does not convert: " + kova_get_convert_error(rc));
  }
  if (!m.out.emit(ev, length, &why)) {
    m.failed = true;
    m.cut_back(at);
    return m.fail(why);
  }
  m.tables.commit(m.walk);
  write_back(m.out.fd, at, m.out.pos);
  return true;
}

bool StreamWriter::close() {
  Impl& m = *impl_;
  if (m.out.fd < 0) return m.fail("the file is not open");
  const uint64_t events_end = m.out.pos;
  Layout layout;
  std::string why;
  bool ok = m.tables.write(m.out, &layout, &why);
  if (!ok) {
    m.cut_back(events_end);
    fsync(m.out.fd);
    m.fail("tables not written (" + why + "); the file keeps its events without tables");
  } else if (fsync(m.out.fd) != 0) {
    ok = m.fail(std::string("fsync: ") + strerror(errno));
  }
  if (::close(m.out.fd) != 0 && ok) ok = m.fail(std::string("close: ") + strerror(errno));
  m.out.fd = -1;
  return ok;
}

bool StreamWriter::is_open() const {
  return impl_->out.fd >= 0;
}
bool StreamWriter::failed() const {
  return impl_->failed;
}
uint64_t StreamWriter::size() const {
  return impl_->out.pos;
}
const EventSpan& StreamWriter::span() const {
  return impl_->tables.span();
}
const std::string& StreamWriter::path() const {
  return impl_->path;
}
const std::string& StreamWriter::error() const {
  return impl_->err;
}

}  // namespace daqfile
