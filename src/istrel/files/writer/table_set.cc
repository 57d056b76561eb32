// The table set of a DAQ file: walks each event for where its parts lie,
// gathers the index, dictionary, pointer rows and baskets, and writes the
// tables, the file reference table and the trailer at the end.
#include <algorithm>

#include "event_files.h"
#include "writer_internal.h"

namespace daqfile_detail {

TableSet::TableSet(const daqfile::WriterOptions& options)
    : opt_(options), sizes_(sizes_of(options.generation)) {}

Channel& TableSet::channel(const std::string& name) {
  auto it = channel_index_.find(name);
  if (it != channel_index_.end()) return channels_[it->second];
  channel_index_.emplace(name, channels_.size());
  channels_.emplace_back();
  Channel& c = channels_.back();
  c.name = name;
  auto k = keys_.find(name);
  c.key = k != keys_.end() ? k->second : static_cast<uint32_t>(1000 + 10 * (channels_.size() - 1));
  return c;
}

bool TableSet::walk(const unsigned char* ev, size_t length, uint64_t offset, EventWalk* w,
                    std::string* why) const {
  const Sizes& s = sizes_;
  const int gen = opt_.generation;
  auto fail = [why](const char* what) {
    *why = what;
    return false;
  };
  if (length < s.ev_head + s.tail) return fail("event shorter than header and tail");
  const uint32_t want = gen == 2009   ? KOVA_EV_PATTERN_2009
                        : gen == 2010 ? KOVA_EV_PATTERN_2010
                                      : KOVA_EV_PATTERN_2024;
  if (get<uint32_t>(ev) != want) return fail("event pattern is not of the writer's generation");
  int32_t type, nsb;
  uint64_t evlen, tail;
  if (gen == 2024) {
    type = get<int32_t>(ev + 4);
    evlen = static_cast<uint64_t>(get<int64_t>(ev + 8));
    w->number = get<uint64_t>(ev + 16);
    w->time = get<time_stamp>(ev + 24);
    nsb = get<int32_t>(ev + 40);
    tail = get<uint64_t>(ev + length - 8);
  } else {
    evlen = get<uint32_t>(ev + 4);
    w->number = get<uint32_t>(ev + 8);
    type = get<int32_t>(ev + 12);
    w->time = get<time_stamp>(ev + 16);
    nsb = get<int32_t>(ev + 32);
    tail = get<uint32_t>(ev + length - 4);
  }
  if (evlen != length) return fail("event_length differs from the length given");
  if (tail != evlen) return fail("the tail differs from event_length");
  if (type < 0 || type >= KOVA_EV_EVMAX) return fail("event type outside 0..31");
  if (nsb < 0) return fail("negative server block count");
  w->type = type;
  w->offset = offset;
  w->length = length;
  w->nsubs = 0;
  w->event_head.assign(ev, ev + s.ev_head);
  w->server_heads.clear();
  const size_t end = length - s.tail;
  size_t at = s.ev_head;
  for (int32_t b = 0; b < nsb; ++b) {
    if (end - at < s.sb_head) return fail("server block beyond the event");
    const int64_t ltotal =
        gen == 2024 ? get<int64_t>(ev + at + 8) : static_cast<int64_t>(get<int32_t>(ev + at + 8));
    const int32_t nchan = get<int32_t>(ev + at + s.sb_head - (gen == 2024 ? 8 : 4));
    if (ltotal < static_cast<int64_t>(s.sb_head) || static_cast<uint64_t>(ltotal) > end - at)
      return fail("server block length does not fit the event");
    if (nchan < 0) return fail("negative channel count");
    const size_t sb_end = at + static_cast<size_t>(ltotal);
    size_t c = at + s.sb_head;
    for (int32_t i = 0; i < nchan; ++i) {
      if (sb_end - c < s.sub_head) return fail("sub-block beyond its server block");
      const unsigned char* sub = ev + c;
      const int32_t dtype = get<int32_t>(sub + s.channel_name);
      const int32_t ldata = get<int32_t>(sub + s.channel_name + 8);
      if (ldata < static_cast<int32_t>(s.sub_head) || static_cast<size_t>(ldata) > sb_end - c)
        return fail("sub-block length does not fit its server block");
      if (w->nsubs == w->subs.size()) w->subs.emplace_back();
      EventWalk::Sub& f = w->subs[w->nsubs++];
      f.name.assign(reinterpret_cast<const char*>(sub),
                    strnlen(reinterpret_cast<const char*>(sub), s.channel_name));
      f.dtype = dtype;
      f.record = {offset, offset + at, offset + c, offset + c + s.sub_head};
      c += static_cast<size_t>(ldata);
    }
    w->server_heads.insert(w->server_heads.end(), ev + at, ev + at + s.sb_head);
    at = sb_end;
  }
  if (at != end) return fail("server blocks do not fill the event");
  return true;
}

void add_to_span(daqfile::EventSpan* sp, const EventWalk& w) {
  auto earlier = [](const time_stamp& a, const time_stamp& b) {
    return a.timeup != b.timeup ? a.timeup < b.timeup : a.timelow < b.timelow;
  };
  if (sp->events == 0) {
    sp->first_time = sp->last_time = w.time;
    sp->first_number = sp->last_number = w.number;
  } else {
    if (earlier(w.time, sp->first_time)) sp->first_time = w.time;
    if (earlier(sp->last_time, w.time)) sp->last_time = w.time;
    sp->first_number = std::min(sp->first_number, w.number);
    sp->last_number = std::max(sp->last_number, w.number);
  }
  sp->events += 1;
  sp->bytes += w.length;
  sp->per_type[w.type] += 1;
}

void TableSet::commit(const EventWalk& w) {
  server_heads_.insert(server_heads_.end(), w.server_heads.begin(), w.server_heads.end());
  for (size_t i = 0; i < w.nsubs; ++i) {
    const EventWalk::Sub& f = w.subs[i];
    Channel& ch = channel(f.name);
    ch.ev_mask |= 1u << w.type;
    ch.dtype_mask |= 1u << ((f.dtype & KOVA_DTYPE_MASK) % 32);
    ch.rows.push_back(f.record);
  }
  types_[w.type].push_back({w.time, w.number, w.offset});
  event_heads_.insert(event_heads_.end(), w.event_head.begin(), w.event_head.end());

  add_to_span(&span_, w);
}

void TableSet::set_channel_key(const std::string& name, uint32_t key) {
  keys_[name] = key;
  auto it = channel_index_.find(name);
  if (it != channel_index_.end()) channels_[it->second].key = key;
}

void TableSet::add_env_entry(uint32_t key, int32_t index) {
  env_.push_back({key, index});
}

void TableSet::set_xml(const std::string& xml) {
  xml_ = xml;
  xml_set_ = true;
}

bool TableSet::write_table(Output& out, Bytes image, Kind kind, uint64_t* at,
                           std::string* why) const {
  if (!out.pad_to_8(why)) return false;
  *at = out.pos;
  if (opt_.swapped && !to_opposite(opt_.generation, kind, image)) {
    *why = "a basket record does not convert";
    return false;
  }
  return out.emit(image.data(), image.size(), why);
}

bool TableSet::write(Output& out, daqfile::Layout* at, std::string* why) const {
  const int gen = opt_.generation;
  const unsigned want = opt_.tables;

  std::vector<const Channel*> order;
  for (const auto& c : channels_) order.push_back(&c);
  if (opt_.sort_by_key)
    std::stable_sort(order.begin(), order.end(),
                     [](const Channel* a, const Channel* b) { return a->key < b->key; });

  if (want & daqfile::kTableEit) {
    uint64_t entry_at[KOVA_EV_EVMAX];
    if (!write_table(out, eit_image(gen, types_, entry_at), Kind::kWords, &at->eit, why))
      return false;
    for (int t = 0; t < KOVA_EV_EVMAX; ++t) at->eite[t] = entry_at[t] ? at->eit + entry_at[t] : 0;
  }
  if ((want & daqfile::kTableCdt) &&
      !write_table(out, cdt_image(gen, order), Kind::kDictionary, &at->cdt, why))
    return false;
  if ((want & daqfile::kTableEcpt) &&
      !write_table(out, ecpt_image(gen, order), Kind::kWords, &at->ecpt, why))
    return false;
  if ((want & daqfile::kTableEidt) &&
      !write_table(out, eidt_image(gen, env_), Kind::kEnvironment, &at->eidt, why))
    return false;
  if (want & daqfile::kTableXcd) {
    std::string xml = xml_;
    if (!xml_set_) {
      xml = "<?xml version=\"1.0\"?>\n<channels>\n";
      for (const Channel* c : order)
        xml += "  <channel key=\"" + std::to_string(c->key) + "\" name=\"" + c->name + "\"/>\n";
      xml += "</channels>\n";
    }
    if (!write_table(out, xcd_image(gen, xml), Kind::kText, &at->xcd, why)) return false;
  }
  if ((want & daqfile::kTableEhb) &&
      !write_table(out, basket_image(gen, KOVA_EVENT_HEADER_BASKET_PATTERN, event_heads_),
                   Kind::kEventHeaders, &at->ehb, why))
    return false;
  if ((want & daqfile::kTableSbhb) &&
      !write_table(out, basket_image(gen, KOVA_SERVER_BLOCK_BASKET_PATTERN, server_heads_),
                   Kind::kServerHeads, &at->sbhb, why))
    return false;
  if (!out.pad_to_8(why)) return false;
  if (gen != 2024 && out.pos + 168 + 8 > UINT32_MAX) {
    *why = "a 2009/2010 file cannot reach beyond 4 GB";
    return false;
  }
  at->frt = out.pos;
  Bytes frt = frt_image(gen, *at);
  if (opt_.swapped) to_opposite(gen, Kind::kWords, frt);
  if (!out.emit(frt.data(), frt.size(), why)) return false;
  Bytes t = trailer(gen, at->frt, opt_.swapped);
  if (!out.emit(t.data(), t.size(), why)) return false;
  at->size = out.pos;
  return true;
}

}  // namespace daqfile_detail
