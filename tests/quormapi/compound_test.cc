// Values with parts: spectra, time-stamped spectra, images, byte arrays and
// multi-dimensional arrays.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "eqdata.h"

namespace {

SPECTRUM make_spectrum(const char* comment, float* samples, uint32_t n) {
  SPECTRUM s{};
  s.comment = const_cast<char*>(comment);
  s.start = 1.0f;
  s.inc = 0.5f;
  s.status = 9;
  s.length = n;
  s.data = samples;
  return s;
}

TEST(EqSpectrum, CommentAndSamplesAreCopied) {
  std::vector<float> samples = {1, 2, 3};
  EqData d;
  ASSERT_EQ(d.set(make_spectrum("beam", samples.data(), 3)), EQ_OK);
  samples[1] = 99;  // the container holds its own copy
  EXPECT_EQ(d.type(), DATA_SPECTRUM);
  const SPECTRUM* s = d.get_spectrum();
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->comment, "beam");
  EXPECT_EQ(s->comment_len, 5u);
  EXPECT_EQ(s->status, 9u);
  EXPECT_EQ(d.length(), 3);
  EXPECT_EQ(d.get_float(1), 2.0f);
  EXPECT_EQ(d.get_float(3), 0.0f);
  EXPECT_EQ(d.size(0, -1), 56 + 5 + 12);
  char buf[16];
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "beam");
}

TEST(EqSpectrum, MissingSamplesAreRefused) {
  EqData d;
  d.set(3);
  EXPECT_EQ(d.set(make_spectrum("x", nullptr, 4)), EQ_ERR_ARG);
  EXPECT_EQ(d.type(), DATA_INT);
  EXPECT_EQ(d.get_int(), 3);
  ASSERT_EQ(d.set(make_spectrum(nullptr, nullptr, 0)), EQ_OK);  // empty is fine
  EXPECT_EQ(d.get_spectrum()->comment, nullptr);
  EXPECT_EQ(d.length(), 0);
}

TEST(EqSpectrum, SettingFromItsOwnPartsIsSafe) {
  std::vector<float> samples = {4, 5};
  EqData d;
  d.set(make_spectrum("again", samples.data(), 2));
  const SPECTRUM copy = *d.get_spectrum();
  ASSERT_EQ(d.set(copy), EQ_OK);
  EXPECT_STREQ(d.get_spectrum()->comment, "again");
  EXPECT_EQ(d.get_float(1), 5.0f);
}

TEST(EqSpectrum, GenericSpectrumKeepsItsParameters) {
  std::vector<float> samples(10, 0.25f);
  GSPECTRUM g{};
  g.comment = const_cast<char*>("gs");
  g.groups = 2;
  g.prm[35] = 7.5f;
  g.length = 10;
  g.data = samples.data();
  EqData d;
  ASSERT_EQ(d.set(g), EQ_OK);
  EXPECT_EQ(d.type(), DATA_GSPECTRUM);
  EXPECT_EQ(d.get_gspectrum()->groups, 2);
  EXPECT_EQ(d.get_gspectrum()->prm[35], 7.5f);
  EXPECT_EQ(d.get_float(9), 0.25f);
  EXPECT_EQ(d.get_spectrum(), nullptr);
}

TEST(EqTsSpectrum, ElementsHoldTheirOwnParts) {
  std::vector<float> a = {1, 2}, b = {3};
  EqData d;
  d.set_type(DATA_A_TS_SPECTRUM);
  ASSERT_EQ(d.length(2), EQ_OK);
  ASSERT_EQ(d.set_ts_spect(make_spectrum("first", a.data(), 2), 11, 1, 2, 0), EQ_OK);
  ASSERT_EQ(d.set_ts_spect(make_spectrum("second", b.data(), 1), 12, 3, 4, 1), EQ_OK);
  EXPECT_EQ(d.set_ts_spect(make_spectrum("third", b.data(), 1), 13, 0, 0, 2), EQ_ERR_RANGE);
  const EqTsSpectrum* e = d.get_ts_spect(1);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->id, 12u);
  EXPECT_EQ(e->status, 3);
  EXPECT_EQ(e->flags, 4);
  EXPECT_STREQ(e->spectrum.comment, "second");
  EXPECT_EQ(e->spectrum.data[0], 3.0f);
  EXPECT_EQ(d.get_ts_spect(0)->spectrum.data[1], 2.0f);
  EXPECT_EQ(d.size(0, -1), 2 * 64 + (6 + 8) + (7 + 4));

  // Growing the array moves the element images, not their parts.
  ASSERT_EQ(d.length(50), EQ_OK);
  EXPECT_STREQ(d.get_ts_spect(0)->spectrum.comment, "first");
  // Shrinking drops the parts of the removed elements.
  ASSERT_EQ(d.length(1), EQ_OK);
  EXPECT_EQ(d.get_ts_spect(1), nullptr);
}

TEST(EqTsSpectrum, GenericElements) {
  std::vector<float> a = {6};
  GSPECTRUM g{};
  g.length = 1;
  g.data = a.data();
  EqData d;
  d.length(1);
  ASSERT_EQ(d.set_ts_gspect(g, 5, 6, 7, 0), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_TS_GSPECTRUM);
  EXPECT_EQ(d.get_ts_gspect(0)->spectrum.data[0], 6.0f);
  EXPECT_EQ(d.get_ts_gspect(0)->flags, 7);
}

TEST(EqImage, BytesHeaderAndCommentRoundTrip) {
  IMH h{};
  h.width = 4;
  h.height = 2;
  h.bpp = 1;
  h.tm = 500;
  h.tm_usec = 6;
  h.event_lo = 77;
  const unsigned char pixels[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EqData d;
  d.set_timestamp(quorm::Timestamp::from_sec_usec(1, 1));
  ASSERT_EQ(d.set_image(pixels, 8, h, false, false, "cam1"), EQ_OK);
  EXPECT_EQ(d.type(), DATA_IMAGE);
  EXPECT_EQ(d.length(), 8);
  ASSERT_NE(d.get_image(), nullptr);
  EXPECT_EQ(d.get_image()->header.width, 4);
  EXPECT_EQ(d.get_image()->bytes[7], 8);
  EXPECT_STREQ(d.get_image_comm(), "cam1");
  // Time and event id come from the header when not kept.
  EXPECT_EQ(d.get_data_block()->tm, 500);
  EXPECT_EQ(d.get_data_block()->tm_usec, 6);
  EXPECT_EQ(d.get_event_id().to_int(), 77u);
  EXPECT_EQ(d.size(0, -1), 160 + 5 + 8);

  d.set_event_id(quorm::EventId(3));
  ASSERT_EQ(d.set_image(pixels, 4, h, true, true), EQ_OK);
  EXPECT_EQ(d.get_data_block()->tm, 500);
  EXPECT_EQ(d.get_event_id().to_int(), 3u);
  EXPECT_EQ(d.get_image_comm(), nullptr);
}

TEST(EqImage, TimestampAndStatusGoIntoHeaderAndBlock) {
  EqData d;
  EXPECT_EQ(d.set_image_timestamp_and_status(quorm::Timestamp(0), 1), EQ_ERR_TYPE);
  const unsigned char px[1] = {0};
  d.set_image(px, 1, IMH{}, true, true);
  const quorm::Timestamp ts = quorm::Timestamp::from_sec_usec(1700000000, 250000);
  ASSERT_EQ(d.set_image_timestamp_and_status(ts, 42), EQ_OK);
  EXPECT_EQ(d.get_image()->header.tm, 1700000000u);
  EXPECT_EQ(d.get_image()->header.tm_usec, 250000u);
  EXPECT_EQ(d.get_image()->header.status, 42);
  EXPECT_EQ(d.get_timestamp(), ts);
}

TEST(EqImage, BadArgumentsAreRefused) {
  EqData d;
  EXPECT_EQ(d.set_image(nullptr, 4, IMH{}, true, true), EQ_ERR_ARG);
  const unsigned char px[1] = {0};
  EXPECT_EQ(d.set_image(px, -1, IMH{}, true, true), EQ_ERR_ARG);
  EXPECT_EQ(d.set_byte(nullptr, 1, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.type(), DATA_NULL);
}

TEST(EqBytes, ParametersAndBytesRoundTrip) {
  const unsigned char raw[5] = {9, 8, 7, 6, 5};
  const int32_t prm[5] = {1, 2, 3, 4, -5};
  EqData d;
  ASSERT_EQ(d.set_byte(raw, 5, prm), EQ_OK);
  EXPECT_EQ(d.type(), DATA_A_BYTE);
  EXPECT_EQ(d.length(), 5);
  EXPECT_EQ(d.get_byte()->prm[4], -5);
  EXPECT_EQ(d.get_byte()->bytes[0], 9);
  EXPECT_EQ(d.get_int(4), 5);
  EXPECT_EQ(d.size(0, -1), 40 + 5);
  ASSERT_EQ(d.length(2), EQ_OK);  // the byte count
  EXPECT_EQ(d.get_byte()->length, 2u);
  EXPECT_EQ(d.get_int(1), 8);
}

TEST(EqMda, DimensionsCommentAndElements) {
  const int32_t dims[3] = {2, 3, 4};
  EqData d;
  ASSERT_EQ(d.set_dims(dims, 3, "cube", nullptr), EQ_OK);
  EXPECT_EQ(d.type(), DATA_MDA_FLOAT);
  EXPECT_EQ(d.length(), 24);
  float* e = d.get_mda();
  ASSERT_NE(e, nullptr);
  for (int i = 0; i < 24; ++i) e[i] = static_cast<float>(i);
  EXPECT_EQ(d.get_float(23), 23.0f);
  EXPECT_EQ(d.get_mda_header()->dims[2], 4);
  EXPECT_EQ(d.get_mda_header()->ndims, 3);
  EXPECT_STREQ(d.get_mda_header()->comment, "cube");
  EXPECT_EQ(d.get_mdad(), nullptr);
  EXPECT_EQ(d.size(0, -1), 64 + 5 + 24 * 4);

  const double init[2] = {1.5, 2.5};
  const int32_t one[1] = {2};
  ASSERT_EQ(d.set_dimsd(one, 1, nullptr, init), EQ_OK);
  EXPECT_EQ(d.type(), DATA_MDA_DOUBLE);
  EXPECT_EQ(d.get_mdad()[1], 2.5);
  EXPECT_EQ(d.get_mda(), nullptr);
}

TEST(EqMda, BadDimensionsAreRefused) {
  const int32_t zero[2] = {3, 0};
  const int32_t huge[2] = {65536, 65536};
  const int32_t eight[8] = {1, 1, 1, 1, 1, 1, 1, 1};
  EqData d;
  EXPECT_EQ(d.set_dims(zero, 2, nullptr, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.set_dims(huge, 2, nullptr, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.set_dims(eight, 8, nullptr, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.set_dims(nullptr, 1, nullptr, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.set_dims(eight, 0, nullptr, nullptr), EQ_ERR_ARG);
  EXPECT_EQ(d.set_dims(eight, 7, nullptr, nullptr), EQ_OK);
  EXPECT_EQ(d.length(), 1);
}

}  // namespace
