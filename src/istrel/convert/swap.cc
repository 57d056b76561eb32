// Byte reversal of arrays of 2-, 3-, 4- and 8-byte fields, and the exported
// swap primitives built on it. The loops move 16 or 32 bytes at a time with
// the best vector unit the processor offers (chosen once, at first use), so
// converting sample and pixel arrays runs close to memory speed. Every chunk
// is loaded before it is stored, which makes in-place use safe.
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "convert_internal.h"
#include "event_convert.h"

namespace convert_detail {

namespace {

#if defined(__SSE2__)
inline __m128i load16(const unsigned char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
inline void store16(unsigned char* p, __m128i v) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
// Swaps the two bytes of every 16-bit lane.
inline __m128i swap16_lanes(__m128i v) {
  return _mm_or_si128(_mm_slli_epi16(v, 8), _mm_srli_epi16(v, 8));
}
// Reverses every 32-bit lane: bytes within 16-bit halves, then the halves.
inline __m128i swap32_lanes(__m128i v) {
  v = swap16_lanes(v);
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
  return _mm_shufflehi_epi16(v, _MM_SHUFFLE(2, 3, 0, 1));
}
// Reverses every 64-bit lane.
inline __m128i swap64_lanes(__m128i v) {
  v = swap16_lanes(v);
  v = _mm_shufflelo_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
  return _mm_shufflehi_epi16(v, _MM_SHUFFLE(0, 1, 2, 3));
}
#endif

// Field-by-field tails (and the whole work where no vector unit helps).
void tail2(const unsigned char* in, unsigned char* out, size_t i, size_t n) {
  for (; i < n; ++i) {
    uint16_t v;
    memcpy(&v, in + 2 * i, 2);
    v = __builtin_bswap16(v);
    memcpy(out + 2 * i, &v, 2);
  }
}

void tail4(const unsigned char* in, unsigned char* out, size_t i, size_t n) {
  for (; i < n; ++i) {
    uint32_t v;
    memcpy(&v, in + 4 * i, 4);
    v = __builtin_bswap32(v);
    memcpy(out + 4 * i, &v, 4);
  }
}

void tail8(const unsigned char* in, unsigned char* out, size_t i, size_t n) {
  for (; i < n; ++i) {
    uint64_t v;
    memcpy(&v, in + 8 * i, 8);
    v = __builtin_bswap64(v);
    memcpy(out + 8 * i, &v, 8);
  }
}

void tail3(const unsigned char* in, unsigned char* out, size_t i, size_t n) {
  for (; i < n; ++i) {
    const unsigned char* s = in + 3 * i;
    unsigned char* d = out + 3 * i;
    unsigned char b0 = s[0], b1 = s[1], b2 = s[2];
    d[0] = b2;
    d[1] = b1;
    d[2] = b0;
  }
}

// Portable versions: SSE2 where the baseline has it.
void generic2(const unsigned char* in, unsigned char* out, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {  // 8 fields per chunk, two chunks per pass
    __m128i a = load16(in + 2 * i);
    __m128i b = load16(in + 2 * i + 16);
    store16(out + 2 * i, swap16_lanes(a));
    store16(out + 2 * i + 16, swap16_lanes(b));
  }
#endif
  tail2(in, out, i, n);
}

void generic4(const unsigned char* in, unsigned char* out, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 8 <= n; i += 8) {
    __m128i a = load16(in + 4 * i);
    __m128i b = load16(in + 4 * i + 16);
    store16(out + 4 * i, swap32_lanes(a));
    store16(out + 4 * i + 16, swap32_lanes(b));
  }
#endif
  tail4(in, out, i, n);
}

void generic8(const unsigned char* in, unsigned char* out, size_t n) {
  size_t i = 0;
#if defined(__SSE2__)
  for (; i + 4 <= n; i += 4) {
    __m128i a = load16(in + 8 * i);
    __m128i b = load16(in + 8 * i + 16);
    store16(out + 8 * i, swap64_lanes(a));
    store16(out + 8 * i + 16, swap64_lanes(b));
  }
#endif
  tail8(in, out, i, n);
}

void generic3(const unsigned char* in, unsigned char* out, size_t n) {
  tail3(in, out, 0, n);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define HESK_X86_DISPATCH 1

// AVX2: one byte shuffle reverses 32 bytes of fields.
template <int kSize>
__attribute__((target("avx2"))) void avx2_swap(const unsigned char* in, unsigned char* out,
                                               size_t n) {
  alignas(32) static constexpr char kMask2[32] = {1,  0,  3,  2,  5,  4,  7,  6,  9,  8, 11,
                                                  10, 13, 12, 15, 14, 1,  0,  3,  2,  5, 4,
                                                  7,  6,  9,  8,  11, 10, 13, 12, 15, 14};
  alignas(32) static constexpr char kMask4[32] = {3, 2,  1,  0,  7,  6, 5,  4,  11, 10, 9,
                                                  8, 15, 14, 13, 12, 3, 2,  1,  0,  7,  6,
                                                  5, 4,  11, 10, 9,  8, 15, 14, 13, 12};
  alignas(32) static constexpr char kMask8[32] = {7,  6,  5,  4,  3,  2,  1,  0,  15, 14, 13,
                                                  12, 11, 10, 9,  8,  7,  6,  5,  4,  3,  2,
                                                  1,  0,  15, 14, 13, 12, 11, 10, 9,  8};
  const char* m = kSize == 2 ? kMask2 : kSize == 4 ? kMask4 : kMask8;
  const __m256i mask = _mm256_load_si256(reinterpret_cast<const __m256i*>(m));
  const size_t bytes = n * kSize;
  size_t b = 0;
  for (; b + 64 <= bytes; b += 64) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + b));
    __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + b + 32));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b), _mm256_shuffle_epi8(x, mask));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + b + 32), _mm256_shuffle_epi8(y, mask));
  }
  const size_t i = b / kSize;
  if (kSize == 2) tail2(in, out, i, n);
  if (kSize == 4) tail4(in, out, i, n);
  if (kSize == 8) tail8(in, out, i, n);
}

// Shuffle masks for 3-byte pixels over 48 bytes (16 pixels) held in three
// registers: mask[r][s] picks, for output register r, the bytes that come
// from input register s (-128 leaves a lane zero, to be filled from another).
struct Pixel3Masks {
  alignas(16) signed char m[3][3][16];
};

constexpr Pixel3Masks make_pixel3_masks() {
  Pixel3Masks r{};
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b)
      for (int l = 0; l < 16; ++l) r.m[a][b][l] = -128;
  for (int o = 0; o < 48; ++o) {
    const int src = 3 * (o / 3) + 2 - o % 3;
    r.m[o / 16][src / 16][o % 16] = static_cast<signed char>(src % 16);
  }
  return r;
}

constexpr Pixel3Masks kPixel3 = make_pixel3_masks();

// SSSE3, 3-byte pixels: 16 pixels per step, all loads before the stores, so
// in-place use is safe and no store is read back.
__attribute__((target("ssse3"))) void ssse3_swap3(const unsigned char* in, unsigned char* out,
                                                  size_t n) {
  auto mask = [](int r, int s) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(kPixel3.m[r][s]));
  };
  const __m128i m00 = mask(0, 0), m01 = mask(0, 1), m10 = mask(1, 0), m11 = mask(1, 1),
                m12 = mask(1, 2), m21 = mask(2, 1), m22 = mask(2, 2);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const unsigned char* s = in + 3 * i;
    unsigned char* d = out + 3 * i;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 32));
    __m128i x = _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01));
    __m128i y = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                             _mm_shuffle_epi8(c, m12));
    __m128i z = _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), x);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 16), y);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 32), z);
  }
  tail3(in, out, i, n);
}
#endif

using SwapFn = void (*)(const unsigned char*, unsigned char*, size_t);

struct Swaps {
  SwapFn s2 = generic2, s3 = generic3, s4 = generic4, s8 = generic8;
};

// Chosen once per process from what the processor offers.
const Swaps& swaps() {
  static const Swaps chosen = [] {
    Swaps s;
#if defined(HESK_X86_DISPATCH)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) {
      s.s2 = avx2_swap<2>;
      s.s4 = avx2_swap<4>;
      s.s8 = avx2_swap<8>;
    }
    if (__builtin_cpu_supports("ssse3")) s.s3 = ssse3_swap3;
#endif
    return s;
  }();
  return chosen;
}

}  // namespace

void swap_fields2(const unsigned char* in, unsigned char* out, size_t n) {
  swaps().s2(in, out, n);
}
void swap_fields3(const unsigned char* in, unsigned char* out, size_t n) {
  swaps().s3(in, out, n);
}
void swap_fields4(const unsigned char* in, unsigned char* out, size_t n) {
  swaps().s4(in, out, n);
}
void swap_fields8(const unsigned char* in, unsigned char* out, size_t n) {
  swaps().s8(in, out, n);
}

}  // namespace convert_detail

using convert_detail::swap_fields2;
using convert_detail::swap_fields3;
using convert_detail::swap_fields4;
using convert_detail::swap_fields8;

extern "C" {

void kova_swap2(short* in, short* out, int wc) {
  if (in == nullptr || out == nullptr || wc <= 0) return;
  swap_fields2(reinterpret_cast<const unsigned char*>(in), reinterpret_cast<unsigned char*>(out),
               static_cast<size_t>(wc));
}

void kova_swap3(unsigned char* in, unsigned char* out, int wc) {
  if (in == nullptr || out == nullptr || wc <= 0) return;
  swap_fields3(in, out, static_cast<size_t>(wc));
}

void kova_swap4(int* in, int* out, int wc) {
  if (in == nullptr || out == nullptr || wc <= 0) return;
  swap_fields4(reinterpret_cast<const unsigned char*>(in), reinterpret_cast<unsigned char*>(out),
               static_cast<size_t>(wc));
}

void kova_swap8(uint64_t* in, uint64_t* out, int wc) {
  if (in == nullptr || out == nullptr || wc <= 0) return;
  swap_fields8(reinterpret_cast<const unsigned char*>(in), reinterpret_cast<unsigned char*>(out),
               static_cast<size_t>(wc));
}

// Reverses each 32-bit half and exchanges the halves: a full 8-byte reversal.
uint64_t htonll(uint64_t x) {
  uint32_t lo = static_cast<uint32_t>(x);
  uint32_t hi = static_cast<uint32_t>(x >> 32);
  return (static_cast<uint64_t>(__builtin_bswap32(lo)) << 32) | __builtin_bswap32(hi);
}

uint64_t ntohll(uint64_t x) {
  return htonll(x);
}

uint64_t swap8bytes(uint64_t val) {
  return __builtin_bswap64(val);
}

int kova_encode(void* in, void* out, char type, bool /*sign*/, int len) {
  if (in == nullptr || out == nullptr) return convert_detail::kNullParameter;
  const unsigned char* src = static_cast<const unsigned char*>(in);
  unsigned char* dst = static_cast<unsigned char*>(out);
  size_t n = len > 0 ? static_cast<size_t>(len) : 0;
  switch (type) {
    case 'A':
      convert_detail::copy_bytes(src, dst, n);
      break;
    case 'F':
    case 'I':
      swap_fields4(src, dst, n);
      break;
    case 'Q':
      swap_fields8(src, dst, n);
      break;
    case 'R':
      swap_fields3(src, dst, n);
      break;
    case 'S':
      swap_fields2(src, dst, n);
      break;
    default:
      return convert_detail::kSyntax;
  }
  return convert_detail::kOk;
}

}  // extern "C"
