// Server-block parameters and the count of blocks without channels, with slot
// heads of both layouts passed through the 2024 type.
#include "client_test_util.h"

using namespace client_test;

namespace {

// A block whose ltotal is its head plus one 1000-byte sub-block.
Bytes thousand_after_head(bool b2024, const std::string& name, int64_t mpulse) {
  std::vector<char> payload(1000 - 268, 0);
  return server_block(
      b2024, name, mpulse,
      {sub_block(name + ".X", KOVA_BLOCK_1CHAN_2010, payload.data(), payload.size())});
}

struct Params {
  bool failed = true;
  time_stamp tm{0, 0};
  int len = -1;
  int64_t mp = -1;
  int tmask = -1, status = -1, nchan = -1;
};

Params params(kova_event_slot_head_2024* hd, Event& ev, const char* name, Hesk* obj) {
  Params p;
  std::string n = name;
  p.failed =
      get_sb_param(hd, ev.data(), &n[0], obj, &p.tm, &p.len, &p.mp, &p.tmask, &p.status, &p.nchan);
  return p;
}

TEST_F(ClientTest, ServerBlockParametersOfEitherGeneration) {
  Event ev(KOVA_EV_NORMAL);
  put(ev, thousand_after_head(false, "OLD", -3));
  put(ev, thousand_after_head(true, "NEW", (int64_t{1} << 40) + 5));
  // Both slot layouts, the 2010 one passed through the 2024 pointer type.
  for (auto* hd : {&ev.h2024, reinterpret_cast<kova_event_slot_head_2024*>(&ev.h2010)}) {
    Params old_p = params(hd, ev, "OLD", pool.get());
    EXPECT_FALSE(old_p.failed);
    EXPECT_EQ(old_p.len, 1000);  // ltotal 1284
    EXPECT_EQ(old_p.mp, -3);     // sign-extended
    EXPECT_EQ(old_p.tm.timeup, 1000u);
    EXPECT_EQ(old_p.tm.timelow, 5u);
    EXPECT_EQ(old_p.tmask, 3);
    EXPECT_EQ(old_p.status, 7);
    EXPECT_EQ(old_p.nchan, 1);
    Params new_p = params(hd, ev, "NEW", pool.get());
    EXPECT_FALSE(new_p.failed);
    EXPECT_EQ(new_p.len, 1000);  // ltotal 1304
    EXPECT_EQ(new_p.mp, (int64_t{1} << 40) + 5);
    EXPECT_EQ(new_p.nchan, 1);
  }
  // Outputs are optional.
  char name[] = "NEW";
  EXPECT_FALSE(get_sb_param(&ev.h2024, ev.data(), name, pool.get(), nullptr, nullptr, nullptr,
                            nullptr, nullptr, nullptr));
}

TEST_F(ClientTest, ServerBlockParametersRefusals) {
  Event ev(KOVA_EV_NORMAL);
  ev.add("GONE", 0, 1);  // a placeholder of the same name comes first
  put(ev, thousand_after_head(false, "GONE", 1));
  EXPECT_FALSE(params(&ev.h2024, ev, "GONE", pool.get()).failed);
  EXPECT_TRUE(params(&ev.h2024, ev, "NONE", pool.get()).failed);
  EXPECT_TRUE(params(&ev.h2024, ev, "", pool.get()).failed);
  EXPECT_TRUE(params(&ev.h2024, ev, "GONE", nullptr).failed);
  Params untouched;
  EXPECT_TRUE(get_sb_param(&ev.h2024, ev.data(), nullptr, pool.get(), &untouched.tm, &untouched.len,
                           &untouched.mp, nullptr, nullptr, nullptr));
  EXPECT_EQ(untouched.len, -1);
  // The first entry of that name decides, even when it does not resolve.
  Event first(KOVA_EV_NORMAL);
  first.add("S", 999999, 0);
  put(first, thousand_after_head(false, "S", 1));
  EXPECT_TRUE(params(&first.h2024, first, "S", pool.get()).failed);
  Event none(KOVA_EV_NORMAL);
  EXPECT_TRUE(params(&none.h2024, none, "S", pool.get()).failed);
}

TEST_F(ClientTest, BlocksWithoutChannelsAreCounted) {
  struct Case {
    int evtype;
    int expected;
  };
  const Case cases[] = {{KOVA_EV_NORMAL, 1}, {KOVA_EV_HB, 1},  {KOVA_EV_IMAGE, 1}, {KOVA_EV_BOR, 0},
                        {KOVA_EV_EOR, 0},    {KOVA_EV_ENV, 0}, {KOVA_EV_UPD, 0}};
  for (const Case& c : cases) {
    Event ev(c.evtype);
    put(ev, server_block(false, "A", 1, {spectrum("A.1", {1})}));
    put(ev, server_block(true, "B", 1, {}));  // nchan 0, read at its 2024 place
    put(ev, server_block(false, "C", 1, {spectrum("C.1", {1})}));
    ev.add("P", 0, -1);  // placeholders are not blocks
    EXPECT_EQ(check_bad_sb_data(&ev.h2024, ev.data(), pool.get()), c.expected) << c.evtype;
    EXPECT_EQ(check_bad_sb_data(reinterpret_cast<kova_event_slot_head_2024*>(&ev.h2010), ev.data(),
                                pool.get()),
              c.expected)
        << c.evtype;
  }
  Event empty(KOVA_EV_NORMAL);
  EXPECT_EQ(check_bad_sb_data(&empty.h2024, empty.data(), pool.get()), 0);
  EXPECT_EQ(check_bad_sb_data(nullptr, empty.data(), pool.get()), 0);
}

}  // namespace
