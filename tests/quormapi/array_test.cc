// Arrays: element count, indexed setters within it, refused indexes,
// resizing, type changes and the size answers.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "eqdata.h"

namespace {

TEST(EqArray, IndexedSetNeedsALengthFirst) {
  EqData d;
  EXPECT_EQ(d.set(1.0f, 0), EQ_ERR_RANGE);
  EXPECT_EQ(d.type(), DATA_NULL);  // refused setters change nothing

  ASSERT_EQ(d.length(3), EQ_OK);  // remembered before the type is known
  EXPECT_EQ(d.type(), DATA_NULL);
  ASSERT_EQ(d.set(1.0f, 2), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_FLOAT);
  EXPECT_EQ(d.length(), 3);
  EXPECT_EQ(d.array_length(), 3);
  EXPECT_EQ(d.get_float(0), 0.0f);
  EXPECT_EQ(d.get_float(2), 1.0f);
}

TEST(EqArray, OutOfRangeIndexIsRefusedAndWritesNothing) {
  EqData d;
  d.set_type(DATA_A_INT);
  ASSERT_EQ(d.length(2), EQ_OK);
  ASSERT_EQ(d.set(5, 0), EQ_OK);
  ASSERT_EQ(d.set(6, 1), EQ_OK);
  EXPECT_EQ(d.set(7, 2), EQ_ERR_RANGE);
  EXPECT_EQ(d.set(7, -1), EQ_ERR_RANGE);
  EXPECT_EQ(d.set(7, INT_MAX), EQ_ERR_RANGE);
  EXPECT_EQ(d.length(), 2);
  EXPECT_EQ(d.get_int(0), 5);
  EXPECT_EQ(d.get_int(1), 6);
  EXPECT_EQ(d.get_int(2), 0);
}

TEST(EqArray, EveryIndexedSetterMakesItsArrayType) {
  struct Case {
    int type;
    int (*store)(EqData&);
  } cases[] = {
      {DATA_A_INT, [](EqData& d) { return d.set(-4, 1); }},
      {DATA_A_UINT, [](EqData& d) { return d.set(4u, 1); }},
      {DATA_A_SHORT, [](EqData& d) { return d.set(static_cast<short>(-4), 1); }},
      {DATA_A_USHORT, [](EqData& d) { return d.set(static_cast<unsigned short>(4), 1); }},
      {DATA_A_LONG, [](EqData& d) { return d.set(-4L, 1); }},
      {DATA_A_ULONG, [](EqData& d) { return d.set(4UL, 1); }},
      {DATA_A_FLOAT, [](EqData& d) { return d.set(-4.0f, 1); }},
      {DATA_A_DOUBLE, [](EqData& d) { return d.set(-4.0, 1); }},
  };
  for (const Case& c : cases) {
    EqData d;
    d.length(2);
    ASSERT_EQ(c.store(d), EQ_OK) << c.type;
    EXPECT_EQ(d.type(), c.type);
    EXPECT_EQ(std::abs(d.get_double(1)), 4.0) << c.type;
    EXPECT_EQ(d.get_double(0), 0.0);
  }
}

TEST(EqArray, ExplicitBoolArrayTakesIntElements) {
  EqData d;
  d.set_type(DATA_A_BOOL);
  d.length(2);
  ASSERT_EQ(d.set(1, 1), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_BOOL);
  EXPECT_EQ(d.get_int(1), 1);
}

TEST(EqArray, ResizeKeepsElementsAndZeroesNewOnes) {
  EqData d;
  d.length(3);
  for (int i = 0; i < 3; ++i) d.set(10.0 + i, i);
  ASSERT_EQ(d.length(5), EQ_OK);
  EXPECT_EQ(d.get_double(2), 12.0);
  EXPECT_EQ(d.get_double(4), 0.0);
  ASSERT_EQ(d.length(1), EQ_OK);
  EXPECT_EQ(d.get_double(0), 10.0);
  EXPECT_EQ(d.get_double(1), 0.0);
  EXPECT_EQ(d.set(1.0, 1), EQ_ERR_RANGE);
  ASSERT_EQ(d.length(0), EQ_OK);
  EXPECT_EQ(d.length(), 0);
  EXPECT_EQ(d.length(-1), EQ_ERR_ARG);
}

TEST(EqArray, ElementTypeChangeKeepsCountAndZeroesElements) {
  EqData d;
  d.length(4);
  d.set(3.0f, 3);
  ASSERT_EQ(d.set(1.0, 0), EQ_OK);  // double elements: a new array of 4
  EXPECT_EQ(d.type(), DATA_A_DOUBLE);
  EXPECT_EQ(d.length(), 4);
  EXPECT_EQ(d.get_double(3), 0.0);
  EXPECT_EQ(d.get_double(0), 1.0);
}

TEST(EqArray, TypeWrittenIntoTheBlockIsNotReadThroughTheOldStorage) {
  EqData d;
  d.length(4);
  d.set(1.0f, 3);
  // Four floats are held; reading them as doubles would run past them.
  d.get_data_block()->data_type = DATA_A_DOUBLE;
  EXPECT_EQ(d.length(), 0);
  EXPECT_EQ(d.get_double(3), 0.0);
  // The next setter lays the value out for the new type.
  ASSERT_EQ(d.set(2.0, 3), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_DOUBLE);
  EXPECT_EQ(d.length(), 4);
  EXPECT_EQ(d.get_double(3), 2.0);
}

TEST(EqArray, SizeAnswersForRangesAndWholeValues) {
  EqData d;
  d.set_type(DATA_A_DOUBLE);
  d.length(5);
  EXPECT_EQ(d.size(0, -1), 40);
  EXPECT_EQ(d.size(1, 2), 16);
  EXPECT_EQ(d.size(5, -1), 0);
  EXPECT_EQ(d.size(5, 1), -1);
  EXPECT_EQ(d.size(6, -1), -1);
  EXPECT_EQ(d.size(-1, 1), -1);
  EXPECT_EQ(d.size(0, -2), -1);

  EqData empty;
  EXPECT_EQ(empty.size(0, -1), 0);
  EXPECT_EQ(empty.array_length(), 0);
}

TEST(EqArray, StructureElementsRoundTrip) {
  EqData d;
  d.length(2);
  ASSERT_EQ(d.set(TDS{10, 20, 1.5f, 3}, 1), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_TDS);
  EXPECT_EQ(d.get_tds(1)->status, 3);
  EXPECT_EQ(d.get_tds(0)->tm, 0u);
  EXPECT_EQ(d.get_tds(2), nullptr);
  EXPECT_EQ(d.size(0, -1), 32);

  ASSERT_EQ(d.set(XY{1, 2}, 0), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_XY);
  EXPECT_EQ(d.get_xy(0)->y, 2.0f);

  THUMBNAIL t{};
  t.width = 64;
  t.mean = 0.5f;
  ASSERT_EQ(d.set_thumbnail(t, 1), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_THUMBNAIL);
  EXPECT_EQ(d.get_thumbnail(1)->width, 64);
  EXPECT_EQ(d.set_thumbnail(t, 2), EQ_ERR_RANGE);
}

TEST(EqArray, ByteArrayLengthAndElements) {
  EqData d;
  d.set_type(DATA_A_BYTE);
  ASSERT_EQ(d.length(3), EQ_OK);
  ASSERT_NE(d.get_byte(), nullptr);
  EXPECT_EQ(d.get_byte()->length, 3u);
  EXPECT_EQ(d.get_int(2), 0);
  EXPECT_EQ(d.get_int(3), 0);
}

TEST(EqArray, ImpossibleLengthIsRefusedWithoutChange) {
  EqData d;
  d.set_type(DATA_A_TS_GSPECTRUM);
  d.length(1);
  EXPECT_EQ(d.length(INT_MAX), EQ_ERR_NOMEM);
  EXPECT_EQ(d.length(), 1);
  d.set_type(DATA_A_DOUBLE);
  d.length(2);
  d.set(4.0, 1);
  EXPECT_EQ(d.length(INT_MAX), EQ_ERR_NOMEM);
  EXPECT_EQ(d.get_double(1), 4.0);
}

}  // namespace
