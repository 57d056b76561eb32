// The whole-file DAQ writer: appends events to a file or to memory and
// closes it with the table set's tables, reference table and trailer.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "event_files.h"
#include "writer_internal.h"

using namespace daqfile_detail;

namespace daqfile {

struct Writer::Impl {
  explicit Impl(const WriterOptions& o) : opt(o), tables(o) {}

  WriterOptions opt;
  TableSet tables;
  FdOutput file;
  MemoryOutput memory;
  Output* out = nullptr;
  std::string err;
  Layout layout;
  EventWalk walk;
  Bytes copy;

  bool fail(const std::string& what) {
    if (err.empty()) err = what;
    return false;
  }
};

Writer::Writer(const WriterOptions& options) : impl_(new Impl(options)) {
  if (options.generation != 2009 && options.generation != 2010 && options.generation != 2024)
    impl_->err = "generation must be 2009, 2010 or 2024";
}

Writer::~Writer() {
  if (impl_->file.fd >= 0) ::close(impl_->file.fd);
}

bool Writer::open(const std::string& path) {
  if (!impl_->err.empty()) return false;
  impl_->file.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (impl_->file.fd < 0) return impl_->fail(path + ": " + strerror(errno));
  impl_->out = &impl_->file;
  return true;
}

void Writer::open_memory() {
  if (impl_->err.empty()) impl_->out = &impl_->memory;
}

bool Writer::add_event(const void* event, size_t length) {
  Impl& m = *impl_;
  if (m.out == nullptr) return m.fail("writer is not open");
  if (event == nullptr) return m.fail("no event");
  const auto* ev = static_cast<const unsigned char*>(event);
  if (m.opt.generation != 2024 && m.out->pos + length > UINT32_MAX)
    return m.fail("a 2009/2010 file cannot reach beyond 4 GB");
  std::string why;
  if (!m.tables.walk(ev, length, m.out->pos, &m.walk, &why)) return m.fail(why);
  const uint64_t at = m.out->pos;
  if (m.opt.swapped) {
    m.copy.assign(ev, ev + length);
    GenerationScope scope(m.opt.generation);
    const int rc = kova_convert_event_hton(m.copy.data(), m.copy.data(), 0);
    if (rc != 0) return m.fail(std::string("event conversion: ") + kova_get_convert_error(rc));
    ev = m.copy.data();
  }
  if (!m.out->emit(ev, length, &why)) return m.fail(why);
  m.tables.commit(m.walk);
  m.layout.events.push_back(at);
  return true;
}

void Writer::set_channel_key(const std::string& name, uint32_t key) {
  impl_->tables.set_channel_key(name, key);
}

void Writer::add_env_entry(uint32_t key, int32_t index) {
  impl_->tables.add_env_entry(key, index);
}

void Writer::set_xml(const std::string& xml) {
  impl_->tables.set_xml(xml);
}

bool Writer::finish() {
  Impl& m = *impl_;
  if (m.out == nullptr) return m.fail("writer is not open");
  std::string why;
  bool ok = m.tables.write(*m.out, &m.layout, &why);
  if (!ok) m.fail(why);
  m.layout.size = m.out->pos;
  if (m.file.fd >= 0) {
    if (::close(m.file.fd) != 0 && ok) ok = m.fail(std::string("close: ") + strerror(errno));
    m.file.fd = -1;
  }
  m.out = nullptr;
  return ok;
}

const std::string& Writer::error() const {
  return impl_->err;
}
const std::vector<unsigned char>& Writer::bytes() const {
  return impl_->memory.bytes;
}
const Layout& Writer::layout() const {
  return impl_->layout;
}
const WriterOptions& Writer::options() const {
  return impl_->opt;
}

}  // namespace daqfile
