// Server blocks of an event resolved through a Hesk object's pool.
#include "server_block.h"

namespace hesk_client {

SlotInfo slot_info_any(const kova_event_slot_head_2024* hd) {
  uint64_t pattern;
  memcpy(&pattern, hd, sizeof(pattern));
  if (pattern == KOVA_EV_SLOT_PATTERN_2024) return slot_info(hd);
  return slot_info(reinterpret_cast<const kova_event_slot_head*>(hd));
}

bool resolve(Hesk* obj, const kova_client_sblock_data& e, bool detect, ServerBlock* out) {
  // Both calls go through the object's pool mutex, so the object's reader
  // and monitor threads may use the pool meanwhile.
  char* p = obj->get_buffer_address(e.bnum, e.shmid, true);
  if (p == nullptr) return false;
  C_shm_buffer* part = obj->find_by_id(e.shmid);
  const int64_t buffer = part != nullptr ? part->getBufferLength() : 0;
  if (buffer < kHead2010) return false;
  ServerBlock b;
  b.base = p;
  b.buffer = buffer;
  uint64_t pattern;
  memcpy(&pattern, p, sizeof(pattern));
  if (detect && pattern == KOVA_SB_PATTERN_2024) {
    if (buffer < kHead2024) return false;
    b.is2024 = true;
    b.head = kHead2024;
    b.ltotal = b.h2024()->ltotal;
    b.nchan = b.h2024()->nchan;
  } else {
    b.head = kHead2010;
    b.ltotal = b.h2010()->ltotal;
    b.nchan = b.h2010()->nchan;
  }
  *out = b;
  return true;
}

}  // namespace hesk_client
