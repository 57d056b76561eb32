// Writer and reader processes of the demo.
#include "demo_roles.h"

#include <sched.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <list>

#include "Hesk.h"

namespace demo {

namespace {

constexpr uint32_t kKeyBase = 1700000000;  // event i is keyed kKeyBase + i seconds

uint64_t now_us() {
  struct timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000u + static_cast<uint64_t>(ts.tv_nsec / 1000);
}

// Children leave interrupts to the master, which stops them in order. A
// writer waiting for a free buffer is woken at the stop by SIGUSR1, which
// interrupts the wait.
void on_wake(int) {}
void ignore_interrupts() {
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, SIG_IGN);
  struct sigaction sa;
  memset(&sa, 0, sizeof(sa));
  sa.sa_handler = on_wake;  // no automatic restart: the wait returns
  sigaction(SIGUSR1, &sa, nullptr);
}

bool init_retrying(Hesk& h, Shared* sh) {
  while (!sh->stop.load()) {
    if (!h.init()) return true;
    usleep(20000);
  }
  return false;
}

kova_client plain_request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

size_t head_size(bool b2024) {
  return b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
}

// Waits until `offset_ns` after `start`: a long wait sleeps, the last stretch
// hands the CPU to whoever wants it (sched_yield) instead of arming a timer
// per event, which costs a virtual machine more than the event itself.
void wait_until(const struct timespec& start, long long offset_ns) {
  long long due = start.tv_sec * 1000000000LL + start.tv_nsec + offset_ns;
  for (;;) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    long long ahead = due - (ts.tv_sec * 1000000000LL + ts.tv_nsec);
    if (ahead <= 0) return;
    if (ahead > 2000000) {
      struct timespec nap = {0, static_cast<long>(ahead - 1000000)};
      nanosleep(&nap, nullptr);
    } else {
      sched_yield();
    }
  }
}

// Writes server block `index` of event i into p: the head, one sub-block
// whose payload starts with the send time in microseconds, then filler.
void fill_block(char* p, const DemoConfig& cfg, const std::string& name, long i) {
  size_t hs = head_size(cfg.layout_2024);
  if (cfg.layout_2024) {
    auto* h = reinterpret_cast<kova_serv_block_head_2024*>(p);
    memset(h, 0, sizeof(*h));
    h->pattern = KOVA_SB_PATTERN_2024;
    h->time = {kKeyBase + static_cast<uint32_t>(i), 0};
    h->ltotal = cfg.block_size;
    h->mpulse = i + 1;
    strncpy(h->server, name.c_str(), 255);
    h->tmask = 1;
    h->nchan = 1;
  } else {
    auto* h = reinterpret_cast<kova_serv_block_head_2010*>(p);
    memset(h, 0, sizeof(*h));
    h->time = {kKeyBase + static_cast<uint32_t>(i), 0};
    h->ltotal = cfg.block_size;
    h->mpulse = static_cast<int32_t>(i + 1);
    strncpy(h->server, name.c_str(), 255);
    h->tmask = 1;
    h->nchan = 1;
  }
  auto* sb = reinterpret_cast<kova_serv_block_subhead_2010*>(p + hs);
  memset(sb, 0, sizeof(*sb));
  strncpy(sb->chname, (name + ".CH0").c_str(), 255);
  sb->dtype = KOVA_BLOCK_1CHAN_2010;
  sb->ldata = static_cast<int32_t>(cfg.block_size - hs);
  char* payload = p + hs + sizeof(*sb);
  size_t room = cfg.block_size - hs - sizeof(*sb);
  memset(payload, static_cast<int>(i & 0xFF), room);
  uint64_t t = now_us();
  memcpy(payload, &t, sizeof(t));
}

// A reader that looks at every block of every event it is handed.
class DemoReader : public Hesk {
 public:
  DemoReader(const DemoConfig& cfg, ReaderStats* st, bool listing)
      : cfg_(cfg), st_(st), listing_(listing) {}

  void event_handler(void* head, kova_client_sblock_data* blocks) override {
    uint64_t t_now = now_us();
    int n = cfg_.layout_2024 ? static_cast<kova_event_slot_head_2024*>(head)->sbfilled
                             : static_cast<kova_event_slot_head*>(head)->sbfilled;
    size_t hs = head_size(cfg_.layout_2024);
    uint64_t latest = 0;
    int present = 0;
    bool first_present = false;
    for (int k = 0; k < n; ++k) {
      if (blocks[k].shmid == 0 || blocks[k].bnum < 0) continue;
      char* p = pool_buffer_address(blocks[k].bnum, blocks[k].shmid);
      if (p == nullptr) continue;
      ++present;
      bool is_first = strcmp(blocks[k].name, "W1") == 0;
      first_present = first_present || is_first;
      long ltotal = cfg_.layout_2024
                        ? static_cast<long>(reinterpret_cast<kova_serv_block_head_2024*>(p)->ltotal)
                        : reinterpret_cast<kova_serv_block_head_2010*>(p)->ltotal;
      st_->bytes += static_cast<uint64_t>(ltotal);
      uint64_t sent;
      memcpy(&sent, p + hs + sizeof(kova_serv_block_subhead_2010), sizeof(sent));
      if (!listing_ || is_first) latest = sent > latest ? sent : latest;
    }
    bool complete = listing_ ? first_present : present == cfg_.writers;
    if (!complete) st_->incomplete += 1;
    double lat = latest > 0 && t_now > latest ? static_cast<double>(t_now - latest) : 0.0;
    st_->hist[bucket_of(lat)] += 1;
    st_->events += 1;
  }

 private:
  const DemoConfig& cfg_;
  ReaderStats* st_;
  bool listing_;
};

}  // namespace

std::string writer_block_name(int index) {
  return "W" + std::to_string(index + 1);
}

int writer_process(const DemoConfig& cfg, Shared* sh, int index, const std::string& data_name) {
  ignore_interrupts();
  WriterStats& st = sh->w[index];
  int rc = 0;
  {
    Hesk h;
    h.set_evid_64bit_mode(cfg.layout_2024);
    if (!init_retrying(h, sh)) return 10;
    kova_client c = plain_request();
    std::string name = writer_block_name(index);
    std::list<std::string> names{name};
    if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &names) < 1) return 11;
    int id = h.add(data_name.c_str(), cfg.data_buffers, cfg.block_size, false);
    if (id < 0) return 12;
    sh->ready += 1;
    while (!sh->go.load() && !sh->stop.load()) usleep(1000);
    // At a fixed offered rate, event i is due at start + i / rate.
    struct timespec start;
    clock_gettime(CLOCK_MONOTONIC, &start);
    for (long i = 0; i < sh->limit.load() && !sh->stop.load(); ++i) {
      if (cfg.rate > 0) wait_until(start, static_cast<long long>(i * 1e9 / cfg.rate));
      int bid = id, bnum = -1;
      char* p = nullptr;
      // Waits for a buffer when all are in events still being read.
      while ((p = h.get_buffer_from_pool(0, cfg.block_size, &bid, &bnum)) == nullptr) {
        if (sh->stop.load()) break;
        bid = id;
      }
      if (p == nullptr) break;
      fill_block(p, cfg, name, i);
      if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) {
        st.refused += 1;
        h.return_buffer_in_pool(bnum, id);
      }
      st.sent += 1;
    }
    sh->writers_done += 1;
    // The data partition stays until every reader has handed its blocks back.
    while (!sh->stop.load()) usleep(2000);
  }
  st.exit_code = rc;
  return rc;
}

int reader_process(const DemoConfig& cfg, Shared* sh, int index, bool listing) {
  ignore_interrupts();
  {
    DemoReader r(cfg, &sh->r[index], listing);
    r.set_evid_64bit_mode(cfg.layout_2024);
    if (!init_retrying(r, sh)) return 20;
    kova_client c = plain_request();
    std::list<std::string> names{writer_block_name(0)};
    if (r.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, listing ? &names : nullptr) < 1) return 21;
    sh->ready += 1;
    while (!sh->stop.load()) usleep(2000);
  }
  return 0;
}

}  // namespace demo
