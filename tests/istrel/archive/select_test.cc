// File selection by runs, writers, file numbers and periods, and the order
// of the files within a run.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive_tree.h"
#include "generation_guard.h"

using namespace archive_test;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

char* c(const char* s) {
  return const_cast<char*>(s);
}

constexpr unsigned kT0 = 1700000000;  // 2023-11-14, UTC

std::string iso(unsigned t) {
  char buf[16];
  create_isodate_from_sec(t, buf, true);
  return buf;
}

// lin_s_run<run>_file<n>_<iso>[.<w>].root relative to the experiment directory.
std::string rel(int run, int filen, unsigned tfile, int writer, const char* ext = ".root") {
  const std::string r = std::to_string(run);
  return "lin/s/run" + r + "/lin_s_run" + r + "_file" + std::to_string(filen) + "_" + iso(tfile) +
         (writer > 0 ? "." + std::to_string(writer) : std::string()) + ext;
}

struct Result {
  int rc;
  std::vector<std::vector<std::string>> files;  // per run group
  std::vector<std::string> xml;
};

Result collect(int rc, std::vector<kova_root_xml_files*>& out) {
  Result r{rc, {}, {}};
  for (auto* g : out) {
    std::vector<std::string> names;
    for (auto* s : g->rfiles) names.push_back(*s);
    r.files.push_back(names);
    r.xml.push_back(g->xmlfile ? *g->xmlfile : "(null)");
  }
  clear_root_xml_files(&out);
  return r;
}

class ArchiveSelect : public testing::Test {
 protected:
  void SetUp() override {
    // Run 1, writer 0: file numbers not in time order.
    add(run_entry("lin", "s", 1, 0, 2023, kT0, kT0 + 1000, 3),
        {index_record<kova_index_file>(1, kT0 + 250, kT0 + 350, kT0 + 300),
         index_record<kova_index_file>(2, kT0 + 50, kT0 + 150, kT0 + 100),
         index_record<kova_index_file>(3, kT0 + 150, kT0 + 250, kT0 + 200)});
    // Run 2, writers 3 and 13.
    add(run_entry("lin", "s", 2, 3, 2023, kT0 + 2000, kT0 + 3000, 1),
        {index_record<kova_index_file>(1, kT0 + 2000, kT0 + 2500, kT0 + 2010)});
    add(run_entry("lin", "s", 2, 13, 2023, kT0 + 2000, kT0 + 3000, 1),
        {index_record<kova_index_file>(1, kT0 + 2000, kT0 + 2500, kT0 + 2020)});
    // Run 3 is still being taken (ends in the future).
    const unsigned later = static_cast<unsigned>(time(nullptr)) + 100000;
    add(run_entry("lin", "s", 3, 0, 2023, kT0 + 100, later, 1),
        {index_record<kova_index_file>(1, kT0 + 100, kT0 + 200, kT0 + 110)});
    // Run 4 belongs to every experiment.
    add(run_entry("", "s", 4, 0, 2023, kT0 + 5000, kT0 + 6000, 1), {}, nullptr);
  }

  void add(kova_run_catalog e, std::vector<kova_index_file> recs, const char* catalog = "lin") {
    ASSERT_EQ(add_run(e, catalog), 0);
    if (recs.empty()) return;
    auto ad = pointers(recs);
    ASSERT_EQ(add_index_file_entries(e.exp, e.stream, e.run, e.fid, &ad, nullptr), 0);
  }

  Result runs(std::vector<int> numbers, int format = 0, int thrn = 0, int filen = -1,
              std::string exp = "lin") {
    std::vector<int*> sel;
    for (int& n : numbers) sel.push_back(&n);
    std::vector<kova_root_xml_files*> out;
    std::string descr;
    const int rc = get_files_for_runsnf(&sel, &out, descr, thrn, &exp, nullptr, format, filen);
    return collect(rc, out);
  }

  Result period(unsigned start, unsigned end, int format = 0) {
    std::vector<kova_root_xml_files*> out;
    std::string descr, exp = "lin";
    const int rc = get_files_for_period(start, end, &out, descr, &exp, nullptr, format);
    return collect(rc, out);
  }

  Tree tree_;
};

TEST_F(ArchiveSelect, EveryRunInCatalogOrderFilesInTimeOrder) {
  const Result r = runs({-1});
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.files.size(), 3u) << "run 4 has no index file and is dropped";
  EXPECT_EQ(r.files[0], (std::vector<std::string>{rel(1, 2, kT0 + 100, 0), rel(1, 3, kT0 + 200, 0),
                                                  rel(1, 1, kT0 + 300, 0)}));
  EXPECT_EQ(r.xml[0], tree_.adm() + "/2023/lin/s/run1/lin_s_run1_chan_dscr.xml");
  EXPECT_EQ(r.files[1],
            (std::vector<std::string>{rel(2, 1, kT0 + 2010, 3), rel(2, 1, kT0 + 2020, 13)}));
  EXPECT_EQ(r.files[2], (std::vector<std::string>{rel(3, 1, kT0 + 110, 0)}));
}

TEST_F(ArchiveSelect, ChosenRunsWritersAndFileNumbers) {
  struct Case {
    const char* what;
    std::vector<int> runs;
    int thrn, filen;
    std::vector<std::vector<std::string>> expected;
  } cases[] = {
      {"run 2", {2}, 0, -1, {{rel(2, 1, kT0 + 2010, 3), rel(2, 1, kT0 + 2020, 13)}}},
      {"writer 3 is not writer 13", {2}, 3, -1, {{rel(2, 1, kT0 + 2010, 3)}}},
      {"writer 13", {-1}, 13, -1, {{rel(2, 1, kT0 + 2020, 13)}}},
      {"files from number 2", {1, 3}, 0, 2, {{rel(1, 2, kT0 + 100, 0), rel(1, 3, kT0 + 200, 0)}}},
      {"no such run", {99}, 0, -1, {}},
  };
  for (const auto& k : cases) {
    const Result r = runs(k.runs, 0, k.thrn, k.filen);
    EXPECT_EQ(r.rc, 0) << k.what;
    EXPECT_EQ(r.files, k.expected) << k.what;
  }
}

TEST_F(ArchiveSelect, PeriodsTakeFilesWithEventsInThem) {
  struct Case {
    const char* what;
    unsigned start, end;
    std::vector<std::vector<std::string>> expected;
  } cases[] = {
      {"an instant (end 0)", kT0 + 150, 0, {{rel(1, 2, kT0 + 100, 0), rel(1, 3, kT0 + 200, 0)}}},
      {"a span",
       kT0 + 260,
       kT0 + 2100,
       {{rel(1, 1, kT0 + 300, 0)}, {rel(2, 1, kT0 + 2010, 3), rel(2, 1, kT0 + 2020, 13)}}},
      {"between runs", kT0 + 4000, kT0 + 4500, {}},
  };
  for (const auto& k : cases) {
    const Result r = period(k.start, k.end);
    EXPECT_EQ(r.rc, 0) << k.what;
    EXPECT_EQ(r.files, k.expected) << k.what;
  }
  std::vector<kova_root_xml_files*> out;
  EXPECT_EQ(get_files_for_period_new(kT0, kT0, &out, nullptr, nullptr), -1);
}

TEST_F(ArchiveSelect, ShorterExperimentNamesAndEmptyOnesMatch) {
  // Run 4's catalog entry has no experiment name: it matches "lin" (and
  // "linac"); its index file lies under its own (empty-named) path, which
  // cannot be built, so it still brings no files. An entry of experiment
  // "li" matches "lin" too, and its names, which do not hold "lin", stay whole.
  add(run_entry("li", "s", 7, 0, 2023, kT0, kT0 + 10, 1),
      {index_record<kova_index_file>(1, kT0, kT0 + 10, kT0 + 5)}, nullptr);
  const Result r = runs({7});
  ASSERT_EQ(r.files.size(), 1u);
  ASSERT_EQ(r.files[0].size(), 1u);
  EXPECT_EQ(r.files[0][0],
            tree_.data() + "/real/2023/li/s/run7/li_s_run7_file1_" + iso(kT0 + 5) + ".root");
  EXPECT_EQ(runs({7}, 0, 0, -1, "tor").files.size(), 0u);
}

TEST_F(ArchiveSelect, ARecordThatContradictsItselfHidesNoOther) {
  // Run 2 of writer 3 ends before it starts in the catalog; file 3 of run 1
  // counts a negative number of events in the index.
  char buf[4096];
  int len = sizeof(buf);
  ASSERT_EQ(get_run_catalog_file_name(buf, &len, nullptr, c("lin")), 0);
  std::string catalog = slurp(buf);
  catalog.replace(92 + 84, 4, std::string("\x70\0\0\0", 4));  // tstart after tend
  spill(buf, catalog);
  len = sizeof(buf);
  ASSERT_EQ(get_index_file_name(c("lin"), c("s"), 1, buf, &len, 0, nullptr, 0, 2023), 0);
  std::string index = slurp(buf);
  index[2 * 148 + 20] = '\x80';
  spill(buf, index);
  CaptureStdout();
  const Result r = runs({-1});
  const Result p = period(kT0, kT0 + 3000);
  const std::string out = GetCapturedStdout();
  EXPECT_EQ(r.rc, 0);
  const std::vector<std::vector<std::string>> expected = {
      {rel(1, 2, kT0 + 100, 0), rel(1, 1, kT0 + 300, 0)},
      {rel(2, 1, kT0 + 2020, 13)},
      {rel(3, 1, kT0 + 110, 0)}};
  EXPECT_EQ(r.files, expected);
  EXPECT_EQ(p.rc, 0);
  EXPECT_EQ(p.files, (std::vector<std::vector<std::string>>{expected[0], expected[1]}));
  EXPECT_NE(out.find("read_run_catalog_lock() 1 of 4 records inconsistent, the first is record 2: "
                     "run ends before it starts\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("read_index_file_lock() 1 of 3 records inconsistent, the first is record 3: "
                     "negative event count\n"),
            std::string::npos)
      << out;
}

TEST_F(ArchiveSelect, BothIndexLayoutsListAFileOnce) {
  GenerationGuard guard;
  std::vector<kova_index_file_ev_2024> recs = {
      index_record<kova_index_file_ev_2024>(1, kT0 + 10, kT0 + 20, kT0 + 15)};
  auto ad = pointers(recs);
  ASSERT_EQ(add_index_file_entries_ev_2024(c("lin"), c("s"), 1, 0, &ad, nullptr, 2), 0);
  set_data_format_2024(true);
  const Result r = runs({1}, 2);
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0], (std::vector<std::string>{rel(1, 1, kT0 + 15, 0, ".raw")}));
  // The same by format 3 directly, and the raw names of the ".idev64" index.
  EXPECT_EQ(runs({1}, 3).files, r.files);
}

TEST_F(ArchiveSelect, RawIndexOfTheYearBeforeIsFound) {
  // Run 8 began in 2023 but its catalog entry says 2024.
  ASSERT_EQ(add_run(run_entry("lin", "s", 8, 0, 2023, kT0, kT0 + 10, 1), "lin"), 0);
  std::vector<kova_index_file_ev> recs = {index_record<kova_index_file_ev>(1, kT0, kT0 + 10, kT0)};
  auto ad = pointers(recs);
  ASSERT_EQ(add_index_file_entries_ev(c("lin"), c("s"), 8, 0, &ad, nullptr, 1), 0);
  kova_run_catalog e = run_entry("lin", "s", 8, 0, 2024, kT0, kT0 + 10, 1);
  std::vector<std::string*> res;
  CaptureStdout();
  EXPECT_EQ(get_root_file_name_from_index_file(0, 0, &e, nullptr, &res, 1, 0, 2024, -1), 0);
  EXPECT_NE(GetCapturedStdout().find("get_root_file_name_from_index_file_( it's OK for:'"),
            std::string::npos);
  ASSERT_EQ(res.size(), 1u);
  EXPECT_NE(res[0]->find("/real/2024/lin/s/run8/lin_s_run8_file1_"), std::string::npos);
  for (auto* s : res) delete s;
  EXPECT_EQ(get_root_file_name_from_index_file(0, 0, nullptr, nullptr, &res, 1, 0, 2024, -1),
            KOVA_FILE_DIR_ERROR);
  EXPECT_EQ(get_root_file_name_from_index_file(0, 0, &e, nullptr, &res, 4, 0, 2024, -1),
            KOVA_FILE_DIR_ERROR);
}

TEST(ArchiveSelectErrors, MissingCatalogsAndBadArguments) {
  Tree tree;
  int any = -1;
  std::vector<int*> sel{&any};
  std::vector<kova_root_xml_files*> out;
  std::string descr, exp = "lin";
  CaptureStdout();
  EXPECT_EQ(get_files_for_runs(&sel, &out, descr, &exp, nullptr, 0), KOVA_OPEN_FILE_ERROR);
  EXPECT_EQ(get_files_for_period(1, 2, &out, descr, &exp, nullptr, 0), KOVA_OPEN_FILE_ERROR);
  GetCapturedStdout();
  EXPECT_NE(get_files_for_runs(&sel, nullptr, descr, &exp, nullptr, 0), 0);
  EXPECT_NE(get_files_for_runs(&sel, &out, descr, &exp, nullptr, 4), 0);
  EXPECT_EQ(get_files_for_period(1, 2, &out, descr, &exp, nullptr, 4), KOVA_FILE_DIR_ERROR);
  EXPECT_TRUE(out.empty());
}

TEST(ArchiveSort, AllThreeFormsOrderByTheStampInTheName) {
  EnvGuard guard;
  EnvGuard::clear_all();
  const std::vector<std::string> names = {
      "/d/e_s_run1_file1_20240103T000000.root", "/d/e_s_run1_file2_20240101T000000.2.raw",
      "/d/e_s_run1_file3_20240102T000000.root", "/d/e_s_run1_file4_nostamp.root"};
  CaptureStdout();
  std::vector<std::string*> ptrs;
  std::vector<char*> chars;
  for (const auto& n : names) {
    ptrs.push_back(new std::string(n));
    chars.push_back(c(n.c_str()));
  }
  sort_files(&ptrs);
  sort_files(&chars);
  std::vector<std::string> strs = names;
  sort_files(strs);
  GetCapturedStdout();
  const std::vector<int> order = {3, 1, 2, 0};
  for (size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(*ptrs[i], names[order[i]]) << i;
    EXPECT_EQ(std::string(chars[i]), names[order[i]]) << i;
  }
  // The string form knows only ".root": the raw name counts as time 0.
  EXPECT_EQ(strs, (std::vector<std::string>{names[1], names[3], names[2], names[0]}));
  for (auto* p : ptrs) delete p;
}

}  // namespace
