// hesk-status: shows the subscriptions, client slots, event control records
// and live event slots of this host's buffer manager, or one live event slot
// with its server blocks. Read-only: it attaches to the control partitions
// (and, for an event slot, to the data partitions it names) without
// subscribing, changing or removing anything.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "C_shm.h"
#include "Hesk.h"
#include "event_slot.h"

namespace {

void usage(FILE* out) {
  fprintf(out,
          "usage: hesk-status [--clients | --events | --event-slot N] [--cl NAME] [--ev NAME]\n"
          "                   [--2024]\n"
          "  --event-slot N prints live event slot N and each of its server blocks.\n"
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
  int slot = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--clients") {
      events = false;
    } else if (a == "--events") {
      clients = false;
    } else if (a == "--event-slot" && i + 1 < argc) {
      char* end = nullptr;
      long v = strtol(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0' || v < 1 || v > 1000000) {
        fprintf(stderr, "hesk-status: --event-slot needs a slot number from 1\n");
        return 1;
      }
      slot = static_cast<int>(v);
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
  if (slot > 0) return print_event_slot(h, slot);
  if (clients) h.dump_cl_slots(std::cout);
  if (events) h.dump_ev_slots(std::cout);
  return 0;
}
