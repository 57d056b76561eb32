// A read-only copy of one event slot and its server blocks, then its dump.
#include "event_slot.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "event_util.h"

namespace {

// A server block copied out of its buffer (8-byte aligned for the printers).
struct BlockCopy {
  kova_client_sblock_data entry;
  std::vector<uint64_t> bytes;  // empty when it could not be copied
  std::string problem;          // why not
};

struct SlotCopy {
  std::vector<uint64_t> head;  // the slot head
  int evtype = -1;
  int sbfilled = 0;
  std::vector<BlockCopy> blocks;
};

size_t head_size(bool b2024) {
  return b2024 ? sizeof(kova_event_slot_head_2024) : sizeof(kova_event_slot_head);
}

// Copies the head and the server-block entries of the slot; false when its
// counts do not fit in the slot.
bool copy_slot(Hesk& h, int slot, SlotCopy* out) {
  const bool b2024 = h.evid64bitmode;
  const char* base = h.ev_buf->buffer_addr(slot);
  const long length = h.ev_buf->getBufferLength();
  if (base == nullptr) return false;
  out->head.assign((head_size(b2024) + 7) / 8, 0);
  memcpy(out->head.data(), base, head_size(b2024));
  int nclients, sbfilled;
  if (b2024) {
    auto* hd = reinterpret_cast<kova_event_slot_head_2024*>(out->head.data());
    out->evtype = hd->evtype;
    nclients = hd->nclients;
    sbfilled = hd->sbfilled;
  } else {
    auto* hd = reinterpret_cast<kova_event_slot_head*>(out->head.data());
    out->evtype = hd->evtype;
    nclients = hd->nclients;
    sbfilled = hd->sbfilled;
  }
  const long entries_at =
      static_cast<long>(head_size(b2024)) + static_cast<long>(sizeof(kova_client_block)) * nclients;
  if (nclients < 0 || sbfilled < 0 ||
      entries_at + static_cast<long>(sizeof(kova_client_sblock_data)) * sbfilled > length)
    return false;
  out->sbfilled = sbfilled;
  out->blocks.assign(static_cast<size_t>(sbfilled), BlockCopy());
  for (int k = 0; k < sbfilled; ++k)
    memcpy(&out->blocks[k].entry, base + entries_at + k * sizeof(kova_client_sblock_data),
           sizeof(kova_client_sblock_data));
  return true;
}

// Copies each server block that lies wholly in its buffer.
void copy_blocks(Hesk& h, SlotCopy* s) {
  for (BlockCopy& b : s->blocks) {
    const kova_client_sblock_data& e = b.entry;
    if (e.shmid == 0 || e.bnum == -1) {
      b.problem = "placeholder";
      continue;
    }
    const char* p = h.get_buffer_address(e.bnum, e.shmid, false);
    C_shm_buffer* part = h.find_by_id(e.shmid);
    if (p == nullptr || part == nullptr) {
      b.problem = "buffer not found";
      continue;
    }
    const long buffer = part->getBufferLength();
    uint64_t pattern = 0;
    memcpy(&pattern, p, sizeof(pattern));
    const bool is2024 = pattern == KOVA_SB_PATTERN_2024;
    const long head =
        is2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
    long ltotal = 0;
    if (buffer >= head)
      ltotal =
          is2024 ? static_cast<long>(reinterpret_cast<const kova_serv_block_head_2024*>(p)->ltotal)
                 : reinterpret_cast<const kova_serv_block_head_2010*>(p)->ltotal;
    if (buffer < head || ltotal < head || ltotal > buffer) {
      b.problem = "ltotal " + std::to_string(ltotal) + " does not fit its buffer of " +
                  std::to_string(buffer) + " bytes";
      continue;
    }
    b.bytes.assign(static_cast<size_t>(ltotal + 7) / 8, 0);
    memcpy(b.bytes.data(), p, static_cast<size_t>(ltotal));
  }
}

void print_block(const SlotCopy& s, const BlockCopy& b, bool b2024) {
  auto* block = reinterpret_cast<kova_serv_block_head*>(const_cast<uint64_t*>(b.bytes.data()));
  uint64_t pattern;
  memcpy(&pattern, b.bytes.data(), sizeof(pattern));
  if (!b2024) {
    dump_server_block(reinterpret_cast<kova_event_slot_head*>(const_cast<uint64_t*>(s.head.data())),
                      block);
    return;
  }
  auto* hd = reinterpret_cast<kova_event_slot_head_2024*>(const_cast<uint64_t*>(s.head.data()));
  if (pattern == KOVA_SB_PATTERN_2024) {
    dump_server_block_2024(hd, reinterpret_cast<kova_serv_block_head_2024*>(block));
    return;
  }
  // A 2010 block in a 2024 slot: the 2010 printer with the slot's values.
  kova_event_slot_head h10;
  memset(&h10, 0, sizeof(h10));
  h10.time = hd->time;
  h10.eventid = static_cast<uint32_t>(hd->eventid);
  h10.evtype = hd->evtype;
  h10.tmask = hd->tmask;
  h10.status = hd->status;
  h10.start = hd->start;
  h10.lupdate = hd->lupdate;
  h10.pid = hd->pid;
  h10.evsize = static_cast<int32_t>(hd->evsize);
  h10.nsblocks = hd->nsblocks;
  h10.sbfilled = hd->sbfilled;
  h10.nclients = hd->nclients;
  dump_server_block(&h10, block);
}

int record_status(Hesk& h, int slot) {
  return h.evid64bitmode ? h.evtctrl2024[slot - 1].status : h.evtctrl[slot - 1].status;
}

}  // namespace

int print_event_slot(Hesk& h, int slot) {
  const int nslots = h.ev_buf->getBufferCount();
  if (slot < 1 || slot >= nslots) {
    fprintf(stderr, "hesk-status: event slot %d does not exist (slots 1 to %d)\n", slot,
            nslots - 1);
    return 1;
  }
  if (record_status(h, slot) != EVT_C_USED) {
    printf("Event slot %d is free\n", slot);
    return 0;
  }
  // First look without the lock, to attach the data partitions the slot
  // names: attaching is not done while the slot's lock is held.
  SlotCopy s;
  if (copy_slot(h, slot, &s)) {
    for (const BlockCopy& b : s.blocks) {
      if (b.entry.shmid == 0 || b.entry.bnum == -1) continue;
      if (h.get_buffer_address(b.entry.bnum, b.entry.shmid, true) == nullptr) continue;
      if (C_shm_buffer* part = h.find_by_id(b.entry.shmid)) part->keep(true);
    }
  }
  bool sound;
  {
    // The copy under the slot's own lock: the event cannot be freed meanwhile.
    while (!h.ev_buf->ctrl(slot, true)) {
    }
    bool used = record_status(h, slot) == EVT_C_USED;
    sound = used && copy_slot(h, slot, &s);
    if (sound) copy_blocks(h, &s);
    h.ev_buf->ctrl(slot, false);
    if (!used) {
      printf("Event slot %d is free\n", slot);
      return 0;
    }
  }
  if (!sound) {
    fprintf(stderr, "hesk-status: event slot %d: its counts do not fit the slot\n", slot);
    return 4;
  }
  printf("Event slot %d: %s (type %d), %d server block%s\n", slot, event_name_itoa(s.evtype),
         s.evtype, s.sbfilled, s.sbfilled == 1 ? "" : "s");
  for (int k = 0; k < s.sbfilled; ++k) {
    const BlockCopy& b = s.blocks[k];
    printf("---- Server block %d: %.255s  shmid: %d  bnum: %d\n", k, b.entry.name, b.entry.shmid,
           b.entry.bnum);
    if (!b.problem.empty())
      printf("     not shown: %s\n", b.problem.c_str());
    else
      print_block(s, b, h.evid64bitmode);
  }
  fflush(stdout);
  return 0;
}
