// Damaged files: cut at every table boundary, tables whose counts, lengths
// and offsets lie, and files that shrink while they are mapped. Readers
// answer with a negative code and never read outside the file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

#include "daq_fixture.h"

using daqtest::OnDisk;
using daqtest::Variant;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

// Codes of every table reader of the generation, given the FRT (host order)
// and the file; `total` is the length told to the windowed readers.
std::map<std::string, int> run_readers(const Variant& v, OnDisk& d, void* frt, uint64_t total) {
  std::map<std::string, int> rc;
  u_char* m = d.map.base();
  const int fd = d.map.fd();
  void* t = nullptr;
  int out = 0;
  // kWhole: the out flag says whether the result is a heap copy.
  enum Own { kBasket, kWindowed, kWhole };
  auto done = [&](const std::string& name, int r, Own own) {
    rc[name] = r;
    if (r == 0 && (own == kWindowed || (own == kWhole && out == 1))) free(t);
    t = nullptr;
    out = 0;
  };
  if (v.gen == 2009) {
    auto* f = static_cast<kova_file_reference_table*>(frt);
    done("eit",
         kova_get_event_index_table(m, f, reinterpret_cast<kova_event_index_table**>(&t), &out),
         kWhole);
    done("eit_m",
         kova_get_event_index_table_m(total, f, fd, reinterpret_cast<kova_event_index_table**>(&t)),
         kWindowed);
    done("cdt",
         kova_get_channel_dictionary_table(m, f, reinterpret_cast<kova_chan_dictionary_table**>(&t),
                                           &out),
         kWhole);
    done("cdt_m",
         kova_get_channel_dictionary_table_m(total, f, fd,
                                             reinterpret_cast<kova_chan_dictionary_table**>(&t)),
         kWindowed);
    done("ecp",
         kova_get_event_chan_pointers_table(
             m, f, reinterpret_cast<kova_event_chan_pointers_table**>(&t), &out),
         kWhole);
    done("ecp_m",
         kova_get_event_chan_pointers_table_m(
             total, f, fd, reinterpret_cast<kova_event_chan_pointers_table**>(&t)),
         kWindowed);
    done("eidt",
         kova_get_env_index_dictionary_table(
             m, f, reinterpret_cast<kova_env_dictionary_table**>(&t), &out),
         kWhole);
    done("eidt_m",
         kova_get_env_index_dictionary_table_m(total, f, fd,
                                               reinterpret_cast<kova_env_dictionary_table**>(&t)),
         kWindowed);
    done("xcd",
         kova_get_chan_descr_table(m, f, reinterpret_cast<kova_xml_chan_descr_header**>(&t), &out),
         kWhole);
    done("xcd_m",
         kova_get_chan_descr_table_m(total, f, fd,
                                     reinterpret_cast<kova_xml_chan_descr_header**>(&t)),
         kWindowed);
    done("eite",
         kova_get_event_index_table_by_type(m, f, 1, reinterpret_cast<kova_event_index_entry**>(&t),
                                            &out),
         kWhole);
    done("ehb",
         kova_get_event_header_basket_table(m, f, reinterpret_cast<kova_event_header_basket**>(&t)),
         kBasket);
    done("sbhb",
         kova_get_server_block_basket_table(m, f, reinterpret_cast<kova_server_block_basket**>(&t)),
         kBasket);
  } else if (v.gen == 2010) {
    auto* f = static_cast<kova_file_reference_table_2010*>(frt);
    done("eit_m",
         kova_get_event_index_table_m_2010(total, f, fd,
                                           reinterpret_cast<kova_event_index_table**>(&t)),
         kWindowed);
    done("cdt_m",
         kova_get_channel_dictionary_table_m_2010(
             total, f, fd, reinterpret_cast<kova_chan_dictionary_table_2010**>(&t)),
         kWindowed);
    done("ecp_m",
         kova_get_event_chan_pointers_table_m_2010(
             total, f, fd, reinterpret_cast<kova_event_chan_pointers_table**>(&t)),
         kWindowed);
    done("eidt_m",
         kova_get_env_index_dictionary_table_m_2010(
             total, f, fd, reinterpret_cast<kova_env_dictionary_table**>(&t)),
         kWindowed);
    done("xcd_m",
         kova_get_chan_descr_table_m_2010(total, f, fd,
                                          reinterpret_cast<kova_xml_chan_descr_header**>(&t)),
         kWindowed);
    done("eite",
         kova_get_event_index_table_by_type_2010(
             m, f, 1, reinterpret_cast<kova_event_index_entry**>(&t), &out),
         kWhole);
    done("ehb",
         kova_get_event_header_basket_table_2010(m, f,
                                                 reinterpret_cast<kova_event_header_basket**>(&t)),
         kBasket);
    done("sbhb",
         kova_get_server_block_basket_table_2010(
             m, f, reinterpret_cast<kova_server_block_basket_2010**>(&t)),
         kBasket);
  } else {
    auto* f = static_cast<kova_file_reference_table_2024*>(frt);
    done("eit",
         kova_get_event_index_table_2024(m, f, reinterpret_cast<kova_event_index_table_2024**>(&t),
                                         &out),
         kWhole);
    done("eit_m",
         kova_get_event_index_table_m_2024(total, f, fd,
                                           reinterpret_cast<kova_event_index_table_2024**>(&t)),
         kWindowed);
    done("cdt",
         kova_get_channel_dictionary_table_2024(
             m, f, reinterpret_cast<kova_chan_dictionary_table_2024**>(&t), &out),
         kWhole);
    done("cdt_m",
         kova_get_channel_dictionary_table_m_2024(
             total, f, fd, reinterpret_cast<kova_chan_dictionary_table_2024**>(&t)),
         kWindowed);
    done("ecp",
         kova_get_event_chan_pointers_table_2024(
             m, f, reinterpret_cast<kova_event_chan_pointers_table_2024**>(&t), &out),
         kWhole);
    done("ecp_m",
         kova_get_event_chan_pointers_table_m_2024(
             total, f, fd, reinterpret_cast<kova_event_chan_pointers_table_2024**>(&t)),
         kWindowed);
    done("eidt",
         kova_get_env_index_dictionary_table_2024(
             m, f, reinterpret_cast<kova_env_dictionary_table_2024**>(&t), &out),
         kWhole);
    done("eidt_m",
         kova_get_env_index_dictionary_table_m_2024(
             total, f, fd, reinterpret_cast<kova_env_dictionary_table_2024**>(&t)),
         kWindowed);
    done("xcd",
         kova_get_chan_descr_table_2024(
             m, f, reinterpret_cast<kova_xml_chan_descr_header_2024**>(&t), &out),
         kWhole);
    done("xcd_m",
         kova_get_chan_descr_table_m_2024(total, f, fd,
                                          reinterpret_cast<kova_xml_chan_descr_header_2024**>(&t)),
         kWindowed);
    done("eite",
         kova_get_event_index_table_by_type_2024(
             m, f, 1, reinterpret_cast<kova_event_index_entry_2024**>(&t), &out),
         kWhole);
    done("ehb",
         kova_get_event_header_basket_table_2024(
             m, f, reinterpret_cast<kova_event_header_basket_2024**>(&t)),
         kBasket);
    done("sbhb",
         kova_get_server_block_basket_table_2024(
             m, f, reinterpret_cast<kova_server_block_basket_2024**>(&t)),
         kBasket);
  }
  return rc;
}

// The host-order FRT of a complete file.
std::vector<unsigned char> frt_of(const Variant& v, OnDisk& d) {
  void* f = nullptr;
  GTEST_CHECK_(d.map.rc() == 0);
  const unsigned long n = d.map.len();
  if (v.gen == 2009)
    get_kova_file_reference_table_m(d.map.base(), n, n, d.map.fd(),
                                    reinterpret_cast<kova_file_reference_table**>(&f));
  else if (v.gen == 2010)
    get_kova_file_reference_table_m_2010(d.map.base(), n, n, d.map.fd(),
                                         reinterpret_cast<kova_file_reference_table_2010**>(&f));
  else
    get_kova_file_reference_table_m_2024(d.map.base(), n, n, d.map.fd(),
                                         reinterpret_cast<kova_file_reference_table_2024**>(&f));
  auto b = daqtest::bytes_of(f, v.gen == 2024 ? 336 : 168);
  free(f);
  return b;
}

class CutFiles : public testing::TestWithParam<Variant> {};

// The file cut at each table boundary (and a few bytes into each table):
// the tables before the cut still read, the others give a negative code.
TEST_P(CutFiles, EveryTableBoundary) {
  const Variant v = GetParam();
  daqfile::SyntheticFile shape;
  shape.events = 8;
  const auto s = daqtest::make_sample(v, shape);
  OnDisk full(s.bytes);
  auto frt = frt_of(v, full);
  const auto& L = s.layout;
  const std::map<std::string, uint64_t> start = {
      {"eit", L.eit},   {"eite", L.eite[1]}, {"cdt", L.cdt}, {"ecp", L.ecpt},
      {"eidt", L.eidt}, {"xcd", L.xcd},      {"ehb", L.ehb}, {"sbhb", L.sbhb}};
  // Where each table ends, from the next table's start (tables follow each other).
  const std::vector<uint64_t> order = {L.eit, L.cdt, L.ecpt, L.eidt, L.xcd, L.ehb, L.sbhb, L.frt};
  auto end_of = [&](uint64_t at) {
    for (size_t i = 0; i + 1 < order.size(); ++i)
      if (order[i] == at) return order[i + 1];
    return L.frt;
  };
  std::vector<uint64_t> cuts;
  for (uint64_t b : order) {
    cuts.push_back(b);
    cuts.push_back(b + 4);
    cuts.push_back(b + 13);
  }
  cuts.push_back(L.events[3] + 5);
  cuts.push_back(s.bytes.size() - 1);
  for (uint64_t cut : cuts) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    std::vector<unsigned char> part(s.bytes.begin(), s.bytes.begin() + static_cast<long>(cut));
    OnDisk d(part);
    ASSERT_EQ(d.map.rc(), 0);
    // The trailer is gone: no reference table of any generation.
    CaptureStdout();
    void* f = nullptr;
    EXPECT_LT(get_kova_file_reference_table_m(d.map.base(), cut, cut, d.map.fd(), &f), 0);
    kova_file_reference_table_2024* f24 = nullptr;
    EXPECT_LT(get_kova_file_reference_table_2024(d.map.base(), cut, &f24, nullptr), 0);
    // With the reference table of the whole file, and told the whole length.
    for (uint64_t told : {uint64_t{cut}, uint64_t{s.bytes.size()}}) {
      const auto rc = run_readers(v, d, frt.data(), told);
      for (const auto& [name, code] : rc) {
        const std::string base = name.substr(0, name.find('_'));
        const uint64_t at = start.at(base == "eite" ? "eit" : base);
        const bool basket = base == "ehb" || base == "sbhb";
        const bool whole = at < cut && end_of(at) <= cut;
        if (whole && !(basket && v.swapped))
          EXPECT_EQ(code, 0) << name;
        else
          EXPECT_LT(code, 0) << name;
      }
    }
    GetCapturedStdout();
  }
}

INSTANTIATE_TEST_SUITE_P(AllFiles, CutFiles, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });

// One word of a table overwritten, in the table's byte order.
struct Lie {
  const char* what;
  std::string table;  // whose codes to check
  uint64_t daqfile::Layout::*where;
  size_t at;  // byte offset in the table (2009 layout; doubled for 2024 header words)
  int64_t value;
  int expect;
  int by_type = 1;  // code of the by-type reader (1: not checked)
};

void put_word(std::vector<unsigned char>& b, size_t at, int64_t value, const Variant& v, size_t w) {
  if (w == 8) {
    uint64_t x = static_cast<uint64_t>(value);
    if (v.swapped) x = __builtin_bswap64(x);
    memcpy(&b[at], &x, 8);
  } else {
    uint32_t x = static_cast<uint32_t>(value);
    if (v.swapped) x = __builtin_bswap32(x);
    memcpy(&b[at], &x, 4);
  }
}

TEST(LyingTables, NegativeCodesNeverCrashes) {
  using daqfile::Layout;
  const Lie lies[] = {
      // The by-type reader stops at the first (and only) entry, which is sound.
      {"EIT count beyond the file", "eit", &Layout::eit, 1, 0x7FFFFFFF, -7, 0},
      {"EIT entry length 0", "eit", &Layout::eit, 100, 0, -7, -7},
      {"EIT entry length short of its head", "eit", &Layout::eit, 100, 20, -7, -7},
      {"EIT entry length beyond the file", "eit", &Layout::eit, 100, 0x7FFFFF00, -7, -7},
      {"EIT count 0", "eit", &Layout::eit, 1, 0, -6, -6},
      {"CDT length beyond the file", "cdt", &Layout::cdt, 1, 0x7FFFFFF0, -7},
      {"CDT length inside its header", "cdt", &Layout::cdt, 1, 4, -7},
      {"CDT length 0", "cdt", &Layout::cdt, 1, 0, -7},
      {"ECPT maxev negative", "ecp", &Layout::ecpt, 2, -1, -7},
      {"EIDT length negative", "eidt", &Layout::eidt, 1, -16, -7},
      {"XCD without text", "xcd", &Layout::xcd, 1, 0, -7},
  };
  for (const auto& v : daqtest::all_variants()) {
    const size_t w = v.gen == 2024 ? 8 : 4;
    for (const auto& lie : lies) {
      SCOPED_TRACE(daqtest::name_of(v) + ": " + lie.what);
      auto s = daqtest::make_sample(v);
      OnDisk good(s.bytes);
      auto frt = frt_of(v, good);
      const uint64_t table = s.layout.*lie.where;
      // Header words by index; the EIT entry length lies in the first entry's head.
      size_t at = table + lie.at * w;
      int64_t value = lie.value;
      if (lie.at == 100) at = table + 2 * w + (v.gen == 2024 ? 40 : 28);
      if (std::string(lie.what) == "XCD without text") value = static_cast<int64_t>(2 * w);
      put_word(s.bytes, at, value, v, w);
      OnDisk d(s.bytes);
      const int mappings = daqtest::mapping_count();
      CaptureStdout();
      const auto rc = run_readers(v, d, frt.data(), s.bytes.size());
      GetCapturedStdout();
      EXPECT_EQ(daqtest::mapping_count(), mappings);  // every window given back
      for (const auto& [name, code] : rc) {
        if (name.rfind(lie.table, 0) == 0 && name != "eite") {
          EXPECT_EQ(code, lie.expect) << name;
        }
      }
      if (lie.by_type != 1) {
        EXPECT_EQ(rc.at("eite"), lie.by_type);
      }
    }
  }
}

TEST(LyingTables, ReferencesOutsideTheFile) {
  for (const auto& v : daqtest::all_variants()) {
    SCOPED_TRACE(daqtest::name_of(v));
    const auto s = daqtest::make_sample(v);
    OnDisk d(s.bytes);
    auto frt = frt_of(v, d);
    // Every reference past the end of the file (2024: also negative).
    const size_t w = v.gen == 2024 ? 8 : 4;
    for (int64_t ref : {static_cast<int64_t>(s.bytes.size()), int64_t{0x7FFFFFF0}, int64_t{-8}}) {
      if (ref < 0 && w == 4) continue;
      auto f = frt;
      for (size_t word = 2; word < 42; ++word) memcpy(&f[word * w], &ref, w);
      const auto rc = run_readers(v, d, f.data(), s.bytes.size());
      for (const auto& [name, code] : rc) EXPECT_EQ(code, -5) << name << " " << ref;
    }
  }
}

// A windowed reader told a longer file than there is reads only what is there.
TEST(LyingTables, TotalLengthBeyondTheFile) {
  const auto s = daqtest::make_sample({2010, true});
  OnDisk d(s.bytes);
  auto frt = frt_of({2010, true}, d);
  const auto rc = run_readers({2010, true}, d, frt.data(), uint64_t{1} << 40);
  for (const auto& [name, code] : rc) {
    if (name != "ehb" && name != "sbhb") {
      EXPECT_EQ(code, 0) << name;
    }
  }
}

// A file truncated under its mapping: the readers that touch the lost pages
// say so with KOVA_MAPPING_DAMAGED, the windowed readers find the tables
// gone, pointers handed out before read zeros, and the process lives on.
class ShrinkingFiles : public testing::TestWithParam<Variant> {};

TEST_P(ShrinkingFiles, ReadersOfLostPagesSaySoAndTheProcessLives) {
  const Variant v = GetParam();
  daqfile::SyntheticFile shape;
  shape.events = 40;
  shape.samples = 64;
  const auto s = daqtest::make_sample(v, shape);
  ASSERT_GT(s.layout.eit, 4096u) << "every table past the first page";
  OnDisk d(s.bytes);
  ASSERT_EQ(d.map.rc(), 0);
  auto frt = frt_of(v, d);
  u_char* m = d.map.base();
  const unsigned long n = d.map.len();
  // A dictionary handed out as a pointer into the mapping (host order).
  void* cdt = nullptr;
  int out = -1;
  if (v.gen == 2009)
    kova_get_channel_dictionary_table(m, reinterpret_cast<kova_file_reference_table*>(frt.data()),
                                      reinterpret_cast<kova_chan_dictionary_table**>(&cdt), &out);
  else if (v.gen == 2024)
    kova_get_channel_dictionary_table_2024(
        m, reinterpret_cast<kova_file_reference_table_2024*>(frt.data()),
        reinterpret_cast<kova_chan_dictionary_table_2024**>(&cdt), &out);
  const bool in_map = cdt != nullptr && out == 0;
  const std::string name = daqfile::synthetic_channel_name(0, 0);
  auto lookup = [&] {
    void* e = nullptr;
    return v.gen == 2009
               ? kova_find_channel_by_name(static_cast<kova_chan_dictionary_table*>(cdt),
                                           const_cast<char*>(name.c_str()),
                                           reinterpret_cast<kova_chan_dictionary_entry**>(&e))
               : kova_find_channel_by_name_2024(
                     static_cast<kova_chan_dictionary_table_2024*>(cdt),
                     const_cast<char*>(name.c_str()),
                     reinterpret_cast<kova_chan_dictionary_entry_2024**>(&e));
  };
  if (in_map) {
    EXPECT_GE(lookup(), 0);
  } else if (out == 1) {
    free(cdt);
  }
  EXPECT_EQ(kova_mapping_damaged(m), 0);
  EXPECT_EQ(kova_mapping_damaged(m + n - 1), 0);

  ASSERT_EQ(truncate(d.file.path().c_str(), 4096), 0);
  CaptureStdout();
  const auto rc = run_readers(v, d, frt.data(), n);
  void* f = nullptr;
  const int frt_m = get_kova_file_reference_table_m(m, n, n, d.map.fd(), &f);
  kova_file_reference_table_2024* f24 = nullptr;
  const int frt_2024 = get_kova_file_reference_table_2024(m, n, &f24, nullptr);
  EXPECT_EQ(GetCapturedStdout(), "") << "nothing read from lost pages is reported as the file's";
  for (const auto& [reader, code] : rc) {
    if (reader.size() > 2 && reader.compare(reader.size() - 2, 2, "_m") == 0)
      EXPECT_EQ(code, -5) << reader << ": the table is no longer in the file";
    else
      EXPECT_EQ(code, KOVA_MAPPING_DAMAGED) << reader;
  }
  EXPECT_EQ(frt_m, KOVA_MAPPING_DAMAGED);
  EXPECT_EQ(frt_2024, KOVA_MAPPING_DAMAGED);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(f24, nullptr);
  if (in_map) {
    EXPECT_EQ(static_cast<kova_chan_dictionary_table*>(cdt)->pattern, 0u) << "reads zeros";
    EXPECT_EQ(lookup(), KOVA_MAPPING_DAMAGED);
  }
  EXPECT_EQ(kova_mapping_damaged(m), 1);
  EXPECT_EQ(kova_mapping_damaged(m + n - 1), 1);
  EXPECT_EQ(kova_mapping_damaged(m + n), -1) << "past the mapping";
  int local = 0;
  EXPECT_EQ(kova_mapping_damaged(&local), -1);
  // Mapped again once whole, the file reads as before.
  ASSERT_TRUE(d.file.write(s.bytes));
  daqtest::Mapped again(d.file);
  ASSERT_EQ(again.rc(), 0);
  EXPECT_EQ(kova_mapping_damaged(again.base()), 0);
  const auto fresh = run_readers(v, d, frt.data(), n);
  EXPECT_EQ(fresh.at("eite"), KOVA_MAPPING_DAMAGED) << "the old mapping stays damaged";
}

INSTANTIATE_TEST_SUITE_P(AllFiles, ShrinkingFiles, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });

// The windows of the windowed readers while another thread cuts the file and
// writes it back again and again: whatever a reader meets, it answers with a
// code, and the process lives.
TEST(ShrinkingFile, WindowedReadersWhileTheFileIsCutAgainAndAgain) {
  const Variant v{2024, false};
  daqfile::SyntheticFile shape;
  shape.events = 4000;
  const auto s = daqtest::make_sample(v, shape);
  OnDisk d(s.bytes);
  auto frt = frt_of(v, d);
  std::atomic<bool> stop{false};
  std::thread cutter([&] {
    while (!stop.load()) {
      if (truncate(d.file.path().c_str(), 4096) != 0) break;
      d.file.write(s.bytes);
    }
  });
  auto* f = reinterpret_cast<kova_file_reference_table_2024*>(frt.data());
  std::map<int, int> seen;
  for (int i = 0; i < 300; ++i) {
    kova_event_index_table_2024* t = nullptr;
    const int rc = kova_get_event_index_table_m_2024(s.bytes.size(), f, d.map.fd(), &t);
    ++seen[rc];
    if (rc == 0) {
      EXPECT_EQ(t->pattern, KOVA_EVENT_INDEX_TABLE_PATTERN_2024);
      free(t);
    }
  }
  stop = true;
  cutter.join();
  for (const auto& [code, count] : seen)
    EXPECT_TRUE(code == 0 || code == -5 || code == -7 || code == KOVA_MAPPING_DAMAGED)
        << code << " (" << count << " times)";
}

// A SIGBUS in a mapping the library did not make still ends the process as
// it would without the library's handler.
TEST(ShrinkingFile, OtherMappingsStillFaultAsBefore) {
  const auto s = daqtest::make_sample({2010, false});
  OnDisk d(s.bytes);  // the library's handler is in place
  ASSERT_EQ(d.map.rc(), 0);
  daqtest::TempFile own;
  ASSERT_TRUE(own.write(std::vector<unsigned char>(3 * 4096, 1)));
  EXPECT_EXIT(
      {
        const int fd = open(own.path().c_str(), O_RDONLY);
        auto* p = static_cast<volatile unsigned char*>(
            mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, fd, 0));
        if (ftruncate(open(own.path().c_str(), O_RDWR), 0) != 0) _exit(42);
        _exit(p[2 * 4096] == 0 ? 40 : 41);  // read on: the fault was swallowed
      },
      [](int status) {
        return !WIFEXITED(status) || WEXITSTATUS(status) < 40 || WEXITSTATUS(status) > 42;
      },
      "");
}

}  // namespace
