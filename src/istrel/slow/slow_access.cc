// Accessors of a host-order slow-data block. Every pointer or value handed
// out lies within the block's data_length; what does not is reported as
// absent.
#include <cstring>

#include "slow_geometry.h"

namespace slow_detail {

SlowGeometry geometry(int64_t length, int64_t channels, int64_t entries, bool wide) {
  SlowGeometry g;
  g.length = length;
  g.channels = channels;
  g.entries = entries;
  g.wide = wide;
  const int64_t cap = int64_t(1) << 40;  // beyond any 32-bit data_length
  int64_t e = entries > 0 ? entries : 0;
  int64_t cells = (channels > 0 && e > cap / channels) ? cap : channels * e;
  g.entries_at = 12 + kNameSize * channels;
  g.seconds_at = g.entries_at + 4;
  g.micros_at = g.seconds_at + 4 * e;
  g.evid_at = g.micros_at + 4 * e;
  g.values_at = g.evid_at + (wide ? 8 : 4) * e;
  g.status_at = g.values_at + 4 * cells;
  g.tail_at = g.status_at + 4 * cells;
  return g;
}

SlowGeometry geometry_of(const unsigned char* block, bool wide) {
  const auto* h = reinterpret_cast<const kova_daq_slow_data_header*>(block);
  int64_t n = h->channels_number;
  SlowGeometry g = geometry(h->data_length, n, 0, wide);
  if (n > 0 && g.count_fits()) {
    int32_t e;
    memcpy(&e, block + g.entries_at, 4);
    g = geometry(h->data_length, n, e, wide);
  }
  return g;
}

}  // namespace slow_detail

namespace {

using slow_detail::SlowGeometry;

unsigned char* bytes(kova_daq_slow_data_header* block) {
  return reinterpret_cast<unsigned char*>(block);
}

bool is_wide(const kova_daq_slow_data_header* block) {
  return block->pattern != KOVA_SLOW_PATTERN;
}

// Geometry of a block whose table lies wholly within its length; false for a
// null block, no channels or a table that does not fit.
bool table(kova_daq_slow_data_header* block, SlowGeometry* g) {
  if (block == nullptr || block->channels_number == 0) return false;
  *g = slow_detail::geometry_of(bytes(block), is_wide(block));
  return g->data_fits();
}

u_int element(kova_daq_slow_data_header* block, int64_t at) {
  return slow_detail::load_u32(bytes(block) + at);
}

// Offset of element `indx` of channel `chan` in the array starting at `base`,
// or -1.
int64_t cell(const SlowGeometry& g, int64_t base, int chan, int indx) {
  if (chan < 0 || chan >= g.channels || indx < 0 || indx >= g.entries) return -1;
  return base + 4 * (static_cast<int64_t>(chan) * g.entries + indx);
}

// Identifier `indx` (0 or E-1 by `last`) of the block.
u_int boundary_evid(kova_daq_slow_data_header* block, uint64_t* evidp, bool last) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) {
    if (evidp != nullptr) *evidp = 0;
    return 0;
  }
  int64_t indx = last ? g.entries - 1 : 0;
  if (!g.wide) {
    u_int id = element(block, g.evid_at + 4 * indx);
    if (evidp != nullptr) *evidp = id;
    return id;
  }
  uint64_t id;
  memcpy(&id, bytes(block) + g.evid_at + 8 * indx, 8);
  if (evidp != nullptr) *evidp = id;
  return 0;
}

}  // namespace

extern "C" {

int kova_slow_block_get_n_channels(kova_daq_slow_data_header* block) {
  return block == nullptr ? 0 : static_cast<int>(block->channels_number);
}

int kova_slow_block_get_length(kova_daq_slow_data_header* block) {
  return block == nullptr ? 0 : static_cast<int>(block->data_length);
}

u_int kova_slow_block_get_pattern(kova_daq_slow_data_header* block) {
  return block == nullptr ? 0 : block->pattern;
}

char* kova_slow_block_get_name(kova_daq_slow_data_header* block, int chan) {
  if (block == nullptr || chan < 0 || static_cast<uint32_t>(chan) >= block->channels_number)
    return nullptr;
  SlowGeometry g = slow_detail::geometry_of(bytes(block), is_wide(block));
  if (!g.names_fit()) return nullptr;
  return reinterpret_cast<char*>(bytes(block) + 12 + slow_detail::kNameSize * chan);
}

int kova_slow_block_get_n_entries(kova_daq_slow_data_header* block) {
  if (block == nullptr || block->channels_number == 0) return 0;
  SlowGeometry g = slow_detail::geometry_of(bytes(block), is_wide(block));
  return static_cast<int>(g.entries);
}

u_int* kova_slow_block_get_time_s(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g)) return nullptr;
  return reinterpret_cast<u_int*>(bytes(block) + g.seconds_at);
}

u_int kova_slow_block_get_first_time_s(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return 0;
  return element(block, g.seconds_at);
}

u_int kova_slow_block_get_last_time_s(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return 0;
  return element(block, g.seconds_at + 4 * (g.entries - 1));
}

u_int* kova_slow_block_get_time_us(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return nullptr;
  return reinterpret_cast<u_int*>(bytes(block) + g.micros_at);
}

u_int kova_slow_block_get_first_time_us(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return 0;
  return element(block, g.micros_at);
}

u_int kova_slow_block_get_last_time_us(kova_daq_slow_data_header* block) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return 0;
  return element(block, g.micros_at + 4 * (g.entries - 1));
}

u_int* kova_slow_block_get_evid(kova_daq_slow_data_header* block, uint64_t** evidp) {
  SlowGeometry g;
  if (!table(block, &g) || g.entries == 0) return nullptr;
  unsigned char* at = bytes(block) + g.evid_at;
  if (!g.wide) {
    if (evidp != nullptr) *evidp = nullptr;
    return reinterpret_cast<u_int*>(at);
  }
  if (evidp != nullptr) *evidp = reinterpret_cast<uint64_t*>(at);
  return nullptr;
}

u_int kova_slow_block_get_first_evid(kova_daq_slow_data_header* block, uint64_t* evidp) {
  return boundary_evid(block, evidp, false);
}

u_int kova_slow_block_get_last_evid(kova_daq_slow_data_header* block, uint64_t* evidp) {
  return boundary_evid(block, evidp, true);
}

float* kova_slow_block_get_data_pointer(kova_daq_slow_data_header* block, int chan) {
  SlowGeometry g;
  if (!table(block, &g)) return nullptr;
  int64_t at = cell(g, g.values_at, chan, 0);
  return at < 0 ? nullptr : reinterpret_cast<float*>(bytes(block) + at);
}

float kova_slow_block_get_data(kova_daq_slow_data_header* block, int chan, int indx) {
  const float kNoData = 2139095040.0f;
  SlowGeometry g;
  if (!table(block, &g)) return kNoData;
  int64_t at = cell(g, g.values_at, chan, indx);
  if (at < 0) return kNoData;
  float v;
  memcpy(&v, bytes(block) + at, 4);
  return v;
}

int* kova_slow_block_get_status_pointer(kova_daq_slow_data_header* block, int chan) {
  SlowGeometry g;
  if (!table(block, &g)) return nullptr;
  int64_t at = cell(g, g.status_at, chan, 0);
  return at < 0 ? nullptr : reinterpret_cast<int*>(bytes(block) + at);
}

int kova_slow_block_get_status(kova_daq_slow_data_header* block, int chan, int indx) {
  SlowGeometry g;
  if (!table(block, &g)) return -1;
  int64_t at = cell(g, g.status_at, chan, indx);
  if (at < 0) return -1;
  return static_cast<int>(element(block, at));
}

}  // extern "C"
