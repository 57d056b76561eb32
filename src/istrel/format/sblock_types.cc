// Lookups in the sub-block type table: names, channel counts, branch names
// and classes, channel names, units and descriptions, structure categories.
#include <cstdlib>
#include <cstring>

#include "event_util.h"
#include "eqdata_payload.h"

namespace {

const char kUnknown[] = "UNKNOWN";

int masked(int type) {
  return type & KOVA_DTYPE_MASK;
}

// True for a type with a row in the table (0-62).
bool in_table(int t) {
  return t >= 0 && t < KOVA_BLOCK_MAX_2010;
}

// The channel count column as a number (-1 for a type without channels).
int table_channels(int t) {
  return atoi(sblock_types_a[t][KOVA_SB_TYPE_CHANNELS]);
}

const unsigned char* payload_of(const kova_serv_block_subhead_2010* sbhd) {
  return reinterpret_cast<const unsigned char*>(sbhd) + sizeof(kova_serv_block_subhead_2010);
}

// Payload bytes the head claims; 0 when ldata is shorter than the head.
size_t payload_length(const kova_serv_block_subhead_2010* sbhd) {
  long n = static_cast<long>(sbhd->ldata) - static_cast<long>(sizeof(*sbhd));
  return n > 0 ? static_cast<size_t>(n) : 0;
}

uint32_t read_u32(const unsigned char* p) {
  uint32_t v;
  memcpy(&v, p, sizeof(v));
  return v;
}

char* channel_cell(int type, int chan, int column) {
  int t = masked(type);
  if (t == 0 || !in_table(t)) return const_cast<char*>(kUnknown);
  int n = table_channels(t);
  if (chan < 0 || chan >= n || chan >= KOVA_SB_MAX_CHANNELS) return const_cast<char*>(kUnknown);
  const char* cell = sblock_types_a[t][KOVA_SB_TYPE_MAX + chan * KOVA_SB_TYPE_CHAN_MAX + column];
  return const_cast<char*>(cell ? cell : kUnknown);
}

char* branch_cell(int type, int column, const char* header_name, const char* server_name) {
  int t = masked(type);
  if (t == 0) return const_cast<char*>(header_name);
  if (t == KOVA_BLOCK_MAX_2010) return const_cast<char*>(server_name);
  if (!in_table(t) || table_channels(t) < 0) return const_cast<char*>(kUnknown);
  const char* cell = sblock_types_a[t][column];
  return const_cast<char*>(cell ? cell : kUnknown);
}

}  // namespace

extern "C" {

char* block_name_itoa(int type) {
  int t = masked(type);
  if (t == 0 || !in_table(t)) return const_cast<char*>(kUnknown);
  return const_cast<char*>(sblock_types_a[t][KOVA_SB_TYPE_NAME]);
}

int get_channel_number(int type, kova_serv_block_subhead_2010* sbhd) {
  int t = masked(type);
  if (t == 0 || !in_table(t)) return -2;
  int n = table_channels(t);
  if (n == 0 && sbhd != nullptr) return find_number_of_channels(sbhd);
  return n;
}

int find_number_of_channels(kova_serv_block_subhead_2010* sbhd) {
  if (sbhd == nullptr) return -2;
  int t = masked(sbhd->dtype);
  if (t == KOVA_BLOCK_GENERIC_SPECT) {
    // nsubchan opens the payload; a block too short to hold it has none.
    if (sbhd->error != 0 || payload_length(sbhd) < sizeof(uint32_t)) return 0;
    return static_cast<int>(read_u32(payload_of(sbhd)));
  }
  if (t == KOVA_BLOCK_EQDATA) {
    if (sbhd->error != 0) return 0;
    return kova_eqdata_payload_channels(payload_of(sbhd), payload_length(sbhd));
  }
  return get_channel_number(t, sbhd);
}

char* get_branch_name(int type) {
  return branch_cell(type, KOVA_SB_TYPE_BRANCH_NAME, "EventHeader", "ServerBlockHeader");
}

char* get_branch_class(int type) {
  return branch_cell(type, KOVA_SB_TYPE_BRANCH_CLASS, "ZELEventHeader", "ZELSvrBlockHeaderArray");
}

char* get_chan_name(int type, int chan) {
  return channel_cell(type, chan, KOVA_SB_TYPE_CHAN);
}
char* get_chan_units(int type, int chan) {
  return channel_cell(type, chan, KOVA_SB_TYPE_UNITS);
}
char* get_chan_descr(int type, int chan) {
  return channel_cell(type, chan, KOVA_SB_TYPE_DESCR);
}

int get_data_structure_type(int dtype) {
  int t = masked(dtype);
  if ((t >= 1 && t <= 5) || (t >= 33 && t <= 37)) return KOVA_DATA_SLOW;
  if ((t >= 6 && t <= 11) || (t >= 14 && t <= 21) || (t >= 24 && t <= 26))
    return KOVA_DATA_SPECTRUM;
  if (t == 28 || (t >= 38 && t <= 43) || (t >= 45 && t <= 53) || (t >= 60 && t <= 62))
    return KOVA_DATA_GSPECTRUM;
  if (t == KOVA_BLOCK_IMAGE || t == KOVA_BLOCK_IMAGE_EXT) return KOVA_DATA_IMAGE;
  if (t == KOVA_BLOCK_NAME_VALUE) return KOVA_DATA_NAMVAL;
  if (t == KOVA_BLOCK_EQDATA) return KOVA_DATA_EQDATA;
  return -1;
}

int get_spect_code_description_2010(kova_serv_block_subhead_2010* subhead) {
  if (!is_data_format_2010() && !is_data_format_2024()) return -1;
  if (subhead == nullptr || masked(subhead->dtype) != KOVA_BLOCK_GENERIC_SPECT) return -1;
  // The description word follows nsubchan; refuse a block too short to hold it.
  if (payload_length(subhead) < 2 * sizeof(uint32_t)) return -1;
  return static_cast<int>(read_u32(payload_of(subhead) + sizeof(uint32_t)));
}

}  // extern "C"
