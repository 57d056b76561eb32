#include "dual_event.h"

#include <cstring>

#include "event.h"

namespace dual {

// ---------------------------------------------------------------------------
// DualBuffer

namespace {

template <typename T>
void put(std::vector<unsigned char>& v, T x) {
  unsigned char b[sizeof(T)];
  memcpy(b, &x, sizeof(T));
  v.insert(v.end(), b, b + sizeof(T));
}

template <typename T>
void put_at(std::vector<unsigned char>& v, size_t at, T x) {
  memcpy(v.data() + at, &x, sizeof(T));
}

int pad4(int n) {
  return (n + 3) & ~3;
}

}  // namespace

void DualBuffer::u16(uint16_t v) {
  put(host, v);
  put(net, __builtin_bswap16(v));
}

void DualBuffer::u24(uint32_t v) {
  unsigned char b[3] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                        static_cast<unsigned char>(v >> 16)};
  host.insert(host.end(), b, b + 3);
  unsigned char r[3] = {b[2], b[1], b[0]};
  net.insert(net.end(), r, r + 3);
}

void DualBuffer::u32(uint32_t v) {
  put(host, v);
  put(net, __builtin_bswap32(v));
}

void DualBuffer::f32(float v) {
  uint32_t w;
  memcpy(&w, &v, 4);
  u32(w);
}

void DualBuffer::u64(uint64_t v) {
  put(host, v);
  put(net, __builtin_bswap64(v));
}

void DualBuffer::raw(const void* p, size_t n) {
  const unsigned char* b = static_cast<const unsigned char*>(p);
  host.insert(host.end(), b, b + n);
  net.insert(net.end(), b, b + n);
}

void DualBuffer::raw_text(const std::string& s, size_t width) {
  std::vector<unsigned char> b(width, 0);
  memcpy(b.data(), s.data(), s.size() < width ? s.size() : width - 1);
  raw(b.data(), width);
}

void DualBuffer::raw_fill(size_t n, unsigned char seed) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(seed + 37 * i);
    raw(&c, 1);
  }
}

void DualBuffer::append(const DualBuffer& o) {
  host.insert(host.end(), o.host.begin(), o.host.end());
  net.insert(net.end(), o.net.begin(), o.net.end());
}

void DualBuffer::patch_u32(size_t at, uint32_t v) {
  put_at(host, at, v);
  put_at(net, at, __builtin_bswap32(v));
}

void DualBuffer::patch_u64(size_t at, uint64_t v) {
  put_at(host, at, v);
  put_at(net, at, __builtin_bswap64(v));
}

uint32_t Values::next32() {
  // xorshift; never byte-symmetric for long, so a missed swap shows.
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return state_;
}

float Values::nextf() {
  return static_cast<float>(next32() % 100000) / 7.0f + 0.5f;
}

// ---------------------------------------------------------------------------
// Payloads

void slow_entries(DualBuffer& d, int type, int count, Values& v) {
  for (int i = 0; i < count; ++i) {
    std::string name = "CHAN/PROP." + std::to_string(i);
    switch (type) {
      case 1:
      case 4:
      case 5:
      case 33:
      case 36:
      case 37:
        d.raw_text(name, type < 33 ? 80 : 256);
        d.i32(static_cast<int32_t>(v.next32()));
        d.u32(v.next32());
        d.u32(v.next32());
        d.f32(v.nextf());
        break;
      case 2:
      case 34:
        d.raw_text(name, type < 33 ? 80 : 256);
        d.f32(v.nextf());
        d.f32(v.nextf());
        break;
      default:  // 3, 35
        d.i32(i);
        d.i32(static_cast<int32_t>(v.next32()));
        d.u32(v.next32());
        d.u32(v.next32());
        d.f32(v.nextf());
        break;
    }
  }
}

void fast_2009(DualBuffer& d, int channels, int ndata, Values& v) {
  d.f32(v.nextf());
  d.f32(v.nextf());
  for (int c = 0; c < channels; ++c) d.f32(v.nextf());
  d.i32(ndata);
  for (int i = 0; i < channels * ndata; ++i) d.f32(v.nextf());
}

namespace {

void statistics(DualBuffer& d, Values& v) {
  d.u32(v.next32());                              // mask
  for (int i = 0; i < 24; ++i) d.f32(v.nextf());  // converted as floats
  for (int i = 0; i < 8; ++i) d.u32(v.next32());  // converted as integers
}

}  // namespace

void spectrum_2010(DualBuffer& d, int channels, int ndata, int groups, Values& v) {
  d.f32(v.nextf());
  d.f32(v.nextf());
  d.i32(ndata);
  d.i32(groups);
  d.f32(v.nextf());
  for (int c = 0; c < channels; ++c) statistics(d, v);
  int samples = channels * ndata * (groups > 1 ? groups : 1);
  for (int i = 0; i < samples; ++i) d.f32(v.nextf());
}

namespace {

void pixels(DualBuffer& d, int bpp, int bytes, Values& v) {
  int n = bytes / bpp;
  for (int i = 0; i < n; ++i) {
    if (bpp == 1) {
      unsigned char c = static_cast<unsigned char>(v.next32());
      d.raw(&c, 1);
    } else if (bpp == 2) {
      d.u16(static_cast<uint16_t>(v.next32()));
    } else {
      d.u24(v.next32());
    }
  }
  d.raw_fill(bytes - n * bpp, 0x71);  // a partial pixel is copied
}

}  // namespace

void image_13(DualBuffer& d, int bpp, int pixel_bytes, Values& v) {
  // The head as its description has it: w, h, bpp, compr, frame, a spare word,
  // the pixel byte count.
  d.i32(640 | (3 << 16));
  d.i32(480);
  d.i32(bpp | (1 << 4) | (1 << 18));
  d.i32(0);
  d.u32(v.next32());
  d.u32(v.next32());
  d.i32(pixel_bytes);
  pixels(d, bpp, pixel_bytes, v);
}

void image_27(DualBuffer& d, int bpp, int pixel_bytes, Values& v) {
  for (int i = 0; i < 12; ++i) d.i32(i == 6 ? bpp : static_cast<int32_t>(v.next32()));
  d.u32(v.next32());  // frame
  d.u32(v.next32());  // event
  for (int i = 0; i < 6; ++i) d.f32(v.nextf());
  for (int i = 0; i < 4; ++i) d.i32(static_cast<int32_t>(v.next32()));
  d.i32(pixel_bytes);
  pixels(d, bpp, pixel_bytes, v);
}

void roi(DualBuffer& d, int rois, const int* ndata, Values& v) {
  for (int i = 0; i < 8; ++i) d.i32(static_cast<int32_t>(v.next32()));  // w .. vs
  d.f32(v.nextf());                                                     // angle
  d.i32(static_cast<int32_t>(v.next32()));                              // cw
  d.i32(static_cast<int32_t>(v.next32()));                              // cs
  for (int i = 0; i < 8; ++i) d.f32(v.nextf());                         // prm
  for (int r = 0; r < rois; ++r) {
    for (int i = 0; i < 4; ++i) d.f32(v.nextf());  // mean max cofm sig
    for (int k = 0; k < 2; ++k) {                  // pv, ps
      d.i32(static_cast<int32_t>(v.next32()));
      for (int i = 0; i < 3; ++i) d.f32(v.nextf());
    }
    for (int i = 0; i < 8; ++i) d.f32(v.nextf());
  }
  for (int r = 0; r < rois; ++r) {
    d.f32(v.nextf());
    d.f32(v.nextf());
    d.i32(ndata[r]);
  }
  for (int r = 0; r < rois; ++r)
    for (int i = 0; i < ndata[r]; ++i) d.f32(v.nextf());
}

void name_value(DualBuffer& d, int count, Values& v) {
  d.i32(static_cast<int32_t>(v.next32()));
  d.raw_text("settings of the undulator", 80);
  d.i32(count);
  for (int i = 0; i < count; ++i) {
    d.raw_text("GAP." + std::to_string(i), 80);
    d.f32(v.nextf());
  }
}

void generic_spectra(DualBuffer& d, const std::vector<std::pair<int, int>>& entries, Values& v) {
  d.u32(static_cast<uint32_t>(entries.size()));
  d.u32(0x00020003);
  for (const auto& e : entries) {
    d.u32(v.next32());
    for (int i = 0; i < 32; ++i) d.f32(v.nextf());
    d.f32(v.nextf());
    d.f32(v.nextf());
    d.i32(e.first);
    d.i32(e.second);
    d.f32(v.nextf());
    for (int i = 0; i < e.first * e.second; ++i) d.f32(v.nextf());
  }
}

namespace {

void text_part(DualBuffer& d, const std::string& s) {
  d.raw_text(s, pad4(static_cast<int>(s.size()) + 1));
}

// SPECTRUM image (56 bytes) with the given comment and sample counts.
void spectrum_image(DualBuffer& d, int comment, int samples, Values& v) {
  d.u32(comment);
  d.u32(0);
  d.u64(0x00007f0012345678ull);
  d.u32(v.next32());
  d.u32(v.next32());
  d.f32(v.nextf());
  d.f32(v.nextf());
  d.u32(v.next32());
  d.i32(static_cast<int32_t>(v.next32()));
  d.u32(samples);
  d.u32(0);
  d.u64(0x00007f0087654321ull);
}

void gspectrum_image(DualBuffer& d, int comment, int samples, Values& v) {
  d.u32(comment);
  d.u32(0);
  d.u64(0x00007f0012345678ull);
  d.u32(v.next32());
  d.u32(v.next32());
  d.f32(v.nextf());
  d.f32(v.nextf());
  d.u32(v.next32());
  d.i32(7);
  d.i32(2);
  d.f32(v.nextf());
  for (int i = 0; i < 36; ++i) d.f32(v.nextf());
  d.u32(samples);
  d.u32(0);
  d.u64(0x00007f0087654321ull);
}

void floats(DualBuffer& d, int n, Values& v) {
  for (int i = 0; i < n; ++i) d.f32(v.nextf());
}

}  // namespace

void eq_block(DualBuffer& d, int kind, Values& v) {
  static const int kTypes[kEqKinds] = {0,  1,  25,  6,    3,    18,  100, 113, 102,  19,
                                       24, 22, 103, 1013, 1016, 106, 115, 120, 1015, 108};
  const int type = kTypes[kind];
  d.i32(type);
  d.u64(1700000000ull + kind);              // tm
  d.i32(static_cast<int32_t>(v.next32()));  // error
  d.i32(123456);                            // tm_usec
  d.u32(v.next32());                        // mp_lo
  d.u32(v.next32());                        // mp_hi
  for (int i = 0; i < 4; ++i) d.u32(v.next32());
  switch (type) {
    case 0:
      break;
    case 1:
      d.i32(static_cast<int32_t>(v.next32()));
      break;
    case 25:
      d.u16(static_cast<uint16_t>(v.next32()));
      d.raw_fill(2, 0);
      break;
    case 6:
      d.u64((static_cast<uint64_t>(v.next32()) << 32) | v.next32());
      break;
    case 3:
      text_part(d, "abcd");
      break;
    case 18:
      for (int i = 0; i < 6; ++i) d.u32(v.next32());
      break;
    case 100:
      d.u32(3);
      floats(d, 3, v);
      break;
    case 113:
      d.u32(3);
      for (int i = 0; i < 3; ++i) d.u16(static_cast<uint16_t>(v.next32()));
      d.raw_fill(2, 0);
      break;
    case 102:
      d.u32(2);
      floats(d, 4, v);
      break;
    case 19:
      spectrum_image(d, 6, 4, v);
      text_part(d, "hello");
      floats(d, 4, v);
      break;
    case 24:
      gspectrum_image(d, 3, 5, v);
      text_part(d, "ab");
      floats(d, 5, v);
      break;
    case 22: {
      for (int i = 0; i < 32; ++i) d.u32(i == 6 ? 2 : v.next32());  // IMH, bpp 2
      d.u32(9);
      d.u32(0);
      d.u64(0x1111);
      d.u32(10);
      d.u32(0);
      d.u64(0x2222);
      text_part(d, "comment!");
      for (int i = 0; i < 5; ++i) d.u16(static_cast<uint16_t>(v.next32()));
      d.raw_fill(2, 0);
      break;
    }
    case 103: {
      const char* s[2] = {"first", "second string"};
      d.u32(2);
      for (int i = 0; i < 2; ++i) {
        d.i32(i);
        d.f32(v.nextf());
        d.f32(v.nextf());
        d.i32(0);
        d.u64(1700000000ull);
        d.u32(static_cast<uint32_t>(strlen(s[i]) + 1));
        d.u32(0);
        d.u64(0x3333);
      }
      for (int i = 0; i < 2; ++i) text_part(d, s[i]);
      break;
    }
    case 1013: {
      d.u32(2);
      for (int i = 0; i < 2; ++i) {
        d.u32(v.next32());
        d.u16(static_cast<uint16_t>(v.next32()));
        d.u16(static_cast<uint16_t>(v.next32()));
        spectrum_image(d, i == 0 ? 4 : 0, 3 + i, v);
      }
      text_part(d, "abc");
      floats(d, 3, v);
      floats(d, 4, v);  // second element: no comment
      break;
    }
    case 1016: {
      const char* s[2] = {"key:value", "k2:v:x"};
      d.u32(2);
      for (int i = 0; i < 2; ++i) {
        d.u32(static_cast<uint32_t>(strlen(s[i]) + 1));
        d.u32(0);
        d.u64(0x4444);
      }
      for (int i = 0; i < 2; ++i) text_part(d, s[i]);
      break;
    }
    case 106:
      for (int i = 0; i < 5; ++i) d.i32(static_cast<int32_t>(v.next32()));
      d.i32(0);
      d.u32(6);
      d.u32(0);
      d.u64(0x5555);
      d.raw_fill(6, 0x10);
      d.raw_fill(2, 0);
      break;
    case 115:
      d.u32(4);
      d.u32(0);
      d.u64(0x6666);
      d.i32(2);
      for (int i = 0; i < 7; ++i) d.i32(i == 0 ? 2 : i == 1 ? 3 : 0);
      d.u32(6);
      d.u32(0);
      d.u64(0x7777);
      text_part(d, "abc");
      for (int i = 0; i < 6; ++i) d.u64((static_cast<uint64_t>(v.next32()) << 32) | v.next32());
      break;
    case 120:
      d.u32(2);
      for (int i = 0; i < 24; ++i) d.u32(v.next32());
      break;
    case 1015:
      d.u32(1);
      d.u32(v.next32());
      d.u16(static_cast<uint16_t>(v.next32()));
      d.u16(static_cast<uint16_t>(v.next32()));
      gspectrum_image(d, 5, 3, v);
      text_part(d, "abcd");
      floats(d, 3, v);
      break;
    case 108: {
      const char* s[2] = {"", "location"};
      d.u32(2);
      for (int i = 0; i < 2; ++i) {
        d.i32(i);
        floats(d, 3, v);
        d.u32(static_cast<uint32_t>(strlen(s[i]) + 1));
        d.u32(0);
        d.u64(0x8888);
      }
      for (int i = 0; i < 2; ++i) text_part(d, s[i]);
      break;
    }
  }
}

void zipped(DualBuffer& d, int bytes) {
  d.u32(0x00000101);
  d.u32(static_cast<uint32_t>(bytes * 3));
  d.u32(static_cast<uint32_t>(bytes));
  d.raw_fill(bytes, 0x33);
}

namespace {

int fast_channels(int t) {
  switch (t) {
    case 9:
    case 10:
      return 1;
    case 8:
      return 3;
    case 7:
    case 16:
      return 4;
    case 17:
    case 18:
      return 8;
    default:
      return 2;
  }
}

int spectrum_channels(int t) {
  switch (t) {
    case 41:
    case 42:
      return 1;
    case 40:
    case 60:
      return 3;
    case 39:
    case 47:
    case 48:
      return 4;
    case 61:
      return 5;
    case 52:
      return 6;
    case 62:
      return 7;
    case 49:
    case 50:
    case 53:
      return 8;
    default:
      return 2;
  }
}

}  // namespace

void payload_of_type(DualBuffer& d, int t, Values& v) {
  if ((t >= 1 && t <= 5) || (t >= 33 && t <= 37)) return slow_entries(d, t, 3, v);
  if ((t >= 6 && t <= 11) || (t >= 14 && t <= 21)) return fast_2009(d, fast_channels(t), 7, v);
  if (t >= 38 && t <= 62) return spectrum_2010(d, spectrum_channels(t), 5, 2, v);
  static const int kRoi[3] = {4, 0, 6};
  switch (t) {
    case 13:
      return image_13(d, 2, 64, v);
    case 22:
      return name_value(d, 3, v);
    case 23:
      return eq_block(d, 13, v);
    case 24:
      return roi(d, 1, kRoi, v);
    case 25:
      return roi(d, 2, kRoi, v);
    case 26:
      return roi(d, 3, kRoi, v);
    case 27:
      return image_27(d, 3, 61, v);
    case 28:
      return generic_spectra(d, {{5, 2}, {3, 1}, {0, 4}}, v);
    default:
      return;
  }
}

// ---------------------------------------------------------------------------
// Events

DualEvent::DualEvent(int generation, int32_t event_type) : gen_(generation) {
  DualBuffer& d = buf_;
  if (gen_ == 2024) {
    d.u32(0xFFCCFFCCu);
    d.i32(event_type);
    d.i64(0);  // length, patched
    d.u64(0x100000005ull);
    d.u32(1700000000u);
    d.u32(250000u);
    d.i32(0x10);
    d.i32(0);
    d.i32(0);             // num_svr_block, patched
    d.raw_fill(4, 0xA5);  // padding, never converted
  } else {
    d.u32(gen_ == 2009 ? 0xFFEEFFEEu : 0xFFEEFFDDu);
    d.u32(0);  // length
    d.u32(4711);
    d.i32(event_type);
    d.u32(1700000000u);
    d.u32(250000u);
    d.i32(0x10);
    d.i32(0);
    d.i32(0);  // num_svr_block
  }
}

int DualEvent::head_size() const {
  return gen_ == 2024 ? 48 : 36;
}
int DualEvent::server_size() const {
  return gen_ == 2009 ? 76 : gen_ == 2010 ? 284 : 304;
}
int DualEvent::sub_size() const {
  return gen_ == 2009 ? 44 : 268;
}

void DualEvent::begin_server(const char* name) {
  DualBuffer& d = buf_;
  server_at_ = d.size();
  nchan_ = 0;
  if (gen_ == 2024) {
    d.u64(0xFBABBAFFFBABBAFFull);
    d.i64(0);  // ltotal
    d.i64(0x200000007ll);
    d.u32(1700000000u);
    d.u32(250001u);
    d.raw_text(name, 256);
    d.i32(0x10);
    d.i32(0);
    d.i32(0);  // nchan
    d.raw_fill(4, 0x5A);
  } else {
    d.u32(1700000000u);
    d.u32(250001u);
    d.i32(0);  // ltotal
    d.i32(7);
    d.raw_text(name, gen_ == 2009 ? 48 : 256);
    d.i32(0x10);
    d.i32(0);
    d.i32(0);  // nchan
  }
}

void DualEvent::begin_sub(const char* chname, int32_t dtype, int32_t error) {
  DualBuffer& d = buf_;
  sub_at_ = d.size();
  d.raw_text(chname, gen_ == 2009 ? 32 : 256);
  d.i32(dtype);
  d.i32(error);
  d.i32(0);  // ldata
}

void DualEvent::end_sub() {
  buf_.patch_u32(sub_at_ + sub_size() - 4, static_cast<uint32_t>(buf_.size() - sub_at_));
  ++nchan_;
}

void DualEvent::end_server() {
  const uint64_t ltotal = buf_.size() - server_at_;
  if (gen_ == 2024) {
    buf_.patch_u64(server_at_ + 8, ltotal);
    buf_.patch_u32(server_at_ + 296, nchan_);
  } else {
    buf_.patch_u32(server_at_ + 8, static_cast<uint32_t>(ltotal));
    buf_.patch_u32(server_at_ + server_size() - 4, nchan_);
  }
  ++nsb_;
}

void DualEvent::finish() {
  const uint64_t length = buf_.size() + (gen_ == 2024 ? 8 : 4);
  if (gen_ == 2024) {
    buf_.u64(length);
    buf_.patch_u64(8, length);
    buf_.patch_u32(40, nsb_);
  } else {
    buf_.u32(static_cast<uint32_t>(length));
    buf_.patch_u32(4, static_cast<uint32_t>(length));
    buf_.patch_u32(32, nsb_);
  }
}

DualBuffer every_payload_event(int generation) {
  Values v;
  DualEvent ev(generation, 1);
  auto sub = [&](int dtype, int error, auto&& fill) {
    ev.begin_sub(("CH." + std::to_string(dtype)).c_str(), dtype, error);
    fill(ev.data());
    ev.end_sub();
  };
  // One server block per family of types.
  ev.begin_server("SLOW.SERVER");
  for (int t : {1, 2, 3, 4, 5, 33, 34, 35, 36, 37})
    sub(t, 0, [&](DualBuffer& d) { slow_entries(d, t, 2, v); });
  ev.end_server();

  ev.begin_server("FAST.SERVER");
  for (int t = 6; t <= 21; ++t)
    if (t != 12 && t != 13) sub(t, 0, [&](DualBuffer& d) { payload_of_type(d, t, v); });
  ev.end_server();

  ev.begin_server("SPECTRUM.SERVER");
  for (int t = 38; t <= 62; ++t)
    if (t != 44 && (t < 54 || t > 59)) sub(t, 0, [&](DualBuffer& d) { payload_of_type(d, t, v); });
  // groups 0 means one group of samples; the device type in the upper half
  // of the type word changes nothing.
  sub(0x00260026, 0, [&](DualBuffer& d) { spectrum_2010(d, 2, 9, 0, v); });
  sub(0x002A0029, 0, [&](DualBuffer& d) { spectrum_2010(d, 1, 4, 1, v); });
  ev.end_server();

  ev.begin_server("IMAGE.SERVER");
  for (int bpp = 1; bpp <= 3; ++bpp) {
    sub(13, 0, [&](DualBuffer& d) { image_13(d, bpp, 12 * bpp + (bpp == 2 ? 0 : 1), v); });
    sub(27, 0, [&](DualBuffer& d) { image_27(d, bpp, 30 * bpp + 2, v); });
  }
  for (int t = 24; t <= 26; ++t) sub(t, 0, [&](DualBuffer& d) { payload_of_type(d, t, v); });
  ev.end_server();

  ev.begin_server("MISC.SERVER");
  sub(22, 0, [&](DualBuffer& d) { name_value(d, 4, v); });
  sub(28, 0, [&](DualBuffer& d) { payload_of_type(d, 28, v); });
  sub(28, 0, [&](DualBuffer& d) { generic_spectra(d, {}, v); });
  for (int k = 0; k < kEqKinds; ++k) sub(23, 0, [&](DualBuffer& d) { eq_block(d, k, v); });
  ev.end_server();

  ev.begin_server("ODD.SERVER");
  sub(38, KOVA_CHAN_ZIP_FLAG, [&](DualBuffer& d) { zipped(d, 37); });
  sub(23, KOVA_CHAN_ZIP_FLAG | 0x20, [&](DualBuffer& d) { zipped(d, 0); });
  // Padding after a payload is carried unchanged.
  sub(41, 0, [&](DualBuffer& d) {
    spectrum_2010(d, 1, 3, 1, v);
    d.raw_fill(8, 0x44);
  });
  sub(35, 0, [&](DualBuffer& d) {
    slow_entries(d, 35, 2, v);
    d.raw_fill(7, 0x45);
  });
  sub(27, 0, [&](DualBuffer& d) {
    image_27(d, 2, 10, v);
    d.raw_fill(3, 0x46);
  });
  ev.end_server();
  ev.begin_server("EMPTY.SERVER");
  ev.end_server();
  ev.finish();
  return ev.buf();
}

DualBuffer env_event(int generation, int servers, int entries) {
  Values v;
  DualEvent ev(generation, 4);
  const int type = generation == 2009 ? 3 : 35;
  for (int s = 0; s < servers; ++s) {
    ev.begin_server("ENV.SERVER");
    ev.begin_sub("ENV", type);
    slow_entries(ev.data(), type, entries, v);
    ev.end_sub();
    ev.end_server();
  }
  ev.finish();
  return ev.buf();
}

DualBuffer large_event(int generation, int type, int blocks, int ndata) {
  Values v;
  DualEvent ev(generation, 1);
  for (int b = 0; b < blocks; ++b) {
    if (b % 64 == 0) {
      if (b > 0) ev.end_server();
      ev.begin_server("LARGE.SERVER");
    }
    ev.begin_sub("LARGE.CHANNEL", type);
    if (type == 27) {
      image_27(ev.data(), 2, ndata, v);
    } else if (type == 13) {
      image_13(ev.data(), 2, ndata, v);
    } else {
      spectrum_2010(ev.data(), 2, ndata, 1, v);
    }
    ev.end_sub();
  }
  if (blocks > 0) ev.end_server();
  ev.finish();
  return ev.buf();
}

}  // namespace dual
