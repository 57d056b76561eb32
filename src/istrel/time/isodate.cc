// Compact ISO-8601 local dates ("20100325T134500") for messages and archive
// file names, and back to seconds.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "event_util.h"

namespace {

// Until this instant (2010-03-26 23:00:00 UTC) the archive wrote summer-time
// instants one hour early; dates of that period keep that convention.
constexpr time_t kDstCorrectionEnd = 1269644400;

void format_isodate(const struct tm& lt, char* out, bool year) {
  // Formatted in a roomy buffer, then handed over within the 16 bytes the
  // caller provides.
  char hms[32];
  char text[96];
  snprintf(hms, sizeof(hms), "%02d%02d%02d", lt.tm_hour, lt.tm_min, lt.tm_sec);
  if (year)
    snprintf(text, sizeof(text), "%d%02d%02d%s%s", lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday,
             "T", hms);
  else
    snprintf(text, sizeof(text), "%02d%02d%s%s", lt.tm_mon + 1, lt.tm_mday, "T", hms);
  size_t n = strnlen(text, 15);
  memcpy(out, text, n);
  out[n] = '\0';
}

bool parse_isodate(const char* time_str, time_t* tout, const char* pattern) {
  if (time_str == nullptr || *time_str == '\0' || tout == nullptr) return true;
  struct tm tmv;
  memset(&tmv, 0, sizeof(tmv));
  const char* end = strptime(time_str, pattern, &tmv);
  if (end == nullptr) {
    printf("Failed to convert time: '%s'\n", time_str);
    return true;
  }
  tmv.tm_isdst = 0;
  errno = 0;
  time_t t = mktime(&tmv);
  if (t == static_cast<time_t>(-1) && errno != 0) {
    printf("Failed to convert time: '%s' error: %d\n", time_str, errno);
    return true;
  }
  // mktime read the text as standard time; in summer the wall clock is one
  // hour ahead of that.
  struct tm check;
  localtime_r(&t, &check);
  if (check.tm_isdst > 0) t -= 3600;
  *tout = t;
  return false;
}

}  // namespace

void create_isodate(char* isodate_str, bool year) {
  if (isodate_str == nullptr) return;
  time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  format_isodate(lt, isodate_str, year);
}

void create_isodate_from_sec(time_t t, char* isodate_str, bool year) {
  if (isodate_str == nullptr) return;
  struct tm lt;
  localtime_r(&t, &lt);
  if (lt.tm_isdst > 0 && t < kDstCorrectionEnd) {
    t -= 3600;
    localtime_r(&t, &lt);
  }
  format_isodate(lt, isodate_str, year);
}

bool time_from_isodate(const char* time_str, time_t* tout) {
  return parse_isodate(time_str, tout, "%Y%m%dT%H%M%S");
}

bool time_from_isodate2(const char* time_str, time_t* tout) {
  return parse_isodate(time_str, tout, "%Y-%m-%dT%H:%M:%S");
}
