// A caller outside the tree: includes the installed headers by their plain
// names and calls into each installed library.
#include <cstdio>

#include "Hesk.h"
#include "eqdata.h"
#include "event_util.h"

int main() {
  Hesk manager;  // touches no partition before init()
  EqData value;
  value.set(42);
  if (manager.clid != -1 || value.type() != DATA_INT) return 1;
  printf("%s %s %d\n", event_name_itoa(KOVA_EV_ENV), block_name_itoa(KOVA_BLOCK_BPM_2010),
         get_sizeof_struct_no_data(KOVA_BLOCK_BPM_2010, 0));
  return 0;
}
