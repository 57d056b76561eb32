// The processes of the torture run: the master, writers that deposit one
// block per tick with a checkable pattern, and readers that check every
// event they are given. Each notes in the ledger what it deposited or was
// given, so that events that never arrived can be found afterwards.
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <list>
#include <string>
#include <unordered_set>

#include "Hesk.h"
#include "torture.h"

namespace torture {

volatile sig_atomic_t g_terminate = 0;

namespace {

void on_terminate(int) {
  g_terminate = 1;
}

void sizes(Hesk& h) {
  h.set_nclients(4);  // 257 client slots
  h.set_nblocks(kMaxWriters);
  h.set_rate(4);  // 129 event slots
}

bool init_retrying(Hesk& h) {
  for (int i = 0; i < 2000 && !g_terminate; ++i) {
    if (!h.init()) return true;
    usleep(5000);
  }
  return false;
}

unsigned char pattern(int writer, uint32_t tick, int k) {
  return static_cast<unsigned char>(writer * 31 + tick * 7 + k);
}

// The fields of a server block head that the run checks, in either layout.
struct BlockFields {
  time_stamp time;
  long ltotal;
  long mpulse;
  char server[KOVA_SBLOCK_NAME_LEN];
};

size_t head_size(bool b2024) {
  return b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
}

void write_block(char* p, bool b2024, int writer, uint32_t tick, long long t_us) {
  time_stamp t{static_cast<uint32_t>(t_us / 1000000), static_cast<uint32_t>(t_us % 1000000)};
  if (b2024) {
    kova_serv_block_head_2024 b;
    memset(&b, 0, sizeof(b));
    b.pattern = KOVA_SB_PATTERN_2024;
    b.time = t;
    b.ltotal = static_cast<int64_t>(sizeof(b) + kPayload);
    b.mpulse = tick;
    snprintf(b.server, sizeof(b.server), "W%d", writer);
    b.tmask = 1;
    memcpy(p, &b, sizeof(b));
  } else {
    kova_serv_block_head_2010 b;
    memset(&b, 0, sizeof(b));
    b.time = t;
    b.ltotal = static_cast<int32_t>(sizeof(b) + kPayload);
    b.mpulse = static_cast<int32_t>(tick);
    snprintf(b.server, sizeof(b.server), "W%d", writer);
    b.tmask = 1;
    memcpy(p, &b, sizeof(b));
  }
  unsigned char* d = reinterpret_cast<unsigned char*>(p) + head_size(b2024);
  for (int k = 0; k < kPayload; ++k) d[k] = pattern(writer, tick, k);
}

BlockFields read_block(const char* p, bool b2024) {
  BlockFields f;
  if (b2024) {
    kova_serv_block_head_2024 b;
    memcpy(&b, p, sizeof(b));
    f = {b.time, static_cast<long>(b.ltotal), static_cast<long>(b.mpulse), {}};
    memcpy(f.server, b.server, sizeof(f.server));
  } else {
    kova_serv_block_head_2010 b;
    memcpy(&b, p, sizeof(b));
    f = {b.time, b.ltotal, b.mpulse, {}};
    memcpy(f.server, b.server, sizeof(f.server));
  }
  f.server[sizeof(f.server) - 1] = '\0';
  return f;
}

// Whether a block carries what writer W<n> put there for `tick`.
bool block_intact(const char* p, bool b2024, const BlockFields& b, uint32_t tick,
                  const char* entry_name) {
  int writer = -1;
  if (sscanf(b.server, "W%d", &writer) != 1 || writer < 0 || writer >= kMaxWriters) return false;
  if (strncmp(b.server, entry_name, KOVA_SBLOCK_NAME_LEN) != 0) return false;
  if (b.ltotal != static_cast<long>(head_size(b2024) + kPayload)) return false;
  const unsigned char* d = reinterpret_cast<const unsigned char*>(p) + head_size(b2024);
  for (int k = 0; k < kPayload; ++k)
    if (d[k] != pattern(writer, tick, k)) return false;
  return true;
}

// The reader of this process: its object and what it has seen.
struct ReaderState {
  Hesk* hesk = nullptr;
  Shared* shared = nullptr;
  int index = 0;
  bool b2024 = false;
  std::unordered_set<uint32_t> seen;
  uint32_t highest = 0;
};
ReaderState g_reader;

void check_event(void* head, kova_client_sblock_data* blocks) {
  uint32_t tick;
  int filled;
  if (g_reader.b2024) {
    auto* h = static_cast<kova_event_slot_head_2024*>(head);
    tick = static_cast<uint32_t>(h->eventid);
    filled = h->sbfilled;
  } else {
    auto* h = static_cast<kova_event_slot_head*>(head);
    tick = static_cast<uint32_t>(h->eventid);
    filled = h->sbfilled;
  }
  Shared* s = g_reader.shared;
  if (!g_reader.seen.insert(tick).second) s->duplicates += 1;
  if (tick > g_reader.highest) g_reader.highest = tick;
  // Ticks far behind cannot come again; forget them.
  if (g_reader.seen.size() > 200000) {
    for (auto it = g_reader.seen.begin(); it != g_reader.seen.end();)
      it = *it + 100000 < g_reader.highest ? g_reader.seen.erase(it) : std::next(it);
  }
  std::unordered_set<std::string> names;
  for (int k = 0; k < filled; ++k) {
    const kova_client_sblock_data& e = blocks[k];
    if (e.shmid == 0 || e.bnum < 0) continue;
    if (!names.insert(std::string(e.name, strnlen(e.name, sizeof(e.name)))).second) s->splits += 1;
    char* p = g_reader.hesk->pool_buffer_address(e.bnum, e.shmid);
    if (p == nullptr) {
      s->corrupt += 1;
      continue;
    }
    BlockFields b = read_block(p, g_reader.b2024);
    if (static_cast<uint32_t>(b.mpulse) != tick)
      s->splits += 1;
    else if (!block_intact(p, g_reader.b2024, b, tick, e.name))
      s->corrupt += 1;
  }
  if (TickEntry* t = s->entry(tick)) t->bits.fetch_or(1u << (8 + g_reader.index));
  s->events_checked += 1;
}

}  // namespace

long long now_us() {
  timeval tv;
  gettimeofday(&tv, nullptr);
  return tv.tv_sec * 1000000LL + tv.tv_usec;
}

void install_terminate_handler() {
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = on_terminate;
  sigaction(SIGTERM, &sa, nullptr);
}

std::string data_name(const Options& o, int writer) {
  return o.prefix + ".w" + std::to_string(writer);
}

int run_master(const Options& o, Shared* s) {
  Hesk m;
  sizes(m);
  m.set_evid_64bit_mode(o.layout_2024);
  m.set_monitoring_period(o.monitor_us);
  if (m.set_master(true) || m.init()) return 10;
  s->master_ready = 1;
  while (!g_terminate) usleep(20000);
  return 0;
}

int run_writer(const Options& o, Shared* s, int index) {
  Hesk h;
  h.set_smode(HESK_SYNCH_EVID);
  h.set_evid_64bit_mode(o.layout_2024);
  if (!init_retrying(h)) return g_terminate ? 0 : 20;
  kova_client req;
  memset(&req, 0, sizeof(req));
  std::list<std::string> names{"W" + std::to_string(index)};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &req, &names) < 1) return 21;
  int id = h.add(data_name(o, index).c_str(), kDataBuffers, kBufferLength, false);
  if (id < 0) return 22;
  uint32_t last = 0;
  while (!g_terminate && !s->stop_writers.load()) {
    long long t = now_us();
    uint32_t tick = static_cast<uint32_t>((t / o.tick_us) & 0x7fffffff);
    if (tick == last) {
      usleep(static_cast<useconds_t>(o.tick_us - t % o.tick_us));
      continue;
    }
    int bid = id, bnum = -1;
    char* p = h.get_buffer_from_pool(4, kBufferLength, &bid, &bnum);
    if (p == nullptr) {
      usleep(500);  // every buffer in events still being read
      continue;
    }
    last = tick;
    write_block(p, o.layout_2024, index, tick, t - t % o.tick_us);
    if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) {
      h.return_buffer_in_pool(bnum, id);
      s->blocks_refused += 1;
    } else {
      if (TickEntry* e = s->entry(tick)) e->bits.fetch_or(1u << index);
      s->blocks_sent += 1;
    }
  }
  return 0;
}

int run_reader(const Options& o, Shared* s, int index) {
  Hesk h;
  g_reader.hesk = &h;
  g_reader.shared = s;
  g_reader.index = index;
  g_reader.b2024 = o.layout_2024;
  h.set_evid_64bit_mode(o.layout_2024);
  h.set_ev_handler(check_event);
  if (!init_retrying(h)) return g_terminate ? 0 : 30;
  kova_client req;
  memset(&req, 0, sizeof(req));
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &req, nullptr) < 1) return 31;
  s->reader_since[index] = now_us();
  while (!g_terminate) usleep(20000);
  return 0;
}

}  // namespace torture
