// Cutting one channel out of a device block into a one-channel block of its
// own. The source block is only read: it may lie in a shared buffer that
// other readers are reading at the same time.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "channel_block.h"

using namespace channel_detail;

namespace {

template <typename G>
struct CutNames;
template <>
struct CutNames<Gen2009> {
  static constexpr const char* kFn = "device_to_one_channel_2009";
};
template <>
struct CutNames<Gen2010> {
  static constexpr const char* kFn = "device_to_one_channel_2010";
};

// What the new block is made of: its type and the pieces of its payload, in
// order, followed by `samples` floats from `data` (zeros past `available`).
struct Cut {
  int type = 0;
  const void* piece[4] = {nullptr, nullptr, nullptr, nullptr};
  size_t piece_len[4] = {0, 0, 0, 0};
  int pieces = 0;
  const unsigned char* data = nullptr;
  int64_t samples = 0;

  void add(const void* p, size_t n) {
    piece[pieces] = p;
    piece_len[pieces++] = n;
  }
  int64_t payload_length() const {
    int64_t n = 4 * samples;
    for (int i = 0; i < pieces; ++i) n += static_cast<int64_t>(piece_len[i]);
    return n;
  }
};

// The copy's head: the source head with the new name, type and length.
template <typename Subhead>
void write_head(const Subhead* src, int subchan, int type, int length, Subhead* dst) {
  memcpy(dst, src, sizeof(Subhead));
  char name[sizeof(src->chname) + 16];
  snprintf(name, sizeof(name), "%.*s:%d",
           static_cast<int>(field_length(src->chname, sizeof(src->chname))), src->chname, subchan);
  memset(dst->chname, 0, sizeof(dst->chname));
  memcpy(dst->chname, name, std::min(strlen(name), sizeof(dst->chname) - 1));
  dst->dtype = type;
  dst->ldata = length;
}

// Allocates and fills the new block (when `dataout` is given) and reports it.
template <typename G>
bool emit(typename G::Subhead* sb, int subchan, const Cut& cut, int* lenout, int* dtype,
          u_char** dataout) {
  using Subhead = typename G::Subhead;
  const int64_t length = static_cast<int64_t>(sizeof(Subhead)) + cut.payload_length();
  if (length > INT_MAX) {
    printf("%s() failed to malloc dataout (%d bytes)\n", CutNames<G>::kFn, INT_MAX);
    return true;
  }
  if (dataout != nullptr) {
    auto* block = static_cast<unsigned char*>(malloc(static_cast<size_t>(length)));
    if (block == nullptr) {
      printf("%s() failed to malloc dataout (%d bytes)\n", CutNames<G>::kFn,
             static_cast<int>(length));
      return true;
    }
    write_head(sb, subchan, cut.type, static_cast<int>(length), reinterpret_cast<Subhead*>(block));
    unsigned char* out = block + sizeof(Subhead);
    for (int i = 0; i < cut.pieces; ++i) {
      memcpy(out, cut.piece[i], cut.piece_len[i]);
      out += cut.piece_len[i];
    }
    if (cut.samples > 0) memcpy(out, cut.data, static_cast<size_t>(4 * cut.samples));
    *dataout = block;
  }
  if (lenout) *lenout = static_cast<int>(length);
  if (dtype) *dtype = cut.type;
  return false;
}

// Entry `subchan` of a name/value list as a list of one.
template <typename G>
bool cut_name_value(typename G::Subhead* sb, int subchan, int* lenout, int* dtype,
                    u_char** dataout) {
  ChannelLayout c;
  const Locate where = subchan < 0 ? Locate::kBadChannel : locate_channel<G>(sb, subchan, &c);
  if (where == Locate::kCorrupt) {
    printf("%s() failed to get pointer to data dtype: %d\n", CutNames<G>::kFn, sb->dtype);
    return true;
  }
  if (where != Locate::kOk || c.data == nullptr) {
    printf("%s() inconsistent channel number\n", CutNames<G>::kFn);
    return true;
  }
  static const int32_t kOne = 1;
  const unsigned char* p = payload(sb);
  Cut cut;
  cut.type = KOVA_BLOCK_NAME_VALUE;
  cut.add(p, offsetof(kova_name_value_block, ndata));  // id and comment
  cut.add(&kOne, sizeof(kOne));
  cut.add(p + sizeof(kova_name_value_block) + subchan * sizeof(kova_name_value_channel),
          sizeof(kova_name_value_channel));
  return emit<G>(sb, subchan, cut, lenout, dtype, dataout);
}

void print_bad_channel(Gen2009::Subhead*, int, int) {
  printf("device_to_one_channel_2009() inconsistent channel number\n");
}
void print_bad_channel(Gen2010::Subhead*, int chans, int subchan) {
  printf("device_to_one_channel() inconsistent channel number chans:%d  subchan:%d\n", chans,
         subchan);
}

template <typename G>
bool one_channel(void* subhead, int subchan, int* lenout, int* dtype, u_char** dataout) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr) {
    printf("%s() NULL pointer\n", CutNames<G>::kFn);
    return true;
  }
  if (zipped(sb)) {
    printf("%s() trying to access ZIPPED channel\n", CutNames<G>::kFn);
    return true;
  }
  const int t = type_of(sb);
  if (t == KOVA_BLOCK_NAME_VALUE) return cut_name_value<G>(sb, subchan, lenout, dtype, dataout);

  const int n = get_channel_number(t, nullptr);
  if (subchan < 0 || (n != 0 && subchan >= n)) {
    print_bad_channel(sb, n, subchan);
    return true;
  }
  if (n == 1 && subchan == 0) {
    // Already one channel: reported as it is. The source keeps its name.
    if (lenout) *lenout = sb->ldata;
    if (dtype) *dtype = t;
    if (dataout) *dataout = nullptr;
    return false;
  }

  Cut cut;
  if (is_fast_2009(t)) {
    cut.type = KOVA_BLOCK_SINGLE;
  } else if (roi_count(t) > 1) {
    cut.type = KOVA_BLOCK_IMG_ROI1;
  } else if (G::kGenericSpectra && (is_spectrum_2010(t) || t == KOVA_BLOCK_GENERIC_SPECT)) {
    cut.type = KOVA_BLOCK_1CHAN_2010;
  } else {
    if (G::kGenericSpectra)
      printf(" %s() Invalide data type: %d for this routine\n", CutNames<G>::kFn, sb->dtype);
    return true;
  }

  ChannelLayout c;
  const Locate where = locate_channel<G>(sb, subchan, &c);
  if (t == KOVA_BLOCK_GENERIC_SPECT && where == Locate::kBadChannel) return true;
  const unsigned char* end = payload(sb) + payload_length(sb);
  const bool in_block = (where == Locate::kOk || where == Locate::kEmpty) && c.data != nullptr &&
                        c.samples <= (end - c.data) / 4;
  if (!in_block) {
    printf("%s() failed to get pointer to data dtype: %d\n", CutNames<G>::kFn, sb->dtype);
    return true;
  }
  cut.data = c.data;
  cut.samples = c.samples;
  if (cut.type == KOVA_BLOCK_SINGLE) {
    // start, inc, the channel's mean, ndata; then its samples.
    cut.add(payload(sb), 8);
    cut.add(static_cast<unsigned char*>(c.mean) + 4 * subchan, 4);
    cut.add(payload(sb) + 8 + 4 * table_channels(t), 4);
  } else if (cut.type == KOVA_BLOCK_IMG_ROI1) {
    // The image's ROI parameters, this ROI's statistics and sample axis.
    const unsigned char* triples =
        payload(sb) + roi_fixed_size(roi_count(t)) - roi_count(t) * sizeof(kova_roi_spect);
    cut.add(payload(sb), sizeof(kova_image_roi_param));
    cut.add(c.mean, sizeof(zel_image_roi_channel));
    cut.add(triples + subchan * sizeof(kova_roi_spect), sizeof(kova_roi_spect));
  } else {
    // A spectrum of one channel holds ndata x max(groups, 1) samples; an
    // entry of a generic array that stores fewer cannot become one.
    const int64_t wanted = static_cast<int64_t>(c.ndata) * (c.groups >= 1 ? c.groups : 1);
    if (wanted != c.samples) {
      printf("%s() failed to get pointer to data dtype: %d\n", CutNames<G>::kFn, sb->dtype);
      return true;
    }
    cut.add(c.header, sizeof(kova_spect_header_2010));
    cut.add(c.stat, sizeof(kova_spect_statistics_2010));
  }
  return emit<G>(sb, subchan, cut, lenout, dtype, dataout);
}

}  // namespace

extern "C" {

bool device_to_one_channel_2009(void* subhead, int subchan, int* lenout, int* dtype,
                                u_char** dataout) {
  return one_channel<Gen2009>(subhead, subchan, lenout, dtype, dataout);
}

bool device_to_one_channel_2010(void* subhead, int subchan, int* lenout, int* dtype,
                                u_char** dataout) {
  return one_channel<Gen2010>(subhead, subchan, lenout, dtype, dataout);
}

}  // extern "C"
