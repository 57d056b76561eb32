// Default sub-block type of a device, chosen by the prefix of its name.
#include <cstring>

#include "event_util.h"

namespace {

// One prefix rule: the type in the 2009 generation and in 2010/2024
// (0: the prefix is not in that generation's list). A cavity BPM (the
// server block name contains "CAV") gets its own type.
struct PrefixRule {
  const char* prefix;
  int type_2009;
  int type_2010;
  int cavity_2009;
  int cavity_2010;
};

const PrefixRule kRules[] = {
    {"ML", 9, 41, 0, 0},         {"LLRF", 11, 43, 0, 0},        {"BPM", 6, 6, 8, 40},
    {"BLM", 9, 41, 0, 0},        {"TOROID", 10, 42, 0, 0},      {"IMAGE_EXT", 27, 27, 0, 0},
    {"IMAGE", 13, 0, 0, 0},      {"WIRESCAN", 15, 15, 0, 0},    {"CPL.ADC", 16, 48, 0, 0},
    {"PHASE_MON", 19, 51, 0, 0}, {"MCP.ADC", 18, 50, 0, 0},     {"GMD.ADC", 17, 53, 0, 0},
    {"WSS.RAW", 20, 20, 0, 0},   {"WSS.COR", 21, 21, 0, 0},     {"WSS.SET", 22, 22, 0, 0},
    {"WSS.RES", 22, 22, 0, 0},   {"WSS.STR_SET", 23, 23, 0, 0}, {"WSS.STR_RES", 23, 23, 0, 0},
    {"PG1.ADC", 9, 41, 0, 0},    {"PG2.ADC", 9, 41, 0, 0},      {"PG0.ADC", 9, 41, 0, 0},
    {"BL1.ADC", 9, 41, 0, 0},    {"BL2.ADC", 9, 41, 0, 0},      {"BL3.ADC", 9, 41, 0, 0},
};

}  // namespace

extern "C" int find_default_data_type(char* name, char* sbname) {
  if (name == nullptr) return 0;
  bool gen2009 = !is_data_format_2010() && !is_data_format_2024();
  bool cavity = sbname != nullptr && strstr(sbname, "CAV") != nullptr;
  for (const PrefixRule& rule : kRules) {
    int type = gen2009 ? rule.type_2009 : rule.type_2010;
    if (type == 0) continue;  // not in this generation's list
    if (strncmp(name, rule.prefix, strlen(rule.prefix)) != 0) continue;
    int cavity_type = gen2009 ? rule.cavity_2009 : rule.cavity_2010;
    return (cavity && cavity_type != 0) ? cavity_type : type;
  }
  return 0;
}
