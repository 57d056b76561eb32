// Update entries, slow-control look-ups and merges in both generations.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "sub_block.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using namespace testblock;

namespace {

struct Gen {
  int gen, upd, bor, dict, env;
};
const Gen kGens[] = {{2009, KOVA_UPD_BLOCK, KOVA_BOR_BLOCK, KOVA_ENV_DICT_BLOCK, KOVA_ENV_BLOCK},
                     {2010, KOVA_UPD_BLOCK_2010, KOVA_BOR_BLOCK_2010, KOVA_ENV_DICT_BLOCK_2010,
                      KOVA_ENV_BLOCK_2010}};

std::vector<unsigned char> upd(const Gen& g, int type, const std::vector<std::string>& names,
                               float base) {
  SubBlock b(g.gen, "UPD", type);
  upd_entries(b, g.gen, names, base);
  return b.block();
}

std::vector<unsigned char> env(const Gen& g, const std::vector<int>& idx, float base) {
  SubBlock b(g.gen, "ENV", g.env);
  env_entries(b, idx, base);
  return b.block();
}

std::vector<unsigned char> dict(const Gen& g, const std::vector<std::string>& names) {
  SubBlock b(g.gen, "DICT", g.dict);
  dict_entries(b, g.gen, names);
  return b.block();
}

int head(const Gen& g) {
  return g.gen == 2009 ? 44 : 268;
}

float value_at(const unsigned char* block, size_t off) {
  float v;
  memcpy(&v, block + off, 4);
  return v;
}

}  // namespace

TEST(ChannelUpdates, EntriesAndTheirCount) {
  for (const Gen& g : kGens) {
    SCOPED_TRACE(g.gen);
    auto get = g.gen == 2009 ? get_update_params_2009 : get_update_params_2010;
    auto count = g.gen == 2009 ? get_number_of_upd_channels_2009 : get_number_of_upd_channels_2010;
    Exact b(upd(g, g.bor, {"A", "B", "C"}, 3.0f));
    EXPECT_EQ(count(b.get()), 3);
    char* name = nullptr;
    int status = -1;
    time_stamp tm{};
    float value = 0;
    ASSERT_FALSE(get(b.get(), 1, &name, &status, &tm, &value));
    EXPECT_STREQ(name, "B");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(tm.timeup, 1001u);
    EXPECT_EQ(tm.timelow, 5u);
    EXPECT_EQ(value, 4.0f);
    EXPECT_FALSE(get(b.get(), 2, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(get(b.get(), 3, &name, nullptr, nullptr, nullptr));
    EXPECT_TRUE(get(b.get(), -1, &name, nullptr, nullptr, nullptr));
    EXPECT_TRUE(get(nullptr, 0, &name, nullptr, nullptr, nullptr));
    Exact other(env(g, {0}, 1.0f));
    EXPECT_EQ(count(other.get()), 0);
    EXPECT_EQ(count(nullptr), 0);
  }
}

TEST(ChannelUpdates, PartialEntryIsCorrupt) {
  SubBlock b(2010, "UPD", KOVA_UPD_BLOCK_2010);
  b.zeros(600);
  Exact e(b.block());
  CaptureStdout();
  EXPECT_EQ(get_number_of_upd_channels_2010(e.get()), 0);
  EXPECT_EQ(GetCapturedStdout(), "get_number_of_upd_channels_2010() corrupted data !!!\n");
  SubBlock z(2010, "UPD", KOVA_UPD_BLOCK_2010, KOVA_CHAN_ZIP_FLAG);
  z.zeros(272);
  Exact ze(z.block());
  CaptureStdout();
  EXPECT_TRUE(get_update_params_2010(ze.get(), 0, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetCapturedStdout(), "get_update_params_2010() trying to access ZIPPED channel\n");
}

TEST(ChannelLookup, SlowChannelThroughTheDictionary) {
  for (const Gen& g : kGens) {
    SCOPED_TRACE(g.gen);
    auto find = g.gen == 2009 ? find_slow_channel_2009 : find_slow_channel_2010;
    Exact d(dict(g, {"VAC.A", "VAC.B", "TEMP.C"}));
    Exact e(env(g, {5, 2, 0}, 10.0f));
    void* out = nullptr;
    ASSERT_FALSE(find(e.get(), d.get(), "TEMP.C", &out));
    EXPECT_EQ(out, e.get() + head(g) + 20);  // the entry with index 2
    ASSERT_FALSE(find(e.get(), d.get(), "VAC.A", &out));
    EXPECT_EQ(out, e.get() + head(g) + 40);
    EXPECT_TRUE(find(e.get(), d.get(), "VAC.B", &out));  // index 1 has no value
    EXPECT_TRUE(find(e.get(), d.get(), "VAC", &out));    // exact names only
    EXPECT_TRUE(find(e.get(), d.get(), "", &out));
    EXPECT_TRUE(find(e.get(), d.get(), nullptr, &out));
    EXPECT_TRUE(find(e.get(), d.get(), "TEMP.C", nullptr));
    EXPECT_TRUE(find(d.get(), e.get(), "TEMP.C", &out));  // types swapped
    Exact empty(env(g, {}, 0.0f));
    EXPECT_TRUE(find(empty.get(), d.get(), "TEMP.C", &out));
  }
}

TEST(ChannelLookup, NamesAreComparedWithinTheirField) {
  const Gen& g = kGens[1];
  const std::string full(256, 'x');  // fills the field: no terminator
  Exact d(dict(g, {"A", full}));
  Exact e(env(g, {1}, 0.0f));
  void* out = nullptr;
  EXPECT_FALSE(find_slow_channel_2010(e.get(), d.get(), full.c_str(), &out));
  EXPECT_TRUE(find_slow_channel_2010(e.get(), d.get(), full.substr(0, 255).c_str(), &out));
  EXPECT_TRUE(find_slow_channel_2010(e.get(), d.get(), (full + "y").c_str(), &out));
}

TEST(ChannelLookup, UpdateChannelByName) {
  for (const Gen& g : kGens) {
    SCOPED_TRACE(g.gen);
    auto find = g.gen == 2009 ? find_upd_channel_2009 : find_upd_channel_2010;
    Exact u(upd(g, g.upd, {"A", "B", "B"}, 1.0f));
    void* out = nullptr;
    ASSERT_FALSE(find(u.get(), "B", &out));
    EXPECT_EQ(out, u.get() + head(g) + (g.gen == 2009 ? 96 : 272));
    EXPECT_TRUE(find(u.get(), "C", &out));
    Exact bor(upd(g, g.bor, {"A"}, 1.0f));
    EXPECT_TRUE(find(bor.get(), "A", &out));  // update blocks only
  }
}

TEST(ChannelMerge, EnvironmentValuesByIndex) {
  for (const Gen& g : kGens) {
    SCOPED_TRACE(g.gen);
    auto merge = g.gen == 2009 ? copy_env_entries_2009 : copy_env_entries_2010;
    Exact dst(env(g, {0, 1, 2}, 0.0f));
    Exact src(env(g, {2, 7, 0}, 50.0f));
    const size_t len = dst.size();
    ASSERT_FALSE(merge(dst.get(), src.get()));
    const unsigned char* p = dst.get() + head(g);
    EXPECT_EQ(value_at(p, 16), 50.0f);       // index 0 from src
    EXPECT_EQ(value_at(p, 20 + 16), 1.0f);   // index 1 untouched
    EXPECT_EQ(value_at(p, 40 + 16), 52.0f);  // index 2 from src
    EXPECT_EQ(dst.size(), len);
    Exact empty(env(g, {}, 0.0f));
    EXPECT_FALSE(merge(empty.get(), src.get()));
  }
}

TEST(ChannelMerge, EnvironmentRefusalsAreReported) {
  const Gen& g = kGens[1];
  Exact e(env(g, {0}, 0.0f));
  Exact u(upd(g, g.upd, {"A"}, 0.0f));
  char buf[256];
  struct Case {
    void* dst;
    void* src;
    std::string out;
  };
  snprintf(buf, sizeof(buf),
           "copy_env_entries_2010() dst: 0x%lx  src: 0x%lx  dtype: 35  stype: 33\n",
           reinterpret_cast<unsigned long>(e.get()), reinterpret_cast<unsigned long>(u.get()));
  const std::string mismatch = buf;
  snprintf(buf, sizeof(buf), "copy_env_entries_2010() dst: 0x0  src: 0x%lx stype: 35\n",
           reinterpret_cast<unsigned long>(e.get()));
  const std::string no_dst = buf;
  snprintf(buf, sizeof(buf), "copy_env_entries_2010() dst: 0x%lx  src: 0x0  dtype: 35\n",
           reinterpret_cast<unsigned long>(e.get()));
  const std::string no_src = buf;
  const Case cases[] = {{nullptr, nullptr, "copy_env_entries_2010() dst: 0x0  src: 0x0\n"},
                        {nullptr, e.get(), no_dst},
                        {e.get(), nullptr, no_src},
                        {e.get(), u.get(), mismatch}};
  for (const Case& c : cases) {
    CaptureStdout();
    EXPECT_TRUE(copy_env_entries_2010(c.dst, c.src));
    EXPECT_EQ(GetCapturedStdout(), c.out);
    CaptureStdout();
    EXPECT_TRUE(copy_env_entries_2009(c.dst, c.src));
    EXPECT_EQ(GetCapturedStdout(), "");
  }
}

TEST(ChannelMerge, UpdateValuesByName) {
  for (const Gen& g : kGens) {
    SCOPED_TRACE(g.gen);
    auto merge = g.gen == 2009 ? copy_upd_entries_2009 : copy_upd_entries_2010;
    const size_t entry = g.gen == 2009 ? 96 : 272;
    Exact dst(upd(g, g.upd, {"A", "B"}, 0.0f));
    Exact src(upd(g, g.upd, {"Z", "B"}, 20.0f));
    const std::vector<unsigned char> before(dst.get(), dst.get() + dst.size());
    ASSERT_FALSE(merge(dst.get(), src.get()));
    EXPECT_EQ(value_at(dst.get() + head(g), entry - 4), 0.0f);       // A untouched
    EXPECT_EQ(value_at(dst.get() + head(g), 2 * entry - 4), 21.0f);  // B from src
    Exact absent(upd(g, g.upd, {"Q"}, 9.0f));
    Exact copy(before);
    ASSERT_FALSE(merge(copy.get(), absent.get()));
    EXPECT_EQ(memcmp(copy.get(), before.data(), before.size()), 0);
    Exact bor(upd(g, g.bor, {"A"}, 9.0f));
    EXPECT_TRUE(merge(dst.get(), bor.get()));
    EXPECT_TRUE(merge(nullptr, src.get()));
  }
}

TEST(ChannelSlowEvents, WhichEventTypesAreSlow) {
  const bool expected[] = {true, false, true, true, true, true, false, false};
  for (int t = 0; t < 8; ++t) EXPECT_EQ(is_slow_event(t), expected[t]) << t;
  EXPECT_FALSE(is_slow_event(-1));
  EXPECT_FALSE(is_slow_event(32));
}
