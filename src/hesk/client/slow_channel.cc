// Reading one slow channel's current value: the local copies are brought up
// to date from this event, then the update copy answers (except in
// environment events), then the environment copy through the dictionary.
#include "event_util.h"
#include "local_copies.h"
#include "server_block.h"

namespace {

using namespace hesk_client;

bool reads_slow_channels(int evtype) {
  return evtype == KOVA_EV_HB || is_run_or_slow_event(evtype);
}

// The look-up, with the value copied out while mx_lcp is held. false when a
// value with status 0 was found.
bool read_copies(int evtype, const char* chan_name, float* dt) {
  CopiesLock lock;
  void* entry = nullptr;
  if (evtype != KOVA_EV_ENV && !find_upd_channel_2010(lock.get(kUpdCopy), chan_name, &entry)) {
    const auto* u = static_cast<const kova_upd_data_block_2010*>(entry);
    if (u->upd_ch_status != 0) return true;
    if (dt != nullptr) *dt = u->upd_ch_data;
    return false;
  }
  if (find_slow_channel_2010(lock.get(kEnvCopy), lock.get(kDictCopy), chan_name, &entry))
    return true;
  const auto* e = static_cast<const kova_env_data_block_2010*>(entry);
  if (e->env_ch_status != 0) return true;
  if (dt != nullptr) *dt = e->env_ch_data;
  return false;
}

}  // namespace

extern "C" {

bool get_slow_channel_data(kova_event_slot_head_2024* hd, kova_client_sblock_data* data,
                           char* chan_name, Hesk* obj, kova_serv_block_head_2010** sb_out,
                           kova_serv_block_head_2024** sb_out2024, float* dt) {
  if (hd == nullptr || !reads_slow_channels(hd->evtype)) return true;
  if (update_local_copies(hd, data, obj, sb_out, sb_out2024)) return true;
  return read_copies(hd->evtype, chan_name, dt);
}

bool get_slow_channel_data_2010(kova_event_slot_head* hd, kova_client_sblock_data* data,
                                char* chan_name, Hesk* obj, kova_serv_block_head_2010** sb_out,
                                float* dt) {
  if (hd == nullptr || !reads_slow_channels(hd->evtype)) return true;
  if (update_local_copies_2010(hd, data, obj, sb_out)) return true;
  return read_copies(hd->evtype, chan_name, dt);
}

}  // extern "C"
