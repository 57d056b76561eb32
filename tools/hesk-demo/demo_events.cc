// The demo's events: how writers fill their server blocks and how readers
// check them.
#include "demo_events.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "demo_roles.h"
#include "event_channel.h"
#include "event_util.h"
#include "hesk_util.h"

namespace demo {

namespace {

const char kEnvChannel[] = "DEMO.ENV.T";
const char kEnvChannel2[] = "DEMO.ENV.P";
const char kUpdChannel[] = "DEMO.UPD.X";
const char kUpdChannel2[] = "DEMO.UPD.Y";

constexpr size_t kSubHead = sizeof(kova_serv_block_subhead_2010);
constexpr size_t kSpectrumHead = sizeof(kova_norm_1channel_block_2010);
// Where in the spectrum the send time lies: statistics spares 30 and 31.
constexpr size_t kSendAt = offsetof(kova_norm_1channel_block_2010, stats) +
                           offsetof(kova_spect_statistics_2010, val) + 30 * sizeof(float);

size_t head_size(bool b2024) {
  return b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
}

// Values are small multiples of 1/8, exact in a float.
float sample(long i, int writer, int s) {
  return static_cast<float>(i % 4096) * 8.0f + static_cast<float>(s) + 0.125f * writer;
}
float env_value(long i) {
  return 20.0f + static_cast<float>(i % 100000) * 0.25f;
}
float upd_value(long i) {
  return -5.0f + static_cast<float>(i % 100000) * 0.5f;
}

// Writes a server block head and its sub-blocks one after the other.
class BlockWriter {
 public:
  BlockWriter(char* p, bool b2024, const std::string& name, long i)
      : p_(p), b2024_(b2024), off_(head_size(b2024)) {
    memset(p, 0, off_);
    const time_stamp key = {kKeyBase + static_cast<uint32_t>(i), 0};
    if (b2024) {
      auto* h = reinterpret_cast<kova_serv_block_head_2024*>(p);
      h->pattern = KOVA_SB_PATTERN_2024;
      h->time = key;
      h->mpulse = i + 1;
      strncpy(h->server, name.c_str(), 255);
      h->tmask = 1;
    } else {
      auto* h = reinterpret_cast<kova_serv_block_head_2010*>(p);
      h->time = key;
      h->mpulse = static_cast<int32_t>(i + 1);
      strncpy(h->server, name.c_str(), 255);
      h->tmask = 1;
    }
  }
  // A sub-block head with room for `payload` bytes; the payload's address.
  char* sub(const char* chname, int dtype, size_t payload) {
    auto* s = reinterpret_cast<kova_serv_block_subhead_2010*>(p_ + off_);
    memset(s, 0, kSubHead);
    strncpy(s->chname, chname, 255);
    s->dtype = dtype;
    s->ldata = static_cast<int32_t>(kSubHead + payload);
    char* out = p_ + off_ + kSubHead;
    off_ += kSubHead + payload;
    ++nchan_;
    return out;
  }
  void finish() {
    if (b2024_) {
      reinterpret_cast<kova_serv_block_head_2024*>(p_)->ltotal = static_cast<int64_t>(off_);
      reinterpret_cast<kova_serv_block_head_2024*>(p_)->nchan = nchan_;
    } else {
      reinterpret_cast<kova_serv_block_head_2010*>(p_)->ltotal = static_cast<int32_t>(off_);
      reinterpret_cast<kova_serv_block_head_2010*>(p_)->nchan = nchan_;
    }
  }
  size_t used() const { return off_; }

 private:
  char* p_;
  bool b2024_;
  size_t off_;
  int nchan_ = 0;
};

void put_dictionary(BlockWriter& w) {
  auto* d = reinterpret_cast<kova_env_dictionary_block_2010*>(
      w.sub("DICT", KOVA_ENV_DICT_BLOCK_2010, 2 * sizeof(kova_env_dictionary_block_2010)));
  memset(d, 0, 2 * sizeof(*d));
  strncpy(d[0].env_prop, kEnvChannel, 255);
  strncpy(d[1].env_prop, kEnvChannel2, 255);
}

void put_environment(BlockWriter& w, long i) {
  auto* e = reinterpret_cast<kova_env_data_block_2010*>(
      w.sub("ENV", KOVA_ENV_BLOCK_2010, 2 * sizeof(kova_env_data_block_2010)));
  memset(e, 0, 2 * sizeof(*e));
  e[0] = {0, 0, {kKeyBase + static_cast<uint32_t>(i), 0}, env_value(i)};
  e[1] = {1, 0, {kKeyBase + static_cast<uint32_t>(i), 0}, -env_value(i)};
}

void put_updates(BlockWriter& w, long i) {
  auto* u = reinterpret_cast<kova_upd_data_block_2010*>(
      w.sub("UPD", KOVA_UPD_BLOCK_2010, 2 * sizeof(kova_upd_data_block_2010)));
  memset(u, 0, 2 * sizeof(*u));
  strncpy(u[0].upd_prop, kUpdChannel, 255);
  u[0].upd_ch_data = upd_value(i);
  strncpy(u[1].upd_prop, kUpdChannel2, 255);
  u[1].upd_ch_data = 2 * upd_value(i);
}

// A one-channel spectrum that fills the block: kSamples known samples, then
// filler; the send time in the statistics spares.
void put_normal(BlockWriter& w, const DemoConfig& cfg, int writer, long i, uint64_t send_us) {
  const std::string ch = writer_block_name(writer) + ".CH0";
  const size_t ndata = (cfg.block_size - w.used() - kSubHead - kSpectrumHead) / sizeof(float);
  char* payload = w.sub(ch.c_str(), KOVA_BLOCK_1CHAN_2010, kSpectrumHead + ndata * sizeof(float));
  auto* s = reinterpret_cast<kova_norm_1channel_block_2010*>(payload);
  memset(s, 0, sizeof(*s));
  s->header.inc = 1;
  s->header.ndata = static_cast<int32_t>(ndata);
  s->header.groups = 1;
  memcpy(payload + kSendAt, &send_us, sizeof(send_us));
  for (int k = 0; k < kSamples; ++k) s->data[k] = sample(i, writer, k);
  memset(&s->data[kSamples], static_cast<int>(i & 0xFF), (ndata - kSamples) * sizeof(float));
}

}  // namespace

KOVA_EVTYPE event_type(long i) {
  if (i % 100 == 0) return KOVA_EV_HB;
  if (i % 100 == 50) return KOVA_EV_ENV;
  if (i % 10 == 5) return KOVA_EV_UPD;
  return KOVA_EV_NORMAL;
}

long min_block_size(bool b2024) {
  return static_cast<long>(head_size(b2024) + kSubHead + kSpectrumHead + kSamples * sizeof(float));
}

long buffer_length(const DemoConfig& cfg) {
  const size_t heart_beat =
      head_size(cfg.layout_2024) + 3 * kSubHead + 2 * sizeof(kova_env_dictionary_block_2010) +
      2 * sizeof(kova_env_data_block_2010) + 2 * sizeof(kova_upd_data_block_2010);
  return std::max(static_cast<long>(cfg.block_size), static_cast<long>(heart_beat));
}

uint64_t send_time(const char* block, bool b2024) {
  const size_t at = head_size(b2024) + kSubHead + kSendAt;
  uint64_t t;
  memcpy(&t, block + at, sizeof(t));
  return t;
}

void fill_block(char* p, const DemoConfig& cfg, int writer, long i, uint64_t send_us) {
  BlockWriter w(p, cfg.layout_2024, writer_block_name(writer), i);
  const KOVA_EVTYPE type = event_type(i);
  if (type == KOVA_EV_NORMAL) {
    put_normal(w, cfg, writer, i, send_us);
  } else if (writer == 0) {
    if (type == KOVA_EV_HB) {
      put_dictionary(w);
      put_environment(w, i);
      put_updates(w, i);
    } else if (type == KOVA_EV_ENV) {
      put_environment(w, i);
    } else {
      put_updates(w, i);
    }
  } else if (type == KOVA_EV_ENV) {
    // Every server block of an environment event holds one environment
    // block, here without entries.
    w.sub("ENV", KOVA_ENV_BLOCK_2010, 0);
  }
  w.finish();
}

EventChecker::EventChecker(const DemoConfig& cfg, bool listing) : cfg_(cfg), listing_(listing) {
  for (int w = 0; w < cfg.writers; ++w) {
    blocks_.push_back(writer_block_name(w));
    channels_.push_back(writer_block_name(w) + ".CH0");
  }
}

bool EventChecker::check(Hesk* reader, void* head, kova_client_sblock_data* blocks) {
  const time_stamp key = cfg_.layout_2024 ? static_cast<kova_event_slot_head_2024*>(head)->time
                                          : static_cast<kova_event_slot_head*>(head)->time;
  const int type = cfg_.layout_2024 ? static_cast<kova_event_slot_head_2024*>(head)->evtype
                                    : static_cast<kova_event_slot_head*>(head)->evtype;
  const long i = static_cast<long>(key.timeup) - static_cast<long>(kKeyBase);
  if (i < 0 || type != event_type(i)) return false;
  bool good = check_slow(reader, head, blocks, type, i);
  if (type == KOVA_EV_NORMAL) good = check_fast(reader, head, blocks, i) && good;
  return good;
}

// Writer i % writers's channel (the first writer's for a listing reader):
// found in its block, with the samples and event number it was written with.
bool EventChecker::check_fast(Hesk* reader, void* head, kova_client_sblock_data* blocks, long i) {
  const int w = listing_ ? 0 : static_cast<int>(i % cfg_.writers);
  char sb_name[KOVA_SBLOCK_NAME_LEN];
  strncpy(sb_name, blocks_[w].c_str(), sizeof(sb_name) - 1);
  sb_name[sizeof(sb_name) - 1] = '\0';
  char* chan = const_cast<char*>(channels_[w].c_str());
  kova_serv_block_head_2010* sb = nullptr;
  kova_serv_block_head_2024* sb2024 = nullptr;
  kova_serv_block_subhead_2010* sub =
      cfg_.layout_2024 ? get_fast_channel_data_2024(static_cast<kova_event_slot_head_2024*>(head),
                                                    blocks, sb_name, chan, reader, &sb, &sb2024)
                       : get_fast_channel_data(static_cast<kova_event_slot_head*>(head), blocks,
                                               sb_name, chan, reader, &sb);
  if (sub == nullptr) return false;
  const int64_t mpulse = sb2024 != nullptr ? sb2024->mpulse : sb != nullptr ? sb->mpulse : -1;
  const float* d = get_pointer_to_data(sub, 0);
  return d != nullptr && mpulse == i + 1 && d[0] == sample(i, w, 0) &&
         d[kSamples - 1] == sample(i, w, kSamples - 1);
}

// Normal events refuse slow reads; the others answer with what this event
// wrote: the environment value in heart beats and environment events, the
// update in update events.
bool EventChecker::check_slow(Hesk* reader, void* head, kova_client_sblock_data* blocks, int type,
                              long i) {
  char name[32];
  strncpy(name, type == KOVA_EV_UPD ? kUpdChannel : kEnvChannel, sizeof(name));
  float v = 0;
  const bool failed = cfg_.layout_2024
                          ? get_slow_channel_data(static_cast<kova_event_slot_head_2024*>(head),
                                                  blocks, name, reader, nullptr, nullptr, &v)
                          : get_slow_channel_data_2010(static_cast<kova_event_slot_head*>(head),
                                                       blocks, name, reader, nullptr, &v);
  if (type == KOVA_EV_NORMAL) return failed;
  return !failed && v == (type == KOVA_EV_UPD ? upd_value(i) : env_value(i));
}

bool RecordChecker::check(const unsigned char* ev, size_t length, long* i) {
  const bool wide = cfg_.layout_2024;
  const size_t H = wide ? sizeof(kova_eventheader_2024) : sizeof(kova_eventheader);
  const size_t T = wide ? sizeof(kova_eventtail_2024) : sizeof(kova_eventtail);
  *i = -1;
  if (length < H + T) return false;
  int type, nsb;
  uint64_t number;
  time_stamp key;
  if (wide) {
    kova_eventheader_2024 h;
    memcpy(&h, ev, sizeof(h));
    type = h.event_type, nsb = h.num_svr_block, number = h.event_number, key = h.event_time;
  } else {
    kova_eventheader h;
    memcpy(&h, ev, sizeof(h));
    type = h.event_type, nsb = h.num_svr_block, number = h.event_number, key = h.event_time;
  }
  *i = static_cast<long>(key.timeup) - static_cast<long>(kKeyBase);
  const long n = *i;
  if (n < 0 || type != event_type(n) || number != static_cast<uint64_t>(n) + 1 ||
      nsb != cfg_.writers)
    return false;
  // Each writer's block once, in any order.
  std::vector<bool> seen(static_cast<size_t>(cfg_.writers), false);
  size_t at = H;
  for (int b = 0; b < nsb; ++b) {
    if (length - T - at < head_size(wide)) return false;
    const unsigned char* p = ev + at;
    int64_t ltotal, mpulse;
    int nchan;
    std::string name;
    if (wide) {
      kova_serv_block_head_2024 h;
      memcpy(&h, p, sizeof(h));
      ltotal = h.ltotal, mpulse = h.mpulse, nchan = h.nchan;
      name.assign(h.server, strnlen(h.server, sizeof(h.server)));
    } else {
      kova_serv_block_head_2010 h;
      memcpy(&h, p, sizeof(h));
      ltotal = h.ltotal, mpulse = h.mpulse, nchan = h.nchan;
      name.assign(h.server, strnlen(h.server, sizeof(h.server)));
    }
    if (ltotal < static_cast<int64_t>(head_size(wide)) ||
        static_cast<uint64_t>(ltotal) > length - T - at || mpulse != n + 1)
      return false;
    int w = -1;
    for (int k = 0; k < cfg_.writers; ++k)
      if (name == writer_block_name(k)) w = k;
    if (w < 0 || seen[static_cast<size_t>(w)]) return false;
    seen[static_cast<size_t>(w)] = true;
    // Its sub-blocks, by name and type.
    const unsigned char *fast = nullptr, *dict = nullptr, *env = nullptr, *upd = nullptr;
    size_t c = head_size(wide);
    for (int k = 0; k < nchan; ++k) {
      if (static_cast<size_t>(ltotal) - c < kSubHead) return false;
      kova_serv_block_subhead_2010 sh;
      memcpy(&sh, p + c, sizeof(sh));
      if (sh.ldata < static_cast<int32_t>(kSubHead) ||
          static_cast<size_t>(sh.ldata) > static_cast<size_t>(ltotal) - c)
        return false;
      const int dtype = sh.dtype & KOVA_DTYPE_MASK;
      if (dtype == KOVA_BLOCK_1CHAN_2010) fast = p + c;
      if (dtype == KOVA_ENV_DICT_BLOCK_2010) dict = p + c;
      if (dtype == KOVA_ENV_BLOCK_2010) env = p + c;
      if (dtype == KOVA_UPD_BLOCK_2010) upd = p + c;
      c += static_cast<size_t>(sh.ldata);
    }
    if (type == KOVA_EV_NORMAL) {
      if (fast == nullptr) return false;
      const std::string ch = writer_block_name(w) + ".CH0";
      if (strncmp(reinterpret_cast<const char*>(fast), ch.c_str(), 256) != 0) return false;
      const float* d = get_pointer_to_data(const_cast<unsigned char*>(fast), 0);
      if (d == nullptr) return false;
      for (int k = 0; k < kSamples; ++k)
        if (d[k] != sample(n, w, k)) return false;
    } else if (w == 0) {
      if (dict != nullptr) {
        kova_serv_block_subhead_2010 sh;
        memcpy(&sh, dict, sizeof(sh));
        dict_.assign(dict, dict + sh.ldata);
      }
      void* e = nullptr;
      if (type == KOVA_EV_HB || type == KOVA_EV_ENV) {
        if (env == nullptr || dict_.empty() ||
            find_slow_channel_2010(const_cast<unsigned char*>(env), dict_.data(), kEnvChannel,
                                   &e) ||
            static_cast<kova_env_data_block_2010*>(e)->env_ch_data != env_value(n))
          return false;
      }
      if (type == KOVA_EV_HB || type == KOVA_EV_UPD) {
        if (upd == nullptr ||
            find_upd_channel_2010(const_cast<unsigned char*>(upd), kUpdChannel, &e) ||
            static_cast<kova_upd_data_block_2010*>(e)->upd_ch_data != upd_value(n))
          return false;
      }
    } else if (type == KOVA_EV_ENV) {
      if (nchan != 1 || env == nullptr) return false;  // an environment block without entries
    } else if (nchan != 0) {
      return false;
    }
    at += static_cast<size_t>(ltotal);
  }
  return at == length - T;
}

}  // namespace demo
