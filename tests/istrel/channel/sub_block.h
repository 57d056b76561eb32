// Sub-blocks and events in host order for the channel and printer tests,
// built field by field, and exact heap copies of them: a read one byte past
// a block is an AddressSanitizer error.
#ifndef HESK_TESTS_SUB_BLOCK_H
#define HESK_TESTS_SUB_BLOCK_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testblock {

// Bytes growing field by field.
class Bytes {
 public:
  Bytes& i32(int32_t v) { return put(&v, 4); }
  Bytes& u32(uint32_t v) { return put(&v, 4); }
  Bytes& f32(float v) { return put(&v, 4); }
  Bytes& u64(uint64_t v) { return put(&v, 8); }
  Bytes& i64(int64_t v) { return put(&v, 8); }
  Bytes& text(const std::string& s, size_t width);  // NUL-padded, cut at width
  Bytes& zeros(size_t n);
  // `n` floats first, first + 1, ...
  Bytes& ramp(int n, float first);
  Bytes& append(const std::vector<unsigned char>& v) { return put(v.data(), v.size()); }
  Bytes& put(const void* p, size_t n);
  void patch_i32(size_t at, int32_t v);
  void patch_i64(size_t at, int64_t v);
  size_t size() const { return b_.size(); }
  const std::vector<unsigned char>& bytes() const { return b_; }

 private:
  std::vector<unsigned char> b_;
};

// One sub-block: head (44 bytes for 2009, 268 for 2010), then the payload;
// bytes() sets ldata to the real length unless lie_ldata() said otherwise.
class SubBlock : public Bytes {
 public:
  SubBlock(int generation, const std::string& name, int32_t dtype, int32_t error = 0);
  std::vector<unsigned char> block() const;
  void lie_ldata(int32_t ldata) { ldata_ = ldata; }
  size_t head() const { return head_; }

 private:
  size_t head_;
  int32_t ldata_ = -1;
};

// Payloads. Sample j of channel k is 100 * k + j.
void fast_2009(Bytes& b, int channels, int ndata);                  // means are 0.5 + k
void spectrum_2010(Bytes& b, int channels, int ndata, int groups);  // MEAN set to 10 + k
void roi(Bytes& b, const std::vector<int>& ndata);                  // ROI k: mean 1000 + k, start k
void generic(Bytes& b, const std::vector<std::pair<int, int>>& ndata_groups);
void name_value(Bytes& b, int entries);  // "NV<i>" = i + 0.25
void upd_entries(Bytes& b, int generation, const std::vector<std::string>& names, float base);
void env_entries(Bytes& b, const std::vector<int>& idx, float base);  // value base + idx
void dict_entries(Bytes& b, int generation, const std::vector<std::string>& names);

// An event of generation 2009, 2010 or 2024 from its server blocks: each
// server block a name and its sub-blocks.
struct Server {
  std::string name;
  std::vector<std::vector<unsigned char>> subs;
};
std::vector<unsigned char> event(int generation, int32_t event_type,
                                 const std::vector<Server>& servers);
// The server block alone (head and sub-blocks).
std::vector<unsigned char> server_block(int generation, const Server& s);

// Exactly the given bytes on the heap.
class Exact {
 public:
  explicit Exact(const std::vector<unsigned char>& v);
  unsigned char* get() { return p_.get(); }
  template <typename T>
  T* as() {
    return reinterpret_cast<T*>(p_.get());
  }
  size_t size() const { return n_; }

 private:
  std::unique_ptr<unsigned char[]> p_;
  size_t n_;
};

}  // namespace testblock

#endif  // HESK_TESTS_SUB_BLOCK_H
