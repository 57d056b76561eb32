// C_shm_buffer is a partition handle (C_shm) that hands out and takes back
// single buffers of its partition. Taking a buffer consumes one count of the
// partition's free-buffer semaphore and takes the head of the free queue;
// returning it appends it to the free queue and posts the count again, so the
// count always equals the free buffers. A buffer is named by its index
// (buffer number) together with the partition's segment id.
//
// Threads and processes: any number of processes and threads may take and
// return buffers of one partition at once; the queues change only under the
// partition's gate. One C_shm_buffer object remembers at most one held buffer
// (ibuf); calls that use or change it (get_buffer with untracked false,
// return_buffer(), SetID) must not run concurrently on one object.
#ifndef HESK_C_SHM_BUFFER_H
#define HESK_C_SHM_BUFFER_H

#include "C_shm.h"

class C_shm_buffer : public C_shm {
 public:
  C_shm_buffer();
  explicit C_shm_buffer(const char* name);
  explicit C_shm_buffer(int shmid);
  C_shm_buffer(const char* name, int nbuf, int lbuf, bool sems);
  C_shm_buffer(const C_shm_buffer&) = delete;
  C_shm_buffer& operator=(const C_shm_buffer&) = delete;
  // Returns the held buffer, then releases the partition; never throws.
  ~C_shm_buffer();

  // Takes a free buffer and returns its address, or null when none could be
  // taken. mode containing 4: never wait. untracked false: the buffer is held
  // by this object and a second call returns it again; untracked true: each
  // call takes another buffer and the object does not remember it.
  // Throws std::logic_error("Partition not attached") without access, and
  // SysError when the partition's semaphores fail unexpectedly.
  char* get_buffer(int mode, bool untracked);
  // Gives back the held buffer. false: given back; true: nothing given back.
  bool return_buffer();
  // Gives back the buffer starting at addr; true when addr is no buffer
  // start of this partition, else false (also when it was already free).
  bool return_buffer(char* addr);
  // Gives back buffer bnum; true for a bad number or a buffer already free.
  bool return_buffer(int bnum);
  // Stores id as the data identifier of the held buffer; forgets the held
  // buffer when it is invalid or free.
  void SetID(int id);

 protected:
  int ibuf;  // index of the held buffer, -1 for none

 private:
  bool synch_wait(bool nowait);
  int take_locked(bool* scavenged);
  bool return_index(int i);
};

#endif  // HESK_C_SHM_BUFFER_H
