// Slow-data blocks: accessors, conversions both ways and printing, in the
// 2010 and the 2024 form.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dual_event.h"
#include "event_util.h"
#include "generation_guard.h"

using dual::DualBuffer;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Bytes = std::vector<unsigned char>;

namespace {

// A block of `n` channels and `e` entries; value of channel c at entry i is
// 10 c + i + 0.5, its status 100 c + i, seconds 1000 + i, microseconds 10 i,
// identifiers 0x100000000 * wide + 500 + i.
DualBuffer slow_block(int n, int e, bool wide) {
  DualBuffer d;
  d.u32(wide ? KOVA_SLOW_PATTERN_2024 : KOVA_SLOW_PATTERN);
  d.u32(0);
  d.u32(n);
  for (int c = 0; c < n; ++c) d.raw_text("VAC/GAUGE." + std::to_string(c), 256);
  d.i32(e);
  for (int i = 0; i < e; ++i) d.u32(1000 + i);
  for (int i = 0; i < e; ++i) d.u32(10 * i);
  for (int i = 0; i < e; ++i) {
    if (wide) {
      d.u64(0x100000000ull + 500 + i);
    } else {
      d.u32(500 + i);
    }
  }
  for (int c = 0; c < n; ++c)
    for (int i = 0; i < e; ++i) d.f32(10.0f * c + i + 0.5f);
  for (int c = 0; c < n; ++c)
    for (int i = 0; i < e; ++i) d.i32(100 * c + i);
  d.u32(0);
  d.patch_u32(4, static_cast<uint32_t>(d.size()));
  d.patch_u32(d.size() - 4, static_cast<uint32_t>(d.size()));
  return d;
}

kova_daq_slow_data_header* head_of(Bytes& b) {
  return reinterpret_cast<kova_daq_slow_data_header*>(b.data());
}

size_t offset(const void* p, Bytes& b) {
  return static_cast<const unsigned char*>(p) - b.data();
}

}  // namespace

TEST(SlowBlockAccess, WhereTheArraysLie) {
  Bytes b = slow_block(2, 3, false).host;
  auto* blk = head_of(b);
  EXPECT_EQ(kova_slow_block_get_length(blk), 616);
  EXPECT_EQ(kova_slow_block_get_n_channels(blk), 2);
  EXPECT_EQ(kova_slow_block_get_pattern(blk), KOVA_SLOW_PATTERN);
  EXPECT_EQ(kova_slow_block_get_n_entries(blk), 3);
  EXPECT_EQ(offset(kova_slow_block_get_time_s(blk), b), 16u + 512u);
  EXPECT_EQ(offset(kova_slow_block_get_time_us(blk), b), 16u + 512u + 12u);
  EXPECT_EQ(offset(kova_slow_block_get_data_pointer(blk, 1), b), 576u);
  EXPECT_EQ(offset(kova_slow_block_get_status_pointer(blk, 0), b), 588u);
  EXPECT_EQ(offset(kova_slow_block_get_status_pointer(blk, 1), b), 600u);
  EXPECT_STREQ(kova_slow_block_get_name(blk, 1), "VAC/GAUGE.1");
  EXPECT_EQ(kova_slow_block_get_name(blk, 2), nullptr);
  EXPECT_EQ(kova_slow_block_get_name(blk, -1), nullptr);
}

TEST(SlowBlockAccess, ValuesTimesAndIdentifiers2010) {
  Bytes b = slow_block(2, 3, false).host;
  auto* blk = head_of(b);
  EXPECT_EQ(kova_slow_block_get_first_time_s(blk), 1000u);
  EXPECT_EQ(kova_slow_block_get_last_time_s(blk), 1002u);
  EXPECT_EQ(kova_slow_block_get_first_time_us(blk), 0u);
  EXPECT_EQ(kova_slow_block_get_last_time_us(blk), 20u);
  uint64_t* wide = reinterpret_cast<uint64_t*>(&b);
  u_int* ids = kova_slow_block_get_evid(blk, &wide);
  ASSERT_NE(ids, nullptr);
  EXPECT_EQ(wide, nullptr);
  EXPECT_EQ(ids[2], 502u);
  uint64_t id = 0;
  EXPECT_EQ(kova_slow_block_get_first_evid(blk, &id), 500u);
  EXPECT_EQ(id, 500u);
  EXPECT_EQ(kova_slow_block_get_last_evid(blk, &id), 502u);
  EXPECT_EQ(id, 502u);
  EXPECT_FLOAT_EQ(kova_slow_block_get_data(blk, 1, 2), 12.5f);
  EXPECT_EQ(kova_slow_block_get_status(blk, 1, 2), 102);
  EXPECT_EQ(kova_slow_block_get_data(blk, 0, 3), 2139095040.0f);
  EXPECT_EQ(kova_slow_block_get_data(blk, -1, 0), 2139095040.0f);
  EXPECT_EQ(kova_slow_block_get_data(blk, 2, 0), 2139095040.0f);
  EXPECT_EQ(kova_slow_block_get_status(blk, 0, -1), -1);
  EXPECT_EQ(kova_slow_block_get_status(blk, 0, 3), -1);
}

TEST(SlowBlockAccess, IdentifiersOfThe2024Form) {
  Bytes b = slow_block(1, 2, true).host;
  auto* blk = head_of(b);
  uint64_t* wide = nullptr;
  EXPECT_EQ(kova_slow_block_get_evid(blk, &wide), nullptr);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide[1], 0x100000000ull + 501);
  uint64_t id = 0;
  EXPECT_EQ(kova_slow_block_get_first_evid(blk, &id), 0u);
  EXPECT_EQ(id, 0x100000000ull + 500);
  EXPECT_EQ(kova_slow_block_get_last_evid(blk, &id), 0u);
  EXPECT_EQ(id, 0x100000000ull + 501);
  EXPECT_FLOAT_EQ(kova_slow_block_get_data(blk, 0, 1), 1.5f);
  EXPECT_EQ(kova_slow_block_get_status(blk, 0, 1), 1);
}

TEST(SlowBlockAccess, EmptyAndNullBlocks) {
  for (int e : {0, 4}) {
    Bytes b = slow_block(0, e, false).host;
    auto* blk = head_of(b);
    EXPECT_EQ(kova_slow_block_get_n_entries(blk), 0);
    EXPECT_EQ(kova_slow_block_get_time_s(blk), nullptr);
    EXPECT_EQ(kova_slow_block_get_time_us(blk), nullptr);
    EXPECT_EQ(kova_slow_block_get_data_pointer(blk, 0), nullptr);
    EXPECT_EQ(kova_slow_block_get_status_pointer(blk, 0), nullptr);
    EXPECT_EQ(kova_slow_block_get_first_time_s(blk), 0u);
    EXPECT_EQ(kova_slow_block_get_last_time_us(blk), 0u);
    uint64_t id = 7;
    EXPECT_EQ(kova_slow_block_get_first_evid(blk, &id), 0u);
    EXPECT_EQ(id, 0u);
    uint64_t* wide = reinterpret_cast<uint64_t*>(&b);
    EXPECT_EQ(kova_slow_block_get_evid(blk, &wide), nullptr);
    EXPECT_EQ(wide, reinterpret_cast<uint64_t*>(&b));  // untouched
  }
  Bytes b = slow_block(2, 0, false).host;
  EXPECT_NE(kova_slow_block_get_time_s(head_of(b)), nullptr);
  EXPECT_EQ(kova_slow_block_get_time_us(head_of(b)), nullptr);
  EXPECT_EQ(kova_slow_block_get_data_pointer(head_of(b), 0), nullptr);
  EXPECT_EQ(kova_slow_block_get_n_channels(nullptr), 0);
  EXPECT_EQ(kova_slow_block_get_length(nullptr), 0);
  EXPECT_EQ(kova_slow_block_get_pattern(nullptr), 0u);
  EXPECT_EQ(kova_slow_block_get_name(nullptr, 0), nullptr);
  EXPECT_EQ(kova_slow_block_get_data(nullptr, 0, 0), 2139095040.0f);
  EXPECT_EQ(kova_slow_block_get_status(nullptr, 0, 0), -1);
}

TEST(SlowBlockAccess, NothingBeyondTheBlockLength) {
  Bytes b = slow_block(2, 3, false).host;
  auto* blk = head_of(b);
  blk->data_length = 612;  // the trailing word no longer fits
  EXPECT_EQ(kova_slow_block_get_time_s(blk), nullptr);
  EXPECT_EQ(kova_slow_block_get_data(blk, 0, 0), 2139095040.0f);
  blk->data_length = 300;  // not even the second name
  EXPECT_EQ(kova_slow_block_get_name(blk, 1), nullptr);
  EXPECT_EQ(kova_slow_block_get_n_entries(blk), 0);
  blk->data_length = 616;
  blk->channels_number = 0x01000000;  // absurd channel count
  EXPECT_EQ(kova_slow_block_get_name(blk, 5), nullptr);
  EXPECT_EQ(kova_slow_block_get_data_pointer(blk, 0), nullptr);
}

class SlowBlockConversion : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam())
      set_data_format_2024(true);
    else
      set_data_format_2010(true);
  }
  GenerationGuard guard_;
};

INSTANTIATE_TEST_SUITE_P(Forms, SlowBlockConversion, testing::Values(false, true));

TEST_P(SlowBlockConversion, NetworkToHostWholeBlock) {
  DualBuffer d = slow_block(3, 4, GetParam());
  Bytes out(d.size(), 0xEE);
  ASSERT_EQ(kova_convert_slow_data(d.net.data(), out.data()), 0);
  EXPECT_EQ(out, d.host);
  Bytes in_place = d.net;
  ASSERT_EQ(kova_convert_slow_data(in_place.data(), in_place.data()), 0);
  EXPECT_EQ(in_place, d.host);
}

TEST_P(SlowBlockConversion, HostToNetworkHeadAndBody) {
  DualBuffer d = slow_block(3, 4, GetParam());
  Bytes out(d.size(), 0xEE);
  ASSERT_EQ(kova_convert_slow_data_head(d.host.data(), out.data()), 0);
  ASSERT_EQ(
      kova_convert_slow_data_block_hton(d.host.data() + 12, out.data() + 12, 3,
                                        GetParam() ? KOVA_SLOW_PATTERN_2024 : KOVA_SLOW_PATTERN),
      0);
  EXPECT_EQ(out, d.net);
  EXPECT_EQ(kova_convert_slow_data_block_hton(d.host.data() + 12, out.data() + 12, 0, 0), 11);
  Bytes neg = d.host;
  int32_t minus = -1;
  memcpy(neg.data() + 12 + 3 * 256, &minus, 4);
  EXPECT_EQ(kova_convert_slow_data_block_hton(neg.data() + 12, neg.data() + 12, 3, 0), 12);
}

TEST_P(SlowBlockConversion, DescriptionDrivenBothWays) {
  DualBuffer d = slow_block(2, 5, GetParam());
  const int body = static_cast<int>(d.size()) - 8;
  Bytes out = d.host;
  ASSERT_EQ(kova_convert_slow_data_block(d.host.data() + 8, out.data() + 8, -body), 0);
  EXPECT_EQ(Bytes(out.begin() + 8, out.end()), Bytes(d.net.begin() + 8, d.net.end()));
  ASSERT_EQ(kova_convert_slow_data_block(out.data() + 8, out.data() + 8, body), 0);
  EXPECT_EQ(out, d.host);
  CaptureStdout();
  EXPECT_EQ(kova_convert_slow_data_block(d.host.data() + 8, out.data() + 8, -(body - 4)), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 4\n");
}

TEST_P(SlowBlockConversion, HeadPatternFollowsTheGeneration) {
  DualBuffer mine = slow_block(1, 1, GetParam());
  DualBuffer other = slow_block(1, 1, !GetParam());
  unsigned char out[12];
  EXPECT_EQ(kova_convert_slow_data_head(mine.net.data(), out), 0);
  EXPECT_EQ(kova_convert_slow_data_head(mine.host.data(), out), 0);
  EXPECT_EQ(kova_convert_slow_data_head(other.net.data(), out), 15);
  EXPECT_EQ(kova_convert_slow_data(other.net.data(), other.host.data()), 15);
}

TEST_P(SlowBlockConversion, TrailingWordMismatchConvertsEverything) {
  DualBuffer d = slow_block(2, 3, GetParam());
  Bytes net = d.net;
  const size_t tail = d.size() - 4;
  net[tail + 3] ^= 1;
  Bytes out(d.size(), 0xEE);
  EXPECT_EQ(kova_convert_slow_data(net.data(), out.data()), 12);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + tail), Bytes(d.host.begin(), d.host.begin() + tail));
}

TEST_P(SlowBlockConversion, LengthsAreCheckedBeforeUse) {
  DualBuffer d = slow_block(2, 3, GetParam());
  const uint32_t full = static_cast<uint32_t>(d.size());
  struct Case {
    uint32_t length;
    int code;
  };
  // Names need 524 bytes, the count 528, the table and trailing word `full`.
  for (Case c :
       {Case{523, 15}, Case{12, 15}, Case{527, 14}, Case{full - 4, 13}, Case{full - 1, 13}}) {
    Bytes net = d.net;
    uint32_t be = __builtin_bswap32(c.length);
    memcpy(net.data() + 4, &be, 4);
    std::vector<unsigned char> exact(net.begin(), net.begin() + (c.length < 12 ? 12 : c.length));
    EXPECT_EQ(kova_convert_slow_data(exact.data(), exact.data()), c.code) << c.length;
  }
  Bytes net = d.net;
  int32_t minus = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(-2)));
  memcpy(net.data() + 12 + 512, &minus, 4);
  EXPECT_EQ(kova_convert_slow_data(net.data(), net.data()), 12);
}

TEST(SlowBlockPrint, WholeBlock2010) {
  Bytes b = slow_block(2, 2, false).host;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  EXPECT_EQ(GetCapturedStdout(),
            "PATTERN:       0xffeeffcc\n"
            "BLOCK_LENGTH:  588\n"
            "CHANNELS:      2\n"
            "CHANNELS:\n"
            "[0] 'VAC/GAUGE.0'\n"
            "[1] 'VAC/GAUGE.1'\n"
            "ENTRIES: 2\n"
            "[0] 1000:0_500 \t0.500000(0)\t10.500000(100)\n"
            "[1] 1001:10_501 \t1.500000(1)\t11.500000(101)\n"
            "TAIL 588\n");
}

TEST(SlowBlockPrint, WholeBlock2024AndItsComplaints) {
  Bytes b = slow_block(1, 1, true).host;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  EXPECT_EQ(GetCapturedStdout(),
            "PATTERN:       0xffeeffff\n"
            "BLOCK_LENGTH:  300\n"
            "CHANNELS:      1\n"
            "CHANNELS:\n"
            "[0] 'VAC/GAUGE.0'\n"
            "ENTRIES: 1\n"
            "[0] 1000:0_4294967796 \t0.500000(0)\n"
            "TAIL 300\n");
  b[296] ^= 1;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  EXPECT_NE(
      GetCapturedStdout().find(
          "kova_print_daq_slow_block() something wrong (2024) with the tail 301 must be 300\n"),
      std::string::npos);
  head_of(b)->data_length = 296;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  std::string said = GetCapturedStdout();
  EXPECT_NE(said.find("ENTRIES: 1\nkova_print_daq_slow_block() block corrupted - not enough "
                      "length (2024) to keep data\n"),
            std::string::npos);
  head_of(b)->data_length = 270;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  EXPECT_NE(GetCapturedStdout().find("[0] 'VAC/GAUGE.0'\nkova_print_daq_slow_block() block "
                                     "corrupted - not enough length (2024) to keep number of "
                                     "entries\n"),
            std::string::npos);
}

TEST(SlowBlockPrint, ComplaintsOfThe2010Form) {
  Bytes b = slow_block(3, 1, false).host;
  head_of(b)->data_length = 700;
  CaptureStdout();
  kova_print_daq_slow_block(head_of(b));
  EXPECT_EQ(GetCapturedStdout(),
            "PATTERN:       0xffeeffcc\nBLOCK_LENGTH:  700\nCHANNELS:      3\n"
            "kova_print_daq_slow_block() block corrupted - not enough length to keep 3 channels "
            "names\n");
}

TEST(SlowBlockPrint, PatternDecidesWhetherToPrint) {
  DualBuffer d = slow_block(1, 1, false);
  CaptureStdout();
  kova_print_daq_slow_block(reinterpret_cast<kova_daq_slow_data_header*>(d.net.data()));
  EXPECT_EQ(GetCapturedStdout(), "kova_print_daq_slow_block() please swap buffer first\n");
  Bytes b = d.host;
  head_of(b)->pattern = 0x12345678;
  CaptureStdout();
  EXPECT_TRUE(kova_print_daq_slow_header(head_of(b)));
  EXPECT_EQ(GetCapturedStdout(),
            "kova_print_daq_slow_block() invalid pattern 0x12345678 must be 0xffeeffcc(0xccffeeff) "
            "OR 0xffeeffff(0xffffeeff)\n");
  EXPECT_TRUE(kova_print_daq_slow_header(nullptr));
  CaptureStdout();
  EXPECT_FALSE(kova_print_daq_slow_header(head_of(d.host)));
  GetCapturedStdout();
}
