// Text dumps of the two control partitions. They read shared memory without
// locks, so they show a possibly moving picture.
#include <iostream>
#include <string>

#include "event_path.h"

using namespace hesk_mgr;

namespace {

std::string dashes(int n) {
  return std::string(static_cast<size_t>(n), '-');
}

const char* state_text(int status) {
  switch (status) {
    case CLI_S_WAIT:
      return "  Waiting";
    case CLI_S_NTF:
      return "  Notified";
    case CLI_S_PROC:
      return "  Processing";
    case CLI_S_DONE:
      return "  Done";
    default:
      return "Invalid";
  }
}

// Shows one event slot in use: its head, its clients and its server blocks.
template <class L>
void print_slot(std::ostream& os, const EventSlotView<L>& v, int s) {
  typename L::Head* head = v.head();
  os << "---------------------------------- Event Slot " << s << "  --------------------- ---------"
     << std::endl;
  os << dashes(95) << std::endl;
  os << "  Key              EventType    Tmask   Status   Start      LastUpdate   EvSize   "
        "#SvrBlocks/filled   #Clients"
     << std::endl;
  os << dashes(95) << std::endl;
  os << head->time.timeup << ":" << head->time.timelow << "_" << head->eventid << " "
     << head->evtype << "   " << std::hex << head->tmask << std::dec << "   " << head->status
     << "   " << head->start.timeup << "/" << head->start.timelow << "   " << head->lupdate.timeup
     << "/" << head->lupdate.timelow << "  " << head->evsize << "   " << head->nsblocks << "/"
     << head->sbfilled << "   " << head->nclients << std::endl;

  // Counts that do not fit the slot are shown, their lists are not.
  os << "---- Clients    " << head->nclients << "  ----" << std::endl;
  kova_client_block* blocks = v.clients();
  for (int j = 0, nclients = v.nclients(); j < nclients; ++j) {
    os << "---Client:    " << j << "  ----" << std::endl;
    os << dashes(23) << std::endl;
    os << "  ClientSlot  Status " << std::endl;
    os << dashes(23) << std::endl;
    os << blocks[j].snum << state_text(__atomic_load_n(&blocks[j].status, __ATOMIC_RELAXED))
       << std::endl;
  }
  os << "---- ServerBlocks:    " << head->sbfilled << "  ----" << std::endl;
  os << dashes(44) << std::endl;
  os << " #  Name                      ShmID      Buf# " << std::endl;
  os << dashes(44) << std::endl;
  kova_client_sblock_data* e = v.entries();
  for (int k = 0, filled = v.sbfilled(); k < filled; ++k) {
    os << k << " " << std::string(e[k].name, strnlen(e[k].name, KOVA_SBLOCK_NAME_LEN)) << "   "
       << e[k].shmid << "   " << e[k].bnum << std::endl;
  }
  os << dashes(44) << std::endl;
  os << dashes(44) << std::endl;
}

template <class L>
void dump_events(Hesk& h, std::ostream& os) {
  int nev = HeskAccess::event_slot_count(h);
  for (int s = 1; s < nev; ++s) {
    using R = Record<L>;
    typename L::Ctrl* rec = HeskAccess::record<L>(h, s);
    int status = R::status(rec);
    os << "  Slot: " << s << "  status:           ";
    if (status == EVT_C_FREE) {
      os << "FREE" << std::endl;
      continue;
    }
    if (status != EVT_C_USED) {
      os << "Unknown :" << status;
      continue;
    }
    os << "USED" << std::endl;
    time_stamp key = R::key(rec);
    // The 2010 view's id as the unsigned 32-bit number it is stored as.
    long id =
        L::k2024 ? R::eventid(rec) : static_cast<long>(static_cast<uint32_t>(R::eventid(rec)));
    os << "  key        :       " << key.timeup << ":" << key.timelow << "_" << id << std::endl;
    os << "  event type :       " << R::evtype(rec) << std::endl;
    EventSlotView<L> v(h, s);
    if (v.addressable()) print_slot<L>(os, v, s);
  }
}

void dump_names(std::ostream& os, char (*names)[KOVA_SBLOCK_NAME_LEN], int n) {
  for (int i = 0; i < n; ++i)
    os << "Server # " << i << " " << std::string(names[i], strnlen(names[i], KOVA_SBLOCK_NAME_LEN))
       << std::endl;
  os << std::endl;
}

void dump_type_table(std::ostream& os, const char* title, const char* column,
                     const int32_t* counts) {
  os << title << std::endl;
  os << "----------------------------------" << std::endl;
  os << column << std::endl;
  os << "----------------------------------" << std::endl;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t)
    os << "     " << t << "         " << counts[t] << std::endl;
  os << std::endl;
}

}  // namespace

void Hesk::dump_cl_slots(std::ostream& os) {
  if (cl_buf == nullptr || clictrl == nullptr) {
    os << "Hesk::dump_cl_slots() Global partition not accessed" << std::endl;
    return;
  }
  os << std::endl;
  os << "            Clien Slot Partition - " << clname << std::endl;
  os << std::endl;
  os << "Client Control Block" << std::endl;
  os << "--------------------" << std::endl;
  os << "  status:           " << clictrl->status << std::endl;
  os << "  clients total:    " << clictrl->clitotal << std::endl;
  os << "  readers:          " << clictrl->clireader << std::endl;
  os << "  writers:          " << clictrl->cliwriter << std::endl;
  os << std::endl;
  dump_type_table(os, "Event types subscribed for reading", "  Event  Type        Readers      ",
                  clictrl->evtyper);
  dump_type_table(os, "Event types subscribed for writing", "  Event  Type        Writers      ",
                  clictrl->evtypew);
  os << "Clients information" << std::endl;
  os << "-------------------" << std::endl;
  int ncl = HeskAccess::client_slot_count(*this);
  int lbuf = cl_buf->getBufferLength();
  for (int n = 1; n < ncl; ++n) {
    kova_client_slot_head* s = HeskAccess::client_slot(*this, n);
    if (s == nullptr || if_cl_slot_free(n) != 0) {
      os << "Slot # " << n << "   Not used" << std::endl;
      continue;
    }
    if (s->cltype == CLI_T_READER) {
      os << "Slot # " << n << " a reader" << std::endl;
    } else if (s->cltype == CLI_T_WRITER) {
      os << std::endl << "Slot # " << n << " a writer" << std::endl;
    } else {
      os << std::endl << "Slot # " << n << " unknown client type" << std::endl;
      continue;
    }
    os << "  PID:          " << s->pid << std::endl;
    os << "  Access time:  " << s->atime.timeup << " " << s->atime.timelow << std::endl;
    os << "  Events:       " << s->evcnt << std::endl;
    os << "  Event Type:   " << s->evtype << std::endl;
    int cnt;
    if (s->cltype == CLI_T_WRITER) {
      kova_client_writer* w = writer_part(s);
      os << "  Time-out:     " << w->cl.time_out.timeup << " " << w->cl.time_out.timelow
         << std::endl;
      os << "  Priority:     " << w->cl.pri << std::endl;
      os << "  Triggers:     " << w->cl.tmask << std::endl;
      os << "  # of blocks:  " << w->nsblocks << std::endl;
      cnt = std::min(std::max(w->nsblocks, 0), name_capacity(CLI_T_WRITER, lbuf));
      dump_names(os, w->sblocks, cnt);
    } else {
      kova_client_reader* r = reader_part(s);
      os << "  Time ratio:   " << r->cl.time_ratio.timeup << " " << r->cl.time_ratio.timelow
         << std::endl;
      os << "  Priority:     " << r->cl.pri << std::endl;
      os << "  Triggers:     " << r->cl.tmask << std::endl;
      os << "  Port    :     " << r->qid << std::endl;
      os << "  # of blocks:  " << r->nsblocks << std::endl;
      cnt = std::min(std::max(r->nsblocks, 0), name_capacity(CLI_T_READER, lbuf));
      dump_names(os, r->sblocks, cnt);
    }
  }
}

void Hesk::dump_cl_slots() {
  dump_cl_slots(std::cout);
}

void Hesk::dump_ev_slots(std::ostream& os) {
  if (ev_buf == nullptr || evtctrl == nullptr) {
    os << "Hesk::dump_ev_slots() Global partition not accessed" << std::endl;
    return;
  }
  os << std::endl;
  os << "            Event Slot Partition - " << evname << std::endl;
  os << std::endl;
  os << "Event Control Block" << std::endl;
  os << "--------------------" << std::endl;
  if (evid64bitmode)
    dump_events<Layout2024>(*this, os);
  else
    dump_events<Layout2010>(*this, os);
}

void Hesk::dump_ev_slots() {
  dump_ev_slots(std::cout);
}

void print_out_event(Hesk* hesk, void* evtctrl, C_shm_buffer* ev_buf, int slot, bool lock) {
  (void)evtctrl;
  if (hesk == nullptr || ev_buf == nullptr || ev_buf->buffer_addr(slot) == nullptr || slot < 1) {
    message("print_out_event(): Failed to find event slot: %d ", slot);
    return;
  }
  SlotLock lock0(lock ? ev_buf : nullptr, 0);
  void* head = ev_buf->buffer_addr(slot);
  if (hesk->evid64bitmode)
    print_slot<Layout2024>(std::cout, EventSlotView<Layout2024>(head, ev_buf->getBufferLength()),
                           slot);
  else
    print_slot<Layout2010>(std::cout, EventSlotView<Layout2010>(head, ev_buf->getBufferLength()),
                           slot);
}
