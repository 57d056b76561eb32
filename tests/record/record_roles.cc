// The master and writer processes of the recorder tests.
#include "record_roles.h"

#include <time.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <list>
#include <sstream>

#include "../hesk/mp/process_fixture.h"

namespace record_test {

using hesk_mp::file_exists;
using hesk_mp::touch;
using hesk_mp::wait_file;

std::string block_name(int w) {
  return "W" + std::to_string(w);
}

uint64_t event_id(int gen, long i) {
  return (gen == 2024 ? (1ull << 32) : 0) + static_cast<uint64_t>(i) + 1;
}

std::vector<unsigned char> make_block(const WriterSpec& w, long i) {
  const bool wide = w.gen == 2024;
  const size_t head = wide ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
  const size_t fixed = sizeof(kova_serv_block_subhead_2010) + sizeof(kova_norm_1channel_block_2010);
  const int samples = static_cast<int>((static_cast<size_t>(w.block) - head - fixed) / 4);
  std::vector<unsigned char> b(head + fixed + 4 * static_cast<size_t>(samples), 0);
  const time_stamp key = {kT0 + static_cast<unsigned>(i), 0};
  const std::string name = block_name(w.index);
  if (wide) {
    kova_serv_block_head_2024 h;
    memset(&h, 0, sizeof(h));
    h.pattern = KOVA_SB_PATTERN_2024;
    h.ltotal = static_cast<int64_t>(b.size());
    h.mpulse = static_cast<int64_t>(event_id(w.gen, i));
    h.time = key;
    strncpy(h.server, name.c_str(), sizeof(h.server) - 1);
    h.tmask = 1 << w.index;
    h.nchan = 1;
    memcpy(b.data(), &h, sizeof(h));
  } else {
    kova_serv_block_head_2010 h;
    memset(&h, 0, sizeof(h));
    h.time = key;
    h.ltotal = static_cast<int32_t>(b.size());
    h.mpulse = static_cast<int32_t>(event_id(w.gen, i));
    strncpy(h.server, name.c_str(), sizeof(h.server) - 1);
    h.tmask = 1 << w.index;
    h.nchan = 1;
    memcpy(b.data(), &h, sizeof(h));
  }
  kova_serv_block_subhead_2010 sub;
  memset(&sub, 0, sizeof(sub));
  snprintf(sub.chname, sizeof(sub.chname), "%s.CH0", name.c_str());
  sub.dtype = KOVA_BLOCK_1CHAN_2010;
  sub.ldata = static_cast<int32_t>(b.size() - head);
  memcpy(b.data() + head, &sub, sizeof(sub));
  kova_norm_1channel_block_2010 sp;
  memset(&sp, 0, sizeof(sp));
  sp.header.inc = 1;
  sp.header.ndata = samples;
  sp.header.groups = 1;
  memcpy(b.data() + head + sizeof(sub), &sp, sizeof(sp));
  for (int k = 0; k < samples; ++k) {
    const float v = static_cast<float>((i * 7 + k + w.index * 13) % 65536);
    memcpy(b.data() + head + fixed + 4 * static_cast<size_t>(k), &v, 4);
  }
  return b;
}

std::vector<std::string> writer_args(const std::string& dir, const std::string& data,
                                     const WriterSpec& w) {
  std::string types;
  for (int t : w.types) types += (types.empty() ? "" : ",") + std::to_string(t);
  return {dir,
          data,
          std::to_string(w.index),
          std::to_string(w.gen),
          std::to_string(w.events),
          std::to_string(w.block),
          types,
          std::to_string(w.rate)};
}

namespace {

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

// Child: the master, sized for a few writers and the recorder.
int master_main(const std::string& dir, int gen) {
  Hesk m;
  m.set_nclients(8);
  m.set_nblocks(8);
  m.set_ncl_slots(80);
  m.set_nev_slots(64);
  m.set_monitoring_period(50000);  // events a killed recorder held come back within 0.5 s
  m.set_evid_64bit_mode(gen == 2024);
  if (m.set_master(true) || m.init()) return 70;
  touch(dir + "/ready.master");
  wait_file(dir + "/stop", 600000);
  return 0;
}

// Child: a writer delivering its block of every event until it has sent
// them all or "halt" appears; "sent.W<w>" then holds the count of events
// stored, "refused.W<w>" of those the manager refused.
int writer_main(const std::string& dir, const std::string& data, const WriterSpec& w) {
  Hesk h;
  h.set_evid_64bit_mode(w.gen == 2024);
  if (!hesk_mp::init_retrying(h)) return 10;
  kova_client c = request();
  std::list<std::string> names{block_name(w.index)};
  for (int t : w.types)
    if (h.subscribe(static_cast<KOVA_EVTYPE>(t), CLI_T_WRITER, &c, &names) < 1) return 11;
  const int id = h.add(data.c_str(), 16, w.block, false);
  if (id < 0) return 12;
  touch(dir + "/ready." + block_name(w.index));
  if (!wait_file(dir + "/go", 60000)) return 13;
  struct timespec start;
  clock_gettime(CLOCK_MONOTONIC, &start);
  long sent = 0, refused = 0;
  for (long i = 0; i < w.events; ++i) {
    if (i % 64 == 0 && file_exists(dir + "/halt")) break;
    if (w.rate > 0) {
      const double due = static_cast<double>(i) / w.rate;
      for (;;) {
        struct timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double t = static_cast<double>(now.tv_sec - start.tv_sec) +
                         static_cast<double>(now.tv_nsec - start.tv_nsec) / 1e9;
        if (t >= due) break;
        usleep(static_cast<useconds_t>((due - t) * 1e6) + 1);
      }
    }
    int bid = id, bnum = -1;
    char* p = nullptr;
    // Waits for a buffer while the events hold them all (back-pressure).
    for (int tries = 0; p == nullptr; ++tries) {
      p = h.get_buffer_from_pool(4, w.block, &bid, &bnum);
      if (p != nullptr) break;
      if (tries % 1000 == 999 && file_exists(dir + "/halt")) break;
      bid = id;
      usleep(200);
    }
    if (p == nullptr) break;
    const std::vector<unsigned char> b = make_block(w, i);
    memcpy(p, b.data(), b.size());
    const auto type = static_cast<KOVA_EVTYPE>(w.types[static_cast<size_t>(i) % w.types.size()]);
    if (h.ev_update(type, id, bnum)) {
      // Refused (no free event slot while a killed recorder's events are
      // taken back): the event is lost for everyone, the writer goes on.
      h.return_buffer_in_pool(bnum, id);
      ++refused;
      usleep(1000);
      continue;
    }
    ++sent;
  }
  std::ofstream(dir + "/sent." + block_name(w.index)) << sent;
  std::ofstream(dir + "/refused." + block_name(w.index)) << refused;
  wait_file(dir + "/stop", 600000);
  return 0;
}

}  // namespace

int run_role(int argc, char** argv) {
  alarm(600);  // a stray child ends itself
  const std::string role = argv[1] + 13;
  if (role == "master" && argc == 4) return master_main(argv[2], atoi(argv[3]));
  if (role == "writer" && argc == 10) {
    WriterSpec w;
    w.index = atoi(argv[4]);
    w.gen = atoi(argv[5]);
    w.events = atol(argv[6]);
    w.block = atoi(argv[7]);
    std::stringstream ss(argv[8]);
    for (std::string t; std::getline(ss, t, ',');) w.types.push_back(atoi(t.c_str()));
    w.rate = atoi(argv[9]);
    return writer_main(argv[2], argv[3], w);
  }
  return 2;
}

}  // namespace record_test
