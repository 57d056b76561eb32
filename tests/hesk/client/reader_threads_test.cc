// Several reader threads (one per Hesk object) of one process read slow
// channels at once while heart beats and update events refresh the copies
// they share: every read succeeds with a value some event wrote.
#include <cmath>
#include <mutex>

#include "client_test_util.h"

using namespace client_test;

namespace {

class SlowReader : public Hesk {
 public:
  std::atomic<int> events{0};
  std::atomic<int> bad{0};  // failed reads and values no event wrote
  int limit = 0;

  void event_handler(void* head, kova_client_sblock_data* blocks) override {
    auto* hd = static_cast<kova_event_slot_head*>(head);
    char t[] = "T", u[] = "U";
    float tv = -1, uv = -1;
    if (get_slow_channel_data_2010(hd, blocks, t, this, nullptr, &tv) || !written(tv, 0)) ++bad;
    if (get_slow_channel_data_2010(hd, blocks, u, this, nullptr, &uv) || !written(uv, 1)) ++bad;
    ++events;
  }

 private:
  // Heart beats (even events) write T = i, update events (odd) U = i; event 0
  // writes both.
  bool written(float v, int parity) const {
    int i = static_cast<int>(v);
    return v == static_cast<float>(i) && i >= 0 && i < limit && (i == 0 || i % 2 == parity);
  }
};

TEST_F(ClientTest, SeveralReaderThreadsReadSlowChannelsAtOnce) {
  constexpr int kReaders = 4;
  constexpr int kEvents = 200;
  Hesk m;
  start_master(m, false, kReaders + 2, 2);
  kova_client c;
  memset(&c, 0, sizeof(c));
  auto wn = names({"S"});
  for (KOVA_EVTYPE t : {KOVA_EV_HB, KOVA_EV_UPD})
    ASSERT_GT(m.subscribe(t, CLI_T_WRITER, &c, &wn), 0);
  int wid = m.add((data_name_ + "2").c_str(), 32, 2048, false);
  ASSERT_GT(wid, 0);

  std::vector<std::unique_ptr<SlowReader>> readers;
  for (int k = 0; k < kReaders; ++k) {
    readers.push_back(std::make_unique<SlowReader>());
    readers.back()->limit = kEvents;
    ASSERT_FALSE(readers.back()->init());
    for (KOVA_EVTYPE t : {KOVA_EV_HB, KOVA_EV_UPD})
      ASSERT_GT(readers.back()->subscribe(t, CLI_T_READER, &c, nullptr), 0);
  }
  for (int i = 0; i < kEvents; ++i) {
    const float v = static_cast<float>(i);
    std::vector<Bytes> subs;
    KOVA_EVTYPE type = i % 2 ? KOVA_EV_UPD : KOVA_EV_HB;
    if (i == 0)
      subs = {dict_block({"T"}), env_block({{0, v}}), upd_block({{"U", v}})};
    else if (type == KOVA_EV_HB)
      subs = {env_block({{0, v}})};
    else
      subs = {upd_block({{"U", v}})};
    Bytes b = server_block(false, "S", i + 1, subs);
    reinterpret_cast<kova_serv_block_head_2010*>(b.data())->time = {20000u + i, 0};
    int bid = wid, bnum = -1;
    char* p = nullptr;
    ASSERT_TRUE(wait_for([&] {
      bid = wid;
      return (p = m.get_buffer_from_pool(4, 2048, &bid, &bnum)) != nullptr;
    }));
    memcpy(p, b.data(), b.size());
    ASSERT_FALSE(m.ev_update(type, wid, bnum)) << i;
  }
  for (auto& r : readers) {
    ASSERT_TRUE(wait_for([&] { return r->events.load() == kEvents; }, 20000)) << r->events.load();
    EXPECT_EQ(r->bad.load(), 0);
  }
  ASSERT_TRUE(wait_for([&] { return free_buffers(m, wid) == 32; }));
  // Every reader thread ends before any reader lets go of its client slots:
  // the manager's notification reads client slots that an unsubscribing
  // object of the same process clears.
  for (auto& r : readers) EXPECT_FALSE(r->stop_reader());
  readers.clear();
}

}  // namespace
