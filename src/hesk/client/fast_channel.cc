// Finding a fast channel (a sub-block by name) in the server blocks of the
// current event. Each server block is walked from its first sub-block by the
// sub-blocks' ldata, within its ltotal and its buffer. A sub-block longer
// than the room left ends the walk of its block, and the search goes on in
// the next one; a block that does not hold together (a sub-block head outside
// it, an ldata shorter than a head) ends the search with the "CHANNEL
// corrupted" lines.
#include <cstdio>

#include "block_walks.h"

namespace {

using namespace hesk_client;

void report_outside(const char* chan_name, int64_t ltotal, int count, int nchan) {
  printf("CHANNEL corrupted: %s\n", chan_name);
  printf("OUTSIDE  of the server block !!!: ltotal: %ld  channel:%d nchans:%d \n",
         static_cast<long>(ltotal), count, nchan);
  fflush(nullptr);
}

void report_ldata(const char* chan_name, int32_t ldata, int64_t left) {
  printf("CHANNEL corrupted: %s\n", chan_name);
  printf("Corrupted data: ldata: %d   total_size (left): %ld\n", ldata, static_cast<long>(left));
  fflush(nullptr);
}

}  // namespace

namespace hesk_client {

Search search_block(const ServerBlock& b, const ChannelKey& key,
                    kova_serv_block_subhead_2010** hit) {
  const char* chan_name = key.name;
  if (b.nchan < 1 || b.room() < 1) return Search::kNotHere;
  // The first head must lie within ltotal, and ltotal within the buffer.
  if (!b.within_buffer() || b.room() < kSubHead) {
    report_outside(chan_name, b.ltotal, 0, b.nchan);
    return Search::kCorrupt;
  }
  int64_t off = b.head, left = b.room();
  for (int count = 0;;) {
    kova_serv_block_subhead_2010* sub = b.sub_at(off);
    const int32_t ldata = sub_ldata(sub);
    // A sub-block holds at least its head (a shorter one would be read again
    // and again).
    if (ldata < kSubHead) {
      report_ldata(chan_name, ldata, left);
      return Search::kCorrupt;
    }
    // Longer than the room left: the room would fall below 1, so the block
    // ends here. Its name is not taken, since its data would run past the block.
    if (ldata > left) return Search::kNotHere;
    if (key.matches(sub_name(sub))) {
      *hit = sub;
      return Search::kFound;
    }
    ++count;
    left -= ldata;
    off += ldata;
    if (count >= b.nchan || left < 1) return Search::kNotHere;
    if (left < kSubHead) {
      report_outside(chan_name, b.ltotal, count, b.nchan);
      return Search::kCorrupt;
    }
  }
}

}  // namespace hesk_client

namespace {

kova_serv_block_subhead_2010* search_event(const SlotInfo& s, kova_client_sblock_data* data,
                                           char* sb_name, const char* chan_name, Hesk* obj,
                                           bool detect, ServerBlock* where) {
  if (chan_name == nullptr || chan_name[0] == '\0') return nullptr;
  if (is_run_or_slow_event(s.evtype) || s.sbfilled < 1) return nullptr;
  if (data == nullptr || obj == nullptr) return nullptr;
  const ChannelKey key(chan_name);
  const bool one_block = sb_name != nullptr && sb_name[0] != '\0';
  const size_t sb_len = one_block ? strlen(sb_name) : 0;
  for (int i = 0; i < s.sbfilled; ++i) {
    const kova_client_sblock_data& e = data[i];
    if (!counts(e)) continue;
    if (one_block && !field_equals(e.name, kNameWidth, sb_name, sb_len)) continue;
    ServerBlock b;
    if (!resolve(obj, e, detect, &b)) continue;
    kova_serv_block_subhead_2010* hit = nullptr;
    const Search r = search_block(b, key, &hit);
    if (r == Search::kCorrupt) return nullptr;
    if (r == Search::kNotHere) continue;
    if (sb_name != nullptr && sb_name[0] == '\0') {
      // The caller's 256 bytes receive the name, always terminated.
      const size_t n = strnlen(e.name, kNameWidth - 1);
      memcpy(sb_name, e.name, n);
      memset(sb_name + n, 0, kNameWidth - n);
    }
    *where = b;
    return hit;
  }
  return nullptr;
}

}  // namespace

extern "C" {

kova_serv_block_subhead_2010* get_fast_channel_data_2024(kova_event_slot_head_2024* hd,
                                                         kova_client_sblock_data* data,
                                                         char* sb_name, char* chan_name, Hesk* obj,
                                                         kova_serv_block_head_2010** sb_out,
                                                         kova_serv_block_head_2024** sb_out2024) {
  if (hd == nullptr) return nullptr;
  ServerBlock b;
  kova_serv_block_subhead_2010* hit =
      search_event(slot_info(hd), data, sb_name, chan_name, obj, true, &b);
  if (hit == nullptr) return nullptr;
  if (sb_out != nullptr) *sb_out = b.is2024 ? nullptr : b.h2010();
  if (sb_out2024 != nullptr) *sb_out2024 = b.is2024 ? b.h2024() : nullptr;
  return hit;
}

kova_serv_block_subhead_2010* get_fast_channel_data(kova_event_slot_head* hd,
                                                    kova_client_sblock_data* data, char* sb_name,
                                                    char* chan_name, Hesk* obj,
                                                    kova_serv_block_head_2010** sb_out) {
  if (hd == nullptr) return nullptr;
  ServerBlock b;
  kova_serv_block_subhead_2010* hit =
      search_event(slot_info(hd), data, sb_name, chan_name, obj, false, &b);
  if (hit == nullptr) return nullptr;
  if (sb_out != nullptr) *sb_out = b.h2010();
  return hit;
}

}  // extern "C"
