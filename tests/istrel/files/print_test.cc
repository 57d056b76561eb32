// Table printers: exact texts, wrong patterns, and tables from swapped files
// printing like those from host-order files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "daq_fixture.h"
#include "generation_guard.h"

using daqtest::OnDisk;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

template <typename F>
std::string captured(F f) {
  CaptureStdout();
  f();
  return GetCapturedStdout();
}

std::string padded(const char* label) {
  std::string s(label);
  s.resize(46, ' ');
  return s;
}

TEST(PrintFrt, Layout2009) {
  kova_file_reference_table t;
  memset(&t, 0, sizeof(t));
  t.pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN;
  t.length = 168;
  t.eit_pos_ref = 100;
  t.eite_pos_ref[KOVA_EV_NORMAL] = 108;
  t.cdt_ref = 200;
  t.ecp_ref = 300;
  t.chanb_ref = 7;
  std::string want =
      "========================\nKOVA File Reference Table (FRT)\nPATTERN: 0xFEAFEAF2\n";
  want += padded("Length:") + "\t168\n" + padded("Event Index Table (EIT) ref:") + "\t100\n";
  for (int i = 0; i < 32; ++i)
    want += std::string("Event Index Table for Event  (EITE) type ") + event_name_itoa(i) + " \t" +
            (i == 1 ? "108" : "0") + "\n";
  want += padded("Channel Dictionary Table (CDT) ref:") + "\t200\n";
  want += padded("Event Cahnnel Pointers Table (ECPT) ref:") + "\t300\n";
  want += padded("Environment Index Dictionary Table (EIDT) ref:") + "\t0\n";
  want += padded("XML Channel Description (XCD) ref:") + "\t0\n";
  want += padded("Event Header Basket (EHB) ref:") + "\t0\n";
  want += padded("Server BlockHeader Basket (SBHB) ref:") + "\t0\n";
  want += padded("First Channel Basket (CHB) ref:") + "\t7\n";
  want += "========================\n";
  EXPECT_EQ(captured([&] { print_kova_file_reference_table(&t); }), want);
}

TEST(PrintFrt, WrongPatternAndNull) {
  kova_file_reference_table_2010 t;
  memset(&t, 0, sizeof(t));
  t.pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN;  // a 2009 table given to the 2010 printer
  EXPECT_EQ(captured([&] { print_kova_file_reference_table_2010(&t); }),
            "========================\nKOVA File Reference Table (FRT)\nPATTERN: "
            "0xFEAFEAF2\nWRONG PATTERN\n========================\n");
  kova_file_reference_table_2024 w;
  memset(&w, 0, sizeof(w));
  w.pattern = 0x1234;
  EXPECT_EQ(captured([&] { print_kova_file_reference_table_2024(&w); }),
            "========================\nKOVA File Reference Table (FRT 2024)\nPATTERN: "
            "0x1234\nWRONG PATTERN\n========================\n");
  EXPECT_EQ(captured([] {
              print_kova_file_reference_table(static_cast<kova_file_reference_table*>(nullptr));
            }),
            "");
}

TEST(PrintEit, EntryLayout) {
  std::vector<unsigned char> b(32 + 2 * 16);
  auto* e = reinterpret_cast<kova_event_index_entry*>(b.data());
  e->event_type = KOVA_EV_NORMAL;
  e->event_time_first = {100, 5};
  e->event_time_last = {101, 6};
  e->event_number_first = 7;
  e->event_number_last = 8;
  e->length = 64;
  e->event_info[0] = {{100, 5}, 7, 1000};
  e->event_info[1] = {{101, 6}, 8, 2000};
  EXPECT_EQ(captured([&] { print_kova_event_index_table(e); }),
            "========================\nKOVA Event Index Table (EIT)\nEvent Type: \tNORMAL\n"
            "Entries: \t2\nTime: \t First: 100:5 \tLast: 101:6\nEvent number:\t First: 7\tLast: 8\n"
            "[0]\tEvent#: 7\tTime: 100:5\tOffset:1000\n[1]\tEvent#: 8\tTime: 101:6\tOffset:2000\n"
            "========================\n");
  EXPECT_EQ(captured([] { print_kova_event_index_table_2024(nullptr); }),
            "KOVA Event Index Table (EIT) - Invalid table address\n");
}

TEST(PrintCdt, EntriesAndEmptyMask) {
  std::vector<unsigned char> b(8 + 2 * 96);
  auto* t = reinterpret_cast<kova_chan_dictionary_table*>(b.data());
  t->pattern = KOVA_CHAN_DICTIONARY_TABLE_PATTERN;
  t->length = static_cast<int32_t>(b.size());
  t->chan_dictionary_entry[0] = {1000, "A/B", 0x13, 1, 5};
  t->chan_dictionary_entry[1] = {1010, "C/D", 0, 1, 0};
  EXPECT_EQ(captured([&] { print_kova_channel_dictionary_table(t); }),
            "========================\nKOVA Channel Dictionary Table (CDT)\nPATTERN: 0xDCADCAF2\n" +
                padded("Length (entries):") +
                "\t200 (2)\n[0]\tKey:1000\tChan:A/B\tCount:5\tEvents:HEART_BEAT:NORMAL:ENV\n"
                "[1]\tKey:1010\tChan:C/D\tCount:0\tEvents:\n==========END=OF=CDT========\n");
}

TEST(PrintEcpt, RowsShowUsedRecordsOnly) {
  std::vector<unsigned char> b(24 + 2 * 2 * 32);
  auto* t = reinterpret_cast<kova_event_chan_pointers_table_2024*>(b.data());
  t->pattern = KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2024;
  t->length = static_cast<int64_t>(b.size());
  t->maxev = 2;
  t->event_chan_ptr_entry[0] = {1, 2, 3, 4};
  t->event_chan_ptr_entry[1] = {5, 6, 0, 8};  // chhd 0: holds nothing
  EXPECT_EQ(captured([&] { print_kova_event_chan_pointers_table_2024(t); }),
            "========================\nKOVA Event Channel Pointers Table (ECP 2024)\n"
            "PATTERN: 0xECAECAF4ECAECAF4\nLength:152\t Entries:2\tMaxEvents:2 \n"
            "[0] (1 2 3 4) \n[1] \n==========END=OF=ECP========\n");
  t->maxev = 0;  // no rows rather than a division by zero
  EXPECT_EQ(captured([&] { print_kova_event_chan_pointers_table_2024(t); }),
            "========================\nKOVA Event Channel Pointers Table (ECP 2024)\n"
            "PATTERN: 0xECAECAF4ECAECAF4\nLength:152\t Entries:0\tMaxEvents:0 \n"
            "==========END=OF=ECP========\n");
}

TEST(PrintEidt, KeysWithAndWithoutDictionary) {
  std::vector<unsigned char> cb(8 + 96);
  auto* cdt = reinterpret_cast<kova_chan_dictionary_table_2010*>(cb.data());
  std::vector<unsigned char> cb10(8 + 272);
  cdt = reinterpret_cast<kova_chan_dictionary_table_2010*>(cb10.data());
  cdt->pattern = KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010;
  cdt->length = static_cast<int32_t>(cb10.size());
  cdt->chan_dictionary_entry[0].key = 1000;
  strcpy(cdt->chan_dictionary_entry[0].chan_name, "ENV/T1");
  std::vector<unsigned char> b(8 + 2 * 8);
  auto* t = reinterpret_cast<kova_env_dictionary_table*>(b.data());
  t->pattern = KOVA_ENV_DICTIONARY_TABLE_PATTERN_2010;
  t->length = 24;
  t->env_dictionary_entry[0] = {1000, 0};
  t->env_dictionary_entry[1] = {1001, 1};
  const std::string head =
      "========================\nKOVA Environment Index Dictionary Table (EIDT)\n"
      "PATTERN: 0xEEAEEAF3\n" +
      padded("Length (entries):") + "\t24 (2)\n";
  EXPECT_EQ(captured([&] { print_kova_env_index_dictionary_table_2010(t, cdt); }),
            head +
                "[0]\tIndex:0\tKey:1000\tENV/T1\n[1]\tIndex:1\tKey:1001\t NOT FOUND in CDT\n"
                "==========END=OF=EIDT========\n");
  EXPECT_EQ(
      captured([&] { print_kova_env_index_dictionary_table_2010(t, nullptr); }),
      head + "[0]\tIndex:0\tKey:1000\n[1]\tIndex:1\tKey:1001\n==========END=OF=EIDT========\n");
}

// Every printer of a generation over the tables of one file.
std::string print_file(const daqtest::Variant& v, OnDisk& d) {
  const unsigned long n = d.map.len();
  const int fd = d.map.fd();
  GenerationGuard guard;
  if (v.gen == 2009) GenerationGuard::use_2009();
  if (v.gen == 2010) set_data_format_2010(true);
  if (v.gen == 2024) set_data_format_2024(true);
  void *f = nullptr, *eit = nullptr, *cdt = nullptr, *ecp = nullptr, *eidt = nullptr;
  std::string s = captured([&] {
    get_kova_file_reference_table_m(d.map.base(), n, n, fd, &f);
    kova_get_channel_dictionary_table_m(n, f, fd, &cdt);
    kova_get_event_chan_pointers_table_m(n, f, fd, &ecp);
    kova_get_env_index_dictionary_table_m(n, f, fd, &eidt);
    int out = 0;
    kova_get_event_index_table_by_type(d.map.base(), f, KOVA_EV_NORMAL, &eit, &out);
    print_kova_file_reference_table(f);
    print_kova_event_index_table(eit);
    print_kova_channel_dictionary_table(cdt);
    print_kova_event_chan_pointers_table(ecp);
    print_kova_env_index_dictionary_table(eidt, cdt);
    if (out == 1) free(eit);
  });
  free(f);
  free(cdt);
  free(ecp);
  free(eidt);
  return s;
}

TEST(PrintFiles, SwappedTablesPrintLikeHostOrderTables) {
  daqfile::SyntheticFile shape;
  shape.events = 5;
  for (int gen : {2009, 2010, 2024}) {
    OnDisk host(daqtest::make_sample({gen, false}, shape).bytes);
    OnDisk swapped(daqtest::make_sample({gen, true}, shape).bytes);
    const std::string h = print_file({gen, false}, host);
    EXPECT_EQ(print_file({gen, true}, swapped), h) << gen;
    EXPECT_EQ(h.find("WRONG"), std::string::npos) << h;
    EXPECT_NE(h.find("Chan:SRV.01/CH.003"), std::string::npos) << h;
    EXPECT_NE(h.find("\tSRV.00/CH.002\n"), std::string::npos) << h;  // EIDT names from the CDT
  }
}

TEST(PrintBaskets, HeadersThroughTheHeadDumps) {
  const auto s = daqtest::make_sample({2024, false});
  OnDisk d(s.bytes);
  kova_file_reference_table_2024* f = nullptr;
  ASSERT_EQ(get_kova_file_reference_table_2024(d.map.base(), d.map.len(), &f, nullptr), 0);
  kova_event_header_basket_2024* ehb = nullptr;
  kova_server_block_basket_2024* sbhb = nullptr;
  ASSERT_EQ(kova_get_event_header_basket_table_2024(d.map.base(), f, &ehb), 0);
  ASSERT_EQ(kova_get_server_block_basket_table_2024(d.map.base(), f, &sbhb), 0);
  const std::string e = captured([&] { print_kova_event_header_basket_2024(ehb); });
  EXPECT_EQ(e.rfind("========================\nKOVA Event Header Basket (EHB 2024)\n", 0), 0u);
  EXPECT_NE(e.find(padded("Length (entries):") + "\t4816 (100)\n"), std::string::npos);
  const std::string one = captured([&] { dump_event_header_2024_(&ehb->event_header[99]); });
  EXPECT_NE(e.find(one + "==========END=OF=EHB========\n"), std::string::npos);
  const std::string b = captured([&] { print_kova_server_block_basket_2024(sbhb); });
  const std::string first =
      captured([&] { dump_event_subheader_2024(nullptr, &sbhb->server_block[0]); });
  EXPECT_NE(b.find(first), std::string::npos);
  EXPECT_EQ(b.substr(b.size() - 30), "==========END=OF=SBHB========\n");
}

}  // namespace
