// The local copies of the slow-control sub-blocks and slow-channel reads,
// event by event, in both generations: what each event type keeps, merges
// and reports, which copy answers, refusals, and corrupt server blocks.
#include "client_test_util.h"

using namespace client_test;

namespace {

class LocalCopies : public ClientTest, public testing::WithParamInterface<bool> {
 protected:
  bool b2024() const { return GetParam(); }
  Bytes block(const std::vector<Bytes>& subs, int nchan = -1) {
    return server_block(b2024(), "SLOW", 1, subs, nchan);
  }
  // One event of that type carrying one server block made of `subs`.
  Event event(int evtype, const std::vector<Bytes>& subs) {
    Event ev(evtype);
    put(ev, block(subs));
    return ev;
  }
  // The value read, or NAN when the read failed.
  float read(Event& ev, const char* name) {
    float v = -1;
    return read_slow(b2024(), ev, name, pool.get(), &v) ? NAN : v;
  }
  bool update(Event& ev) {
    if (b2024()) return update_local_copies(&ev.h2024, ev.data(), pool.get(), nullptr, nullptr);
    return update_local_copies_2010(&ev.h2010, ev.data(), pool.get(), nullptr);
  }
  // A heart beat with dictionary {T, P}, environment values and update U.
  Event heart_beat(float t, float p, float u) {
    return event(KOVA_EV_HB,
                 {dict_block({"T", "P"}), env_block({{0, t}, {1, p}}), upd_block({{"U", u}})});
  }
};

TEST_P(LocalCopies, HeartBeatWithDictionaryFillsTheCopies) {
  Event hb = heart_beat(1.5f, 2.5f, 7);
  EXPECT_EQ(read(hb, "T"), 1.5f);
  EXPECT_EQ(read(hb, "P"), 2.5f);
  EXPECT_EQ(read(hb, "U"), 7.0f);
  EXPECT_TRUE(std::isnan(read(hb, "X")));
  // Without an output pointer the read still answers.
  std::string t = "T";
  if (b2024())
    EXPECT_FALSE(
        get_slow_channel_data(&hb.h2024, hb.data(), &t[0], pool.get(), nullptr, nullptr, nullptr));
  else
    EXPECT_FALSE(
        get_slow_channel_data_2010(&hb.h2010, hb.data(), &t[0], pool.get(), nullptr, nullptr));
}

TEST_P(LocalCopies, EnvironmentBeforeAnyDictionaryIsNotKept) {
  Event env = event(KOVA_EV_ENV, {env_block({{0, 3}})});
  EXPECT_TRUE(std::isnan(read(env, "T")));
  Event dict_only = event(KOVA_EV_HB, {dict_block({"T"})});
  EXPECT_TRUE(std::isnan(read(dict_only, "T")));  // a dictionary, still no values
  Event env2 = event(KOVA_EV_ENV, {env_block({{0, 4}})});
  EXPECT_EQ(read(env2, "T"), 4.0f);
  Event env3 = event(KOVA_EV_ENV, {env_block({{0, 5}})});
  EXPECT_EQ(read(env3, "T"), 5.0f);  // merged into the existing copy
}

TEST_P(LocalCopies, UpdateCopyIsKeptByHeartBeatsAndMergedByUpdateAndEndOfRun) {
  Event hb1 = event(KOVA_EV_HB, {upd_block({{"U", 1}, {"V", 10}})});
  EXPECT_EQ(read(hb1, "U"), 1.0f);
  Event hb2 = event(KOVA_EV_HB, {upd_block({{"U", 2}})});
  EXPECT_EQ(read(hb2, "U"), 1.0f);  // a heart beat keeps the first
  Event upd = event(KOVA_EV_UPD, {upd_block({{"U", 3}, {"NEW", 4}})});
  EXPECT_EQ(read(upd, "U"), 3.0f);
  EXPECT_EQ(read(upd, "V"), 10.0f);
  EXPECT_TRUE(std::isnan(read(upd, "NEW")));  // the copy never grows
  Event eor = event(KOVA_EV_EOR, {upd_block({{"V", 11}})});
  EXPECT_EQ(read(eor, "V"), 11.0f);
  EXPECT_EQ(read(eor, "U"), 3.0f);
}

TEST_P(LocalCopies, UpdateValuesAnswerFirstExceptInEnvironmentEvents) {
  Event hb = event(KOVA_EV_HB, {dict_block({"S"}), env_block({{0, 10}}), upd_block({{"S", 20}})});
  EXPECT_EQ(read(hb, "S"), 20.0f);
  Event env = event(KOVA_EV_ENV, {env_block({{0, 11}})});
  EXPECT_EQ(read(env, "S"), 11.0f);
  Event upd = event(KOVA_EV_UPD, {upd_block({{"S", 21}})});
  EXPECT_EQ(read(upd, "S"), 21.0f);
  Event bor = event(KOVA_EV_BOR, {});
  EXPECT_EQ(read(bor, "S"), 21.0f);
}

TEST_P(LocalCopies, OtherEventTypesAreRefusedWithoutTouchingTheCopies) {
  for (int type : {1, 6, 31, -1}) {
    Event ev = event(type, {dict_block({"T"}), env_block({{0, 1}}), upd_block({{"U", 2}})});
    EXPECT_TRUE(std::isnan(read(ev, "U"))) << type;
    EXPECT_TRUE(update(ev)) << type;
  }
  Event empty_hb = event(KOVA_EV_HB, {});
  EXPECT_TRUE(std::isnan(read(empty_hb, "U")));  // nothing was kept
  EXPECT_TRUE(std::isnan(read(empty_hb, "T")));
}

TEST_P(LocalCopies, NonZeroStatusIsNotAValue) {
  Event hb = event(KOVA_EV_HB, {dict_block({"T", "P"}), env_block({{0, 1, 4}, {1, 2, 0}}),
                                upd_block({{"U", 3, 1}})});
  float v = 99;
  EXPECT_TRUE(read_slow(b2024(), hb, "U", pool.get(), &v));
  EXPECT_TRUE(read_slow(b2024(), hb, "T", pool.get(), &v));
  EXPECT_EQ(v, 99.0f);  // left alone on failure
  EXPECT_EQ(read(hb, "P"), 2.0f);
}

TEST_P(LocalCopies, OnlyTheFirstSubBlockCountsInEnvironmentAndUpdateEvents) {
  Event hb = heart_beat(1, 2, 3);
  EXPECT_EQ(read(hb, "U"), 3.0f);
  Event upd = event(KOVA_EV_UPD, {upd_block({{"U", 5}}), upd_block({{"U", 6}})});
  EXPECT_EQ(read(upd, "U"), 5.0f);
  Event env = event(KOVA_EV_ENV, {env_block({{0, 7}}), env_block({{0, 8}})});
  EXPECT_EQ(read(env, "T"), 7.0f);
}

// An environment event's first sub-block goes to the environment copy
// whatever its type; a block of another type never becomes that copy.
TEST_P(LocalCopies, EnvironmentCopyIsMadeOnlyFromEnvironmentValues) {
  Event dict = event(KOVA_EV_HB, {dict_block({"T"})});
  EXPECT_FALSE(update(dict));
  Event wrong = event(KOVA_EV_ENV, {upd_block({{"T", 1}})});
  EXPECT_FALSE(update(wrong));
  Event env = event(KOVA_EV_ENV, {env_block({{0, 2}})});
  EXPECT_EQ(read(env, "T"), 2.0f);
  // Once the copy exists, a block of another type fails to merge.
  testing::internal::CaptureStdout();
  Event wrong2 = event(KOVA_EV_ENV, {upd_block({{"T", 1}})});
  EXPECT_TRUE(update(wrong2));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Failed to update the local copy of ENV\n"), std::string::npos) << out;
}

TEST_P(LocalCopies, UnknownBlocksAreReportedByEventType) {
  struct Case {
    int evtype;
    Bytes sub;
    const char* text;
  };
  const Case cases[] = {
      {KOVA_EV_HB, spectrum("CH", {1}), "UNKNOWN BLOCK: in HB: 41 \n"},
      {KOVA_EV_HB, upd_block({{"B", 1}}, KOVA_BOR_BLOCK_2010), "UNKNOWN BLOCK: in HB: 36 \n"},
      {KOVA_EV_HB, upd_block({{"E", 1}}, KOVA_EOR_BLOCK_2010), "UNKNOWN BLOCK: in HB: 37 \n"},
      {KOVA_EV_BOR, env_block({{0, 1}}), "UNKNOWN BLOCK: in BOR: 35 \n"},
      {KOVA_EV_BOR, upd_block({{"E", 1}}, KOVA_EOR_BLOCK_2010), "UNKNOWN BLOCK: in BOR: 37 \n"},
      {KOVA_EV_EOR, dict_block({"T"}), "UNKNOWN BLOCK: in EOR: 34 \n"},
      {KOVA_EV_EOR, upd_block({{"B", 1}}, KOVA_BOR_BLOCK_2010), "UNKNOWN BLOCK: in EOR: 36 \n"},
      {KOVA_EV_UPD, env_block({{0, 1}}), "UNKNOWN BLOCK: in UPD: 35 \n"},
      {KOVA_EV_UPD, spectrum("CH", {1}), "UNKNOWN BLOCK: in UPD: 41 \n"},
      // Kept, not reported.
      {KOVA_EV_BOR, upd_block({{"B", 1}}, KOVA_BOR_BLOCK_2010), ""},
      {KOVA_EV_EOR, upd_block({{"E", 1}}, KOVA_EOR_BLOCK_2010), ""},
      {KOVA_EV_UPD, dict_block({"T"}), ""},
  };
  for (const Case& c : cases) {
    Event ev = event(c.evtype, {c.sub});
    testing::internal::CaptureStdout();
    bool failed = update(ev);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.text) << c.evtype;
    EXPECT_FALSE(failed) << c.evtype;  // a report does not fail the update
  }
}

TEST_P(LocalCopies, OutputsNameTheLastServerBlockProcessed) {
  Event ev(KOVA_EV_HB);
  put(ev, server_block(false, "OLD", 1, {}));
  put(ev, server_block(true, "NEW", 2, {}));
  char* second = address(ev, 1);
  kova_serv_block_head_2010* h = reinterpret_cast<kova_serv_block_head_2010*>(1);
  kova_serv_block_head_2024* h24 = reinterpret_cast<kova_serv_block_head_2024*>(1);
  EXPECT_FALSE(update_local_copies(&ev.h2024, ev.data(), pool.get(), &h, &h24));
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(reinterpret_cast<char*>(h24), second);
  // The 2010 interface reads every block as 2010.
  EXPECT_FALSE(update_local_copies_2010(&ev.h2010, ev.data(), pool.get(), &h));
  EXPECT_EQ(reinterpret_cast<char*>(h), second);

  Event none(KOVA_EV_HB);
  none.add("GONE", 0, 3);  // placeholder entries do not count
  none.add("GONE", id, -1);
  none.add("BAD", 999999, 0);  // nor one whose address does not resolve
  EXPECT_FALSE(update_local_copies(&none.h2024, none.data(), pool.get(), &h, &h24));
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(h24, nullptr);

  // A refused event type leaves the outputs as they were.
  Event normal(KOVA_EV_NORMAL);
  put(normal, server_block(b2024(), "N", 1, {}));
  h = reinterpret_cast<kova_serv_block_head_2010*>(1);
  h24 = reinterpret_cast<kova_serv_block_head_2024*>(1);
  EXPECT_TRUE(update_local_copies(&normal.h2024, normal.data(), pool.get(), &h, &h24));
  EXPECT_EQ(h, reinterpret_cast<kova_serv_block_head_2010*>(1));
  EXPECT_EQ(h24, reinterpret_cast<kova_serv_block_head_2024*>(1));
  kova_serv_block_head_2010* sb = reinterpret_cast<kova_serv_block_head_2010*>(1);
  std::string n = "U";
  EXPECT_TRUE(
      get_slow_channel_data_2010(&normal.h2010, normal.data(), &n[0], pool.get(), &sb, nullptr));
  EXPECT_EQ(sb, reinterpret_cast<kova_serv_block_head_2010*>(1));
}

TEST_P(LocalCopies, ServerBlocksWithoutChannelsArePassedOver) {
  Event ev(KOVA_EV_HB);
  put(ev, server_block(b2024(), "EMPTY", 1, {dict_block({"T"})}, 0));
  put(ev, block({dict_block({"P"}), env_block({{0, 6}})}));
  EXPECT_TRUE(std::isnan(read(ev, "T")));
  EXPECT_EQ(read(ev, "P"), 6.0f);
}

TEST_P(LocalCopies, CorruptServerBlocksFailTheUpdateAndKeepWhatCameBefore) {
  const size_t hs = head_size(b2024());
  const size_t dict_len = dict_block({"T"}).size();
  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
  };
  const Case cases[] = {
      {"negative ldata", [&](Bytes& b) { set_ldata(b, hs + dict_len, -8); }},
      {"ldata shorter than a head", [&](Bytes& b) { set_ldata(b, hs + dict_len, 12); }},
      {"ldata past ltotal", [&](Bytes& b) { set_ldata(b, hs + dict_len, 100000); }},
      {"nchan past the last sub-block",
       [&](Bytes& b) {
         auto* h = reinterpret_cast<char*>(b.data());
         if (b2024())
           reinterpret_cast<kova_serv_block_head_2024*>(h)->nchan = 5;
         else
           reinterpret_cast<kova_serv_block_head_2010*>(h)->nchan = 5;
       }},
      {"ltotal past the buffer", [&](Bytes& b) { set_ltotal(b, kBufferLength + 4); }},
  };
  for (const Case& c : cases) {
    clean_local_copies();
    Bytes b = block({dict_block({"T"}), env_block({{0, 1}})});
    c.spoil(b);
    Event ev(KOVA_EV_HB);
    put(ev, b);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(update(ev)) << c.what;
    EXPECT_TRUE(std::isnan(read(ev, "T"))) << c.what;
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("corrupted server block SLOW"), std::string::npos) << c.what << ": " << out;
  }
  // The dictionary before the corrupt sub-block was kept: a sound
  // environment event now makes the environment copy.
  clean_local_copies();
  Bytes b = block({dict_block({"T"}), env_block({{0, 1}})});
  set_ldata(b, hs + dict_len, -8);
  Event ev(KOVA_EV_HB);
  put(ev, b);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(update(ev));
  testing::internal::GetCapturedStdout();
  Event env = event(KOVA_EV_ENV, {env_block({{0, 9}})});
  EXPECT_EQ(read(env, "T"), 9.0f);
}

TEST_P(LocalCopies, CleaningStartsOver) {
  Event hb = heart_beat(1, 2, 3);
  EXPECT_EQ(read(hb, "U"), 3.0f);
  clean_local_copies();
  Event empty = event(KOVA_EV_HB, {});
  EXPECT_TRUE(std::isnan(read(empty, "U")));
  EXPECT_TRUE(std::isnan(read(empty, "T")));
  Event hb2 = heart_beat(4, 5, 6);
  EXPECT_EQ(read(hb2, "T"), 4.0f);
  EXPECT_EQ(read(hb2, "U"), 6.0f);
  hesk_util_init();
  EXPECT_TRUE(std::isnan(read(empty, "T")));
}

TEST_P(LocalCopies, BadArgumentsAreRefused) {
  Event hb = heart_beat(1, 2, 3);
  std::string n = "U";
  float v = 0;
  EXPECT_TRUE(get_slow_channel_data(nullptr, hb.data(), &n[0], pool.get(), nullptr, nullptr, &v));
  EXPECT_TRUE(get_slow_channel_data_2010(nullptr, hb.data(), &n[0], pool.get(), nullptr, &v));
  EXPECT_TRUE(get_slow_channel_data(&hb.h2024, hb.data(), &n[0], nullptr, nullptr, nullptr, &v));
  EXPECT_TRUE(get_slow_channel_data(&hb.h2024, nullptr, &n[0], pool.get(), nullptr, nullptr, &v));
  EXPECT_TRUE(read_slow(b2024(), hb, "", pool.get(), &v));
  EXPECT_TRUE(
      b2024()
          ? get_slow_channel_data(&hb.h2024, hb.data(), nullptr, pool.get(), nullptr, nullptr, &v)
          : get_slow_channel_data_2010(&hb.h2010, hb.data(), nullptr, pool.get(), nullptr, &v));
}

INSTANTIATE_TEST_SUITE_P(Generations, LocalCopies, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return i.param ? "Blocks2024" : "Blocks2010";
                         });

}  // namespace
