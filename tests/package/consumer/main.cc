// A caller outside the tree: includes the installed headers by their plain
// names and calls into the installed libraries.
#include <cstdio>

#include "event_util.h"

int main() {
  printf("%s %s %d\n", event_name_itoa(KOVA_EV_ENV), block_name_itoa(KOVA_BLOCK_BPM_2010),
         get_sizeof_struct_no_data(KOVA_BLOCK_BPM_2010, 0));
  return 0;
}
