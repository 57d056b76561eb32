// Locating a channel's samples with the accessors of the sub-block's
// generation, and copying them out.
#include "samples.h"

#include <cstring>

#include "event_util.h"

namespace heskpy {

namespace {

constexpr size_t kFloat = sizeof(float);
constexpr size_t kNameValueEntry = sizeof(kova_name_value_channel);  // 84: name, then the value

bool fast_2009(int t) {
  return (t >= KOVA_BLOCK_BPM && t <= KOVA_BLOCK_RF_250K) ||
         (t >= KOVA_BLOCK_WS_FAST && t <= KOVA_BLOCK_WSS_COR);
}

bool spectrum_2010(int t) {
  return (t >= KOVA_BLOCK_BPM_2010 && t <= KOVA_BLOCK_RF_250K_2010) ||
         (t >= KOVA_BLOCK_2CHAN_2010 && t <= KOVA_BLOCK_8CHAN_2010) ||
         (t >= KOVA_BLOCK_3CHAN_2010 && t <= KOVA_BLOCK_7CHAN_2010);
}

int rois(int t) {
  return t >= KOVA_BLOCK_IMG_ROI1 && t <= KOVA_BLOCK_IMG_ROI3 ? t - KOVA_BLOCK_IMG_ROI1 + 1 : 0;
}

template <typename Subhead, bool kLong>
class Block {
 public:
  explicit Block(void* sub)
      : sb_(static_cast<Subhead*>(sub)),
        payload_(reinterpret_cast<unsigned char*>(sb_) + sizeof(Subhead)),
        end_(reinterpret_cast<unsigned char*>(sb_) + (sb_->ldata > 0 ? sb_->ldata : 0)) {}

  int type() const { return sb_->dtype & KOVA_DTYPE_MASK; }
  bool compressed() const { return (sb_->error & KOVA_CHAN_ZIP_FLAG) != 0; }
  bool too_short() const { return sb_->ldata < static_cast<int32_t>(sizeof(Subhead)); }

  // Samples per group and groups of channel k; false when the accessor refuses.
  bool params(int k, int* ndata, int* groups) const {
    *ndata = 0;
    *groups = 0;
    if (kLong)
      return !get_spect_params_for_data_type_2010(sb_, nullptr, nullptr, nullptr, ndata, groups,
                                                  nullptr, nullptr, k);
    return !get_spect_params_for_data_type_2009(sb_, nullptr, nullptr, nullptr, ndata, k);
  }
  const unsigned char* first(int k) const {
    return reinterpret_cast<const unsigned char*>(kLong ? get_pointer_to_data_2010(sb_, k)
                                                        : get_pointer_to_data_2009(sb_, k));
  }
  // Adds `count` samples `stride` bytes apart from `p`, when they lie in the payload.
  bool add(const unsigned char* p, size_t count, size_t stride,
           std::vector<SampleRun>* runs) const {
    if (count == 0) return true;
    if (p == nullptr || p < payload_ || p > end_) return false;
    const size_t room = static_cast<size_t>(end_ - p);
    if (room < kFloat || (count - 1) > (room - kFloat) / stride) return false;
    runs->push_back({p, count, stride});
    return true;
  }

  Subhead* head() const { return sb_; }

 private:
  Subhead* sb_;
  const unsigned char* payload_;
  const unsigned char* end_;
};

template <typename Subhead, bool kLong>
Located locate(void* sub, int subchan, std::vector<SampleRun>* runs) {
  Block<Subhead, kLong> b(sub);
  if (b.too_short()) return Located::kCorrupt;
  if (b.compressed()) return Located::kCompressed;
  const int t = b.type();

  if (t == KOVA_BLOCK_NAME_VALUE) {
    // One value per list entry, each behind its name.
    int ndata = 0, groups = 0;
    if (!b.params(0, &ndata, &groups) || ndata < 0) return Located::kCorrupt;
    if (subchan >= ndata) return Located::kNoChannel;
    if (ndata == 0) return Located::kOk;
    const unsigned char* v0 = b.first(0);
    if (v0 == nullptr) return Located::kCorrupt;
    const size_t skip = subchan < 0 ? 0 : static_cast<size_t>(subchan);
    const size_t count = subchan < 0 ? static_cast<size_t>(ndata) : 1;
    return b.add(v0 + skip * kNameValueEntry, count, kNameValueEntry, runs) ? Located::kOk
                                                                            : Located::kCorrupt;
  }

  int channels;
  if (fast_2009(t) || (kLong && spectrum_2010(t)))
    channels = get_channel_number(t, nullptr);
  else if (rois(t) > 0)
    channels = rois(t);
  else if (kLong && t == KOVA_BLOCK_GENERIC_SPECT)
    channels = get_channel_number(t, reinterpret_cast<kova_serv_block_subhead_2010*>(b.head()));
  else
    return Located::kNoSamples;
  if (channels < 0) return Located::kNoSamples;
  if (subchan >= channels) return Located::kNoChannel;

  const int from = subchan < 0 ? 0 : subchan;
  const int to = subchan < 0 ? channels : subchan + 1;
  for (int k = from; k < to; ++k) {
    int ndata = 0, groups = 0;
    if (!b.params(k, &ndata, &groups) || ndata < 0 || groups < 0) return Located::kCorrupt;
    const size_t count = static_cast<size_t>(ndata) * static_cast<size_t>(groups >= 1 ? groups : 1);
    if (count == 0) continue;  // an ROI without samples
    if (!b.add(b.first(k), count, kFloat, runs)) return Located::kCorrupt;
  }
  return Located::kOk;
}

}  // namespace

Located locate_samples(void* sub, bool short_head, int subchan, std::vector<SampleRun>* runs) {
  if (short_head) return locate<kova_serv_block_subhead, false>(sub, subchan, runs);
  return locate<kova_serv_block_subhead_2010, true>(sub, subchan, runs);
}

size_t sample_count(const std::vector<SampleRun>& runs) {
  size_t n = 0;
  for (const SampleRun& r : runs) n += r.count;
  return n;
}

void copy_samples(const std::vector<SampleRun>& runs, float* out) {
  for (const SampleRun& r : runs) {
    if (r.stride == kFloat) {
      memcpy(out, r.first, r.count * kFloat);
    } else {
      for (size_t i = 0; i < r.count; ++i) memcpy(out + i, r.first + i * r.stride, kFloat);
    }
    out += r.count;
  }
}

std::string located_text(Located what, int dtype) {
  const std::string type = block_name_itoa(dtype & KOVA_DTYPE_MASK);
  switch (what) {
    case Located::kNoSamples:
      return "a " + type + " block has no samples to read";
    case Located::kCompressed:
      return "its " + type + " payload is compressed";
    case Located::kNoChannel:
      return "its " + type + " block has no such channel";
    case Located::kCorrupt:
      return "the sample counts of its " + type + " block do not fit the block";
    case Located::kOk:
      break;
  }
  return "";
}

}  // namespace heskpy
