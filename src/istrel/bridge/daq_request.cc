// Reset and copy of the DAQ request records of both generations.
#include <cstring>

#include "event_util.h"

namespace {

template <typename Request>
bool clean(Request* dest) {
  if (dest == nullptr) return true;
  memset(&dest->start_time, 0, sizeof(dest->start_time));
  memset(&dest->stop_time, 0, sizeof(dest->stop_time));
  dest->run_first = -1;
  dest->run_last = -1;
  memset(dest->exp_name, 0, sizeof(dest->exp_name));
  memset(dest->stream_name, 0, sizeof(dest->stream_name));
  dest->cdir.clear();
  dest->ddir.clear();
  memset(&dest->time_diff, 0, sizeof(dest->time_diff));
  memset(&dest->period, 0, sizeof(dest->period));
  dest->synch_mode = 0;
  return false;
}

template <typename Request>
bool copy(const Request* src, Request* dest) {
  if (src == nullptr || dest == nullptr) return true;
  if (src != dest) *dest = *src;
  return false;
}

}  // namespace

extern "C" {

bool kova_clean_daq_request(kova_daq_request* dest) {
  return clean(dest);
}
bool kova_clean_daq_request_2024(kova_daq_request_2024* dest) {
  return clean(dest);
}

bool kova_copy_daq_request(kova_daq_request* src, kova_daq_request* dest) {
  return copy(src, dest);
}
bool kova_copy_daq_request_2024(kova_daq_request_2024* src, kova_daq_request_2024* dest) {
  return copy(src, dest);
}

}  // extern "C"
