// Strings, key/value lists, string-carrying elements and the text forms.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "eqdata.h"

namespace {

TEST(EqText, StringIsHeldWithItsTerminator) {
  EqData d;
  ASSERT_EQ(d.set("abc"), EQ_OK);
  EXPECT_EQ(d.type(), DATA_STRING);
  EXPECT_EQ(d.length(), 4);
  EXPECT_EQ(d.size(0, -1), 4);
  char buf[16];
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "abc");
  EXPECT_STREQ(d.get_string(0, buf, sizeof(buf)), "abc");
  EXPECT_EQ(d.get_string(1, buf, sizeof(buf)), nullptr);
  EXPECT_EQ(d.set(static_cast<const char*>(nullptr)), EQ_ERR_ARG);
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "abc");
}

TEST(EqText, TextIsCutToTheBuffer) {
  EqData d;
  d.set("abcdef");
  char buf[4] = {'x', 'x', 'x', 'x'};
  EXPECT_STREQ(d.get_string(buf, 4), "abc");
  EXPECT_STREQ(d.get_string(buf, 1), "");
  EXPECT_EQ(d.get_string(buf, 0), nullptr);
  EXPECT_EQ(d.get_string(nullptr, 4), nullptr);
}

TEST(EqText, XmlAndTextKeepTheirTypes) {
  EqData d;
  ASSERT_EQ(d.set_xml("<a/>"), EQ_OK);
  EXPECT_EQ(d.type(), DATA_XML);
  ASSERT_EQ(d.set("plain"), EQ_OK);
  EXPECT_EQ(d.type(), DATA_STRING);
  ASSERT_EQ(d.set_type(DATA_TEXT), EQ_OK);
  char buf[16];
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "plain");  // same kind: kept
  ASSERT_EQ(d.set("other"), EQ_OK);
  EXPECT_EQ(d.type(), DATA_TEXT);
}

TEST(EqText, StringMayBeSetFromItsOwnStorage) {
  EqData d;
  d.set("self");
  const char* own = static_cast<const char*>(d.get_data_block()->value.d_array.data);
  ASSERT_EQ(d.set(own + 1), EQ_OK);
  char buf[16];
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "elf");
}

TEST(EqText, NumbersAndArraysAsText) {
  EqData d;
  char buf[64];
  d.set(-12);
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "-12");
  d.set(XY{1.5f, 2});
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "1.5 2");
  d.length(3);
  d.set(7u, 0);
  d.set(8u, 2);
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "7 0 8");
  EXPECT_STREQ(d.get_string(2, buf, sizeof(buf)), "8");
  EXPECT_EQ(d.get_string(3, buf, sizeof(buf)), nullptr);
  EXPECT_STREQ(buf, "");
}

TEST(EqKeyVal, KeyAndValueRoundTrip) {
  EqData d;
  ASSERT_EQ(d.clear_keys(), EQ_OK);
  EXPECT_EQ(d.type(), DATA_KEYVAL);
  EXPECT_EQ(d.length(), 0);
  ASSERT_EQ(d.set_val("gain", "3.5"), EQ_OK);
  ASSERT_EQ(d.set_val("url", "http://host:80"), EQ_OK);  // second colon stays in the value
  EXPECT_EQ(d.length(), 2);
  char buf[32];
  EXPECT_EQ(d.get_val("url", buf, sizeof(buf)), EQ_OK);
  EXPECT_STREQ(buf, "http://host:80");
  EXPECT_STREQ(d.get_string(0, buf, sizeof(buf)), "gain:3.5");
  EXPECT_EQ(d.get_val("gai", buf, sizeof(buf)), EQ_ERR_ARG);
  EXPECT_EQ(d.get_val("missing", buf, sizeof(buf)), EQ_ERR_ARG);
}

TEST(EqKeyVal, ExistingKeyIsReplacedNotDuplicated) {
  EqData d;
  d.clear_keys();
  d.set_val("a", "1");
  d.set_val("b", "2");
  ASSERT_EQ(d.set_val("a", "longer value"), EQ_OK);
  EXPECT_EQ(d.length(), 2);
  char buf[32];
  d.get_val("a", buf, sizeof(buf));
  EXPECT_STREQ(buf, "longer value");
  d.get_val("b", buf, sizeof(buf));
  EXPECT_STREQ(buf, "2");
  ASSERT_EQ(d.clear_keys(), EQ_OK);
  EXPECT_EQ(d.length(), 0);
  EXPECT_EQ(d.get_val("a", buf, sizeof(buf)), EQ_ERR_ARG);
}

TEST(EqKeyVal, BadKeysAreRefused) {
  EqData d;
  d.clear_keys();
  EXPECT_EQ(d.set_val("a:b", "1"), EQ_ERR_ARG);
  EXPECT_EQ(d.set_val("", "1"), EQ_ERR_ARG);
  EXPECT_EQ(d.set_val(nullptr, "1"), EQ_ERR_ARG);
  EXPECT_EQ(d.set_val("a", nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.length(), 0);
}

TEST(EqKeyVal, ManyKeysKeepEarlierStringsValid) {
  EqData d;
  for (int i = 0; i < 100; ++i) {
    const std::string k = "k" + std::to_string(i);
    ASSERT_EQ(d.set_val(k.c_str(), std::to_string(i * i).c_str()), EQ_OK);
  }
  EXPECT_EQ(d.type(), DATA_KEYVAL);
  char buf[16];
  ASSERT_EQ(d.get_val("k7", buf, sizeof(buf)), EQ_OK);
  EXPECT_STREQ(buf, "49");
  EXPECT_STREQ(d.get_string(99, buf, sizeof(buf)), "k99:9801");
}

TEST(EqStringElements, UstrAndXyzsStringsAreCopied) {
  EqData d;
  d.length(2);
  char text[] = "chan";
  USTR u{};
  u.i1_data = 5;
  u.str = text;
  ASSERT_EQ(d.set(u, 1), EQ_OK);
  text[0] = 'X';  // the container holds its own copy
  EXPECT_EQ(d.type(), DATA_A_USTR);
  ASSERT_NE(d.get_ustr(1), nullptr);
  EXPECT_STREQ(d.get_ustr(1)->str, "chan");
  EXPECT_EQ(d.get_ustr(1)->str_len, 5u);
  EXPECT_EQ(d.get_ustr(1)->i1_data, 5);
  EXPECT_EQ(d.get_ustr(0)->str, nullptr);
  EXPECT_EQ(d.size(0, -1), 2 * 40 + 5);
  EXPECT_EQ(d.size(0, 1), 40);

  // str_len bounds the copy when the text has no terminator within it.
  char unterminated[4] = {'a', 'b', 'c', 'd'};
  u.str = unterminated;
  u.str_len = 2;
  ASSERT_EQ(d.set(u, 0), EQ_OK);
  EXPECT_STREQ(d.get_ustr(0)->str, "ab");

  XYZS x{};
  x.z = 1.5f;
  x.str = text;
  ASSERT_EQ(d.set(x, 1), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_XYZS);
  char buf[16];
  EXPECT_STREQ(d.get_string(1, buf, sizeof(buf)), "Xhan");
  EXPECT_EQ(d.get_xyzs(1)->z, 1.5f);
}

TEST(EqBlockText, OneLineWithHeaderAndValue) {
  EqData d;
  d.set(42);
  d.set_event_id(quorm::EventId(7));
  d.set_timestamp(quorm::Timestamp::from_sec_usec(100, 5));
  EXPECT_EQ(d.to_string(), "type:DATA_INT(1) time:100.000005 error:0 event:7 value:42");
  d.set("text");
  EXPECT_EQ(d.to_string(), "type:DATA_STRING(3) time:100.000005 error:0 event:7 length:5");
  EXPECT_EQ(EqData::block_text(nullptr), "EqDataBlock: (null)");
}

TEST(EqBlockText, FollowsNoPointerOfAStoredBlock) {
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  b.data_type = DATA_SPECTRUM;
  b.value.d_spectrum.length = 1000;
  b.value.d_spectrum.data = reinterpret_cast<float*>(uintptr_t{0x10});  // stale address
  b.value.d_spectrum.comment = reinterpret_cast<char*>(uintptr_t{0x20});
  const std::string line = EqData::block_text(&b);
  EXPECT_NE(line.find("length:1000"), std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
  b.data_type = 4242;
  EXPECT_EQ(EqData::block_text(&b).rfind("type:UNKNOWN(4242)", 0), 0u);
}

}  // namespace
