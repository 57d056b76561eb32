// Opening a DAQ raw file, reading one channel through its pointer row, and
// copying, converting and printing single events.
#include "daq_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "errors.h"
#include "event_util.h"
#include "library_state.h"
#include "samples.h"

namespace heskpy {

namespace {

std::string with_library_text(const std::string& message, const std::string& said) {
  std::string s = said;
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s.empty() ? message : message + " [library: " + s + "]";
}

// An error about the file at `path`, keeping the kind and code of `e`.
Error about(const std::string& path, const Error& e, const std::string& said = std::string()) {
  return Error(e.kind(), e.code(), path + ": " + with_library_text(e.what(), said), e.sys_errno(),
               e.path());
}

std::string event_text(uint64_t number, uint64_t offset) {
  return "event " + std::to_string(number) + " (at byte " + std::to_string(offset) + ")";
}

}  // namespace

DaqFile::DaqFile(const std::string& path) : path_(path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err == ENOENT) throw Error(ErrorKind::kNoFile, -2, path + ": no such file", err, path);
    throw Error(ErrorKind::kLibrary, -2, path + ": cannot open: " + strerror(err), err, path);
  }
  if (!S_ISREG(st.st_mode)) fail(-1, path + ": not a regular file");
  if (st.st_size == 0) fail(-3, path + ": an empty file is not a DAQ file");

  std::string p = path;
  u_char* base = nullptr;
  unsigned long len = 0;
  int rc, err;
  {
    StdoutCapture quiet;  // a failed mapping is reported by the error below
    rc = kova_map_file(&p[0], &base, &fd_, &len, nullptr);
    err = errno;
    quiet.text();
  }
  if (rc != 0) {
    const std::string why = rc == -2 ? std::string("cannot open: ") + strerror(err)
                                     : std::string("cannot map the file (") + strerror(err) +
                                           ", or too many files mapped at once)";
    throw Error(ErrorKind::kLibrary, rc, path + ": " + why, err, path);
  }
  base_ = base;
  length_ = len;
  try {
    if (!recognise_trailer(base_, length_, &gen_, &swapped_))
      fail(-2, "not a DAQ file: its last bytes hold no end marker of any generation");
    StdoutCapture said;
    try {
      tables_.reset(new FileTables(gen_, base_, length_, fd_));
    } catch (const Error& e) {
      throw about(path_, e, said.text());
    }
    said.release();
    if (tables_->has_event_index())
      events_ = tables_->indexed_events();
    else
      walk_events();
  } catch (const Error& e) {
    kova_unmap_file(base_, fd_, length_);
    base_ = nullptr;
    if (std::string(e.what()).rfind(path_, 0) == 0) throw;
    throw about(path_, e);
  }
}

DaqFile::~DaqFile() {
  close();
}

void DaqFile::close() {
  std::unique_lock<std::shared_mutex> hold(mx_);
  if (base_ != nullptr) kova_unmap_file(base_, fd_, length_);
  base_ = nullptr;
  fd_ = -1;
}

bool DaqFile::closed() const {
  std::shared_lock<std::shared_mutex> hold(mx_);
  return base_ == nullptr;
}

void DaqFile::require_open() const {
  if (base_ == nullptr)
    throw Error(ErrorKind::kBadArgument, -1, path_ + ": I/O operation on a closed DaqFile");
}

// The file must still be whole under its mapping. Pages past the end of a
// file that shrank read as zeros (the library's mapping guard puts a zero
// page there and marks the mapping damaged), so this is asked before reading
// from the mapping (a shrink already seen costs no read) and again after
// copying out of it (a shrink meanwhile makes what was copied worthless).
// Once damaged, a mapping stays damaged: the file must be opened again.
std::vector<PointerRecord> DaqFile::pointer_row(int index) const {
  try {
    return tables_->pointer_row(index);
  } catch (const Error& e) {
    throw about(path_, e);
  }
}

void DaqFile::require_whole() const {
  if (kova_mapping_damaged(base_) == 1)
    fail(KOVA_MAPPING_DAMAGED, path_ + ": the file shrank while it was read; open it again");
  struct stat st;
  if (fstat(fd_, &st) != 0) fail(-1, path_ + ": cannot stat the open file: " + strerror(errno));
  if (static_cast<uint64_t>(st.st_size) < length_)
    fail(KOVA_MAPPING_DAMAGED, path_ + ": the file shrank from " + std::to_string(length_) +
                                   " to " + std::to_string(st.st_size) +
                                   " bytes since it was opened");
}

uint32_t DaqFile::word32(uint64_t at) const {
  uint32_t v;
  memcpy(&v, base_ + at, 4);
  return swapped_ ? __builtin_bswap32(v) : v;
}

uint64_t DaqFile::word64(uint64_t at) const {
  uint64_t v;
  memcpy(&v, base_ + at, 8);
  return swapped_ ? __builtin_bswap64(v) : v;
}

bool DaqFile::header_at(uint64_t offset, Header* h) const {
  const Geometry& g = geometry_of(gen_);
  if (offset > length_ || length_ - offset < g.event_head) return false;
  if (word32(offset) != g.event_pattern) return false;
  if (gen_ == 2024) {
    h->type = static_cast<int32_t>(word32(offset + 4));
    h->length = word64(offset + 8);
    h->number = word64(offset + 16);
    h->seconds = word32(offset + 24);
    h->micros = word32(offset + 28);
  } else {
    h->length = word32(offset + 4);
    h->number = word32(offset + 8);
    h->type = static_cast<int32_t>(word32(offset + 12));
    h->seconds = word32(offset + 16);
    h->micros = word32(offset + 20);
  }
  return true;
}

// A file without an event index: its events follow each other from the
// start of the file up to the first table.
void DaqFile::walk_events() {
  const Geometry& g = geometry_of(gen_);
  const uint64_t end = std::min<uint64_t>(tables_->frt_offset(), length_);
  uint64_t at = 0;
  Header h;
  while (at < end && header_at(at, &h)) {
    if (h.length < g.event_head + g.tail || h.length > end - at) break;
    events_.push_back({at, h.number, h.type, h.seconds, h.micros});
    at += h.length;
  }
}

const EventEntry* DaqFile::indexed(uint64_t offset) const {
  auto it = std::lower_bound(events_.begin(), events_.end(), offset,
                             [](const EventEntry& e, uint64_t off) { return e.offset < off; });
  return it != events_.end() && it->offset == offset ? &*it : nullptr;
}

std::vector<uint64_t> DaqFile::event_lengths() const {
  std::shared_lock<std::shared_mutex> hold(mx_);
  require_open();
  try {
    require_whole();
    std::vector<uint64_t> out;
    out.reserve(events_.size());
    Header h;
    for (const EventEntry& e : events_) out.push_back(header_at(e.offset, &h) ? h.length : 0);
    require_whole();
    return out;
  } catch (const Error&) {
    require_whole();  // a shrink overtook the read: that is the failure
    throw;
  }
}

DaqFile::Resolved DaqFile::resolve(const std::string& name) const {
  const int exact = tables_->find_channel(name);
  if (exact >= 0) return {exact, -1};
  const size_t colon = name.rfind(':');
  if (colon != std::string::npos && colon + 1 < name.size() && colon + 10 > name.size() &&
      std::all_of(name.begin() + static_cast<long>(colon) + 1, name.end(),
                  [](char c) { return c >= '0' && c <= '9'; })) {
    const int base = tables_->find_channel(name.substr(0, colon));
    if (base >= 0) return {base, std::stoi(name.substr(colon + 1))};
  }
  throw Error(ErrorKind::kNoChannel, -5, "no channel '" + name + "' in " + path_);
}

uint64_t DaqFile::sub_block_length(uint64_t chhd, const std::string& name, uint64_t number) const {
  const Geometry& g = geometry_of(gen_);
  if (chhd > length_ || length_ - chhd < g.sub_head)
    fail(-7, path_ + ": " + name + " in " + event_text(number, chhd) +
                 ": the pointer table points beyond the file");
  const int32_t ldata = static_cast<int32_t>(word32(chhd + g.sub_name + 8));
  if (ldata < static_cast<int32_t>(g.sub_head) || static_cast<uint64_t>(ldata) > length_ - chhd)
    fail(-7, path_ + ": " + name + " in " + event_text(number, chhd) + ": its length " +
                 std::to_string(ldata) + " does not fit the file");
  const char* field = reinterpret_cast<const char*>(base_ + chhd);
  if (std::string(field, strnlen(field, g.sub_name)) != name)
    fail(-7, path_ + ": " + name + " in " + event_text(number, chhd) +
                 ": the pointer table points at another sub-block");
  return static_cast<uint64_t>(ldata);
}

ChannelRead DaqFile::read(const std::string& name) const {
  std::shared_lock<std::shared_mutex> hold(mx_);
  require_open();
  try {
    const Resolved r = resolve(name);
    const std::string& block = tables_->channels()[static_cast<size_t>(r.index)].name;
    require_whole();
    const std::vector<PointerRecord> rows = pointer_row(r.index);

    const Geometry& g = geometry_of(gen_);
    const bool short_head = gen_ == 2009;
    // Per row either runs of samples in the mapping (copied once, at the end)
    // or a stretch of `converted` (blocks that had to be copied first).
    struct Row {
      std::vector<SampleRun> runs;
      size_t converted_at;
      bool direct;
    };
    std::vector<Row> plan;
    plan.reserve(rows.size());
    std::vector<float> converted;
    std::vector<uint32_t> scratch;
    ChannelRead out;
    out.number.reserve(rows.size());
    out.time.reserve(rows.size());
    out.row_start.reserve(rows.size() + 1);

    for (const PointerRecord& rec : rows) {
      Header h;
      const EventEntry* e = indexed(rec.evhd);
      if (e == nullptr) {
        if (!header_at(rec.evhd, &h))
          fail(-7, path_ + ": " + block + ": the pointer table names no event at byte " +
                       std::to_string(rec.evhd));
        e = nullptr;
      }
      const uint64_t number = e ? e->number : h.number;
      const uint32_t secs = e ? e->seconds : h.seconds, usecs = e ? e->micros : h.micros;
      const uint64_t ldata = sub_block_length(rec.chhd, block, number);

      Row row{{}, 0, false};
      void* sub = base_ + rec.chhd;
      if (!swapped_ && rec.chhd % 4 == 0) {
        row.direct = true;
      } else {
        // Aligned copy, converted to host order when the file has the other one.
        scratch.assign((ldata + 3) / 4, 0);
        memcpy(scratch.data(), sub, ldata);
        sub = scratch.data();
        if (swapped_) {
          auto* words = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(sub) + g.sub_name);
          for (int w = 0; w < 3; ++w) words[w] = __builtin_bswap32(words[w]);
          const int rc =
              kova_convert_data(static_cast<unsigned char*>(sub) + g.sub_head, nullptr,
                                static_cast<int>(words[0]), static_cast<int>(ldata - g.sub_head));
          if (rc != 0)
            fail(rc, path_ + ": " + block + " in " + event_text(number, rec.evhd) +
                         " does not convert: " + kova_get_convert_error(rc));
        }
      }
      const Located where = locate_samples(sub, short_head, r.subchan, &row.runs);
      if (where != Located::kOk) {
        const int dtype =
            reinterpret_cast<const int32_t*>(static_cast<unsigned char*>(sub) + g.sub_name)[0];
        throw Error(where == Located::kNoChannel ? ErrorKind::kNoChannel : ErrorKind::kLibrary, -1,
                    path_ + ": " + name + " in " + event_text(number, rec.evhd) + ": " +
                        located_text(where, dtype));
      }
      const size_t count = sample_count(row.runs);
      if (!row.direct) {
        row.converted_at = converted.size();
        converted.resize(converted.size() + count);
        copy_samples(row.runs, converted.data() + row.converted_at);
        row.runs.clear();
      }
      out.number.push_back(number);
      out.time.push_back(static_cast<double>(secs) + static_cast<double>(usecs) * 1e-6);
      out.row_start.push_back(out.row_start.back() + count);
      plan.push_back(std::move(row));
    }

    const size_t total = out.row_start.back();
    out.samples.reset(static_cast<float*>(malloc(std::max<size_t>(total, 1) * sizeof(float))));
    if (!out.samples) fail(-6, path_ + ": no memory for " + std::to_string(total) + " samples");
    float* dst = out.samples.get();
    for (size_t i = 0; i < plan.size(); ++i) {
      const size_t n = out.row_start[i + 1] - out.row_start[i];
      if (plan[i].direct)
        copy_samples(plan[i].runs, dst + out.row_start[i]);
      else if (n > 0)
        memcpy(dst + out.row_start[i], converted.data() + plan[i].converted_at, n * sizeof(float));
    }
    require_whole();
    return out;
  } catch (const Error&) {
    require_whole();  // a shrink overtook the read: that is the failure
    throw;
  }
}

ChannelShape DaqFile::shape(const std::string& name) const {
  std::shared_lock<std::shared_mutex> hold(mx_);
  require_open();
  try {
    const Resolved r = resolve(name);
    const ChannelEntry& ch = tables_->channels()[static_cast<size_t>(r.index)];
    ChannelShape s;
    s.events = ch.count > 0 ? static_cast<size_t>(ch.count) : 0;
    if (s.events == 0) return s;
    require_whole();
    const std::vector<PointerRecord> rows = pointer_row(r.index);
    s.events = rows.size();
    if (rows.empty()) return s;
    const Geometry& g = geometry_of(gen_);
    const uint64_t ldata = sub_block_length(rows[0].chhd, ch.name, 0);
    std::vector<uint32_t> copy((ldata + 3) / 4, 0);
    memcpy(copy.data(), base_ + rows[0].chhd, ldata);
    unsigned char* sub = reinterpret_cast<unsigned char*>(copy.data());
    if (swapped_) {
      auto* words = reinterpret_cast<uint32_t*>(sub + g.sub_name);
      for (int w = 0; w < 3; ++w) words[w] = __builtin_bswap32(words[w]);
      if (kova_convert_data(sub + g.sub_head, nullptr, static_cast<int>(words[0]),
                            static_cast<int>(ldata - g.sub_head)) != 0)
        return s;
    }
    s.dtype = reinterpret_cast<const int32_t*>(sub + g.sub_name)[0] & KOVA_DTYPE_MASK;
    std::vector<SampleRun> runs;
    if (locate_samples(sub, gen_ == 2009, r.subchan, &runs) == Located::kOk)
      s.samples = sample_count(runs);
    require_whole();
    return s;
  } catch (const Error&) {
    require_whole();  // a shrink overtook the read: that is the failure
    throw;
  }
}

std::vector<uint64_t> DaqFile::event(size_t i, size_t* length) const {
  std::shared_lock<std::shared_mutex> hold(mx_);
  require_open();
  try {
    if (i >= events_.size())
      throw std::out_of_range("event " + std::to_string(i) + " of " + path_ + ": the file holds " +
                              std::to_string(events_.size()) + " events");
    require_whole();
    const Geometry& g = geometry_of(gen_);
    const EventEntry& e = events_[i];
    Header h;
    if (!header_at(e.offset, &h))
      fail(-7, path_ + ": no event header at byte " + std::to_string(e.offset) + " (event " +
                   std::to_string(e.number) + ")");
    if (h.length < g.event_head + g.tail || h.length > length_ - e.offset)
      fail(-7, path_ + ": " + event_text(e.number, e.offset) + ": its length " +
                   std::to_string(h.length) + " does not fit the file");
    std::vector<uint64_t> buf((h.length + 7) / 8, 0);
    memcpy(buf.data(), base_ + e.offset, h.length);
    require_whole();
    if (swapped_) {
      GenerationScope gen(gen_);
      StdoutCapture said;
      const int rc = kova_convert_event(buf.data(), buf.data());
      if (rc != 0)
        fail(rc, with_library_text(path_ + ": " + event_text(e.number, e.offset) +
                                       " does not convert: " + kova_get_convert_error(rc),
                                   said.text()));
    }
    *length = h.length;
    return buf;
  } catch (const Error&) {
    require_whole();  // a shrink overtook the read: that is the failure
    throw;
  }
}

std::string DaqFile::dump(size_t i) const {
  size_t length = 0;
  std::vector<uint64_t> ev = event(i, &length);
  GenerationScope gen(gen_);
  StdoutCapture printed;
  if (gen_ == 2009)
    print_event_2009(reinterpret_cast<kova_eventheader*>(ev.data()), nullptr);
  else if (gen_ == 2010)
    print_event_2010(reinterpret_cast<kova_eventheader*>(ev.data()), nullptr);
  else
    print_event_2024(reinterpret_cast<kova_eventheader_2024*>(ev.data()), nullptr);
  return printed.text();
}

}  // namespace heskpy
