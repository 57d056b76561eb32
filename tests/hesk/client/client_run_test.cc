// The local copies followed across a run on real partitions: a writer
// process delivers heart beats with a dictionary, environment, update,
// normal and end-of-run events; a reader's callback reads one slow channel
// and one fast channel per event and cleans its copies at the end of the run.
// Also the binary's main, which runs the writer role when asked.
#include <mutex>

#include "../mp/process_fixture.h"
#include "client_test_util.h"

using namespace client_test;
using hesk_mp::HeskProcesses;

namespace {

constexpr unsigned kT0 = 7000;
const KOVA_EVTYPE kRunTypes[] = {KOVA_EV_HB, KOVA_EV_NORMAL, KOVA_EV_ENV, KOVA_EV_UPD, KOVA_EV_EOR};

// The run, event by event: its type and what its server block carries.
struct Step {
  KOVA_EVTYPE type;
  std::vector<Bytes> subs;
};

std::vector<Step> script() {
  auto hb = [](std::vector<std::string> dict, float t, float u) {
    return Step{KOVA_EV_HB,
                {dict_block(dict), env_block({{0, t}, {1, -t}}), upd_block({{"U", u}})}};
  };
  auto normal = [](float v) { return Step{KOVA_EV_NORMAL, {spectrum("W.CH0", {v, v + 0.5f})}}; };
  return {
      hb({"T", "P"}, 1, 100),                                                                // 0
      normal(1),                                                                             // 1
      {KOVA_EV_ENV, {env_block({{0, 12}, {1, -12}})}},                                       // 2
      {KOVA_EV_UPD, {upd_block({{"U", 103}})}},                                              // 3
      normal(4),                                                                             // 4
      hb({"OTHER"}, 15, 999),                                                                // 5
      {KOVA_EV_EOR, {upd_block({{"U", 106}}), upd_block({{"R", 1}}, KOVA_EOR_BLOCK_2010)}},  // 6
      {KOVA_EV_ENV, {env_block({{0, 17}})}},                                                 // 7
      hb({"T", "P"}, 18, 108),                                                               // 8
      normal(9),                                                                             // 9
  };
}

// Child: writer of server block `name` delivering the script from its own
// data partition.
int slow_writer_main(const std::string& dir, const std::string& name, const std::string& data,
                     bool b2024) {
  Hesk h;
  h.set_evid_64bit_mode(b2024);
  if (!hesk_mp::init_retrying(h)) return 10;
  kova_client c = hesk_mp::request();
  std::list<std::string> n{name};
  for (KOVA_EVTYPE t : kRunTypes)
    if (h.subscribe(t, CLI_T_WRITER, &c, &n) < 1) return 11;
  int id = h.add(data.c_str(), hesk_mp::kDataBuffers, 4096, false);
  if (id < 0) return 12;
  hesk_mp::touch(dir + "/ready." + name);
  if (!hesk_mp::wait_file(dir + "/go", 20000)) return 13;
  std::vector<Step> steps = script();
  for (size_t i = 0; i < steps.size(); ++i) {
    Bytes b = server_block(b2024, name, static_cast<int64_t>(i + 1), steps[i].subs);
    auto* t = reinterpret_cast<time_stamp*>(b.data() + (b2024 ? 24 : 0));
    *t = {kT0 + static_cast<unsigned>(i), 0};
    int bid = id, bnum = -1;
    char* p = nullptr;
    for (int tries = 0; tries < 5000 && p == nullptr; ++tries) {
      p = h.get_buffer_from_pool(4, 4096, &bid, &bnum);
      if (p == nullptr) usleep(1000);
    }
    if (p == nullptr) return 14;
    memcpy(p, b.data(), b.size());
    if (h.ev_update(steps[i].type, id, bnum)) return 15;
  }
  hesk_mp::touch(dir + "/sent." + name);
  return hesk_mp::wait_file(dir + "/stop", 60000) ? 0 : 16;
}

// What the reader saw in one event; NAN for a refused read.
struct Seen {
  int type = -1;
  float t = NAN, u = NAN, fast = NAN;
};

class RunReader : public Hesk {
 public:
  explicit RunReader(bool b2024) : b2024_(b2024) {}

  void event_handler(void* head, kova_client_sblock_data* blocks) override {
    auto* h24 = static_cast<kova_event_slot_head_2024*>(head);
    auto* h10 = static_cast<kova_event_slot_head*>(head);
    Seen s;
    s.type = b2024_ ? h24->evtype : h10->evtype;
    unsigned key = b2024_ ? h24->time.timeup : h10->time.timeup;
    char t[] = "T", u[] = "U", ch[] = "W.CH0";
    float v = 0;
    if (!(b2024_ ? get_slow_channel_data(h24, blocks, t, this, nullptr, nullptr, &v)
                 : get_slow_channel_data_2010(h10, blocks, t, this, nullptr, &v)))
      s.t = v;
    if (!(b2024_ ? get_slow_channel_data(h24, blocks, u, this, nullptr, nullptr, &v)
                 : get_slow_channel_data_2010(h10, blocks, u, this, nullptr, &v)))
      s.u = v;
    kova_serv_block_subhead_2010* sub =
        b2024_ ? get_fast_channel_data_2024(h24, blocks, nullptr, ch, this, nullptr, nullptr)
               : get_fast_channel_data(h10, blocks, nullptr, ch, this, nullptr);
    float* d = sub ? get_pointer_to_data(sub, 0) : nullptr;
    if (d != nullptr) s.fast = d[0];
    if (s.type == KOVA_EV_EOR) clean_local_copies();  // the run is over
    std::lock_guard<std::mutex> g(mx_);
    if (key >= kT0 && key < kT0 + 64) seen_[key - kT0] = s;
    count_ += 1;
  }
  int count() {
    std::lock_guard<std::mutex> g(mx_);
    return count_;
  }
  Seen at(int i) {
    std::lock_guard<std::mutex> g(mx_);
    return seen_[i];
  }

 private:
  bool b2024_;
  std::mutex mx_;
  Seen seen_[64];
  int count_ = 0;
};

class ClientRun : public HeskProcesses, public testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    HeskProcesses::SetUp();
    clean_local_copies();
  }
  void TearDown() override {
    clean_local_copies();
    HeskProcesses::TearDown();
  }
};

TEST_P(ClientRun, LocalCopiesFollowTheRun) {
  const bool b2024 = GetParam();
  Hesk m;
  start_master(m, b2024, 4, 4);
  std::string data = data_name_ + ".W";
  data_names_.push_back(data);
  child("slow-writer", {"W", data, b2024 ? "1" : "0"});
  RunReader r(b2024);
  r.set_evid_64bit_mode(b2024);
  ASSERT_FALSE(r.init());
  kova_client c = hesk_mp::request();
  for (KOVA_EVTYPE t : kRunTypes) ASSERT_GT(r.subscribe(t, CLI_T_READER, &c, nullptr), 0);
  ASSERT_TRUE(ready("W"));
  go();
  const int n = static_cast<int>(script().size());
  ASSERT_TRUE(wait_for([&] { return r.count() == n; }, 20000)) << r.count();

  struct Expect {
    int type;
    float t, u, fast;
  };
  const Expect expected[] = {
      {KOVA_EV_HB, 1, 100, NAN},      // dictionary, values, first update copy
      {KOVA_EV_NORMAL, NAN, NAN, 1},  // slow reads refused in normal events
      {KOVA_EV_ENV, 12, NAN, NAN},    // environment answers; U is no environment channel
      {KOVA_EV_UPD, 12, 103, NAN},    // update merged; T still from the environment
      {KOVA_EV_NORMAL, NAN, NAN, 4},
      {KOVA_EV_HB, 15, 103, NAN},    // values merged; dictionary and updates kept
      {KOVA_EV_EOR, 15, 106, NAN},   // update merged, then the copies cleaned
      {KOVA_EV_ENV, NAN, NAN, NAN},  // no dictionary yet in the new run
      {KOVA_EV_HB, 18, 108, NAN},
      {KOVA_EV_NORMAL, NAN, NAN, 9},
  };
  auto same = [](float a, float b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
  for (int i = 0; i < n; ++i) {
    Seen s = r.at(i);
    EXPECT_EQ(s.type, expected[i].type) << i;
    EXPECT_PRED2(same, s.t, expected[i].t) << "T in event " << i;
    EXPECT_PRED2(same, s.u, expected[i].u) << "U in event " << i;
    EXPECT_PRED2(same, s.fast, expected[i].fast) << "fast channel in event " << i;
  }
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }, 10000));
}

INSTANTIATE_TEST_SUITE_P(Layouts, ClientRun, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return i.param ? "Layout2024" : "Layout2010";
                         });

}  // namespace

namespace hesk_mp {
int run_child(int argc, char** argv) {
  alarm(120);  // a stray child ends itself
  std::string role = argv[1] + 13;
  if (role == "slow-writer" && argc == 6)
    return slow_writer_main(argv[2], argv[3], argv[4], strcmp(argv[5], "1") == 0);
  return 2;
}
}  // namespace hesk_mp

int main(int argc, char** argv) {
  if (argc >= 2 && strncmp(argv[1], "--hesk-child=", 13) == 0)
    return hesk_mp::run_child(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
