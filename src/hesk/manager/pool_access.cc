// The partition pool of a Hesk object, serialised between the caller's
// thread and the object's reader and monitor threads: every pool operation
// called on the object takes its pool mutex.
#include <utility>
#include <vector>

#include "manager_internal.h"

namespace {
using Guard = std::lock_guard<std::recursive_mutex>;
}  // namespace

bool Hesk::add(const char* name) {
  Guard g(pool_mx_);
  return C_shm_mpool::add(name);
}
bool Hesk::add(int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::add(id);
}
int Hesk::add(const char* name, int nbuf, int lbuf, bool sems) {
  Guard g(pool_mx_);
  return C_shm_mpool::add(name, nbuf, lbuf, sems);
}
bool Hesk::remove(const char* name) {
  Guard g(pool_mx_);
  return C_shm_mpool::remove(name);
}
bool Hesk::remove(int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::remove(id);
}
C_shm_buffer* Hesk::find_by_name(const char* name) {
  Guard g(pool_mx_);
  return C_shm_mpool::find_by_name(name);
}
C_shm_buffer* Hesk::find_by_id(int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::find_by_id(id);
}
bool Hesk::exists(int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::exists(id);
}
bool Hesk::exists(const char* name) {
  Guard g(pool_mx_);
  return C_shm_mpool::exists(name);
}
void Hesk::bufmode(int mode, const char* name) {
  Guard g(pool_mx_);
  C_shm_mpool::bufmode(mode, name);
}
void Hesk::bufmode(int mode, int id) {
  Guard g(pool_mx_);
  C_shm_mpool::bufmode(mode, id);
}
char* Hesk::get_buffer_from_pool(int mode, int size, int* id, int* bnum) {
  // The partitions to try are chosen under the mutex; the take itself (which
  // may wait for a buffer that this object's reader thread is about to give
  // back) runs without it. Only the caller's thread removes partitions, so
  // the objects stay valid meanwhile.
  std::vector<std::pair<int, C_shm_buffer*>> tries;
  {
    Guard g(pool_mx_);
    if (buffers_sz.empty() || size < 0) return nullptr;
    if (id != nullptr && *id > 0) {
      auto it = buffers_ids.find(*id);
      if (it == buffers_ids.end() || it->second->getBufferLength() < size) return nullptr;
      tries.emplace_back(*id, it->second);
    } else {
      for (auto it = buffers_sz.lower_bound(size); it != buffers_sz.end(); ++it) {
        int shmid = -1;
        for (auto& e : buffers_ids)
          if (e.second == it->second) shmid = e.first;
        tries.emplace_back(shmid, it->second);
      }
    }
  }
  for (auto& t : tries) {
    char* addr = t.second->get_buffer(mode, true);
    if (addr == nullptr) continue;
    if (id != nullptr) *id = t.first;
    if (bnum != nullptr) *bnum = t.second->buffer_id(addr);
    return addr;
  }
  return nullptr;
}
int Hesk::get_buffer_id_from_pool(char* addr, int* id) {
  Guard g(pool_mx_);
  return C_shm_mpool::get_buffer_id_from_pool(addr, id);
}
char* Hesk::get_buffer_address(int bnum, int id, bool autoadd) {
  Guard g(pool_mx_);
  return C_shm_mpool::get_buffer_address(bnum, id, autoadd);
}
bool Hesk::return_buffer_in_pool(char* addr) {
  Guard g(pool_mx_);
  return C_shm_mpool::return_buffer_in_pool(addr);
}
bool Hesk::return_buffer_in_pool(char* addr, int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::return_buffer_in_pool(addr, id);
}
bool Hesk::return_buffer_in_pool(int bnum, int id) {
  Guard g(pool_mx_);
  return C_shm_mpool::return_buffer_in_pool(bnum, id);
}
void Hesk::pooldump(std::ostream& os) {
  Guard g(pool_mx_);
  C_shm_mpool::pooldump(os);
}
void Hesk::pooldump() {
  Guard g(pool_mx_);
  C_shm_mpool::pooldump();
}
char* Hesk::pool_buffer_address(int bnum, int id) {
  return get_buffer_address(bnum, id, true);
}
bool Hesk::pool_return_buffer(int bnum, int id) {
  return return_buffer_in_pool(bnum, id);
}
