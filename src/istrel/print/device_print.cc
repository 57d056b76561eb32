// Payloads of the device types with a sample axis: 2009 fast blocks, 2010
// spectra, generic spectrum arrays and ROI blocks. Each prints its head
// line, checks that its length matches its counts and then, with mode != 0,
// its samples.
#include <cstdio>

#include "print_internal.h"

namespace print_detail {

namespace {

using channel_detail::ChannelLayout;
using channel_detail::Locate;
using channel_detail::payload;
using channel_detail::payload_length;
using channel_detail::table_channels;
using channel_detail::type_of;

template <typename Subhead>
std::string channel_name(const Subhead* sb) {
  return field_text(sb->chname, sizeof(sb->chname));
}

// "(expected != implied)": the channel count the length implies differs.
template <typename Subhead>
bool count_mismatch(const Subhead* sb, int expected, double implied) {
  if (implied == static_cast<double>(expected)) return false;
  printf("Corrupted data in %s %s (%d != %f)\n", block_name_itoa(sb->dtype),
         channel_name(sb).c_str(), expected, implied);
  return true;
}

std::vector<std::string> table_names(int type, int n) {
  std::vector<std::string> names;
  for (int k = 0; k < n; ++k) names.push_back(get_chan_name(type, k));
  return names;
}

// start, inc, N means, ndata, N x ndata samples.
template <typename Subhead>
void print_fast(Subhead* sb, int mode, int dformat) {
  const int t = type_of(sb);
  const int n = table_channels(t);
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  const int64_t fixed = 12 + 4 * n;
  if (len < fixed) return print_corrupted_length(sb);
  const int32_t nd = load<int32_t>(p + 8 + 4 * n);
  printf("%s: start:%f\tinc:%f\tndata:%d\t", block_name_itoa(t),
         static_cast<double>(load<float>(p)), static_cast<double>(load<float>(p + 4)), nd);
  printf("Mean:(");
  for (int k = 0; k < n; ++k)
    printf("%s:%f ", get_chan_name(t, k), static_cast<double>(load<float>(p + 8 + 4 * k)));
  printf(")\n");
  const double per_channel = 4.0 + 4.0 * nd;
  if (count_mismatch(sb, n, per_channel > 0 ? (len - 12) / per_channel : -1.0)) return;
  if (mode == 0) return;
  std::vector<SampleRun> runs;
  for (int k = 0; k < n; ++k)
    runs.push_back({get_chan_name(t, k), p + fixed + 4 * k * int64_t{nd}, nd});
  print_samples(runs, dformat);
}

// Spectrum header, N statistics records, N x ndata x max(groups, 1).
template <typename Subhead>
void print_spectrum(Subhead* sb, int mode, int dformat) {
  const int t = type_of(sb);
  const int n = table_channels(t);
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  const int64_t fixed = sizeof(kova_spect_header_2010) + n * sizeof(kova_spect_statistics_2010);
  if (len < fixed) return print_corrupted_length(sb);
  const auto h = load<kova_spect_header_2010>(p);
  printf("%s: start:%f\tinc:%f\tndata:%d\tgroups:%d\tgroup_inc:%f\n", block_name_itoa(t),
         static_cast<double>(h.start), static_cast<double>(h.inc), h.ndata, h.groups,
         static_cast<double>(h.group_inc));
  const std::vector<std::string> names = table_names(t, n);
  print_statistics(p + sizeof(kova_spect_header_2010), n, names);
  const int64_t samples = static_cast<int64_t>(h.ndata) * (h.groups >= 1 ? h.groups : 1);
  const double per_channel = sizeof(kova_spect_statistics_2010) + 4.0 * samples;
  if (count_mismatch(sb, n,
                     per_channel > 0 ? (len - sizeof(kova_spect_header_2010)) / per_channel : -1.0))
    return;
  if (mode == 0) return;
  std::vector<SampleRun> runs;
  for (int k = 0; k < n; ++k) runs.push_back({names[k], p + fixed + 4 * k * samples, samples});
  print_samples(runs, dformat);
}

// nsubchan entries, each statistics, spectrum header and its samples.
template <typename Subhead>
void print_generic(Subhead* sb, int mode, int dformat) {
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  const int64_t fixed = offsetof(kova_generic_spect_2012, entry);
  if (len < fixed) return print_corrupted_length(sb);
  const uint32_t nsub = load<uint32_t>(p);
  printf("%s: nsubchan:%u\tdescription:0x%X\n", block_name_itoa(sb->dtype), nsub,
         load<uint32_t>(p + 4));
  std::vector<SampleRun> runs;
  int64_t off = fixed;
  const int64_t entry_head = sizeof(kova_spect_entry_2012);
  for (uint32_t j = 0; j < nsub; ++j) {
    if (len - off < entry_head) return print_corrupted_length(sb);
    const auto h = load<kova_spect_header_2010>(p + off + offsetof(kova_spect_entry_2012, header));
    const int64_t samples = static_cast<int64_t>(h.ndata) * h.groups;
    if (h.ndata < 0 || h.groups < 0 || samples > (len - off - entry_head) / 4)
      return print_corrupted_length(sb);
    const std::string name = "Float" + std::to_string(j);
    printf("%s: start:%f\tinc:%f\tndata:%d\tgroups:%d\tgroup_inc:%f\n", name.c_str(),
           static_cast<double>(h.start), static_cast<double>(h.inc), h.ndata, h.groups,
           static_cast<double>(h.group_inc));
    print_statistics(p + off, 1, {name});
    runs.push_back({name, p + off + entry_head, samples});
    off += entry_head + 4 * samples;
  }
  if (off != len) return print_corrupted_length(sb);
  if (mode != 0) print_samples(runs, dformat);
}

// ROI parameters, per ROI its statistics, the sample axes, then the samples.
template <typename G>
void print_roi(typename G::Subhead* sb, int mode, int dformat) {
  const int t = type_of(sb);
  const int r = channel_detail::roi_count(t);
  const int64_t len = payload_length(sb);
  unsigned char* p = payload(sb);
  if (len < channel_detail::roi_fixed_size(r)) return print_corrupted_length(sb);
  // Copies: the payload need not be aligned for the records' own types.
  auto param = load<kova_image_roi_param>(p);
  print_roi_params(&param);
  for (int k = 0; k < r; ++k) {
    auto chan = load<zel_image_roi_channel>(p + sizeof(param) + k * sizeof(zel_image_roi_channel));
    print_roi_channel(&chan);
  }
  const unsigned char* axes = p + sizeof(param) + r * sizeof(zel_image_roi_channel);
  for (int k = 0; k < r; ++k) {
    const auto s = load<kova_roi_spect>(axes + k * sizeof(kova_roi_spect));
    printf("Spect%d prm: start:%f inc:%f ndata:%d\n", k + 1, static_cast<double>(s.start),
           static_cast<double>(s.inc), s.ndata);
  }
  std::vector<SampleRun> runs;
  for (int k = 0; k < r; ++k) {
    ChannelLayout c;
    const Locate where = channel_detail::locate_channel<G>(sb, k, &c);
    if (where == Locate::kCorrupt) return;
    if (where != Locate::kOk) break;  // no data or no samples
    runs.push_back({get_chan_name(t, k), c.data, c.samples});
  }
  if (mode != 0 && static_cast<int>(runs.size()) == r) print_samples(runs, dformat);
}

}  // namespace

template <typename G>
void print_device_payload(typename G::Subhead* sb, int mode, int dformat) {
  const int t = type_of(sb);
  if (channel_detail::is_fast_2009(t)) return print_fast(sb, mode, dformat);
  if (channel_detail::roi_count(t) > 0) return print_roi<G>(sb, mode, dformat);
  if (t == KOVA_BLOCK_GENERIC_SPECT) return print_generic(sb, mode, dformat);
  print_spectrum(sb, mode, dformat);
}

template void print_device_payload<Gen2009>(Gen2009::Subhead*, int, int);
template void print_device_payload<Gen2010>(Gen2010::Subhead*, int, int);

}  // namespace print_detail
