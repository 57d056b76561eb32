#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include <gtest/gtest.h>

#include "event_util.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Runs the dates of a test in a zone with daylight-saving time and restores
// the previous zone afterwards.
class BerlinTime : public testing::Test {
 protected:
  void SetUp() override {
    const char* tz = getenv("TZ");
    had_tz_ = tz != nullptr;
    if (had_tz_) old_tz_ = tz;
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
  }
  void TearDown() override {
    if (had_tz_)
      setenv("TZ", old_tz_.c_str(), 1);
    else
      unsetenv("TZ");
    tzset();
  }

 private:
  bool had_tz_ = false;
  std::string old_tz_;
};

std::string isodate(time_t t, bool year) {
  char buf[16];
  create_isodate_from_sec(t, buf, year);
  return buf;
}

}  // namespace

TEST(TimeStamps, ExactEquality) {
  time_stamp a{10, 5}, b{10, 5}, c{10, 6};
  EXPECT_TRUE(kova_time_stamp_eq(&a, &b));
  EXPECT_FALSE(kova_time_stamp_eq(&a, &c));
}

TEST(TimeStamps, TolerantComparison) {
  time_stamp t1{10, 999999}, t2{11, 0};
  int how = 5;
  double d = -1;
  EXPECT_TRUE(kova_time_stamp_eq(&t1, &t2, 1.0, &how, &d));
  EXPECT_EQ(how, 0);
  EXPECT_EQ(d, -1);  // untouched on a match

  EXPECT_FALSE(kova_time_stamp_eq(&t1, &t2, 0.5, &how, &d));
  EXPECT_EQ(how, -1);
  EXPECT_DOUBLE_EQ(d, 1.0);

  EXPECT_FALSE(kova_time_stamp_eq(&t2, &t1, 0.5, &how, &d));
  EXPECT_EQ(how, 1);
  EXPECT_FALSE(kova_time_stamp_eq(&t2, &t1, 0.5, nullptr, nullptr));
}

TEST(TimeStamps, EventIdOfTheFirstRunningPeriod) {
  time_stamp t{1197453669, 0};
  EXPECT_EQ(kova_get_event_id(&t), 398658u);
  t.timeup = 1197461745;
  EXPECT_EQ(kova_get_event_id(&t), 439038u);
  t.timeup = 1197453668;
  EXPECT_EQ(kova_get_event_id(&t), 0u);
  t.timeup = 1197461746;
  EXPECT_EQ(kova_get_event_id(&t), 0u);
  EXPECT_EQ(kova_get_event_id(nullptr), 0u);
}

TEST(TimeStamps, PartsAndNullPointers) {
  time_stamp t{7, 8};
  kova_time_id id{42, {9, 10}};
  EXPECT_EQ(kova_get_from_timestamp_sec(&t), 7u);
  EXPECT_EQ(kova_get_from_timestamp_usec(&t), 8u);
  EXPECT_EQ(kova_get_from_time_id_sec(&id), 9u);
  EXPECT_EQ(kova_get_from_time_id_usec(&id), 10u);
  EXPECT_EQ(kova_get_from_time_id_evid(&id), 42u);
  EXPECT_EQ(kova_get_from_timestamp_sec(nullptr), 0u);
  EXPECT_EQ(kova_get_from_timestamp_usec(nullptr), 0u);
  EXPECT_EQ(kova_get_from_time_id_sec(nullptr), 0u);
  EXPECT_EQ(kova_get_from_time_id_usec(nullptr), 0u);
  EXPECT_EQ(kova_get_from_time_id_evid(nullptr), 0u);
}

TEST_F(BerlinTime, WinterDatesPrintTheWallClock) {
  // 2010-01-15 12:30:45 UTC is 13:30:45 in Berlin.
  EXPECT_EQ(isodate(1263558645, true), "20100115T133045");
  EXPECT_EQ(isodate(1263558645, false), "0115T133045");
}

TEST_F(BerlinTime, SummerBefore2010PrintsOneHourEarly) {
  // 2009-07-01 12:00:00 UTC is 14:00:00 summer time in Berlin.
  EXPECT_EQ(isodate(1246449600, true), "20090701T130000");
  // 2011-07-01 12:00:00 UTC prints the wall clock.
  EXPECT_EQ(isodate(1309521600, true), "20110701T140000");
}

TEST_F(BerlinTime, CurrentDateHasTheCompactForm) {
  char buf[16];
  create_isodate(buf, true);
  EXPECT_EQ(strlen(buf), 15u);
  EXPECT_EQ(buf[8], 'T');
  create_isodate(buf, false);
  EXPECT_EQ(strlen(buf), 11u);
  EXPECT_EQ(buf[4], 'T');
  create_isodate(nullptr, true);  // does nothing
  create_isodate_from_sec(0, nullptr, true);
}

TEST_F(BerlinTime, ParsingReadsLocalWallClock) {
  time_t t = 0;
  EXPECT_FALSE(time_from_isodate("20100115T133045", &t));
  EXPECT_EQ(t, 1263558645);
  EXPECT_FALSE(time_from_isodate2("2010-01-15T13:30:45", &t));
  EXPECT_EQ(t, 1263558645);
  // A summer text is summer wall-clock time: 14:00 CEST is 12:00 UTC.
  EXPECT_FALSE(time_from_isodate("20110701T140000", &t));
  EXPECT_EQ(t, 1309521600);
}

TEST_F(BerlinTime, ParsingRefusals) {
  time_t t = 0;
  EXPECT_TRUE(time_from_isodate(nullptr, &t));
  EXPECT_TRUE(time_from_isodate("", &t));
  EXPECT_TRUE(time_from_isodate("20100115T133045", nullptr));
  CaptureStdout();
  EXPECT_TRUE(time_from_isodate("2010-03-25T13:45:00", &t));
  EXPECT_EQ(GetCapturedStdout(), "Failed to convert time: '2010-03-25T13:45:00'\n");
  EXPECT_FALSE(time_from_isodate2("2010-03-25T13:45:00", &t));
  CaptureStdout();
  EXPECT_TRUE(time_from_isodate2("20100325T134500", &t));
  EXPECT_EQ(GetCapturedStdout(), "Failed to convert time: '20100325T134500'\n");
}
