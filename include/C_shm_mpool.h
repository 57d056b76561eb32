// C_shm_mpool is a process-local pool of partitions (C_shm_buffer objects),
// reachable by partition name, by segment id and by buffer length. It takes
// a buffer from the best-fitting partition, turns a (buffer number, segment
// id) pair into an address (attaching partitions it has not seen yet), and
// returns buffers by address or by number. The pool owns the objects it
// creates and destroys them with itself. Segment ids below 1 stand for no id.
//
// Threads: the pool takes no lock of its own. Calls on one pool object from
// several threads (including the adds made by get_buffer_address) must be
// serialised by the caller. Taking and returning buffers is safe between
// processes and between pools.
#ifndef HESK_C_SHM_MPOOL_H
#define HESK_C_SHM_MPOOL_H

#include <iosfwd>
#include <map>
#include <string>

#include "C_shm_buffer.h"

typedef std::map<std::string, C_shm_buffer*> buf_map_names;
typedef std::map<int, C_shm_buffer*> buf_map_ids;
typedef std::multimap<int, C_shm_buffer*> buf_map_sz;

class C_shm_mpool {
 public:
  C_shm_mpool();
  C_shm_mpool(const C_shm_mpool&) = delete;
  C_shm_mpool& operator=(const C_shm_mpool&) = delete;
  // Destroys every partition object of the pool (each returns its held
  // buffer and releases its partition).
  ~C_shm_mpool();

  // Adds the existing partition of that name / id. false: added or already
  // in the pool; true: missing, not attachable or of another version.
  bool add(const char* name);
  bool add(int id);
  // Finds or creates a partition (see the C_shm constructor) and adds it.
  // Returns its segment id, or -1 (reported) when it has no access.
  int add(const char* name, int nbuf, int lbuf, bool sems);
  // Takes a partition out of the pool and destroys its object. false on
  // success; true for an empty pool or no such entry.
  bool remove(const char* name);
  bool remove(int id);

  C_shm_buffer* find_by_name(const char* name);
  C_shm_buffer* find_by_id(int id);
  // Whether the entry's object has access; false without entry; true (!) on
  // an empty pool.
  bool exists(int id);
  bool exists(const char* name);
  // Passes mode to the partition's bufmode; a missing id is reported.
  void bufmode(int mode, const char* name);
  void bufmode(int mode, int id);

  // Takes a buffer of at least size bytes: from partition *id when id is
  // given with *id > 0, else from the shortest fitting buffers first (equal
  // lengths in order of addition). Stores the buffer number in *bnum and the
  // partition id in *id when given. Null when none could be taken.
  char* get_buffer_from_pool(int mode, int size, int* id, int* bnum);
  // Buffer number of addr in the first partition (ascending ids) with a
  // buffer starting there; its id goes to *id. -1 when none.
  int get_buffer_id_from_pool(char* addr, int* id);
  // Address of buffer bnum of partition id; with autoadd a partition not yet
  // in the pool is added first. Null on an empty pool or when not found.
  char* get_buffer_address(int bnum, int id, bool autoadd);
  // Returns a buffer to its partition. false: given back; true otherwise.
  bool return_buffer_in_pool(char* addr);
  bool return_buffer_in_pool(char* addr, int id);
  bool return_buffer_in_pool(int bnum, int id);

  void pooldump(std::ostream& os);
  void pooldump();

 protected:
  // Enter / remove an object's entries in the three maps.
  void map_buffer(C_shm_buffer* obj);
  void unmap_buffer(C_shm_buffer* obj);

  buf_map_names buffers_names;  // partition name -> object
  buf_map_ids buffers_ids;      // segment id -> object
  buf_map_sz buffers_sz;        // buffer length -> objects, in order of addition

 private:
  bool empty() const { return buffers_sz.empty(); }
  bool add_object(C_shm_buffer* obj);
};

#endif  // HESK_C_SHM_MPOOL_H
