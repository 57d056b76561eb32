// Helpers for the client-access tests: sub-blocks and server blocks of both
// generations built as bytes, placed into buffers of a real data partition,
// and events (a slot head of either layout and its server-block entries)
// that point at them.
#ifndef HESK_TESTS_CLIENT_TEST_UTIL_H
#define HESK_TESTS_CLIENT_TEST_UTIL_H

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../manager/hesk_test_util.h"
#include "event_util.h"
#include "hesk_util.h"

namespace client_test {

using Bytes = std::vector<char>;
using hesk_test::wait_for;

// A sub-block: the 268-byte head (ldata = head + payload) and its payload.
inline Bytes sub_block(const std::string& name, int dtype, const void* payload, size_t n) {
  Bytes b(sizeof(kova_serv_block_subhead_2010) + n, 0);
  auto* h = reinterpret_cast<kova_serv_block_subhead_2010*>(b.data());
  memcpy(h->chname, name.data(), std::min(name.size(), sizeof(h->chname)));
  h->dtype = dtype;
  h->ldata = static_cast<int32_t>(b.size());
  if (n > 0) memcpy(b.data() + sizeof(*h), payload, n);
  return b;
}

inline Bytes dict_block(const std::vector<std::string>& names) {
  std::vector<kova_env_dictionary_block_2010> e(names.size());
  memset(e.data(), 0, e.size() * sizeof(e[0]));
  for (size_t i = 0; i < names.size(); ++i) strncpy(e[i].env_prop, names[i].c_str(), 255);
  return sub_block("DICT", KOVA_ENV_DICT_BLOCK_2010, e.data(), e.size() * sizeof(e[0]));
}

struct EnvValue {
  int idx;
  float value;
  int status = 0;
};
inline Bytes env_block(const std::vector<EnvValue>& values) {
  std::vector<kova_env_data_block_2010> e(values.size());
  memset(e.data(), 0, e.size() * sizeof(e[0]));
  for (size_t i = 0; i < values.size(); ++i) {
    e[i].env_ch_idx = values[i].idx;
    e[i].env_ch_status = values[i].status;
    e[i].env_ch_data = values[i].value;
  }
  return sub_block("ENV", KOVA_ENV_BLOCK_2010, e.data(), e.size() * sizeof(e[0]));
}

struct UpdValue {
  std::string name;
  float value;
  int status = 0;
};
// An update-format list: type 33 (updates), 36 (begin of run) or 37 (end of run).
inline Bytes upd_block(const std::vector<UpdValue>& values, int type = KOVA_UPD_BLOCK_2010) {
  std::vector<kova_upd_data_block_2010> e(values.size());
  memset(e.data(), 0, e.size() * sizeof(e[0]));
  for (size_t i = 0; i < values.size(); ++i) {
    strncpy(e[i].upd_prop, values[i].name.c_str(), 255);
    e[i].upd_ch_status = values[i].status;
    e[i].upd_ch_data = values[i].value;
  }
  return sub_block("UPD", type, e.data(), e.size() * sizeof(e[0]));
}

// A one-channel spectrum (type 41) with these samples.
inline Bytes spectrum(const std::string& name, const std::vector<float>& samples) {
  Bytes p(sizeof(kova_norm_1channel_block_2010) + samples.size() * sizeof(float), 0);
  auto* s = reinterpret_cast<kova_norm_1channel_block_2010*>(p.data());
  s->header.inc = 1;
  s->header.ndata = static_cast<int32_t>(samples.size());
  s->header.groups = 1;
  memcpy(s->data, samples.data(), samples.size() * sizeof(float));
  return sub_block(name, KOVA_BLOCK_1CHAN_2010, p.data(), p.size());
}

// A server block holding `subs`; nchan is their number unless given.
inline Bytes server_block(bool b2024, const std::string& name, int64_t mpulse,
                          const std::vector<Bytes>& subs, int nchan = -1) {
  size_t hs = b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
  Bytes b(hs, 0);
  for (const Bytes& s : subs) b.insert(b.end(), s.begin(), s.end());
  int n = nchan >= 0 ? nchan : static_cast<int>(subs.size());
  if (b2024) {
    auto* h = reinterpret_cast<kova_serv_block_head_2024*>(b.data());
    h->pattern = KOVA_SB_PATTERN_2024;
    h->ltotal = static_cast<int64_t>(b.size());
    h->mpulse = mpulse;
    h->time = {1000, 5};
    strncpy(h->server, name.c_str(), 255);
    h->tmask = 3;
    h->status = 7;
    h->nchan = n;
  } else {
    auto* h = reinterpret_cast<kova_serv_block_head_2010*>(b.data());
    h->ltotal = static_cast<int32_t>(b.size());
    h->mpulse = static_cast<int32_t>(mpulse);
    h->time = {1000, 5};
    strncpy(h->server, name.c_str(), 255);
    h->tmask = 3;
    h->status = 7;
    h->nchan = n;
  }
  return b;
}

// Head fields of a built server block, for tests that make them lie.
inline void set_ltotal(Bytes& b, int64_t ltotal) {
  uint64_t pattern;
  memcpy(&pattern, b.data(), 8);
  if (pattern == KOVA_SB_PATTERN_2024)
    reinterpret_cast<kova_serv_block_head_2024*>(b.data())->ltotal = ltotal;
  else
    reinterpret_cast<kova_serv_block_head_2010*>(b.data())->ltotal = static_cast<int32_t>(ltotal);
}
inline size_t head_size(bool b2024) {
  return b2024 ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
}
// The ldata field of the sub-block starting `offset` bytes into the block.
inline void set_ldata(Bytes& b, size_t offset, int32_t ldata) {
  reinterpret_cast<kova_serv_block_subhead_2010*>(b.data() + offset)->ldata = ldata;
}

// An event as a reader's callback receives it: slot heads of both layouts
// (kept in step) and the server-block entries.
struct Event {
  kova_event_slot_head h2010;
  kova_event_slot_head_2024 h2024;
  std::vector<kova_client_sblock_data> entries;

  explicit Event(int evtype) {
    memset(&h2010, 0, sizeof(h2010));
    memset(&h2024, 0, sizeof(h2024));
    h2024.pattern = KOVA_EV_SLOT_PATTERN_2024;
    type(evtype);
  }
  void type(int evtype) {
    h2010.evtype = evtype;
    h2024.evtype = evtype;
  }
  void add(const std::string& name, int shmid, int bnum) {
    kova_client_sblock_data e;
    memset(&e, 0, sizeof(e));
    strncpy(e.name, name.c_str(), 255);
    e.shmid = shmid;
    e.bnum = bnum;
    entries.push_back(e);
    h2010.sbfilled = h2024.sbfilled = static_cast<int32_t>(entries.size());
  }
  kova_client_sblock_data* data() { return entries.data(); }
};

// Every client test starts without local copies and with its own data
// partition in the pool of `pool`.
class ClientTest : public hesk_test::HeskTest {
 protected:
  static constexpr int kBuffers = 64;
  static constexpr int kBufferLength = 8192;

  void SetUp() override {
    HeskTest::SetUp();
    clean_local_copies();
    pool = std::make_unique<Hesk>();
    id = pool->add(data_name_.c_str(), kBuffers, kBufferLength, false);
    ASSERT_GT(id, 0);
  }
  void TearDown() override {
    clean_local_copies();
    pool.reset();
    HeskTest::TearDown();
  }

  // Copies a built server block into a new buffer; its buffer number.
  int place(const Bytes& block) {
    int pid = id, bnum = -1;
    char* p = pool->get_buffer_from_pool(4, kBufferLength, &pid, &bnum);
    EXPECT_NE(p, nullptr);
    if (p == nullptr) return -1;
    memcpy(p, block.data(), std::min<size_t>(block.size(), kBufferLength));
    return bnum;
  }
  // Places the block and adds its entry to the event.
  void put(Event& ev, const Bytes& block) {
    const auto* h = reinterpret_cast<const kova_serv_block_head_2010*>(block.data());
    uint64_t pattern;
    memcpy(&pattern, block.data(), 8);
    std::string name =
        pattern == KOVA_SB_PATTERN_2024
            ? reinterpret_cast<const kova_serv_block_head_2024*>(block.data())->server
            : h->server;
    ev.add(name, id, place(block));
  }
  char* address(const Event& ev, int k) {
    return pool->get_buffer_address(ev.entries[k].bnum, ev.entries[k].shmid, false);
  }

  std::unique_ptr<Hesk> pool;
  int id = -1;
};

// Reads a slow channel through the 2010 or the 2024 interface.
inline bool read_slow(bool b2024, Event& ev, const char* name, Hesk* obj, float* value) {
  std::string n = name;
  if (b2024)
    return get_slow_channel_data(&ev.h2024, ev.data(), &n[0], obj, nullptr, nullptr, value);
  return get_slow_channel_data_2010(&ev.h2010, ev.data(), &n[0], obj, nullptr, value);
}

}  // namespace client_test

#endif  // HESK_TESTS_CLIENT_TEST_UTIL_H
