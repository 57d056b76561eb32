// Mapping, page windows, the trailer and the file reference table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "daq_fixture.h"
#include "generation_guard.h"

using daqtest::Mapped;
using daqtest::OnDisk;
using daqtest::TempFile;
using daqtest::Variant;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

TEST(PageOffset, WindowStartsAndDeltas) {
  if (sysconf(_SC_PAGESIZE) != 4096) GTEST_SKIP() << "cases written for 4096-byte pages";
  struct Case {
    off_t length, offset, start, delta;
  } cases[] = {
      {8194, 8192, 4096, 4096},                // only 2 bytes after 8192: one page earlier
      {8197, 8192, 8192, 0},                   // 5 bytes left: no step back
      {10000, 0, 0, 0},                        // offset 0
      {10000, 5000, 4096, 904}, {4, 2, 0, 2},  // short file: never before the start of the file
      {4097, 4096, 0, 4096},
  };
  for (const auto& c : cases) {
    off_t delta = -1;
    EXPECT_EQ(kova_get_page_offset(c.length, c.offset, &delta), c.start)
        << c.length << " " << c.offset;
    EXPECT_EQ(delta, c.delta) << c.length << " " << c.offset;
  }
  EXPECT_EQ(kova_get_page_offset(100, 101, nullptr), -1);
  EXPECT_EQ(kova_get_page_offset(0, 0, nullptr), -1);
  EXPECT_EQ(kova_get_page_offset(100, -4, nullptr), -1);
  EXPECT_EQ(kova_get_page_offset(10000, 5000, nullptr), 4096);  // delta not wanted
}

TEST(MapFile, WholeFilePrefixAndFailures) {
  TempFile f;
  std::vector<unsigned char> bytes(10000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
  ASSERT_TRUE(f.write(bytes));
  u_char* p = nullptr;
  int fd = -1;
  unsigned long len = 0;
  ASSERT_EQ(kova_map_file(f.c_path(), &p, &fd, &len, nullptr), 0);
  EXPECT_EQ(len, 10000u);
  EXPECT_EQ(memcmp(p, bytes.data(), bytes.size()), 0);
  EXPECT_EQ(kova_unmap_file(p, fd, len), 0);

  len = 100;  // a preset length maps only that prefix and stays as it was
  ASSERT_EQ(kova_map_file(f.c_path(), &p, &fd, &len, nullptr), 0);
  EXPECT_EQ(len, 100u);
  EXPECT_EQ(memcmp(p, bytes.data(), 100), 0);
  EXPECT_EQ(kova_unmap_file(p, fd, len), 0);

  len = 1u << 20;  // longer than the file: only what the file holds
  ASSERT_EQ(kova_map_file(f.c_path(), &p, &fd, &len, nullptr), 0);
  EXPECT_EQ(len, 10000u);
  EXPECT_EQ(kova_unmap_file(p, fd, len), 0);

  len = 0;
  char missing[] = "/nonexistent/daq/file.raw";
  char empty[] = "";
  EXPECT_EQ(kova_map_file(missing, &p, &fd, &len, nullptr), -2);
  EXPECT_EQ(kova_map_file(empty, &p, &fd, &len, nullptr), -1);
  EXPECT_EQ(kova_map_file(nullptr, &p, &fd, &len, nullptr), -1);
  EXPECT_EQ(kova_map_file(f.c_path(), nullptr, &fd, &len, nullptr), -1);
  EXPECT_EQ(kova_map_file(f.c_path(), &p, nullptr, &len, nullptr), -1);
  EXPECT_EQ(kova_map_file(f.c_path(), &p, &fd, nullptr, nullptr), -1);
  EXPECT_EQ(kova_unmap_file(nullptr, -1, 0), -1);

  TempFile zero;  // an empty file cannot be mapped
  len = 0;
  EXPECT_EQ(kova_map_file(zero.c_path(), &p, &fd, &len, nullptr), -3);
}

// The FRT of every generation and byte order, through every reader that
// exists for it; the swapped file gives the same host-order table.
class FrtTest : public testing::TestWithParam<Variant> {};

std::vector<unsigned char> read_frt(const Variant& v, OnDisk& d, int* out) {
  const u_char* tail = d.map.base();
  unsigned long n = d.map.len();
  u_char* m = const_cast<u_char*>(tail);
  std::vector<unsigned char> got;
  if (v.gen == 2009) {
    kova_file_reference_table* whole = nullptr;
    EXPECT_EQ(get_kova_file_reference_table(m, n, &whole, out), 0);
    kova_file_reference_table* win = nullptr;
    EXPECT_EQ(get_kova_file_reference_table_m(m, n, n, d.map.fd(), &win), 0);
    got = daqtest::bytes_of(whole, 168);
    EXPECT_EQ(daqtest::bytes_of(win, 168), got);
    if (*out == 1) free(whole);
    free(win);
  } else if (v.gen == 2010) {
    kova_file_reference_table_2010* win = nullptr;
    EXPECT_EQ(get_kova_file_reference_table_m_2010(m, n, n, d.map.fd(), &win), 0);
    got = daqtest::bytes_of(win, 168);
    free(win);
    *out = v.swapped ? 1 : 0;
  } else {
    kova_file_reference_table_2024* whole = nullptr;
    EXPECT_EQ(get_kova_file_reference_table_2024(m, n, &whole, out), 0);
    kova_file_reference_table_2024* win = nullptr;
    EXPECT_EQ(get_kova_file_reference_table_m_2024(m, n, n, d.map.fd(), &win), 0);
    got = daqtest::bytes_of(whole, 336);
    EXPECT_EQ(daqtest::bytes_of(win, 336), got);
    if (*out == 1) free(whole);
    free(win);
  }
  return got;
}

TEST_P(FrtTest, SameTableInBothByteOrders) {
  const Variant v = GetParam();
  const auto host = daqtest::make_sample({v.gen, false});
  const auto mine = daqtest::make_sample(v);
  ASSERT_FALSE(mine.bytes.empty());
  OnDisk h(host.bytes), d(mine.bytes);
  ASSERT_EQ(d.map.rc(), 0);
  int out_h = -1, out_d = -1;
  const auto expect = read_frt({v.gen, false}, h, &out_h);
  const auto got = read_frt(v, d, &out_d);
  EXPECT_EQ(got, expect);
  EXPECT_EQ(out_h, 0);
  EXPECT_EQ(out_d, v.swapped ? 1 : 0);
  // The references are where the writer put the tables.
  if (v.gen == 2024) {
    kova_file_reference_table_2024 f;
    memcpy(&f, got.data(), sizeof(f));
    EXPECT_EQ(f.pattern, KOVA_FILE_REFERENCE_TABLE_PATTERN_2024);
    EXPECT_EQ(f.length, 336u);
    EXPECT_EQ(static_cast<uint64_t>(f.cdt_ref), mine.layout.cdt);
    EXPECT_EQ(static_cast<uint64_t>(f.eite_pos_ref[KOVA_EV_NORMAL]),
              mine.layout.eite[KOVA_EV_NORMAL]);
  } else {
    kova_file_reference_table f;
    memcpy(&f, got.data(), sizeof(f));
    EXPECT_EQ(f.pattern, v.gen == 2009 ? KOVA_FILE_REFERENCE_TABLE_PATTERN
                                       : KOVA_FILE_REFERENCE_TABLE_PATTERN_2010);
    EXPECT_EQ(f.length, 168);
    EXPECT_EQ(f.ecp_ref, mine.layout.ecpt);
    EXPECT_EQ(f.srvbb_ref, mine.layout.sbhb);
  }
}

TEST_P(FrtTest, TrailerOffsetIsBigEndianInBothOrders) {
  const Variant v = GetParam();
  const auto s = daqtest::make_sample(v);
  const size_t w = v.gen == 2024 ? 8 : 4;
  const unsigned char* at = s.bytes.data() + s.bytes.size() - 2 * w;
  uint64_t offset = 0;
  for (size_t i = 0; i < w; ++i) offset = (offset << 8) | at[i];
  EXPECT_EQ(offset, s.layout.frt);
}

TEST_P(FrtTest, DispatcherFollowsTheGenerationFlags) {
  const Variant v = GetParam();
  GenerationGuard guard;
  if (v.gen == 2009) GenerationGuard::use_2009();
  if (v.gen == 2010) set_data_format_2010(true);
  if (v.gen == 2024) set_data_format_2024(true);
  const auto s = daqtest::make_sample(v);
  OnDisk d(s.bytes);
  void* t = nullptr;
  ASSERT_EQ(get_kova_file_reference_table_m(d.map.base(), d.map.len(), d.map.len(), d.map.fd(), &t),
            0);
  if (v.gen == 2024)
    EXPECT_EQ(static_cast<kova_file_reference_table_2024*>(t)->pattern,
              KOVA_FILE_REFERENCE_TABLE_PATTERN_2024);
  else
    EXPECT_EQ(
        static_cast<kova_file_reference_table*>(t)->pattern,
        v.gen == 2009 ? KOVA_FILE_REFERENCE_TABLE_PATTERN : KOVA_FILE_REFERENCE_TABLE_PATTERN_2010);
  free(t);
}

INSTANTIATE_TEST_SUITE_P(AllFiles, FrtTest, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });

// Whole-file readers of a host-order file copy nothing.
TEST(Frt, HostOrderResultPointsIntoTheMapping) {
  for (int gen : {2009, 2024}) {
    const auto s = daqtest::make_sample({gen, false});
    OnDisk d(s.bytes);
    void* t = nullptr;
    int out = -1;
    if (gen == 2009)
      ASSERT_EQ(
          get_kova_file_reference_table(d.map.base(), d.map.len(),
                                        reinterpret_cast<kova_file_reference_table**>(&t), &out),
          0);
    else
      ASSERT_EQ(get_kova_file_reference_table_2024(
                    d.map.base(), d.map.len(),
                    reinterpret_cast<kova_file_reference_table_2024**>(&t), &out),
                0);
    EXPECT_EQ(t, d.map.base() + s.layout.frt);
    EXPECT_EQ(out, 0);
  }
}

// Runs the FRT readers of generation `gen` on `bytes`; returns their codes
// (whole-file where it exists, then windowed) and what they printed.
struct FrtRun {
  int whole = 0, windowed = 0;
  std::string printed;
};

FrtRun run_frt(int gen, const std::vector<unsigned char>& bytes) {
  OnDisk d(bytes);
  FrtRun r;
  u_char* m = d.map.base();
  const unsigned long n = d.map.len();
  CaptureStdout();
  if (gen == 2009) {
    kova_file_reference_table* t = nullptr;
    int out = 0;
    r.whole = get_kova_file_reference_table(m, n, &t, &out);
    if (r.whole == 0 && out == 1) free(t);
    r.windowed = get_kova_file_reference_table_m(m, n, n, d.map.fd(), &t);
    if (r.windowed == 0) free(t);
  } else if (gen == 2010) {
    kova_file_reference_table_2010* t = nullptr;
    r.whole = r.windowed = get_kova_file_reference_table_m_2010(m, n, n, d.map.fd(), &t);
    if (r.windowed == 0) free(t);
  } else {
    kova_file_reference_table_2024* t = nullptr;
    int out = 0;
    r.whole = get_kova_file_reference_table_2024(m, n, &t, &out);
    if (r.whole == 0 && out == 1) free(t);
    r.windowed = get_kova_file_reference_table_m_2024(m, n, n, d.map.fd(), &t);
    if (r.windowed == 0) free(t);
  }
  r.printed = GetCapturedStdout();
  return r;
}

TEST(FrtFailures, NoMarkerIsSilentMinusTwo) {
  for (const auto& v : daqtest::all_variants()) {
    auto s = daqtest::make_sample(v);
    s.bytes.back() ^= 0x5A;  // the marker's last byte
    const FrtRun r = run_frt(v.gen, s.bytes);
    EXPECT_EQ(r.whole, -2) << daqtest::name_of(v);
    EXPECT_EQ(r.windowed, -2) << daqtest::name_of(v);
    EXPECT_EQ(r.printed, "") << daqtest::name_of(v);
  }
  // A file of another generation has no marker of this one.
  const auto s2010 = daqtest::make_sample({2010, false});
  EXPECT_EQ(run_frt(2009, s2010.bytes).whole, -2);
  EXPECT_EQ(run_frt(2024, s2010.bytes).windowed, -2);
}

TEST(FrtFailures, MissingPatternNamesTheGenerationAndOrder) {
  struct Case {
    Variant v;
    const char* whole;
    const char* windowed;
  } cases[] = {
      {{2009, false},
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found\n",
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found\n"},
      {{2009, true},
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found (swapped)\n",
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN found (swapped)\n"},
      {{2010, false}, "", "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2010 found\n"},
      {{2010, true}, "", "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2010 found (swapped)\n"},
      {{2024, false},
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found\n",
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found\n"},
      {{2024, true},
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found (swapped) 0x11223344556677\n",
       "No  KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 found (swapped)\n"},
  };
  for (const auto& c : cases) {
    auto s = daqtest::make_sample(c.v);
    if (c.v.gen == 2024) {
      const uint64_t junk = 0x0011223344556677ull;
      memcpy(&s.bytes[s.layout.frt], &junk, 8);
    } else {
      s.bytes[s.layout.frt] ^= 0xFF;
    }
    const FrtRun r = run_frt(c.v.gen, s.bytes);
    EXPECT_EQ(r.windowed, -3) << daqtest::name_of(c.v);
    if (c.v.gen != 2010) {
      EXPECT_EQ(r.whole, -3);
      EXPECT_EQ(r.printed, std::string(c.whole) + c.windowed) << daqtest::name_of(c.v);
    } else {
      EXPECT_EQ(r.printed, c.windowed);
    }
  }
}

TEST(FrtFailures, LyingTrailerOffsetStaysInsideTheFile) {
  for (const auto& v : daqtest::all_variants()) {
    for (uint64_t offset : {uint64_t{0xFFFFFFF0u}, uint64_t{0}, uint64_t{3}}) {
      auto s = daqtest::make_sample(v);
      const size_t w = v.gen == 2024 ? 8 : 4;
      unsigned char* at = s.bytes.data() + s.bytes.size() - 2 * w;
      for (size_t i = 0; i < w; ++i)
        at[i] = static_cast<unsigned char>(offset >> (8 * (w - 1 - i)));
      const FrtRun r = run_frt(v.gen, s.bytes);
      EXPECT_EQ(r.whole, -3) << daqtest::name_of(v) << " " << offset;
      EXPECT_EQ(r.windowed, -3) << daqtest::name_of(v) << " " << offset;
    }
  }
}

TEST(FrtFailures, BadArguments) {
  const auto s = daqtest::make_sample({2010, false});
  OnDisk d(s.bytes);
  u_char* m = d.map.base();
  const unsigned long n = d.map.len();
  kova_file_reference_table* t = nullptr;
  kova_file_reference_table_2010* t10 = nullptr;
  kova_file_reference_table_2024* t24 = nullptr;
  EXPECT_EQ(get_kova_file_reference_table(nullptr, n, &t, nullptr), -1);
  EXPECT_EQ(get_kova_file_reference_table(m, 0, &t, nullptr), -1);
  EXPECT_EQ(get_kova_file_reference_table(m, n, nullptr, nullptr), -1);
  EXPECT_EQ(get_kova_file_reference_table_2024(m, 0, &t24, nullptr), -1);
  EXPECT_EQ(get_kova_file_reference_table_m_2010(m, n, n, 0, &t10), -1);
  EXPECT_EQ(get_kova_file_reference_table_m_2010(m, n, n, -1, &t10), -1);
  EXPECT_EQ(get_kova_file_reference_table_m_2010(nullptr, n, n, d.map.fd(), &t10), -1);
  EXPECT_EQ(get_kova_file_reference_table_m_2010(m, n, n, d.map.fd(), nullptr), -1);
  EXPECT_EQ(get_kova_file_reference_table_m_2024(m, 0, n, d.map.fd(), &t24), -1);
  // A mapping too short for a trailer has no marker.
  EXPECT_EQ(get_kova_file_reference_table(m, 5, &t, nullptr), -2);
  EXPECT_EQ(get_kova_file_reference_table_2024(m, 12, &t24, nullptr), -2);
}

// Windowed readers give their window back on every path.
TEST(FrtFailures, WindowsAreReleased) {
  for (const auto& v : daqtest::all_variants()) {
    auto s = daqtest::make_sample(v);
    s.bytes[s.layout.frt + 1] ^= 0xFF;  // pattern wrong: found after the window was made
    OnDisk d(s.bytes);
    const int before = daqtest::mapping_count();
    CaptureStdout();
    for (int i = 0; i < 20; ++i) {
      void* t = nullptr;
      if (v.gen == 2009)
        get_kova_file_reference_table_m(d.map.base(), d.map.len(), d.map.len(), d.map.fd(),
                                        reinterpret_cast<kova_file_reference_table**>(&t));
      else if (v.gen == 2010)
        get_kova_file_reference_table_m_2010(
            d.map.base(), d.map.len(), d.map.len(), d.map.fd(),
            reinterpret_cast<kova_file_reference_table_2010**>(&t));
      else
        get_kova_file_reference_table_m_2024(
            d.map.base(), d.map.len(), d.map.len(), d.map.fd(),
            reinterpret_cast<kova_file_reference_table_2024**>(&t));
      EXPECT_EQ(t, nullptr);
    }
    GetCapturedStdout();
    EXPECT_EQ(daqtest::mapping_count(), before) << daqtest::name_of(v);
  }
}

}  // namespace
