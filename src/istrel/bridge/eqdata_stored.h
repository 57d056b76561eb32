// Reading stored value parts: a cursor that never goes beyond the bytes
// available, and the small helpers the copy and wrap readers share. A cursor
// belongs to one call on one thread.
#ifndef HESK_ISTREL_EQDATA_STORED_H
#define HESK_ISTREL_EQDATA_STORED_H

#include <cstdint>
#include <cstring>
#include <string>

#include "eqdata_layout.h"

namespace bridge_detail {

// Bounded cursor over a stored value part.
class In {
 public:
  In(unsigned char* p, uint64_t avail) : p_(p), avail_(avail) {}
  bool fits(uint64_t n) const { return n <= avail_ - pos_; }
  unsigned char* at() const { return p_ + pos_; }
  // The next n bytes, or null when they are not there.
  unsigned char* take(uint64_t n) {
    if (!fits(n)) return nullptr;
    unsigned char* r = p_ + pos_;
    pos_ += n;
    return r;
  }
  // A part of n bytes stored padded to 4.
  unsigned char* part(uint64_t n) { return take(pad4(n)); }
  uint64_t remaining() const { return avail_ - pos_; }

 private:
  unsigned char* p_;
  uint64_t avail_;
  uint64_t pos_ = 0;
};

constexpr int kShort = KOVA_EQDATA_ERR_NO_ROOM;  // the payload ends too soon
constexpr int kRefused = KOVA_EQDATA_ERR_INVAL_PARAM;

inline int result(int container_rc) {
  return container_rc == EQ_OK ? KOVA_EQDATA_OK : kRefused;
}

// Length with terminator of the text at `p` within `max` bytes, 0 without one.
inline uint64_t text_length(const unsigned char* p, uint64_t max) {
  const void* nul = memchr(p, '\0', max);
  return nul == nullptr ? 0 : static_cast<const unsigned char*>(nul) - p + 1;
}

// A text part as the container's setters take it: null when empty.
inline char* text_or_null(unsigned char* p, uint32_t len) {
  return len == 0 ? nullptr : reinterpret_cast<char*>(p);
}

inline std::string text_of(const unsigned char* p, uint32_t len) {
  return std::string(reinterpret_cast<const char*>(p),
                     len == 0 ? 0 : strnlen(reinterpret_cast<const char*>(p), len));
}

inline unsigned char* stored_text(In& in, uint64_t* len) {
  *len = text_length(in.at(), in.remaining());
  return *len == 0 ? nullptr : in.part(*len);
}

// SPECTRUM or GSPECTRUM image with its comment and samples.
template <typename Image>
unsigned char* spectrum_parts(In& in, Image* s, unsigned char** comment, unsigned char** samples) {
  unsigned char* img = in.take(sizeof(Image));
  if (img == nullptr) return nullptr;
  *s = load<Image>(img);
  *comment = in.part(s->comment_len);
  *samples = *comment == nullptr ? nullptr : in.take(4 * uint64_t(s->length));
  return *samples == nullptr ? nullptr : img;
}

// Fills `d` through its setters (copy mode) or points its block's union into
// the value part (wrap mode; the stored pointers are re-pointed in place).
int copy_in(EqData* d, int32_t type, const Layout& l, In& in);
int wrap_in(EqDataBlock* b, const Layout& l, In& in);

}  // namespace bridge_detail

#endif  // HESK_ISTREL_EQDATA_STORED_H
