// hesk-status: shows the subscriptions, client slots, event control records
// and live event slots of a buffer manager of this host, or one live event
// slot with its server blocks. Without partition names it finds the
// managers of the host by themselves: the one there is is shown, several
// are listed. Read-only: it attaches to the control partitions (and, for an
// event slot, to the data partitions it names) without subscribing,
// changing or removing anything. With --serve it serves a live view of the
// manager over HTTP instead (serve/serve.h).
#include <getopt.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "C_shm.h"
#include "Hesk.h"
#include "discover.h"
#include "event_slot.h"
#include "serve/serve.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-status";
constexpr int kNoManager = 2;
constexpr int kCannotAttach = 3;

void usage(FILE* out) {
  fprintf(out,
          "usage: hesk-status [--clients | --events | --event-slot N] [--cl NAME --ev NAME]\n"
          "                   [--2024]\n"
          "       hesk-status --serve [ADDR:]PORT [--cl NAME --ev NAME] [--2024]\n"
          "\n"
          "Shows a buffer manager of this host: its subscriptions and client slots\n"
          "(--clients), its event control records and live event slots (--events), both\n"
          "by default, or one live event slot with its server blocks (--event-slot N).\n"
          "\n"
          "  --serve [ADDR:]PORT  serve a live view of the manager over HTTP until\n"
          "                 interrupted, on 127.0.0.1 unless an address is given (for\n"
          "                 example 0.0.0.0:9464 for every interface; port 0: any free\n"
          "                 port). GET / is a page for people, /api/status the state as\n"
          "                 JSON, /metrics the Prometheus text format. Read-only; it\n"
          "                 follows the manager through restarts of its master.\n"
          "  --cl NAME, --ev NAME  the manager's client and event control partitions\n"
          "                 (default $KOVA_CLI_SHM_NAME and $KOVA_EV_SHM_NAME). Without\n"
          "                 names the managers of the host are found: the one there is\n"
          "                 is shown, several are listed with their names.\n"
          "  --2024         read 2024 event slots (default: the layout the manager\n"
          "                 recorded)\n"
          "  -h, --help     this text\n"
          "\n"
          "exit status: 0 shown (or served until interrupted), 1 no such event slot, 2 bad\n"
          "usage or no buffer manager found, 3 the control partitions cannot be attached\n"
          "(or the address cannot be listened on)\n");
}

bool exists(const char* name) {
  C_shm probe;
  probe.keep(true);
  return !probe.find(name);
}

void list_managers(const std::vector<ManagerFound>& found) {
  printf("hesk-status: %zu buffer managers on this host:\n", found.size());
  for (const ManagerFound& m : found) {
    std::string master =
        m.master_pid > 0 ? "master process " + std::to_string(m.master_pid) : "no master runs";
    printf("  --cl %s --ev %s   %d layout, %s, %d readers, %d writers\n", m.client.c_str(),
           m.event.c_str(), m.layout, master.c_str(), m.readers, m.writers);
  }
  printf("show one with: hesk-status --cl NAME --ev NAME\n");
}

}  // namespace

int main(int argc, char** argv) {
  enum { kClients = 1000, kEvents, kSlot, kCl, kEv, k2024, kServe };
  static const struct option options[] = {{"clients", no_argument, nullptr, kClients},
                                          {"events", no_argument, nullptr, kEvents},
                                          {"event-slot", required_argument, nullptr, kSlot},
                                          {"cl", required_argument, nullptr, kCl},
                                          {"ev", required_argument, nullptr, kEv},
                                          {"2024", no_argument, nullptr, k2024},
                                          {"serve", required_argument, nullptr, kServe},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  bool clients = true, events = true, b2024 = false, serving = false, dumps = false;
  live::ServeOptions serve;
  int slot = 0, c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    switch (c) {
      case kClients:
        events = false;
        dumps = true;
        break;
      case kEvents:
        clients = false;
        dumps = true;
        break;
      case kServe:
        if (!live::parse_listen_address(optarg, &serve.host, &serve.port))
          return hesk_cli::usage_error(
              kTool, "--serve needs [ADDR:]PORT with a port from 0 to 65535, not '%s'", optarg);
        serving = true;
        break;
      case kSlot:
        dumps = true;
        if (!hesk_cli::parse_int(optarg, 1, 1000000, &slot))
          return hesk_cli::range_error(kTool, "--event-slot", 1, 1000000, optarg);
        break;
      case kCl:
      case kEv:
        if (*optarg == '\0') return hesk_cli::usage_error(kTool, "empty partition name");
        setenv(c == kCl ? "KOVA_CLI_SHM_NAME" : "KOVA_EV_SHM_NAME", optarg, 1);
        break;
      case k2024:
        b2024 = true;
        break;
      case 'h':
        usage(stdout);
        return 0;
      default:
        return hesk_cli::getopt_error(kTool);
    }
  }
  if (optind < argc) return hesk_cli::usage_error(kTool, "unexpected argument '%s'", argv[optind]);
  if (serving && dumps)
    return hesk_cli::usage_error(kTool,
                                 "--serve shows everything: not with --clients, --events "
                                 "or --event-slot");
  if (serving) {
    const char* cl = getenv("KOVA_CLI_SHM_NAME");
    const char* ev = getenv("KOVA_EV_SHM_NAME");
    if (cl != nullptr || ev != nullptr) {  // named: the other name defaults as the manager's does
      serve.client_partition = cl ? cl : "KOVA_CLIENT_SLOTS";
      serve.event_partition = ev ? ev : "KOVA_EVENT_SLOTS";
    }
    serve.layout = b2024 ? 2024 : 0;
    return live::serve(serve);
  }

  const bool named =
      getenv("KOVA_CLI_SHM_NAME") != nullptr || getenv("KOVA_EV_SHM_NAME") != nullptr;
  if (!named) {
    std::vector<ManagerFound> found = find_managers();
    std::sort(found.begin(), found.end(),
              [](const ManagerFound& a, const ManagerFound& b) { return a.client < b.client; });
    if (found.empty()) {
      fprintf(stderr,
              "hesk-status: no buffer manager runs on this host (no control partitions found)\n");
      return kNoManager;
    }
    if (found.size() > 1) {
      list_managers(found);
      if (slot > 0)
        return hesk_cli::usage_error(kTool, "name the manager of --event-slot with --cl and --ev");
      return 0;
    }
    const ManagerFound& m = found.front();
    setenv("KOVA_CLI_SHM_NAME", m.client.c_str(), 1);
    setenv("KOVA_EV_SHM_NAME", m.event.c_str(), 1);
    printf("buffer manager on partitions '%s' and '%s' (%s)\n", m.client.c_str(), m.event.c_str(),
           m.master_pid > 0 ? ("master process " + std::to_string(m.master_pid)).c_str()
                            : "no master runs");
  }
  Hesk h;  // reads the partition names from the environment
  if (!exists(h.clname) || !exists(h.evname)) {
    fprintf(stderr,
            "hesk-status: no buffer manager runs on this host (partitions '%s' and '%s' not "
            "found)\n",
            h.clname, h.evname);
    return kNoManager;
  }
  if (!b2024) b2024 = event_partition_layout(h.evname) == 2024;
  h.set_evid_64bit_mode(b2024);
  if (h.init()) {
    fprintf(stderr, "hesk-status: cannot attach the control partitions '%s' and '%s'\n", h.clname,
            h.evname);
    return kCannotAttach;
  }
  // Looking must never remove: keep the partitions when this process lets go.
  h.cl_buf->keep(true);
  h.ev_buf->keep(true);
  fflush(stdout);
  if (slot > 0) return print_event_slot(h, slot);
  if (clients) h.dump_cl_slots(std::cout);
  if (events) h.dump_ev_slots(std::cout);
  return 0;
}
