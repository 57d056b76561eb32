// Fast-channel search in the server blocks of an event, through the 2010 and
// the 2024 interface: where it looks, what it reports back, what it refuses,
// and corrupt server blocks with their exact messages.
#include "client_test_util.h"

using namespace client_test;

namespace {

class FastChannel : public ClientTest, public testing::WithParamInterface<bool> {
 protected:
  bool b2024() const { return GetParam(); }

  // Two server blocks A and B; B holds channel B.2 with samples {4, 5, 6}.
  Event two_blocks(int evtype = KOVA_EV_NORMAL) {
    Event ev(evtype);
    put(ev, server_block(b2024(), "A", 11, {spectrum("A.1", {1}), spectrum("A.2", {2})}));
    put(ev, server_block(b2024(), "B", 12,
                         {spectrum("B.1", {3}), spectrum("B.2", {4, 5, 6}), spectrum("B.3", {7})}));
    return ev;
  }

  struct Found {
    kova_serv_block_subhead_2010* sub = nullptr;
    char* block = nullptr;  // the server block reported back
  };
  Found find(Event& ev, char* sb_name, const char* chan) {
    std::string c = chan;
    Found f;
    if (b2024()) {
      kova_serv_block_head_2010* h = nullptr;
      kova_serv_block_head_2024* h24 = nullptr;
      f.sub =
          get_fast_channel_data_2024(&ev.h2024, ev.data(), sb_name, &c[0], pool.get(), &h, &h24);
      EXPECT_EQ(h, nullptr);  // every block here is a 2024 block
      f.block = reinterpret_cast<char*>(h24);
    } else {
      kova_serv_block_head_2010* h = nullptr;
      f.sub = get_fast_channel_data(&ev.h2010, ev.data(), sb_name, &c[0], pool.get(), &h);
      f.block = reinterpret_cast<char*>(h);
    }
    return f;
  }
};

TEST_P(FastChannel, FindsTheChannelAndItsServerBlock) {
  Event ev = two_blocks();
  Found f = find(ev, nullptr, "B.2");
  ASSERT_NE(f.sub, nullptr);
  EXPECT_EQ(f.block, address(ev, 1));
  float* d = get_pointer_to_data(f.sub, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d[0], 4.0f);
  EXPECT_EQ(d[2], 6.0f);
  // Named block: only that one is searched.
  char b[] = "B";
  EXPECT_EQ(find(ev, b, "B.2").sub, f.sub);
  char a[] = "A";
  EXPECT_EQ(find(ev, a, "B.2").sub, nullptr);
  EXPECT_NE(find(ev, a, "A.2").sub, nullptr);
  char missing[] = "NONE";
  EXPECT_EQ(find(ev, missing, "A.2").sub, nullptr);
}

TEST_P(FastChannel, EmptyServerBlockNameReceivesTheNameOfTheBlockFound) {
  Event ev = two_blocks();
  char name[KOVA_SBLOCK_NAME_LEN];
  memset(name, 'x', sizeof(name));
  name[0] = '\0';
  ASSERT_NE(find(ev, name, "B.3").sub, nullptr);
  EXPECT_STREQ(name, "B");
  name[0] = '\0';
  EXPECT_EQ(find(ev, name, "NOPE").sub, nullptr);
  EXPECT_STREQ(name, "");  // nothing found: left alone
}

TEST_P(FastChannel, RefusesEventTypesNamesAndEntriesItCannotUse) {
  for (int type : {KOVA_EV_BOR, KOVA_EV_EOR, KOVA_EV_ENV, KOVA_EV_UPD}) {
    Event ev = two_blocks(type);
    EXPECT_EQ(find(ev, nullptr, "B.2").sub, nullptr) << type;
  }
  for (int type : {KOVA_EV_HB, KOVA_EV_NORMAL, KOVA_EV_IMAGE}) {
    Event ev = two_blocks(type);
    EXPECT_NE(find(ev, nullptr, "B.2").sub, nullptr) << type;
  }
  Event ev = two_blocks();
  EXPECT_EQ(find(ev, nullptr, "").sub, nullptr);
  EXPECT_EQ(find(ev, nullptr, "B.").sub, nullptr);  // names compare whole
  EXPECT_EQ(find(ev, nullptr, "B.22").sub, nullptr);
  kova_serv_block_head_2010* h = nullptr;
  EXPECT_EQ(get_fast_channel_data(&ev.h2010, ev.data(), nullptr, nullptr, pool.get(), &h), nullptr);
  EXPECT_EQ(get_fast_channel_data(nullptr, ev.data(), nullptr, nullptr, pool.get(), &h), nullptr);
  char c[] = "B.2";
  EXPECT_EQ(get_fast_channel_data_2024(nullptr, ev.data(), nullptr, c, pool.get(), &h, nullptr),
            nullptr);
  EXPECT_EQ(get_fast_channel_data(&ev.h2010, ev.data(), nullptr, c, nullptr, &h), nullptr);

  ev.h2010.sbfilled = ev.h2024.sbfilled = 0;
  EXPECT_EQ(find(ev, nullptr, "A.1").sub, nullptr);
  ev.h2010.sbfilled = ev.h2024.sbfilled = 2;
  // Placeholders and entries whose buffer does not resolve are passed over.
  Event gaps(KOVA_EV_NORMAL);
  gaps.add("B", 0, ev.entries[1].bnum);
  gaps.add("B", id, -1);
  gaps.add("B", 999999, 0);
  gaps.add("B", id, ev.entries[1].bnum);
  EXPECT_NE(find(gaps, nullptr, "B.2").sub, nullptr);
  gaps.entries.pop_back();
  gaps.h2010.sbfilled = gaps.h2024.sbfilled = 3;
  EXPECT_EQ(find(gaps, nullptr, "B.2").sub, nullptr);
}

TEST_P(FastChannel, NamesAreComparedWithinTheirFieldWidth) {
  std::string full(256, 'n');  // fills chname without a terminator
  Event ev(KOVA_EV_NORMAL);
  Bytes blk = server_block(b2024(), "S", 1, {spectrum(full, {1}), spectrum("after", {2})});
  put(ev, blk);
  EXPECT_NE(find(ev, nullptr, full.c_str()).sub, nullptr);
  EXPECT_EQ(find(ev, nullptr, full.substr(0, 255).c_str()).sub, nullptr);
  EXPECT_EQ(find(ev, nullptr, (full + "n").c_str()).sub, nullptr);
  EXPECT_NE(find(ev, nullptr, "after").sub, nullptr);
  // A server-block name filling its field is compared the same way.
  memset(ev.entries[0].name, 's', sizeof(ev.entries[0].name));
  std::string sname(256, 's');
  EXPECT_NE(find(ev, &sname[0], "after").sub, nullptr);
}

TEST_P(FastChannel, BlocksWithoutChannelsOrRoomArePassedOver) {
  Event ev(KOVA_EV_NORMAL);
  put(ev, server_block(b2024(), "EMPTY", 1, {spectrum("X", {1})}, 0));  // nchan 0
  Bytes no_room = server_block(b2024(), "SHORT", 1, {spectrum("X", {2})});
  set_ltotal(no_room, static_cast<int64_t>(head_size(b2024())));  // nothing after the head
  put(ev, no_room);
  put(ev, server_block(b2024(), "GOOD", 1, {spectrum("X", {3})}));
  Found f = find(ev, nullptr, "X");
  ASSERT_NE(f.sub, nullptr);
  EXPECT_EQ(get_pointer_to_data(f.sub, 0)[0], 3.0f);
}

TEST_P(FastChannel, CorruptServerBlocksEndTheSearchWithTheirMessages) {
  // Block A is spoiled; channel B.2 lies in the sound block B after it. A
  // sub-block of A that is longer than the room left is passed over with its
  // block, even when it bears the name looked for.
  const int64_t hs = static_cast<int64_t>(head_size(b2024()));
  const int64_t one = static_cast<int64_t>(spectrum("A.1", {1}).size());  // 424 bytes
  const int64_t total = hs + 2 * one;
  auto nchan = [&](Bytes& b, int n) {
    if (b2024())
      reinterpret_cast<kova_serv_block_head_2024*>(b.data())->nchan = n;
    else
      reinterpret_cast<kova_serv_block_head_2010*>(b.data())->nchan = n;
  };
  auto outside = [](int64_t ltotal, int count, int n) {
    return "CHANNEL corrupted: B.2\nOUTSIDE  of the server block !!!: ltotal: " +
           std::to_string(ltotal) + "  channel:" + std::to_string(count) +
           " nchans:" + std::to_string(n) + " \n";
  };
  auto ldata = [](int64_t l, int64_t left) {
    return "CHANNEL corrupted: B.2\nCorrupted data: ldata: " + std::to_string(l) +
           "   total_size (left): " + std::to_string(left) + "\n";
  };
  struct Case {
    const char* what;
    std::function<void(Bytes&)> spoil;
    std::string text;
  };
  const Case cases[] = {
      {"negative ldata", [&](Bytes& b) { set_ldata(b, hs, -4); }, ldata(-4, 2 * one)},
      {"ldata shorter than a head", [&](Bytes& b) { set_ldata(b, hs, 0); }, ldata(0, 2 * one)},
      // Longer than the room left: the block ends there, the next is searched.
      {"ldata past ltotal", [&](Bytes& b) { set_ldata(b, hs + one, one + 4); }, ""},
      {"first ldata past ltotal, bearing the name",
       [&](Bytes& b) {
         set_ldata(b, hs, 3 * one);
         memcpy(b.data() + hs, "B.2", 4);
       },
       ""},
      {"nchan past the last sub-block", [&](Bytes& b) { nchan(b, 3); }, ""},
      {"room for less than a head", [&](Bytes& b) { set_ltotal(b, hs + 100); },
       outside(hs + 100, 0, 2)},
      {"ltotal past the buffer", [&](Bytes& b) { set_ltotal(b, kBufferLength + 1); },
       outside(kBufferLength + 1, 0, 2)},
      {"next head outside",
       [&](Bytes& b) {
         set_ltotal(b, total + 100);
         nchan(b, 3);
       },
       outside(total + 100, 2, 3)},
  };
  for (const Case& c : cases) {
    Bytes b = server_block(b2024(), "A", 1, {spectrum("A.1", {1}), spectrum("A.2", {2})});
    c.spoil(b);
    Event ev(KOVA_EV_NORMAL);
    put(ev, b);
    put(ev, server_block(b2024(), "B", 2, {spectrum("B.2", {9})}));
    testing::internal::CaptureStdout();
    Found f = find(ev, nullptr, "B.2");
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, c.text) << c.what;
    // Past its last sub-block a block simply ends; otherwise the search stops.
    EXPECT_EQ(f.sub != nullptr, c.text.empty()) << c.what;
    if (f.sub != nullptr) {
      EXPECT_EQ(get_pointer_to_data(f.sub, 0)[0], 9.0f) << c.what;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Generations, FastChannel, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& i) {
                           return i.param ? "Blocks2024" : "Blocks2010";
                         });

// A reader's pool attaches the partition of a block on first use, also when
// it holds no partition yet.
TEST_F(ClientTest, PartitionsAreAttachedOnFirstUse) {
  Event ev(KOVA_EV_NORMAL);
  put(ev, server_block(false, "A", 1, {spectrum("A.1", {1})}));
  {
    Hesk reader;
    ASSERT_EQ(reader.find_by_id(id), nullptr);
    char c[] = "A.1";
    kova_serv_block_head_2010* h = nullptr;
    EXPECT_NE(get_fast_channel_data(&ev.h2010, ev.data(), nullptr, c, &reader, &h), nullptr);
    EXPECT_NE(reader.find_by_id(id), nullptr);
  }
  // The reader let go; the partition is still the writer's.
  EXPECT_NE(address(ev, 0), nullptr);
  EXPECT_EQ(pool->find_by_id(id)->getStat("use_count"), "1");
}

// The 2024 interface takes blocks of both generations in one event.
TEST_F(ClientTest, FastChannelIn2024EventsWithMixedGenerations) {
  Event ev(KOVA_EV_NORMAL);
  put(ev, server_block(false, "OLD", 1, {spectrum("OLD.X", {1})}));
  put(ev, server_block(true, "NEW", 2, {spectrum("NEW.X", {2})}));
  char c1[] = "OLD.X", c2[] = "NEW.X";
  kova_serv_block_head_2010* h = nullptr;
  kova_serv_block_head_2024* h24 = reinterpret_cast<kova_serv_block_head_2024*>(1);
  ASSERT_NE(get_fast_channel_data_2024(&ev.h2024, ev.data(), nullptr, c1, pool.get(), &h, &h24),
            nullptr);
  EXPECT_EQ(reinterpret_cast<char*>(h), address(ev, 0));
  EXPECT_EQ(h24, nullptr);
  kova_serv_block_subhead_2010* s =
      get_fast_channel_data_2024(&ev.h2024, ev.data(), nullptr, c2, pool.get(), &h, &h24);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(get_pointer_to_data(s, 0)[0], 2.0f);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(reinterpret_cast<char*>(h24), address(ev, 1));
  EXPECT_EQ(h24->mpulse, 2);
}

}  // namespace
