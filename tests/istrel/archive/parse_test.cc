// Taking archive file names apart, and time stamps read from names.
#include <string>

#include <gtest/gtest.h>

#include "archive_tree.h"

using namespace archive_test;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

char* c(const char* s) {
  return const_cast<char*>(s);
}

struct Parts {
  bool failed;
  std::string stream, run, file, stamp;
  u_int sl, rl, fl, tl;
};

Parts parse(const char* exp, const char* name, u_int cap = 64) {
  Parts p;
  char s[64] = "", r[64] = "", f[64] = "", t[64] = "";
  p.sl = p.rl = p.fl = p.tl = cap;
  p.failed = get_file_name_parts(c(exp), c(name), s, &p.sl, r, &p.rl, f, &p.fl, t, &p.tl);
  p.stream = s;
  p.run = r;
  p.file = f;
  p.stamp = t;
  return p;
}

TEST(ArchiveParse, SplitsDataFileNames) {
  struct Case {
    const char* name;
    const char* stream;
    const char* run;
    const char* file;
    const char* stamp;
  } cases[] = {
      {"exp_str_run5_file2_20240101T120000.3.raw", "str", "run5", "file2", "20240101T120000"},
      {"exp_str_run5_file2_20240101T120000.root", "str", "run5", "file2", "20240101T120000"},
      {"exp_my_stream_run12_file0_20240101T120000_extra.raw", "my_stream", "run12", "file0",
       "20240101T120000"},
      {"exp_str_run7", "str", "run7", "", ""},
  };
  for (const auto& k : cases) {
    const Parts p = parse("exp", k.name);
    EXPECT_FALSE(p.failed) << k.name;
    EXPECT_EQ(p.stream, k.stream) << k.name;
    EXPECT_EQ(p.run, k.run) << k.name;
    EXPECT_EQ(p.file, k.file) << k.name;
    EXPECT_EQ(p.stamp, k.stamp) << k.name;
    EXPECT_EQ(p.sl, strlen(k.stream));
    EXPECT_EQ(p.tl, strlen(k.stamp));
  }
}

TEST(ArchiveParse, RefusesForeignNamesAndHonoursCapacities) {
  CaptureStdout();
  EXPECT_TRUE(parse("exp", "other_str_run5_file2_20240101T120000.raw").failed);
  EXPECT_TRUE(parse("exp", "expx_str_run5_file2_20240101T120000.raw").failed);
  EXPECT_TRUE(parse("exp", "exp_str_file2_20240101T120000.raw").failed);
  EXPECT_TRUE(get_file_name_parts(nullptr, c("x"), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr));
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("get_file_name_parts: wrong experiment\n"), std::string::npos);
  EXPECT_NE(out.find("get_file_name_parts: inconsistent experiment\n"), std::string::npos);
  EXPECT_NE(out.find("get_file_name_parts: one of input parameter(s) invalid"), std::string::npos);
  EXPECT_EQ(out.find("run"), std::string::npos) << "a name without a run fails silently";

  // Capacity 4: stream "str" fits, run part "run5" (4) does not and keeps
  // its length, file "file2" and stamp are zeroed.
  const Parts p = parse("exp", "exp_str_run5_file2_20240101T120000.3.raw", 4);
  EXPECT_FALSE(p.failed);
  EXPECT_EQ(p.stream, "str");
  EXPECT_EQ(p.sl, 3u);
  EXPECT_EQ(p.run, "");
  EXPECT_EQ(p.rl, 4u);
  EXPECT_EQ(p.fl, 0u);
  EXPECT_EQ(p.tl, 0u);
  // Length pointers without buffers.
  u_int sl = 3, rl = 10;
  EXPECT_FALSE(get_file_name_parts(c("exp"), c("exp_str_run5_file2_x.raw"), nullptr, &sl, nullptr,
                                   &rl, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(sl, 0u);
  EXPECT_EQ(rl, 10u);
}

TEST(ArchiveParse, NamesBuiltForTheArchiveParseBack) {
  Tree tree;
  char buf[4096];
  int len = sizeof(buf);
  ASSERT_EQ(get_event_root_file_name_arch(1, 2023, c("lin"), c("fast"), 42, 17,
                                          c("20230704T101112"), buf, &len, 2, 1),
            0);
  const std::string full(buf);
  const std::string base = full.substr(full.rfind('/') + 1);
  EXPECT_EQ(base, "lin_fast_run42_file17_20230704T101112.2.raw");
  const Parts p = parse("lin", base.c_str());
  EXPECT_EQ(p.stream, "fast");
  EXPECT_EQ(p.run, "run42");
  EXPECT_EQ(p.file, "file17");
  EXPECT_EQ(p.stamp, "20230704T101112");
  time_t t = 0;
  EXPECT_EQ(get_file_time_stamp(buf, &t), 0);
  time_t back = 0;
  ASSERT_FALSE(time_from_isodate("20230704T101112", &back));
  EXPECT_EQ(t, back);
}

TEST(ArchiveParse, TapeArchiveDirectory) {
  Tree tree;
  char out[256];
  const char* name = "exp_str_run5_file2_20240101T120000.3.raw";
  struct Case {
    const char* pref;
    const char* env;
    const char* expected;
  } cases[] = {
      {"/pnfs/kova", nullptr, "/pnfs/kova/2024/exp/str/run5/"},
      {"/pnfs/kova/", "/ignored", "/pnfs/kova/2024/exp/str/run5/"},
      {nullptr, "/tape", "/tape/2024/exp/str/run5/"},
      {nullptr, nullptr, "/2024/exp/str/run5/"},
  };
  for (const auto& k : cases) {
    if (k.env)
      setenv("HALV_PNFS_PREFIX", k.env, 1);
    else
      unsetenv("HALV_PNFS_PREFIX");
    u_int len = sizeof(out);
    EXPECT_FALSE(get_pnfs_dir(c("exp"), c(name), out, &len, c(k.pref))) << k.expected;
    EXPECT_EQ(std::string(out), k.expected);
    EXPECT_EQ(len, strlen(k.expected));
  }
  u_int len = 5;
  EXPECT_TRUE(get_pnfs_dir(c("exp"), c(name), out, &len, nullptr));
  EXPECT_EQ(len, 0u);
  CaptureStdout();
  len = sizeof(out);
  EXPECT_TRUE(get_pnfs_dir(c("exp"), c("exp_str_run5_file2_garbage.raw"), out, &len, nullptr));
  EXPECT_TRUE(get_pnfs_dir(nullptr, c(name), out, &len, nullptr));
  const std::string text = GetCapturedStdout();
  EXPECT_NE(text.find("get_pnfs_dir: failed to get time form garbage\n"), std::string::npos);
  EXPECT_NE(text.find("get_pnfs_dir: one of input parameter(s) invalid"), std::string::npos);
}

TEST(ArchiveParse, TimeStampsOfNames) {
  Tree tree;
  time_t expected = 0;
  ASSERT_FALSE(time_from_isodate("20240101T120000", &expected));
  struct Case {
    const char* name;
    bool from_name_ok;  // get_time_from_file_name
    bool stamp_ok;      // get_file_time_stamp (char*)
    bool string_ok;     // get_file_time_stamp (string): ".root" only
  } cases[] = {
      {"/a/exp_s_run1_file1_20240101T120000.root", true, true, true},
      {"/a/exp_s_run1_file1_20240101T120000.3.raw", true, true, false},
      {"/a/exp_s_run1_file1_20240101T120000", false, false, false},
      {"no-underscore.root", false, false, false},
  };
  CaptureStdout();
  for (const auto& k : cases) {
    time_t t = 0;
    EXPECT_EQ(!get_time_from_file_name(k.name, &t), k.from_name_ok) << k.name;
    if (k.from_name_ok) {
      EXPECT_EQ(t, expected);
    }
    t = 0;
    EXPECT_EQ(get_file_time_stamp(c(k.name), &t) == 0, k.stamp_ok) << k.name;
    if (k.stamp_ok) {
      EXPECT_EQ(t, expected);
    }
    t = 0;
    EXPECT_EQ(!get_file_time_stamp(std::string(k.name), t), k.string_ok) << k.name;
  }
  time_t t;
  EXPECT_NE(get_file_time_stamp(c(""), &t), 0);
  EXPECT_NE(get_file_time_stamp(c("x_1.root"), nullptr), 0);
  GetCapturedStdout();
}

}  // namespace
