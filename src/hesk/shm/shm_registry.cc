// Process-wide state of the partition layer: the list of all C_shm objects
// and the registry of mapped segments. Each registry entry counts the objects
// of this process attached to one segment and remembers the single mapping
// they share; the mapping is unmapped when the count drops to zero. Everything
// here runs under mx_cnts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "C_shm.h"
#include "ipc_sys.h"

namespace {

// Registry entry with the mapping the counted objects share.
struct mapped_entry : shmid_entry {
  char* addr;
  long long size;
};

mapped_entry* entry_of(std::vector<shmid_entry*>& list, int shmid, size_t* pos = nullptr) {
  for (size_t k = 0; k < list.size(); ++k) {
    if (list[k]->id == shmid) {
      if (pos) *pos = k;
      return static_cast<mapped_entry*>(list[k]);
    }
  }
  return nullptr;
}

}  // namespace

std::recursive_mutex C_shm::mx_cnts;
std::vector<shmid_entry*>* C_shm::shmid_list = nullptr;
C_shm* C_shm::base = nullptr;

std::vector<shmid_entry*>& C_shm::registry() {
  if (shmid_list == nullptr) shmid_list = new std::vector<shmid_entry*>;
  return *shmid_list;
}

int C_shm::add_shmid_entry(int shmid) {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  std::vector<shmid_entry*>& list = registry();
  if (mapped_entry* e = entry_of(list, shmid)) {
    ++e->cnt;
    return 0;
  }
  mapped_entry* e = new (std::nothrow) mapped_entry{};
  if (e == nullptr) {
    std::printf("add_shmid_entry() failed to malloc()\n");
    return -1;
  }
  e->id = shmid;
  e->cnt = 1;
  e->addr = nullptr;
  e->size = 0;
  try {
    list.push_back(e);
  } catch (const std::bad_alloc&) {
    delete e;
    std::printf("add_shmid_entry() failed to malloc()\n");
    return -1;
  }
  return 1;
}

int C_shm::rem_shmid_entry(int shmid) {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  std::vector<shmid_entry*>& list = registry();
  size_t pos = 0;
  mapped_entry* e = entry_of(list, shmid, &pos);
  if (e == nullptr) {
    std::printf("rem_shmid_entry() shmid: %d  NOT FOUND\n", shmid);
    return -1;
  }
  if (e->cnt <= 1) {
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(pos));
    delete e;
    return 0;
  }
  --e->cnt;
  return 1;
}

bool C_shm::attach_id(int shmid) {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  std::vector<shmid_entry*>& list = registry();
  mapped_entry* e = entry_of(list, shmid);
  char* addr = (e != nullptr) ? e->addr : nullptr;
  long long size = (e != nullptr) ? e->size : 0;
  if (addr == nullptr) {
    shmid_ds ds;
    if (hesk_shm::seg_stat(shmid, &ds) != 0) return false;
    if (ds.shm_segsz < sizeof(C_shm_global)) {
      errno = EINVAL;  // too small to be a partition
      return false;
    }
    addr = hesk_shm::seg_attach(shmid);
    if (addr == nullptr) return false;
    size = static_cast<long long>(ds.shm_segsz);
    if (add_shmid_entry(shmid) < 0) {
      hesk_shm::seg_detach(addr);
      errno = ENOMEM;
      return false;
    }
    e = entry_of(list, shmid);
    e->addr = addr;
    e->size = size;
  } else {
    ++e->cnt;
  }
  pointer = reinterpret_cast<C_shm_global*>(addr);
  mSegSize = size;
  ident = shmid;
  attached = true;
  return true;
}

void C_shm::detach_mapping() {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  if (!attached) return;
  mapped_entry* e = entry_of(registry(), ident);
  char* addr = (e != nullptr) ? e->addr : nullptr;
  // Only the last object of this process on the segment unmaps it; an entry
  // lost to a stray rem_shmid_entry leaves the mapping in place.
  if (rem_shmid_entry(ident) == 0 && addr != nullptr) hesk_shm::seg_detach(addr);
  attached = false;
  pointer = nullptr;
  conptr = nullptr;
  bufptr = nullptr;
  mSegSize = 0;
}

void C_shm::link_object() {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  link = base;
  base = this;
}

void C_shm::unlink_object() {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  for (C_shm** p = &base; *p != nullptr; p = &(*p)->link) {
    if (*p == this) {
      *p = link;
      break;
    }
  }
  link = nullptr;
}

void C_shm::flush() {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  base = nullptr;
}

int C_shm::attaches(const char* name) {
  if (name == nullptr) return 0;
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  int n = 0;
  for (C_shm* o = base; o != nullptr; o = o->link) {
    if (o->attached && o->pointer != nullptr &&
        std::strncmp(o->pointer->name, name, sizeof(o->pointer->name)) == 0) {
      ++n;
    }
  }
  return n;
}

int C_shm::attaches(int shmid) {
  std::lock_guard<std::recursive_mutex> guard(mx_cnts);
  int n = 0;
  for (C_shm* o = base; o != nullptr; o = o->link) {
    if (o->attached && o->ident == shmid) ++n;
  }
  return n;
}

std::vector<int> C_shm::partition_ids() {
  std::vector<int> ids;
  for (key_t key = hesk_shm::kFirstKey; key < hesk_shm::kEndKey; ++key) {
    int id = hesk_shm::seg_find(key, sizeof(C_shm_global));
    if (id >= 0) ids.push_back(id);
  }
  return ids;
}
