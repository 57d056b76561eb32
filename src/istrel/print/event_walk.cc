// Whole events of the three generations: the header, each server block with
// its sub-blocks as the event type selects, and the tail. The walk stays
// within event_length: a server block must fit in what is left of it.
#include <cinttypes>
#include <cstdio>

#include "print_internal.h"

namespace print_detail {

namespace {

struct Event2009 {
  using Header = kova_eventheader;
  using ServerHead = kova_serv_block_head;
  using Gen = Gen2009;
  using Tail = kova_eventtail;
  static constexpr const char* kFn = "print_event_2009";
  static constexpr const char* kDictTitle = "ENV DISCTIONARY:\n";
  static constexpr bool kStopAtLength = false;
  static void dump_header(Header* h) { dump_event_header_(h); }
  static void dump_server(ServerHead* h) { dump_event_subheader(nullptr, h); }
  static EventKind kind(int e) { return event_kind_2009(e); }
  static void print_tail(const Tail& t) { printf("TAIL: %d\n", static_cast<int>(t.event_length)); }
};

struct Event2010 {
  using Header = kova_eventheader;
  using ServerHead = kova_serv_block_head_2010;
  using Gen = Gen2010;
  using Tail = kova_eventtail;
  static constexpr const char* kFn = "print_event_2010";
  static constexpr const char* kDictTitle = "ENV DICTIONARY:\n";
  static constexpr bool kStopAtLength = true;
  static void dump_header(Header* h) { dump_event_header_(h); }
  static void dump_server(ServerHead* h) { dump_event_subheader_2010(nullptr, h); }
  static EventKind kind(int e) { return event_kind_2010(e); }
  static void print_tail(const Tail& t) {
    printf("TAIL: length:%d\n", static_cast<int>(t.event_length));
  }
};

struct Event2024 {
  using Header = kova_eventheader_2024;
  using ServerHead = kova_serv_block_head_2024;
  using Gen = Gen2010;
  using Tail = kova_eventtail_2024;
  static constexpr const char* kFn = "print_event_2024";
  static constexpr const char* kDictTitle = "ENV DICTIONARY:\n";
  static constexpr bool kStopAtLength = true;
  static void dump_header(Header* h) { dump_event_header_2024_(h); }
  static void dump_server(ServerHead* h) { dump_event_subheader_2024(nullptr, h); }
  static EventKind kind(int e) { return event_kind_2024(e); }
  static void print_tail(const Tail& t) {
    printf("TAIL: length:%lu\n", static_cast<unsigned long>(t.event_length));
  }
};

// A 2024 head without its pattern is not read any further.
bool readable(const kova_serv_block_head_2024& h) {
  return h.pattern == KOVA_SB_PATTERN_2024;
}
template <typename ServerHead>
bool readable(const ServerHead&) {
  return true;
}

template <typename E>
void walk(typename E::Header* evhd, char* buffer) {
  using ServerHead = typename E::ServerHead;
  if (evhd == nullptr) return;
  E::dump_header(evhd);
  const int64_t head = sizeof(typename E::Header);
  const int64_t tail = sizeof(typename E::Tail);
  const int64_t length = static_cast<int64_t>(evhd->event_length);
  const int64_t room = length - head - tail;  // bytes of server blocks
  if (room < 0) {
    printf("%s() corrupted event: length %" PRId64 " below %" PRId64 "\n", E::kFn, length,
           head + tail);
    return;
  }
  unsigned char* blocks = buffer != nullptr ? reinterpret_cast<unsigned char*>(buffer)
                                            : reinterpret_cast<unsigned char*>(evhd) + head;
  int64_t off = 0;
  for (int i = 0; i < evhd->num_svr_block; ++i) {
    if (E::kStopAtLength && off >= room) break;
    ServerHead sh;
    if (room - off < static_cast<int64_t>(sizeof(sh))) {
      printf("%s() corrupted server block %d: %" PRId64 " bytes left in the event\n", E::kFn, i,
             room - off);
      break;
    }
    memcpy(&sh, blocks + off, sizeof(sh));
    const int64_t ltotal = sh.ltotal;
    if (ltotal < static_cast<int64_t>(sizeof(sh)) || ltotal > room - off) {
      printf("%s() corrupted server block %d: ltotal %" PRId64 ", %" PRId64
             " bytes left in the event\n",
             E::kFn, i, ltotal, room - off);
      break;
    }
    E::dump_server(&sh);
    if (readable(sh)) {
      const EventKind kind = E::kind(evhd->event_type);
      if (kind == EventKind::kUnknown)
        printf("Uknonwn Event Type: %d\n", evhd->event_type);
      else
        print_sub_blocks<typename E::Gen>(blocks + off + sizeof(sh), ltotal - sizeof(sh), sh.nchan,
                                          kind, E::kDictTitle, E::kFn);
    }
    off += ltotal;
  }
  // The tail is the last thing event_length covers.
  E::print_tail(load<typename E::Tail>(blocks + room));
}

}  // namespace

}  // namespace print_detail

using namespace print_detail;

extern "C" {

void print_event_2009(kova_eventheader* evhd, char* buffer) {
  walk<Event2009>(evhd, buffer);
}

void print_event_2010(kova_eventheader* evhd, char* buffer) {
  walk<Event2010>(evhd, buffer);
}

void print_event_2024(kova_eventheader_2024* evhd, char* buffer) {
  walk<Event2024>(evhd, buffer);
}

void print_event(void* evhd, char* buffer) {
  if (is_data_format_2010())
    print_event_2010(static_cast<kova_eventheader*>(evhd), buffer);
  else if (!is_data_format_2024())
    print_event_2009(static_cast<kova_eventheader*>(evhd), buffer);
  else
    print_event_2024(static_cast<kova_eventheader_2024*>(evhd), buffer);
}

}  // extern "C"
