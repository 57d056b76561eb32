// Partition pool: three maps over the owned C_shm_buffer objects, best-fit
// buffer selection, and address <-> (id, buffer number) translation.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <new>
#include <set>
#include <vector>

#include "C_shm_mpool.h"

namespace {

int stat_number(const C_shm& obj, const char* key) {
  return static_cast<int>(std::strtol(obj.getStat(key).c_str(), nullptr, 10));
}

}  // namespace

C_shm_mpool::C_shm_mpool() = default;

C_shm_mpool::~C_shm_mpool() {
  // Name order first; then objects that only an id or a length still
  // reaches (a later add of the same name replaced their name entry).
  std::vector<C_shm_buffer*> order;
  std::set<C_shm_buffer*> seen;
  for (auto& e : buffers_names) {
    if (seen.insert(e.second).second) order.push_back(e.second);
  }
  for (auto& e : buffers_ids) {
    if (seen.insert(e.second).second) order.push_back(e.second);
  }
  for (auto& e : buffers_sz) {
    if (seen.insert(e.second).second) order.push_back(e.second);
  }
  for (C_shm_buffer* obj : order) delete obj;
  buffers_names.clear();
  buffers_ids.clear();
  buffers_sz.clear();
}

void C_shm_mpool::map_buffer(C_shm_buffer* obj) {
  buffers_names[obj->getStat("name")] = obj;
  buffers_ids[stat_number(*obj, "shmid")] = obj;
  for (auto& e : buffers_sz) {
    if (e.second == obj) return;
  }
  // A multimap inserts after the entries of equal key: order of addition.
  buffers_sz.emplace(stat_number(*obj, "lbuf"), obj);
}

void C_shm_mpool::unmap_buffer(C_shm_buffer* obj) {
  for (auto it = buffers_sz.begin(); it != buffers_sz.end(); ++it) {
    if (it->second == obj) {
      buffers_sz.erase(it);
      break;
    }
  }
  // Only entries that still lead to obj: a later object of the same name or
  // id keeps its own.
  auto n = buffers_names.find(obj->getStat("name"));
  if (n != buffers_names.end() && n->second == obj) buffers_names.erase(n);
  auto i = buffers_ids.find(stat_number(*obj, "shmid"));
  if (i != buffers_ids.end() && i->second == obj) buffers_ids.erase(i);
}

bool C_shm_mpool::add_object(C_shm_buffer* obj) {
  if (obj == nullptr) return true;
  if (!obj->valid()) {
    delete obj;
    return true;
  }
  map_buffer(obj);
  return false;
}

bool C_shm_mpool::add(const char* name) {
  if (name == nullptr) return true;
  if (buffers_names.count(name) != 0) return false;
  return add_object(new (std::nothrow) C_shm_buffer(name));
}

bool C_shm_mpool::add(int id) {
  if (id < 1) return true;
  if (buffers_ids.count(id) != 0) return false;
  return add_object(new (std::nothrow) C_shm_buffer(id));
}

int C_shm_mpool::add(const char* name, int nbuf, int lbuf, bool sems) {
  C_shm_buffer* obj = name ? new (std::nothrow) C_shm_buffer(name, nbuf, lbuf, sems) : nullptr;
  if (obj == nullptr || !obj->valid()) {
    std::printf("C_shm_mpool::add() %s %d %d  bf->valid():%d\n", name ? name : "(null)", nbuf, lbuf,
                0);
    std::fflush(stdout);
    delete obj;
    return -1;
  }
  map_buffer(obj);
  return stat_number(*obj, "shmid");
}

bool C_shm_mpool::remove(const char* name) {
  if (empty() || name == nullptr) return true;
  auto it = buffers_names.find(name);
  if (it == buffers_names.end()) return true;
  C_shm_buffer* obj = it->second;
  unmap_buffer(obj);
  delete obj;
  return false;
}

bool C_shm_mpool::remove(int id) {
  if (empty()) return true;
  auto it = buffers_ids.find(id);
  if (it == buffers_ids.end()) return true;
  C_shm_buffer* obj = it->second;
  unmap_buffer(obj);
  delete obj;
  return false;
}

C_shm_buffer* C_shm_mpool::find_by_name(const char* name) {
  if (name == nullptr) return nullptr;
  auto it = buffers_names.find(name);
  return it == buffers_names.end() ? nullptr : it->second;
}

C_shm_buffer* C_shm_mpool::find_by_id(int id) {
  if (id < 1) return nullptr;
  auto it = buffers_ids.find(id);
  return it == buffers_ids.end() ? nullptr : it->second;
}

bool C_shm_mpool::exists(int id) {
  if (empty()) return true;
  C_shm_buffer* obj = find_by_id(id);
  return obj != nullptr && obj->valid();
}

bool C_shm_mpool::exists(const char* name) {
  if (empty()) return true;
  C_shm_buffer* obj = find_by_name(name);
  return obj != nullptr && obj->valid();
}

void C_shm_mpool::bufmode(int mode, const char* name) {
  if (empty()) return;
  if (C_shm_buffer* obj = find_by_name(name)) obj->bufmode(mode);
}

void C_shm_mpool::bufmode(int mode, int id) {
  if (empty()) return;
  C_shm_buffer* obj = find_by_id(id);
  if (obj == nullptr) {
    std::printf("Partition not found: %d\n ", id);
    return;
  }
  obj->bufmode(mode);
}

char* C_shm_mpool::get_buffer_from_pool(int mode, int size, int* id, int* bnum) {
  if (empty() || size < 0) return nullptr;
  C_shm_buffer* from = nullptr;
  char* addr = nullptr;
  if (id != nullptr && *id > 0) {
    from = find_by_id(*id);
    if (from == nullptr || from->getBufferLength() < size) return nullptr;
    addr = from->get_buffer(mode, true);
  } else {
    for (auto it = buffers_sz.lower_bound(size); it != buffers_sz.end() && addr == nullptr; ++it) {
      from = it->second;
      addr = from->get_buffer(mode, true);
    }
    if (addr != nullptr && id != nullptr) *id = stat_number(*from, "shmid");
  }
  if (addr == nullptr) return nullptr;
  if (bnum != nullptr) *bnum = from->buffer_id(addr);
  return addr;
}

int C_shm_mpool::get_buffer_id_from_pool(char* addr, int* id) {
  if (empty()) return -1;
  for (auto& e : buffers_ids) {
    const int b = e.second->buffer_id(addr);
    if (b >= 0) {
      if (id != nullptr) *id = e.first;
      return b;
    }
  }
  return -1;
}

char* C_shm_mpool::get_buffer_address(int bnum, int id, bool autoadd) {
  if (empty()) return nullptr;
  C_shm_buffer* obj = find_by_id(id);
  if (obj == nullptr && autoadd && id >= 1) {
    add(id);
    obj = find_by_id(id);
  }
  return obj == nullptr ? nullptr : obj->buffer_addr(bnum);
}

bool C_shm_mpool::return_buffer_in_pool(char* addr) {
  if (empty()) return true;
  for (auto& e : buffers_ids) {
    if (!e.second->return_buffer(addr)) return false;
  }
  return true;
}

bool C_shm_mpool::return_buffer_in_pool(char* addr, int id) {
  if (empty() || id < 1) return true;
  C_shm_buffer* obj = find_by_id(id);
  return obj == nullptr ? true : obj->return_buffer(addr);
}

bool C_shm_mpool::return_buffer_in_pool(int bnum, int id) {
  if (empty() || id < 1 || bnum < 0) return true;
  C_shm_buffer* obj = find_by_id(id);
  return obj == nullptr ? true : obj->return_buffer(bnum);
}

void C_shm_mpool::pooldump() {
  pooldump(std::cout);
}

void C_shm_mpool::pooldump(std::ostream& os) {
  if (empty()) {
    os << "C_shm_mpool::dump() No partition in the pool" << std::endl;
    return;
  }
  int n = 0;
  for (auto& e : buffers_ids) {
    os << "Partition " << n++ << std::endl;
    e.second->dump(os);
  }
}
