#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "event_util.h"
#include "generation_guard.h"

TEST(EventTypes, NamesTreesAndStructure) {
  EXPECT_STREQ(event_name_itoa(0), "HEART_BEAT");
  EXPECT_STREQ(event_name_itoa(KOVA_EV_ENV), "ENV");
  EXPECT_STREQ(event_name_itoa(31), "EVENT_TYPE_31");
  EXPECT_STREQ(get_tree_name(21), "KOVA_EV_BEAM_ENERGY_BYPASS_Events");
  EXPECT_STREQ(get_tree_comment(17), "Photon Energy_Events");
  EXPECT_EQ(get_event_struct_type(1), KOVA_EV_STRUCT_LOCAL);
  EXPECT_EQ(get_event_struct_type(2), KOVA_EV_STRUCT_GLOBAL);
  EXPECT_EQ(get_event_struct_type(9), KOVA_EV_STRUCT_ML);
}

TEST(EventTypes, OutOfRangeAnswers) {
  for (int t : {-1, 32, 1000}) {
    EXPECT_STREQ(event_name_itoa(t), "UNKNOWN");
    EXPECT_STREQ(get_tree_name(t), "UNKNOWN");
    EXPECT_STREQ(get_tree_comment(t), "UNKNOWN");
    EXPECT_EQ(get_event_struct_type(t), 0);
  }
}

TEST(EventTypes, SlowEvents) {
  EXPECT_TRUE(is_slow_event(0));
  EXPECT_FALSE(is_slow_event(1));
  for (int t = 2; t <= 5; ++t) EXPECT_TRUE(is_slow_event(t));
  EXPECT_FALSE(is_slow_event(6));
  EXPECT_FALSE(is_slow_event(-1));
}

TEST(EventNameFromMask, NamesAndIndexedType) {
  char out[64];
  int t = 99;
  EXPECT_EQ(event_name_from_mask(out, 64, 0x13, &t, 2), out);
  EXPECT_STREQ(out, "HEART_BEAT:NORMAL:ENV");
  EXPECT_EQ(t, 1);

  t = 99;
  event_name_from_mask(out, 64, 0x13, &t, -1);
  EXPECT_STREQ(out, "HEART_BEAT:NORMAL:ENV");
  EXPECT_EQ(t, 4);

  event_name_from_mask(out, 64, 0, &t, -1);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(t, -1);

  // Bit 31 is an event type too.
  event_name_from_mask(out, 64, static_cast<int>(0x80000000u), &t, 1);
  EXPECT_STREQ(out, "EVENT_TYPE_31");
  EXPECT_EQ(t, 31);
}

TEST(EventNameFromMask, IndexBeyondCountLeavesTypeAlone) {
  char out[64];
  int t = 77;
  event_name_from_mask(out, 64, 0x3, &t, 5);
  EXPECT_EQ(t, 77);
  EXPECT_NE(event_name_from_mask(out, 64, 0x3, nullptr, 1), nullptr);
}

TEST(EventNameFromMask, RefusesMissingOutput) {
  char out[4];
  EXPECT_EQ(event_name_from_mask(nullptr, 64, 1, nullptr, 0), nullptr);
  EXPECT_EQ(event_name_from_mask(out, 0, 1, nullptr, 0), nullptr);
  EXPECT_EQ(block_name_from_mask(out, -5, 1, nullptr, 0), nullptr);
}

TEST(EventNameFromMask, LongTextIsCutAt255) {
  char out[400];
  memset(out, 'x', sizeof(out));
  event_name_from_mask(out, sizeof(out), -1, nullptr, 0);
  // All 32 names joined are far longer than 255 characters.
  std::string full;
  for (int i = 0; i < 32; ++i) full += std::string(i ? ":" : "") + event_name_itoa(i);
  ASSERT_GT(full.size(), 255u);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(std::string(out), full.substr(0, 255));
  // strncpy semantics: the rest of the output is zero-filled.
  EXPECT_EQ(out[399], '\0');
}

TEST(EventNameFromMask, ShortOutputIsLeftUnterminated) {
  char out[8];
  memset(out, 'x', sizeof(out));
  event_name_from_mask(out, 5, 0x13, nullptr, 0);
  EXPECT_EQ(std::string(out, 5), "HEART");
  EXPECT_EQ(out[5], 'x');  // nothing written past outlen
}

TEST(BlockNameFromMask, Bit31SelectsTheGenerationRange) {
  char out[128];
  int t = 0;
  block_name_from_mask(out, sizeof(out), static_cast<int>(0x80000006u), &t, 2);
  EXPECT_STREQ(out, "UPD_BLOCK_2010:ENV_DICT_BLOCK_2010");
  EXPECT_EQ(t, 34);
  block_name_from_mask(out, sizeof(out), 0x00000006, &t, -1);
  EXPECT_STREQ(out, "UPD_BLOCK:ENV_DICT_BLOCK");
  EXPECT_EQ(t, 2);
  // Bit 0 stands for type 0 (which has no name) or for type 32.
  block_name_from_mask(out, sizeof(out), 1, &t, -1);
  EXPECT_STREQ(out, "UNKNOWN");
  EXPECT_EQ(t, 0);
  block_name_from_mask(out, sizeof(out), static_cast<int>(0x80000001u), &t, -1);
  EXPECT_STREQ(out, "BLOCK_TYPE_32");
  EXPECT_EQ(t, 32);
}

TEST(BlockNameFromMask, LongTextIsCutAt255) {
  char out[300];
  block_name_from_mask(out, sizeof(out), static_cast<int>(0xFFFFFFFFu), nullptr, 0);
  EXPECT_EQ(strlen(out), 255u);
  EXPECT_EQ(std::string(out).rfind("BLOCK_TYPE_32:UPD_BLOCK_2010:", 0), 0u);
}

TEST(GenerationSwitch, SettersFollowTheirRule) {
  GenerationGuard guard;
  set_data_format_2010(true);
  EXPECT_TRUE(is_data_format_2010());
  EXPECT_FALSE(is_data_format_2024());

  set_data_format_2024(true);
  EXPECT_TRUE(is_data_format_2024());
  EXPECT_FALSE(is_data_format_2010());

  // Clearing the 2010 flag touches only that flag.
  set_data_format_2010(false);
  EXPECT_FALSE(is_data_format_2010());
  EXPECT_TRUE(is_data_format_2024());

  set_data_format_2024(false);
  EXPECT_FALSE(is_data_format_2010());
  EXPECT_FALSE(is_data_format_2024());

  set_data_format_2010(true);
  EXPECT_TRUE(is_data_format_2010());
  EXPECT_FALSE(is_data_format_2024());
}

TEST(OtherNames, RunModesExtensionsCompressorsStatistics) {
  EXPECT_STREQ(runmode_i2a(0), "real");
  EXPECT_STREQ(runmode_i2a(1), "test");
  EXPECT_STREQ(runmode_i2a(2), "save");
  EXPECT_STREQ(runmode_i2a(-7), "save");
  EXPECT_STREQ(kova_get_daq_file_ext(0), ".root");
  EXPECT_STREQ(kova_get_daq_file_ext(2), ".raw");
  EXPECT_STREQ(kova_get_daq_file_ext(3), ".unknown");
  EXPECT_STREQ(kova_get_daq_file_ext(-1), ".unknown");
  EXPECT_STREQ(kova_get_daq_index_file_ext(2), ".idev64");
  EXPECT_STREQ(kova_get_daq_index_file_ext(3), ".unknown");
  EXPECT_STREQ(kova_get_compressor_name(1), "ZLIB");
  EXPECT_STREQ(kova_get_compressor_name(2), "LZO");
  EXPECT_STREQ(kova_get_compressor_name(0), "Compressor unknown");
  EXPECT_STREQ(get_stat_name_2010(2), "MEAN");
  EXPECT_STREQ(get_stat_name_2010(9), "SPARE0");
  EXPECT_STREQ(get_stat_name_2010(31), "SPARE22");
  EXPECT_STREQ(get_stat_name_2010(32), "NOT DEFINED");
  EXPECT_STREQ(get_stat_name_2010(-1), "NOT DEFINED");
}

TEST(FrontEndErrors, TextsInTableOrder) {
  EXPECT_STREQ(get_daq_fed_error(0), "OK");
  EXPECT_STREQ(get_daq_fed_error(0x1), "KOVA_SB_ERR_NOT_COLLECTED Server block not collected ");
  EXPECT_STREQ(get_daq_fed_error(0x800000),
               "KOVA_FE_DAQ_PARAM_INV  invalid DAQ parameters"
               "KOVA_FE_DAQ_PARAM_INV Invalid DAQ parameters ");
  EXPECT_STREQ(get_daq_fed_error(0x2800000),
               "KOVA_FE_DAQ_PARAM_INV  invalid DAQ parameters"
               "KOVA_FE_DAQ_BUF_SKIPPED  buffer is skipped"
               "KOVA_FE_DAQ_PARAM_INV Invalid DAQ parameters ");
  EXPECT_STREQ(get_daq_fed_error(0x40000000), "");
  EXPECT_STREQ(get_daq_fed_error(static_cast<int>(0xF8000000u)), "");
  EXPECT_STREQ(get_daq_fed_error(0x40000000 | 0x10), "KOVA_SB_ERR_NO_SERVER NO server ");
  EXPECT_STREQ(get_daq_fed_error(0x4000000), "KOVA_SD_ERR_NOT_ASSM Not assembleb by sender ");
}
