// Buffer queues of a partition: FIFOs of buffer indices linked through the
// descriptors. Callers hold the partition's gate.
#include "C_shm_int.h"

namespace {

bool in_range(int i, int nbuf) {
  return i >= 0 && i < nbuf;
}

}  // namespace

void C_shm_BufferQ::init() {
  head = -1;
  tail = -1;
}

int C_shm_BufferQ::length(const C_shm_buf* bufs, int nbuf) const {
  int n = 0;
  for (int i = head; in_range(i, nbuf) && n < nbuf; i = bufs[i].link) ++n;
  return n;
}

void C_shm_BufferQ::link(C_shm_buf* bufs, int nbuf, int i) {
  if (!in_range(i, nbuf)) return;
  bufs[i].link = -1;
  if (!empty() && in_range(tail, nbuf)) {
    bufs[tail].link = i;
  } else {
    head = i;
  }
  tail = i;
}

int C_shm_BufferQ::remove(C_shm_buf* bufs, int nbuf) {
  int i = head;
  if (!in_range(i, nbuf)) {
    init();  // empty, or a corrupted head: nothing can be taken
    return -1;
  }
  head = bufs[i].link;
  if (head < 0) tail = -1;
  bufs[i].link = -1;
  return i;
}

bool C_shm_BufferQ::remove(C_shm_buf* bufs, int nbuf, int i) {
  if (!in_range(i, nbuf) || empty()) return false;
  if (head == i) return remove(bufs, nbuf) == i;
  int prev = head;
  for (int steps = 0; in_range(prev, nbuf) && steps < nbuf; ++steps) {
    int next = bufs[prev].link;
    if (next == i) {
      bufs[prev].link = bufs[i].link;
      if (bufs[prev].link < 0) tail = prev;
      bufs[i].link = -1;
      return true;
    }
    prev = next;
  }
  return false;
}
