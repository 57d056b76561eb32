// Upgrading 2010 event and server block heads to the 2024 generation.
#include <cstring>

#include "event.h"

void copy_event_header_2010_to_2024(kova_eventheader* evh, kova_eventheader_2024* evh2024,
                                    uint64_t evid_shift) {
  if (evh == nullptr || evh2024 == nullptr) return;
  kova_eventheader_2024 out;
  memset(&out, 0, sizeof(out));
  out.pattern = KOVA_EV_PATTERN_2024;
  out.event_type = evh->event_type;
  out.event_length = static_cast<int64_t>(evh->event_length) +
                     (sizeof(kova_eventheader_2024) - sizeof(kova_eventheader));
  out.event_number = evid_shift | static_cast<uint64_t>(evh->event_number);
  out.event_time = evh->event_time;
  out.tmask = evh->tmask;
  out.status = evh->status;
  out.num_svr_block = evh->num_svr_block;
  *evh2024 = out;
}

void copy_server_block_header_2010_to_2024(kova_serv_block_head_2010* svb,
                                           kova_serv_block_head_2024* svb2024,
                                           uint64_t evid_shift) {
  if (svb == nullptr || svb2024 == nullptr) return;
  kova_serv_block_head_2024 out;
  memset(&out, 0, sizeof(out));
  out.pattern = KOVA_SB_PATTERN_2024;
  out.ltotal = static_cast<int64_t>(svb->ltotal) +
               (sizeof(kova_serv_block_head_2024) - sizeof(kova_serv_block_head_2010));
  out.mpulse =
      static_cast<int64_t>(static_cast<uint64_t>(static_cast<int64_t>(svb->mpulse)) | evid_shift);
  out.time = svb->time;
  memcpy(out.server, svb->server, sizeof(out.server));
  out.tmask = svb->tmask;
  out.status = svb->status;
  out.nchan = svb->nchan;
  *svb2024 = out;
}
