// Run and copy catalogs: updates and merges, reads of damaged files, the
// interval helpers, printing, and updates by several processes at once.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <utility>
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

std::string catalog_path(const char* exp) {
  char buf[4096];
  int len = sizeof(buf);
  EXPECT_EQ(get_run_catalog_file_name(buf, &len, nullptr, c(exp)), 0);
  return buf;
}

std::vector<kova_run_catalog> read_back(const char* exp, bool lock, int* rc = nullptr) {
  std::vector<kova_run_catalog*> list;
  const int r = read_run_catalog(&list, lock, nullptr, c(exp));
  if (rc) *rc = r;
  std::vector<kova_run_catalog> copy;
  for (auto* p : list) copy.push_back(*p);
  clear_run_catalog_mem(&list);
  return copy;
}

TEST(ArchiveCatalog, UpdatesAppendNewRecordsAndMergeKnownOnes) {
  Tree tree;
  std::vector<kova_run_catalog> first = {run_entry("lin", "s", 1, 0, 2024, 1000, 2000, 2),
                                         run_entry("lin", "s", 2, 0, 2024, 3000, 4000, 1),
                                         run_entry("lin", "s", 2, 0, 2024, 3000, 4000, 1)};
  auto upd = pointers(first);
  ASSERT_EQ(update_run_catalog_entries(&upd, nullptr, c("lin")), 0);
  EXPECT_EQ(file_size(catalog_path("lin")), 3 * 92) << "same identity twice, both appended";

  // Run 1 widened on both sides and given more files, twice in one call;
  // run 1 of writer 1 is a different record.
  std::vector<kova_run_catalog> second = {run_entry("lin", "s", 1, 0, 2024, 900, 1500, 3),
                                          run_entry("lin", "s", 1, 0, 2024, 0, 2500, 1),
                                          run_entry("lin", "s", 1, 1, 2024, 1000, 2000, 4)};
  upd = pointers(second);
  ASSERT_EQ(update_run_catalog_entries(&upd, nullptr, c("lin")), 0);
  const auto all = read_back("lin", true);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].files, 6);
  EXPECT_EQ(all[0].tstart, 900u) << "an unknown start does not erase the known one";
  EXPECT_EQ(all[0].tend, 2500u);
  EXPECT_EQ(all[1].files, 1);
  EXPECT_EQ(all[2].files, 1);
  EXPECT_EQ(all[3].fid, 1);
  EXPECT_EQ(all[3].files, 4);

  // The stored bytes are big-endian.
  const std::string bytes = slurp(catalog_path("lin"));
  EXPECT_EQ(static_cast<unsigned char>(bytes[72 + 3]), 1);  // run 1
  EXPECT_EQ(static_cast<unsigned char>(bytes[4 + 2]), 2024 >> 8);
  EXPECT_EQ(std::string(bytes.data() + 8, 3), "lin");
}

TEST(ArchiveCatalog, DamagedFilesGiveClearErrors) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 1, 0, 2024, 10, 20, 1), "lin"), 0);
  ASSERT_EQ(add_run(run_entry("lin", "s", 2, 0, 2024, 30, 40, 1), "lin"), 0);
  const std::string path = catalog_path("lin");
  const std::string good = slurp(path);

  spill(path, good + std::string(50, '\0'));
  int rc = -1;
  CaptureStdout();
  EXPECT_TRUE(read_back("lin", true, &rc).empty());
  EXPECT_EQ(rc, KOVA_FILE_CORRUPTED);
  EXPECT_EQ(GetCapturedStdout(), "") << "the code says it";
  EXPECT_EQ(read_back("lin", false, &rc).size(), 2u) << "unlocked read skips the partial tail";
  EXPECT_EQ(rc, 0);

  struct Lie {
    const char* what;
    int offset;
    unsigned char byte;
  } lies[] = {{"negative number of files", 76, 0xff},
              {"negative year", 4, 0x80},
              {"run ends before it starts", 88, 0}};
  // A record that contradicts itself is named once per read and handed out
  // with the others; look-ups pass it over, and an update of its run is
  // appended beside it.
  for (const auto& k : lies) {
    std::string bad = good;
    bad[92 + k.offset] = static_cast<char>(k.byte);
    if (k.offset == 88) bad.replace(92 + 88, 4, std::string("\0\0\0\1", 4));
    spill(path, bad);
    for (bool lock : {false, true}) {
      CaptureStdout();
      const auto back = read_back("lin", lock, &rc);
      const std::string out = GetCapturedStdout();
      EXPECT_EQ(rc, 0) << k.what;
      ASSERT_EQ(back.size(), 2u) << k.what;
      EXPECT_EQ(back[0].run, 1);
      EXPECT_EQ(back[1].run, 2);
      EXPECT_EQ(out,
                "read_run_catalog_lock() 1 of 2 records inconsistent, the first is record 2: " +
                    std::string(k.what) + "\n");
    }
    std::string lin = "lin";
    unsigned s = 0, e = 0;
    CaptureStdout();
    EXPECT_EQ(get_time_for_run(1, &s, &e, &lin, nullptr), 0) << k.what;
    EXPECT_EQ(get_time_for_run(2, &s, &e, &lin, nullptr), KOVA_NO_FILE_FOUND) << k.what;
    EXPECT_EQ(add_run(run_entry("lin", "s", 2, 0, 2024, 30, 40, 1), "lin"), 0) << k.what;
    GetCapturedStdout();
    EXPECT_EQ(file_size(path), 3 * 92) << k.what;
    EXPECT_EQ(slurp(path).substr(0, 2 * 92), bad) << k.what;
  }
  // Writers refuse records that would be lies, before touching the file.
  spill(path, good);
  std::vector<kova_run_catalog> bad = {run_entry("lin", "s", 3, 0, 2024, 10, 20, -1)};
  auto upd = pointers(bad);
  CaptureStdout();
  EXPECT_EQ(update_run_catalog_entries(&upd, nullptr, c("lin")), KOVA_FILE_BAD_PRM);
  GetCapturedStdout();
  EXPECT_EQ(slurp(path), good);
  // A missing catalog.
  CaptureStdout();
  EXPECT_TRUE(read_back("none", false, &rc).empty());
  EXPECT_EQ(rc, KOVA_OPEN_FILE_ERROR);
  EXPECT_NE(GetCapturedStdout().find("read_run_catalog() failed to open run catalog:"),
            std::string::npos);
}

TEST(ArchiveCatalog, WritersRefuseALinkOrOtherFileInTheirFilesPlace) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 4, 2, 2023, 1, 2, 1), "lin"), 0);
  char buf[4096];
  int len = sizeof(buf);
  ASSERT_EQ(get_adm_dir_name(c("lin"), c("s"), 4, true, buf, &len, nullptr, 2023), 0);
  len = sizeof(buf);
  ASSERT_EQ(get_index_file_name(c("lin"), c("s"), 4, buf, &len, 2, nullptr, 0, 2023), 0);
  const std::string index = buf;
  len = sizeof(buf);
  ASSERT_EQ(get_dccp_catalog_dir_name(true, buf, &len, nullptr), 0);
  len = sizeof(buf);
  ASSERT_EQ(get_dccp_catalog_file_name(buf, &len, nullptr, c("tor")), 0);
  const std::string dccp = buf;
  const std::string run = catalog_path("tor");

  std::vector<kova_run_catalog> r = {run_entry("tor", "s", 1, 0, 2024, 1, 2, 1)};
  std::vector<kova_dccp_catalog> d = {dccp_entry("tor", "s", 1, 0, 3, 1)};
  std::vector<kova_index_file> x = {index_record<kova_index_file>(1, 1, 2, 3)};
  struct Writer {
    const char* what;
    std::string path;
    std::function<int()> write;
    const char* message;
  } writers[] = {
      {"run catalog", run,
       [&] {
         auto u = pointers(r);
         return update_run_catalog_entries(&u, nullptr, c("tor"));
       },
       "update_run_catalog_entries() failed to open run catalog:"},
      {"copy catalog", dccp,
       [&] {
         auto u = pointers(d);
         return update_dccp_catalog_entries(&u, nullptr, c("tor"));
       },
       "update_dccp_catalog_entries() failed to open run catalog:"},
      {"index file", index,
       [&] {
         auto u = pointers(x);
         return add_index_file_entries(c("lin"), c("s"), 4, 2, &u, nullptr);
       },
       "add_index_file_entries() failed to open index file:"},
  };
  const std::string target = tree.root() + "/target";
  struct Plant {
    const char* what;
    std::function<void(const std::string&)> plant;
  } plants[] = {
      {"link to a new file",
       [&](const std::string& p) { ASSERT_EQ(symlink(target.c_str(), p.c_str()), 0); }},
      {"link to a file",
       [&](const std::string& p) {
         spill(target, "precious");
         ASSERT_EQ(symlink(target.c_str(), p.c_str()), 0);
       }},
      {"FIFO", [&](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); }},
      {"directory", [&](const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0700), 0); }},
  };
  for (const Writer& w : writers) {
    for (const Plant& k : plants) {
      std::filesystem::remove(target);
      k.plant(w.path);
      CaptureStdout();
      EXPECT_EQ(w.write(), KOVA_OPEN_FILE_ERROR) << w.what << ", " << k.what;
      EXPECT_EQ(GetCapturedStdout(), w.message + w.path + "\n") << w.what << ", " << k.what;
      const long long size = file_size(target);
      EXPECT_TRUE(size == -1 || size == 8) << w.what << ", " << k.what << ": target touched";
      std::filesystem::remove(w.path);
    }
    EXPECT_EQ(w.write(), 0) << w.what << " once the way is clear";
  }
  // A link on the way to the catalog is followed: archive trees are built so.
  std::filesystem::create_directories(tree.root() + "/real_ctlg");
  ASSERT_EQ(symlink((tree.root() + "/real_ctlg").c_str(), (tree.root() + "/ctlg").c_str()), 0);
  setenv("KOVA_RUN_CTLG_DIR", (tree.root() + "/ctlg").c_str(), 1);
  EXPECT_EQ(add_run(run_entry("tor", "s", 1, 0, 2024, 1, 2, 1), "tor"), 0);
  EXPECT_EQ(file_size(tree.root() + "/real_ctlg/kovarunstor.ctl"), 92);
}

TEST(ArchiveCatalog, MergeKeepsOrderInOneBlock) {
  Tree tree;
  for (int r = 1; r <= 3; ++r)
    ASSERT_EQ(add_run(run_entry("lin", "s", r, 0, 2024, 1, 2, 1), "lin"), 0);
  for (int r = 4; r <= 5; ++r)
    ASSERT_EQ(add_run(run_entry("", "s", r, 0, 2024, 1, 2, 1), nullptr), 0);
  std::vector<kova_run_catalog*> a, b, empty;
  ASSERT_EQ(read_run_catalog(&a, false, nullptr, c("lin")), 0);
  ASSERT_EQ(read_run_catalog(&b, false, nullptr, nullptr), 0);
  EXPECT_FALSE(merge_run_catalogs(&a, &empty));
  EXPECT_EQ(a.size(), 3u);
  EXPECT_FALSE(merge_run_catalogs(&a, &b));
  ASSERT_EQ(a.size(), 5u);
  EXPECT_TRUE(b.empty());
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(a[i]->run, i + 1);
    EXPECT_EQ(a[i], a[0] + i) << "one block";
  }
  // Into an empty list: both share the block, released once.
  EXPECT_FALSE(merge_run_catalogs(&empty, &a));
  EXPECT_EQ(empty.size(), 5u);
  EXPECT_EQ(empty[0], a[0]);
  EXPECT_TRUE(merge_run_catalogs(nullptr, &a));
  clear_run_catalog_mem(&a);
  empty.clear();
}

TEST(ArchiveCatalog, ReadAllTakesEveryCatalogOfTheDirectory) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 1, 0, 2024, 1, 2, 1), "lin"), 0);
  ASSERT_EQ(add_run(run_entry("lin", "s", 2, 0, 2024, 1, 2, 1), "lin"), 0);
  ASSERT_EQ(add_run(run_entry("tor", "s", 3, 0, 2024, 1, 2, 1), "tor"), 0);
  ASSERT_EQ(add_run(run_entry("", "s", 4, 0, 2024, 1, 2, 1), nullptr), 0);
  spill(tree.adm() + "/notes.txt", "not a catalog");
  for (bool lock : {false, true}) {
    std::vector<kova_run_catalog*> all;
    EXPECT_EQ(read_all_run_catalogs(&all, lock, nullptr), 0);
    ASSERT_EQ(all.size(), 4u);
    int sum = 0;
    for (auto* r : all) sum += r->run;
    EXPECT_EQ(sum, 10);
    // Every record lies in one block, so the clear function frees them all.
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i], all[0] + i);
    clear_run_catalog_mem(&all);
  }
  // The same for copy catalogs, from the copy-catalog directory.
  std::vector<kova_dccp_catalog> d = {dccp_entry("lin", "s", 1, 0, 3, 1)};
  auto upd = pointers(d);
  ASSERT_EQ(update_dccp_catalog_entries(&upd, nullptr, c("lin")), 0);
  ASSERT_EQ(update_dccp_catalog_entries(&upd, nullptr, c("tor")), 0);
  std::vector<kova_dccp_catalog*> dall;
  CaptureStdout();
  EXPECT_EQ(read_all_dccp_catalogs(&dall, false, nullptr), 0);
  EXPECT_NE(GetCapturedStdout().find(">>>>>>>DCCP CATALOG>>>>>>>>>>>>>>>> "), std::string::npos);
  EXPECT_EQ(dall.size(), 2u);
  clear_dccp_catalog_mem(&dall);
}

TEST(ArchiveCatalog, CopyCatalogNeverRemovesMoreThanItCopied) {
  Tree tree;
  std::vector<kova_dccp_catalog> d = {dccp_entry("lin", "s", 1, 0, 3, 1)};
  auto upd = pointers(d);
  ASSERT_EQ(update_dccp_catalog_entries(&upd, nullptr, c("lin")), 0);
  d[0].files = 1;
  d[0].removed = 5;
  CaptureStdout();
  ASSERT_EQ(update_dccp_catalog_entries(&upd, nullptr, c("lin")), 0);
  EXPECT_NE(GetCapturedStdout().find(
                " update_dccp_catalog_entries() attempt to set number of removed files 6 > number "
                "of file 4\n"),
            std::string::npos);
  std::vector<kova_dccp_catalog*> list;
  ASSERT_EQ(read_dccp_catalog(&list, true, nullptr, c("lin")), 0);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]->files, 4);
  EXPECT_EQ(list[0]->removed, 4);
  EXPECT_TRUE(same_dccp_catalog_entry(list[0], &d[0]));
  clear_dccp_catalog_mem(&list);
}

TEST(ArchiveCatalog, TimeOfARun) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 5, 0, 2024, 100, 200, 1), "lin"), 0);
  ASSERT_EQ(add_run(run_entry("", "s", 6, 0, 2024, 300, 400, 1), nullptr), 0);
  std::string lin = "lin", other = "tor";
  unsigned s = 0, e = 0;
  EXPECT_EQ(get_time_for_run(5, &s, &e, &lin, nullptr), 0);
  EXPECT_EQ(s, 100u);
  EXPECT_EQ(e, 200u);
  EXPECT_EQ(get_time_for_run(6, &s, &e, &lin, nullptr), 0) << "empty experiment matches all";
  EXPECT_EQ(s, 300u);
  EXPECT_EQ(get_time_for_run(7, &s, &e, &lin, nullptr), KOVA_NO_FILE_FOUND);
  EXPECT_EQ(get_time_for_run(5, &s, &e, &other, nullptr), KOVA_NO_FILE_FOUND);
  EXPECT_EQ(get_time_for_run(0, &s, &e, &lin, nullptr), KOVA_FILE_BAD_PRM);
}

TEST(ArchiveCatalog, IntervalsAndOrdering) {
  struct Case {
    time_t s, e, rs, re;
    bool meets;
  } cases[] = {{10, 20, 15, 30, true}, {10, 20, 5, 10, true},   {10, 20, 20, 25, true},
               {10, 20, 5, 25, true},  {10, 20, 21, 30, false}, {10, 20, 1, 9, false},
               {15, 15, 10, 20, true}};
  for (const auto& k : cases)
    EXPECT_EQ(check_time_interval(k.s, k.e, k.rs, k.re), k.meets) << k.s << " " << k.rs;
  int a = 3, b = 7, any = -1;
  std::vector<int*> runs{&a, &b}, all{&any}, none;
  EXPECT_TRUE(check_run_interval(7, &runs));
  EXPECT_FALSE(check_run_interval(4, &runs));
  EXPECT_TRUE(check_run_interval(12345, &all));
  EXPECT_FALSE(check_run_interval(3, &none));
  time_t_index t[] = {{5, 0}, {1, 1}, {5, 2}, {3, 3}, {1, 4}};
  sort_by_keys(t, 5);
  const int order[] = {1, 4, 3, 0, 2};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(t[i].index, order[i]);
}

// The exchange sort as the catalogs' users know it, item by item.
std::vector<int> exchange_order(std::vector<time_t_index> t) {
  for (size_t i = 0; i < t.size(); ++i)
    for (size_t j = i + 1; j < t.size(); ++j)
      if (t[j].t < t[i].t) std::swap(t[i], t[j]);
  std::vector<int> order;
  for (const auto& k : t) order.push_back(k.index);
  return order;
}

TEST(ArchiveCatalog, EqualKeysComeOutInTheExchangeOrder) {
  std::vector<time_t_index> t = {{5, 0}, {5, 1}, {3, 2}};
  sort_by_keys(t.data(), 3);
  EXPECT_EQ(t[0].index, 2);
  EXPECT_EQ(t[1].index, 1);
  EXPECT_EQ(t[2].index, 0);
  // Many small inputs with few distinct keys, and some longer ones.
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    const int n =
        round < 19000 ? 1 + static_cast<int>(rng() % 12) : 50 + static_cast<int>(rng() % 400);
    const int keys = 1 + static_cast<int>(rng() % (round % 3 == 0 ? 3 : 8));
    std::vector<time_t_index> in(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) in[static_cast<size_t>(i)] = {static_cast<time_t>(rng() % keys), i};
    std::vector<time_t_index> got = in;
    sort_by_keys(got.data(), n);
    std::vector<int> order;
    for (const auto& k : got) order.push_back(k.index);
    ASSERT_EQ(order, exchange_order(in)) << "round " << round << " n " << n;
  }
}

TEST(ArchiveCatalog, Printing) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 5, 2, 2024, 100, 200, 3), "lin"), 0);
  CaptureStdout();
  print_run_catalog(nullptr, c("lin"));
  print_run_catalog(nullptr, c("none"));
  std::vector<kova_run_catalog*> empty;
  print_run_catalog_struct(&empty);
  print_dccp_catalog(nullptr);
  const std::string out = GetCapturedStdout();
  EXPECT_NE(out.find("KOVA RUN CATALOG\n="), std::string::npos);
  EXPECT_NE(out.find("Type: 0\tYear: 2024\tExp: lin\tStream: s Run: 5\tfiles: 3 FID: 2\t Start: "),
            std::string::npos);
  EXPECT_NE(out.find("===== 1 entri(es)  ====\n"), std::string::npos);
  EXPECT_NE(out.find("Failed to read run catalog\n"), std::string::npos);
  EXPECT_NE(out.find("No entries\n===== 0 entri(es)  ====\n"), std::string::npos);
  EXPECT_NE(out.find("Failed to read dccp catalog\n"), std::string::npos);
}

TEST(ArchiveCatalog, LockIsExclusiveBetweenProcesses) {
  Tree tree;
  ASSERT_EQ(add_run(run_entry("lin", "s", 1, 0, 2024, 1, 2, 1), "lin"), 0);
  const std::string path = catalog_path("lin");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(path.c_str(), O_RDWR);
    const bool failed = fd < 0 || lock_file(fd, 1, 1000);
    const char b = failed ? 'x' : 'k';
    if (write(ready[1], &b, 1) != 1) _exit(2);
    usleep(500000);
    _exit(failed ? 1 : 0);
  }
  char b = 0;
  ASSERT_EQ(read(ready[0], &b, 1), 1);
  ASSERT_EQ(b, 'k');
  const int fd = open(path.c_str(), O_RDWR);
  CaptureStdout();
  EXPECT_TRUE(lock_file(fd, 1, 1000)) << "held by the child";
  EXPECT_NE(GetCapturedStdout().find("Trying once again: pid:"), std::string::npos);
  EXPECT_FALSE(lock_file(fd, 0, 0)) << "no lock wanted";
  EXPECT_TRUE(lock_file(-1, 1, 1));
  std::vector<kova_run_catalog*> list;
  CaptureStdout();
  EXPECT_EQ(read_run_catalog_lock(fd, 1, 1000, &list), KOVA_FILE_LOCK_FAILED);
  GetCapturedStdout();
  // The child's lock goes with it; then waiting readers get the file.
  EXPECT_EQ(read_run_catalog_lock(fd, 20, 100000, &list), 0);
  EXPECT_EQ(list.size(), 1u);
  EXPECT_FALSE(unlock_file(fd));
  clear_run_catalog_mem(&list);
  close(fd);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  close(ready[0]);
  close(ready[1]);
}

TEST(ArchiveCatalog, ConcurrentUpdatesLoseNothing) {
  Tree tree;
  constexpr int kProcs = 4, kRounds = 25;
  std::vector<pid_t> kids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    if (pid == 0) {
      int bad = 0;
      for (int i = 0; i < kRounds; ++i) {
        // One record shared by every process, one of its own per round.
        std::vector<kova_run_catalog> v = {
            run_entry("lin", "s", 1, 0, 2024, 1000u - i, 2000u + i, 1),
            run_entry("lin", "s", 100 + p * kRounds + i, 0, 2024, 10, 20, 1)};
        auto upd = pointers(v);
        if (update_run_catalog_entries(&upd, nullptr, c("lin")) != 0) ++bad;
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
  const auto all = read_back("lin", true, &rc);
  ASSERT_EQ(rc, 0);
  ASSERT_EQ(all.size(), 1u + kProcs * kRounds);
  EXPECT_EQ(all[0].run, 1);
  EXPECT_EQ(all[0].files, kProcs * kRounds);
  EXPECT_EQ(all[0].tstart, 1000u - (kRounds - 1));
  EXPECT_EQ(all[0].tend, 2000u + (kRounds - 1));
  std::vector<bool> seen(kProcs * kRounds, false);
  for (size_t i = 1; i < all.size(); ++i) seen[all[i].run - 100] = true;
  for (bool s : seen) EXPECT_TRUE(s);
}

}  // namespace
