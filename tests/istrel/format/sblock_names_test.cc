#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "generation_guard.h"

namespace {

// A sub-block head followed by `payload_bytes` of zeroed payload.
struct Block {
  explicit Block(int dtype, size_t payload_bytes = 64)
      : bytes(sizeof(kova_serv_block_subhead_2010) + payload_bytes, 0) {
    head()->dtype = dtype;
    head()->ldata = static_cast<int>(bytes.size());
  }
  kova_serv_block_subhead_2010* head() {
    return reinterpret_cast<kova_serv_block_subhead_2010*>(bytes.data());
  }
  template <typename T>
  void put(size_t payload_offset, T value) {
    memcpy(bytes.data() + sizeof(kova_serv_block_subhead_2010) + payload_offset, &value,
           sizeof(value));
  }
  std::vector<unsigned char> bytes;
};

}  // namespace

TEST(SubBlockTypes, NamesAndUpperHalfOfTheTypeWord) {
  EXPECT_STREQ(block_name_itoa(41), "BLOCK_1CHAN_2010");
  EXPECT_STREQ(block_name_itoa(0x002A0029), "BLOCK_1CHAN_2010");
  EXPECT_STREQ(block_name_itoa(28), "BLOCK_GENERIC_SPECT_ARRAY");
  EXPECT_STREQ(block_name_itoa(30), "BLOCK_TYPE_30");
  EXPECT_STREQ(block_name_itoa(57), "BLOCK_TYPE_57_2010");
  EXPECT_STREQ(block_name_itoa(0), "UNKNOWN");
  EXPECT_STREQ(block_name_itoa(63), "UNKNOWN");
  EXPECT_STREQ(block_name_itoa(-1), "UNKNOWN");  // 0xFFFF after masking
}

TEST(SubBlockTypes, ChannelCounts) {
  EXPECT_EQ(get_channel_number(0x10026, nullptr), 2);
  EXPECT_EQ(get_channel_number(63, nullptr), -2);
  EXPECT_EQ(get_channel_number(0, nullptr), -2);
  EXPECT_EQ(get_channel_number(12, nullptr), -1);
  EXPECT_EQ(get_channel_number(31, nullptr), -1);
  EXPECT_EQ(get_channel_number(53, nullptr), 8);
  EXPECT_EQ(get_channel_number(62, nullptr), 7);
  EXPECT_EQ(get_channel_number(28, nullptr), 0);  // count lives in the block
  EXPECT_EQ(get_channel_number(23, nullptr), 0);
}

TEST(SubBlockTypes, GenericSpectrumCountComesFromTheBlock) {
  Block b(28);
  b.put<uint32_t>(0, 3);
  EXPECT_EQ(get_channel_number(28, b.head()), 3);
  EXPECT_EQ(find_number_of_channels(b.head()), 3);
  b.head()->error = KOVA_FE_NO_DATA;
  EXPECT_EQ(find_number_of_channels(b.head()), 0);
}

TEST(SubBlockTypes, GenericSpectrumTooShortToHoldItsCount) {
  Block b(28, 2);
  b.put<uint16_t>(0, 7);
  EXPECT_EQ(find_number_of_channels(b.head()), 0);
}

TEST(SubBlockTypes, FrameworkBlockCount) {
  Block arr(23, 64);
  arr.put<int32_t>(0, 102);  // array of XY pairs
  arr.put<int32_t>(44, 5);
  EXPECT_EQ(find_number_of_channels(arr.head()), 5);

  Block bytes(23, 128);
  bytes.put<int32_t>(0, 106);  // byte array: count in its header
  bytes.put<int32_t>(44 + 24, 17);
  EXPECT_EQ(find_number_of_channels(bytes.head()), 17);

  Block scalar(23, 8);
  scalar.put<int32_t>(0, 1);  // an integer: one channel
  EXPECT_EQ(find_number_of_channels(scalar.head()), 1);

  arr.head()->error = 1;
  EXPECT_EQ(find_number_of_channels(arr.head()), 0);
}

TEST(SubBlockTypes, OtherTypesCountFromTheTable) {
  Block b(0x10026);
  EXPECT_EQ(find_number_of_channels(b.head()), 2);
  EXPECT_EQ(find_number_of_channels(nullptr), -2);
}

TEST(SubBlockTypes, BranchNamesAndClasses) {
  EXPECT_STREQ(get_branch_name(0), "EventHeader");
  EXPECT_STREQ(get_branch_name(63), "ServerBlockHeader");
  EXPECT_STREQ(get_branch_name(12), "UNKNOWN");
  EXPECT_STREQ(get_branch_name(23), "EqData");
  EXPECT_STREQ(get_branch_name(62), "5ChannelData");
  EXPECT_STREQ(get_branch_name(64), "UNKNOWN");
  EXPECT_STREQ(get_branch_name(30), "UNKNOWN");
  EXPECT_STREQ(get_branch_class(0), "ZELEventHeader");
  EXPECT_STREQ(get_branch_class(63), "ZELSvrBlockHeaderArray");
  EXPECT_STREQ(get_branch_class(13), "ZELImageArray");
  EXPECT_STREQ(get_branch_class(44), "UNKNOWN");
}

TEST(SubBlockTypes, ChannelNamesUnitsDescriptions) {
  EXPECT_STREQ(get_chan_name(38, 1), "Y");
  EXPECT_STREQ(get_chan_name(38, 2), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(23, 0), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(28, 0), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(12, 0), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(38, -1), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(0, 0), "UNKNOWN");
  EXPECT_STREQ(get_chan_name(0x10026, 0), "X");
  EXPECT_STREQ(get_chan_units(38, 0), "mm");
  EXPECT_STREQ(get_chan_units(49, 2), "");
  EXPECT_STREQ(get_chan_descr(49, 7), "Undefined channel 15 at %s");
  EXPECT_STREQ(get_chan_descr(17, 1), "F2  at %s");
  EXPECT_STREQ(get_chan_name(53, 7), "Float7");
  EXPECT_STREQ(get_chan_name(53, 8), "UNKNOWN");
}

TEST(SubBlockTypes, StructureCategories) {
  EXPECT_EQ(get_data_structure_type(1), KOVA_DATA_SLOW);
  EXPECT_EQ(get_data_structure_type(37), 103);
  EXPECT_EQ(get_data_structure_type(6), 1013);
  EXPECT_EQ(get_data_structure_type(26), 1013);
  EXPECT_EQ(get_data_structure_type(28), 1015);
  EXPECT_EQ(get_data_structure_type(0x10026), 1015);
  EXPECT_EQ(get_data_structure_type(13), 22);
  EXPECT_EQ(get_data_structure_type(27), 22);
  EXPECT_EQ(get_data_structure_type(22), 16);
  EXPECT_EQ(get_data_structure_type(23), 0);
  for (int t : {0, 12, 29, 32, 44, 54, 59, 63, 100}) EXPECT_EQ(get_data_structure_type(t), -1) << t;
}

TEST(SubBlockTypes, SpectrumDescriptionCode) {
  GenerationGuard guard;
  Block b(28);
  b.put<uint32_t>(0, 1);
  b.put<uint32_t>(4, 0xC0DE);
  EXPECT_EQ(get_spect_code_description_2010(b.head()), 0xC0DE);
  EXPECT_EQ(get_spect_code_description_2010(nullptr), -1);
  Block other(41);
  EXPECT_EQ(get_spect_code_description_2010(other.head()), -1);
  set_data_format_2024(true);
  EXPECT_EQ(get_spect_code_description_2010(b.head()), 0xC0DE);
  GenerationGuard::use_2009();
  EXPECT_EQ(get_spect_code_description_2010(b.head()), -1);
}

TEST(DefaultDataType, ByDeviceNameInBothGenerations) {
  GenerationGuard guard;
  char bpm[] = "BPM.3", cav[] = "CAVITY", img_ext[] = "IMAGE_EXT.CAM1", img[] = "IMAGE.CAM2";
  char ml[] = "MLX", gmd[] = "GMD.ADC.1", pg[] = "BL3.ADC", none[] = "XYZ", wss[] = "WSS.STR_RES.A";
  set_data_format_2010(true);
  EXPECT_EQ(find_default_data_type(img_ext, nullptr), 27);
  EXPECT_EQ(find_default_data_type(bpm, cav), 40);
  EXPECT_EQ(find_default_data_type(bpm, nullptr), 6);
  EXPECT_EQ(find_default_data_type(img, nullptr), 0);  // no plain image in the 2010 list
  EXPECT_EQ(find_default_data_type(ml, nullptr), 41);
  EXPECT_EQ(find_default_data_type(gmd, nullptr), 53);
  EXPECT_EQ(find_default_data_type(pg, nullptr), 41);
  EXPECT_EQ(find_default_data_type(wss, nullptr), 23);
  EXPECT_EQ(find_default_data_type(none, nullptr), 0);
  EXPECT_EQ(find_default_data_type(nullptr, cav), 0);

  set_data_format_2024(true);
  EXPECT_EQ(find_default_data_type(bpm, cav), 40);

  GenerationGuard::use_2009();
  EXPECT_EQ(find_default_data_type(img_ext, nullptr), 27);
  EXPECT_EQ(find_default_data_type(bpm, cav), 8);
  EXPECT_EQ(find_default_data_type(bpm, nullptr), 6);
  EXPECT_EQ(find_default_data_type(img, nullptr), 13);
  EXPECT_EQ(find_default_data_type(gmd, nullptr), 17);
  EXPECT_EQ(find_default_data_type(pg, nullptr), 9);
}
