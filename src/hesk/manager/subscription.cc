// Subscriptions of writers and readers: client slots and the counters of the
// client control block. A slot's head and the counters are written under
// client lock 0 together, so that anyone holding lock 0 sees a slot either
// free (all zero) or fully subscribed and counted.
#include <cstring>

#include "SysError.h"
#include "slot_view.h"

using namespace hesk_mgr;

namespace {

// Counter decrement that never goes below zero.
void drop(int32_t& counter) {
  if (counter > 0) --counter;
}

void write_slot(Hesk& h, kova_client_slot_head* head, KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type,
                kova_client* client, std::list<std::string>* names) {
  head->pid = static_cast<int32_t>(h.mpid);
  head->atime = now();
  head->evcnt = 0;
  head->cltype = type;
  head->evtype = evtype;
  int n = names ? static_cast<int>(names->size()) : 0;
  char(*dest)[KOVA_SBLOCK_NAME_LEN];
  if (type == CLI_T_READER) {
    kova_client_reader* r = reader_part(head);
    memcpy(&r->cl, client, sizeof(kova_client));
    r->qid = h.port;
    r->nsblocks = n;
    dest = r->sblocks;
  } else {
    kova_client_writer* w = writer_part(head);
    memcpy(&w->cl, client, sizeof(kova_client));
    w->nsblocks = n;
    dest = w->sblocks;
  }
  if (names == nullptr) return;
  int i = 0;
  for (const std::string& name : *names) {
    memset(dest[i], 0, KOVA_SBLOCK_NAME_LEN);
    strncpy(dest[i], name.c_str(), KOVA_SBLOCK_NAME_LEN - 1);
    ++i;
  }
}

void count_subscription(kova_client_ctrl_block* ctrl, KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type) {
  ctrl->clitotal += 1;
  __atomic_store_n(&ctrl->status, static_cast<int32_t>(CLI_C_UPD), __ATOMIC_RELEASE);
  if (type == CLI_T_READER) {
    ctrl->clireader += 1;
    ctrl->evtyper[evtype] += 1;
  } else {
    ctrl->cliwriter += 1;
    ctrl->evtypew[evtype] += 1;
  }
}

}  // namespace

int Hesk::subscribe(KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type, kova_client* client,
                    std::list<std::string>* names) {
  if (!ready_.load() || cl_buf == nullptr || ev_buf == nullptr || clictrl == nullptr) return -1;
  if ((type != CLI_T_READER && type != CLI_T_WRITER) || !valid_evtype(evtype) || client == nullptr)
    return -1;
  int n = names ? static_cast<int>(names->size()) : 0;
  // A list longer than the slot holds is refused rather than written past it.
  if (n > name_capacity(type, cl_buf->getBufferLength())) {
    message("subscribe(): %d server block names do not fit into a client slot (at most %d)", n,
            name_capacity(type, cl_buf->getBufferLength()));
    return -1;
  }
  bool started_reader = false;
  if (type == CLI_T_READER && qid < 0) {
    // Without a reader thread nobody would read the port the slot records.
    if (start_reader()) return -1;
    started_reader = true;
  }
  try {
    char* addr = cl_buf->get_buffer(4, true);
    int slot = addr ? cl_buf->buffer_id(addr) : -1;
    if (slot < 1) {
      if (addr != nullptr && slot >= 0) cl_buf->return_buffer(slot);
      if (started_reader && sreader.empty()) stop_reader();
      return -1;
    }
    {
      SlotLock ctrl_lock(cl_buf, 0);
      SlotLock slot_lock(cl_buf, slot);
      write_slot(*this, reinterpret_cast<kova_client_slot_head*>(addr), evtype, type, client,
                 names);
      count_subscription(clictrl, evtype, type);
    }
    std::lock_guard<std::mutex> lists(lists_mx_);
    (type == CLI_T_READER ? sreader : swriter).push_back(slot);
    return slot;
  } catch (const SysError&) {
    forced_clean();
    return -2;
  }
}

int Hesk::unsubscribe(KOVA_EVTYPE evtype, BUF_MNG_CLI_TYPE type) {
  std::list<int>* held;
  if (type == CLI_T_READER)
    held = &sreader;
  else if (type == CLI_T_WRITER)
    held = &swriter;
  else
    return -1;
  if (held->empty()) return -1;
  int last = -1;
  try {
    for (auto it = held->begin(); it != held->end();) {
      kova_client_slot_head* s = HeskAccess::client_slot(*this, *it);
      if (s == nullptr || s->evtype != evtype) {
        ++it;
        continue;
      }
      last = *it;
      {
        SlotLock ctrl_lock(cl_buf, 0);
        free_cl_slot(*it, nullptr);
      }
      std::lock_guard<std::mutex> lists(lists_mx_);
      it = held->erase(it);
    }
    if (type == CLI_T_READER && sreader.empty() && last != -1) stop_reader();
  } catch (const SysError&) {
    forced_clean();
    return -2;
  }
  return last;
}

void Hesk::cl_subscribed(int* writers, int* readers) {
  int w = 0, r = 0;
  if (cl_buf != nullptr && clictrl != nullptr) {
    SlotLock ctrl_lock(cl_buf, 0);
    w = clictrl->cliwriter;
    r = clictrl->clireader;
  }
  if (writers) *writers = w;
  if (readers) *readers = r;
}

bool Hesk::free_cl_slot(int slot, int* port_out) {
  ClientSlotView cv(*this, slot);
  kova_client_slot_head* s = cv.head();
  if (s == nullptr || clictrl == nullptr) return true;
  SlotLock lock(cl_buf, slot);
  if (cv.is_reader()) {
    if (valid_evtype(s->evtype)) drop(clictrl->evtyper[s->evtype]);
    drop(clictrl->clireader);
    if (port_out) *port_out = reader_part(s)->qid;
  } else if (cv.is_writer()) {
    if (valid_evtype(s->evtype)) drop(clictrl->evtypew[s->evtype]);
    drop(clictrl->cliwriter);
  }
  drop(clictrl->clitotal);
  memset(s, 0, cl_buf->getBufferLength());
  cl_buf->return_buffer(slot);
  return false;
}

int Hesk::if_cl_slot_free(int slot) {
  if (cl_buf == nullptr) return -1;
  return cl_buf->buffer_status(slot);
}
