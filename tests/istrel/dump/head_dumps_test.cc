#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "generation_guard.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

template <typename F>
std::string captured(F f) {
  CaptureStdout();
  f();
  return GetCapturedStdout();
}

// Dates in the slot dump depend on the zone: pin one without summer time.
class UtcZone : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    had_ = tz != nullptr;
    if (had_) old_ = tz;
    setenv("TZ", "UTC", 1);
    tzset();
  }
  void TearDown() override {
    if (had_)
      setenv("TZ", old_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool had_ = false;
  std::string old_;
};

kova_serv_block_head_2010 server_head_2010() {
  kova_serv_block_head_2010 h;
  memset(&h, 0, sizeof(h));
  h.time = {1000, 20};
  h.ltotal = 552;
  h.mpulse = 77;
  strcpy(h.server, "SRV.A");
  h.tmask = 0x1F;
  h.status = 3;
  h.nchan = 1;
  return h;
}

}  // namespace

TEST(HeadDumps, EventHeaders) {
  kova_eventheader h;
  memset(&h, 0, sizeof(h));
  h.pattern = KOVA_EV_PATTERN_2010;
  h.event_length = 40;
  h.event_number = 12;
  h.event_type = KOVA_EV_ENV;
  h.event_time = {100, 5};
  h.tmask = 0xAB;
  h.status = 2;
  h.num_svr_block = 0;
  EXPECT_EQ(
      captured([&] { dump_event_header_(&h); }),
      "PATTERN:0xFFEEFFDD  \tLength:40  \tEvent#:12 \tEventType:ENV:\t Time: 100 sec 5 usec\t "
      "tmask:0xAB\n\t Status: 2\n\t #sblocks: 0\n");

  kova_eventheader_2024 h4;
  memset(&h4, 0, sizeof(h4));
  h4.pattern = KOVA_EV_PATTERN_2024;
  h4.event_length = 56;
  h4.event_number = 0x100000005ull;
  h4.event_type = KOVA_EV_NORMAL;
  h4.event_time = {7, 8};
  h4.tmask = 1;
  h4.status = 0;
  h4.num_svr_block = 0;
  EXPECT_EQ(
      captured([&] { dump_event_header_2024_(&h4); }),
      "PATTERN:0xFFCCFFCC  \tLength:56  \tEvent#:4294967301 (0x100000005) \tEventType:NORMAL:\t "
      "Time: 7 sec 8 usec\t tmask:0x1\n\t Status: 0\n\t #sblocks: 0\n");
  EXPECT_EQ(captured([] { dump_event_header_(nullptr); }), "");
}

TEST(HeadDumps, ServerBlockHeadAloneAndWithSlot) {
  kova_serv_block_head_2010 h = server_head_2010();
  const std::string body =
      "\t Time: 1000 sec 20 usec\n\t Total size: 552\n\t Mpulse:77\n\t Server: SRV.A\n\t "
      "tmask:0x1F\n\t Status: 3\n\t Nchan: 1\n";
  EXPECT_EQ(captured([&] { dump_event_subheader_2010(nullptr, &h); }), "   " + body);
  kova_event_slot_head slot;
  memset(&slot, 0, sizeof(slot));
  slot.evtype = KOVA_EV_IMAGE;
  EXPECT_EQ(captured([&] { dump_event_subheader_2010(&slot, &h); }), "IMAGE:" + body);
  EXPECT_EQ(captured([&] { dump_event_subheader_2010(&slot, nullptr); }), "");

  kova_serv_block_head h9;
  memset(&h9, 0, sizeof(h9));
  memset(h9.server, 'S', sizeof(h9.server));  // not terminated: printed within its width
  std::string out = captured([&] { dump_event_subheader(nullptr, &h9); });
  EXPECT_NE(out.find("Server: " + std::string(48, 'S') + "\n"), std::string::npos);
}

TEST(HeadDumps, ServerBlockHead2024ChecksPatterns) {
  kova_serv_block_head_2010 old = server_head_2010();
  kova_serv_block_head_2024 h;
  copy_server_block_header_2010_to_2024(&old, &h, 0x200000000ull);
  const std::string body =
      "\t Time: 1000 sec 20 usec\n\t Total size: 572\n\t Mpulse:8589934669\n\t Server: SRV.A\n\t "
      "tmask:0x1F\n\t Status: 3\n\t Nchan: 1\n";
  EXPECT_EQ(captured([&] { dump_event_subheader_2024(nullptr, &h); }), "   " + body);

  kova_event_slot_head_2024 slot;
  memset(&slot, 0, sizeof(slot));
  slot.pattern = KOVA_EV_SLOT_PATTERN_2024;
  slot.evtype = KOVA_EV_BOR;
  EXPECT_EQ(captured([&] { dump_event_subheader_2024(&slot, &h); }), "BOR:" + body);

  EXPECT_EQ(captured([&] { dump_event_subheader_2024(&slot, nullptr); }), "");

  // A 2010 head read as 2024: only the complaint.
  auto* wrong = reinterpret_cast<kova_serv_block_head_2024*>(&old);
  uint64_t first;
  memcpy(&first, &old, 8);
  char expect[160];
  snprintf(expect, sizeof(expect), "dump_event_subheader: INVALID pattern: 0x%lX (must be 0x%lX)\n",
           static_cast<unsigned long>(first), 0xFBABBAFFFBABBAFFul);
  std::vector<char> room(sizeof(kova_serv_block_head_2024), 0);
  memcpy(room.data(), &old, sizeof(old));
  wrong = reinterpret_cast<kova_serv_block_head_2024*>(room.data());
  EXPECT_EQ(captured([&] { dump_event_subheader_2024(nullptr, wrong); }), expect);

  slot.pattern = 0x1234;
  EXPECT_EQ(
      captured([&] { dump_event_subheader_2024(&slot, &h); }),
      "dump_event_subheader: INVALID pattern: slot: 0x1234 header: 0xFBABBAFFFBABBAFF (must be "
      "0xFBABBAFFFBABBAFF)\n");
}

TEST_F(UtcZone, EventSlotHeads) {
  kova_event_slot_head hd;
  memset(&hd, 0, sizeof(hd));
  hd.time = {1300000000, 1};
  hd.eventid = 42;
  hd.evtype = KOVA_EV_NORMAL;
  hd.tmask = 0x10;
  hd.start = {1300000001, 2};
  hd.lupdate = {1300000002, 3};
  hd.evsize = 1234;
  hd.nsblocks = 3;
  hd.sbfilled = 2;
  hd.nclients = 4;
  EXPECT_EQ(
      captured([&] { dump_event_header(&hd); }),
      "EVENT-NORMAL\n EventID: 42\n Time: 1300000000 sec 1 usec (20110313T070640)\n First sb: "
      "1300000001 sec 2 usec (20110313T070641)\n Last sb: 1300000002 sec 3 usec "
      "(20110313T070642)\n T-mask:0x10\n EV-size: 1234\n SB-total: 3 SB-filled: 2 \n "
      "#-clients: 4\n");

  kova_event_slot_head_2024 h4;
  memset(&h4, 0, sizeof(h4));
  h4.pattern = KOVA_EV_SLOT_PATTERN_2024;
  h4.time = {1300000000, 1};
  h4.eventid = 0x100000000ll;
  h4.evtype = KOVA_EV_HB;
  h4.start = h4.time;
  h4.lupdate = h4.time;
  h4.evsize = 5000000000ll;
  EXPECT_EQ(
      captured([&] { dump_event_header_2024(&h4); }),
      "EVENT-HEART_BEAT\n EventID: 4294967296\n Time: 1300000000 sec 1 usec (20110313T070640)\n "
      "First sb: 1300000000 sec 1 usec (20110313T070640)\n Last sb: 1300000000 sec 1 usec "
      "(20110313T070640)\n T-mask:0x0\n EV-size: 5000000000\n SB-total: 0 SB-filled: 0 \n "
      "#-clients: 0\n");
}

TEST(HeadDumps, ChannelHeadsShowTypeDeviceAndErrors) {
  GenerationGuard guard;
  set_data_format_2010(true);
  std::vector<unsigned char> block(sizeof(kova_serv_block_subhead_2010) + 16, 0);
  auto* sb = reinterpret_cast<kova_serv_block_subhead_2010*>(block.data());
  strcpy(sb->chname, "BPM.1");
  sb->dtype = 0x00260026;
  sb->error = 0x10;
  sb->ldata = static_cast<int>(block.size());
  EXPECT_EQ(captured([&] { dump_event_chanhead(sb); }),
            "\n\t\t Chan.name: BPM.1\n\t\t Type: 0x260026(BLOCK_BPM_2010 dev:BLOCK_BPM_2010)\n\t\t "
            "Error:0x10(16)(KOVA_SB_ERR_NO_SERVER NO server )\n\t\t Size: 284\n");
  sb->dtype = 0x26;
  sb->error = 0;
  EXPECT_EQ(captured([&] { dump_event_chanhead_2010(sb); }),
            "\n\t\t Chan.name: BPM.1\n\t\t Type: 0x26(BLOCK_BPM_2010 dev:NONE)\n\t\t "
            "Error:0x0(0)(OK)\n\t\t Size: 284\n");
}

TEST(HeadDumps, CompressedChannelShowsItsZipHeader) {
  std::vector<unsigned char> block(sizeof(kova_serv_block_subhead_2010) + 12 + 8, 0);
  auto* sb = reinterpret_cast<kova_serv_block_subhead_2010*>(block.data());
  strcpy(sb->chname, "CAM");
  sb->dtype = 27;
  sb->error = KOVA_CHAN_ZIP_FLAG | 0x1;
  sb->ldata = static_cast<int>(block.size());
  kova_zip_header zh{0x21, 100, 8};
  memcpy(block.data() + sizeof(*sb), &zh, sizeof(zh));
  EXPECT_EQ(
      captured([&] { dump_event_chanhead_2010(sb); }),
      "\n\t\t Chan.name: CAM\n\t\t Type: 0x1B(BLOCK_IMAGE_EXT dev:NONE)\n\t\t Error:0x1(1)\n\t\t "
      "Size: 288\tOrigSize: 100\t ZSise: 8\tZRatio: 5.000000\tZFlags: 0x21\n");
  EXPECT_EQ(captured([&] { print_kova_zip_header(&zh); }),
            "OrigSize: 100\t ZSise: 8\tZRatio: 5.000000\tZFlags: 0x21\n");

  // 2009 head in the 2009 generation.
  GenerationGuard guard;
  GenerationGuard::use_2009();
  std::vector<unsigned char> b9(sizeof(kova_serv_block_subhead) + 12, 0);
  auto* s9 = reinterpret_cast<kova_serv_block_subhead*>(b9.data());
  strcpy(s9->chname, "OLD");
  s9->dtype = 9;
  s9->error = KOVA_CHAN_ZIP_FLAG;
  s9->ldata = static_cast<int>(b9.size());
  memcpy(b9.data() + sizeof(*s9), &zh, sizeof(zh));
  EXPECT_EQ(captured([&] { dump_event_chanhead(s9); }),
            "\n\t\t Chan.name: OLD\n\t\t Type: 0x9(BLOCK_SINGLE dev:NONE)\n\t\t Error:0x0(0)\n\t\t "
            "Size: 56\tOrigSize: 100\t ZSise: 8\tZRatio: 5.000000\tZFlags: 0x21\n");
}
