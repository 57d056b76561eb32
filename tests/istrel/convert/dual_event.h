// Test events written twice at once: in host order and in network order,
// field by field at each field's own width. Converting the host copy to
// network order must give the network copy byte for byte and back, which
// checks every field width independently of the format descriptions.
//
// Used by the conversion tests, the fuzz seed corpus and the benchmark.
#ifndef HESK_TESTS_DUAL_EVENT_H
#define HESK_TESTS_DUAL_EVENT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dual {

// Two byte strings growing together.
class DualBuffer {
 public:
  void u16(uint16_t v);
  void u24(uint32_t v);  // 3-byte pixel, low three bytes
  void u32(uint32_t v);
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v);
  void u64(uint64_t v);
  void i64(int64_t v) { u64(static_cast<uint64_t>(v)); }
  // Bytes that are not converted (text, opaque data, padding).
  void raw(const void* p, size_t n);
  void raw_text(const std::string& s, size_t width);  // NUL-padded to width
  void raw_fill(size_t n, unsigned char seed);
  void append(const DualBuffer& other);

  void patch_u32(size_t at, uint32_t v);
  void patch_u64(size_t at, uint64_t v);

  size_t size() const { return host.size(); }

  std::vector<unsigned char> host;
  std::vector<unsigned char> net;
};

// A source of distinct, byte-asymmetric values.
class Values {
 public:
  uint32_t next32();
  float nextf();

 private:
  uint32_t state_ = 0x12345671u;
};

// Payload writers (one sub-block payload each). `v` supplies the numbers.
void slow_entries(DualBuffer& d, int type, int count, Values& v);
void fast_2009(DualBuffer& d, int channels, int ndata, Values& v);
void spectrum_2010(DualBuffer& d, int channels, int ndata, int groups, Values& v);
void image_13(DualBuffer& d, int bpp, int pixel_bytes, Values& v);
void image_27(DualBuffer& d, int bpp, int pixel_bytes, Values& v);
void roi(DualBuffer& d, int rois, const int* ndata, Values& v);
void name_value(DualBuffer& d, int count, Values& v);
void generic_spectra(DualBuffer& d, const std::vector<std::pair<int, int>>& entries, Values& v);
// Framework data blocks of several kinds, selected by `kind` 0 ... kEqKinds-1.
constexpr int kEqKinds = 20;
void eq_block(DualBuffer& d, int kind, Values& v);
// A representative payload of sub-block type `type` (every type with a
// format except 12 and 44).
void payload_of_type(DualBuffer& d, int type, Values& v);
// Compressed payload: zip header and opaque bytes.
void zipped(DualBuffer& d, int bytes);

// Whole events of generation 2009, 2010 or 2024.
class DualEvent {
 public:
  DualEvent(int generation, int32_t event_type);
  void begin_server(const char* name);
  void begin_sub(const char* chname, int32_t dtype, int32_t error = 0);
  DualBuffer& data() { return buf_; }
  void end_sub();
  void end_server();
  // Writes the tail and every length and count; the result is in buf().
  void finish();
  const DualBuffer& buf() const { return buf_; }

  int head_size() const;
  int server_size() const;
  int sub_size() const;

 private:
  int gen_;
  DualBuffer buf_;
  int nsb_ = 0;
  size_t server_at_ = 0;
  int nchan_ = 0;
  size_t sub_at_ = 0;
};

// Events of `generation` holding every payload type, compressed payloads and
// padding after payloads, spread over several server blocks.
DualBuffer every_payload_event(int generation);
// An ENV event with `servers` server blocks of `entries` environment entries.
DualBuffer env_event(int generation, int servers, int entries);
// A large event: `blocks` sub-blocks of type `type` with `ndata` samples
// (spectra: two channels) or pixel bytes (images).
DualBuffer large_event(int generation, int type, int blocks, int ndata);

}  // namespace dual

#endif  // HESK_TESTS_DUAL_EVENT_H
