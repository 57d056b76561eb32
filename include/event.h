// Binary records of a DAQ event in its three generations (2009, 2010, 2024):
// time stamps and identifiers, event types, sub-block types, error bits, the
// generation patterns, the event header, server block head, sub-block head,
// zip header and tail, the slow-control entries and every device payload.
//
// The same bytes lie in shared-memory buffers, in DAQ raw files and in
// messages, so every layout below is a stored format: fields are 4 or 8 bytes
// with natural alignment, in host byte order in memory, and the sizes and
// offsets are pinned with static_assert at the end of this file. Records that
// end in a variable-length array declare it as a trailing flexible member, so
// sizeof() is the fixed part. Character arrays are NUL-terminated within
// their width.
//
// Plain declarations only: no behaviour and no state, safe from any thread.
#ifndef HESK_EVENT_H
#define HESK_EVENT_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------
// Time stamp and identifiers

// Event key: seconds since the Unix epoch and microseconds within the second.
struct time_stamp {
  uint32_t timeup;
  uint32_t timelow;
};

struct kova_time_id {
  uint32_t event_number;
  time_stamp time;
};

struct kova_time_id_2024 {
  uint64_t event_number;
  time_stamp time;
};

// ---------------------------------------------------------------------------
// Event types (bit n of an event mask stands for type n)

enum KOVA_EVTYPE : int32_t {
  KOVA_EV_HB = 0,
  KOVA_EV_NORMAL = 1,
  KOVA_EV_BOR = 2,
  KOVA_EV_EOR = 3,
  KOVA_EV_ENV = 4,
  KOVA_EV_UPD = 5,
  KOVA_EV_IMAGE = 6,
  KOVA_EV_WS = 7,
  KOVA_EV_MCP = 8,
  KOVA_EV_WSS = 9,
  KOVA_EV_BL1 = 10,
  KOVA_EV_BL2 = 11,
  KOVA_EV_BL3 = 12,
  KOVA_EV_PG0 = 13,
  KOVA_EV_PG1 = 14,
  KOVA_EV_PG2 = 15,
  KOVA_EV_GMD = 16,
  KOVA_EV_PHOTEN = 17,
  KOVA_EV_PHOTWL = 18,
  KOVA_EV_BEAM_ENERGY = 19,
  KOVA_EV_LLRF_ML = 20,
  KOVA_EV_BEAM_ENERGY_BYPASS = 21,
  KOVA_EV_SPECTR_1 = 22,
  KOVA_EV_SPECTR_2 = 23,
  KOVA_EV_SPECTR_3 = 24,
  KOVA_EV_SPECTR_4 = 25,
  KOVA_EV_SPECTR_5 = 26,
  KOVA_EV_TOROID_ML = 27,
  KOVA_EV_28 = 28,
  KOVA_EV_29 = 29,
  KOVA_EV_30 = 30,
  KOVA_EV_31 = 31,
  KOVA_EV_EVMAX = 32
};

// ---------------------------------------------------------------------------
// Sub-block types. Bits 0-15 of a sub-block's dtype word hold the type; bits
// 16-31 may hold a device type that only channel dumps show. Everything that
// interprets a type masks the word with KOVA_DTYPE_MASK first.

constexpr int KOVA_DTYPE_MASK = 0xFFFF;

enum KOVA_SUBBLOCK_TYPE : int32_t {
  KOVA_UPD_BLOCK = 1,
  KOVA_ENV_DICT_BLOCK = 2,
  KOVA_ENV_BLOCK = 3,
  KOVA_BOR_BLOCK = 4,
  KOVA_EOR_BLOCK = 5,
  KOVA_BLOCK_BPM = 6,
  KOVA_BLOCK_BPM_Z = 7,
  KOVA_BLOCK_BPM_S = 8,
  KOVA_BLOCK_SINGLE = 9,
  KOVA_BLOCK_TOROID = 10,
  KOVA_BLOCK_RF_250K = 11,
  KOVA_BLOCK_ENERGY = 12,
  KOVA_BLOCK_IMAGE = 13,
  KOVA_BLOCK_WS_FAST = 14,
  KOVA_BLOCK_WS_SLOW = 15,
  KOVA_BLOCK_CPLINTL = 16,
  KOVA_BLOCK_GUNINTL = 17,
  KOVA_BLOCK_MCP = 18,
  KOVA_BLOCK_PHM = 19,
  KOVA_BLOCK_WSS_RAW = 20,
  KOVA_BLOCK_WSS_COR = 21,
  KOVA_BLOCK_NAME_VALUE = 22,
  KOVA_BLOCK_EQDATA = 23,
  KOVA_BLOCK_IMG_ROI1 = 24,
  KOVA_BLOCK_IMG_ROI2 = 25,
  KOVA_BLOCK_IMG_ROI3 = 26,
  KOVA_BLOCK_IMAGE_EXT = 27,
  KOVA_BLOCK_GENERIC_SPECT = 28,
  KOVA_UPD_BLOCK_DONT_USE_31 = 31,
  KOVA_UPD_BLOCK_2010 = 33,
  KOVA_ENV_DICT_BLOCK_2010 = 34,
  KOVA_ENV_BLOCK_2010 = 35,
  KOVA_BOR_BLOCK_2010 = 36,
  KOVA_EOR_BLOCK_2010 = 37,
  KOVA_BLOCK_BPM_2010 = 38,
  KOVA_BLOCK_BPM_Z_2010 = 39,
  KOVA_BLOCK_BPM_S_2010 = 40,
  KOVA_BLOCK_1CHAN_2010 = 41,
  KOVA_BLOCK_TOROID_2010 = 42,
  KOVA_BLOCK_RF_250K_2010 = 43,
  KOVA_BLOCK_ENERGY_2010 = 44,
  KOVA_BLOCK_2CHAN_2010 = 45,
  KOVA_BLOCK_WS_2010 = 46,
  KOVA_BLOCK_4CHAN_2010 = 47,
  KOVA_BLOCK_CPLINTL_2010 = 48,
  KOVA_BLOCK_GUNINTL_2010 = 49,
  KOVA_BLOCK_MCP_2010 = 50,
  KOVA_BLOCK_PHM_2010 = 51,
  KOVA_BLOCK_6CHAN_2010 = 52,
  KOVA_BLOCK_8CHAN_2010 = 53,
  KOVA_BLOCK_3CHAN_2010 = 60,
  KOVA_BLOCK_5CHAN_2010 = 61,
  KOVA_BLOCK_7CHAN_2010 = 62,
  KOVA_BLOCK_MAX_2010 = 63
};

// ---------------------------------------------------------------------------
// Sub-block error word. Bit 30 is not an error: it marks a compressed payload.

enum KOVA_SBLOCK_ERROR : int32_t {
  KOVA_SB_ERR_OK = 0,
  KOVA_SB_ERR_NOT_COLLECTED = 0x1,
  KOVA_SB_ERR_OUT_MEMORY_SRV = 0x2,
  KOVA_SB_ERR_OUT_MEMORY_COL = 0x4,
  KOVA_SB_ERR_NO_DMA = 0x8,
  KOVA_SB_ERR_NO_SERVER = 0x10,
  KOVA_SB_ERR_OLD_DATA = 0x20,
  KOVA_SB_ERR_NO_FIRST = 0x40,
  KOVA_SB_ERR_NOT_ASSM = 0x80,
  KOVA_CH_ERR_EVB_DATA = 0x100,
  KOVA_EP_ERR_EVB_SBLK = 0x200,
  KOVA_SB_ERR_ML_SKIPPED = 0x400,
  KOVA_SB_ERR_ML_NOOUT = 0x800,
  KOVA_FE_ADC_OVERLOAD = 0x1000,
  KOVA_FE_OUTSIDE_SL = 0x2000,
  KOVA_FE_OUTSIDE_LR = 0x4000,
  KOVA_FE_CONF = 0x8000,
  KOVA_FE_INT_ERR = 0x10000,
  KOVA_FE_TIME_INV = 0x20000,
  KOVA_FE_EVID_INV = 0x40000,
  KOVA_FE_DTYPE_INV = 0x80000,
  KOVA_FE_MODE_NOTSUP = 0x100000,
  KOVA_FE_SPECT_PARAM_INCONSIST = 0x200000,
  KOVA_FE_NO_DATA = 0x400000,
  KOVA_FE_DAQ_PARAM_INV = 0x800000,
  KOVA_FE_DAQ_DISABLED = 0x1000000,
  KOVA_FE_DAQ_BUF_SKIPPED = 0x2000000,
  KOVA_SD_ERR_NOT_ASSM = 0x4000000,
  KOVA_CHAN_ZIP_FLAG = 0x40000000
};

// ---------------------------------------------------------------------------
// Generation patterns, as they read in host order. A reader that finds the
// byte-swapped twin knows the record is still in network order.

constexpr uint32_t KOVA_EV_PATTERN_2009 = 0xFFEEFFEEu;
constexpr uint32_t KOVA_EV_PATTERN_2010 = 0xFFEEFFDDu;
constexpr uint32_t KOVA_EV_PATTERN_2024 = 0xFFCCFFCCu;
constexpr uint64_t KOVA_SB_PATTERN_2024 = 0xFBABBAFFFBABBAFFull;
constexpr uint32_t KOVA_SLOW_PATTERN = 0xFFEEFFCCu;
constexpr uint32_t KOVA_SLOW_PATTERN_2024 = 0xFFEEFFFFu;

// ---------------------------------------------------------------------------
// Event header and tail

// 2009 and 2010 generations (36 bytes). event_length counts header, all
// server blocks and the tail.
struct kova_eventheader {
  uint32_t pattern;
  uint32_t event_length;
  uint32_t event_number;
  int32_t event_type;  // KOVA_EVTYPE
  time_stamp event_time;
  int32_t tmask;
  int32_t status;
  int32_t num_svr_block;
};

// 2024 generation (48 bytes; the last 4 bytes are padding and never converted).
struct kova_eventheader_2024 {
  uint32_t pattern;
  int32_t event_type;  // KOVA_EVTYPE
  int64_t event_length;
  uint64_t event_number;
  time_stamp event_time;
  int32_t tmask;
  int32_t status;
  int32_t num_svr_block;
  int32_t padding;
};

// The tail repeats the header's event_length.
struct kova_eventtail {
  uint32_t event_length;
};

struct kova_eventtail_2024 {
  uint64_t event_length;
};

// ---------------------------------------------------------------------------
// Server block head: starts the slice of one event delivered by one server.
// ltotal is the length of the whole server block, head included; nchan the
// number of sub-blocks that follow.

struct kova_serv_block_head {  // 2009, 76 bytes
  time_stamp time;
  int32_t ltotal;
  int32_t mpulse;
  char server[48];
  int32_t tmask;
  int32_t status;
  int32_t nchan;
};

struct kova_serv_block_head_2010 {  // 284 bytes
  time_stamp time;
  int32_t ltotal;
  int32_t mpulse;
  char server[256];
  int32_t tmask;
  int32_t status;
  int32_t nchan;
};

// 2024 (304 bytes). The first eight bytes always hold KOVA_SB_PATTERN_2024,
// which is how a 2024 head is told apart from a 2010 head (whose first eight
// bytes are its time stamp).
struct kova_serv_block_head_2024 {
  uint64_t pattern;
  int64_t ltotal;
  int64_t mpulse;
  time_stamp time;
  char server[256];
  int32_t tmask;
  int32_t status;
  int32_t nchan;
  int32_t padding;
};

// ---------------------------------------------------------------------------
// Sub-block head: starts every channel inside a server block. ldata is the
// length of the sub-block, head included.

struct kova_serv_block_subhead {  // 2009, 44 bytes
  char chname[32];
  int32_t dtype;
  int32_t error;
  int32_t ldata;
};

struct kova_serv_block_subhead_2010 {  // 2010 and 2024, 268 bytes
  char chname[256];
  int32_t dtype;
  int32_t error;
  int32_t ldata;
};

// Opens a compressed payload (KOVA_CHAN_ZIP_FLAG set); the compressed bytes
// follow and run to the end of the sub-block.
struct kova_zip_header {
  uint32_t zip_flags;
  uint32_t orig_length;
  uint32_t zipp_length;
};

// ---------------------------------------------------------------------------
// Slow-control entries: the payloads of the slow sub-blocks are arrays of these.

struct kova_upd_data_block {  // types 1, 4, 5 (96 bytes)
  char upd_prop[80];
  int32_t upd_ch_status;
  time_stamp upd_ch_time;
  float upd_ch_data;
};

struct kova_upd_data_block_2010 {  // types 33, 36, 37 (272 bytes)
  char upd_prop[256];
  int32_t upd_ch_status;
  time_stamp upd_ch_time;
  float upd_ch_data;
};

struct kova_env_data_block {  // type 3 (20 bytes)
  int32_t env_ch_idx;         // index into the environment dictionary
  int32_t env_ch_status;
  time_stamp env_ch_time;
  float env_ch_data;
};

struct kova_env_data_block_2010 {  // type 35 (20 bytes)
  int32_t env_ch_idx;
  int32_t env_ch_status;
  time_stamp env_ch_time;
  float env_ch_data;
};

struct kova_env_dictionary_block {  // type 2 (88 bytes)
  char env_prop[80];
  float env_ch_abs_delta;
  float env_ch_rel_delta;
};

struct kova_env_dictionary_block_2010 {  // type 34 (264 bytes)
  char env_prop[256];
  float env_ch_abs_delta;
  float env_ch_rel_delta;
};

// ---------------------------------------------------------------------------
// 2009 fast-device blocks (types 6-11, 14-21): start and increment of the
// sample axis, one mean per channel, the samples per channel, then the
// samples channel-major (all of channel 0 first).

struct kova_norm_bpm_block {  // type 6
  float start;
  float inc;
  struct {
    float X, Y;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_bpm_z_block {  // type 7
  float start;
  float inc;
  struct {
    float X, Y, I, Q;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_bpm_s_block {  // type 8
  float start;
  float inc;
  struct {
    float X, Y, C;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_bpm_single_block {  // type 9
  float start;
  float inc;
  float mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_bpm_toroid_block {  // type 10
  float start;
  float inc;
  float mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_rf_block {  // type 11
  float start;
  float inc;
  struct {
    float I, Q;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_ws_ws_block {  // types 14, 15, 20, 21
  float start;
  float inc;
  struct {
    float X, V;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_clpintl_block {  // type 16
  float start;
  float inc;
  struct {
    float PM, e_minus1, e_minus2, e_minus3;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_gunintl_block {  // type 17
  float start;
  float inc;
  struct {
    float f1, f2, f3, f4, f5, f6, f7, f8;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_mcp_block {  // type 18
  float start;
  float inc;
  struct {
    float mcp1, mcp2, mcp3, mcp4, phd1, phd2, mcp5, mcp6;
  } mean;
  int32_t ndata;
  float data[];
};

struct kova_norm_phm_block {  // type 19
  float start;
  float inc;
  struct {
    float I, Q;
  } mean;
  int32_t ndata;
  float data[];
};

// ---------------------------------------------------------------------------
// 2010 spectrum blocks (types 38-43, 45-53, 60-62): a spectrum header, one
// statistics record per channel, then ndata * max(groups, 1) samples per
// channel, channel after channel.

struct kova_spect_header_2010 {
  float start;
  float inc;
  int32_t ndata;   // samples per group
  int32_t groups;  // number of groups; 0 or 1 means one
  float group_inc;
};

constexpr int KOVA_STAT_ENTRIES_2010 = 32;

// Bit j of mask set means val[j] is valid. Entries 0-8 are MIN, MAX, MEAN,
// RMS, SIGMA, PP_ON, PP_A0, PP_A1, PP_A2; the rest are spares.
struct kova_spect_statistics_2010 {
  uint32_t mask;
  float val[KOVA_STAT_ENTRIES_2010];
};

enum kova_spect_stat_index_2010 {
  KOVA_STAT_MIN = 0,
  KOVA_STAT_MAX = 1,
  KOVA_STAT_MEAN = 2,
  KOVA_STAT_RMS = 3,
  KOVA_STAT_SIGMA = 4,
  KOVA_STAT_PP_ON = 5,
  KOVA_STAT_PP_A0 = 6,
  KOVA_STAT_PP_A1 = 7,
  KOVA_STAT_PP_A2 = 8
};

#define KOVA_DECLARE_SPECTRUM_BLOCK_2010(name, nchan) \
  struct name {                                       \
    kova_spect_header_2010 header;                    \
    kova_spect_statistics_2010 stats[nchan];          \
    float data[];                                     \
  }

KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_1channel_block_2010, 1);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_2channel_block_2010, 2);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_3channel_block_2010, 3);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_4channel_block_2010, 4);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_5channel_block_2010, 5);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_6channel_block_2010, 6);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_7channel_block_2010, 7);
KOVA_DECLARE_SPECTRUM_BLOCK_2010(kova_norm_8channel_block_2010, 8);
#undef KOVA_DECLARE_SPECTRUM_BLOCK_2010

typedef kova_norm_2channel_block_2010 kova_norm_bpm_block_2010;      // 38
typedef kova_norm_4channel_block_2010 kova_norm_bpm_z_block_2010;    // 39
typedef kova_norm_3channel_block_2010 kova_norm_bpm_s_block_2010;    // 40
typedef kova_norm_1channel_block_2010 kova_norm_toroid_block_2010;   // 42
typedef kova_norm_2channel_block_2010 kova_norm_rf_block_2010;       // 43
typedef kova_norm_2channel_block_2010 kova_ws_ws_block_2010;         // 46
typedef kova_norm_4channel_block_2010 kova_norm_cplintl_block_2010;  // 48
typedef kova_norm_8channel_block_2010 kova_norm_gunintl_block_2010;  // 49
typedef kova_norm_8channel_block_2010 kova_norm_mcp_block_2010;      // 50
typedef kova_norm_2channel_block_2010 kova_norm_phm_block_2010;      // 51

// Generic spectrum array (type 28): nsubchan entries back to back, each a
// statistics record, a spectrum header and its own ndata * groups samples,
// so entries differ in length. The record declares one entry, which makes
// sizeof() the fixed part for one sub-channel (160).
struct kova_spect_entry_2012 {
  kova_spect_statistics_2010 stats;
  kova_spect_header_2010 header;
  // ndata * groups floats follow
};

struct kova_generic_spect_2012 {
  uint32_t nsubchan;
  uint32_t description;
  kova_spect_entry_2012 entry[1];
};

// ---------------------------------------------------------------------------
// Images

// 2009 image head (type 13), followed by `length` pixel bytes. A row is
// (bpp & 15) * width bytes.
struct kova_image_frame_head {
  int32_t w;      // bits 0-15 width in pixels, bits 16-31 x start
  int32_t h;      // bits 0-15 height, bits 16-31 y start
  int32_t bpp;    // bits 0-3 bytes per pixel, 4-17 vertical, 18-31 horizontal binning
  int32_t compr;  // low 16 bits: compression code
  uint32_t frame;
  int32_t padding0;
  uint64_t event_nm;
  int32_t length;  // number of pixel bytes
  int32_t padding1;
  unsigned char data[];
};

// Extended image head (type 27, and type 13 as read in 2010/2024), followed by
// `length` pixel bytes.
struct kova_image_ext_frame_head {
  int32_t width;
  int32_t height;
  int32_t aoi_width;
  int32_t aoi_height;
  int32_t x_start;
  int32_t y_start;
  int32_t bpp;     // bytes per pixel
  int32_t ebitpp;  // effective bits per pixel
  int32_t hbin;
  int32_t vbin;
  int32_t source_format;
  int32_t image_format;
  uint32_t frame;
  uint32_t event;
  float scale_x;
  float scale_y;
  float image_rotation;
  float fspare2;
  float fspare3;
  float fspare4;
  int32_t image_flags;
  int32_t ispare2;
  int32_t ispare3;
  int32_t ispare4;
  int32_t length;
  unsigned char data[];
};

// ---------------------------------------------------------------------------
// Regions of interest (types 24, 25, 26)

// One integer and three floats.
struct kova_ifff {
  int32_t i1_data;
  float f1_data;
  float f2_data;
  float f3_data;
};

struct kova_image_roi_param {
  int32_t w;  // packed as in the image head
  int32_t h;
  int32_t bpp;
  uint32_t flag;
  int32_t x0;  // ROI origin and size
  int32_t y0;
  int32_t hs;
  int32_t vs;
  float angle;
  int32_t cw;
  int32_t cs;
  float prm[8];
};

struct zel_image_roi_channel {
  float mean;
  float max;
  float cofm;
  float sig;
  kova_ifff pv;
  kova_ifff ps;
  float prm[8];
};

// Sample axis of one ROI channel.
struct kova_roi_spect {
  float start;
  float inc;
  int32_t ndata;
};

struct kova_image_roi1 {  // type 24
  kova_image_roi_param param;
  zel_image_roi_channel chan;
  kova_roi_spect spect1;
  float data[];
};

struct kova_image_roi2 {  // type 25; data of ROI 2 follow ndata1 samples of ROI 1
  kova_image_roi_param param;
  zel_image_roi_channel chan[2];
  kova_roi_spect spect1;
  kova_roi_spect spect2;
  float data[];
};

struct kova_image_roi3 {  // type 26
  kova_image_roi_param param;
  zel_image_roi_channel chan[3];
  kova_roi_spect spect1;
  kova_roi_spect spect2;
  kova_roi_spect spect3;
  float data[];
};

// ---------------------------------------------------------------------------
// Name/value list (type 22)

struct kova_name_value_channel {
  char name[80];
  float value;
};

struct kova_name_value_block {
  int32_t id;
  char comment[80];
  int32_t ndata;
  kova_name_value_channel data[];
};

// ---------------------------------------------------------------------------
// Record sizes of each generation: header, server block head, sub-block head, tail.

constexpr int KOVA_EV_HEAD_SIZE_2009 = 36;
constexpr int KOVA_SB_HEAD_SIZE_2009 = 76;
constexpr int KOVA_SUB_HEAD_SIZE_2009 = 44;
constexpr int KOVA_TAIL_SIZE_2009 = 4;
constexpr int KOVA_EV_HEAD_SIZE_2010 = 36;
constexpr int KOVA_SB_HEAD_SIZE_2010 = 284;
constexpr int KOVA_SUB_HEAD_SIZE_2010 = 268;
constexpr int KOVA_TAIL_SIZE_2010 = 4;
constexpr int KOVA_EV_HEAD_SIZE_2024 = 48;
constexpr int KOVA_SB_HEAD_SIZE_2024 = 304;
constexpr int KOVA_SUB_HEAD_SIZE_2024 = 268;
constexpr int KOVA_TAIL_SIZE_2024 = 8;

// ---------------------------------------------------------------------------
// Upgrade of 2010 heads to the 2024 generation. Both do nothing when either
// pointer is null.

// pattern := KOVA_EV_PATTERN_2024, event_length grows by 12 (the header only:
// a caller upgrading a whole event also accounts for server blocks and tail),
// event_number := evid_shift | old number; the other fields are copied.
void copy_event_header_2010_to_2024(kova_eventheader* evh, kova_eventheader_2024* evh2024,
                                    uint64_t evid_shift);

// pattern := KOVA_SB_PATTERN_2024, ltotal grows by 20, mpulse := old mpulse
// (sign-extended) | evid_shift; server, time, tmask, status, nchan copied.
void copy_server_block_header_2010_to_2024(kova_serv_block_head_2010* svb,
                                           kova_serv_block_head_2024* svb2024, uint64_t evid_shift);

#include "event_layout_checks.h"

#endif  // HESK_EVENT_H
