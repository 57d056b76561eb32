// Head parameters of a named server block, and the count of server blocks
// that arrived without channels. Both take a slot head of either layout.
#include "server_block.h"

using namespace hesk_client;

bool get_sb_param(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, char* sb_name,
                  Hesk* obj, time_stamp* tm, int* len, int64_t* mp, int* tmask, int* status,
                  int* nchan) {
  if (sb_name == nullptr || sb_name[0] == '\0' || hd == nullptr) return true;
  const SlotInfo s = slot_info_any(hd);
  if (s.sbfilled < 1 || data == nullptr || obj == nullptr) return true;
  const size_t sb_len = strlen(sb_name);
  int i = 0;
  while (i < s.sbfilled &&
         !(counts(data[i]) && field_equals(data[i].name, kNameWidth, sb_name, sb_len)))
    ++i;
  ServerBlock b;
  if (i == s.sbfilled || !resolve(obj, data[i], true, &b)) return true;
  // The length is reported as the 32-bit difference, whatever ltotal holds.
  const int length =
      static_cast<int>(static_cast<uint32_t>(b.ltotal) - static_cast<uint32_t>(b.head));
  if (b.is2024) {
    const kova_serv_block_head_2024* h = b.h2024();
    if (tm != nullptr) *tm = h->time;
    if (mp != nullptr) *mp = h->mpulse;
    if (tmask != nullptr) *tmask = h->tmask;
    if (status != nullptr) *status = h->status;
  } else {
    const kova_serv_block_head_2010* h = b.h2010();
    if (tm != nullptr) *tm = h->time;
    if (mp != nullptr) *mp = h->mpulse;
    if (tmask != nullptr) *tmask = h->tmask;
    if (status != nullptr) *status = h->status;
  }
  if (len != nullptr) *len = length;
  if (nchan != nullptr) *nchan = b.nchan;
  return false;
}

int check_bad_sb_data(kova_event_slot_head_2024* hd, kova_client_sblock_data* data, Hesk* obj) {
  if (hd == nullptr || data == nullptr || obj == nullptr) return 0;
  const SlotInfo s = slot_info_any(hd);
  if (is_run_or_slow_event(s.evtype)) return 0;
  int bad = 0;
  for (int i = 0; i < s.sbfilled; ++i) {
    ServerBlock b;
    if (counts(data[i]) && resolve(obj, data[i], true, &b) && b.nchan == 0) ++bad;
  }
  return bad;
}
