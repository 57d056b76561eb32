// Lookups in the event type table.
#include "event_util.h"

namespace {
const char kUnknown[] = "UNKNOWN";

bool valid_event_type(int type) {
  return type >= 0 && type < KOVA_EV_EVMAX;
}

char* event_field(int type, int field) {
  return const_cast<char*>(valid_event_type(type) ? event_types_a[type][field] : kUnknown);
}
}  // namespace

extern "C" {

char* event_name_itoa(int type) {
  return event_field(type, KOVA_FIELD_EV_TYPE);
}
char* get_tree_name(int type) {
  return event_field(type, KOVA_FIELD_TREE_NAME);
}
char* get_tree_comment(int type) {
  return event_field(type, KOVA_FIELD_TREE_COMMENT);
}

int get_event_struct_type(int type) {
  return valid_event_type(type) ? event_struct_type[type] : KOVA_EV_STRUCT_UNKNOWN;
}

bool is_slow_event(int evtype) {
  return evtype == KOVA_EV_HB || (evtype >= KOVA_EV_BOR && evtype <= KOVA_EV_UPD);
}

}  // extern "C"
