// The format-description interpreter, its parsers, the swap primitives and
// the error texts.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dual_event.h"
#include "event_util.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

int run(const char* format, void* in, void* out, int len, bool image = false) {
  return kova_do_convert_data(in, out, const_cast<char*>(format), len, image);
}

// Result of converting a zeroed 64-byte buffer (enough for every syntax case).
int result_of(const char* format) {
  unsigned char in[64] = {}, out[64] = {};
  return run(format, in, out, sizeof(in));
}

std::vector<unsigned char> bytes(std::initializer_list<int> b) {
  return std::vector<unsigned char>(b.begin(), b.end());
}

}  // namespace

TEST(Interpreter, ArgumentChecksInOrder) {
  unsigned char buf[8] = {};
  EXPECT_EQ(run(nullptr, nullptr, nullptr, 0), 5);
  EXPECT_EQ(run("", nullptr, nullptr, 0), 4);
  EXPECT_EQ(run("X:I1", nullptr, nullptr, 0), 2);
  EXPECT_EQ(run("X:I1", buf, nullptr, 0), 6);
  EXPECT_EQ(run("X:I1", buf, buf, 0), 3);
  EXPECT_EQ(run("NOCOLON", buf, buf, 8), 7);
  EXPECT_EQ(run("KOVA_BLOCK_ENERGY:", buf, buf, 8), 8);
}

TEST(Interpreter, SyntaxErrors) {
  for (const char* f :
       {"X:L0(F1)", "X:I1=L0",   "X:UX1",     "X:U1",       "X:F0",       "X:Z3",   "X:F",
        "X:F1x",    "X:I1::I1",  "X:I1:",     "X:(F1)",     "X:0(F1)",    "X:2(F1", "X:2(F1))",
        "X:F1)",    "X:2(F1)F1", "X:2L1(F1)", "X:2(I1=L1)", "X:2(F1:F0)", "X:S1=L1"}) {
    EXPECT_EQ(result_of(f), 7) << f;
  }
}

TEST(Interpreter, RegisterLimitsAndUndefinedRegisters) {
  EXPECT_EQ(result_of("X:I1=L32"), 10);
  EXPECT_EQ(result_of("X:L32(F1)"), 10);
  EXPECT_EQ(result_of("X:L5(F1)"), 12);
  EXPECT_EQ(result_of("X:I1=L31:L31(F1)"), 0);
  // A negative count is as undefined as an unset register.
  unsigned char in[12] = {0xFF, 0xFF, 0xFF, 0xFF};
  unsigned char out[12];
  EXPECT_EQ(run("X:I1=L1:L1(F1)", in, out, sizeof(in)), 12);
}

TEST(Interpreter, OverlongDescriptionIsRefused) {
  std::string f = "X:" + std::string(300, 'A');
  EXPECT_EQ(result_of(f.c_str()), 5);
}

TEST(Interpreter, SwapsEveryLetterAndCopiesText) {
  auto in =
      bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23});
  std::vector<unsigned char> out(in.size(), 0xEE);
  ASSERT_EQ(run("X:S1:R1:I1:Q1:F1:A2", in.data(), out.data(), 23), 0);
  EXPECT_EQ(out, bytes({2,  1,  5,  4,  3,  9,  8,  7,  6,  17, 16, 15,
                        14, 13, 12, 11, 10, 21, 20, 19, 18, 22, 23}));
}

TEST(Interpreter, GroupsRepeatTheirCodes) {
  auto in = bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  std::vector<unsigned char> out(12, 0);
  ASSERT_EQ(run("X:2(I1:S1)", in.data(), out.data(), 12), 0);
  EXPECT_EQ(out, bytes({4, 3, 2, 1, 6, 5, 10, 9, 8, 7, 12, 11}));
}

TEST(Interpreter, NestedPrefixesMultiply) {
  // 2 x 3 registers worth of 2-byte fields.
  std::vector<unsigned char> in = {0, 0, 0, 2, 0, 0, 0, 3};
  for (int i = 0; i < 12; ++i) in.push_back(static_cast<unsigned char>(i));
  std::vector<unsigned char> out(in.size(), 0);
  ASSERT_EQ(run("X:I1=L1:I1=L2:L1(L2(S1))", in.data(), out.data(), static_cast<int>(in.size())), 0);
  for (int i = 0; i < 12; i += 2) {
    EXPECT_EQ(out[8 + i], i + 1);
    EXPECT_EQ(out[9 + i], i);
  }
}

TEST(Interpreter, DirectionDecidesWhereRegistersAreRead) {
  // A 2010 one-channel spectrum, written in host and network order.
  dual::Values v;
  dual::DualBuffer d;
  dual::spectrum_2010(d, 1, 6, 2, v);
  const char* f = sblock_fmts[KOVA_BLOCK_1CHAN_2010];
  const int n = static_cast<int>(d.size());
  std::vector<unsigned char> out(n);
  ASSERT_EQ(run(f, d.host.data(), out.data(), -n), 0);  // host in: negative length
  EXPECT_EQ(out, d.net);
  ASSERT_EQ(run(f, d.net.data(), out.data(), n), 0);
  EXPECT_EQ(out, d.host);
  // The wrong sign reads the counts byte-reversed: far more samples than fit.
  EXPECT_EQ(run(f, d.host.data(), out.data(), n), 14);
}

TEST(Interpreter, BpmSpectrumFitsOnlyWithItsSamples) {
  dual::Values v;
  dual::DualBuffer d;
  dual::spectrum_2010(d, 2, 3, 1, v);
  ASSERT_EQ(d.size(), 308u);
  std::vector<unsigned char> out(308);
  EXPECT_EQ(run(sblock_fmts[38], d.net.data(), out.data(), 308), 0);
  EXPECT_EQ(out, d.host);
  CaptureStdout();
  EXPECT_EQ(run(sblock_fmts[38], d.net.data(), out.data(), 300), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 1 llen:16\n");
}

TEST(Interpreter, MessagesNameTheItemKind) {
  unsigned char in[16] = {}, out[16];
  CaptureStdout();
  EXPECT_EQ(run("X:I1:F4", in, out, 16), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 4\n");
  CaptureStdout();
  EXPECT_EQ(run("X:Q1:I2=L1", in, out, 14), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 3\n");
  CaptureStdout();
  EXPECT_EQ(run("X:3(I1:F1)", in, out, 16), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 2\n");
}

TEST(Interpreter, FieldCounterGivesFourteenForLongTextRuns) {
  unsigned char in[100] = {}, out[100];
  EXPECT_EQ(run("X:A80", in, out, 60), 14);
  CaptureStdout();
  EXPECT_EQ(run("X:F20", in, out, 60), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 4\n");
}

TEST(Interpreter, ZeroRepeatConvertsNothing) {
  unsigned char in[8] = {0, 0, 0, 0, 9, 9, 9, 9};
  unsigned char out[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  ASSERT_EQ(run("X:I1=L1:L1(F1):L1(A3:F1)", in, out, 8), 0);
  EXPECT_EQ(out[4], 7);
}

TEST(Interpreter, TextInPlaceIsLeftAlone) {
  unsigned char buf[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(run("X:A4:I1", buf, buf, 8), 0);
  EXPECT_EQ(std::vector<unsigned char>(buf, buf + 8), bytes({1, 2, 3, 4, 8, 7, 6, 5}));
}

TEST(Interpreter, NothingBeyondTheDescriptionOrTheLengthIsTouched) {
  std::vector<unsigned char> in(32, 0x11), out(32, 0xEE);
  ASSERT_EQ(run("X:I1:S1", in.data(), out.data(), 20), 0);  // longer than described
  for (int i = 6; i < 32; ++i) EXPECT_EQ(out[i], 0xEE) << i;
  out.assign(32, 0xEE);
  CaptureStdout();
  EXPECT_EQ(run("X:I1:F2", in.data(), out.data(), 8), 11);
  GetCapturedStdout();
  for (int i = 4; i < 32; ++i) EXPECT_EQ(out[i], 0xEE) << i;
}

TEST(Interpreter, RegisterKeepsItsLastValue) {
  unsigned char in[16] = {0, 0, 0, 5, 0, 0, 0, 1, 0xAA, 0xBB, 0xCC, 0xDD};
  unsigned char out[16];
  ASSERT_EQ(run("X:I1=L1:I1=L1:L1(F1)", in, out, 12), 0);
  EXPECT_EQ(out[8], 0xDD);
}

TEST(Interpreter, ImageModeCountsBytes) {
  // Six pixel bytes in 2-byte units: three pixels.
  std::vector<unsigned char> in = {0, 0, 0, 6, 1, 2, 3, 4, 5, 6};
  std::vector<unsigned char> out(10, 0);
  ASSERT_EQ(run("X:I1=L1:L1(S1)", in.data(), out.data(), 10, true), 0);
  EXPECT_EQ(out, bytes({6, 0, 0, 0, 2, 1, 4, 3, 6, 5}));
  // Five bytes of 2-byte pixels: the odd byte is carried over unchanged.
  in = {0, 0, 0, 5, 1, 2, 3, 4, 5};
  out.assign(9, 0xEE);
  ASSERT_EQ(run("X:I1=L1:L1(S1)", in.data(), out.data(), 9, true), 0);
  EXPECT_EQ(out, bytes({5, 0, 0, 0, 2, 1, 4, 3, 5}));
}

TEST(Interpreter, HugeCountsFailInsteadOfWrapping) {
  unsigned char in[64] = {0x7F, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF}, out[64];
  EXPECT_EQ(run("X:I1=L1:I1=L2:L1(L2(Q99999999999999))", in, out, 64), 14);
  CaptureStdout();
  EXPECT_EQ(run("X:I1=L1:L1(9999999999999(F1:F1))", in, out, 64), 11);
  EXPECT_EQ(GetCapturedStdout(), "Here 2\n");
  EXPECT_EQ(run("X:A99999999999999999999999999", in, out, 64), 14);
}

TEST(Parsers, CodesAndRegisters) {
  char code = 0;
  bool sign = false;
  int len = 0, bpd = 0;
  EXPECT_EQ(extract_code_length(const_cast<char*>("UQ12"), &code, &sign, &len, &bpd), 0);
  EXPECT_EQ(code, 'Q');
  EXPECT_TRUE(sign);
  EXPECT_EQ(len, 12);
  EXPECT_EQ(bpd, 8);
  EXPECT_EQ(extract_code_length(const_cast<char*>("R3"), &code, &sign, &len, &bpd), 0);
  EXPECT_EQ(bpd, 3);
  EXPECT_FALSE(sign);
  for (const char* bad : {"UX1", "U1", "F0", "Z3", "F", ""})
    EXPECT_EQ(extract_code_length(const_cast<char*>(bad), &code, &sign, &len, &bpd), 7) << bad;
  EXPECT_EQ(extract_code_length(nullptr, &code, &sign, &len, &bpd), 9);
  EXPECT_EQ(extract_code_length(const_cast<char*>("I1"), &code, nullptr, &len, &bpd), 9);

  EXPECT_EQ(extract_length(const_cast<char*>("L17"), &len), 0);
  EXPECT_EQ(len, 17);
  EXPECT_EQ(extract_length(const_cast<char*>("L0"), &len), 7);
  EXPECT_EQ(extract_length(const_cast<char*>("X1"), &len), 7);
  EXPECT_EQ(extract_length(const_cast<char*>("L"), &len), 7);
  EXPECT_EQ(extract_length(nullptr, &len), 9);
}

TEST(Encode, EveryLetter) {
  unsigned char in[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9}, out[9] = {};
  EXPECT_EQ(kova_encode(in, out, 'S', true, 1), 0);
  EXPECT_EQ(out[0], 2);
  EXPECT_EQ(kova_encode(in, out, 'R', false, 3), 0);
  EXPECT_EQ(std::vector<unsigned char>(out, out + 9), bytes({3, 2, 1, 6, 5, 4, 9, 8, 7}));
  EXPECT_EQ(kova_encode(in + 1, out + 1, 'Q', false, 1), 0);  // unaligned
  EXPECT_EQ(out[1], 9);
  EXPECT_EQ(out[8], 2);
  EXPECT_EQ(kova_encode(in, out, 'A', false, 2), 0);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(kova_encode(in, out, 'X', false, 1), 7);
  EXPECT_EQ(kova_encode(nullptr, out, 'I', false, 1), 9);
}

TEST(Swaps, PrimitivesReverseFieldsInPlaceToo) {
  unsigned char b[7] = {1, 2, 3, 4, 5, 6, 7};
  kova_swap3(b, b, 2);
  EXPECT_EQ(std::vector<unsigned char>(b, b + 7), bytes({3, 2, 1, 6, 5, 4, 7}));
  kova_swap3(b, b, 0);
  kova_swap3(b, b, -1);
  EXPECT_EQ(b[0], 3);

  // Long enough for the 16-byte paths and an odd tail.
  std::vector<int> w(37);
  for (int i = 0; i < 37; ++i) w[i] = 0x01020304 + i;
  kova_swap4(w.data(), w.data(), 37);
  for (int i = 0; i < 37; ++i) EXPECT_EQ(w[i], static_cast<int>(__builtin_bswap32(0x01020304 + i)));
  std::vector<short> s(19);
  std::vector<short> so(19);
  for (int i = 0; i < 19; ++i) s[i] = static_cast<short>(0x0102 + i);
  kova_swap2(s.data(), so.data(), 19);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(so[i], static_cast<short>(__builtin_bswap16(0x0102 + i)));
  std::vector<uint64_t> q(9);
  for (int i = 0; i < 9; ++i) q[i] = 0x0102030405060708ull + i;
  kova_swap8(q.data(), q.data(), 9);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(q[i], __builtin_bswap64(0x0102030405060708ull + i));

  EXPECT_EQ(htonll(0x0102030405060708ull), 0x0807060504030201ull);
  EXPECT_EQ(ntohll(0x0102030405060708ull), 0x0807060504030201ull);
  EXPECT_EQ(swap8bytes(0x0102030405060708ull), 0x0807060504030201ull);
}

TEST(Swaps, EveryLengthInPlaceAndOutOfPlace) {
  // Crosses every vector width and tail length of each field size.
  for (int size : {2, 3, 4, 8}) {
    for (int n = 0; n <= 70; ++n) {
      std::vector<unsigned char> in(size * n + 1), out(size * n + 1, 0xEE), expect(size * n + 1);
      for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<unsigned char>(i * 7 + 1);
      for (int f = 0; f < n; ++f)
        for (int b = 0; b < size; ++b) expect[f * size + b] = in[f * size + size - 1 - b];
      expect.back() = 0xEE;
      const char letter = size == 2 ? 'S' : size == 3 ? 'R' : size == 4 ? 'I' : 'Q';
      ASSERT_EQ(kova_encode(in.data(), out.data(), letter, false, n), 0);
      EXPECT_EQ(out, expect) << size << " " << n;
      std::vector<unsigned char> same = in;
      ASSERT_EQ(kova_encode(same.data(), same.data(), letter, false, n), 0);
      expect.back() = in.back();
      EXPECT_EQ(same, expect) << size << " " << n << " in place";
    }
  }
}

TEST(ErrorTexts, EveryCode) {
  EXPECT_STREQ(kova_get_convert_error(1), "Invalid data type must be between 0 ... 62");
  EXPECT_STREQ(kova_get_convert_error(0), "Invalid data type must be between 0 ... 62");
  const char* texts[] = {"Invalid input address",
                         "Invalid data length",
                         "Undefined data format",
                         "Invalid data format",
                         "Invalid output address",
                         "Wrong syntacsis in format",
                         "Empty format",
                         "NULL parameter",
                         "TOO many length references",
                         "Inconsistent Data length ",
                         "Undefined group length ",
                         "Inconsistent event",
                         "Inconsistent ENV server block",
                         "Wrong pattern"};
  for (int code = 2; code <= 15; ++code)
    EXPECT_STREQ(kova_get_convert_error(code), texts[code - 2]);
  EXPECT_STREQ(kova_get_convert_error(16), "Unspecified error code: 16");
  EXPECT_STREQ(kova_get_convert_error(-4), "Unspecified error code: -4");
}

TEST(FormatTable, MarksTypesWithoutFormats) {
  for (int t : {0, 29, 30, 31, 32, 54, 55, 56, 57, 58, 59}) EXPECT_STREQ(sblock_fmts[t], "") << t;
  EXPECT_STREQ(sblock_fmts[12], "KOVA_BLOCK_ENERGY:");
  EXPECT_STREQ(sblock_fmts[44], "KOVA_BLOCK_ENERGY:");
  EXPECT_STREQ(sblock_fmts[62],
               "KOVA_BLOCK_7CHAN_2010:F1:F1:I1=L1:I1=L2:I1:7(UI1:F24:I8):L1(L2(F7))");
  // Every other description parses and converts a zero-count record.
  for (int t = 1; t < KOVA_BLOCK_MAX_2010; ++t) {
    if (sblock_fmts[t][0] == '\0' || t == 12 || t == 44) continue;
    std::vector<unsigned char> buf(4096, 0);
    EXPECT_EQ(kova_do_convert_data(buf.data(), buf.data(), const_cast<char*>(sblock_fmts[t]), 4096,
                                   false),
              0)
        << t;
  }
}
