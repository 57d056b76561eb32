// Texts of the conversion error codes.
#include <cstdio>

#include "event_convert.h"

namespace {

const char* const kTexts[] = {
    nullptr,
    nullptr,  // 1 is formatted with the highest type
    "Invalid input address",
    "Invalid data length",
    "Undefined data format",
    "Invalid data format",
    "Invalid output address",
    "Wrong syntacsis in format",
    "Empty format",
    "NULL parameter",
    "TOO many length references",
    "Inconsistent Data length ",
    "Undefined group length ",
    "Inconsistent event",
    "Inconsistent ENV server block",
    "Wrong pattern",
};

constexpr int kTextCount = sizeof(kTexts) / sizeof(kTexts[0]);

}  // namespace

extern "C" char* kova_get_convert_error(int err) {
  // One buffer per thread; each call overwrites the caller's previous text.
  static thread_local char text[256];
  if (err == 0) return text;
  if (err == 1) {
    snprintf(text, sizeof(text), "Invalid data type must be between 0 ... %d",
             KOVA_BLOCK_MAX_2010 - 1);
  } else if (err > 1 && err < kTextCount) {
    snprintf(text, sizeof(text), "%s", kTexts[err]);
  } else {
    snprintf(text, sizeof(text), "Unspecified error code: %d", err);
  }
  return text;
}
