// hesk-shm: lists the shared-memory partitions of this host, dumps one by
// name or segment id, and removes one by name (the clean-up after a crash).
//
// Exit status: 0 done; 2 no such partition, or bad usage; 3 permission
// denied or another system error.
#include <getopt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <iostream>
#include <string>
#include <vector>

#include "C_shm.h"
#include "C_shm_kill.h"
#include "tool_options.h"

namespace {

const char kTool[] = "hesk-shm";
constexpr int kOk = 0;
constexpr int kUsage = hesk_cli::kUsageError;
constexpr int kMissing = 2;
constexpr int kDenied = 3;

const char* const kVersion = "102";

int usage(std::ostream& os, int status) {
  os << "usage: hesk-shm list\n"
        "       hesk-shm dump NAME\n"
        "       hesk-shm dump --id SHMID\n"
        "       hesk-shm rm NAME\n"
        "\n"
        "  list   the partitions of this host: name, segment id, buffers, buffer\n"
        "         length, users, free and full buffers, permission bits, owner\n"
        "         (user id), flags\n"
        "  dump   the control data and buffer table of one partition\n"
        "  rm     remove a partition by name, even if crashed processes are still\n"
        "         counted as its users\n"
        "  -h, --help  this text\n"
        "\n"
        "exit status: 0 done, 2 no such partition or bad usage, 3 permission denied\n";
  return status;
}

// A viewer: attached but not a user, and never removing what it looks at.
struct Viewer : C_shm {
  Viewer() { keep(true); }
  bool is_partition() const { return getStat("version") == kVersion; }
};

int list() {
  std::cout << std::left << std::setw(32) << "NAME" << std::right << std::setw(10) << "SHMID"
            << std::setw(9) << "BUFFERS" << std::setw(10) << "LENGTH" << std::setw(7) << "USERS"
            << std::setw(7) << "FREE" << std::setw(7) << "FULL" << std::setw(6) << "MODE"
            << std::setw(7) << "OWNER"
            << "  FLAGS" << std::endl;
  int shown = 0;
  for (int id : C_shm::partition_ids()) {
    Viewer v;
    if (v.find(id) || !v.is_partition()) continue;
    std::cout << std::left << std::setw(32) << v.getStat("name") << std::right << std::setw(10)
              << id << std::setw(9) << v.getStat("nbuf") << std::setw(10) << v.getStat("lbuf")
              << std::setw(7) << v.getStat("use_count") << std::setw(7) << v.getStat("freebuf")
              << std::setw(7) << v.getStat("fullbuf") << std::setw(6) << v.getStat("mode")
              << std::setw(7) << v.getStat("owner") << "  " << v.getStat("pflags") << std::endl;
    ++shown;
  }
  if (shown == 0) std::cout << "(no partitions)" << std::endl;
  return kOk;
}

bool parse_id(const char* text, int* id) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < 0 || v > 0x7fffffffL) return false;
  *id = static_cast<int>(v);
  return true;
}

int dump_by_id(const char* text) {
  int id = -1;
  if (!parse_id(text, &id)) {
    return hesk_cli::usage_error(kTool, "--id needs a segment id (a number from 0), not '%s'",
                                 text);
  }
  bool known = false;
  for (int candidate : C_shm::partition_ids()) known = known || candidate == id;
  Viewer v;
  if (!known || v.find(id)) {
    if (v.getError() == NoPriviledge) {
      std::cerr << "hesk-shm: permission denied: segment " << id << std::endl;
      return kDenied;
    }
    std::cerr << "hesk-shm: no partition with segment id " << id << std::endl;
    return kMissing;
  }
  if (!v.is_partition()) {
    std::cerr << "hesk-shm: segment " << id << " is not a partition (version "
              << v.getStat("version") << ")" << std::endl;
    return kMissing;
  }
  v.dump(std::cout);
  return kOk;
}

int dump_by_name(const char* name) {
  Viewer v;
  if (v.find(name) || !v.is_partition()) {
    std::cerr << "hesk-shm: no partition named '" << name << "'" << std::endl;
    return kMissing;
  }
  v.dump(std::cout);
  return kOk;
}

int remove_partition(const char* name) {
  std::string users;
  {
    Viewer v;
    if (v.find(name) || !v.is_partition()) {
      std::cerr << "hesk-shm: no partition named '" << name << "'" << std::endl;
      return kMissing;
    }
    users = v.getStat("use_count");
  }
  C_shm_kill k(name);
  if (k.getError() == NoPriviledge) {
    std::cerr << "hesk-shm: permission denied: only the owner or creator of partition '" << name
              << "' (or root) may remove it" << std::endl;
    return kDenied;
  }
  if (k.getError() != NoError) {
    std::cerr << "hesk-shm: no partition named '" << name << "'" << std::endl;
    return kMissing;
  }
  const std::string id = k.getStat("shmid");
  k.release();
  if (k.getError() != NoError) {
    std::cerr << "hesk-shm: cannot remove partition '" << name << "': " << k.Error() << std::endl;
    return kDenied;
  }
  std::cout << "removed partition '" << name << "' (shmid " << id << ", " << users
            << " registered users)" << std::endl;
  return kOk;
}

}  // namespace

int main(int argc, char** argv) {
  static const struct option options[] = {{"id", required_argument, nullptr, 'i'},
                                          {"help", no_argument, nullptr, 'h'},
                                          {nullptr, 0, nullptr, 0}};
  const char* id = nullptr;
  int c;
  while ((c = getopt_long(argc, argv, "h", options, nullptr)) != -1) {
    if (c == 'h') return usage(std::cout, kOk);
    if (c != 'i') return hesk_cli::getopt_error(kTool);
    id = optarg;
  }
  const std::vector<std::string> args(argv + optind, argv + argc);
  if (args.empty()) return usage(std::cerr, kUsage);
  const std::string& cmd = args[0];
  if (cmd == "help" && args.size() == 1 && id == nullptr) return usage(std::cout, kOk);
  if (cmd == "list" && args.size() == 1 && id == nullptr) return list();
  if (cmd == "dump" && args.size() == 2 && id == nullptr) return dump_by_name(args[1].c_str());
  if (cmd == "dump" && args.size() == 1 && id != nullptr) return dump_by_id(id);
  if (cmd == "rm" && args.size() == 2 && id == nullptr) return remove_partition(args[1].c_str());
  return hesk_cli::usage_error(kTool, "expected list, dump NAME, dump --id SHMID or rm NAME");
}
