// The DAQ file writer: appends events, gathers the index, dictionary and
// pointer rows while they pass, and closes the file with its tables, the
// file reference table and the trailer.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

#include "event_files.h"
#include "writer_internal.h"

using namespace daqfile_detail;

namespace daqfile {

struct Writer::Impl {
  WriterOptions opt;
  Sizes sizes;
  int fd = -1;
  bool to_memory = false;
  bool open = false;
  Bytes mem;
  uint64_t pos = 0;
  std::string err;
  Layout layout;

  TypeIndex types;
  std::vector<Channel> channels;
  std::map<std::string, size_t> channel_index;
  std::map<std::string, uint32_t> keys;
  std::vector<std::pair<uint32_t, int32_t>> env;
  std::string xml;
  bool xml_set = false;
  Bytes event_heads, server_heads;

  bool fail(const std::string& what) {
    if (err.empty()) err = what;
    return false;
  }

  bool emit(const void* p, size_t n) {
    if (!open) return fail("writer is not open");
    if (to_memory) {
      const auto* c = static_cast<const unsigned char*>(p);
      mem.insert(mem.end(), c, c + n);
    } else {
      const auto* c = static_cast<const char*>(p);
      size_t done = 0;
      while (done < n) {
        const ssize_t w = write(fd, c + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return fail(std::string("write: ") + strerror(errno));
        done += static_cast<size_t>(w);
      }
    }
    pos += n;
    return true;
  }

  bool pad_to_8() {
    static const unsigned char zeros[8] = {};
    const size_t n = static_cast<size_t>((8 - pos % 8) % 8);
    return n == 0 || emit(zeros, n);
  }

  Channel& channel(const std::string& name) {
    auto it = channel_index.find(name);
    if (it != channel_index.end()) return channels[it->second];
    channel_index[name] = channels.size();
    channels.emplace_back();
    Channel& c = channels.back();
    c.name = name;
    auto k = keys.find(name);
    c.key = k != keys.end() ? k->second : static_cast<uint32_t>(1000 + 10 * (channels.size() - 1));
    return c;
  }

  bool walk(const unsigned char* ev, size_t length);
  bool write_table(Bytes image, Kind kind, uint64_t* at);
};

// Walks a host-order event, recording where its parts will lie in the file.
bool Writer::Impl::walk(const unsigned char* ev, size_t length) {
  const Sizes& s = sizes;
  const int gen = opt.generation;
  if (length < s.ev_head + s.tail) return fail("event shorter than header and tail");
  const uint32_t want = gen == 2009   ? KOVA_EV_PATTERN_2009
                        : gen == 2010 ? KOVA_EV_PATTERN_2010
                                      : KOVA_EV_PATTERN_2024;
  if (get<uint32_t>(ev) != want) return fail("event pattern is not of the writer's generation");
  int32_t type, nsb;
  uint64_t evlen, number;
  time_stamp time;
  if (gen == 2024) {
    type = get<int32_t>(ev + 4);
    evlen = static_cast<uint64_t>(get<int64_t>(ev + 8));
    number = get<uint64_t>(ev + 16);
    time = get<time_stamp>(ev + 24);
    nsb = get<int32_t>(ev + 40);
  } else {
    evlen = get<uint32_t>(ev + 4);
    number = get<uint32_t>(ev + 8);
    type = get<int32_t>(ev + 12);
    time = get<time_stamp>(ev + 16);
    nsb = get<int32_t>(ev + 32);
  }
  if (evlen != length) return fail("event_length differs from the length given");
  if (type < 0 || type >= KOVA_EV_EVMAX) return fail("event type outside 0..31");
  const uint64_t base = pos;
  const size_t end = length - s.tail;
  struct Found {
    std::string name;
    int32_t dtype;
    PointerRecord record;
  };
  std::vector<Found> found;
  std::vector<size_t> heads;  // server block heads
  size_t at = s.ev_head;
  for (int32_t b = 0; b < nsb; ++b) {
    if (end - at < s.sb_head) return fail("server block beyond the event");
    const int64_t ltotal =
        gen == 2024 ? get<int64_t>(ev + at + 8) : static_cast<int64_t>(get<int32_t>(ev + at + 8));
    const int32_t nchan = get<int32_t>(ev + at + s.sb_head - (gen == 2024 ? 8 : 4));
    if (ltotal < static_cast<int64_t>(s.sb_head) || static_cast<uint64_t>(ltotal) > end - at)
      return fail("server block length does not fit the event");
    const size_t sb_end = at + static_cast<size_t>(ltotal);
    size_t c = at + s.sb_head;
    for (int32_t i = 0; i < nchan; ++i) {
      if (sb_end - c < s.sub_head) return fail("sub-block beyond its server block");
      const unsigned char* sub = ev + c;
      const int32_t dtype = get<int32_t>(sub + s.channel_name);
      const int32_t ldata = get<int32_t>(sub + s.channel_name + 8);
      if (ldata < static_cast<int32_t>(s.sub_head) || static_cast<size_t>(ldata) > sb_end - c)
        return fail("sub-block length does not fit its server block");
      std::string name(reinterpret_cast<const char*>(sub),
                       strnlen(reinterpret_cast<const char*>(sub), s.channel_name));
      found.push_back({name, dtype, {base, base + at, base + c, base + c + s.sub_head}});
      c += static_cast<size_t>(ldata);
    }
    heads.push_back(at);
    at = sb_end;
  }
  // The event walked: only now does it count.
  for (size_t h : heads) server_heads.insert(server_heads.end(), ev + h, ev + h + s.sb_head);
  for (const auto& f : found) {
    Channel& ch = channel(f.name);
    ch.ev_mask |= 1u << type;
    ch.dtype_mask |= 1u << ((f.dtype & KOVA_DTYPE_MASK) % 32);
    ch.rows.push_back(f.record);
  }
  types[type].push_back({time, number, base});
  event_heads.insert(event_heads.end(), ev, ev + s.ev_head);
  layout.events.push_back(base);
  return true;
}

bool Writer::Impl::write_table(Bytes image, Kind kind, uint64_t* at) {
  if (!pad_to_8()) return false;
  *at = pos;
  if (opt.swapped && !to_opposite(opt.generation, kind, image))
    return fail("a basket record does not convert");
  return emit(image.data(), image.size());
}

Writer::Writer(const WriterOptions& options) : impl_(new Impl) {
  impl_->opt = options;
  impl_->sizes = sizes_of(options.generation);
  if (options.generation != 2009 && options.generation != 2010 && options.generation != 2024)
    impl_->err = "generation must be 2009, 2010 or 2024";
}

Writer::~Writer() {
  if (impl_->fd >= 0) close(impl_->fd);
}

bool Writer::open(const std::string& path) {
  if (!impl_->err.empty()) return false;
  impl_->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (impl_->fd < 0) return impl_->fail(path + ": " + strerror(errno));
  impl_->open = true;
  return true;
}

void Writer::open_memory() {
  impl_->to_memory = true;
  impl_->open = impl_->err.empty();
}

bool Writer::add_event(const void* event, size_t length) {
  Impl& m = *impl_;
  if (!m.open) return m.fail("writer is not open");
  if (event == nullptr) return m.fail("no event");
  const auto* ev = static_cast<const unsigned char*>(event);
  if (m.opt.generation != 2024 && m.pos + length > UINT32_MAX)
    return m.fail("a 2009/2010 file cannot reach beyond 4 GB");
  if (!m.walk(ev, length)) return false;
  if (!m.opt.swapped) return m.emit(ev, length);
  Bytes copy(ev, ev + length);
  GenerationScope scope(m.opt.generation);
  const int rc = kova_convert_event_hton(copy.data(), copy.data(), 0);
  if (rc != 0) return m.fail(std::string("event conversion: ") + kova_get_convert_error(rc));
  return m.emit(copy.data(), copy.size());
}

void Writer::set_channel_key(const std::string& name, uint32_t key) {
  impl_->keys[name] = key;
  auto it = impl_->channel_index.find(name);
  if (it != impl_->channel_index.end()) impl_->channels[it->second].key = key;
}

void Writer::add_env_entry(uint32_t key, int32_t index) {
  impl_->env.push_back({key, index});
}

void Writer::set_xml(const std::string& xml) {
  impl_->xml = xml;
  impl_->xml_set = true;
}

bool Writer::finish() {
  Impl& m = *impl_;
  if (!m.open) return m.fail("writer is not open");
  const int gen = m.opt.generation;
  const unsigned want = m.opt.tables;
  Layout& at = m.layout;

  std::vector<const Channel*> order;
  for (const auto& c : m.channels) order.push_back(&c);
  if (m.opt.sort_by_key)
    std::stable_sort(order.begin(), order.end(),
                     [](const Channel* a, const Channel* b) { return a->key < b->key; });

  bool ok = true;
  if (want & kTableEit) {
    uint64_t entry_at[KOVA_EV_EVMAX];
    ok = m.write_table(eit_image(gen, m.types, entry_at), Kind::kWords, &at.eit);
    for (int t = 0; ok && t < KOVA_EV_EVMAX; ++t)
      at.eite[t] = entry_at[t] ? at.eit + entry_at[t] : 0;
  }
  if (ok && (want & kTableCdt))
    ok = m.write_table(cdt_image(gen, order), Kind::kDictionary, &at.cdt);
  if (ok && (want & kTableEcpt)) ok = m.write_table(ecpt_image(gen, order), Kind::kWords, &at.ecpt);
  if (ok && (want & kTableEidt))
    ok = m.write_table(eidt_image(gen, m.env), Kind::kEnvironment, &at.eidt);
  if (ok && (want & kTableXcd)) {
    std::string xml = m.xml;
    if (!m.xml_set) {
      xml = "<?xml version=\"1.0\"?>\n<channels>\n";
      for (const Channel* c : order)
        xml += "  <channel key=\"" + std::to_string(c->key) + "\" name=\"" + c->name + "\"/>\n";
      xml += "</channels>\n";
    }
    ok = m.write_table(xcd_image(gen, xml), Kind::kText, &at.xcd);
  }
  if (ok && (want & kTableEhb))
    ok = m.write_table(basket_image(gen, KOVA_EVENT_HEADER_BASKET_PATTERN, m.event_heads),
                       Kind::kEventHeaders, &at.ehb);
  if (ok && (want & kTableSbhb))
    ok = m.write_table(basket_image(gen, KOVA_SERVER_BLOCK_BASKET_PATTERN, m.server_heads),
                       Kind::kServerHeads, &at.sbhb);
  if (ok) ok = m.pad_to_8();
  if (ok && gen != 2024 && m.pos + 168 + 8 > UINT32_MAX)
    return m.fail("a 2009/2010 file cannot reach beyond 4 GB");
  if (ok) {
    at.frt = m.pos;
    Bytes frt = frt_image(gen, at);
    if (m.opt.swapped) to_opposite(gen, Kind::kWords, frt);
    ok = m.emit(frt.data(), frt.size());
  }
  if (ok) {
    Bytes t = trailer(gen, at.frt, m.opt.swapped);
    ok = m.emit(t.data(), t.size());
  }
  at.size = m.pos;
  if (m.fd >= 0) {
    if (close(m.fd) != 0 && ok) ok = m.fail(std::string("close: ") + strerror(errno));
    m.fd = -1;
  }
  m.open = false;
  return ok;
}

const std::string& Writer::error() const {
  return impl_->err;
}
const std::vector<unsigned char>& Writer::bytes() const {
  return impl_->mem;
}
const Layout& Writer::layout() const {
  return impl_->layout;
}
const WriterOptions& Writer::options() const {
  return impl_->opt;
}

}  // namespace daqfile
