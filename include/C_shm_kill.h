// C_shm_kill removes a partition by name when it goes out of scope: the
// constructor zeroes the partition's user count (C_shm::Zeuss), so the
// release in the destructor finds no user left and removes the semaphore set
// and the segment. A missing partition makes both steps do nothing; without
// the right to remove the partition, Error() is "No Priviledge for attempted
// operation" and the partition stays as it was. Processes still using the
// partition find its semaphores gone, so callers drop their own objects on it
// first.
//
// Threads: as C_shm.
#ifndef HESK_C_SHM_KILL_H
#define HESK_C_SHM_KILL_H

#include "C_shm.h"

class C_shm_kill : public C_shm {
 public:
  explicit C_shm_kill(const char* name);
  C_shm_kill(const C_shm_kill&) = delete;
  C_shm_kill& operator=(const C_shm_kill&) = delete;
};

#endif  // HESK_C_SHM_KILL_H
