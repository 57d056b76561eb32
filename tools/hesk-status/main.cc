// hesk-status: shows the subscriptions, client slots, event control records
// and live event slots of this host's buffer manager. Read-only: it attaches
// to the control partitions without changing them and never removes them.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "C_shm.h"
#include "Hesk.h"

namespace {

void usage(FILE* out) {
  fprintf(out,
          "usage: hesk-status [--clients | --events] [--cl NAME] [--ev NAME] [--2024]\n"
          "  Partition names default to $KOVA_CLI_SHM_NAME / $KOVA_EV_SHM_NAME, else\n"
          "  KOVA_CLIENT_SLOTS / KOVA_EVENT_SLOTS. --2024 reads 2024 event slots.\n");
}

bool exists(const char* name) {
  C_shm probe;
  probe.keep(true);
  return !probe.find(name);
}

}  // namespace

int main(int argc, char** argv) {
  bool clients = true, events = true, b2024 = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--clients") {
      events = false;
    } else if (a == "--events") {
      clients = false;
    } else if (a == "--2024") {
      b2024 = true;
    } else if ((a == "--cl" || a == "--ev") && i + 1 < argc) {
      setenv(a == "--cl" ? "KOVA_CLI_SHM_NAME" : "KOVA_EV_SHM_NAME", argv[++i], 1);
    } else if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    } else {
      usage(stderr);
      return 1;
    }
  }
  Hesk h;  // reads the partition names from the environment
  if (!exists(h.clname) || !exists(h.evname)) {
    fprintf(stderr,
            "hesk-status: no buffer manager runs on this host (partitions '%s' and '%s' not "
            "found)\n",
            h.clname, h.evname);
    return 2;
  }
  h.set_evid_64bit_mode(b2024);
  if (h.init()) {
    fprintf(stderr, "hesk-status: cannot attach the control partitions '%s' and '%s'\n", h.clname,
            h.evname);
    return 3;
  }
  // Looking must never remove: keep the partitions when this process lets go.
  h.cl_buf->keep(true);
  h.ev_buf->keep(true);
  if (clients) h.dump_cl_slots(std::cout);
  if (events) h.dump_ev_slots(std::cout);
  return 0;
}
