// Slow-control look-up by property name: through the environment dictionary
// into an environment block, or straight in an update block. Both searches
// stop at the last whole entry of each payload.
#include "channel_block.h"

using namespace channel_detail;

namespace {

// Whole entries of type Entry in the payload; 0 for a short head.
template <typename Entry, typename Subhead>
int64_t entries(const Subhead* sb) {
  const int64_t len = payload_length(sb);
  return len > 0 ? len / static_cast<int64_t>(sizeof(Entry)) : 0;
}

// A readable slow block of the given type. Compressed payloads hold no
// entries that could be read.
template <typename Subhead>
bool slow_block_of(const Subhead* sb, int type) {
  return sb != nullptr && type_of(sb) == type && !zipped(sb);
}

bool usable_name(const char* name) {
  return name != nullptr && name[0] != '\0';
}

template <typename G>
bool find_slow(void* src, void* dic, const char* chan_name, void** d_out) {
  using Env = typename G::Env;
  using Dict = typename G::Dict;
  auto* s = static_cast<typename G::Subhead*>(src);
  auto* d = static_cast<typename G::Subhead*>(dic);
  if (!slow_block_of(s, G::kEnvType) || !slow_block_of(d, G::kDictType)) return true;
  if (!usable_name(chan_name) || d_out == nullptr) return true;
  const Dict* dict = reinterpret_cast<const Dict*>(payload(d));
  const int64_t nd = entries<Dict>(d);
  int64_t k = 0;
  while (k < nd && !field_equals(dict[k].env_prop, sizeof(dict[k].env_prop), chan_name)) ++k;
  if (k == nd) return true;
  Env* env = reinterpret_cast<Env*>(payload(s));
  const int64_t ne = entries<Env>(s);
  for (int64_t i = 0; i < ne; ++i) {
    if (env[i].env_ch_idx == k) {
      *d_out = &env[i];
      return false;
    }
  }
  return true;
}

template <typename G>
bool find_upd(void* src, const char* chan_name, void** d_out) {
  using Upd = typename G::Upd;
  auto* s = static_cast<typename G::Subhead*>(src);
  if (!slow_block_of(s, G::kUpdType) || !usable_name(chan_name) || d_out == nullptr) return true;
  Upd* upd = reinterpret_cast<Upd*>(payload(s));
  const int64_t n = entries<Upd>(s);
  for (int64_t i = 0; i < n; ++i) {
    if (field_equals(upd[i].upd_prop, sizeof(upd[i].upd_prop), chan_name)) {
      *d_out = &upd[i];
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" {

bool find_slow_channel_2009(void* src, void* dic, const char* chan_name, void** d_out) {
  return find_slow<Gen2009>(src, dic, chan_name, d_out);
}

bool find_slow_channel_2010(void* src, void* dic, const char* chan_name, void** d_out) {
  return find_slow<Gen2010>(src, dic, chan_name, d_out);
}

bool find_upd_channel_2009(void* src, const char* chan_name, void** d_out) {
  return find_upd<Gen2009>(src, chan_name, d_out);
}

bool find_upd_channel_2010(void* src, const char* chan_name, void** d_out) {
  return find_upd<Gen2010>(src, chan_name, d_out);
}

}  // extern "C"
