// Stored layouts and type ids: what a stored payload relies on beyond the
// compile-time checks in the header.
#include <gtest/gtest.h>

#include <cstring>

#include "eqdata.h"

namespace {

TEST(EqLayout, IdsWithoutStoredFormLieOutsideTheStoredRanges) {
  for (int id : {DATA_USTR, DATA_XYZS, DATA_STRUCTURE}) {
    EXPECT_TRUE(id > 29 && id < 100) << id;
  }
}

TEST(EqLayout, EveryNamedIdHasATextName) {
  EXPECT_STREQ(EqData::type_string(DATA_A_FLOAT), "DATA_A_FLOAT");
  EXPECT_STREQ(EqData::type_string(DATA_A_TS_INT), "DATA_A_TS_INT");
  EXPECT_STREQ(EqData::type_string(DATA_KEYVAL), "DATA_KEYVAL");
  EXPECT_STREQ(EqData::type_string(5), "UNKNOWN");
  EXPECT_STREQ(EqData::type_string(-1), "UNKNOWN");
  for (int id = 0; id < 1100; ++id) {
    const char* name = EqData::type_string(id);
    ASSERT_NE(name, nullptr);
    if (strcmp(name, "UNKNOWN") != 0) {
      EXPECT_EQ(strncmp(name, "DATA_", 5), 0) << id;
    }
  }
}

TEST(EqLayout, BlockHeaderFieldsSitWhereTheStoredHeaderExpectsThem) {
  EqData d;
  d.set_event_id(quorm::EventId(0x1122334455667788ULL));
  d.set_timestamp(quorm::Timestamp::from_sec_usec(1700000000, 123456));
  const auto* raw = reinterpret_cast<const unsigned char*>(d.get_data_block());
  uint32_t lo, hi;
  int32_t usec;
  int64_t tm;
  memcpy(&lo, raw + 20, 4);
  memcpy(&hi, raw + 24, 4);
  memcpy(&usec, raw + 16, 4);
  memcpy(&tm, raw + 8, 8);
  EXPECT_EQ(lo, 0x55667788u);
  EXPECT_EQ(hi, 0x11223344u);
  EXPECT_EQ(usec, 123456);
  EXPECT_EQ(tm, 1700000000);
  EXPECT_EQ(d.get_event_id().to_int(), 0x1122334455667788ULL);
}

TEST(EqLayout, TimestampSplitsBeforeTheEpochToo) {
  const quorm::Timestamp t(-1500);  // 1.5 microseconds before the epoch
  EXPECT_EQ(t.seconds(), -1);
  EXPECT_EQ(t.microseconds(), 999998);
  EXPECT_EQ(quorm::Timestamp::from_sec_usec(t.seconds(), t.microseconds()).nanoseconds(), -2000);
  const quorm::Timestamp low(INT64_MIN);
  EXPECT_LT(low.seconds(), 0);
  EXPECT_GE(low.microseconds(), 0);
}

TEST(EqLayout, GarbageBlockTimeIsReadWithoutOverflow) {
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  b.tm = INT64_MAX;
  b.tm_usec = -5;
  EqData d(&b, true);
  // Wraps as the stored 64-bit nanoseconds do, without a signed overflow
  // (the sanitizers would flag one).
  const quorm::Timestamp t = d.get_timestamp();
  const uint64_t wrapped =
      (static_cast<uint64_t>(INT64_MAX) * 1000000u + static_cast<uint64_t>(int64_t{-5})) * 1000u;
  EXPECT_EQ(t.nanoseconds(), static_cast<int64_t>(wrapped));
  EXPECT_GE(t.microseconds(), 0);
  EXPECT_LT(t.microseconds(), 1000000);
}

TEST(EqLayout, ArrayViewSitsAtTheStartOfTheValue) {
  EqData d;
  ASSERT_EQ(d.length(3), EQ_OK);
  ASSERT_EQ(d.set(2.5f, 1), EQ_OK);
  const auto* raw = reinterpret_cast<const unsigned char*>(d.get_data_block());
  uint32_t n;
  const float* elems;
  memcpy(&n, raw + 48, 4);
  memcpy(&elems, raw + 56, 8);
  EXPECT_EQ(n, 3u);
  EXPECT_EQ(elems[1], 2.5f);
}

}  // namespace
