// Payload conversion by sub-block type, the generic spectrum array, the
// framework data block and the channel dictionary.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dual_event.h"
#include "event_util.h"

using dual::DualBuffer;
using Bytes = std::vector<unsigned char>;

namespace {

// Both directions, in place and out of place, against the dual encoding.
void expect_payload(int type, const DualBuffer& d, const std::string& what) {
  const int n = static_cast<int>(d.size());
  Bytes out(n, 0xEE);
  EXPECT_EQ(kova_convert_data(const_cast<unsigned char*>(d.host.data()), out.data(), type, -n), 0)
      << what;
  EXPECT_EQ(out, d.net) << what;
  out.assign(n, 0xEE);
  EXPECT_EQ(kova_convert_data(const_cast<unsigned char*>(d.net.data()), out.data(), type, n), 0)
      << what;
  EXPECT_EQ(out, d.host) << what;
  Bytes in_place = d.host;
  EXPECT_EQ(kova_convert_data(in_place.data(), nullptr, type, -n), 0) << what;
  EXPECT_EQ(in_place, d.net) << what;
  EXPECT_EQ(kova_convert_data(in_place.data(), in_place.data(), type, n), 0) << what;
  EXPECT_EQ(in_place, d.host) << what;
}

// A copy on the heap of exactly n bytes, so a sanitizer sees any overrun.
std::unique_ptr<unsigned char[]> exact(const Bytes& b, size_t n) {
  std::unique_ptr<unsigned char[]> p(new unsigned char[n > 0 ? n : 1]);
  memcpy(p.get(), b.data(), n < b.size() ? n : b.size());
  return p;
}

}  // namespace

TEST(PayloadConversion, EveryTypeWithAFormat) {
  for (int t = 1; t < KOVA_BLOCK_MAX_2010; ++t) {
    if (sblock_fmts[t][0] == '\0' || t == 12 || t == 44) continue;
    dual::Values v;
    DualBuffer d;
    // A slow payload converts as one entry; events walk the entries.
    if ((t >= 1 && t <= 5) || (t >= 33 && t <= 37)) {
      dual::slow_entries(d, t, 1, v);
    } else {
      dual::payload_of_type(d, t, v);
    }
    expect_payload(t, d, "type " + std::to_string(t));
  }
}

TEST(PayloadConversion, ImagesByBytesPerPixel) {
  for (int bpp = 1; bpp <= 3; ++bpp) {
    for (int bytes : {0, 1, 2, 3, 4, 5, 6, 7, 48, 49, 50, 51, 301}) {
      dual::Values v;
      DualBuffer a, b;
      dual::image_13(a, bpp, bytes, v);
      dual::image_27(b, bpp, bytes, v);
      expect_payload(13, a, "13 bpp " + std::to_string(bpp) + " bytes " + std::to_string(bytes));
      expect_payload(27, b, "27 bpp " + std::to_string(bpp) + " bytes " + std::to_string(bytes));
    }
  }
}

TEST(PayloadConversion, TwoBytePixelsSwapInPixelUnits) {
  dual::Values v;
  DualBuffer d;
  dual::image_13(d, 2, 4, v);
  Bytes out(d.size());
  ASSERT_EQ(kova_convert_data(d.net.data(), out.data(), 13, static_cast<int>(d.size())), 0);
  EXPECT_EQ(out[28], d.net[29]);
  EXPECT_EQ(out[29], d.net[28]);
}

TEST(PayloadConversion, UnsupportedPixelWidthsAreRefused) {
  for (int bpp : {0, 4, 5, 15}) {
    dual::Values v;
    DualBuffer a, b;
    dual::image_13(a, 1, 8, v);
    dual::image_27(b, 1, 8, v);
    a.patch_u32(8, bpp);
    b.patch_u32(24, bpp);
    EXPECT_EQ(kova_convert_data(a.net.data(), nullptr, 13, static_cast<int>(a.size())), 5) << bpp;
    EXPECT_EQ(kova_convert_data(b.host.data(), nullptr, 27, -static_cast<int>(b.size())), 5) << bpp;
  }
  // Too short to hold the pixel width at all.
  unsigned char small[27] = {};
  EXPECT_EQ(kova_convert_data(small, nullptr, 13, 11), 11);
  EXPECT_EQ(kova_convert_data(small, nullptr, 27, 27), 11);
}

TEST(PayloadConversion, SpectrumWithZeroGroupsConvertsItsSamples) {
  dual::Values v;
  DualBuffer d;
  dual::spectrum_2010(d, 2, 100, 0, v);
  ASSERT_EQ(d.size(), 1084u);
  expect_payload(38, d, "groups 0");
  expect_payload(0x00260026, d, "groups 0, device type set");
}

TEST(PayloadConversion, ArgumentChecks) {
  unsigned char buf[64] = {};
  EXPECT_EQ(kova_convert_data(buf, buf, 63, 64), 1);
  EXPECT_EQ(kova_convert_data(buf, buf, 0xFFFF, 64), 1);
  EXPECT_EQ(kova_convert_data(nullptr, buf, 38, 64), 2);
  EXPECT_EQ(kova_convert_data(buf, buf, 38, 0), 0);
  EXPECT_EQ(kova_convert_data(buf, buf, 0, 64), 4);
  EXPECT_EQ(kova_convert_data(buf, buf, 54, 64), 4);
  EXPECT_EQ(kova_convert_data(buf, buf, 12, 64), 8);
  EXPECT_EQ(kova_convert_data(buf, buf, 0x2C, 64), 8);
}

TEST(GenericSpectra, EntriesOfDifferentLengths) {
  dual::Values v;
  DualBuffer d;
  dual::generic_spectra(d, {{10, 3}, {0, 0}, {7, 1}, {1, 0}}, v);
  expect_payload(28, d, "generic");
  Bytes out(d.size());
  EXPECT_EQ(kova_do_convert_generic_data(d.net.data(), out.data(), static_cast<int>(d.size())), 0);
  EXPECT_EQ(out, d.host);
}

TEST(GenericSpectra, NoSubChannelsConvertsTheTwoWords) {
  dual::Values v;
  DualBuffer d;
  dual::generic_spectra(d, {}, v);
  Bytes in = d.host;
  in.resize(64, 0x77);
  Bytes out(64, 0xEE);
  ASSERT_EQ(kova_do_convert_generic_data(in.data(), out.data(), -64), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 8), d.net);
  EXPECT_EQ(out[8], 0xEE);
}

TEST(GenericSpectra, EntriesMustFit) {
  dual::Values v;
  DualBuffer d;
  dual::generic_spectra(d, {{10, 3}, {7, 1}}, v);
  const size_t n = d.size();
  for (size_t cut : {size_t(4), size_t(8), size_t(100), size_t(160), n - 4, n - 1}) {
    auto buf = exact(d.net, cut);
    EXPECT_EQ(kova_do_convert_generic_data(buf.get(), buf.get(), static_cast<int>(cut)), 11) << cut;
  }
  Bytes neg = d.host;
  int32_t minus = -3;
  memcpy(neg.data() + 8 + 140, &minus, 4);
  EXPECT_EQ(kova_do_convert_generic_data(neg.data(), neg.data(), -static_cast<int>(n)), 12);
}

TEST(EqDataBlocks, EveryStoredKindBothWays) {
  for (int k = 0; k < dual::kEqKinds; ++k) {
    dual::Values v;
    DualBuffer d;
    dual::eq_block(d, k, v);
    expect_payload(23, d, "kind " + std::to_string(k));
  }
}

TEST(EqDataBlocks, ShortValueStaysInItsTwoBytes) {
  dual::Values v;
  DualBuffer d;
  dual::eq_block(d, 2, v);  // DATA_SHORT
  Bytes out(d.size());
  ASSERT_EQ(kova_do_convert_eq_data(d.host.data(), out.data(), -static_cast<int>(d.size())), 0);
  EXPECT_EQ(out[44], d.host[45]);
  EXPECT_EQ(out[45], d.host[44]);
  EXPECT_EQ(out[46], 0);
}

TEST(EqDataBlocks, TruncatedBlocksNeverOverrun) {
  for (int k = 0; k < dual::kEqKinds; ++k) {
    dual::Values v;
    DualBuffer d;
    dual::eq_block(d, k, v);
    for (size_t cut = 1; cut < d.size(); ++cut) {
      auto a = exact(d.net, cut);
      auto b = exact(d.host, cut);
      EXPECT_EQ(kova_do_convert_eq_data(a.get(), a.get(), static_cast<int>(cut)), 11)
          << k << " " << cut;
      EXPECT_EQ(kova_do_convert_eq_data(b.get(), b.get(), -static_cast<int>(cut)), 11)
          << k << " " << cut;
    }
  }
}

TEST(EqDataBlocks, RefusedTypesAndArguments) {
  Bytes b(64, 0);
  auto set_type = [&](int32_t t) { memcpy(b.data(), &t, 4); };
  for (int t : {1000, 1001, 1005, 1010, 1014, 1017, 1020}) {
    set_type(t);
    EXPECT_EQ(kova_do_convert_eq_data(b.data(), b.data(), -64), -3) << t;
  }
  for (int t : {30, 31, 32, 5, 1011, 1012, 1021, -1}) {
    set_type(t);
    EXPECT_EQ(kova_do_convert_eq_data(b.data(), b.data(), -64), -4) << t;
  }
  EXPECT_EQ(kova_do_convert_eq_data(nullptr, b.data(), 64), -1);
  EXPECT_EQ(kova_do_convert_eq_data(b.data(), nullptr, 64), -1);
  EXPECT_EQ(kova_do_convert_eq_data(b.data(), b.data(), 0), -1);
  // An image whose pixel width the bridge does not know.
  dual::Values v;
  DualBuffer img;
  dual::eq_block(img, 11, v);
  Bytes host = img.host;
  int32_t bpp = 7;
  memcpy(host.data() + 44 + 24, &bpp, 4);
  EXPECT_EQ(kova_do_convert_eq_data(host.data(), host.data(), -static_cast<int>(host.size())), -4);
  // An unterminated text.
  Bytes text(52, 'x');
  int32_t string_type = 3;
  memcpy(text.data(), &string_type, 4);
  EXPECT_EQ(kova_do_convert_eq_data(text.data(), text.data(), -52), 11);
}

TEST(ChannelDictionary, EntriesKeepTheirNames) {
  DualBuffer d;
  for (int i = 0; i < 3; ++i) {
    d.u32(1000 + i);
    d.raw_text("CHANNEL/" + std::to_string(i), 256);
    d.u32(0x10u << i);
    d.u32(0x20u << i);
    d.u32(7u * i);
  }
  Bytes out(d.size(), 0);
  ASSERT_EQ(kova_convert_kova_chan_dictionary_table_2010(d.host.data(), out.data(), 3), 0);
  EXPECT_EQ(out, d.net);
  ASSERT_EQ(kova_convert_kova_chan_dictionary_table_2010(out.data(), out.data(), 3), 0);
  EXPECT_EQ(out, d.host);
  EXPECT_EQ(kova_convert_kova_chan_dictionary_table_2010(out.data(), out.data(), 0), 11);
  EXPECT_EQ(kova_convert_kova_chan_dictionary_table_2010(out.data(), out.data(), -2), 11);
}
