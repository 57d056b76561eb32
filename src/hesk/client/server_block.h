// What the client functions know of an event handed to a reader: the event
// type and entry count of a slot head of either layout, which entries count,
// and one server block resolved through a Hesk object's pool with the bounds
// every walk over it must keep (its ltotal and the buffer that holds it).
#ifndef HESK_CLIENT_SERVER_BLOCK_H
#define HESK_CLIENT_SERVER_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "hesk_util.h"

namespace hesk_client {

constexpr int64_t kSubHead = sizeof(kova_serv_block_subhead_2010);  // 268
constexpr int64_t kHead2010 = sizeof(kova_serv_block_head_2010);    // 284
constexpr int64_t kHead2024 = sizeof(kova_serv_block_head_2024);    // 304
constexpr size_t kNameWidth = KOVA_SBLOCK_NAME_LEN;                 // 256

// Event type and number of entries of an event slot.
struct SlotInfo {
  int evtype = -1;
  int sbfilled = 0;
};

inline SlotInfo slot_info(const kova_event_slot_head* hd) {
  return SlotInfo{hd->evtype, hd->sbfilled};
}
inline SlotInfo slot_info(const kova_event_slot_head_2024* hd) {
  return SlotInfo{hd->evtype, hd->sbfilled};
}
// A head of either layout passed as the 2024 type: the 2024 pattern decides.
SlotInfo slot_info_any(const kova_event_slot_head_2024* hd);

// Types 2 to 5: begin of run, end of run, environment, update.
inline bool is_run_or_slow_event(int evtype) {
  return evtype >= KOVA_EV_BOR && evtype <= KOVA_EV_UPD;
}

// An entry counts when it names a buffer: shmid not 0 and bnum not -1.
inline bool counts(const kova_client_sblock_data& e) {
  return e.shmid != 0 && e.bnum != -1;
}

// A name field of `width` bytes holds `name` (of length len): the same
// characters up to the field's terminator or its width.
inline bool field_equals(const char* field, size_t width, const char* name, size_t len) {
  if (len > width || memcmp(field, name, len) != 0) return false;
  return len == width || field[len] == '\0';
}

// One resolved server block.
struct ServerBlock {
  char* base = nullptr;
  bool is2024 = false;
  int64_t ltotal = 0;  // as its head says
  int64_t head = 0;    // head size of its generation
  int32_t nchan = 0;
  int64_t buffer = 0;  // length of the buffer holding it

  kova_serv_block_head_2010* h2010() const {
    return reinterpret_cast<kova_serv_block_head_2010*>(base);
  }
  kova_serv_block_head_2024* h2024() const {
    return reinterpret_cast<kova_serv_block_head_2024*>(base);
  }
  // Bytes after the head according to ltotal; -1 when ltotal does not even
  // hold the head (whatever value it has).
  int64_t room() const { return ltotal < head ? -1 : ltotal - head; }
  // ltotal does not claim more than the buffer holds.
  bool within_buffer() const { return ltotal <= buffer; }
  // The sub-block head at `offset`. Sub-blocks follow each other by their
  // ldata, which need not keep them 4-byte aligned: read its fields with
  // sub_ldata / sub_dtype, its name as bytes at the same address.
  kova_serv_block_subhead_2010* sub_at(int64_t offset) const {
    return reinterpret_cast<kova_serv_block_subhead_2010*>(base + offset);
  }
};

inline int32_t load_i32(const void* p) {
  int32_t v;
  memcpy(&v, p, sizeof(v));
  return v;
}
inline int32_t sub_ldata(const kova_serv_block_subhead_2010* s) {
  return load_i32(reinterpret_cast<const char*>(s) + offsetof(kova_serv_block_subhead_2010, ldata));
}
inline int32_t sub_dtype(const kova_serv_block_subhead_2010* s) {
  return load_i32(reinterpret_cast<const char*>(s) + offsetof(kova_serv_block_subhead_2010, dtype));
}
inline const char* sub_name(const kova_serv_block_subhead_2010* s) {
  return reinterpret_cast<const char*>(s);  // chname opens the head
}

// A server block at p in a buffer of `buffer` bytes. With detect the
// generation is told by the 2024 pattern, otherwise the block is read as
// 2010. false when the buffer is too short for the head.
bool view_block(char* p, int64_t buffer, bool detect, ServerBlock* out);

// Resolves entry e through obj's pool (attaching its partition on first
// use) and views it as view_block does. false when the address does not
// resolve or the buffer is too short for the head.
bool resolve(Hesk* obj, const kova_client_sblock_data& e, bool detect, ServerBlock* out);

}  // namespace hesk_client

#endif  // HESK_CLIENT_SERVER_BLOCK_H
