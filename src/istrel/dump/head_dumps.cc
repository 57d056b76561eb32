// Dumps of event headers, server block heads, event slot heads and channel
// heads.
#include <cstdio>
#include <cstring>

#include "event_util.h"

namespace {

const char kSubheaderBody[] =
    "\t Time: %d sec %d usec\n\t Total size: %d\n\t Mpulse:%d\n\t Server: %.*s\n\t tmask:0x%X\n\t "
    "Status: %d\n\t Nchan: %d\n";

template <typename Head>
void print_subheader(kova_event_slot_head* slot, Head* event) {
  if (slot)
    printf("%s:", event_name_itoa(slot->evtype));
  else
    printf("   ");
  printf(kSubheaderBody, static_cast<int>(event->time.timeup),
         static_cast<int>(event->time.timelow), event->ltotal, event->mpulse,
         static_cast<int>(sizeof(event->server)), event->server, event->tmask, event->status,
         event->nchan);
}

// The slot's three times, each with its date text.
template <typename Slot>
void print_slot_times(const Slot* hd) {
  char t0[16], t1[16], t2[16];
  create_isodate_from_sec(hd->time.timeup, t0, true);
  create_isodate_from_sec(hd->start.timeup, t1, true);
  create_isodate_from_sec(hd->lupdate.timeup, t2, true);
  printf(
      " Time: %d sec %d usec (%s)\n First sb: %d sec %d usec (%s)\n Last sb: %d sec %d usec (%s)\n",
      static_cast<int>(hd->time.timeup), static_cast<int>(hd->time.timelow), t0,
      static_cast<int>(hd->start.timeup), static_cast<int>(hd->start.timelow), t1,
      static_cast<int>(hd->lupdate.timeup), static_cast<int>(hd->lupdate.timelow), t2);
}

const char* device_name(int dtype) {
  int dev = (static_cast<unsigned>(dtype) >> 16) & KOVA_DTYPE_MASK;
  return dev == 0 ? "NONE" : block_name_itoa(dev);
}

// Shared by both sub-block generations: they differ only in the head size.
template <typename Subhead>
void print_chanhead(Subhead* sb) {
  const char* type_name = block_name_itoa(sb->dtype & KOVA_DTYPE_MASK);
  if (!(sb->error & KOVA_CHAN_ZIP_FLAG)) {
    printf(
        "\n\t\t Chan.name: %.*s\n\t\t Type: 0x%X(%s dev:%s)\n\t\t Error:0x%X(%d)(%s)\n\t\t Size: "
        "%d\n",
        static_cast<int>(sizeof(sb->chname)), sb->chname, sb->dtype, type_name,
        device_name(sb->dtype), sb->error, sb->error, get_daq_fed_error(sb->error), sb->ldata);
    return;
  }
  // The zip header opens the payload; a block too short to hold one shows zeros.
  kova_zip_header zh;
  memset(&zh, 0, sizeof(zh));
  if (sb->ldata >= static_cast<int>(sizeof(Subhead) + sizeof(zh)))
    memcpy(&zh, reinterpret_cast<const char*>(sb) + sizeof(Subhead), sizeof(zh));
  int error = sb->error & ~KOVA_CHAN_ZIP_FLAG;
  printf(
      "\n\t\t Chan.name: %.*s\n\t\t Type: 0x%X(%s dev:%s)\n\t\t Error:0x%X(%d)\n\t\t Size: "
      "%d\tOrigSize: "
      "%d\t ZSise: %d\tZRatio: %f\tZFlags: 0x%X\n",
      static_cast<int>(sizeof(sb->chname)), sb->chname, sb->dtype, type_name,
      device_name(sb->dtype), error, error, sb->ldata, static_cast<int>(zh.orig_length),
      static_cast<int>(zh.zipp_length),
      static_cast<double>(zh.orig_length) / (static_cast<double>(zh.zipp_length) + 12.0),
      zh.zip_flags);
}

}  // namespace

void dump_event_header_(kova_eventheader* evhd) {
  if (evhd == nullptr) return;
  printf(
      "PATTERN:0x%X  \tLength:%d  \tEvent#:%d \tEventType:%s:\t Time: %d sec %d usec\t "
      "tmask:0x%X\n\t Status: %d\n\t #sblocks: %d\n",
      evhd->pattern, static_cast<int>(evhd->event_length), static_cast<int>(evhd->event_number),
      event_name_itoa(evhd->event_type), static_cast<int>(evhd->event_time.timeup),
      static_cast<int>(evhd->event_time.timelow), evhd->tmask, evhd->status, evhd->num_svr_block);
}

void dump_event_header_2024_(kova_eventheader_2024* evhd) {
  if (evhd == nullptr) return;
  printf(
      "PATTERN:0x%X  \tLength:%lu  \tEvent#:%ld (0x%lX) \tEventType:%s:\t Time: %d sec %d usec\t "
      "tmask:0x%X\n\t Status: %d\n\t #sblocks: %d\n",
      evhd->pattern, static_cast<unsigned long>(evhd->event_length),
      static_cast<long>(evhd->event_number), static_cast<unsigned long>(evhd->event_number),
      event_name_itoa(evhd->event_type), static_cast<int>(evhd->event_time.timeup),
      static_cast<int>(evhd->event_time.timelow), evhd->tmask, evhd->status, evhd->num_svr_block);
}

void dump_event_subheader(kova_event_slot_head* slot, kova_serv_block_head* event) {
  if (event != nullptr) print_subheader(slot, event);
}

void dump_event_subheader_2010(kova_event_slot_head* slot, kova_serv_block_head_2010* event) {
  if (event != nullptr) print_subheader(slot, event);
}

void dump_event_subheader_2024(kova_event_slot_head_2024* slot, kova_serv_block_head_2024* event) {
  if (event == nullptr) return;
  if (slot == nullptr) {
    if (event->pattern != KOVA_SB_PATTERN_2024) {
      printf("dump_event_subheader: INVALID pattern: 0x%lX (must be 0x%lX)\n",
             static_cast<unsigned long>(event->pattern),
             static_cast<unsigned long>(KOVA_SB_PATTERN_2024));
      return;
    }
    printf("   ");
  } else {
    if (slot->pattern != KOVA_EV_SLOT_PATTERN_2024 || event->pattern != KOVA_SB_PATTERN_2024) {
      printf("dump_event_subheader: INVALID pattern: slot: 0x%lX header: 0x%lX (must be 0x%lX)\n",
             static_cast<unsigned long>(slot->pattern), static_cast<unsigned long>(event->pattern),
             static_cast<unsigned long>(KOVA_SB_PATTERN_2024));
      return;
    }
    printf("%s:", event_name_itoa(slot->evtype));
  }
  printf(
      "\t Time: %d sec %d usec\n\t Total size: %lu\n\t Mpulse:%ld\n\t Server: %.*s\n\t "
      "tmask:0x%X\n\t "
      "Status: %d\n\t Nchan: %d\n",
      static_cast<int>(event->time.timeup), static_cast<int>(event->time.timelow),
      static_cast<unsigned long>(event->ltotal), static_cast<long>(event->mpulse),
      static_cast<int>(sizeof(event->server)), event->server, event->tmask, event->status,
      event->nchan);
}

void dump_event_header(kova_event_slot_head* hd) {
  if (hd == nullptr) return;
  printf("EVENT-%s\n", event_name_itoa(hd->evtype));
  printf(" EventID: %d\n", static_cast<int>(hd->eventid));
  print_slot_times(hd);
  printf(" T-mask:0x%X\n EV-size: %d\n SB-total: %d SB-filled: %d \n #-clients: %d\n", hd->tmask,
         hd->evsize, hd->nsblocks, hd->sbfilled, hd->nclients);
}

void dump_event_header_2024(kova_event_slot_head_2024* hd) {
  if (hd == nullptr) return;
  printf("EVENT-%s\n", event_name_itoa(hd->evtype));
  printf(" EventID: %ld\n", static_cast<long>(hd->eventid));
  print_slot_times(hd);
  printf(" T-mask:0x%X\n EV-size: %ld\n SB-total: %d SB-filled: %d \n #-clients: %d\n", hd->tmask,
         static_cast<long>(hd->evsize), hd->nsblocks, hd->sbfilled, hd->nclients);
}

void dump_event_chanhead(void* subhead) {
  if (is_data_format_2010() || is_data_format_2024())
    dump_event_chanhead_2010(static_cast<kova_serv_block_subhead_2010*>(subhead));
  else
    dump_event_chanhead_2009(static_cast<kova_serv_block_subhead*>(subhead));
}

void dump_event_chanhead_2009(kova_serv_block_subhead* subhead) {
  if (subhead != nullptr) print_chanhead(subhead);
}

void dump_event_chanhead_2010(kova_serv_block_subhead_2010* subhead) {
  if (subhead != nullptr) print_chanhead(subhead);
}

void print_kova_zip_header(kova_zip_header* zhd) {
  if (zhd == nullptr) return;
  printf("OrigSize: %d\t ZSise: %d\tZRatio: %f\tZFlags: 0x%X\n", static_cast<int>(zhd->orig_length),
         static_cast<int>(zhd->zipp_length),
         static_cast<double>(zhd->orig_length) / (static_cast<double>(zhd->zipp_length) + 12.0),
         zhd->zip_flags);
}
