// The event control records (buffer 0 of the event partition, one record per
// event slot) as the manager reads and writes them.
//
// Writers look for the record of their block's event without a lock and
// then check what they found under the slot's own lock, so every field is
// read and written here as relaxed 32-bit atomic accesses (the records are
// only 4-byte aligned; a 64-bit id is two halves). Changes are made under
// the slot's lock, and a record goes from free to used only under event
// lock 0 as well, so that two writers never set up two slots for one event.
#ifndef HESK_MANAGER_EVENT_RECORDS_H
#define HESK_MANAGER_EVENT_RECORDS_H

#include "manager_internal.h"

namespace hesk_mgr {

inline int32_t load32(const int32_t* p) {
  return __atomic_load_n(p, __ATOMIC_RELAXED);
}
inline uint32_t load32(const uint32_t* p) {
  return __atomic_load_n(p, __ATOMIC_RELAXED);
}
inline void store32(int32_t* p, int32_t v) {
  __atomic_store_n(p, v, __ATOMIC_RELAXED);
}
inline void store32(uint32_t* p, uint32_t v) {
  __atomic_store_n(p, v, __ATOMIC_RELAXED);
}

// What identifies an event: its type, its key (time mode) and its id
// (event-id mode), as taken from a block or a record.
struct EventKey {
  int evtype;
  time_stamp key;
  long id;
};

template <class L>
struct Record {
  using Ctrl = typename L::Ctrl;

  static int status(const Ctrl* r) { return load32(&r->status); }
  static int evtype(const Ctrl* r) { return load32(&r->evtype); }
  static time_stamp key(const Ctrl* r) {
    return time_stamp{load32(&r->key.timeup), load32(&r->key.timelow)};
  }
  static long eventid(const Ctrl* r) {
    if constexpr (L::k2024) {
      const uint32_t* half = reinterpret_cast<const uint32_t*>(&r->eventid);
      return static_cast<long>(static_cast<uint64_t>(load32(half + 1)) << 32 | load32(half));
    } else {
      return static_cast<long>(load32(&r->eventid));
    }
  }
  static void set_status(Ctrl* r, int status) { store32(&r->status, status); }
  static void set_eventid(Ctrl* r, long id) {
    if constexpr (L::k2024) {
      uint32_t* half = reinterpret_cast<uint32_t*>(&r->eventid);
      store32(half, static_cast<uint32_t>(static_cast<uint64_t>(id)));
      store32(half + 1, static_cast<uint32_t>(static_cast<uint64_t>(id) >> 32));
    } else {
      store32(&r->eventid, static_cast<uint32_t>(id));
    }
  }
  // A record set up for an event; the status goes last.
  static void set_used(Ctrl* r, const EventKey& k) {
    store32(&r->key.timeup, k.key.timeup);
    store32(&r->key.timelow, k.key.timelow);
    store32(&r->evtype, k.evtype);
    set_eventid(r, L::k2024 ? k.id : static_cast<uint32_t>(k.id));
    set_status(r, EVT_C_USED);
  }

  // Whether the stored id and a block's id denote one event: equal, or equal
  // once bit 31 of either is cleared. The 2010 view stores 32-bit ids, so
  // there the id is taken by its low 32 bits.
  static bool same_id(long stored, long id) {
    if constexpr (L::k2024) {
      return stored == id || (stored & ~0x80000000L) == id || stored == (id & ~0x80000000L);
    } else {
      uint32_t s = static_cast<uint32_t>(stored), i = static_cast<uint32_t>(id);
      return s == i || (s & 0x7FFFFFFFu) == i || s == (i & 0x7FFFFFFFu);
    }
  }
  // Whether used record r holds event k, by id (event-id mode) or by key
  // within the time mask (time mode).
  static bool holds(Hesk& h, const Ctrl* r, const EventKey& k) {
    if (status(r) != EVT_C_USED || evtype(r) != k.evtype) return false;
    if (h.smode == HESK_SYNCH_EVID) return same_id(eventid(r), k.id);
    time_stamp a = key(r), b = k.key;
    return !h.ev_keys_eq(&a, &b);
  }
  // In event-id mode a stored id below the block's is raised to it (bit 31
  // cleared in the 2010 view). REQUIRES: the slot's lock.
  static void raise_id(Hesk& h, Ctrl* r, long id) {
    if (h.smode != HESK_SYNCH_EVID) return;
    long stored = eventid(r);
    if constexpr (L::k2024) {
      if (stored < id) set_eventid(r, id);
    } else {
      uint32_t i = static_cast<uint32_t>(id);
      if (static_cast<uint32_t>(stored) < i) set_eventid(r, i & 0x7FFFFFFFu);
    }
  }
};

// The first used record of event k, or -1; *bad_mode tells an unknown
// synchronisation mode. Read without a lock: the caller checks the answer
// under the slot's lock.
template <class L>
int scan_records(Hesk& h, const EventKey& k, bool* bad_mode) {
  *bad_mode = h.smode != HESK_SYNCH_EVID && h.smode != HESK_SYNCH_TIME;
  if (*bad_mode) return -1;
  for (int s = 1, n = HeskAccess::event_slot_count(h); s < n; ++s)
    if (Record<L>::holds(h, HeskAccess::record<L>(h, s), k)) return s;
  return -1;
}

}  // namespace hesk_mgr

#endif  // HESK_MANAGER_EVENT_RECORDS_H
