// Comparing time stamps and taking them and time identifiers apart.
#include <cmath>

#include "event_util.h"

bool kova_time_stamp_eq(time_stamp* tm1, time_stamp* tm2) {
  if (tm1 == nullptr || tm2 == nullptr) return tm1 == tm2;
  return tm1->timeup == tm2->timeup && tm1->timelow == tm2->timelow;
}

bool kova_time_stamp_eq(time_stamp* tm1, time_stamp* tm2, double diff, int* how, double* diffout) {
  if (tm1 == nullptr || tm2 == nullptr) return false;
  double t1 = tm1->timeup * 1e6 + tm1->timelow;
  double t2 = tm2->timeup * 1e6 + tm2->timelow;
  double d = std::fabs(t1 - t2);
  if (diff >= d) {
    if (how) *how = 0;
    return true;
  }
  if (how) *how = (t2 > t1) ? -1 : 1;
  if (diffout) *diffout = d;
  return false;
}

unsigned int kova_get_event_id(time_stamp* tm) {
  if (tm == nullptr) return 0;
  // The first running period numbered its events from the time stamp: the
  // seconds window 1197453669 ... 1197461745 maps onto 398658 ... 439038.
  uint32_t s = tm->timeup;
  if (static_cast<uint32_t>(s - 1197453669u) > 8076u) return 0;
  return static_cast<uint32_t>(5u * s - 1691902391u);
}

u_int kova_get_from_timestamp_sec(time_stamp* tm) {
  return tm ? tm->timeup : 0;
}
u_int kova_get_from_timestamp_usec(time_stamp* tm) {
  return tm ? tm->timelow : 0;
}
u_int kova_get_from_time_id_sec(kova_time_id* tm) {
  return tm ? tm->time.timeup : 0;
}
u_int kova_get_from_time_id_usec(kova_time_id* tm) {
  return tm ? tm->time.timelow : 0;
}
u_int kova_get_from_time_id_evid(kova_time_id* tm) {
  return tm ? tm->event_number : 0;
}
