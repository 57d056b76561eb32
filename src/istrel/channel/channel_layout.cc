// Location of one channel's samples inside a device payload, with every
// count checked against the payload length before it is used.
#include <cstdio>

#include "channel_block.h"

namespace channel_detail {

namespace {

template <typename T>
T load(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// count * elem <= avail for non-negative count and positive elem, without
// overflow.
bool fits(int64_t avail, int64_t count, int64_t elem) {
  return avail >= 0 && count >= 0 && count <= avail / elem;
}

template <typename Subhead>
void print_corrupted(const Subhead* sb) {
  printf("Corrupted data in %s %.*s\n", block_name_itoa(sb->dtype),
         static_cast<int>(field_length(sb->chname, sizeof(sb->chname))), sb->chname);
}

// Sample axis of the channel from a spectrum header (2010 spectra, type 28).
void take_spectrum_header(const unsigned char* h, ChannelLayout* out) {
  out->header = const_cast<unsigned char*>(h);
  out->start = load<float>(h + offsetof(kova_spect_header_2010, start));
  out->inc = load<float>(h + offsetof(kova_spect_header_2010, inc));
  out->ndata = load<int32_t>(h + offsetof(kova_spect_header_2010, ndata));
  out->groups = load<int32_t>(h + offsetof(kova_spect_header_2010, groups));
  out->group_inc = load<float>(h + offsetof(kova_spect_header_2010, group_inc));
  out->has_groups = true;
}

// 2009 fast blocks: start, inc, N means, ndata, then N x ndata samples.
template <typename Subhead>
Locate locate_fast(Subhead* sb, int subchan, ChannelLayout* out) {
  unsigned char* p = payload(sb);
  const int64_t len = payload_length(sb);
  const int n = table_channels(type_of(sb));
  if (subchan >= n) return Locate::kBadChannel;
  const int64_t fixed = 12 + 4 * n;
  if (len < fixed) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  const int32_t nd = load<int32_t>(p + 8 + 4 * n);
  if (!fits(len - fixed, nd, 4 * n)) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  out->start = load<float>(p);
  out->inc = load<float>(p + 4);
  out->mean = p + 8;
  out->ndata = nd;
  out->has_groups = true;
  out->groups = 1;
  out->group_inc = 0;
  out->data = p + fixed + 4 * static_cast<int64_t>(subchan) * nd;
  out->samples = nd;
  return Locate::kOk;
}

// Name/value list: the channel is entry `subchan`; its value is the sample.
template <typename Subhead>
Locate locate_name_value(Subhead* sb, int subchan, ChannelLayout* out) {
  unsigned char* p = payload(sb);
  const int64_t len = payload_length(sb);
  const int64_t fixed = sizeof(kova_name_value_block);
  if (len < fixed) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  const int32_t nd = load<int32_t>(p + offsetof(kova_name_value_block, ndata));
  if (!fits(len - fixed, nd, sizeof(kova_name_value_channel))) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  out->start = 0.0f;
  out->inc = 1.0f;
  out->ndata = nd;
  if (subchan < nd) {
    out->data = p + fixed + static_cast<int64_t>(subchan) * sizeof(kova_name_value_channel) +
                offsetof(kova_name_value_channel, value);
    out->samples = 1;
  }
  return Locate::kOk;
}

// The ROI length complaint. Type 25 has its own long form.
template <typename Subhead>
void print_roi_corrupted(const Subhead* sb, int64_t d, const int32_t* nd, int n) {
  const int name_len = static_cast<int>(field_length(sb->chname, sizeof(sb->chname)));
  if (type_of(sb) != KOVA_BLOCK_IMG_ROI2) {
    print_corrupted(sb);
  } else if (sizeof(Subhead) == KOVA_SUB_HEAD_SIZE_2009) {
    printf("Corrupted data in %s %.*s   (len:%d ndata1:%d ndata2:%d  chans:%d\n",
           block_name_itoa(sb->dtype), name_len, sb->chname, static_cast<int>(d), nd[0], nd[1], n);
  } else {
    printf(
        "Corrupted data in %s %.*s   (len:%d ndata1:%d ndata2:%d  chans:%d subhead sz:%lu struct "
        "no data sz: %d\n",
        block_name_itoa(sb->dtype), name_len, sb->chname, static_cast<int>(d), nd[0], nd[1], n,
        static_cast<unsigned long>(sizeof(Subhead)), roi_fixed_size(2));
  }
}

// ROI blocks: parameters, one statistics record and one (start, inc, ndata)
// triple per ROI, then the samples of each ROI in turn.
template <typename Subhead>
Locate locate_roi(Subhead* sb, int subchan, ChannelLayout* out) {
  const int t = type_of(sb);
  if (t == KOVA_BLOCK_IMG_ROI2 && subchan > 1) {
    printf("Invalid subchan %d for KOVA_BLOCK_IMG_ROI2\n", subchan);
    return Locate::kBadChannel;
  }
  const int r = roi_count(t);
  if (subchan >= r) return Locate::kBadChannel;
  unsigned char* p = payload(sb);
  const int64_t fixed = roi_fixed_size(r);
  const int64_t d = payload_length(sb) - fixed;
  if (d < 0) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  const unsigned char* triples =
      p + sizeof(kova_image_roi_param) + r * sizeof(zel_image_roi_channel);
  int32_t nd[3] = {0, 0, 0};
  int64_t sum = 0, before = 0;
  bool negative = false;
  for (int k = 0; k < r; ++k) {
    nd[k] = load<int32_t>(triples + k * sizeof(kova_roi_spect) + offsetof(kova_roi_spect, ndata));
    negative = negative || nd[k] < 0;
    if (k < subchan) before += nd[k];
    sum += nd[k];
  }
  if (negative) {
    print_roi_corrupted(sb, d, nd, get_channel_number(t, nullptr));
    return Locate::kCorrupt;
  }
  const unsigned char* triple = triples + subchan * sizeof(kova_roi_spect);
  out->start = load<float>(triple + offsetof(kova_roi_spect, start));
  out->inc = load<float>(triple + offsetof(kova_roi_spect, inc));
  out->ndata = nd[subchan];
  out->mean = p + sizeof(kova_image_roi_param) + subchan * sizeof(zel_image_roi_channel);
  out->samples = nd[subchan];
  // With no data or no samples there is nothing to report; the data pointer
  // is still given when it lies within the block.
  if (d == 0 || sum == 0) {
    if (fits(d, before, 4)) out->data = p + fixed + 4 * before;
    return Locate::kEmpty;
  }
  if (d / sum != 4) {
    print_roi_corrupted(sb, d, nd, get_channel_number(t, nullptr));
    return Locate::kCorrupt;
  }
  out->data = p + fixed + 4 * before;
  return Locate::kOk;
}

// Generic spectrum array: nsubchan entries of different lengths.
template <typename Subhead>
Locate locate_generic(Subhead* sb, int subchan, ChannelLayout* out) {
  unsigned char* p = payload(sb);
  const int64_t len = payload_length(sb);
  const int64_t fixed = offsetof(kova_generic_spect_2012, entry);
  if (len < fixed) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  if (static_cast<uint32_t>(subchan) >= load<uint32_t>(p)) return Locate::kBadChannel;
  const int64_t entry_head = sizeof(kova_spect_entry_2012);
  int64_t off = fixed;
  for (int j = 0;; ++j) {
    if (len - off < entry_head) {
      print_corrupted(sb);
      return Locate::kCorrupt;
    }
    const unsigned char* h = p + off + offsetof(kova_spect_entry_2012, header);
    const int32_t nd = load<int32_t>(h + offsetof(kova_spect_header_2010, ndata));
    const int32_t g = load<int32_t>(h + offsetof(kova_spect_header_2010, groups));
    if (nd < 0 || g < 0 || !fits(len - off - entry_head, static_cast<int64_t>(nd) * g, 4)) {
      print_corrupted(sb);
      return Locate::kCorrupt;
    }
    if (j == subchan) {
      take_spectrum_header(h, out);
      out->stat = reinterpret_cast<kova_spect_statistics_2010*>(p + off);
      out->data = p + off + entry_head;
      out->samples = static_cast<int64_t>(nd) * g;
      return Locate::kOk;
    }
    off += entry_head + 4 * static_cast<int64_t>(nd) * g;
  }
}

// 2010 spectra: header, N statistics records, N x ndata x max(groups, 1).
template <typename Subhead>
Locate locate_spectrum(Subhead* sb, int subchan, ChannelLayout* out) {
  unsigned char* p = payload(sb);
  const int64_t len = payload_length(sb);
  const int n = table_channels(type_of(sb));
  if (subchan >= n) return Locate::kBadChannel;
  const int64_t fixed = sizeof(kova_spect_header_2010) + n * sizeof(kova_spect_statistics_2010);
  if (len < fixed) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  take_spectrum_header(p, out);
  const int64_t per_channel =
      static_cast<int64_t>(out->ndata) * (out->groups >= 1 ? out->groups : 1);
  if (out->ndata < 0 || !fits(len - fixed, per_channel, 4 * n)) {
    print_corrupted(sb);
    return Locate::kCorrupt;
  }
  out->stat = reinterpret_cast<kova_spect_statistics_2010*>(
      p + sizeof(kova_spect_header_2010) + subchan * sizeof(kova_spect_statistics_2010));
  out->data = p + fixed + 4 * subchan * per_channel;
  out->samples = per_channel;
  return Locate::kOk;
}

}  // namespace

int table_channels(int type) {
  int n = get_channel_number(type, nullptr);
  return n > 0 ? n : 0;
}

bool is_fast_2009(int t) {
  return (t >= KOVA_BLOCK_BPM && t <= KOVA_BLOCK_RF_250K) ||
         (t >= KOVA_BLOCK_WS_FAST && t <= KOVA_BLOCK_WSS_COR);
}

bool is_spectrum_2010(int t) {
  return (t >= KOVA_BLOCK_BPM_2010 && t <= KOVA_BLOCK_RF_250K_2010) ||
         (t >= KOVA_BLOCK_2CHAN_2010 && t <= KOVA_BLOCK_8CHAN_2010) ||
         (t >= KOVA_BLOCK_3CHAN_2010 && t <= KOVA_BLOCK_7CHAN_2010);
}

int roi_count(int t) {
  return t >= KOVA_BLOCK_IMG_ROI1 && t <= KOVA_BLOCK_IMG_ROI3 ? t - KOVA_BLOCK_IMG_ROI1 + 1 : 0;
}

int roi_fixed_size(int rois) {
  return static_cast<int>(sizeof(kova_image_roi_param)) +
         rois * static_cast<int>(sizeof(zel_image_roi_channel) + sizeof(kova_roi_spect));
}

void print_zipped(const char* fn, const char* suffix) {
  printf("%s%s() trying to access ZIPPED channel\n", fn, suffix);
}

template <typename G>
Locate locate_channel(typename G::Subhead* sb, int subchan, ChannelLayout* out) {
  const int t = type_of(sb);
  out->type = t;
  if (subchan < 0) return Locate::kBadChannel;
  if (is_fast_2009(t)) return locate_fast(sb, subchan, out);
  if (t == KOVA_BLOCK_NAME_VALUE) return locate_name_value(sb, subchan, out);
  if (roi_count(t) > 0) return locate_roi(sb, subchan, out);
  if (t == KOVA_BLOCK_GENERIC_SPECT && G::kGenericSpectra) return locate_generic(sb, subchan, out);
  if (is_spectrum_2010(t)) return locate_spectrum(sb, subchan, out);
  return Locate::kNotSpectral;
}

template Locate locate_channel<Gen2009>(Gen2009::Subhead*, int, ChannelLayout*);
template Locate locate_channel<Gen2010>(Gen2010::Subhead*, int, ChannelLayout*);

}  // namespace channel_detail
