// Channel lookup by key and by name, and the reduced pointers table.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "daq_fixture.h"
#include "generation_guard.h"

using daqtest::OnDisk;
using daqtest::Variant;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// A host-order dictionary of one generation built in memory.
template <typename Table, typename Entry, typename Word, typename Length>
struct Dictionary {
  std::vector<unsigned char> bytes;
  Dictionary(Word pattern, const std::vector<std::pair<unsigned, const char*>>& entries,
             size_t header) {
    bytes.assign(header + entries.size() * sizeof(Entry), 0);
    memcpy(bytes.data(), &pattern, sizeof(pattern));
    const Length length = static_cast<Length>(bytes.size());
    memcpy(bytes.data() + sizeof(Word), &length, sizeof(length));
    for (size_t i = 0; i < entries.size(); ++i) {
      Entry e;
      memset(&e, 0, sizeof(e));
      e.key = entries[i].first;
      strncpy(e.chan_name, entries[i].second, sizeof(e.chan_name) - 1);
      e.count = static_cast<int32_t>(i);
      memcpy(bytes.data() + header + i * sizeof(Entry), &e, sizeof(e));
    }
  }
  Table* table() { return reinterpret_cast<Table*>(bytes.data()); }
  Entry* entry(size_t i) { return &table()->chan_dictionary_entry[i]; }
};

using Cdt2009 =
    Dictionary<kova_chan_dictionary_table, kova_chan_dictionary_entry, uint32_t, int32_t>;
using Cdt2010 =
    Dictionary<kova_chan_dictionary_table_2010, kova_chan_dictionary_entry_2010, uint32_t, int32_t>;
using Cdt2024 =
    Dictionary<kova_chan_dictionary_table_2024, kova_chan_dictionary_entry_2024, uint64_t, int64_t>;

const std::vector<std::pair<unsigned, const char*>> kSorted = {
    {10, "A"}, {20, "B"}, {30, "C"}, {40, "D"}, {50, "E"}};
// Sorted but for entry 1, whose key the binary search never reaches.
const std::vector<std::pair<unsigned, const char*>> kUnsorted = {
    {10, "A"}, {99, "B"}, {30, "C"}, {40, "B"}, {50, "E"}};

TEST(FindByKey, EveryGeneration) {
  Cdt2009 d9(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, kSorted, 8);
  Cdt2010 d10(KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010, kSorted, 8);
  Cdt2024 d24(KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2024, kSorted, 16);
  kova_chan_dictionary_entry* e9 = nullptr;
  kova_chan_dictionary_entry_2010* e10 = nullptr;
  kova_chan_dictionary_entry_2024* e24 = nullptr;
  EXPECT_EQ(kova_find_channel_by_key(d9.table(), 30, &e9, 0), 2);  // the middle: first probe
  EXPECT_EQ(e9, d9.entry(2));
  EXPECT_EQ(kova_find_channel_by_key_2010(d10.table(), 10, &e10, 0), 0);
  EXPECT_EQ(e10, d10.entry(0));
  EXPECT_EQ(kova_find_channel_by_key_2024(d24.table(), 50, &e24, 0), 4);
  EXPECT_EQ(e24, d24.entry(4));
  // A hit with a non-zero mode gives the index and no entry.
  EXPECT_EQ(kova_find_channel_by_key_2024(d24.table(), 40, &e24, 1), 3);
  EXPECT_EQ(e24, nullptr);
  EXPECT_EQ(kova_find_channel_by_key(d9.table(), 35, &e9, 0), -1);
  EXPECT_EQ(e9, nullptr);
  EXPECT_EQ(kova_find_channel_by_key(d9.table(), 35, &e9, 1), -1);
}

TEST(FindByKey, UnsortedEntryNeedsTheScan) {
  Cdt2009 d(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, kUnsorted, 8);
  kova_chan_dictionary_entry* e = nullptr;
  EXPECT_EQ(kova_find_channel_by_key(d.table(), 99, &e, 0), -1);
  EXPECT_EQ(e, nullptr);
  EXPECT_EQ(kova_find_channel_by_key(d.table(), 99, &e, 1), 1);
  EXPECT_EQ(e, d.entry(1));
}

TEST(FindByKey, RefusedDictionaries) {
  Cdt2009 d(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, kSorted, 8);
  Cdt2009 empty(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, {}, 8);
  Cdt2009 other(KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010, kSorted, 8);
  Cdt2009 swapped(__builtin_bswap32(KOVA_CHAN_DICTIONARY_TABLE_PATTERN), kSorted, 8);
  kova_chan_dictionary_entry* e = nullptr;
  EXPECT_EQ(kova_find_channel_by_key(nullptr, 10, &e, 0), -1);
  EXPECT_EQ(kova_find_channel_by_key(d.table(), 10, nullptr, 0), -1);
  EXPECT_EQ(kova_find_channel_by_key(empty.table(), 10, &e, 0), -7);
  EXPECT_EQ(kova_find_channel_by_key(other.table(), 10, &e, 0), -5);
  EXPECT_EQ(kova_find_channel_by_key(swapped.table(), 10, &e, 0), -5);
  char a[] = "A";
  EXPECT_EQ(kova_find_channel_by_name(empty.table(), a, &e), -7);
  EXPECT_EQ(kova_find_channel_by_name(other.table(), a, &e), -5);
}

TEST(FindByName, FirstExactMatch) {
  Cdt2009 d9(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, kUnsorted, 8);
  Cdt2024 d24(KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2024, kUnsorted, 16);
  kova_chan_dictionary_entry* e9 = nullptr;
  kova_chan_dictionary_entry_2024* e24 = nullptr;
  char b[] = "B", c[] = "C", lower[] = "c", cc[] = "CC", empty[] = "";
  EXPECT_EQ(kova_find_channel_by_name(d9.table(), b, &e9), 1);  // two entries named B
  EXPECT_EQ(e9, d9.entry(1));
  EXPECT_EQ(kova_find_channel_by_name_2024(d24.table(), c, &e24), 2);
  EXPECT_EQ(e24, d24.entry(2));
  EXPECT_EQ(kova_find_channel_by_name(d9.table(), lower, &e9), -1);
  EXPECT_EQ(e9, nullptr);
  EXPECT_EQ(kova_find_channel_by_name(d9.table(), cc, &e9), -1);
  EXPECT_EQ(kova_find_channel_by_name(d9.table(), empty, &e9), -1);
  EXPECT_EQ(kova_find_channel_by_name(d9.table(), nullptr, &e9), -1);
}

TEST(FindByName, NameFillingItsField) {
  std::string full(80, 'N');  // no terminator inside the 80-byte field
  Cdt2009 d(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, {{1, "x"}}, 8);
  memcpy(d.entry(0)->chan_name, full.data(), 80);
  kova_chan_dictionary_entry* e = nullptr;
  EXPECT_EQ(kova_find_channel_by_name(d.table(), &full[0], &e), 0);
  std::string longer(81, 'N');
  EXPECT_EQ(kova_find_channel_by_name(d.table(), &longer[0], &e), -1);
}

TEST(Dispatch, LookupsFollowTheFlags) {
  GenerationGuard guard;
  Cdt2010 d10(KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010, kSorted, 8);
  Cdt2009 d9(KOVA_CHAN_DICTIONARY_TABLE_PATTERN, kSorted, 8);
  void* e = nullptr;
  char d[] = "D";
  set_data_format_2010(true);
  EXPECT_EQ(kova_find_channel_by_key(static_cast<void*>(d10.table()), 20u, &e, 0), 1);
  EXPECT_EQ(kova_find_channel_by_name(static_cast<void*>(d10.table()), d, &e), 3);
  EXPECT_EQ(kova_find_channel_by_name(static_cast<void*>(d9.table()), d, &e), -5);
  GenerationGuard::use_2009();
  EXPECT_EQ(kova_find_channel_by_name(static_cast<void*>(d9.table()), d, &e), 3);
}

// ---------------------------------------------------------------------------
// Reduced pointers table

struct ByList {
  int rc = 0;
  std::vector<unsigned char> table;
  std::string printed;
};

// Reads the dictionary of the file and builds the reduced table for `names`.
ByList by_list(const Variant& v, OnDisk& d, std::vector<std::string> names, bool strings) {
  ByList r;
  const unsigned long n = d.map.len();
  const int fd = d.map.fd();
  std::vector<char*> ptrs;
  for (auto& s : names) ptrs.push_back(&s[0]);
  CaptureStdout();
  if (v.gen == 2024) {
    kova_file_reference_table_2024* f = nullptr;
    kova_chan_dictionary_table_2024* cdt = nullptr;
    kova_event_chan_pointers_table_2024* t = nullptr;
    get_kova_file_reference_table_m_2024(d.map.base(), n, n, fd, &f);
    kova_get_channel_dictionary_table_m_2024(n, f, fd, &cdt);
    r.rc = kova_get_event_chan_pointers_table_by_list_m_2024(n, f, fd, &ptrs, cdt, &t);
    if (r.rc == 0) r.table = daqtest::bytes_of(t, static_cast<size_t>(t->length));
    free(t);
    free(cdt);
    free(f);
  } else if (v.gen == 2010) {
    kova_file_reference_table_2010* f = nullptr;
    kova_chan_dictionary_table_2010* cdt = nullptr;
    kova_event_chan_pointers_table* t = nullptr;
    get_kova_file_reference_table_m_2010(d.map.base(), n, n, fd, &f);
    kova_get_channel_dictionary_table_m_2010(n, f, fd, &cdt);
    r.rc = strings ? kova_get_event_chan_pointers_table_by_list_m_2010(n, f, fd, names, cdt, &t)
                   : kova_get_event_chan_pointers_table_by_list_m_2010(n, f, fd, &ptrs, cdt, &t);
    if (r.rc == 0) r.table = daqtest::bytes_of(t, static_cast<size_t>(t->length));
    free(t);
    free(cdt);
    free(f);
  } else {
    kova_file_reference_table* f = nullptr;
    kova_chan_dictionary_table* cdt = nullptr;
    kova_event_chan_pointers_table* t = nullptr;
    get_kova_file_reference_table_m(d.map.base(), n, n, fd, &f);
    kova_get_channel_dictionary_table_m(n, f, fd, &cdt);
    r.rc = strings ? kova_get_event_chan_pointers_table_by_list_m(n, f, fd, names, cdt, &t)
                   : kova_get_event_chan_pointers_table_by_list_m(n, f, fd, &ptrs, cdt, &t);
    if (r.rc == 0) r.table = daqtest::bytes_of(t, static_cast<size_t>(t->length));
    free(t);
    free(cdt);
    free(f);
  }
  r.printed = GetCapturedStdout();
  return r;
}

class ByListTest : public testing::TestWithParam<Variant> {};

TEST_P(ByListTest, RowsFollowTheListAndMatchTheFile) {
  const Variant v = GetParam();
  daqfile::SyntheticFile shape;
  shape.events = 10;
  shape.servers = 2;
  shape.channels = 3;
  const auto s = daqtest::make_sample(v, shape);
  OnDisk d(s.bytes);
  const std::vector<std::string> names = {"SRV.01/CH.002", "SRV.00/CH.000"};
  const ByList r = by_list(v, d, names, false);
  ASSERT_EQ(r.rc, 0) << r.printed;
  EXPECT_EQ(r.printed, "");
  const bool wide = v.gen == 2024;
  const size_t header = wide ? 24 : 12, record = wide ? 32 : 16;
  ASSERT_EQ(r.table.size(), header + 2 * 10 * record);
  auto word = [&](size_t at) -> uint64_t {
    if (wide) {
      uint64_t x;
      memcpy(&x, &r.table[at], 8);
      return x;
    }
    uint32_t x;
    memcpy(&x, &r.table[at], 4);
    return x;
  };
  EXPECT_EQ(word(0), wide ? KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2024
                          : (v.gen == 2009 ? KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN
                                           : KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2010));
  EXPECT_EQ(word(wide ? 16 : 8), 10u);  // maxev
  const size_t w = wide ? 8 : 4;
  // Row 0: SRV.01/CH.002, present in even events only (5 records, then zeros).
  for (int i = 0; i < 10; ++i) {
    const size_t at = header + static_cast<size_t>(i) * record;
    if (i < 5) {
      EXPECT_EQ(word(at), s.layout.events[static_cast<size_t>(2 * i)]) << i;
      EXPECT_EQ(word(at + 3 * w), word(at + 2 * w) + (v.gen == 2009 ? 44 : 268));
    } else {
      EXPECT_EQ(word(at + 2 * w), 0u) << i;
    }
  }
  // Row 1: SRV.00/CH.000 in every event, right after the first server head.
  const size_t row1 = header + 10 * record;
  const size_t evh = v.gen == 2024 ? 48 : 36, sbh = v.gen == 2009 ? 76 : v.gen == 2010 ? 284 : 304;
  for (int i = 0; i < 10; ++i) {
    const size_t at = row1 + static_cast<size_t>(i) * record;
    EXPECT_EQ(word(at + w), s.layout.events[static_cast<size_t>(i)] + evh);
    EXPECT_EQ(word(at + 2 * w), s.layout.events[static_cast<size_t>(i)] + evh + sbh);
  }
  // The file in the other byte order gives the same table.
  OnDisk other(daqtest::make_sample({v.gen, !v.swapped}, shape).bytes);
  EXPECT_EQ(by_list({v.gen, !v.swapped}, other, names, false).table, r.table);
}

TEST_P(ByListTest, UnknownChannelLeavesNothing) {
  const Variant v = GetParam();
  OnDisk d(daqtest::make_sample(v).bytes);
  const ByList r = by_list(v, d, {"SRV.00/CH.000", "NO/SUCH"}, false);
  EXPECT_EQ(r.rc, -5);
  const std::string prefix = v.gen == 2009 ? "kova_get_event_chan_pointers_table_by_list_m(): "
                             : v.gen == 2010
                                 ? "kova_get_event_chan_pointers_table_by_list_m_2010(): "
                                 : "kova_get_event_chan_pointers_table_by_list_m_2024(): ";
  EXPECT_EQ(r.printed, prefix + "channel not found: NO/SUCH \n");
  if (v.gen == 2009) {  // the string overload's message has no blank
    EXPECT_EQ(by_list(v, d, {"NO/SUCH"}, true).printed,
              "kova_get_event_chan_pointers_table_by_list_m(): channel not found: NO/SUCH\n");
  }
}

INSTANTIATE_TEST_SUITE_P(AllFiles, ByListTest, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });

TEST(ByList, Codes) {
  const auto s = daqtest::make_sample({2009, false});
  OnDisk d(s.bytes);
  const unsigned long n = d.map.len();
  const int fd = d.map.fd();
  kova_file_reference_table* f = nullptr;
  kova_chan_dictionary_table* cdt = nullptr;
  ASSERT_EQ(get_kova_file_reference_table_m(d.map.base(), n, n, fd, &f), 0);
  ASSERT_EQ(kova_get_channel_dictionary_table_m(n, f, fd, &cdt), 0);
  char name[] = "SRV.00/CH.001";
  std::vector<char*> one = {name}, none;
  kova_event_chan_pointers_table* t = nullptr;
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(0, f, fd, &one, cdt, &t), -1);
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, f, 0, &one, cdt, &t), -1);
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, f, fd, &none, cdt, &t), -1);
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, f, fd, nullptr, cdt, &t), -1);
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, f, fd, &one, nullptr, &t), -1);
  kova_file_reference_table g = *f;
  g.pattern = 0;
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, &g, fd, &one, cdt, &t), -3);
  g = *f;
  g.length = 336;
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, &g, fd, &one, cdt, &t), -4);
  g = *f;
  g.ecp_ref = 0;
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, &g, fd, &one, cdt, &t), -6);
  g.ecp_ref = f->cdt_ref;  // not a pointers table
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, &g, fd, &one, cdt, &t), -9);
  g.ecp_ref = static_cast<uint32_t>(n + 100);  // beyond the file
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, &g, fd, &one, cdt, &t), -5);
  EXPECT_EQ(t, nullptr);
  // A dictionary count the pointers table cannot hold.
  cdt->chan_dictionary_entry[1].count = 101;
  EXPECT_EQ(kova_get_event_chan_pointers_table_by_list_m(n, f, fd, &one, cdt, &t), -7);
  EXPECT_EQ(t, nullptr);
  free(cdt);
  free(f);
}

}  // namespace
