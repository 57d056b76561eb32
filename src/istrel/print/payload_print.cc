// print_data_type: the channel head, then the payload by type: slow lists,
// device payloads, images, name/value lists and framework data blocks.
#include <cstdio>

#include "print_internal.h"

namespace print_detail {

namespace {

using channel_detail::payload;
using channel_detail::payload_length;
using channel_detail::type_of;

void dump_head(Gen2009::Subhead* sb) {
  dump_event_chanhead_2009(sb);
}
void dump_head(Gen2010::Subhead* sb) {
  dump_event_chanhead_2010(sb);
}

template <typename G>
struct PayloadNames;
template <>
struct PayloadNames<Gen2009> {
  static constexpr const char* kFn = "print_data_type_2009";
};
template <>
struct PayloadNames<Gen2010> {
  static constexpr const char* kFn = "print_data_type_2010";
};

// Whole entries of a slow list; a remainder is a corrupt length.
template <typename Entry, typename Subhead>
bool list_entries(const Subhead* sb, int64_t* n) {
  const int64_t len = payload_length(sb);
  if (len % static_cast<int64_t>(sizeof(Entry)) != 0) {
    print_corrupted_length(sb);
    return false;
  }
  *n = len / static_cast<int64_t>(sizeof(Entry));
  return true;
}

template <typename G>
bool print_slow_list(typename G::Subhead* sb) {
  const int t = type_of(sb);
  const char* name = block_name_itoa(t);
  int64_t n = 0;
  if (t == G::kEnvType) {
    if (list_entries<typename G::Env>(sb, &n)) print_env_entries(name, payload(sb), n);
  } else if (t == G::kDictType) {
    if (list_entries<typename G::Dict>(sb, &n))
      print_dict_entries<typename G::Dict>(name, payload(sb), n);
  } else if (t == G::kUpdType || t == G::kBorType || t == G::kEorType) {
    if (list_entries<typename G::Upd>(sb, &n))
      print_upd_entries<typename G::Upd>(name, payload(sb), n);
  } else {
    return false;
  }
  return true;
}

// The 2009 image head, or the extended head (type 27; type 13 in 2010).
template <typename Subhead>
void print_image(Subhead* sb, bool extended) {
  const int t = type_of(sb);
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  if (!extended) {
    if (len < static_cast<int64_t>(sizeof(kova_image_frame_head)))
      return print_corrupted_length(sb);
    const auto h = load<kova_image_frame_head>(p);
    print_image_head(block_name_itoa(t), p);
    if (h.length < 0 || h.length > len - static_cast<int64_t>(sizeof(h)))
      return print_corrupted_length(sb);
    printf("IMAGE DATA: bpp: %d\n", h.bpp & 15);
    return;
  }
  if (len < static_cast<int64_t>(sizeof(kova_image_ext_frame_head)))
    return print_corrupted_length(sb);
  const auto h = load<kova_image_ext_frame_head>(p);
  print_image_ext_head(block_name_itoa(t), p);
  if (h.length < 0 || h.length > len - static_cast<int64_t>(sizeof(h)))
    return print_corrupted_length(sb);
  printf(t == KOVA_BLOCK_IMAGE ? "IMAGE DATA: bpp: %d\n" : "IMAGE EXT DATA: bpp: %d\n", h.bpp);
}

template <typename Subhead>
void print_name_value_list(Subhead* sb) {
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  const int64_t fixed = sizeof(kova_name_value_block);
  if (len < fixed) return print_corrupted_length(sb);
  const int32_t n = load<int32_t>(p + offsetof(kova_name_value_block, ndata));
  if (n < 0 || n > (len - fixed) / static_cast<int64_t>(sizeof(kova_name_value_channel)))
    return print_corrupted_length(sb);
  print_name_value(block_name_itoa(KOVA_BLOCK_NAME_VALUE), p, n);
}

// True for the types whose payload has a sample axis printed by
// print_device_payload.
template <typename G>
bool is_device(int t) {
  if (channel_detail::is_fast_2009(t) || channel_detail::roi_count(t) > 0) return true;
  return G::kGenericSpectra &&
         (channel_detail::is_spectrum_2010(t) || t == KOVA_BLOCK_GENERIC_SPECT);
}

template <typename G>
bool in_range(int t);
template <>
bool in_range<Gen2009>(int t) {
  return t >= 1 && t <= KOVA_BLOCK_IMAGE_EXT;
}
template <>
bool in_range<Gen2010>(int t) {
  return t >= KOVA_BLOCK_BPM && t <= KOVA_BLOCK_7CHAN_2010;
}

template <typename G>
void print_payload(void* subhead, int mode, int dformat) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr) return;
  dump_head(sb);
  if (channel_detail::zipped(sb)) {
    printf("%s() trying to access ZIPPED channel\n", PayloadNames<G>::kFn);
    return;
  }
  const int t = type_of(sb);
  if (!in_range<G>(t)) {
    printf("  Unknown data type: %d\n", sb->dtype);
    return;
  }
  if (payload_length(sb) < 0) return print_corrupted_length(sb);
  if (print_slow_list<G>(sb)) return;
  if (is_device<G>(t)) return print_device_payload<G>(sb, mode, dformat);
  switch (t) {
    case KOVA_BLOCK_IMAGE:
      return print_image(sb, G::kGenericSpectra);
    case KOVA_BLOCK_IMAGE_EXT:
      return print_image(sb, true);
    case KOVA_BLOCK_NAME_VALUE:
      return print_name_value_list(sb);
    case KOVA_BLOCK_EQDATA:
      return print_eqdata_payload<G>(sb, mode, PayloadNames<G>::kFn);
    default:
      printf("  Unknown data type: %d\n", sb->dtype);
  }
}

}  // namespace

}  // namespace print_detail

extern "C" {

void print_data_type_2009(void* subhead, int mode, int dformat) {
  print_detail::print_payload<print_detail::Gen2009>(subhead, mode, dformat);
}

void print_data_type_2010(void* subhead, int mode, int dformat) {
  print_detail::print_payload<print_detail::Gen2010>(subhead, mode, dformat);
}

void print_data_type(void* subhead, int mode, int dformat) {
  if (channel_detail::long_subheads())
    print_data_type_2010(subhead, mode, dformat);
  else
    print_data_type_2009(subhead, mode, dformat);
}

}  // extern "C"
