// Numbers and fixed structures: setters choose the type, readers convert,
// an explicit type is kept for values of the same kind.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "eqdata.h"

namespace {

TEST(EqScalar, EachSetterStoresItsTypeAndValue) {
  EqData d;
  EXPECT_EQ(d.type(), DATA_NULL);
  EXPECT_EQ(d.length(), 0);

  ASSERT_EQ(d.set(-7), EQ_OK);
  EXPECT_EQ(d.type(), DATA_INT);
  EXPECT_EQ(d.get_int(), -7);
  ASSERT_EQ(d.set(4000000000u), EQ_OK);
  EXPECT_EQ(d.type(), DATA_UINT);
  EXPECT_EQ(d.get_long(), 4000000000L);
  ASSERT_EQ(d.set(static_cast<short>(-3)), EQ_OK);
  EXPECT_EQ(d.type(), DATA_SHORT);
  EXPECT_EQ(d.get_int(), -3);
  ASSERT_EQ(d.set(static_cast<unsigned short>(65535)), EQ_OK);
  EXPECT_EQ(d.type(), DATA_USHORT);
  EXPECT_EQ(d.get_int(), 65535);
  ASSERT_EQ(d.set(-(1L << 40)), EQ_OK);
  EXPECT_EQ(d.type(), DATA_LONG);
  EXPECT_EQ(d.get_long(), -(1L << 40));
  ASSERT_EQ(d.set(ULONG_MAX), EQ_OK);
  EXPECT_EQ(d.type(), DATA_ULONG);
  EXPECT_EQ(d.get_long(), LONG_MAX);  // saturated
  ASSERT_EQ(d.set(1.5f), EQ_OK);
  EXPECT_EQ(d.type(), DATA_FLOAT);
  EXPECT_EQ(d.get_double(), 1.5);
  ASSERT_EQ(d.set(2.25), EQ_OK);
  EXPECT_EQ(d.type(), DATA_DOUBLE);
  EXPECT_EQ(d.get_float(), 2.25f);
  EXPECT_EQ(d.length(), 1);
  EXPECT_EQ(d.size(0, -1), 8);
}

TEST(EqScalar, IndexOtherThanZeroHasNoNumber) {
  EqData d;
  d.set(5);
  EXPECT_EQ(d.get_int(1), 0);
  EXPECT_EQ(d.get_int(-1), 0);
  EXPECT_EQ(d.size(1, -1), -1);
}

TEST(EqScalar, IntegerReadersSaturateInsteadOfOverflowing) {
  EqData d;
  d.set(1e300);
  EXPECT_EQ(d.get_long(), LONG_MAX);
  EXPECT_EQ(d.get_int(), INT_MAX);
  d.set(-1e300);
  EXPECT_EQ(d.get_int(), INT_MIN);
  d.set(std::nan(""));
  EXPECT_EQ(d.get_long(), 0);
}

TEST(EqScalar, ExplicitTypeIsKeptForValuesOfTheSameKind) {
  EqData d;
  ASSERT_EQ(d.set_type(DATA_BOOL), EQ_OK);
  ASSERT_EQ(d.set(1), EQ_OK);
  EXPECT_EQ(d.type(), DATA_BOOL);
  EXPECT_EQ(d.get_int(), 1);

  // A value of another kind replaces the explicit type.
  ASSERT_EQ(d.set(2.0f), EQ_OK);
  EXPECT_EQ(d.type(), DATA_FLOAT);
  ASSERT_EQ(d.set(3), EQ_OK);
  EXPECT_EQ(d.type(), DATA_INT);  // no longer explicit
}

TEST(EqScalar, ExplicitTypeOfAnotherKindDiscardsTheValue) {
  EqData d;
  d.set(42);
  ASSERT_EQ(d.set_type(DATA_DOUBLE), EQ_OK);
  EXPECT_EQ(d.type(), DATA_DOUBLE);
  EXPECT_EQ(d.get_double(), 0.0);  // not the int's bits
  ASSERT_EQ(d.set_type(DATA_A_TS_INT), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_TS_INT);
  EXPECT_EQ(d.length(), 0);
}

TEST(EqScalar, FixedStructuresRoundTrip) {
  EqData d;
  ASSERT_EQ(d.set(XY{1.5f, -2.0f}), EQ_OK);
  EXPECT_EQ(d.type(), DATA_XY);
  ASSERT_NE(d.get_xy(), nullptr);
  EXPECT_EQ(d.get_xy()->y, -2.0f);
  EXPECT_EQ(d.get_xy(1), nullptr);
  EXPECT_EQ(d.get_tds(), nullptr);

  ASSERT_EQ(d.set(TDS{100, 5, 3.5f, 2}), EQ_OK);
  EXPECT_EQ(d.type(), DATA_TDS);
  EXPECT_EQ(d.get_tds()->data, 3.5f);
  EXPECT_EQ(d.get_xy(), nullptr);

  ASSERT_EQ(d.set(IFFF{7, 1.0f, 2.0f, 3.0f}), EQ_OK);
  EXPECT_EQ(d.get_ifff()->f3_data, 3.0f);
  ASSERT_EQ(d.set(IIII{1, 2, 3, 4}), EQ_OK);
  EXPECT_EQ(d.get_iiii()->i4_data, 4);
  ASSERT_EQ(d.set(TTII{1, 2, 3, 4, 5, 6}), EQ_OK);
  EXPECT_EQ(d.type(), DATA_TTII);
  EXPECT_EQ(d.get_ttii()->i2_data, 6);
  EXPECT_EQ(d.size(0, -1), 24);
}

TEST(EqScalar, OwningCopyOfABlockTakesHeaderAndInBlockValue) {
  EqData src;
  src.set(XY{3.0f, 4.0f});
  src.set_event_id(quorm::EventId(99));
  src.get_data_block()->unused2 = 17;
  EqData copy(src.get_data_block(), false);
  EXPECT_FALSE(copy.is_wrapper());
  EXPECT_EQ(copy.type(), DATA_XY);
  EXPECT_EQ(copy.get_xy()->x, 3.0f);
  EXPECT_EQ(copy.get_event_id().to_int(), 99u);
  EXPECT_EQ(copy.get_data_block()->unused2, 17);
  EXPECT_NE(copy.get_data_block(), src.get_data_block());
}

}  // namespace
