// The sub-blocks of one server block as the event walk and the server-block
// dump print them, selected by the event type. Sub-blocks are stepped over
// by their ldata and must lie within the server block; the slow lists are
// printed through std::cout.
#include <cinttypes>
#include <cstdio>
#include <iostream>

#include "print_internal.h"

namespace print_detail {

namespace {

using channel_detail::payload;
using channel_detail::payload_length;
using channel_detail::type_of;

void dump_head(Gen2009::Subhead* sb) {
  dump_event_chanhead_2009(sb);
}
void dump_head(Gen2010::Subhead* sb) {
  dump_event_chanhead_2010(sb);
}
void print_payload(Gen2009::Subhead* sb, int mode, int dformat) {
  print_data_type_2009(sb, mode, dformat);
}
void print_payload(Gen2010::Subhead* sb, int mode, int dformat) {
  print_data_type_2010(sb, mode, dformat);
}

template <typename G>
bool is_list(int t) {
  return t == G::kUpdType || t == G::kBorType || t == G::kEorType || t == G::kDictType;
}

// "PROP: name STATUS: s TIME: sec sec usec usec DATA:value" per update entry,
// "INDEX: i PROP: name ABS: a REL:r" per dictionary entry.
template <typename G>
void print_list(typename G::Subhead* sb, const char* dict_title) {
  using Upd = typename G::Upd;
  using Dict = typename G::Dict;
  if (channel_detail::zipped(sb)) return;
  const int t = type_of(sb);
  const int64_t len = payload_length(sb);
  const unsigned char* p = payload(sb);
  if (t == G::kDictType) {
    std::cout << dict_title;
    for (int64_t i = 0; i < len / static_cast<int64_t>(sizeof(Dict)); ++i) {
      const auto e = load<Dict>(p + i * sizeof(Dict));
      std::cout << "INDEX: " << i << " PROP: " << field_text(e.env_prop, sizeof(e.env_prop))
                << " ABS: " << e.env_ch_abs_delta << " REL:" << e.env_ch_rel_delta << std::endl;
    }
    return;
  }
  std::cout << (t == G::kBorType   ? "BOR BLOCK:\n"
                : t == G::kEorType ? "EOR BLOCK:\n"
                                   : "UPD BLOCK:\n");
  for (int64_t i = 0; i < len / static_cast<int64_t>(sizeof(Upd)); ++i) {
    const auto e = load<Upd>(p + i * sizeof(Upd));
    std::cout << "PROP: " << field_text(e.upd_prop, sizeof(e.upd_prop))
              << " STATUS: " << e.upd_ch_status << " TIME: " << e.upd_ch_time.timeup << " sec "
              << e.upd_ch_time.timelow << " usec DATA:" << e.upd_ch_data << std::endl;
  }
}

template <typename G>
void print_one(typename G::Subhead* sb, EventKind kind, const char* dict_title) {
  const int t = type_of(sb);
  switch (kind) {
    case EventKind::kEnv:
    case EventKind::kImage:
      return print_payload(sb, 0, 0);
    case EventKind::kHeadsOnly:
      return dump_head(sb);
    case EventKind::kLists:
      dump_head(sb);
      if (is_list<G>(t)) print_list<G>(sb, dict_title);
      return;
    case EventKind::kOther:
      if (!is_list<G>(t)) return print_payload(sb, 1, 1);
      dump_head(sb);
      print_list<G>(sb, dict_title);
      return;
    case EventKind::kUnknown:
      return;
  }
}

}  // namespace

EventKind event_kind_2009(int e) {
  switch (e) {
    case KOVA_EV_ENV:
      return EventKind::kEnv;
    case KOVA_EV_IMAGE:
      return EventKind::kImage;
    case KOVA_EV_BOR:
    case KOVA_EV_EOR:
    case KOVA_EV_UPD:
      return EventKind::kLists;
    case KOVA_EV_WS:
      return EventKind::kHeadsOnly;
    case KOVA_EV_HB:
    case KOVA_EV_NORMAL:
    case KOVA_EV_GMD:
      return EventKind::kOther;
    default:
      return EventKind::kUnknown;
  }
}

EventKind event_kind_2010(int e) {
  if (e >= KOVA_EV_MCP && e < KOVA_EV_EVMAX) return EventKind::kOther;
  return event_kind_2009(e);
}

EventKind event_kind_2024(int e) {
  return e == KOVA_EV_WS ? EventKind::kOther : event_kind_2010(e);
}

template <typename G>
void print_sub_blocks(unsigned char* first, int64_t room, int nchan, EventKind kind,
                      const char* dict_title, const char* fn) {
  using Subhead = typename G::Subhead;
  unsigned char* p = first;
  std::vector<uint32_t> aligned;
  for (int i = 0; i < nchan; ++i) {
    if (room < static_cast<int64_t>(sizeof(Subhead))) {
      printf("%s() corrupted sub-block %d: %" PRId64 " bytes left in the server block\n", fn, i,
             room);
      return;
    }
    const int32_t ldata = load<int32_t>(p + offsetof(Subhead, ldata));
    if (ldata < static_cast<int32_t>(sizeof(Subhead)) || ldata > room) {
      printf("%s() corrupted sub-block %d: ldata %d, %" PRId64 " bytes left in the server block\n",
             fn, i, ldata, room);
      return;
    }
    // Sub-blocks are read through their records: a block at an odd address
    // is printed from an aligned copy.
    Subhead* sb = reinterpret_cast<Subhead*>(p);
    if (reinterpret_cast<uintptr_t>(p) % alignof(Subhead) != 0) {
      aligned.assign((static_cast<size_t>(ldata) + 3) / 4, 0);
      memcpy(aligned.data(), p, static_cast<size_t>(ldata));
      sb = reinterpret_cast<Subhead*>(aligned.data());
    }
    print_one<G>(sb, kind, dict_title);
    p += ldata;
    room -= ldata;
  }
}

template void print_sub_blocks<Gen2009>(unsigned char*, int64_t, int, EventKind, const char*,
                                        const char*);
template void print_sub_blocks<Gen2010>(unsigned char*, int64_t, int, EventKind, const char*,
                                        const char*);

}  // namespace print_detail
