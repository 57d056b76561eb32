// One server block as the buffer manager holds it, with the event slot that
// names its event type. The sub-blocks must lie within the block's ltotal.
#include <cinttypes>
#include <cstdio>

#include "print_internal.h"

using namespace print_detail;

namespace {

const char kNoType[] = "dump_server_block() no event type given\n";
const char kDictTitle[] = "ENV DISCTIONARY:\n";

template <typename G, typename ServerHead, typename Slot>
void dump_body(Slot* hd, unsigned char* block, const ServerHead& sh, EventKind kind,
               const char* fn) {
  const int64_t ltotal = sh.ltotal;
  if (ltotal < static_cast<int64_t>(sizeof(sh))) {
    printf("%s() corrupted server block: ltotal %" PRId64 "\n", fn, ltotal);
    return;
  }
  if (kind == EventKind::kUnknown) {
    printf("Uknonwn Event Type: %d\n", hd->evtype);
    return;
  }
  print_sub_blocks<G>(block + sizeof(sh), ltotal - sizeof(sh), sh.nchan, kind, kDictTitle, fn);
}

}  // namespace

extern "C" {

void dump_server_block(kova_event_slot_head* hd, kova_serv_block_head* event) {
  if (hd == nullptr) {
    printf(kNoType);
    return;
  }
  if (event == nullptr) return;
  auto* block = reinterpret_cast<unsigned char*>(event);
  if (!channel_detail::long_subheads()) {
    kova_serv_block_head sh;
    memcpy(&sh, block, sizeof(sh));
    dump_event_subheader(hd, &sh);
    dump_body<Gen2009>(hd, block, sh, event_kind_2009(hd->evtype), "dump_server_block");
    return;
  }
  kova_serv_block_head_2010 sh;
  memcpy(&sh, block, sizeof(sh));
  dump_event_subheader_2010(hd, &sh);
  const EventKind kind =
      is_data_format_2024() ? event_kind_2024(hd->evtype) : event_kind_2010(hd->evtype);
  dump_body<Gen2010>(hd, block, sh, kind, "dump_server_block");
}

void dump_server_block_2024(kova_event_slot_head_2024* hd, kova_serv_block_head_2024* event) {
  if (hd == nullptr) {
    printf(kNoType);
    return;
  }
  if (event == nullptr) return;
  auto* block = reinterpret_cast<unsigned char*>(event);
  kova_serv_block_head_2024 sh;
  memcpy(&sh, block, sizeof(sh));
  dump_event_subheader_2024(hd, &sh);
  // A slot or head without its pattern gets only the complaint above.
  if (hd->pattern != KOVA_EV_SLOT_PATTERN_2024 || sh.pattern != KOVA_SB_PATTERN_2024) return;
  dump_body<Gen2010>(hd, block, sh, event_kind_2024(hd->evtype), "dump_server_block_2024");
}

}  // extern "C"
