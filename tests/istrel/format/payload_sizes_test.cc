#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(PayloadSizes, FixedPartOfEveryType) {
  struct Case {
    int type;
    int size;
  };
  const Case cases[] = {
      {1, 96},    {4, 96},    {5, 96},    {2, 88},   {22, 88},  {3, 20},   {6, 20},   {11, 20},
      {14, 20},   {21, 20},   {35, 20},   {7, 28},   {16, 28},  {8, 24},   {9, 16},   {10, 16},
      {13, 40},   {17, 44},   {18, 44},   {23, 264}, {34, 264}, {24, 168}, {25, 260}, {26, 352},
      {27, 100},  {33, 272},  {36, 272},  {37, 272}, {38, 284}, {43, 284}, {45, 284}, {46, 284},
      {51, 284},  {39, 548},  {47, 548},  {48, 548}, {40, 416}, {60, 416}, {41, 152}, {42, 152},
      {49, 1076}, {50, 1076}, {53, 1076}, {52, 812}, {61, 680}, {62, 944}};
  for (const Case& c : cases) EXPECT_EQ(get_sizeof_struct_no_data(c.type, 0), c.size) << c.type;
}

TEST(PayloadSizes, UpperHalfOfTheTypeWordIsIgnored) {
  EXPECT_EQ(get_sizeof_struct_no_data(0x10026, 0), 284);  // type 38
  EXPECT_EQ(get_sizeof_struct_no_data(0x1001A, 0), 352);  // type 26
  EXPECT_EQ(get_sizeof_struct_data(0x10026, 100, 0, 0, nullptr), 1084);
}

TEST(PayloadSizes, GenericSpectrumFixedPart) {
  EXPECT_EQ(get_sizeof_struct_no_data(28, 0), 0);
  EXPECT_EQ(get_sizeof_struct_no_data(28, -4), 0);
  EXPECT_EQ(get_sizeof_struct_no_data(28, 1), 160);
  EXPECT_EQ(get_sizeof_struct_no_data(28, 3), 464);
}

TEST(PayloadSizes, UnknownTypesSayWhich) {
  for (int t : {0, 12, 29, 32, 44, 54, 59, 63, 0x1000C}) {
    CaptureStdout();
    EXPECT_EQ(get_sizeof_struct_no_data(t, 0), -1);
    EXPECT_EQ(GetCapturedStdout(), " Unknown data type: " + std::to_string(t & 0xFFFF) + "\n");
    CaptureStdout();
    EXPECT_EQ(get_sizeof_struct_data(t, 1, 0, 0, nullptr), -1);
    EXPECT_EQ(GetCapturedStdout(),
              "HErrRE Unknown data type: " + std::to_string(t & 0xFFFF) + "\n");
  }
}

TEST(PayloadSizes, WholePayloadBySampleCounts) {
  EXPECT_EQ(get_sizeof_struct_data(33, 3, 0, 0, nullptr), 3 * 272);
  EXPECT_EQ(get_sizeof_struct_data(2, 4, 0, 0, nullptr), 4 * 88);
  EXPECT_EQ(get_sizeof_struct_data(35, 5, 0, 0, nullptr), 100);
  EXPECT_EQ(get_sizeof_struct_data(6, 10, 0, 0, nullptr), 20 + 4 * 2 * 10);
  EXPECT_EQ(get_sizeof_struct_data(17, 10, 0, 0, nullptr), 44 + 4 * 8 * 10);
  EXPECT_EQ(get_sizeof_struct_data(38, 100, 0, 0, nullptr), 1084);
  EXPECT_EQ(get_sizeof_struct_data(62, 1, 0, 0, nullptr), 944 + 28);
  EXPECT_EQ(get_sizeof_struct_data(13, 64, 0, 0, nullptr), 40 + 64);
  EXPECT_EQ(get_sizeof_struct_data(27, 64, 0, 0, nullptr), 164);
  EXPECT_EQ(get_sizeof_struct_data(22, 2, 0, 0, nullptr), 88 + 168);
  EXPECT_EQ(get_sizeof_struct_data(24, 10, 0, 0, nullptr), 208);
  EXPECT_EQ(get_sizeof_struct_data(25, 10, 20, 0, nullptr), 380);
  EXPECT_EQ(get_sizeof_struct_data(26, 10, 20, 30, nullptr), 592);
}

TEST(PayloadSizes, RoiDataOffsetsFollowTheFixedPart) {
  // The second data set of a three-ROI block with counts 10, 20, 30 starts
  // after the fixed part and the ten samples of the first.
  EXPECT_EQ(offsetof(kova_image_roi3, data) + 4 * 10, 392u);
  // Channel 1 of a two-channel 2010 spectrum with 100 samples.
  EXPECT_EQ(offsetof(kova_norm_2channel_block_2010, data) + 4 * 100, 684u);
}

TEST(PayloadSizes, GenericSpectrumWithPerSubchannelCounts) {
  EXPECT_EQ(get_sizeof_struct_data(28, 10, 0, 0, nullptr), 160 + 40);
  int counts[3] = {10, 20, 30};
  EXPECT_EQ(get_sizeof_struct_data(28, 3, 0, 0, counts), 464 + 240);
  EXPECT_EQ(get_sizeof_struct_data(28, 0, 0, 0, counts), 0);
}

TEST(PayloadSizes, NegativeOrAbsurdCountsAreRefused) {
  EXPECT_EQ(get_sizeof_struct_data(38, -1, 0, 0, nullptr), -1);
  EXPECT_EQ(get_sizeof_struct_data(26, 1, 1, -1, nullptr), -1);
  EXPECT_EQ(get_sizeof_struct_data(53, 0x7FFFFFFF, 0, 0, nullptr), -1);
  int counts[2] = {5, -5};
  EXPECT_EQ(get_sizeof_struct_data(28, 2, 0, 0, counts), -1);
}

TEST(PayloadSizes, FrameworkBlockKnowsItsLength) {
  std::vector<int> block(64, 0);
  block[0] = 1;  // an integer value
  EXPECT_EQ(get_sizeof_struct_data(23, 0, 0, 0, block.data()), 48);
  block[0] = 100;  // float array of three
  block[11] = 3;   // count at byte 44
  EXPECT_EQ(get_sizeof_struct_data(23, 0, 0, 0, block.data()), 60);
  // A string of four characters held with its terminator: 44 + 8.
  block[0] = 3;
  memcpy(&block[11], "abcd", 5);
  EXPECT_EQ(get_sizeof_struct_data(23, 0, 0, 0, block.data()), 52);
  block[0] = 1005;  // time-stamped arrays are not stored
  EXPECT_EQ(get_sizeof_struct_data(23, 0, 0, 0, block.data()), -1);
  EXPECT_EQ(get_sizeof_struct_data(23, 0, 0, 0, nullptr), -1);
}
