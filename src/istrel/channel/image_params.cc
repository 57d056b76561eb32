// Image geometry and pixels of image blocks (types 13 and 27).
#include <cstdio>

#include "channel_block.h"

using namespace channel_detail;

namespace {

template <typename T>
T load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

template <typename Subhead>
bool corrupted(const Subhead* sb) {
  printf("Corrupted data in %s %.*s\n", block_name_itoa(sb->dtype),
         static_cast<int>(field_length(sb->chname, sizeof(sb->chname))), sb->chname);
  return true;
}

// The extended head fits and its pixel count lies within the block.
template <typename Subhead>
bool ext_head_fits(const Subhead* sb) {
  const int64_t len = payload_length(sb);
  const int64_t head = sizeof(kova_image_ext_frame_head);
  if (len < head) return false;
  const int32_t pixels = load<int32_t>(payload(const_cast<Subhead*>(sb)) +
                                       offsetof(kova_image_ext_frame_head, length));
  return pixels >= 0 && pixels <= len - head;
}

// 2009 image head: packed width/height, bytes per pixel in the low bits.
bool image_params_2009(Gen2009::Subhead* sb, int* x, int* y, int* bpp, int* ev_num, u_char** data) {
  if (sb == nullptr || type_of(sb) != KOVA_BLOCK_IMAGE) return true;
  if (zipped(sb)) {
    print_zipped("get_image_params", Gen2009::kSuffix);
    return true;
  }
  const int64_t len = payload_length(sb);
  const int64_t head = sizeof(kova_image_frame_head);
  unsigned char* p = payload(sb);
  if (len < head) return corrupted(sb);
  const int32_t pixels = load<int32_t>(p + offsetof(kova_image_frame_head, length));
  if (pixels < 0 || pixels > len - head) return corrupted(sb);
  const int32_t w = load<int32_t>(p + offsetof(kova_image_frame_head, w));
  const int32_t h = load<int32_t>(p + offsetof(kova_image_frame_head, h));
  const int32_t b = load<int32_t>(p + offsetof(kova_image_frame_head, bpp)) & 15;
  if (x) *x = b * (w & 0xFFFF);
  if (y) *y = h & 0xFFFF;
  if (bpp) *bpp = b;
  if (ev_num)
    *ev_num = static_cast<int>(
        static_cast<uint32_t>(load<uint64_t>(p + offsetof(kova_image_frame_head, event_nm))));
  if (data) *data = p + head;
  return false;
}

// 2010 and 2024: type 13 is read with the extended head.
bool image_params_2010(Gen2010::Subhead* sb, int* x, int* y, int* bpp, int* ev_num, u_char** data) {
  if (sb == nullptr || type_of(sb) != KOVA_BLOCK_IMAGE) return true;
  if (zipped(sb)) {
    print_zipped("get_image_params", Gen2010::kSuffix);
    return true;
  }
  if (!ext_head_fits(sb)) return corrupted(sb);
  unsigned char* p = payload(sb);
  if (x) *x = load<int32_t>(p + offsetof(kova_image_ext_frame_head, aoi_width));
  if (y) *y = load<int32_t>(p + offsetof(kova_image_ext_frame_head, aoi_height));
  if (bpp) *bpp = load<int32_t>(p + offsetof(kova_image_ext_frame_head, bpp));
  if (ev_num) *ev_num = load<int32_t>(p + offsetof(kova_image_ext_frame_head, event));
  if (data) *data = p + sizeof(kova_image_ext_frame_head);
  return false;
}

template <typename G>
bool image_ext_params(void* subhead, kova_image_ext_frame_head* hd, int* ev_num, u_char** data) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr || type_of(sb) != KOVA_BLOCK_IMAGE_EXT) return true;
  if (zipped(sb)) {
    print_zipped("get_image_ext_params", G::kSuffix);
    return true;
  }
  if (!ext_head_fits(sb)) return corrupted(sb);
  unsigned char* p = payload(sb);
  if (hd) memcpy(hd, p, sizeof(kova_image_ext_frame_head));
  if (ev_num) *ev_num = load<int32_t>(p + offsetof(kova_image_ext_frame_head, event));
  if (data) *data = p + sizeof(kova_image_ext_frame_head);
  return false;
}

}  // namespace

extern "C" {

bool get_image_params_2009(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data) {
  return image_params_2009(static_cast<Gen2009::Subhead*>(subhead), x, y, bpp, ev_num, data);
}

bool get_image_params_2010(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data) {
  return image_params_2010(static_cast<Gen2010::Subhead*>(subhead), x, y, bpp, ev_num, data);
}

bool get_image_ext_params_2009(void* subhead, kova_image_ext_frame_head* hd, int* ev_num,
                               u_char** data) {
  return image_ext_params<Gen2009>(subhead, hd, ev_num, data);
}

bool get_image_ext_params_2010(void* subhead, kova_image_ext_frame_head* hd, int* ev_num,
                               u_char** data) {
  return image_ext_params<Gen2010>(subhead, hd, ev_num, data);
}

}  // extern "C"
