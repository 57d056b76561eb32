// Byte layout of a shared-memory partition, as every process of a host sees
// it: a 300-byte global control record, one 48-byte descriptor per buffer,
// then the data area. A partition of nbuf buffers of lbuf bytes occupies
// exactly 300 + (48 + lbuf) * nbuf bytes:
//
//   offset 0                 C_shm_global (300 bytes)
//   offset 300               consumer area, empty: no C_shm_consbk is stored
//   offset 300               C_shm_buf[nbuf], descriptor i at 300 + 48 * i
//   offset 300 + 48 * nbuf   data, buffer i at 300 + 48 * nbuf + i * lbuf
//
// All fields are in host byte order. The descriptor array starts at offset
// 300, which is only 4-byte aligned, so the records are packed to 4 bytes;
// buffer data is in general only 4-byte aligned as well.
//
// The records are plain data living in shared memory. The global record, both
// queues and the queue fields of the descriptors may only be changed while
// holding the partition's gate semaphore (see C_shm::gate); the queue
// operations below do not lock by themselves.
#ifndef HESK_C_SHM_INT_H
#define HESK_C_SHM_INT_H

#include <cstddef>
#include <cstdint>

// Format version stored in every partition.
constexpr int32_t C_SHM_VERSION = 102;

// Partition flag word (C_shm_global::status).
enum {
  C_SHM_RELEASE = 1,  // an unused buffer of the full queue may be taken back
  C_SHM_SCAVAGE = 2,  // an empty free queue makes takers search the full queue
  C_SHM_SYNCH = 4,    // takers first wait on the synch semaphore
  C_SHM_EXPOSE = 16   // shown only
};

// Buffer descriptor status bit: the buffer sits in the free queue.
constexpr int32_t C_SHM_BUF_FREE = 1;

// Semaphores of a partition's set. Slot lock i is semaphore gbl_nsems + i and
// exists only when the partition was made with per-buffer semaphores.
enum gblsem {
  gbl_gate = 0,   // lock: global record, queues, user count (initially 1)
  gbl_empty = 1,  // number of buffers in the free queue (initially nbuf)
  gbl_full = 2,   // number of buffers in the full queue (initially 0)
  gbl_synch = 3,  // the synch wait (never set explicitly)
  gbl_nsems = 4   // number of global semaphores
};

#pragma pack(push, 4)

struct C_shm_buf;

// FIFO of buffer indices, singly linked through C_shm_buf::link; -1 in head
// and tail means empty. Every operation takes the descriptor array and the
// buffer count and ignores indices outside 0..nbuf-1, and walks stop after
// nbuf steps, so a corrupted queue can neither send them out of bounds nor
// loop forever.
struct C_shm_BufferQ {
  int32_t head;
  int32_t tail;

  void init();
  bool empty() const { return head < 0; }
  // Number of buffers reachable from head.
  int length(const C_shm_buf* bufs, int nbuf) const;
  // Appends buffer i at the tail; its link becomes -1.
  void link(C_shm_buf* bufs, int nbuf, int i);
  // Takes the head off the queue and returns it, or -1 when empty.
  int remove(C_shm_buf* bufs, int nbuf);
  // Takes buffer i off the queue wherever it is; false when it is not queued.
  bool remove(C_shm_buf* bufs, int nbuf, int i);
};

// Global control record at offset 0.
struct C_shm_global {
  int32_t status;     // partition flag word, 3 at creation
  int32_t version;    // C_SHM_VERSION
  int32_t gbl_count;  // objects (over all processes) that have access
  int32_t gbl_semid;  // id of the semaphore set
  int32_t nbuf;       // number of buffers
  int32_t lbuf;       // length of every buffer in bytes
  uint8_t sems;       // 1: one slot lock per buffer follows the global ones
  uint8_t pad[3];
  C_shm_BufferQ full;
  C_shm_BufferQ free;
  char name[256];  // NUL-terminated, at most 255 characters
};

// Descriptor of one buffer.
struct C_shm_buf {
  int32_t status;     // C_SHM_BUF_FREE while queued as free; 0 while handed out
  int32_t boff;       // offset of the buffer's data from the segment start
  int32_t use_count;  // users of a full buffer
  int32_t ldata;      // length of the data in the buffer
  int32_t trig;       // trigger mask of the data
  int32_t pad;
  int64_t fill_time;  // seconds, when the buffer was filled
  int32_t data_ID;    // identifier given to the data
  int32_t owner_pid;  // process that took the buffer
  int32_t link;       // next buffer of the same queue, -1 at the end
  int32_t evt_count;  // event counter of the buffer
};

// Consumer block. Declared for completeness; no partition contains one.
struct C_shm_consbk {
  int32_t mxbuf;
  int32_t trig_mask;
  int32_t min_time;
  int32_t min_sep;
  int32_t time_ctr;
  int32_t skip_ctr;
  int32_t seg_ctr;
  int32_t seg_tot;
  int32_t flags;
  int32_t pid;
};

#pragma pack(pop)

// Offsets of the three areas and the total size of a partition.
constexpr int C_SHM_GLOBAL_SIZE = 300;
constexpr int C_SHM_DESC_SIZE = 48;
constexpr long long C_shm_data_offset(int nbuf) {
  return C_SHM_GLOBAL_SIZE + static_cast<long long>(C_SHM_DESC_SIZE) * nbuf;
}
constexpr long long C_shm_size(int nbuf, int lbuf) {
  return C_SHM_GLOBAL_SIZE + (static_cast<long long>(C_SHM_DESC_SIZE) + lbuf) * nbuf;
}

static_assert(sizeof(C_shm_BufferQ) == 8, "C_shm_BufferQ is 8 bytes");
static_assert(sizeof(C_shm_global) == C_SHM_GLOBAL_SIZE, "C_shm_global is 300 bytes");
static_assert(offsetof(C_shm_global, status) == 0, "status at 0");
static_assert(offsetof(C_shm_global, version) == 4, "version at 4");
static_assert(offsetof(C_shm_global, gbl_count) == 8, "gbl_count at 8");
static_assert(offsetof(C_shm_global, gbl_semid) == 12, "gbl_semid at 12");
static_assert(offsetof(C_shm_global, nbuf) == 16, "nbuf at 16");
static_assert(offsetof(C_shm_global, lbuf) == 20, "lbuf at 20");
static_assert(offsetof(C_shm_global, sems) == 24, "sems at 24");
static_assert(offsetof(C_shm_global, full) == 28, "full queue at 28");
static_assert(offsetof(C_shm_global, free) == 36, "free queue at 36");
static_assert(offsetof(C_shm_global, name) == 44, "name at 44");

static_assert(sizeof(C_shm_buf) == C_SHM_DESC_SIZE, "C_shm_buf is 48 bytes");
static_assert(alignof(C_shm_buf) == 4, "descriptors start at offset 300");
static_assert(offsetof(C_shm_buf, status) == 0, "status at 0");
static_assert(offsetof(C_shm_buf, boff) == 4, "boff at 4");
static_assert(offsetof(C_shm_buf, use_count) == 8, "use_count at 8");
static_assert(offsetof(C_shm_buf, ldata) == 12, "ldata at 12");
static_assert(offsetof(C_shm_buf, trig) == 16, "trig at 16");
static_assert(offsetof(C_shm_buf, fill_time) == 24, "fill_time at 24");
static_assert(offsetof(C_shm_buf, data_ID) == 32, "data_ID at 32");
static_assert(offsetof(C_shm_buf, owner_pid) == 36, "owner_pid at 36");
static_assert(offsetof(C_shm_buf, link) == 40, "link at 40");
static_assert(offsetof(C_shm_buf, evt_count) == 44, "evt_count at 44");

static_assert(sizeof(C_shm_consbk) == 40, "C_shm_consbk is ten 32-bit fields");
static_assert(offsetof(C_shm_consbk, pid) == 36, "pid is the last field");

static_assert(C_shm_size(4, 1000) == 4492, "4 buffers of 1000 bytes");

#endif  // HESK_C_SHM_INT_H
