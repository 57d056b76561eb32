// Turning a stored type-23 sub-block into a container: a new owning container
// (copy) or a container over a fresh block that refers into the payload
// (wrap), with the time and event id of the event it came from.
#include <cstdlib>
#include <new>

#include "eqdata_fill.h"
#include "eqdata_layout.h"
#include "event_util.h"

namespace {

using namespace bridge_detail;

// Where the time and event id come from, whichever generation.
struct Origin {
  uint32_t sec = 0;
  uint32_t usec = 0;
  uint64_t evid = 0;
};

int to_eqdata(const Origin& origin, bool wide_id, kova_serv_block_subhead_2010* subhead,
              EqData** pdata, bool copy) {
  if (subhead == nullptr || pdata == nullptr) return KOVA_EQDATA_ERR_INVAL_PARAM;
  if ((subhead->dtype & KOVA_DTYPE_MASK) != KOVA_BLOCK_EQDATA) return KOVA_EQDATA_ERR_UNKNOWN_TYPE;
  // The payload is what the sub-block's length leaves after its head.
  const int64_t avail =
      static_cast<int64_t>(subhead->ldata) - static_cast<int64_t>(sizeof(*subhead));
  if (avail < static_cast<int64_t>(kValueAt)) return KOVA_EQDATA_ERR_NO_ROOM;
  unsigned char* payload = reinterpret_cast<unsigned char*>(subhead + 1);

  EqDataBlock* own_block = nullptr;
  EqData* c = nullptr;
  if (copy) {
    c = new (std::nothrow) EqData();
  } else {
    own_block = static_cast<EqDataBlock*>(calloc(1, sizeof(EqDataBlock)));
    if (own_block != nullptr) c = new (std::nothrow) EqData(own_block, true);
  }
  auto discard = [&](int rc) {
    delete c;
    free(own_block);
    return rc;
  };
  if (c == nullptr) return discard(KOVA_EQDATA_ERR_INVAL_PARAM);

  EqDataBlock* b = c->get_data_block();
  b->tm = origin.sec;
  b->tm_usec = static_cast<int32_t>(origin.usec);
  if (wide_id) {
    c->set_event_id(quorm::EventId(origin.evid));
  } else {
    b->mp_lo = static_cast<uint32_t>(origin.evid);
    b->mp_hi = 0;
  }
  const int32_t type = load<int32_t>(payload);
  if (copy) {
    if (c->set_type(type) != EQ_OK) return discard(KOVA_EQDATA_ERR_INVAL_PARAM);
  } else {
    b->data_type = type;
  }
  const int64_t tm = load<int64_t>(payload + 4);
  const int32_t usec = load<int32_t>(payload + 16);
  const uint32_t lo = load<uint32_t>(payload + 20);
  const uint32_t hi = load<uint32_t>(payload + 24);
  if (tm != 0) b->tm = tm;
  b->error = load<int32_t>(payload + 12);
  if (usec != 0) b->tm_usec = usec;
  if (lo != 0) b->mp_lo = lo;
  if (hi != 0) b->mp_hi = hi;
  b->unused0 = load<int32_t>(payload + 28);
  b->unused1 = load<int32_t>(payload + 32);
  b->unused2 = load<int32_t>(payload + 36);
  b->unused3 = load<int32_t>(payload + 40);

  int rc = fill_in(c, payload + kValueAt, static_cast<uint64_t>(avail) - kValueAt, copy);
  if (rc != KOVA_EQDATA_OK) return discard(rc);
  *pdata = c;
  return KOVA_EQDATA_OK;
}

}  // namespace

extern "C" {

int kova_daq_to_eqdata(kova_event_slot_head* hd, kova_serv_block_head_2010* event,
                       kova_serv_block_subhead_2010* subhead, EqData** pdata, bool copy) {
  Origin o;
  if (hd != nullptr) {
    o = {hd->time.timeup, hd->time.timelow, hd->eventid};
  } else if (event != nullptr) {
    o = {event->time.timeup, event->time.timelow, static_cast<uint32_t>(event->mpulse)};
  }
  return to_eqdata(o, false, subhead, pdata, copy);
}

int kova_daq_to_eqdata_2024(kova_event_slot_head_2024* hd, kova_serv_block_head_2024* event,
                            kova_serv_block_subhead_2010* subhead, EqData** pdata, bool copy) {
  Origin o;
  if (hd != nullptr) {
    o = {hd->time.timeup, hd->time.timelow, static_cast<uint64_t>(hd->eventid)};
  } else if (event != nullptr) {
    o = {event->time.timeup, event->time.timelow, static_cast<uint64_t>(event->mpulse)};
  }
  return to_eqdata(o, true, subhead, pdata, copy);
}

}  // extern "C"
