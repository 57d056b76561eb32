// What the channel accessors know of one sub-block: the generation's head
// and entry sizes and type numbers, the payload and its length, name-field
// comparison within the field width, and the location of one channel's
// samples inside a device payload (shared by the parameter, pointer and cut
// accessors and by the payload printers).
//
// A sub-block is addressed by its head; its payload is the ldata - head bytes
// that follow. Everything here reads only within those bytes.
#ifndef HESK_ISTREL_CHANNEL_BLOCK_H
#define HESK_ISTREL_CHANNEL_BLOCK_H

#include <cstdint>
#include <cstring>

#include "event_util.h"

namespace channel_detail {

// The 2009 generation: 44-byte heads, short names, the 2009 slow types.
struct Gen2009 {
  using Subhead = kova_serv_block_subhead;
  using Upd = kova_upd_data_block;
  using Env = kova_env_data_block;
  using Dict = kova_env_dictionary_block;
  static constexpr int kHead = KOVA_SUB_HEAD_SIZE_2009;
  static constexpr int kUpdType = KOVA_UPD_BLOCK;
  static constexpr int kDictType = KOVA_ENV_DICT_BLOCK;
  static constexpr int kEnvType = KOVA_ENV_BLOCK;
  static constexpr int kBorType = KOVA_BOR_BLOCK;
  static constexpr int kEorType = KOVA_EOR_BLOCK;
  static constexpr bool kGenericSpectra = false;  // type 28 is a 2010 payload
  static constexpr const char* kSuffix = "_2009";
  // The channel count from the type table only; 2009 blocks carry none.
  static int channels(int type, Subhead*) { return get_channel_number(type, nullptr); }
};

// The 2010 and 2024 generations: 268-byte heads and long names.
struct Gen2010 {
  using Subhead = kova_serv_block_subhead_2010;
  using Upd = kova_upd_data_block_2010;
  using Env = kova_env_data_block_2010;
  using Dict = kova_env_dictionary_block_2010;
  static constexpr int kHead = KOVA_SUB_HEAD_SIZE_2010;
  static constexpr int kUpdType = KOVA_UPD_BLOCK_2010;
  static constexpr int kDictType = KOVA_ENV_DICT_BLOCK_2010;
  static constexpr int kEnvType = KOVA_ENV_BLOCK_2010;
  static constexpr int kBorType = KOVA_BOR_BLOCK_2010;
  static constexpr int kEorType = KOVA_EOR_BLOCK_2010;
  static constexpr bool kGenericSpectra = true;
  static constexpr const char* kSuffix = "_2010";
  // For types 23 and 28 the count comes from the block.
  static int channels(int type, Subhead* sb) { return get_channel_number(type, sb); }
};

static_assert(sizeof(Gen2009::Subhead) == Gen2009::kHead, "2009 head size");
static_assert(sizeof(Gen2010::Subhead) == Gen2010::kHead, "2010 head size");

// True when either the 2010 or the 2024 flag is set: 2010 sub-block records.
inline bool long_subheads() {
  return is_data_format_2010() || is_data_format_2024();
}

template <typename Subhead>
int type_of(const Subhead* sb) {
  return sb->dtype & KOVA_DTYPE_MASK;
}

template <typename Subhead>
bool zipped(const Subhead* sb) {
  return (sb->error & KOVA_CHAN_ZIP_FLAG) != 0;
}

template <typename Subhead>
unsigned char* payload(Subhead* sb) {
  return reinterpret_cast<unsigned char*>(sb) + sizeof(Subhead);
}

// Payload bytes the head claims; negative when ldata is shorter than the head.
template <typename Subhead>
int64_t payload_length(const Subhead* sb) {
  return static_cast<int64_t>(sb->ldata) - static_cast<int64_t>(sizeof(Subhead));
}

// Length of a name field of `width` bytes, which may lack a terminator.
inline size_t field_length(const char* field, size_t width) {
  const void* nul = memchr(field, '\0', width);
  return nul ? static_cast<size_t>(static_cast<const char*>(nul) - field) : width;
}

// A name field equals `name` when both hold the same characters; the field
// ends at its terminator or its width.
inline bool field_equals(const char* field, size_t width, const char* name) {
  size_t n = field_length(field, width);
  return strlen(name) == n && memcmp(field, name, n) == 0;
}

// Two name fields of the same width hold the same name.
inline bool fields_equal(const char* a, const char* b, size_t width) {
  return strncmp(a, b, width) == 0;
}

// Prints "<fn><suffix>() trying to access ZIPPED channel\n".
void print_zipped(const char* fn, const char* suffix);

// ---------------------------------------------------------------------------
// Where one channel's samples lie.

enum class Locate {
  kOk,           // the channel was found; see ChannelLayout
  kEmpty,        // ROI block without data or without samples: nothing to report
  kNotSpectral,  // a type without a sample axis
  kBadChannel,   // no such channel in this block
  kCorrupt       // the counts do not fit in the block
};

struct ChannelLayout {
  int type = 0;
  float start = 0;
  float inc = 0;
  int ndata = 0;            // samples per group as stored
  bool has_groups = false;  // groups / group_inc are reported
  int groups = 0;           // as stored
  float group_inc = 0;
  void* mean = nullptr;  // the means (2009 fast), the ROI record (ROI)
  kova_spect_statistics_2010* stat = nullptr;
  unsigned char* header = nullptr;  // spectrum header (2010 spectra, type 28 entry)
  unsigned char* data = nullptr;    // first sample of the channel
  int64_t samples = 0;              // floats of the channel at data
};

// Locates channel `subchan` of a sub-block that is not compressed, for the
// types that have a sample axis: 2009 fast blocks, name/value lists, ROI
// blocks, generic spectrum arrays (2010 only) and 2010 spectra. Prints
// "Corrupted data in <type> <channel>\n" for a block whose counts do not fit
// (ROI blocks: the ROI texts). For a name/value list, `data` is null when the
// list has no entry `subchan`. For kEmpty the ROI's axis is filled in, and
// `data` when it lies within the block.
template <typename G>
Locate locate_channel(typename G::Subhead* sb, int subchan, ChannelLayout* out);

// Number of channels of a type with a fixed channel set (2009 fast blocks,
// 2010 spectra), from the type table; 0 for any other type.
int table_channels(int type);
bool is_fast_2009(int type);      // 6-11, 14-21
bool is_spectrum_2010(int type);  // 38-43, 45-53, 60-62
int roi_count(int type);          // 1, 2, 3 for types 24, 25, 26; else 0
int roi_fixed_size(int rois);     // 168, 260, 352

}  // namespace channel_detail

#endif  // HESK_ISTREL_CHANNEL_BLOCK_H
