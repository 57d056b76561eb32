#include <gtest/gtest.h>

#include "varek_event_sequencer.h"
#include "varek_event_sequencer_2024.h"

namespace {
const time_stamp kOneSecond = {1, 0};
}

TEST(EventSequencer, ConstructionAndModeRules) {
  varek_event_sequencer s(5, 9, kOneSecond);
  EXPECT_EQ(s.mode, VAREK_SEQUENCER_MODES_EVENTID);
  EXPECT_EQ(s.skipped_limit, 128);
  EXPECT_EQ(s.skipped_cnt, 0);
  EXPECT_EQ(s.current.event_number, 0u);
  EXPECT_TRUE(s.set_mode(2));
  EXPECT_EQ(s.mode, 0);
  EXPECT_FALSE(s.set_mode(1));
  EXPECT_EQ(s.mode, 1);
  EXPECT_TRUE(s.set_skip_limit(-1));
  EXPECT_FALSE(s.set_skip_limit(0));
  EXPECT_EQ(s.skipped_limit, 0);
  EXPECT_TRUE(s.set_max_time_diff(nullptr));
  EXPECT_FALSE(s.set_max_event_diff(3));
  EXPECT_TRUE(s.set(nullptr));
  EXPECT_TRUE(VAREK_SEQUENCER_CHECK_MODE(1));
  EXPECT_FALSE(VAREK_SEQUENCER_CHECK_MODE(2));
  EXPECT_EQ(time_diff_default.timeup, 0u);
}

TEST(EventSequencer, TakesByEventNumberDistance) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 9, time_diff_default);
  kova_time_id start{100, {50, 0}};
  EXPECT_FALSE(s.set(&start));
  EXPECT_FALSE(s.check(109u));
  EXPECT_EQ(s.skipped_cnt, 1);
  EXPECT_TRUE(s.check(110u));
  EXPECT_EQ(s.current.event_number, 110u);
  EXPECT_EQ(s.current.time.timeup, 50u);  // the time stamp stays
  EXPECT_EQ(s.prev.event_number, 100u);
  EXPECT_EQ(s.skipped_cnt, 0);
}

TEST(EventSequencer, SkipLimitResetsAndTakes) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 1000, time_diff_default);
  kova_time_id start{5000, {0, 0}};
  s.set(&start);
  for (int i = 0; i < 128; ++i) ASSERT_FALSE(s.check(5001u)) << i;
  EXPECT_TRUE(s.check(5001u));
  EXPECT_EQ(s.current.event_number, 0u);
  EXPECT_EQ(s.skipped_cnt, 0);
}

TEST(EventSequencer, BackwardsNumbersAreSkippedUntilTheLimit) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 0, time_diff_default);
  kova_time_id start{1000, {0, 0}};
  s.set(&start);
  s.set_skip_limit(3);
  EXPECT_FALSE(s.check(10u));
  EXPECT_FALSE(s.check(11u));
  EXPECT_FALSE(s.check(12u));
  EXPECT_TRUE(s.check(13u));  // fourth skip exceeds the limit: reset
  EXPECT_TRUE(s.check(14u));  // measured from zero again
  EXPECT_EQ(s.current.event_number, 14u);
}

TEST(EventSequencer, HighNumbersAfterResetGiveNegativeDistance) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 0, time_diff_default);
  EXPECT_FALSE(s.check(0x80000000u));
}

TEST(EventSequencer, WrongModeChangesNothing) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_TIME, 0, kOneSecond);
  EXPECT_FALSE(s.check(100u));
  EXPECT_EQ(s.skipped_cnt, 0);
  varek_event_sequencer n(VAREK_SEQUENCER_MODES_EVENTID, 0, kOneSecond);
  time_stamp t{100, 0};
  EXPECT_FALSE(n.check(&t));
  EXPECT_EQ(n.skipped_cnt, 0);
  EXPECT_FALSE(n.check(static_cast<time_stamp*>(nullptr)));
  EXPECT_FALSE(n.check(static_cast<kova_time_id*>(nullptr)));
}

TEST(EventSequencer, TakesByTimeDistance) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_TIME, 0, {0, 500000});
  kova_time_id start{7, {10, 0}};
  s.set(&start);
  time_stamp close{10, 500000}, far{10, 500001};
  EXPECT_FALSE(s.check(&close));
  EXPECT_TRUE(s.check(&far));
  EXPECT_EQ(s.current.time.timelow, 500001u);
  EXPECT_EQ(s.current.event_number, 7u);  // the number stays
}

TEST(EventSequencer, TimeModeResetsOnThe129thCloseStamp) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_TIME, 0, kOneSecond);
  kova_time_id start{1, {10, 0}};
  s.set(&start);
  time_stamp close{10, 1};
  for (int i = 0; i < 128; ++i) ASSERT_FALSE(s.check(&close)) << i;
  EXPECT_TRUE(s.check(&close));
}

TEST(EventSequencer, IdChecksInNumberModeCountTwice) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 100, kOneSecond);
  kova_time_id start{1000, {10, 0}};
  s.set(&start);
  kova_time_id close{1001, {10, 1}};
  for (int i = 0; i < 63; ++i) ASSERT_FALSE(s.check(&close)) << i;
  EXPECT_EQ(s.skipped_cnt, 126);
  EXPECT_TRUE(s.check(&close));  // the 64th resets
  EXPECT_EQ(s.current.event_number, 0u);
}

TEST(EventSequencer, IdPassesOnEitherDistanceInNumberMode) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_EVENTID, 100, kOneSecond);
  kova_time_id start{1000, {10, 0}};
  s.set(&start);
  kova_time_id late{1001, {12, 0}};  // number close, time far
  EXPECT_TRUE(s.check(&late));
  EXPECT_EQ(s.current.event_number, 1001u);
  EXPECT_EQ(s.current.time.timeup, 12u);
  EXPECT_EQ(s.prev.event_number, 1000u);
  kova_time_id next{2000, {12, 0}};  // number far
  EXPECT_TRUE(s.check(&next));
}

TEST(EventSequencer, IdChecksInTimeModeResetOnThe128th) {
  varek_event_sequencer s(VAREK_SEQUENCER_MODES_TIME, 0, kOneSecond);
  kova_time_id start{1, {10, 0}};
  s.set(&start);
  kova_time_id close{500, {10, 1}};
  for (int i = 0; i < 127; ++i) ASSERT_FALSE(s.check(&close)) << i;
  EXPECT_TRUE(s.check(&close));
}

TEST(EventSequencer2024, SixtyFourBitDistances) {
  varek_event_sequencer_2024 s(VAREK_SEQUENCER_MODES_EVENTID, 0x7FFFFFFF, time_diff_default);
  kova_time_id_2024 start{5, {0, 0}};
  s.set(&start);
  EXPECT_TRUE(s.check(static_cast<uint64_t>(5) + (1ull << 32)));
  EXPECT_EQ(s.current.event_number, 5 + (1ull << 32));
  EXPECT_EQ(s.prev.event_number, 5u);
  EXPECT_FALSE(s.check(static_cast<uint64_t>(6)));  // backwards
  s.reset();
  EXPECT_EQ(s.current.event_number, 0u);
  EXPECT_EQ(s.skipped_limit, 128);
}

TEST(EventSequencer2024, IdChecksMatchThe2010Rules) {
  varek_event_sequencer_2024 s(VAREK_SEQUENCER_MODES_EVENTID, 100, kOneSecond);
  kova_time_id_2024 start{1000, {10, 0}};
  s.set(&start);
  kova_time_id_2024 close{1001, {10, 1}};
  for (int i = 0; i < 63; ++i) ASSERT_FALSE(s.check(&close)) << i;
  EXPECT_TRUE(s.check(&close));
}
