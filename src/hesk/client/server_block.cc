// Server blocks of an event resolved through a Hesk object's pool.
#include "server_block.h"

namespace hesk_client {

SlotInfo slot_info_any(const kova_event_slot_head_2024* hd) {
  uint64_t pattern;
  memcpy(&pattern, hd, sizeof(pattern));
  if (pattern == KOVA_EV_SLOT_PATTERN_2024) return slot_info(hd);
  return slot_info(reinterpret_cast<const kova_event_slot_head*>(hd));
}

bool view_block(char* p, int64_t buffer, bool detect, ServerBlock* out) {
  if (p == nullptr || buffer < kHead2010) return false;
  ServerBlock b;
  b.base = p;
  b.buffer = buffer;
  uint64_t pattern;
  memcpy(&pattern, p, sizeof(pattern));
  if (detect && pattern == KOVA_SB_PATTERN_2024) {
    if (buffer < kHead2024) return false;
    b.is2024 = true;
    b.head = kHead2024;
    int64_t ltotal;
    memcpy(&ltotal, p + offsetof(kova_serv_block_head_2024, ltotal), sizeof(ltotal));
    b.ltotal = ltotal;
    b.nchan = load_i32(p + offsetof(kova_serv_block_head_2024, nchan));
  } else {
    b.head = kHead2010;
    b.ltotal = load_i32(p + offsetof(kova_serv_block_head_2010, ltotal));
    b.nchan = load_i32(p + offsetof(kova_serv_block_head_2010, nchan));
  }
  *out = b;
  return true;
}

bool resolve(Hesk* obj, const kova_client_sblock_data& e, bool detect, ServerBlock* out) {
  // The pool is asked through the object's serialised methods, so the
  // object's reader and monitor threads may use it meanwhile. A partition
  // not yet in the pool is attached and added first, as get_buffer_address
  // does with autoadd (here also while the pool is still empty).
  C_shm_buffer* part = obj->find_by_id(e.shmid);
  if (part == nullptr) {
    if (e.shmid < 1 || obj->add(e.shmid)) return false;
    part = obj->find_by_id(e.shmid);
    if (part == nullptr) return false;
  }
  // The partition object stays while this event is handled (only the
  // caller's own thread removes partitions); its buffer addresses may be
  // read from any thread.
  return view_block(part->buffer_addr(e.bnum), part->getBufferLength(), detect, out);
}

}  // namespace hesk_client
