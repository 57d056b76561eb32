#include "sub_block.h"

#include <cstring>

#include "event_util.h"

namespace testblock {

Bytes& Bytes::put(const void* p, size_t n) {
  const auto* c = static_cast<const unsigned char*>(p);
  b_.insert(b_.end(), c, c + n);
  return *this;
}

Bytes& Bytes::text(const std::string& s, size_t width) {
  std::vector<unsigned char> f(width, 0);
  memcpy(f.data(), s.data(), std::min(s.size(), width));
  return put(f.data(), width);
}

Bytes& Bytes::zeros(size_t n) {
  b_.insert(b_.end(), n, 0);
  return *this;
}

Bytes& Bytes::ramp(int n, float first) {
  for (int i = 0; i < n; ++i) f32(first + static_cast<float>(i));
  return *this;
}

void Bytes::patch_i32(size_t at, int32_t v) {
  memcpy(b_.data() + at, &v, 4);
}

void Bytes::patch_i64(size_t at, int64_t v) {
  memcpy(b_.data() + at, &v, 8);
}

SubBlock::SubBlock(int generation, const std::string& name, int32_t dtype, int32_t error)
    : head_(generation == 2009 ? 44 : 268) {
  text(name, head_ - 12);
  i32(dtype).i32(error).i32(0);
}

std::vector<unsigned char> SubBlock::block() const {
  std::vector<unsigned char> v = bytes();
  const int32_t ldata = ldata_ >= 0 ? ldata_ : static_cast<int32_t>(v.size());
  memcpy(v.data() + head_ - 4, &ldata, 4);
  return v;
}

void fast_2009(Bytes& b, int channels, int ndata) {
  b.f32(1.5f).f32(0.25f);
  for (int k = 0; k < channels; ++k) b.f32(0.5f + k);
  b.i32(ndata);
  for (int k = 0; k < channels; ++k) b.ramp(ndata, 100.0f * k);
}

void spectrum_2010(Bytes& b, int channels, int ndata, int groups) {
  b.f32(2.0f).f32(0.5f).i32(ndata).i32(groups).f32(7.0f);
  for (int k = 0; k < channels; ++k) {
    b.u32(1u << KOVA_STAT_MEAN);
    for (int j = 0; j < KOVA_STAT_ENTRIES_2010; ++j) b.f32(j == KOVA_STAT_MEAN ? 10.0f + k : 0.0f);
  }
  const int g = groups >= 1 ? groups : 1;
  for (int k = 0; k < channels; ++k) b.ramp(ndata * g, 100.0f * k);
}

void roi(Bytes& b, const std::vector<int>& ndata) {
  b.i32(640 | (10 << 16)).i32(480 | (20 << 16)).i32(2 | (3 << 4) | (4 << 18)).u32(1);
  b.i32(5).i32(6).i32(7).i32(8).f32(0.5f).i32(9).i32(10);
  b.ramp(8, 0.0f);
  for (size_t k = 0; k < ndata.size(); ++k) {
    b.f32(1000.0f + k).f32(1.0f).f32(2.0f).f32(3.0f);
    b.i32(4).f32(5.0f).f32(6.0f).f32(7.0f).i32(8).f32(9.0f).f32(10.0f).f32(11.0f);
    b.ramp(8, 20.0f);
  }
  for (size_t k = 0; k < ndata.size(); ++k) b.f32(static_cast<float>(k)).f32(0.5f).i32(ndata[k]);
  for (size_t k = 0; k < ndata.size(); ++k) b.ramp(ndata[k], 100.0f * k);
}

void generic(Bytes& b, const std::vector<std::pair<int, int>>& ndata_groups) {
  b.u32(static_cast<uint32_t>(ndata_groups.size())).u32(0xC0DE);
  for (size_t k = 0; k < ndata_groups.size(); ++k) {
    b.u32(1u << KOVA_STAT_MAX);
    for (int j = 0; j < KOVA_STAT_ENTRIES_2010; ++j) b.f32(j == KOVA_STAT_MAX ? 50.0f + k : 0.0f);
    b.f32(static_cast<float>(k)).f32(1.0f).i32(ndata_groups[k].first).i32(ndata_groups[k].second);
    b.f32(0.0f);
    b.ramp(ndata_groups[k].first * ndata_groups[k].second, 100.0f * k);
  }
}

void name_value(Bytes& b, int entries) {
  b.i32(77).text("settings", 80).i32(entries);
  for (int i = 0; i < entries; ++i) b.text("NV" + std::to_string(i), 80).f32(i + 0.25f);
}

void upd_entries(Bytes& b, int generation, const std::vector<std::string>& names, float base) {
  for (size_t i = 0; i < names.size(); ++i)
    b.text(names[i], generation == 2009 ? 80 : 256).i32(0).u32(1000 + i).u32(5).f32(base + i);
}

void env_entries(Bytes& b, const std::vector<int>& idx, float base) {
  for (int i : idx) b.i32(i).i32(0).u32(2000).u32(i).f32(base + i);
}

void dict_entries(Bytes& b, int generation, const std::vector<std::string>& names) {
  for (const std::string& n : names) b.text(n, generation == 2009 ? 80 : 256).f32(0.5f).f32(0.25f);
}

std::vector<unsigned char> server_block(int generation, const Server& s) {
  Bytes body;
  for (const auto& sub : s.subs) body.append(sub);
  Bytes h;
  const int64_t head = generation == 2009 ? 76 : generation == 2010 ? 284 : 304;
  const int64_t ltotal = head + static_cast<int64_t>(body.size());
  const int32_t nchan = static_cast<int32_t>(s.subs.size());
  if (generation == 2024) {
    h.u64(KOVA_SB_PATTERN_2024).i64(ltotal).i64(42).u32(300).u32(4).text(s.name, 256);
    h.i32(0xF).i32(0).i32(nchan).i32(0);
  } else {
    h.u32(300).u32(4).i32(static_cast<int32_t>(ltotal)).i32(42);
    h.text(s.name, generation == 2009 ? 48 : 256).i32(0xF).i32(0).i32(nchan);
  }
  h.append(body.bytes());
  return h.bytes();
}

std::vector<unsigned char> event(int generation, int32_t event_type,
                                 const std::vector<Server>& servers) {
  Bytes blocks;
  for (const Server& s : servers) blocks.append(server_block(generation, s));
  const int64_t head = generation == 2024 ? 48 : 36;
  const int64_t tail = generation == 2024 ? 8 : 4;
  const int64_t length = head + static_cast<int64_t>(blocks.size()) + tail;
  const int32_t n = static_cast<int32_t>(servers.size());
  Bytes e;
  if (generation == 2024) {
    e.u32(KOVA_EV_PATTERN_2024).i32(event_type).i64(length).u64(9).u32(300).u32(4);
    e.i32(0x3).i32(0).i32(n).i32(0);
  } else {
    e.u32(generation == 2009 ? KOVA_EV_PATTERN_2009 : KOVA_EV_PATTERN_2010);
    e.u32(static_cast<uint32_t>(length)).u32(9).i32(event_type).u32(300).u32(4);
    e.i32(0x3).i32(0).i32(n);
  }
  e.append(blocks.bytes());
  if (generation == 2024)
    e.i64(length);
  else
    e.u32(static_cast<uint32_t>(length));
  return e.bytes();
}

Exact::Exact(const std::vector<unsigned char>& v) : p_(new unsigned char[v.size()]), n_(v.size()) {
  memcpy(p_.get(), v.data(), v.size());
}

}  // namespace testblock
