// Entries of update blocks: their number and the fields of one entry.
#include <cstdio>

#include "channel_block.h"

using namespace channel_detail;

namespace {

template <typename G>
bool update_params(void* subhead, int indx, char** name, int* status, time_stamp* tm, float* data) {
  using Upd = typename G::Upd;
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr || indx < 0) return true;
  if (zipped(sb)) {
    print_zipped("get_update_params", G::kSuffix);
    return true;
  }
  const int64_t len = payload_length(sb);
  if (len < 0 || indx >= len / static_cast<int64_t>(sizeof(Upd))) return true;
  Upd* e = reinterpret_cast<Upd*>(payload(sb)) + indx;
  if (name) *name = e->upd_prop;
  if (status) *status = e->upd_ch_status;
  if (tm) *tm = e->upd_ch_time;
  if (data) *data = e->upd_ch_data;
  return false;
}

template <typename G>
int number_of_upd_channels(void* subhead) {
  using Upd = typename G::Upd;
  auto* sb = static_cast<typename G::Subhead*>(subhead);
  if (sb == nullptr) return 0;
  if (zipped(sb)) {
    print_zipped("get_number_of_upd_channels", G::kSuffix);
    return 0;
  }
  const int t = type_of(sb);
  if (t != G::kUpdType && t != G::kBorType && t != G::kEorType) return 0;
  const int64_t len = payload_length(sb);
  if (len < 0 || len % static_cast<int64_t>(sizeof(Upd)) != 0) {
    printf("get_number_of_upd_channels%s() corrupted data !!!\n", G::kSuffix);
    return 0;
  }
  return static_cast<int>(len / static_cast<int64_t>(sizeof(Upd)));
}

}  // namespace

extern "C" {

bool get_update_params_2009(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                            float* data) {
  return update_params<Gen2009>(subhead, indx, name, status, tm, data);
}

bool get_update_params_2010(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                            float* data) {
  return update_params<Gen2010>(subhead, indx, name, status, tm, data);
}

int get_number_of_upd_channels_2009(void* subhead) {
  return number_of_upd_channels<Gen2009>(subhead);
}

int get_number_of_upd_channels_2010(void* subhead) {
  return number_of_upd_channels<Gen2010>(subhead);
}

}  // extern "C"
