// Size rules of the device payloads: the fixed part of each sub-block type and
// the whole payload for given sample counts.
#include <climits>
#include <cstdio>

#include "eqdata_payload.h"
#include "event_util.h"

namespace {

constexpr int kEntryUpd2009 = sizeof(kova_upd_data_block);
constexpr int kEntryUpd2010 = sizeof(kova_upd_data_block_2010);
constexpr int kEntryDict2009 = sizeof(kova_env_dictionary_block);
constexpr int kEntryDict2010 = sizeof(kova_env_dictionary_block_2010);
constexpr int kEntryEnv = sizeof(kova_env_data_block);

// Fixed size of a generic spectrum array with n sub-channels.
long generic_fixed(long n) {
  if (n < 1) return 0;
  return (n - 1) * static_cast<long>(sizeof(kova_spect_entry_2012)) +
         static_cast<long>(sizeof(kova_generic_spect_2012));
}

// Fixed part of every type except 28 and the unknown ones (-1).
int fixed_size(int t) {
  switch (t) {
    case 1:
    case 4:
    case 5:
      return kEntryUpd2009;
    case 2:
      return kEntryDict2009;
    case 22:
      return sizeof(kova_name_value_block);
    case 3:
    case 35:
      return kEntryEnv;
    case 6:
    case 11:
    case 14:
    case 15:
    case 19:
    case 20:
    case 21:
      return sizeof(kova_norm_bpm_block);
    case 7:
    case 16:
      return sizeof(kova_norm_bpm_z_block);
    case 8:
      return sizeof(kova_norm_bpm_s_block);
    case 9:
    case 10:
      return sizeof(kova_norm_bpm_single_block);
    case 13:
      return sizeof(kova_image_frame_head);
    case 17:
    case 18:
      return sizeof(kova_norm_mcp_block);
    case 23:
      return 264;  // the framework's data block
    case 34:
      return kEntryDict2010;
    case 24:
      return sizeof(kova_image_roi1);
    case 25:
      return sizeof(kova_image_roi2);
    case 26:
      return sizeof(kova_image_roi3);
    case 27:
      return sizeof(kova_image_ext_frame_head);
    case 33:
    case 36:
    case 37:
      return kEntryUpd2010;
    case 38:
    case 43:
    case 45:
    case 46:
    case 51:
      return sizeof(kova_norm_2channel_block_2010);
    case 39:
    case 47:
    case 48:
      return sizeof(kova_norm_4channel_block_2010);
    case 40:
    case 60:
      return sizeof(kova_norm_3channel_block_2010);
    case 41:
    case 42:
      return sizeof(kova_norm_1channel_block_2010);
    case 49:
    case 50:
    case 53:
      return sizeof(kova_norm_8channel_block_2010);
    case 52:
      return sizeof(kova_norm_6channel_block_2010);
    case 61:
      return sizeof(kova_norm_5channel_block_2010);
    case 62:
      return sizeof(kova_norm_7channel_block_2010);
    default:
      return -1;
  }
}

bool is_slow_type(int t) {
  return (t >= 1 && t <= 5) || (t >= 33 && t <= 37);
}

bool is_sampled_device(int t) {
  return (t >= 6 && t <= 11) || (t >= 14 && t <= 21) || (t >= 38 && t <= 43) ||
         (t >= 45 && t <= 53) || (t >= 60 && t <= 62);
}

// Narrows a computed size to the int result; absurd counts give -1.
int to_result(long size) {
  return (size < 0 || size > INT_MAX) ? -1 : static_cast<int>(size);
}

long data_size(int t, long ndata, long ndata1, long ndata2, const int* pndata) {
  if (is_slow_type(t)) return ndata < 0 ? -1 : fixed_size(t) * ndata;
  if (is_sampled_device(t)) {
    long nchan = get_channel_number(t, nullptr);
    return ndata < 0 ? -1 : fixed_size(t) + 4 * nchan * ndata;
  }
  switch (t) {
    case 13:
    case 27:
      return ndata < 0 ? -1 : fixed_size(t) + ndata;
    case 22:
      return ndata < 0 ? -1 : fixed_size(t) + 84 * ndata;
    case 24:
      return ndata < 0 ? -1 : fixed_size(t) + 4 * ndata;
    case 25:
      return (ndata < 0 || ndata1 < 0) ? -1 : fixed_size(t) + 4 * (ndata + ndata1);
    case 26:
      return (ndata < 0 || ndata1 < 0 || ndata2 < 0)
                 ? -1
                 : fixed_size(t) + 4 * (ndata + ndata1 + ndata2);
    case 28: {
      if (pndata == nullptr) return ndata < 0 ? -1 : generic_fixed(1) + 4 * ndata;
      long sum = 0;
      for (long i = 0; i < ndata; ++i) {
        if (pndata[i] < 0) return -1;
        sum += pndata[i];
      }
      return generic_fixed(ndata) + 4 * sum;
    }
    case 23:
      // The stored framework block knows its own length; it is trusted to be
      // complete, since no bound comes with it.
      if (pndata == nullptr) return -1;
      return kova_eqdata_payload_size(reinterpret_cast<const unsigned char*>(pndata), INT_MAX);
    default:
      return -1;
  }
}

}  // namespace

extern "C" {

int get_sizeof_struct_no_data(int dtype, int nchan) {
  int t = dtype & KOVA_DTYPE_MASK;
  if (t == KOVA_BLOCK_GENERIC_SPECT) return to_result(generic_fixed(nchan));
  int size = fixed_size(t);
  if (size < 0) printf(" Unknown data type: %d\n", t);
  return size;
}

int get_sizeof_struct_data(int dtype, int ndata, int ndata1, int ndata2, int* pndata) {
  int t = dtype & KOVA_DTYPE_MASK;
  if (t != KOVA_BLOCK_GENERIC_SPECT && fixed_size(t) < 0) {
    printf("HErrRE Unknown data type: %d\n", t);
    return -1;
  }
  return to_result(data_size(t, ndata, ndata1, ndata2, pndata));
}

}  // extern "C"
