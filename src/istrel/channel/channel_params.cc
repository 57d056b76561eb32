// Sample-axis parameters and the first sample of one channel, and whether
// the channels of a block share one sample count.
#include <cstdio>

#include "channel_block.h"

using namespace channel_detail;

namespace {

template <typename G>
bool spect_params(void* subhead, float* start, float* inc, void** mean, int* ndata, int* groups,
                  float* groups_inc, kova_spect_statistics_2010** stat, int subchan) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr) return true;
  const int t = type_of(sb);
  const int n = G::channels(t, sb);
  if (subchan < 0 || (n != 0 && subchan >= n)) return true;
  if (zipped(sb)) {
    print_zipped("get_spect_params_for_data_type", G::kSuffix);
    return true;
  }
  if (t < KOVA_BLOCK_BPM || t > KOVA_BLOCK_7CHAN_2010) return true;
  ChannelLayout c;
  const Locate where = locate_channel<G>(sb, subchan, &c);
  if (where == Locate::kEmpty) return false;
  if (where != Locate::kOk) return true;
  if (start) *start = c.start;
  if (inc) *inc = c.inc;
  if (mean) *mean = c.mean;
  if (ndata) *ndata = c.ndata;
  if (c.has_groups) {
    if (groups) *groups = c.groups;
    if (groups_inc) *groups_inc = c.group_inc;
  }
  if (stat) *stat = c.stat;
  return false;
}

template <typename G>
float* pointer_to_data(void* subhead, int subchan) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr || subchan < 0) return nullptr;
  if (zipped(sb)) {
    print_zipped("get_pointer_to_data", G::kSuffix);
    return nullptr;
  }
  const int t = type_of(sb);
  const int n = G::channels(t, sb);
  if (n != 0 && subchan >= n) {
    printf("get_pointer_to_data%s() inconsistent channel number\n", G::kSuffix);
    return nullptr;
  }
  if (payload_length(sb) < 0) return nullptr;
  ChannelLayout c;
  switch (locate_channel<G>(sb, subchan, &c)) {
    case Locate::kNotSpectral:
      // Blocks without a sample axis (slow lists, images, framework blocks)
      // are read from the payload start.
      return reinterpret_cast<float*>(payload(sb));
    case Locate::kOk:
    case Locate::kEmpty:
      if (c.data == nullptr && t == KOVA_BLOCK_NAME_VALUE)
        printf("get_pointer_to_data%s() inconsistent channel number\n", G::kSuffix);
      return reinterpret_cast<float*>(c.data);
    default:
      return nullptr;
  }
}

template <typename G>
bool ndata_the_same(void* subhead, bool generic_differs) {
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr) return false;
  const int t = type_of(sb);
  if (roi_count(t) > 0) return false;
  return !(generic_differs && t == KOVA_BLOCK_GENERIC_SPECT);
}

}  // namespace

extern "C" {

bool get_spect_params_for_data_type_2009(void* subhead, float* start, float* inc, void** mean,
                                         int* ndata, int subchan) {
  return spect_params<Gen2009>(subhead, start, inc, mean, ndata, nullptr, nullptr, nullptr,
                               subchan);
}

bool get_spect_params_for_data_type_2010(void* subhead, float* start, float* inc, void** mean,
                                         int* ndata, int* groups, float* groups_inc,
                                         kova_spect_statistics_2010** stat, int subchan) {
  return spect_params<Gen2010>(subhead, start, inc, mean, ndata, groups, groups_inc, stat, subchan);
}

float* get_pointer_to_data_2009(void* subhead, int subchan) {
  return pointer_to_data<Gen2009>(subhead, subchan);
}

float* get_pointer_to_data_2010(void* subhead, int subchan) {
  return pointer_to_data<Gen2010>(subhead, subchan);
}

bool if_ndata_the_same_2009(void* subhead) {
  return ndata_the_same<Gen2009>(subhead, false);
}

bool if_ndata_the_same_2010(void* subhead) {
  return ndata_the_same<Gen2010>(subhead, true);
}

}  // extern "C"
