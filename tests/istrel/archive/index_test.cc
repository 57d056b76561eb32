// Index files of the three layouts: appends and read-back, damaged files,
// printing, and appends by several processes at once.
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive_tree.h"

using namespace archive_test;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

char* c(const char* s) {
  return const_cast<char*>(s);
}

// The functions of one layout, so one set of tests covers all three.
template <class R>
struct Layout;

template <>
struct Layout<kova_index_file> {
  static constexpr int kFormat = 0;
  static constexpr size_t kSize = 148;
  static constexpr const char* kTitle = "KOVA FILE INDEX (struct)";
  static int add(int run, std::vector<kova_index_file*>* ad) {
    return add_index_file_entries(c("lin"), c("s"), run, 2, ad, nullptr);
  }
  static int read(const std::string& f, std::vector<kova_index_file*>* out, bool lock) {
    return read_index_file(c(f.c_str()), out, lock, 1);
  }
  static void clear(std::vector<kova_index_file*>* l) { clear_index_file_mem(l); }
  static void print(std::vector<kova_index_file*>* l, bool how) { print_index_file_struct(l, how); }
};

template <>
struct Layout<kova_index_file_ev> {
  static constexpr int kFormat = 1;
  static constexpr size_t kSize = 156;
  static constexpr const char* kTitle = "KOVA FILE INDEX EVENT NUMBER(struct)";
  static int add(int run, std::vector<kova_index_file_ev*>* ad) {
    return add_index_file_entries_ev(c("lin"), c("s"), run, 2, ad, nullptr, 1);
  }
  static int read(const std::string& f, std::vector<kova_index_file_ev*>* out, bool lock) {
    return read_index_file_ev(c(f.c_str()), out, lock, 1);
  }
  static void clear(std::vector<kova_index_file_ev*>* l) { clear_index_file_mem_ev(l); }
  static void print(std::vector<kova_index_file_ev*>* l, bool how) {
    print_index_file_struct_ev(l, how);
  }
};

template <>
struct Layout<kova_index_file_ev_2024> {
  static constexpr int kFormat = 2;
  static constexpr size_t kSize = 168;
  static constexpr const char* kTitle = "KOVA FILE INDEX EVENT NUMBER 2024(struct)";
  static int add(int run, std::vector<kova_index_file_ev_2024*>* ad) {
    return add_index_file_entries_ev_2024(c("lin"), c("s"), run, 2, ad, nullptr, 2);
  }
  static int read(const std::string& f, std::vector<kova_index_file_ev_2024*>* out, bool lock) {
    return read_index_file_ev_2024(c(f.c_str()), out, lock, 1);
  }
  static void clear(std::vector<kova_index_file_ev_2024*>* l) { clear_index_file_mem_ev_2024(l); }
  static void print(std::vector<kova_index_file_ev_2024*>* l, bool how) {
    print_index_file_struct_ev_2024(l, how);
  }
};

template <class R>
class ArchiveIndex : public testing::Test {
 protected:
  using L = Layout<R>;
  void SetUp() override {
    ASSERT_EQ(add_run(run_entry("lin", "s", 4, 2, 2023, 100, 900, 3), "lin"), 0);
  }
  std::string path() const {
    char buf[4096];
    int len = sizeof(buf);
    EXPECT_EQ(get_index_file_name(c("lin"), c("s"), 4, buf, &len, 2, nullptr, L::kFormat, 2023), 0);
    return buf;
  }
  static std::vector<R> three() {
    std::vector<R> v = {index_record<R>(1, 100, 200, 100), index_record<R>(2, 200, 300, 200),
                        index_record<R>(3, 300, 400, 300)};
    for (auto& r : v) set_numbers(r);
    return v;
  }
  static void set_numbers(kova_index_file&) {}
  static void set_numbers(kova_index_file_ev& r) {
    r.event_first = 1000u * r.filen;
    r.event_last = 1000u * r.filen + 999;
  }
  static void set_numbers(kova_index_file_ev_2024& r) {
    r.event_first = (1ull << 40) + r.filen;
    r.event_last = (1ull << 40) + r.filen + 5;
    r.unused = 0xdeadbeef;  // never stored
  }
  std::vector<R> read_back(bool lock, int* rc) {
    std::vector<R*> list;
    *rc = L::read(path(), &list, lock);
    std::vector<R> copy;
    for (R* p : list) copy.push_back(*p);
    L::clear(&list);
    return copy;
  }

  Tree tree_;
};

using Layouts = testing::Types<kova_index_file, kova_index_file_ev, kova_index_file_ev_2024>;
TYPED_TEST_SUITE(ArchiveIndex, Layouts);

TYPED_TEST(ArchiveIndex, AppendedRecordsReadBackInOrder) {
  using L = Layout<TypeParam>;
  auto recs = this->three();
  auto ad = pointers(recs);
  ASSERT_EQ(L::add(4, &ad), 0);
  const std::string file = this->path();
  EXPECT_EQ(file_size(file), static_cast<long long>(3 * L::kSize));
  EXPECT_NE(file.find("/2023/lin/s/run4/lin_s_run4.2."), std::string::npos) << "year from catalog";
  for (bool lock : {false, true}) {
    int rc = -1;
    auto back = this->read_back(lock, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(back.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
      if constexpr (L::kFormat == 2) recs[i].unused = 0;
      EXPECT_EQ(memcmp(&back[i], &recs[i], sizeof(TypeParam)), 0) << i;
    }
  }
  const std::string bytes = slurp(file);
  EXPECT_EQ(static_cast<unsigned char>(bytes[3]), 1) << "file number big-endian";
  EXPECT_EQ(static_cast<unsigned char>(bytes[L::kSize + 3]), 2);
  if constexpr (L::kFormat == 2) {
    EXPECT_EQ(bytes.substr(12, 4), std::string(4, '\0'));
  }
  // A second append goes after the first.
  std::vector<TypeParam> more = {index_record<TypeParam>(9, 1, 2, 3)};
  auto ad2 = pointers(more);
  ASSERT_EQ(L::add(4, &ad2), 0);
  EXPECT_EQ(file_size(file), static_cast<long long>(4 * L::kSize));
}

TYPED_TEST(ArchiveIndex, DamagedFilesGiveClearErrors) {
  using L = Layout<TypeParam>;
  auto recs = this->three();
  auto ad = pointers(recs);
  ASSERT_EQ(L::add(4, &ad), 0);
  const std::string file = this->path();
  std::string good = slurp(file).substr(0, 2 * L::kSize);
  spill(file, good + std::string(L::kSize - 4, '\x7f'));
  int rc = -1;
  CaptureStdout();
  EXPECT_TRUE(this->read_back(true, &rc).empty());
  EXPECT_EQ(rc, KOVA_FILE_CORRUPTED);
  EXPECT_EQ(this->read_back(false, &rc).size(), 2u);
  EXPECT_EQ(rc, 0);
  // A negative event count, a last event time before the first: every
  // record still reads, locked or not.
  for (size_t off : {L::kSize + L::kSize - 4, L::kSize + 8}) {
    std::string bad = good;
    if (off == L::kSize + 8)
      bad.replace(off, 4, std::string("\0\0\0\1", 4));
    else
      bad[off] = '\x80';
    spill(file, bad);
    for (bool lock : {false, true}) {
      const auto back = this->read_back(lock, &rc);
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(back.size(), 2u);
      EXPECT_EQ(back.empty() ? -1 : back[0].filen, 1);
    }
  }
  // Appending to the corrupt file is refused and leaves it as it was.
  spill(file, good + "xyz");
  EXPECT_EQ(L::add(4, &ad), KOVA_FILE_CORRUPTED);
  EXPECT_EQ(file_size(file), static_cast<long long>(2 * L::kSize + 3));
  // Records that would be lies are refused.
  recs[1].filen = -4;
  EXPECT_EQ(L::add(4, &ad), KOVA_FILE_BAD_PRM);
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("failed to read index file:"), std::string::npos);
}

TYPED_TEST(ArchiveIndex, Printing) {
  using L = Layout<TypeParam>;
  auto recs = this->three();
  auto ad = pointers(recs);
  ASSERT_EQ(L::add(4, &ad), 0);
  std::vector<TypeParam*> list;
  int rc = L::read(this->path(), &list, false);
  ASSERT_EQ(rc, 0);
  CaptureStdout();
  L::print(&list, true);
  std::vector<TypeParam*> none;
  L::print(&none, false);
  print_index_file(c(this->path().c_str()), false);
  const std::string out = GetCapturedStdout();
  L::clear(&list);
  EXPECT_EQ(out.rfind(std::string(L::kTitle) + "\n=", 0), 0u);
  EXPECT_NE(out.find("File: 2\tEvents: 12\t"), std::string::npos);
  EXPECT_NE(out.find("Events statistics: "), std::string::npos);
  EXPECT_NE(out.find("===== 3 entries  ====\n"), std::string::npos);
  EXPECT_NE(out.find("No entries\n===== 0 entries  ====\n"), std::string::npos);
  // print_index_file reads the layout its name says.
  EXPECT_NE(out.find(std::string(L::kTitle), 10), std::string::npos);
  if constexpr (L::kFormat == 0) {
    EXPECT_NE(out.find("First event: 200\tLast event: 300\tISO time: 19700101T000320"),
              std::string::npos);
  }
}

TYPED_TEST(ArchiveIndex, ConcurrentAppendsLoseNothing) {
  using L = Layout<TypeParam>;
  constexpr int kProcs = 4, kRecords = 30;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      int bad = 0;
      for (int i = 0; i < kRecords; ++i) {
        std::vector<TypeParam> one = {index_record<TypeParam>(p * kRecords + i, 1, 2, 3)};
        auto ad = pointers(one);
        if (L::add(4, &ad) != 0) ++bad;
      }
      _exit(bad);
    }
    kids.push_back(pid);
  }
  for (pid_t k : kids) {
    int status = 0;
    waitpid(k, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  int rc = -1;
  auto back = this->read_back(true, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(back.size(), static_cast<size_t>(kProcs * kRecords));
  std::vector<bool> seen(kProcs * kRecords, false);
  for (const auto& r : back) seen[r.filen] = true;
  for (bool s : seen) EXPECT_TRUE(s);
}

TEST(ArchiveIndexFiles, MissingFilesWrongFormatsAndMissingCatalogs) {
  Tree tree;
  std::vector<kova_index_file*> list;
  CaptureStdout();
  EXPECT_EQ(read_index_file(c((tree.root() + "/none.idx").c_str()), &list, false, 0),
            KOVA_OPEN_FILE_ERROR);
  EXPECT_EQ(GetCapturedStdout(), "") << "silent with warn 0";
  CaptureStdout();
  std::vector<kova_index_file_ev_2024*> l24;
  EXPECT_EQ(read_index_file_ev_2024(c((tree.root() + "/none.idev64").c_str()), &l24, true, 1),
            KOVA_OPEN_FILE_ERROR);
  EXPECT_NE(GetCapturedStdout().find("read_index_file_ev() failed to open index file:"),
            std::string::npos);
  EXPECT_EQ(read_index_file(nullptr, &list, false, 0), KOVA_FILE_BAD_PRM);

  std::vector<kova_index_file_ev> ev = {index_record<kova_index_file_ev>(1, 1, 2, 3)};
  auto ad = pointers(ev);
  EXPECT_EQ(add_index_file_entries_ev(c("lin"), c("s"), 4, 0, &ad, nullptr, 0), KOVA_FILE_BAD_PRM)
      << "156-byte records never go into an .idx file";
  CaptureStdout();
  EXPECT_EQ(add_index_file_entries_ev(c("lin"), c("s"), 4, 0, &ad, nullptr, 1), KOVA_FILE_DIR_ERROR)
      << "no run catalog to give the year";
  GetCapturedStdout();
  std::vector<kova_index_file_ev*> empty;
  EXPECT_EQ(add_index_file_entries_ev(c("lin"), c("s"), 4, 0, &empty, nullptr, 1),
            KOVA_FILE_BAD_PRM);
}

}  // namespace
