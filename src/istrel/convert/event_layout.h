// Where the walks of whole events and server blocks find their counts and
// lengths in each generation: record sizes and field offsets taken from the
// record declarations, so the walk itself is written once. Constant data and
// pure functions; thread-safe.
#ifndef HESK_ISTREL_EVENT_LAYOUT_H
#define HESK_ISTREL_EVENT_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "convert_internal.h"
#include "event.h"

namespace convert_detail {

struct EventLayout {
  Gen gen;
  int64_t head, server, sub, tail;       // record sizes
  int64_t length_at;                     // event_length in the header
  bool wide;                             // 64-bit event_length, ltotal and tail
  int64_t type_at, nsb_at;               // event_type, num_svr_block
  int64_t ltotal_at, nchan_at;           // in the server block head
  int64_t dtype_at, error_at, ldata_at;  // in the sub-block head
  int env_type;                          // type of the one sub-block of an ENV server block
};

inline EventLayout layout_of(Gen g) {
  switch (g) {
    case Gen::k2009:
      return {g,
              sizeof(kova_eventheader),
              sizeof(kova_serv_block_head),
              sizeof(kova_serv_block_subhead),
              sizeof(kova_eventtail),
              offsetof(kova_eventheader, event_length),
              false,
              offsetof(kova_eventheader, event_type),
              offsetof(kova_eventheader, num_svr_block),
              offsetof(kova_serv_block_head, ltotal),
              offsetof(kova_serv_block_head, nchan),
              offsetof(kova_serv_block_subhead, dtype),
              offsetof(kova_serv_block_subhead, error),
              offsetof(kova_serv_block_subhead, ldata),
              KOVA_ENV_BLOCK};
    case Gen::k2010:
      return {g,
              sizeof(kova_eventheader),
              sizeof(kova_serv_block_head_2010),
              sizeof(kova_serv_block_subhead_2010),
              sizeof(kova_eventtail),
              offsetof(kova_eventheader, event_length),
              false,
              offsetof(kova_eventheader, event_type),
              offsetof(kova_eventheader, num_svr_block),
              offsetof(kova_serv_block_head_2010, ltotal),
              offsetof(kova_serv_block_head_2010, nchan),
              offsetof(kova_serv_block_subhead_2010, dtype),
              offsetof(kova_serv_block_subhead_2010, error),
              offsetof(kova_serv_block_subhead_2010, ldata),
              KOVA_ENV_BLOCK_2010};
    case Gen::k2024:
    default:
      return {Gen::k2024,
              sizeof(kova_eventheader_2024),
              sizeof(kova_serv_block_head_2024),
              sizeof(kova_serv_block_subhead_2010),
              sizeof(kova_eventtail_2024),
              offsetof(kova_eventheader_2024, event_length),
              true,
              offsetof(kova_eventheader_2024, event_type),
              offsetof(kova_eventheader_2024, num_svr_block),
              offsetof(kova_serv_block_head_2024, ltotal),
              offsetof(kova_serv_block_head_2024, nchan),
              offsetof(kova_serv_block_subhead_2010, dtype),
              offsetof(kova_serv_block_subhead_2010, error),
              offsetof(kova_serv_block_subhead_2010, ldata),
              KOVA_ENV_BLOCK_2010};
  }
}

// Length field of the layout's width (event_length, ltotal, tail) as a
// signed 64-bit number; 32-bit event lengths are unsigned, 32-bit ltotal
// signed.
inline int64_t load_length(const unsigned char* p, bool wide, bool is_signed) {
  if (wide) return load_i64(p);
  return is_signed ? static_cast<int64_t>(load_i32(p)) : static_cast<int64_t>(load_u32(p));
}

// Entry size of the slow-control sub-block types, 0 for every other type.
inline int64_t slow_entry_size(int type) {
  switch (type) {
    case KOVA_UPD_BLOCK:
    case KOVA_BOR_BLOCK:
    case KOVA_EOR_BLOCK:
      return sizeof(kova_upd_data_block);
    case KOVA_ENV_DICT_BLOCK:
      return sizeof(kova_env_dictionary_block);
    case KOVA_ENV_BLOCK:
    case KOVA_ENV_BLOCK_2010:
      return sizeof(kova_env_data_block);
    case KOVA_UPD_BLOCK_2010:
    case KOVA_BOR_BLOCK_2010:
    case KOVA_EOR_BLOCK_2010:
      return sizeof(kova_upd_data_block_2010);
    case KOVA_ENV_DICT_BLOCK_2010:
      return sizeof(kova_env_dictionary_block_2010);
    default:
      return 0;
  }
}

}  // namespace convert_detail

#endif  // HESK_ISTREL_EVENT_LAYOUT_H
