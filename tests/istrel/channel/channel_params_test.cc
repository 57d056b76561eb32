// Channel parameters, the data pointer and the image accessors, in both
// generations, with their refusals.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "generation_guard.h"
#include "sub_block.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using namespace testblock;

namespace {

std::vector<unsigned char> spectrum_block(int type, int channels, int ndata, int groups) {
  SubBlock b(2010, "BPM.1", type);
  spectrum_2010(b, channels, ndata, groups);
  return b.block();
}

std::vector<unsigned char> fast_block(int gen, int type, int channels, int ndata) {
  SubBlock b(gen, "BPM.3", type);
  fast_2009(b, channels, ndata);
  return b.block();
}

std::vector<unsigned char> roi_block(int gen, int type, const std::vector<int>& nd) {
  SubBlock b(gen, "CAM.ROI", type);
  roi(b, nd);
  return b.block();
}

std::vector<unsigned char> generic_block(const std::vector<std::pair<int, int>>& e) {
  SubBlock b(2010, "GEN", KOVA_BLOCK_GENERIC_SPECT);
  generic(b, e);
  return b.block();
}

std::vector<unsigned char> nv_block(int gen, int n) {
  SubBlock b(gen, "NV", KOVA_BLOCK_NAME_VALUE);
  name_value(b, n);
  return b.block();
}

std::vector<unsigned char> upd_block(int gen, int type, const std::vector<std::string>& names) {
  SubBlock b(gen, "UPD", type);
  upd_entries(b, gen, names, 3.0f);
  return b.block();
}

std::vector<unsigned char> zipped_block(int type) {
  SubBlock b(2010, "Z", type, KOVA_CHAN_ZIP_FLAG);
  b.u32(1).u32(100).u32(8).zeros(8);
  return b.block();
}

template <typename F>
std::string captured(F f) {
  CaptureStdout();
  f();
  return GetCapturedStdout();
}

}  // namespace

TEST(ChannelParams, SpectrumAxisOfEachFamily) {
  struct Case {
    const char* what;
    std::vector<unsigned char> block;
    int gen;
    int subchan;
    float start, inc;
    int ndata, groups;
    long mean_off;  // from P; -1 for null
    long stat_off;  // from P; -1 for null
  };
  const Case cases[] = {
      {"2009 BPM", fast_block(2009, KOVA_BLOCK_BPM, 2, 50), 2009, 1, 1.5f, 0.25f, 50, -7, 8, -1},
      {"2009 BPM in a 2010 head", fast_block(2010, KOVA_BLOCK_BPM, 2, 50), 2010, 1, 1.5f, 0.25f, 50,
       1, 8, -1},
      {"2010 spectrum", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 100, 0), 2010, 1, 2.0f, 0.5f, 100, 0,
       -1, 20 + 132},
      {"name/value", nv_block(2010, 5), 2010, 1, 0.0f, 1.0f, 5, -7, -1, -1},
      {"three ROIs", roi_block(2010, KOVA_BLOCK_IMG_ROI3, {10, 20, 30}), 2010, 2, 2.0f, 0.5f, 30,
       -7, 76 + 160, -1},
      {"2009 two ROIs", roi_block(2009, KOVA_BLOCK_IMG_ROI2, {10, 20}), 2009, 1, 1.0f, 0.5f, 20, -7,
       76 + 80, -1},
      {"generic array", generic_block({{3, 2}, {4, 1}}), 2010, 1, 1.0f, 1.0f, 4, 1, -1,
       8 + 152 + 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exact b(c.block);
    unsigned char* p = b.get() + (c.gen == 2009 ? 44 : 268);
    float start = -1, inc = -1, ginc = -1;
    int ndata = -1, groups = -7;
    void* mean = &ndata;
    kova_spect_statistics_2010* stat = reinterpret_cast<kova_spect_statistics_2010*>(&ndata);
    const bool failed =
        c.gen == 2009
            ? get_spect_params_for_data_type_2009(b.get(), &start, &inc, &mean, &ndata, c.subchan)
            : get_spect_params_for_data_type_2010(b.get(), &start, &inc, &mean, &ndata, &groups,
                                                  &ginc, &stat, c.subchan);
    ASSERT_FALSE(failed);
    EXPECT_EQ(start, c.start);
    EXPECT_EQ(inc, c.inc);
    EXPECT_EQ(ndata, c.ndata);
    EXPECT_EQ(groups, c.groups);
    EXPECT_EQ(mean, c.mean_off < 0 ? nullptr : p + c.mean_off);
    if (c.gen == 2010) {
      EXPECT_EQ(static_cast<void*>(stat), c.stat_off < 0 ? nullptr : p + c.stat_off);
    }
  }
}

TEST(ChannelParams, RefusalsAndCorruptLengths) {
  std::vector<unsigned char> lying = spectrum_block(KOVA_BLOCK_BPM_2010, 2, 10, 1);
  lying[268 + 8] = 11;  // ndata 11: the samples would run past ldata
  std::vector<unsigned char> short_head = spectrum_block(KOVA_BLOCK_BPM_2010, 2, 0, 1);
  short_head.resize(268 + 100);
  const int32_t short_len = 268 + 100;
  memcpy(short_head.data() + 264, &short_len, 4);
  SubBlock huge(2010, "GEN", KOVA_BLOCK_GENERIC_SPECT);
  generic(huge, {{3, 2}});
  huge.patch_i32(268 + 8 + 132 + 8, 0x40000000);  // entry ndata far past the block
  std::vector<unsigned char> roi_bad = roi_block(2010, KOVA_BLOCK_IMG_ROI2, {10, 20});
  int32_t forty = 40;
  memcpy(roi_bad.data() + 268 + 76 + 160 + 12 + 8, &forty, 4);
  std::vector<unsigned char> roi_bad_2009 = roi_block(2009, KOVA_BLOCK_IMG_ROI2, {10, 20});
  memcpy(roi_bad_2009.data() + 44 + 76 + 160 + 12 + 8, &forty, 4);
  std::vector<unsigned char> roi_negative = roi_block(2010, KOVA_BLOCK_IMG_ROI2, {10, 20});
  int32_t minus = -10;
  memcpy(roi_negative.data() + 268 + 76 + 160 + 8, &minus, 4);
  struct Case {
    const char* what;
    std::vector<unsigned char> block;
    int gen, subchan;
    std::string out;
  };
  const Case cases[] = {
      {"negative channel", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 4, 1), 2010, -1, ""},
      {"channel past the type's count", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 4, 1), 2010, 2, ""},
      {"generic channel past nsubchan", generic_block({{3, 2}}), 2010, 1, ""},
      {"zipped", zipped_block(KOVA_BLOCK_BPM_2010), 2010, 0,
       "get_spect_params_for_data_type_2010() trying to access ZIPPED channel\n"},
      {"update block", upd_block(2010, KOVA_UPD_BLOCK_2010, {"A"}), 2010, 0, ""},
      {"image", SubBlock(2010, "IMG", KOVA_BLOCK_IMAGE).block(), 2010, 0, ""},
      {"ndata past ldata", lying, 2010, 1, "Corrupted data in BLOCK_BPM_2010 BPM.1\n"},
      {"statistics past ldata", short_head, 2010, 0, "Corrupted data in BLOCK_BPM_2010 BPM.1\n"},
      {"generic entry past ldata", huge.block(), 2010, 0,
       "Corrupted data in BLOCK_GENERIC_SPECT_ARRAY GEN\n"},
      {"ROI counts do not match", roi_bad, 2010, 0,
       "Corrupted data in BLOCK_IMG_ROI2 CAM.ROI   (len:120 ndata1:10 ndata2:40  chans:2 subhead "
       "sz:268 struct no data sz: 260\n"},
      {"2009 ROI counts do not match", roi_bad_2009, 2009, 0,
       "Corrupted data in BLOCK_IMG_ROI2 CAM.ROI   (len:120 ndata1:10 ndata2:40  chans:2\n"},
      {"negative ROI count", roi_negative, 2010, 1,
       "Corrupted data in BLOCK_IMG_ROI2 CAM.ROI   (len:120 ndata1:-10 ndata2:20  chans:2 subhead "
       "sz:268 struct no data sz: 260\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exact b(c.block);
    float start = 0;
    int ndata = 0;
    bool failed = false;
    std::string out = captured([&] {
      failed = c.gen == 2009
                   ? get_spect_params_for_data_type_2009(b.get(), &start, nullptr, nullptr, &ndata,
                                                         c.subchan)
                   : get_spect_params_for_data_type_2010(b.get(), &start, nullptr, nullptr, &ndata,
                                                         nullptr, nullptr, nullptr, c.subchan);
    });
    EXPECT_TRUE(failed);
    EXPECT_EQ(out, c.out);
  }
  EXPECT_TRUE(get_spect_params_for_data_type_2010(nullptr, nullptr, nullptr, nullptr, nullptr,
                                                  nullptr, nullptr, nullptr, 0));
}

TEST(ChannelParams, RoiWithoutDataSucceedsWithNothingSet) {
  SubBlock b(2010, "CAM.ROI", KOVA_BLOCK_IMG_ROI1);
  roi(b, {5});
  std::vector<unsigned char> v = b.block();
  v.resize(268 + 168);  // the samples cut off: no data at all
  int32_t ldata = static_cast<int32_t>(v.size());
  memcpy(v.data() + 264, &ldata, 4);
  Exact e(v);
  int ndata = -3;
  EXPECT_FALSE(get_spect_params_for_data_type_2010(e.get(), nullptr, nullptr, nullptr, &ndata,
                                                   nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(ndata, -3);
}

TEST(ChannelPointer, FirstSampleOfEachFamily) {
  struct Case {
    const char* what;
    std::vector<unsigned char> block;
    int gen, subchan;
    long off;     // from P
    float first;  // the value there
  };
  const Case cases[] = {
      {"2010 spectrum, groups 0", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 100, 0), 2010, 1,
       284 + 400, 100.0f},
      {"2010 spectrum, 3 groups", spectrum_block(KOVA_BLOCK_4CHAN_2010, 4, 5, 3), 2010, 2,
       548 + 2 * 60, 200.0f},
      {"2009 fast block", fast_block(2009, KOVA_BLOCK_BPM, 2, 50), 2009, 1, 20 + 200, 100.0f},
      {"second of two ROIs", roi_block(2010, KOVA_BLOCK_IMG_ROI2, {10, 20}), 2010, 1, 260 + 40,
       100.0f},
      {"third of three ROIs", roi_block(2009, KOVA_BLOCK_IMG_ROI3, {10, 20, 30}), 2009, 2,
       352 + 120, 200.0f},
      {"generic entry 1", generic_block({{3, 2}, {4, 1}}), 2010, 1, 8 + 152 + 24 + 152, 100.0f},
      {"name/value entry 1", nv_block(2010, 5), 2010, 1, 88 + 84 + 80, 1.25f},
      {"update block: the payload", upd_block(2010, KOVA_UPD_BLOCK_2010, {"A"}), 2010, 0, 0, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exact b(c.block);
    float* p = c.gen == 2009 ? get_pointer_to_data_2009(b.get(), c.subchan)
                             : get_pointer_to_data_2010(b.get(), c.subchan);
    const unsigned char* payload = b.get() + (c.gen == 2009 ? 44 : 268);
    ASSERT_EQ(reinterpret_cast<unsigned char*>(p), payload + c.off);
    if (c.off != 0) {
      EXPECT_EQ(*p, c.first);
    }
  }
}

TEST(ChannelPointer, Refusals) {
  std::vector<unsigned char> lying = spectrum_block(KOVA_BLOCK_BPM_2010, 2, 10, 1);
  lying[268 + 12] = 2;  // two groups: twice the samples the block holds
  struct Case {
    const char* what;
    std::vector<unsigned char> block;
    int gen, subchan;
    std::string out;
  };
  const Case cases[] = {
      {"zipped", zipped_block(KOVA_BLOCK_BPM_2010), 2010, 0,
       "get_pointer_to_data_2010() trying to access ZIPPED channel\n"},
      {"channel past the type's count", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 4, 1), 2010, 2,
       "get_pointer_to_data_2010() inconsistent channel number\n"},
      {"2009 channel past the count", fast_block(2009, KOVA_BLOCK_BPM_Z, 4, 3), 2009, 4,
       "get_pointer_to_data_2009() inconsistent channel number\n"},
      {"negative channel", spectrum_block(KOVA_BLOCK_BPM_2010, 2, 4, 1), 2010, -1, ""},
      {"generic channel past nsubchan", generic_block({{3, 2}, {1, 1}}), 2010, 2,
       "get_pointer_to_data_2010() inconsistent channel number\n"},
      {"name/value past the list", nv_block(2010, 1), 2010, 1,
       "get_pointer_to_data_2010() inconsistent channel number\n"},
      {"groups past ldata", lying, 2010, 0, "Corrupted data in BLOCK_BPM_2010 BPM.1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Exact b(c.block);
    float* p = reinterpret_cast<float*>(1);
    std::string out = captured([&] {
      p = c.gen == 2009 ? get_pointer_to_data_2009(b.get(), c.subchan)
                        : get_pointer_to_data_2010(b.get(), c.subchan);
    });
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(out, c.out);
  }
  EXPECT_EQ(get_pointer_to_data_2010(nullptr, 0), nullptr);
}

TEST(ChannelPointer, DispatcherFollowsTheGeneration) {
  GenerationGuard guard;
  Exact b(fast_block(2009, KOVA_BLOCK_BPM, 2, 50));
  GenerationGuard::use_2009();
  EXPECT_EQ(reinterpret_cast<unsigned char*>(get_pointer_to_data(b.get(), 1)), b.get() + 44 + 220);
  EXPECT_TRUE(if_ndata_the_same(b.get()));
  Exact s(spectrum_block(KOVA_BLOCK_BPM_2010, 2, 100, 0));
  set_data_format_2024(true);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(get_pointer_to_data(s.get(), 1)), s.get() + 268 + 684);
}

TEST(ChannelPointer, SameSampleCount) {
  struct Case {
    int type;
    bool same_2009, same_2010;
  };
  const Case cases[] = {
      {KOVA_BLOCK_BPM_2010, true, true},   {KOVA_BLOCK_IMG_ROI1, false, false},
      {KOVA_BLOCK_IMG_ROI3, false, false}, {KOVA_BLOCK_GENERIC_SPECT, true, false},
      {KOVA_UPD_BLOCK_2010, true, true},   {0x10000 | KOVA_BLOCK_IMG_ROI2, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    Exact a(SubBlock(2009, "X", c.type).block());
    Exact b(SubBlock(2010, "X", c.type).block());
    EXPECT_EQ(if_ndata_the_same_2009(a.get()), c.same_2009);
    EXPECT_EQ(if_ndata_the_same_2010(b.get()), c.same_2010);
  }
  EXPECT_FALSE(if_ndata_the_same_2010(nullptr));
  EXPECT_FALSE(if_ndata_the_same_2009(nullptr));
}

TEST(ChannelImages, GeometryAndPixels) {
  SubBlock old(2009, "CAM", KOVA_BLOCK_IMAGE);
  old.i32(4 | (9 << 16)).i32(3 | (8 << 16)).i32(2 | (1 << 4) | (1 << 18)).i32(0).u32(5).i32(0);
  old.u64(0x100000007ull).i32(24).i32(0).zeros(24);
  Exact a(old.block());
  int x = 0, y = 0, bpp = 0, ev = 0;
  u_char* data = nullptr;
  ASSERT_FALSE(get_image_params_2009(a.get(), &x, &y, &bpp, &ev, &data));
  EXPECT_EQ(x, 8);
  EXPECT_EQ(y, 3);
  EXPECT_EQ(bpp, 2);
  EXPECT_EQ(ev, 7);
  EXPECT_EQ(data, a.get() + 44 + 40);

  for (int type : {KOVA_BLOCK_IMAGE, KOVA_BLOCK_IMAGE_EXT}) {
    SCOPED_TRACE(type);
    SubBlock ext(2010, "CAM", type);
    ext.i32(640).i32(480).i32(4).i32(3).i32(0).i32(0).i32(2).i32(12).zeros(16).u32(1).u32(99);
    ext.zeros(40).i32(24).zeros(24);
    Exact b(ext.block());
    if (type == KOVA_BLOCK_IMAGE) {
      ASSERT_FALSE(get_image_params_2010(b.get(), &x, &y, &bpp, &ev, &data));
      EXPECT_EQ(x, 4);
      EXPECT_EQ(y, 3);
      EXPECT_EQ(bpp, 2);
      EXPECT_TRUE(get_image_ext_params_2010(b.get(), nullptr, &ev, &data));
    } else {
      kova_image_ext_frame_head hd;
      ASSERT_FALSE(get_image_ext_params_2010(b.get(), &hd, &ev, &data));
      EXPECT_EQ(hd.width, 640);
      EXPECT_EQ(hd.length, 24);
      EXPECT_TRUE(get_image_params_2010(b.get(), &x, &y, &bpp, &ev, &data));
    }
    EXPECT_EQ(ev, 99);
    EXPECT_EQ(data, b.get() + 268 + 100);
  }
}

TEST(ChannelImages, Refusals) {
  SubBlock ext(2010, "CAM", KOVA_BLOCK_IMAGE_EXT);
  ext.zeros(96).i32(25).zeros(24);  // one pixel byte more than the block holds
  Exact lying(ext.block());
  Exact zipped(zipped_block(KOVA_BLOCK_IMAGE_EXT));
  Exact short_block(SubBlock(2009, "CAM", KOVA_BLOCK_IMAGE).block());
  EXPECT_EQ(captured([&] {
              EXPECT_TRUE(get_image_ext_params_2010(lying.get(), nullptr, nullptr, nullptr));
            }),
            "Corrupted data in BLOCK_IMAGE_EXT CAM\n");
  EXPECT_EQ(captured([&] {
              EXPECT_TRUE(get_image_ext_params_2010(zipped.get(), nullptr, nullptr, nullptr));
            }),
            "get_image_ext_params_2010() trying to access ZIPPED channel\n");
  EXPECT_EQ(captured([&] {
              EXPECT_TRUE(get_image_params_2009(short_block.get(), nullptr, nullptr, nullptr,
                                                nullptr, nullptr));
            }),
            "Corrupted data in BLOCK_IMAGE CAM\n");
  EXPECT_TRUE(get_image_params_2010(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}
