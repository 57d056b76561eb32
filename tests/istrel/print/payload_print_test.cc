// Payload printers and block printers: head lines, both sample forms, the
// length checks and the refusals.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "eqdata.h"
#include "event_util.h"
#include "generation_guard.h"
#include "print_text.h"
#include "sub_block.h"

using namespace testblock;
using printtext::captured;
using printtext::chan;

namespace {

const char kBpmLine[] =
    "BLOCK_BPM: start:1.500000\tinc:0.250000\tndata:12\tMean:(X:0.500000 Y:1.500000 )\n";

std::vector<unsigned char> bpm_2009(int extra_bytes = 0) {
  SubBlock b(2009, "BPM.3", KOVA_BLOCK_BPM);
  fast_2009(b, 2, 12);
  b.zeros(extra_bytes);
  return b.block();
}

std::string ramp_line(int from, int n) {
  std::string s;
  char buf[32];
  for (int i = 0; i < n; ++i) {
    snprintf(buf, sizeof(buf), "\t%e", static_cast<double>(from + i));
    s += buf;
  }
  return s;
}

}  // namespace

TEST(PayloadPrint, ModesAndSampleForms) {
  Exact b(bpm_2009());
  const std::string head = chan("BPM.3", "6", "BLOCK_BPM", 160) + kBpmLine;
  EXPECT_EQ(captured([&] { print_data_type_2009(b.get(), 0, 1); }), head);
  // Channel by channel, ten values to a line.
  EXPECT_EQ(captured([&] { print_data_type_2009(b.get(), 1, 1); }),
            head + "\nX:" + ramp_line(0, 10) + "\n" + ramp_line(10, 2) +
                "\nY:" + ramp_line(100, 10) + "\n" + ramp_line(110, 2) + "\n");
  // Stored values as pairs, four to a line.
  const std::string tuples = captured([&] { print_data_type_2009(b.get(), 1, 0); });
  EXPECT_EQ(tuples.substr(0, head.size()), head);
  const std::string first = "\t(0.000000e+00 1.000000e+00)\t(2.000000e+00 3.000000e+00)\t(4";
  EXPECT_EQ(tuples.substr(head.size(), first.size()), first);
  EXPECT_EQ(
      std::count(tuples.begin(), tuples.end(), '(') - std::count(head.begin(), head.end(), '('),
      12);
}

TEST(PayloadPrint, SpectrumStatistics) {
  SubBlock s(2010, "TORO.1", KOVA_BLOCK_TOROID_2010);
  spectrum_2010(s, 1, 2, 0);
  Exact b(s.block());
  std::string stats = "Chan: Q:\nMIN: not set\tMAX: not set\tMEAN:10.000000\t";
  for (int j = 3; j < 32; ++j) stats += std::string(get_stat_name_2010(j)) + ": not set\t";
  EXPECT_EQ(captured([&] { print_data_type_2010(b.get(), 1, 1); }),
            chan("TORO.1", "2A", "BLOCK_TOROID_2010", 268 + 160) +
                "BLOCK_TOROID_2010: start:2.000000\tinc:0.500000\tndata:2\tgroups:0\tgroup_inc:7."
                "000000\nStatistics:\n" +
                stats + "\n\nQ:" + ramp_line(0, 2) + "\n");
}

TEST(PayloadPrint, LengthsThatDoNotMatchPrintNoSamples) {
  Exact fast(bpm_2009(4));
  EXPECT_EQ(captured([&] { print_data_type_2009(fast.get(), 1, 1); }),
            chan("BPM.3", "6", "BLOCK_BPM", 164) + kBpmLine +
                "Corrupted data in BLOCK_BPM BPM.3 (2 != 2.076923)\n");
  SubBlock nv(2010, "NV", KOVA_BLOCK_NAME_VALUE);
  name_value(nv, 2);
  nv.patch_i32(268 + 84, 3);  // three entries claimed, two present
  Exact list(nv.block());
  EXPECT_EQ(captured([&] { print_data_type_2010(list.get(), 1, 1); }),
            chan("NV", "16", "BLOCK_NAME_VALUE", 268 + 88 + 168) +
                "Corrupted data in BLOCK_NAME_VALUE NV (length 524)\n");
  SubBlock env(2010, "ENV", KOVA_ENV_BLOCK_2010);
  env.zeros(30);
  Exact part(env.block());
  EXPECT_EQ(captured([&] { print_data_type_2010(part.get(), 0, 0); }),
            chan("ENV", "23", "ENV_BLOCK_2010", 298) +
                "Corrupted data in ENV_BLOCK_2010 ENV (length 298)\n");
}

TEST(PayloadPrint, Refusals) {
  SubBlock z(2010, "Z", KOVA_BLOCK_BPM_2010, KOVA_CHAN_ZIP_FLAG);
  z.u32(1).u32(100).u32(8).zeros(8);
  Exact zipped(z.block());
  const std::string out = captured([&] { print_data_type_2010(zipped.get(), 1, 1); });
  EXPECT_NE(out.find("ZRatio"), std::string::npos);
  const std::string refusal = "print_data_type_2010() trying to access ZIPPED channel\n";
  EXPECT_EQ(out.substr(out.size() - refusal.size()), refusal);
  struct Case {
    int gen, dtype;
  };
  for (const Case& c :
       {Case{2010, 3}, Case{2010, 12}, Case{2010, 0x10000 | 58}, Case{2009, 33}, Case{2009, 0}}) {
    SCOPED_TRACE(c.dtype);
    Exact b(SubBlock(c.gen, "X", c.dtype).block());
    const std::string text = captured([&] {
      if (c.gen == 2009)
        print_data_type_2009(b.get(), 1, 1);
      else
        print_data_type_2010(b.get(), 1, 1);
    });
    const std::string tail = "  Unknown data type: " + std::to_string(c.dtype) + "\n";
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  }
  EXPECT_EQ(captured([] { print_data_type_2010(nullptr, 1, 1); }), "");
}

TEST(PayloadPrint, FrameworkBlocks) {
  EqData eq;
  eq.set(42);
  std::vector<unsigned char> block(268 + 256, 0);
  auto* sb = reinterpret_cast<kova_serv_block_subhead_2010*>(block.data());
  const int len = kova_eqdata_to_daq(&eq, sb, 256);
  ASSERT_GT(len, 0);
  strcpy(sb->chname, "EQ.1");
  sb->ldata = 268 + len;
  block.resize(static_cast<size_t>(sb->ldata));
  Exact e(block);
  EXPECT_EQ(captured([&] { print_data_type_2010(e.get(), 1, 1); }),
            chan("EQ.1", "17", "BLOCK_EQDATA", 268 + len) +
                "EqData: EQ.1 type:DATA_INT length:1\nvalue: 42\n");
  const int32_t unknown = 31;  // DATA_XYZS: holds no value
  memcpy(e.get() + 268, &unknown, 4);
  EXPECT_EQ(captured([&] { print_data_type_2010(e.get(), 0, 0); }),
            chan("EQ.1", "17", "BLOCK_EQDATA", 268 + len) +
                "print_data_type_2010(): kova_daq_to_eqdata() failed error:-4\n");
}

TEST(BlockPrint, SlowListsFollowTheGeneration) {
  GenerationGuard guard;
  Bytes env;
  env_entries(env, {4}, 1.0f);
  Bytes upd10, upd09, dict10;
  upd_entries(upd10, 2010, {"P.A"}, 2.0f);
  upd_entries(upd09, 2009, {"P.B"}, 3.0f);
  dict_entries(dict10, 2010, {"VAC.1"});
  std::vector<unsigned char> e = env.bytes(), u10 = upd10.bytes(), u09 = upd09.bytes(),
                             d10 = dict10.bytes();
  set_data_format_2010(true);
  EXPECT_EQ(captured([&] { print_env_block(e.data(), 1); }),
            "ENV_BLOCK_2010: indx:4\tstatus:0\ttime:2000:4\tvalue:5.000000e+00\n");
  EXPECT_EQ(captured([&] { print_upd_block(u10.data(), 1); }),
            "UPD_BLOCK_2010: name:P.A\tstatus:0\ttime:1000:5\tvalue:2.000000e+00\n");
  EXPECT_EQ(captured([&] { print_env_dict_block(d10.data(), 1); }),
            "ENV_DICT_BLOCK_2010:index:0\tname:VAC.1\tABS:5.000000e-01\tREL:2.500000e-01\n");
  GenerationGuard::use_2009();
  EXPECT_EQ(captured([&] { print_upd_block(u09.data(), 1); }),
            "UPD_BLOCK: name:P.B\tstatus:0\ttime:1000:5\tvalue:3.000000e+00\n");
  Bytes nv;
  name_value(nv, 2);
  std::vector<unsigned char> n = nv.bytes();
  EXPECT_EQ(captured([&] { print_name_val(reinterpret_cast<kova_name_value_block*>(n.data())); }),
            "BLOCK_NAME_VALUE:id:77\tcomment:settings\tndata:2\n\tindex:0\tname:NV0\tvalue:2."
            "500000e-01\n\tindex:1\tname:NV1\tvalue:1.250000e+00\n");
}

TEST(BlockPrint, ImageAndRoiHeads) {
  kova_image_frame_head im{};
  im.w = 640 | (10 << 16);
  im.h = 480 | (20 << 16);
  im.bpp = 2 | (3 << 4) | (4 << 18);
  im.compr = 1;
  im.frame = 5;
  im.event_nm = 77;
  im.length = 1024;
  EXPECT_EQ(captured([&] { print_image_header(&im); }),
            "BLOCK_IMAGE: width:640(xstart:10)\theight:480(ystart:20)\tbpp:2(xbin:4 ybin:3)\t"
            "compr:1\tframe:5\tev#:77\tlen:1024\n");
  kova_image_ext_frame_head ext{};
  ext.width = 640;
  ext.aoi_width = 600;
  ext.bpp = 2;
  ext.hbin = 1;
  ext.vbin = 2;
  ext.ebitpp = 12;
  ext.event = 9;
  ext.image_flags = 0x10;
  ext.ispare4 = 3;
  EXPECT_EQ(captured([&] { print_image_ext_header(&ext); }),
            "BLOCK_IMAGE_EXT: width:640(xstart:0, aoi_width:600)\theight:0(ystart:0 "
            "aoi_height:0)\tbpp:2(xbin:1 ybin:2 ebit:12)\ts_format:0\ti_format:0\tframe:0\tev#:"
            "9\tlen:0\nBLOCK_IMAGE_EXT scale_x:0.000000\tscale_y:0.000000\trotation:0.000000\t"
            "flags:0x10\tfspares:(0.000000 0.000000 0.000000) \tispares:(0 0 3)\n");
  Bytes r;
  roi(r, {3, 4});
  std::vector<unsigned char> v = r.bytes();
  auto* roi2 = reinterpret_cast<kova_image_roi2*>(v.data());
  std::string prm;
  for (int i = 0; i < 8; ++i)
    prm += "prm[" + std::to_string(i) + "]: " + std::to_string(i) + ".000000\t";
  EXPECT_EQ(captured([&] { print_roi_params(&roi2->param); }),
            "ROI parameters:\nImage: 640(10)x480(20)_2(4x3)\t FLAG:1\t ROI:XO_YO_HS_VS_ANG_CW_CS "
            "5_6_7_8_0.500000_9_10\n" +
                prm + "\n");
  const std::string channel = captured([&] { print_roi_channel(&roi2->chan[1]); });
  const std::string stats =
      "ROI channel statistics:\nMean: 1001.000000\tMax:1.000000\tCofm:2.000000\tSig:3.000000"
      "\tPOLYV: I_F_F_F 4_5.000000_6.000000_7.000000\tPOLYS: I_F_F_F 8_9.000000_10.000000_11."
      "000000\nprm[0]: 20.000000\t";
  EXPECT_EQ(channel.substr(0, stats.size()), stats);
  EXPECT_EQ(captured([&] { print_roi_stats2(roi2); }),
            "Spect1 prm: start:0.000000 inc:0.500000 ndata:3\nSpect2 prm: start:1.000000 "
            "inc:0.500000 ndata:4\n");
}
