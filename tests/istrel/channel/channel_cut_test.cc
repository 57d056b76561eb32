// Cutting one channel out of a block, in both generations.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "sub_block.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using namespace testblock;

namespace {

struct Freed {
  void operator()(u_char* p) const { free(p); }
};

template <typename T>
T at(const unsigned char* p, size_t off) {
  T v;
  memcpy(&v, p + off, sizeof(v));
  return v;
}

struct Result {
  bool failed = true;
  int len = -1;
  int type = -1;
  std::unique_ptr<u_char, Freed> block;
  std::string out;
};

Result cut(int gen, const std::vector<unsigned char>& source, int subchan) {
  Exact b(source);
  Result r;
  u_char* data = reinterpret_cast<u_char*>(1);
  CaptureStdout();
  r.failed = gen == 2009 ? device_to_one_channel_2009(b.get(), subchan, &r.len, &r.type, &data)
                         : device_to_one_channel_2010(b.get(), subchan, &r.len, &r.type, &data);
  r.out = GetCapturedStdout();
  if (!r.failed) r.block.reset(data);
  EXPECT_EQ(memcmp(b.get(), source.data(), source.size()), 0) << "the source was written";
  return r;
}

std::vector<unsigned char> block_of(int gen, const std::string& name, int type,
                                    void (*fill)(Bytes&)) {
  SubBlock b(gen, name, type);
  fill(b);
  return b.block();
}

}  // namespace

TEST(ChannelCut, OneChannelOfEachFamily) {
  // 2009 BPM, 50 samples, channel 1 (Y): a single-channel block.
  Result r =
      cut(2009, block_of(2009, "BPM.3", KOVA_BLOCK_BPM, [](Bytes& b) { fast_2009(b, 2, 50); }), 1);
  ASSERT_FALSE(r.failed) << r.out;
  EXPECT_EQ(r.len, 44 + 16 + 200);
  EXPECT_EQ(r.type, KOVA_BLOCK_SINGLE);
  const u_char* p = r.block.get();
  EXPECT_STREQ(reinterpret_cast<const char*>(p), "BPM.3:1");
  EXPECT_EQ(at<int32_t>(p, 32), KOVA_BLOCK_SINGLE);
  EXPECT_EQ(at<int32_t>(p, 40), r.len);
  EXPECT_EQ(at<float>(p, 44), 1.5f);    // start
  EXPECT_EQ(at<float>(p, 52), 1.5f);    // the Y mean
  EXPECT_EQ(at<int32_t>(p, 56), 50);    // ndata
  EXPECT_EQ(at<float>(p, 60), 100.0f);  // first Y sample
  EXPECT_EQ(at<float>(p, 60 + 196), 149.0f);

  // 2010 spectrum, 3 samples x 2 groups, channel 1: a one-channel spectrum.
  r = cut(2010,
          block_of(2010, "BPM.1", KOVA_BLOCK_BPM_2010, [](Bytes& b) { spectrum_2010(b, 2, 3, 2); }),
          1);
  ASSERT_FALSE(r.failed) << r.out;
  EXPECT_EQ(r.len, 268 + 152 + 24);
  EXPECT_EQ(r.type, KOVA_BLOCK_1CHAN_2010);
  p = r.block.get();
  EXPECT_STREQ(reinterpret_cast<const char*>(p), "BPM.1:1");
  EXPECT_EQ(at<int32_t>(p, 268 + 12), 2);                             // groups
  EXPECT_EQ(at<float>(p, 268 + 20 + 4 + 4 * KOVA_STAT_MEAN), 11.0f);  // channel 1's mean
  EXPECT_EQ(at<float>(p, 268 + 152), 100.0f);
  EXPECT_EQ(at<float>(p, 268 + 152 + 20), 105.0f);

  // Generic array entry 1: a one-channel spectrum of the entry.
  r = cut(2010,
          block_of(2010, "GEN", KOVA_BLOCK_GENERIC_SPECT,
                   [](Bytes& b) {
                     generic(b, {{3, 2}, {4, 1}});
                   }),
          1);
  ASSERT_FALSE(r.failed) << r.out;
  EXPECT_EQ(r.len, 268 + 152 + 16);
  p = r.block.get();
  EXPECT_EQ(at<float>(p, 268), 1.0f);                                // entry's start
  EXPECT_EQ(at<int32_t>(p, 268 + 8), 4);                             // entry's ndata
  EXPECT_EQ(at<float>(p, 268 + 20 + 4 + 4 * KOVA_STAT_MAX), 51.0f);  // entry's statistics
  EXPECT_EQ(at<float>(p, 268 + 152 + 12), 103.0f);

  // Third ROI of three: a one-ROI block with that ROI's record, axis, samples.
  r = cut(2010,
          block_of(2010, "CAM.ROI", KOVA_BLOCK_IMG_ROI3,
                   [](Bytes& b) {
                     roi(b, {10, 20, 30});
                   }),
          2);
  ASSERT_FALSE(r.failed) << r.out;
  EXPECT_EQ(r.len, 268 + 168 + 120);
  EXPECT_EQ(r.type, KOVA_BLOCK_IMG_ROI1);
  p = r.block.get();
  EXPECT_EQ(at<int32_t>(p, 268), 640 | (10 << 16));  // image parameters
  EXPECT_EQ(at<float>(p, 268 + 76), 1002.0f);        // ROI 3's mean
  EXPECT_EQ(at<float>(p, 268 + 156), 2.0f);          // its start
  EXPECT_EQ(at<int32_t>(p, 268 + 164), 30);
  EXPECT_EQ(at<float>(p, 268 + 168), 200.0f);
  EXPECT_EQ(at<float>(p, 268 + 168 + 116), 229.0f);

  // Entry 3 of a name/value list: a list of one.
  for (int gen : {2009, 2010}) {
    r = cut(gen, block_of(gen, "NV", KOVA_BLOCK_NAME_VALUE, [](Bytes& b) { name_value(b, 5); }), 3);
    ASSERT_FALSE(r.failed) << r.out;
    const int head = gen == 2009 ? 44 : 268;
    EXPECT_EQ(r.len, gen == 2009 ? 216 : 440);
    p = r.block.get();
    EXPECT_EQ(at<int32_t>(p, head), 77);
    EXPECT_STREQ(reinterpret_cast<const char*>(p + head + 4), "settings");
    EXPECT_EQ(at<int32_t>(p, head + 84), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(p + head + 88), "NV3");
    EXPECT_EQ(at<float>(p, head + 88 + 80), 3.25f);
  }
}

TEST(ChannelCut, OneChannelBlockIsReportedNotCopied) {
  Result r = cut(
      2010,
      block_of(2010, "TORO.1", KOVA_BLOCK_TOROID_2010, [](Bytes& b) { spectrum_2010(b, 1, 4, 1); }),
      0);
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(r.len, 268 + 152 + 16);
  EXPECT_EQ(r.type, KOVA_BLOCK_TOROID_2010);
  EXPECT_EQ(r.block, nullptr);  // cut() also checks the source name kept its text
}

TEST(ChannelCut, LengthAndTypeWithoutData) {
  Exact b(
      block_of(2010, "BPM.1", KOVA_BLOCK_BPM_2010, [](Bytes& x) { spectrum_2010(x, 2, 10, 1); }));
  int len = 0, type = 0;
  EXPECT_FALSE(device_to_one_channel_2010(b.get(), 1, &len, &type, nullptr));
  EXPECT_EQ(len, 268 + 152 + 40);
  EXPECT_EQ(type, KOVA_BLOCK_1CHAN_2010);
}

TEST(ChannelCut, NamesAreCutToTheirField) {
  const std::string long_name(300, 'n');
  Result r = cut(
      2010,
      block_of(2010, long_name, KOVA_BLOCK_BPM_2010, [](Bytes& b) { spectrum_2010(b, 2, 1, 1); }),
      1);
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.block.get())), long_name.substr(0, 255));
  r = cut(2009,
          block_of(2009, "ABCDEFGHIJKLMNOPQRSTUVWXYZ.12345", KOVA_BLOCK_BPM,
                   [](Bytes& b) { fast_2009(b, 2, 1); }),
          1);
  ASSERT_FALSE(r.failed);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.block.get())),
            "ABCDEFGHIJKLMNOPQRSTUVWXYZ.1234");
}

TEST(ChannelCut, Refusals) {
  SubBlock lying(2010, "BPM.1", KOVA_BLOCK_BPM_2010);
  spectrum_2010(lying, 2, 10, 1);
  lying.patch_i32(268 + 8, 0x7FFFFFFF);  // ndata: no allocation may follow from it
  SubBlock empty_entry(2010, "GEN", KOVA_BLOCK_GENERIC_SPECT);
  generic(empty_entry, {{0x7FFFFFFF, 0}});  // ndata without groups: no samples
  SubBlock zipped(2010, "Z", KOVA_BLOCK_BPM_2010, KOVA_CHAN_ZIP_FLAG);
  zipped.u32(1).u32(100).u32(8).zeros(8);
  SubBlock eq(2010, "EQ", KOVA_BLOCK_EQDATA);
  eq.zeros(48);
  struct Case {
    const char* what;
    int gen;
    std::vector<unsigned char> block;
    int subchan;
    std::string out;
  };
  const Case cases[] = {
      {"zipped", 2010, zipped.block(), 0,
       "device_to_one_channel_2010() trying to access ZIPPED channel\n"},
      {"channel past the count", 2010,
       block_of(2010, "B", KOVA_BLOCK_BPM_2010, [](Bytes& b) { spectrum_2010(b, 2, 1, 1); }), 2,
       "device_to_one_channel() inconsistent channel number chans:2  subchan:2\n"},
      {"2009 channel past the count", 2009,
       block_of(2009, "B", KOVA_BLOCK_BPM, [](Bytes& b) { fast_2009(b, 2, 1); }), 2,
       "device_to_one_channel_2009() inconsistent channel number\n"},
      {"name/value past the list", 2010,
       block_of(2010, "NV", KOVA_BLOCK_NAME_VALUE, [](Bytes& b) { name_value(b, 2); }), 2,
       "device_to_one_channel_2010() inconsistent channel number\n"},
      {"2009 name/value past the list", 2009,
       block_of(2009, "NV", KOVA_BLOCK_NAME_VALUE, [](Bytes& b) { name_value(b, 2); }), -1,
       "device_to_one_channel_2009() inconsistent channel number\n"},
      {"framework block", 2010, eq.block(), 0,
       " device_to_one_channel_2010() Invalide data type: 23 for this routine\n"},
      {"2010 spectrum in 2009", 2009, SubBlock(2009, "B", KOVA_BLOCK_BPM_2010).block(), 1, ""},
      {"generic channel past nsubchan", 2010,
       block_of(2010, "G", KOVA_BLOCK_GENERIC_SPECT,
                [](Bytes& b) {
                  generic(b, {{1, 1}});
                }),
       1, ""},
      {"lying ndata", 2010, lying.block(), 1,
       "Corrupted data in BLOCK_BPM_2010 BPM.1\ndevice_to_one_channel_2010() failed to get "
       "pointer to data dtype: 38\n"},
      {"entry without samples", 2010, empty_entry.block(), 0,
       "device_to_one_channel_2010() failed to get pointer to data dtype: 28\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Result r = cut(c.gen, c.block, c.subchan);
    EXPECT_TRUE(r.failed);
    EXPECT_EQ(r.out, c.out);
  }
  CaptureStdout();
  EXPECT_TRUE(device_to_one_channel_2010(nullptr, 0, nullptr, nullptr, nullptr));
  EXPECT_TRUE(device_to_one_channel_2009(nullptr, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(
      GetCapturedStdout(),
      "device_to_one_channel_2010() NULL pointer\ndevice_to_one_channel_2009() NULL pointer\n");
}
