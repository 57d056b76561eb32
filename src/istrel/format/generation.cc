// The process-wide generation switch: which record generation the
// generation-dependent functions assume. Plain variables, set at start-up.
#include "event_util.h"

namespace {
bool g_format_2010 = true;
bool g_format_2024 = false;
}  // namespace

extern "C" {

void set_data_format_2010(bool how) {
  g_format_2010 = how;
  if (how) g_format_2024 = false;
}

void set_data_format_2024(bool how) {
  g_format_2024 = how;
  if (how) g_format_2010 = false;
}

bool is_data_format_2010() {
  return g_format_2010;
}
bool is_data_format_2024() {
  return g_format_2024;
}

}  // extern "C"
