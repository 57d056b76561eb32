// Status of a partition: error texts, getStat answers, the printed dump,
// flag words, buffer addresses and the memory lock.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>

#include "C_shm.h"
#include "SysError.h"
#include "ipc_sys.h"

namespace {

// Plain decimal, with a leading "-" for negative values.
std::string puti(long long v) {
  return std::to_string(v);
}

// The names of the set flags, each followed by a comma, the last comma
// removed; "-" when none is set.
std::string flag_names(int status) {
  std::string s;
  if (status & C_SHM_RELEASE) s += "release,";
  if (status & C_SHM_SCAVAGE) s += "scavage,";
  if (status & C_SHM_SYNCH) s += "synch,";
  if (status & C_SHM_EXPOSE) s += "expose,";
  if (s.empty()) return "-";
  s.pop_back();
  return s;
}

int load(const int32_t& v) {
  return __atomic_load_n(&v, __ATOMIC_RELAXED);
}

}  // namespace

const char* C_shm::Error() const {
  switch (shm_error) {
    case NoError:
      return "No error";
    case NotAttached:
      return "Partition not attached";
    case IncompatiblePartition:
      return "Existing partition is incompatible with request";
    case CantGetSem:
      return "Semaphore doesn't exist";
    case NoFreeID:
      return "No free partition IDs are available";
    case CantAttach:
      return "Unable to attach partition";
    case CantCreate:
      return "Unable to create a new partition";
    case CantCreateSem:
      return "Unable to create a new semaphore";
    case NoPriviledge:
      return "No Priviledge for attempted operation";
    case BadVersion:
      return "Incompatible version number";
  }
  return "Unidentifier error";
}

C_shm_buf* C_shm::descriptors() const {
  return reinterpret_cast<C_shm_buf*>(reinterpret_cast<char*>(pointer) + C_SHM_GLOBAL_SIZE);
}

// Number of descriptors that really lie inside the mapped segment, so that a
// corrupted buffer count cannot send a walk out of bounds.
int C_shm::desc_count() const {
  long long n = pointer->nbuf;
  const long long fit = (mSegSize - C_SHM_GLOBAL_SIZE) / C_SHM_DESC_SIZE;
  if (n > fit) n = fit;
  return n < 0 ? 0 : static_cast<int>(n);
}

char* C_shm::buffer_addr(int i) const {
  if (!accessed || i < 0 || i >= NBuff) return nullptr;
  const long long off = bufptr[i].boff;
  if (off < C_shm_data_offset(NBuff) || off + NByte > mSegSize) return nullptr;
  return reinterpret_cast<char*>(pointer) + off;
}

int C_shm::buffer_id(const char* addr) const {
  if (!accessed || addr == nullptr) return -1;
  const auto start = reinterpret_cast<uintptr_t>(pointer);
  const auto at = reinterpret_cast<uintptr_t>(addr);
  if (at < start || at - start >= static_cast<uintptr_t>(mSegSize)) return -1;
  const long long off = static_cast<long long>(at - start);
  const long long data = C_shm_data_offset(NBuff);
  if (NByte > 0 && off >= data) {
    const long long i = (off - data) / NByte;
    if (i < NBuff && bufptr[i].boff == off) return static_cast<int>(i);
  }
  for (int i = 0; i < NBuff; ++i) {
    if (bufptr[i].boff == off) return i;
  }
  return -1;
}

int C_shm::buffer_length(int i) const {
  if (!accessed || i < 0 || i >= NBuff) return 0;
  return bufptr[i].ldata;
}

int C_shm::buffer_status(int i) const {
  if (!accessed || i < 0 || i >= NBuff) return -1;
  // Read under the gate, which every change of it holds; a partition whose
  // semaphores are gone is read as it lies.
  try {
    gate_wait();
  } catch (const SysError&) {
    return load(bufptr[i].status);
  }
  int status = bufptr[i].status;
  gate(false);
  return status;
}

bool C_shm::testFlag(int flag) const {
  if (pointer == nullptr) return false;
  return (load(pointer->status) & flag) != 0;
}

void C_shm::bufmode(int mode) {
  int bits;
  switch (mode) {
    case 0:
      bits = C_SHM_RELEASE;
      break;
    case 1:
      bits = 0;
      break;
    case 2:
      bits = C_SHM_SCAVAGE;
      break;
    case 3:
      bits = C_SHM_RELEASE | C_SHM_EXPOSE;
      break;
    default:
      std::printf("C_shm::bufmode: Invalid mode %d request\n", mode);
      return;
  }
  if (!attached) return;
  gate_wait();
  pointer->status = (pointer->status & ~(C_SHM_RELEASE | C_SHM_SCAVAGE | C_SHM_EXPOSE)) | bits;
  gate(false);
}

void C_shm::rqsynch(bool on) {
  if (!attached) return;
  gate_wait();
  if (on) {
    pointer->status |= C_SHM_SYNCH;
  } else {
    pointer->status &= ~C_SHM_SYNCH;
  }
  gate(false);
}

void C_shm::keep(bool on) {
  kpflg = on;
}

void C_shm::lock(bool on) {
  if (!attached) {
    shm_error = NotAttached;
    return;
  }
  if (geteuid() != 0 || hesk_shm::seg_lock(ident, on) != 0) shm_error = NoPriviledge;
}

std::string C_shm::getStat(const std::string& key) const {
  if (!attached || pointer == nullptr) return "0";
  const C_shm_global* g = pointer;
  const C_shm_buf* d = descriptors();
  const int n = desc_count();
  if (key == "exists") return "1";
  if (key == "name") return std::string(g->name, strnlen(g->name, sizeof(g->name)));
  if (key == "pflags") return flag_names(load(g->status));
  if (key == "shmid") return puti(ident);
  if (key == "version") return puti(g->version);
  if (key == "nbuf") return puti(g->nbuf);
  if (key == "lbuf") return puti(g->lbuf);
  if (key == "use_count") return puti(load(g->gbl_count));
  if (key == "mode" || key == "owner" || key == "creator") {
    // Permission bits (octal) and owner / creator user id of the segment.
    shmid_ds ds;
    if (hesk_shm::seg_stat(ident, &ds) != 0) return "-1";
    if (key == "owner") return puti(ds.shm_perm.uid);
    if (key == "creator") return puti(ds.shm_perm.cuid);
    char text[8];
    std::snprintf(text, sizeof(text), "%04o", static_cast<unsigned>(ds.shm_perm.mode & 0777));
    return text;
  }
  if (key == "maxcons") return "0";
  if (key == "semglobal") return puti(g->gbl_semid);
  if (key == "buffer_tot") {
    long long sum = 0;
    for (int i = 0; i < n; ++i) sum += d[i].evt_count;
    return puti(sum);
  }
  if (key == "last_ID") {
    const int t = load(g->full.tail);
    if (t < 0 || t >= n) return "-0";
    return puti(d[t].data_ID);
  }
  if (key == "fullbuf" || key == "freebuf" || key == "usedbuf") {
    // Counted under the gate; a segment of unknown layout has no gate.
    if (g->version != C_SHM_VERSION) return "0";
    gate_wait();
    long long count = 0;
    if (key == "fullbuf") {
      count = g->full.length(d, n);
    } else if (key == "freebuf") {
      count = g->free.length(d, n);
    } else {
      int steps = 0;
      for (int i = g->full.head; i >= 0 && i < n && steps < n; i = d[i].link, ++steps) {
        if (d[i].use_count != 0) ++count;
      }
    }
    gate(false);
    return puti(count);
  }
  return "Undefined parameter";
}

void C_shm::dump() const {
  dump(std::cout);
}

void C_shm::dump(std::ostream& os) const {
  if (!attached || pointer == nullptr) {
    os << "Partition not attached" << std::endl;
    return;
  }
  const C_shm_global* g = pointer;
  const C_shm_buf* d = descriptors();
  const int n = desc_count();
  const std::ios::fmtflags flags = os.flags();
  const char fill = os.fill();

  os << std::endl;
  os << "            Event Manager Partition - "
     << std::string(g->name, strnlen(g->name, sizeof(g->name))) << std::endl;
  os << std::endl;
  os << "Global Control Data" << std::endl;
  os << "-------------------" << std::endl;
  os << "  version:           " << g->version / 100 << "." << std::setw(2) << std::setfill('0')
     << g->version % 100 << std::setfill(fill) << std::endl;
  os << "  status:            " << flag_names(g->status) << std::endl;
  os << "  global use count:  " << g->gbl_count << std::endl;
  os << "  global sem id:     " << g->gbl_semid << std::endl;
  os << "  # buffers:         " << g->nbuf << std::endl;
  os << "  buffer length:     " << g->lbuf << std::endl;
  os << "  first full buffer: " << g->full.head << std::endl;
  os << "  last full buffer:  " << g->full.tail << std::endl;
  os << "  first free buffer: " << g->free.head << std::endl;
  os << std::endl;
  os << "Buffer Status" << std::endl;
  os << "-------------" << std::endl;
  os << " id status use   ldata   link  t-mask   count" << std::endl;
  for (int i = 0; i < n; ++i) {
    os << std::dec << std::setw(3) << i << std::hex << std::setw(5) << d[i].status << std::dec
       << std::setw(5) << d[i].use_count << std::setw(9) << d[i].ldata << std::setw(5) << d[i].link
       << std::setw(9) << d[i].trig << std::setw(8) << d[i].evt_count << std::endl;
  }
  os.flags(flags);
}
