// The exported parsers of codes and register references.
#include "format_parse.h"

#include <climits>
#include <cstring>

#include "convert_internal.h"
#include "event_convert.h"

extern "C" {

int extract_code_length(char* start, char* code, bool* sign, int* len, int* bpd) {
  using namespace convert_detail;
  if (start == nullptr || code == nullptr || sign == nullptr || len == nullptr || bpd == nullptr)
    return kNullParameter;
  FieldCode c;
  if (parse_code(start, start + strlen(start), &c) < 0) return kSyntax;
  *code = c.letter;
  *sign = c.sign;
  *len = c.count > INT_MAX ? INT_MAX : static_cast<int>(c.count);
  *bpd = c.size;
  return kOk;
}

int extract_length(char* start, int* len) {
  using namespace convert_detail;
  if (start == nullptr || len == nullptr) return kNullParameter;
  int64_t n;
  if (parse_register(start, start + strlen(start), &n) < 0) return kSyntax;
  *len = n > INT_MAX ? INT_MAX : static_cast<int>(n);
  return kOk;
}

}  // extern "C"
