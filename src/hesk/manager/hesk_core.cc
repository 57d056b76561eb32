// Construction, destruction, settings, the key-extraction registry, the
// serialised pool access and the time helpers of a Hesk object.
#include <sys/time.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "manager_internal.h"
#include "stats_partition.h"

using namespace hesk_mgr;

namespace {
const char* env_or(const char* var, const char* fallback) {
  const char* v = getenv(var);
  return v ? v : fallback;
}
}  // namespace

Hesk::Hesk()
    : clid(-1),
      evid(-1),
      master(false),
      ncli(1024),
      nsbl(4094),
      evrate(20),
      reader_go(false),
      evid64bitmode(false),
      pid(0),
      mpid(static_cast<pthread_t>(getpid())),
      qid(-1),
      smode(HESK_SYNCH_TIME),
      port(-1),
      rid(static_cast<pthread_t>(-1)),
      time_mask(20000),
      clname(env_or("KOVA_CLI_SHM_NAME", "KOVA_CLIENT_SLOTS")),
      evname(env_or("KOVA_EV_SHM_NAME", "KOVA_EVENT_SLOTS")),
      cl_buf(nullptr),
      ev_buf(nullptr),
      clictrl(nullptr),
      evtctrl(nullptr),
      evtctrl2024(nullptr),
      user_cb(nullptr),
      clslots(0),
      evslots(0),
      mperiod(500000),
      forced(true),
      timed_blocks_debug(20),
      missed_blocks_debug(20),
      ready_(false),
      monitor_run_(false),
      reader_run_(false),
      master_lock_semid_(-1),
      reader_sock_(new UdpSocket),
      send_sock_(new UdpSocket),
      reader_thread_(new ManagedThread),
      monitor_thread_(new ManagedThread),
      monitor_state_(new MonitorState),
      stats_block_(nullptr) {
  resolve_localhost();  // failures are reported and retried at the first notification
  __atomic_store_n(&hesk_bad_format_events, 0, __ATOMIC_RELAXED);
}

Hesk::~Hesk() {
  all_clean_up();
  get_bname_f.clear();
  get_key_f.clear();
  get_len_f.clear();
  get_trg_f.clear();
  get_sts_f.clear();
  get_evid_f.clear();
}

void Hesk::event_handler(void*, kova_client_sblock_data*) {}

bool Hesk::set_master(bool m) {
  if (m == master) return false;
  bool failed = master ? stop_monitor() : start_monitor();
  if (failed) return true;
  master = m;
  return false;
}

int Hesk::set_nclients(int n) {
  if (clid >= 0 || evid >= 0) return ncli;
  return ncli = n;
}

int Hesk::set_nblocks(int n) {
  if (clid >= 0 || evid >= 0) return nsbl;
  return nsbl = n;
}

int Hesk::set_rate(int n) {
  if (clid >= 0 || evid >= 0) return evrate;
  return evrate = n;
}

int Hesk::set_ncl_slots(int n) {
  if (clid >= 0 && cl_buf != nullptr) return cl_buf->getBufferCount();
  return clslots = n;
}

int Hesk::set_nev_slots(int n) {
  if (evid >= 0 && ev_buf != nullptr) return ev_buf->getBufferCount();
  return evslots = n;
}

void Hesk::set_monitoring_period(int usec) {
  // The running monitor reads the period: it is stopped before the change.
  stop_monitor();
  mperiod = static_cast<unsigned long>(usec);
  if (master) start_monitor();
}

void Hesk::set_time_mask(unsigned long usec) {
  time_mask = usec;
}
void Hesk::set_forced(bool f) {
  forced = f;
}

bool Hesk::set_smode(int m) {
  if (m != HESK_SYNCH_TIME && m != HESK_SYNCH_EVID) return true;
  smode = m;
  return false;
}

int Hesk::get_smode() {
  return smode;
}

bool Hesk::set_evid_64bit_mode(bool b) {
  if (evid != -1) return evid64bitmode;
  evid64bitmode = b;
  return b;
}

bool Hesk::get_evid_64bit_mode() {
  return evid64bitmode;
}

void Hesk::set_ev_handler(HESK_EVENT_CB cb) {
  user_cb = cb;
}

void Hesk::set_get_name_func(int evtype, GET_NAME_FUN f) {
  if (f) get_bname_f[evtype] = f;
}
void Hesk::set_get_key_func(int evtype, GET_KEY_FUN f) {
  if (f) get_key_f[evtype] = f;
}
void Hesk::set_get_length_func(int evtype, GET_LEN_FUN f) {
  if (f) get_len_f[evtype] = f;
}
void Hesk::set_get_trg_func(int evtype, GET_TRG_FUN f) {
  if (f) get_trg_f[evtype] = f;
}
void Hesk::set_get_sts_func(int evtype, GET_STS_FUN f) {
  if (f) get_sts_f[evtype] = f;
}
void Hesk::set_get_evid_func(int evtype, GET_EVID_FUN f) {
  if (f) get_evid_f[evtype] = f;
}

void Hesk::get_cur_time(time_stamp* t) {
  if (t) *t = now();
}

bool Hesk::time_expired(time_stamp* now_t, time_stamp* then, time_stamp* interval) {
  return micros(*now_t) - micros(*then) >= micros(*interval);
}

void Hesk::get_time_diff(time_stamp* a, time_stamp* b, time_stamp* out) {
  if (!a || !b || !out) return;
  long long d = static_cast<long long>(llround(micros(*b) - micros(*a)));
  long long sec = d / 1000000, usec = d % 1000000;
  if (usec < 0) {
    usec += 1000000;
    sec -= 1;
  }
  out->timeup = static_cast<uint32_t>(sec);
  out->timelow = static_cast<uint32_t>(usec);
}

bool Hesk::ev_keys_eq(time_stamp* a, time_stamp* b) {
  double d = std::fabs(micros(*a) - micros(*b));
  return static_cast<double>(time_mask) < d;
}
