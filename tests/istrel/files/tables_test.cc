// The table readers: every table of every generation, whole-file and
// windowed, from files in host and in the opposite byte order.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "daq_fixture.h"
#include "generation_guard.h"

using daqtest::OnDisk;
using daqtest::Variant;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

using Bytes = std::vector<unsigned char>;

// Size of a host-order table as its header says.
template <typename C>
size_t size_at(const void* t, size_t at) {
  C v;
  memcpy(&v, static_cast<const char*>(t) + at, sizeof(v));
  return static_cast<size_t>(v);
}

size_t eit_size(const void* t, int gen) {
  const auto* p = static_cast<const unsigned char*>(t);
  const size_t h = gen == 2024 ? 16 : 8, la = gen == 2024 ? 40 : 28;
  const uint64_t n = gen == 2024 ? size_at<uint64_t>(t, 8) : size_at<int32_t>(t, 4);
  size_t at = h;
  for (uint64_t i = 0; i < n; ++i)
    at += gen == 2024 ? size_at<int64_t>(p + at, la) : size_at<int32_t>(p + at, la);
  return at;
}

// Everything the readers of one generation hand out for one file: table
// name -> (bytes, whole-file out flag or -1 for windowed).
struct Read {
  std::map<std::string, Bytes> tables;
  std::map<std::string, int> out;
  std::map<std::string, int> rc;
};

template <typename T>
void keep(Read& r, const std::string& name, int rc, T* t, size_t size, int out, bool owned) {
  r.rc[name] = rc;
  if (rc != 0) return;
  r.tables[name] = daqtest::bytes_of(t, size);
  r.out[name] = out;
  if (owned) free(t);
}

Read read_all(const Variant& v, OnDisk& d) {
  Read r;
  u_char* m = d.map.base();
  const unsigned long n = d.map.len();
  const int fd = d.map.fd();
  auto len = [&](const void* t) {
    return v.gen == 2024 ? size_at<int64_t>(t, 8) : size_at<int32_t>(t, 4);
  };
  if (v.gen == 2009) {
    kova_file_reference_table* f = nullptr;
    int fo = 0;
    EXPECT_EQ(get_kova_file_reference_table(m, n, &f, &fo), 0);
    int out = -1;
    kova_event_index_table* eit = nullptr;
    int rc = kova_get_event_index_table(m, f, &eit, &out);
    keep(r, "eit", rc, eit, rc ? 0 : eit_size(eit, 2009), out, out == 1);
    rc = kova_get_event_index_table_m(n, f, fd, &eit);
    keep(r, "eit_m", rc, eit, rc ? 0 : eit_size(eit, 2009), -1, true);
    kova_chan_dictionary_table* cdt = nullptr;
    rc = kova_get_channel_dictionary_table(m, f, &cdt, &out);
    keep(r, "cdt", rc, cdt, rc ? 0 : len(cdt), out, out == 1);
    rc = kova_get_channel_dictionary_table_m(n, f, fd, &cdt);
    keep(r, "cdt_m", rc, cdt, rc ? 0 : len(cdt), -1, true);
    kova_event_chan_pointers_table* ecp = nullptr;
    rc = kova_get_event_chan_pointers_table(m, f, &ecp, &out);
    keep(r, "ecp", rc, ecp, rc ? 0 : len(ecp), out, out == 1);
    rc = kova_get_event_chan_pointers_table_m(n, f, fd, &ecp);
    keep(r, "ecp_m", rc, ecp, rc ? 0 : len(ecp), -1, true);
    kova_env_dictionary_table* eidt = nullptr;
    rc = kova_get_env_index_dictionary_table(m, f, &eidt, &out);
    keep(r, "eidt", rc, eidt, rc ? 0 : len(eidt), out, out == 1);
    rc = kova_get_env_index_dictionary_table_m(n, f, fd, &eidt);
    keep(r, "eidt_m", rc, eidt, rc ? 0 : len(eidt), -1, true);
    kova_xml_chan_descr_header* xcd = nullptr;
    rc = kova_get_chan_descr_table(m, f, &xcd, &out);
    keep(r, "xcd", rc, xcd, rc ? 0 : len(xcd), out, out == 1);
    rc = kova_get_chan_descr_table_m(n, f, fd, &xcd);
    keep(r, "xcd_m", rc, xcd, rc ? 0 : len(xcd), -1, true);
    kova_event_index_entry* e = nullptr;
    rc = kova_get_event_index_table_by_type(m, f, KOVA_EV_NORMAL, &e, &out);
    keep(r, "eite", rc, e, rc ? 0 : size_at<int32_t>(e, 28), out, out == 1);
    kova_event_header_basket* ehb = nullptr;
    rc = kova_get_event_header_basket_table(m, f, &ehb);
    keep(r, "ehb", rc, ehb, rc ? 0 : len(ehb), 0, false);
    kova_server_block_basket* sbhb = nullptr;
    rc = kova_get_server_block_basket_table(m, f, &sbhb);
    keep(r, "sbhb", rc, sbhb, rc ? 0 : len(sbhb), 0, false);
    if (fo == 1) free(f);
  } else if (v.gen == 2010) {
    kova_file_reference_table_2010* f = nullptr;
    EXPECT_EQ(get_kova_file_reference_table_m_2010(m, n, n, fd, &f), 0);
    int out = -1;
    kova_event_index_table* eit = nullptr;
    int rc = kova_get_event_index_table_m_2010(n, f, fd, &eit);
    keep(r, "eit_m", rc, eit, rc ? 0 : eit_size(eit, 2010), -1, true);
    kova_chan_dictionary_table_2010* cdt = nullptr;
    rc = kova_get_channel_dictionary_table_m_2010(n, f, fd, &cdt);
    keep(r, "cdt_m", rc, cdt, rc ? 0 : len(cdt), -1, true);
    kova_event_chan_pointers_table* ecp = nullptr;
    rc = kova_get_event_chan_pointers_table_m_2010(n, f, fd, &ecp);
    keep(r, "ecp_m", rc, ecp, rc ? 0 : len(ecp), -1, true);
    kova_env_dictionary_table* eidt = nullptr;
    rc = kova_get_env_index_dictionary_table_m_2010(n, f, fd, &eidt);
    keep(r, "eidt_m", rc, eidt, rc ? 0 : len(eidt), -1, true);
    kova_xml_chan_descr_header* xcd = nullptr;
    rc = kova_get_chan_descr_table_m_2010(n, f, fd, &xcd);
    keep(r, "xcd_m", rc, xcd, rc ? 0 : len(xcd), -1, true);
    kova_event_index_entry* e = nullptr;
    rc = kova_get_event_index_table_by_type_2010(m, f, KOVA_EV_NORMAL, &e, &out);
    keep(r, "eite", rc, e, rc ? 0 : size_at<int32_t>(e, 28), out, out == 1);
    kova_event_header_basket* ehb = nullptr;
    rc = kova_get_event_header_basket_table_2010(m, f, &ehb);
    keep(r, "ehb", rc, ehb, rc ? 0 : len(ehb), 0, false);
    kova_server_block_basket_2010* sbhb = nullptr;
    rc = kova_get_server_block_basket_table_2010(m, f, &sbhb);
    keep(r, "sbhb", rc, sbhb, rc ? 0 : len(sbhb), 0, false);
    free(f);
  } else {
    kova_file_reference_table_2024* f = nullptr;
    int fo = 0;
    EXPECT_EQ(get_kova_file_reference_table_2024(m, n, &f, &fo), 0);
    int out = -1;
    kova_event_index_table_2024* eit = nullptr;
    int rc = kova_get_event_index_table_2024(m, f, &eit, &out);
    keep(r, "eit", rc, eit, rc ? 0 : eit_size(eit, 2024), out, out == 1);
    rc = kova_get_event_index_table_m_2024(n, f, fd, &eit);
    keep(r, "eit_m", rc, eit, rc ? 0 : eit_size(eit, 2024), -1, true);
    kova_chan_dictionary_table_2024* cdt = nullptr;
    rc = kova_get_channel_dictionary_table_2024(m, f, &cdt, &out);
    keep(r, "cdt", rc, cdt, rc ? 0 : len(cdt), out, out == 1);
    rc = kova_get_channel_dictionary_table_m_2024(n, f, fd, &cdt);
    keep(r, "cdt_m", rc, cdt, rc ? 0 : len(cdt), -1, true);
    kova_event_chan_pointers_table_2024* ecp = nullptr;
    rc = kova_get_event_chan_pointers_table_2024(m, f, &ecp, &out);
    keep(r, "ecp", rc, ecp, rc ? 0 : len(ecp), out, out == 1);
    rc = kova_get_event_chan_pointers_table_m_2024(n, f, fd, &ecp);
    keep(r, "ecp_m", rc, ecp, rc ? 0 : len(ecp), -1, true);
    kova_env_dictionary_table_2024* eidt = nullptr;
    rc = kova_get_env_index_dictionary_table_2024(m, f, &eidt, &out);
    keep(r, "eidt", rc, eidt, rc ? 0 : len(eidt), out, out == 1);
    rc = kova_get_env_index_dictionary_table_m_2024(n, f, fd, &eidt);
    keep(r, "eidt_m", rc, eidt, rc ? 0 : len(eidt), -1, true);
    kova_xml_chan_descr_header_2024* xcd = nullptr;
    rc = kova_get_chan_descr_table_2024(m, f, &xcd, &out);
    keep(r, "xcd", rc, xcd, rc ? 0 : len(xcd), out, out == 1);
    rc = kova_get_chan_descr_table_m_2024(n, f, fd, &xcd);
    keep(r, "xcd_m", rc, xcd, rc ? 0 : len(xcd), -1, true);
    kova_event_index_entry_2024* e = nullptr;
    rc = kova_get_event_index_table_by_type_2024(m, f, KOVA_EV_NORMAL, &e, &out);
    keep(r, "eite", rc, e, rc ? 0 : size_at<int64_t>(e, 40), out, out == 1);
    kova_event_header_basket_2024* ehb = nullptr;
    rc = kova_get_event_header_basket_table_2024(m, f, &ehb);
    keep(r, "ehb", rc, ehb, rc ? 0 : len(ehb), 0, false);
    kova_server_block_basket_2024* sbhb = nullptr;
    rc = kova_get_server_block_basket_table_2024(m, f, &sbhb);
    keep(r, "sbhb", rc, sbhb, rc ? 0 : len(sbhb), 0, false);
    if (fo == 1) free(f);
  }
  return r;
}

class TablesTest : public testing::TestWithParam<Variant> {};

TEST_P(TablesTest, SwappedFileReadsLikeTheHostOrderFile) {
  const Variant v = GetParam();
  daqfile::SyntheticFile shape;
  shape.events = 12;
  shape.event_types = {KOVA_EV_NORMAL, KOVA_EV_HB, KOVA_EV_NORMAL, KOVA_EV_IMAGE};
  OnDisk host(daqtest::make_sample({v.gen, false}, shape).bytes);
  OnDisk mine(daqtest::make_sample(v, shape).bytes);
  const Read h = read_all({v.gen, false}, host);
  const Read r = read_all(v, mine);
  for (const auto& [name, rc] : r.rc) {
    SCOPED_TRACE(name);
    const bool basket = name == "ehb" || name == "sbhb";
    if (basket && v.swapped) {
      EXPECT_EQ(rc, -5);  // baskets have no swapped path
      continue;
    }
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(r.tables.at(name), h.tables.at(name));
    if (r.out.at(name) >= 0 && !basket) {
      EXPECT_EQ(r.out.at(name), v.swapped ? 1 : 0);
    }
  }
  // Whole-file and windowed readers agree.
  for (const char* t : {"eit", "cdt", "ecp", "eidt", "xcd"}) {
    if (r.tables.count(t)) {
      EXPECT_EQ(r.tables.at(t), r.tables.at(std::string(t) + "_m")) << t;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllFiles, TablesTest, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });

// Tables of the 2009 file, read into host-order structures.
TEST(Tables, ContentsMatchWhatWasWritten) {
  daqfile::SyntheticFile shape;
  shape.events = 6;
  shape.servers = 1;
  shape.channels = 3;
  shape.event_types = {KOVA_EV_NORMAL, KOVA_EV_HB, KOVA_EV_IMAGE};
  const auto s = daqtest::make_sample({2009, true}, shape);
  OnDisk d(s.bytes);
  kova_file_reference_table* f = nullptr;
  int fo = 0;
  ASSERT_EQ(get_kova_file_reference_table(d.map.base(), d.map.len(), &f, &fo), 0);

  // A swapped EIT of three entries: one block of 8 + the three entry lengths.
  kova_event_index_table* eit = nullptr;
  int out = 0;
  ASSERT_EQ(kova_get_event_index_table(d.map.base(), f, &eit, &out), 0);
  EXPECT_EQ(out, 1);
  EXPECT_EQ(eit->pattern, KOVA_EVENT_INDEX_TABLE_PATTERN);
  EXPECT_EQ(eit->nevent_types, 3);
  const kova_event_index_entry* e = eit->event_index_entry;
  EXPECT_EQ(e->event_type, KOVA_EV_HB);  // entries by type number
  EXPECT_EQ(e->head.length, 32 + 2 * 16);
  EXPECT_EQ(e->event_info[1].offset, s.layout.events[4]);
  EXPECT_EQ(e->event_info[1].event_number, 1004u);
  EXPECT_EQ(e->event_info[1].time.timelow, 400000u);
  EXPECT_EQ(eit_size(eit, 2009), 8u + 3 * (32 + 2 * 16));
  free(eit);

  // Dictionary names read forwards, keys and masks in host order.
  kova_chan_dictionary_table* cdt = nullptr;
  ASSERT_EQ(kova_get_channel_dictionary_table(d.map.base(), f, &cdt, &out), 0);
  ASSERT_EQ(cdt->length, 8 + 3 * 96);
  EXPECT_STREQ(cdt->chan_dictionary_entry[0].chan_name, "SRV.00/CH.000");
  EXPECT_STREQ(cdt->chan_dictionary_entry[2].chan_name, "SRV.00/CH.002");
  EXPECT_EQ(cdt->chan_dictionary_entry[1].key, 1010u);
  EXPECT_EQ(cdt->chan_dictionary_entry[1].ev_mask,
            (1u << KOVA_EV_NORMAL) | (1u << KOVA_EV_HB) | (1u << KOVA_EV_IMAGE));
  EXPECT_EQ(cdt->chan_dictionary_entry[0].count, 6);
  EXPECT_EQ(cdt->chan_dictionary_entry[2].count, 3);  // left out of odd events
  free(cdt);

  kova_event_chan_pointers_table* ecp = nullptr;
  ASSERT_EQ(kova_get_event_chan_pointers_table(d.map.base(), f, &ecp, &out), 0);
  EXPECT_EQ(ecp->maxev, 6);
  EXPECT_EQ(ecp->length, 12 + 3 * 6 * 16);
  const kova_event_chan_ptr_entry& p = ecp->event_chan_ptr_entry[6 + 2];  // channel 1, event 2
  EXPECT_EQ(p.evhd, s.layout.events[2]);
  EXPECT_EQ(p.sbhd, p.evhd + 36);
  EXPECT_EQ(p.chhd, p.sbhd + 76 + 44 + 16 + 4 * 16);
  EXPECT_EQ(p.data, p.chhd + 44);
  EXPECT_EQ(ecp->event_chan_ptr_entry[2 * 6 + 3].chhd, 0u);  // unused tail of channel 2's row
  free(ecp);

  kova_xml_chan_descr_header* xcd = nullptr;
  ASSERT_EQ(kova_get_chan_descr_table(d.map.base(), f, &xcd, &out), 0);
  const std::string xml(xcd->xml, static_cast<size_t>(xcd->length) - 8);
  EXPECT_NE(xml.find("<channel key=\"1020\" name=\"SRV.00/CH.002\"/>"), std::string::npos) << xml;
  free(xcd);
  free(f);
}

TEST(Tables, AbsentTablesAreSilentMinusSix) {
  for (const auto& v : daqtest::all_variants()) {
    OnDisk d(daqtest::make_sample(v, {}, 0).bytes);  // no tables at all
    CaptureStdout();
    const Read r = read_all(v, d);
    EXPECT_EQ(GetCapturedStdout(), "") << daqtest::name_of(v);
    for (const auto& [name, rc] : r.rc) EXPECT_EQ(rc, -6) << daqtest::name_of(v) << " " << name;
  }
}

TEST(Tables, ByTypeCodes) {
  const auto s = daqtest::make_sample({2024, true});
  OnDisk d(s.bytes);
  kova_file_reference_table_2024* f = nullptr;
  int fo = 0;
  ASSERT_EQ(get_kova_file_reference_table_2024(d.map.base(), d.map.len(), &f, &fo), 0);
  kova_event_index_entry_2024* e = nullptr;
  int out = -1;
  EXPECT_EQ(kova_get_event_index_table_by_type_2024(d.map.base(), f, KOVA_EV_BOR, &e, &out), -7);
  EXPECT_EQ(kova_get_event_index_table_by_type_2024(d.map.base(), f, 32, &e, &out), -2);
  EXPECT_EQ(kova_get_event_index_table_by_type_2024(d.map.base(), f, -1, &e, &out), -2);
  EXPECT_EQ(kova_get_event_index_table_by_type_2024(nullptr, f, 1, &e, &out), -1);
  ASSERT_EQ(kova_get_event_index_table_by_type_2024(d.map.base(), f, KOVA_EV_NORMAL, &e, &out), 0);
  EXPECT_EQ(out, 1);
  EXPECT_EQ(e->event_type, KOVA_EV_NORMAL);
  EXPECT_EQ(e->event_number_last, 1099u);
  EXPECT_EQ(e->event_info[99].event_number, 1099u);
  EXPECT_EQ(static_cast<uint64_t>(e->event_info[99].offset), s.layout.events[99]);
  EXPECT_EQ(e->event_info[99].time.timeup, 1700000009u);
  EXPECT_EQ(e->event_info[99].time.timelow, 900000u);
  free(e);
  free(f);
}

TEST(Tables, WrongReferenceTableIsRefused) {
  const auto s = daqtest::make_sample({2009, false});
  OnDisk d(s.bytes);
  kova_file_reference_table* f = nullptr;
  ASSERT_EQ(get_kova_file_reference_table(d.map.base(), d.map.len(), &f, nullptr), 0);
  kova_file_reference_table copy = *f;
  kova_chan_dictionary_table* cdt = nullptr;
  copy.length = 167;
  EXPECT_EQ(kova_get_channel_dictionary_table(d.map.base(), &copy, &cdt, nullptr), -4);
  EXPECT_EQ(kova_get_channel_dictionary_table_m(d.map.len(), &copy, d.map.fd(), &cdt), -4);
  copy = *f;
  copy.pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN_2010;  // another generation
  EXPECT_EQ(kova_get_channel_dictionary_table(d.map.base(), &copy, &cdt, nullptr), -3);
  copy.pattern = __builtin_bswap32(KOVA_FILE_REFERENCE_TABLE_PATTERN);  // not converted
  EXPECT_EQ(kova_get_event_header_basket_table(d.map.base(),
                                               reinterpret_cast<kova_file_reference_table*>(&copy),
                                               reinterpret_cast<kova_event_header_basket**>(&cdt)),
            -3);
  copy = *f;
  copy.cdt_ref = copy.ecp_ref;  // points at another table
  EXPECT_EQ(kova_get_channel_dictionary_table(d.map.base(), &copy, &cdt, nullptr), -5);
  EXPECT_EQ(kova_get_channel_dictionary_table_m(d.map.len(), &copy, d.map.fd(), &cdt), -5);
  EXPECT_EQ(cdt, nullptr);
  EXPECT_EQ(kova_get_channel_dictionary_table_m(0, f, d.map.fd(), &cdt), -1);
  EXPECT_EQ(kova_get_channel_dictionary_table_m(d.map.len(), f, 0, &cdt), -1);
  EXPECT_EQ(kova_get_channel_dictionary_table_m(d.map.len(), nullptr, d.map.fd(), &cdt), -1);
}

TEST(Tables, ServerBlockBasket2010IsRecognisedByItsPattern) {
  const auto s = daqtest::make_sample({2010, false});
  OnDisk d(s.bytes);
  kova_file_reference_table_2010* f = nullptr;
  ASSERT_EQ(
      get_kova_file_reference_table_m_2010(d.map.base(), d.map.len(), d.map.len(), d.map.fd(), &f),
      0);
  kova_server_block_basket_2010* sb = nullptr;
  ASSERT_EQ(kova_get_server_block_basket_table_2010(d.map.base(), f, &sb), 0);
  EXPECT_EQ(sb->pattern, 0xBBABBAF3u);
  EXPECT_EQ(reinterpret_cast<u_char*>(sb), d.map.base() + s.layout.sbhb);
  EXPECT_STREQ(sb->server_block[1].server, "SRV.01");
  // The 2009 reader does not take it.
  kova_server_block_basket* sb9 = nullptr;
  kova_file_reference_table f9;
  memcpy(&f9, f, sizeof(f9));
  f9.pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN;
  EXPECT_EQ(kova_get_server_block_basket_table(d.map.base(), &f9, &sb9), -5);
  free(f);
}

TEST(Tables, DispatchersFollowTheGenerationFlags) {
  GenerationGuard guard;
  set_data_format_2024(true);
  const auto s = daqtest::make_sample({2024, false});
  OnDisk d(s.bytes);
  void* f = nullptr;
  ASSERT_EQ(get_kova_file_reference_table_m(d.map.base(), d.map.len(), d.map.len(), d.map.fd(), &f),
            0);
  void* t = nullptr;
  ASSERT_EQ(kova_get_channel_dictionary_table_m(d.map.len(), f, d.map.fd(), &t), 0);
  EXPECT_EQ(static_cast<kova_chan_dictionary_table_2024*>(t)->pattern,
            KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2024);
  free(t);
  ASSERT_EQ(kova_get_event_index_table(d.map.len(), f, d.map.fd(), &t), 0);  // base name
  EXPECT_EQ(static_cast<kova_event_index_table_2024*>(t)->nevent_types, 1u);
  free(t);
  int out = -1;
  ASSERT_EQ(kova_get_event_index_table_by_type(d.map.base(), f, KOVA_EV_NORMAL, &t, &out), 0);
  EXPECT_EQ(out, 0);
  ASSERT_EQ(kova_get_server_block_basket_table(d.map.base(), f, &t), 0);
  EXPECT_EQ(static_cast<kova_server_block_basket_2024*>(t)->pattern,
            KOVA_SERVER_BLOCK_BASKET_PATTERN_2024);
  free(f);
}

}  // namespace
