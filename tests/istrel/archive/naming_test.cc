// Directory and file names of the archive tree: roots and their order,
// defaults, the output convention, parameter checks and directory creation.
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "archive_tree.h"

using namespace archive_test;

namespace {

char* c(const char* s) {
  return const_cast<char*>(s);
}

// Runs a builder into a roomy buffer; returns the result code, the name in *name.
int build(const std::function<int(char*, int*)>& fn, std::string* name) {
  char buf[4096];
  int len = sizeof(buf);
  const int rc = fn(buf, &len);
  *name = (rc == 0 || rc == KOVA_DIR_FAILED_CREATE) ? std::string(buf) : std::string();
  return rc;
}

bool is_dir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

TEST(ArchiveNames, DefaultsWithoutVariablesOrOverrides) {
  EnvGuard guard;
  EnvGuard::clear_all();
  const std::string year = std::to_string(current_year());
  struct Case {
    const char* what;
    std::function<int(char*, int*)> fn;
    std::string expected;
  } cases[] = {
      {"event dir",
       [](char* o, int* l) {
         return get_event_dir_name(0, c("exp"), c("str"), 12, false, o, l, 0);
       },
       "/daq/kova/real/" + year + "/exp/str/run12/"},
      {"event dir of a year",
       [](char* o, int* l) {
         return get_event_dir_name_year(1, 2019, c("exp"), c("str"), 3, false, o, l);
       },
       "/daq/kova/test/2019/exp/str/run3/"},
      {"index file",
       [](char* o, int* l) {
         return get_index_file_name(c("exp"), c("str"), 7, o, l, 3, nullptr, 2, 2023);
       },
       "/daq/kova/adm/2023/exp/str/run7/exp_str_run7.3.idev64"},
      {"index file of writer 0",
       [](char* o, int* l) {
         return get_index_file_name(c("exp"), c("str"), 7, o, l, 0, nullptr, 0, 2023);
       },
       "/daq/kova/adm/2023/exp/str/run7/exp_str_run7.idx"},
      {"channel descriptions",
       [](char* o, int* l) {
         return get_chan_descr_file_name(c("exp"), c("str"), 7, o, l, nullptr, 2020);
       },
       "/daq/kova/adm/2020/exp/str/run7/exp_str_run7_chan_dscr.xml"},
      {"run catalog of lin",
       [](char* o, int* l) { return get_run_catalog_file_name(o, l, nullptr, c("lin")); },
       "/daq/kova/adm/kovarunslin.ctl"},
      {"general run catalog",
       [](char* o, int* l) { return get_run_catalog_file_name(o, l, nullptr, nullptr); },
       "/daq/kova/adm/kovaruns.ctl"},
      {"copy catalog",
       [](char* o, int* l) { return get_dccp_catalog_file_name(o, l, nullptr, c("lin")); },
       "/daq/kova/adm/kovarunslin.dccp"},
      {"admext as catalog root",
       [](char* o, int* l) { return get_run_catalog_dir_name(false, o, l, c("/x/y")); }, "/x/y/"},
      {"archived data file",
       [](char* o, int* l) {
         return get_event_root_file_name_arch(0, 2021, c("exp"), c("str"), 4, 2,
                                              c("20210101T000000"), o, l, 5, 3);
       },
       "/daq/kova/real/2021/exp/str/run4/exp_str_run4_file2_20210101T000000.5.raw"},
  };
  for (const auto& k : cases) {
    std::string name;
    EXPECT_EQ(build(k.fn, &name), 0) << k.what;
    EXPECT_EQ(name, k.expected) << k.what;
  }
}

TEST(ArchiveNames, RootsTakeTheFirstThatIsSet) {
  Tree tree;
  const std::string r = tree.root();
  auto year_dir = [](char* o, int* l) {
    return get_event_dir_name_year(0, 2020, c("e"), c("s"), 1, false, o, l);
  };
  auto run_ctlg = [](char* o, int* l) { return get_run_catalog_dir_name(false, o, l, c("/ext")); };
  auto adm_dir = [](char* o, int* l) {
    return get_adm_dir_name(c("e"), c("s"), 1, false, o, l, c("/ext"), 2020);
  };
  std::string name;
  // Data root: stage variable, then override, then the event root.
  EXPECT_EQ(build(year_dir, &name), 0);
  EXPECT_EQ(name, tree.data() + "/real/2020/e/s/run1/");
  set_ddir(c((r + "/ovr").c_str()));
  EXPECT_EQ(build(year_dir, &name), 0);
  EXPECT_EQ(name, r + "/ovr/real/2020/e/s/run1/");
  setenv("KOVA_ROOT_STAGE_DIR", (r + "/stage").c_str(), 1);
  EXPECT_EQ(build(year_dir, &name), 0);
  EXPECT_EQ(name, r + "/stage/real/2020/e/s/run1/");
  // The plain event builder knows only the event root.
  EXPECT_EQ(build([](char* o,
                     int* l) { return get_event_dir_name(0, c("e"), c("s"), 1, false, o, l, 0); },
                  &name),
            0);
  EXPECT_EQ(name.rfind(tree.data() + "/real/", 0), 0u);

  // Administration: variable, override, admext.
  EXPECT_EQ(build(adm_dir, &name), 0);
  EXPECT_EQ(name, tree.adm() + "/2020/e/s/run1/");
  unsetenv("KOVA_ROOT_ADM_DIR");
  set_admdir(c((r + "/aovr").c_str()));
  EXPECT_EQ(build(adm_dir, &name), 0);
  EXPECT_EQ(name, r + "/aovr/2020/e/s/run1/");
  EXPECT_EQ(build(run_ctlg, &name), 0);
  EXPECT_EQ(name, r + "/aovr/");
  set_admdir(nullptr);
  EXPECT_EQ(build(adm_dir, &name), 0);
  EXPECT_EQ(name, "/ext/2020/e/s/run1/");
  setenv("KOVA_RUN_CTLG_DIR", (r + "/ctlg").c_str(), 1);
  EXPECT_EQ(build(run_ctlg, &name), 0);
  EXPECT_EQ(name, r + "/ctlg/");

  // Copy catalogs: their variable, else admext.
  EXPECT_EQ(build([](char* o, int* l) { return get_dccp_catalog_dir_name(false, o, l, c("/ext")); },
                  &name),
            0);
  EXPECT_EQ(name, tree.dccp() + "/");
  unsetenv("KOVA_DCCP_CTLG_DIR");
  EXPECT_EQ(build([](char* o, int* l) { return get_dccp_catalog_dir_name(false, o, l, c("/ext")); },
                  &name),
            0);
  EXPECT_EQ(name, "/ext/");
}

TEST(ArchiveNames, PoolDirectoryIsCreatedAndServesEveryWriter) {
  Tree tree;
  std::string name;
  // Writer 2: the pool, whatever the other arguments say.
  EXPECT_EQ(
      build([](char* o,
               int* l) { return get_event_dir_name(7, nullptr, nullptr, -1, false, o, l, 2); },
            &name),
      0);
  EXPECT_EQ(name, tree.data() + "/POOL/");
  EXPECT_TRUE(is_dir(name));
  setenv("KOVA_ROOT_STAGE_DIR", (tree.root() + "/stage").c_str(), 1);
  EXPECT_EQ(build(get_event_pool_dir_name, &name), 0);
  EXPECT_EQ(name, tree.root() + "/stage/");
  EXPECT_TRUE(is_dir(name));
  // Writer files go to the pool with their number before the extension.
  EXPECT_EQ(
      build([](char* o,
               int* l) { return get_event_root_file_name(0, c("e"), c("s"), 3, 1, o, l, 4, 1); },
            &name),
      0);
  EXPECT_EQ(name.rfind(tree.root() + "/stage/e_s_run3_file1_", 0), 0u) << name;
  EXPECT_EQ(name.substr(name.size() - 6), ".4.raw");
}

TEST(ArchiveNames, PoolNamesServeAUserWhoCanOnlyRead) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to ask as another user";
  EnvGuard guard;
  EnvGuard::clear_all();
  // A root-owned stage directory that user 65534 can read and enter only,
  // in a directory of its own that user can reach (not the test's tree).
  char tmpl[] = "/tmp/kova_readonly_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string top = tmpl;
  ASSERT_EQ(chmod(top.c_str(), 0755), 0);
  const std::string stage = top + "/stage";
  ASSERT_EQ(mkdir(stage.c_str(), 0755), 0);
  setenv("KOVA_ROOT_STAGE_DIR", stage.c_str(), 1);
  // The child forks without exec: nothing of the test's own directory is needed.
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(20);
    char buf[4096];
    int len = sizeof(buf);
    if (get_event_dir_name(0, c("e"), c("s"), 3, false, buf, &len, 2) != KOVA_DIR_OK) _exit(21);
    if (std::string(buf) != stage + "/") _exit(22);
    len = sizeof(buf);
    if (get_event_root_file_name(0, c("e"), c("s"), 3, 1, buf, &len, 2, 1) != KOVA_FILE_OK)
      _exit(23);
    if (std::string(buf).rfind(stage + "/e_s_run3_file1_", 0) != 0) _exit(24);
    // Another user's directory is left alone, and what cannot be made fails
    // as a creation.
    setenv("KOVA_ROOT_STAGE_DIR", (stage + "/sub").c_str(), 1);
    fflush(stdout);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    len = sizeof(buf);
    if (get_event_pool_dir_name(buf, &len) != KOVA_DIR_FAILED_CREATE) _exit(25);
    _exit(0);
  }
  ASSERT_GT(pid, 0);
  int status = -1;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "20 set-up, 21/22 directory, 23/24 file name, 25 creation";
  struct stat st;
  ASSERT_EQ(stat(stage.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u) << "the stage directory is not changed";
  std::error_code ec;
  std::filesystem::remove_all(top, ec);
}

TEST(ArchiveNames, OutputConventionRefusesANameThatFillsTheBuffer) {
  Tree tree;
  std::string full;
  ASSERT_EQ(build([](char* o, int* l) { return get_run_catalog_file_name(o, l, nullptr, c("x")); },
                  &full),
            0);
  const int n = static_cast<int>(full.size());
  for (bool dir : {false, true}) {
    char buf[4096];
    memset(buf, '#', sizeof(buf));
    int len = dir ? static_cast<int>(tree.adm().size()) + 1 : n;  // capacity == length
    const int rc = dir ? get_run_catalog_dir_name(false, buf, &len, nullptr)
                       : get_run_catalog_file_name(buf, &len, nullptr, c("x"));
    EXPECT_EQ(rc, dir ? static_cast<int>(KOVA_DIR_TOO_LONG) : static_cast<int>(KOVA_FILE_TOO_LONG));
    EXPECT_EQ(len, dir ? static_cast<int>(tree.adm().size()) + 1 : n);
    EXPECT_EQ(buf[0], '#') << "nothing copied";
  }
  char buf[4096];
  int len = n + 1;
  EXPECT_EQ(get_run_catalog_file_name(buf, &len, nullptr, c("x")), 0);
  EXPECT_EQ(len, n);
  EXPECT_EQ(std::string(buf), full);
}

TEST(ArchiveNames, BadParametersAndOverlongNamesAreRefused) {
  Tree tree;
  const std::string huge(5000, 'x');
  char* h = c(huge.c_str());
  char buf[64];
  int len = sizeof(buf);
  struct Case {
    const char* what;
    std::function<int()> fn;
    int expected;
  } cases[] = {
      {"mode 2", [&] { return get_event_dir_name(2, c("e"), c("s"), 1, false, buf, &len, 0); },
       KOVA_DIR_BAD_PRM},
      {"empty exp", [&] { return get_event_dir_name(0, c(""), c("s"), 1, false, buf, &len, 0); },
       KOVA_DIR_BAD_PRM},
      {"run 0", [&] { return get_adm_dir_name(c("e"), c("s"), 0, false, buf, &len, nullptr, 1); },
       KOVA_DIR_BAD_PRM},
      {"null out", [&] { return get_run_catalog_dir_name(false, nullptr, &len, nullptr); },
       KOVA_DIR_BAD_PRM},
      {"null outlen", [&] { return get_run_catalog_file_name(buf, nullptr, nullptr, nullptr); },
       KOVA_FILE_BAD_PRM},
      {"index format 3",
       [&] { return get_index_file_name(c("e"), c("s"), 1, buf, &len, 0, nullptr, 3, 2020); },
       KOVA_FILE_BAD_PRM},
      {"root format 2",
       [&] { return get_event_root_file_name(0, c("e"), c("s"), 1, 1, buf, &len, 0, 2); },
       KOVA_FILE_BAD_PRM},
      {"archive format 4",
       [&] {
         return get_event_root_file_name_arch(0, 2020, c("e"), c("s"), 1, 1, c("x"), buf, &len, 0,
                                              4);
       },
       KOVA_FILE_BAD_PRM},
      {"bad mode in a file name",
       [&] { return get_event_root_file_name(5, c("e"), c("s"), 1, 1, buf, &len, 0, 0); },
       KOVA_FILE_DIR_ERROR},
      {"huge experiment dir",
       [&] { return get_adm_dir_name(h, c("s"), 1, false, buf, &len, nullptr, 2020); },
       KOVA_DIR_TOO_LONG},
      {"huge experiment file", [&] { return get_run_catalog_file_name(buf, &len, nullptr, h); },
       KOVA_FILE_TOO_LONG},
      {"huge experiment index",
       [&] { return get_index_file_name(h, c("s"), 1, buf, &len, 0, nullptr, 0, 2020); },
       KOVA_FILE_DIR_ERROR},
  };
  for (const auto& k : cases) {
    len = sizeof(buf);
    EXPECT_EQ(k.fn(), k.expected) << k.what;
  }
}

TEST(ArchiveNames, OverridesLongerThan1023CharactersAreRefused) {
  Tree tree;
  const std::string ok = tree.root() + "/" + std::string(1023 - tree.root().size() - 1, 'o');
  ASSERT_EQ(ok.size(), 1023u);
  EXPECT_FALSE(set_ddir(c(ok.c_str())));
  const std::string too_long = ok + "x";
  EXPECT_TRUE(set_ddir(c(too_long.c_str())));
  EXPECT_TRUE(set_admdir(c(too_long.c_str())));
  std::string name;
  EXPECT_EQ(
      build([](char* o,
               int* l) { return get_event_dir_name_year(0, 2020, c("e"), c("s"), 1, false, o, l); },
            &name),
      0);
  EXPECT_EQ(name, ok + "/real/2020/e/s/run1/") << "override kept";
}

TEST(ArchiveNames, CreationMakesTheWholePathAndReportsObstacles) {
  Tree tree;
  std::string name;
  EXPECT_EQ(
      build([](char* o,
               int* l) { return get_adm_dir_name(c("e"), c("s"), 9, true, o, l, nullptr, 2022); },
            &name),
      KOVA_DIR_OK);
  EXPECT_TRUE(is_dir(name));
  struct stat st;
  ASSERT_EQ(stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0755u);

  // A plain file where a directory of the middle should be.
  std::filesystem::create_directories(tree.data());
  spill(tree.data() + "/real", "plain");
  char buf[4096];
  int len = sizeof(buf);
  EXPECT_EQ(get_event_dir_name_year(0, 2022, c("e"), c("s"), 1, true, buf, &len),
            KOVA_DIR_FAILED_CREATE);
  EXPECT_EQ(std::string(buf), tree.data() + "/real/2022/e/s/run1/") << "path still delivered";

  // A plain file in place of the last directory.
  setenv("KOVA_RUN_CTLG_DIR", (tree.root() + "/ctlgfile").c_str(), 1);
  spill(tree.root() + "/ctlgfile", "plain");
  len = sizeof(buf);
  EXPECT_EQ(get_run_catalog_dir_name(true, buf, &len, nullptr), KOVA_DIR_PLAIN_FILE);
}

TEST(ArchiveNames, AdministrationYearComesFromTheRunCatalogs) {
  Tree tree;
  char buf[4096];
  int len = sizeof(buf);
  // No catalog at all: the catalog's open failure.
  EXPECT_EQ(get_adm_dir_name(c("lin"), c("s"), 5, false, buf, &len, nullptr, -1),
            KOVA_OPEN_FILE_ERROR);
  ASSERT_EQ(add_run(run_entry("lin", "s", 5, 0, 2019, 100, 200, 1), "lin"), 0);
  ASSERT_EQ(add_run(run_entry("", "s", 6, 0, 2018, 100, 200, 1), nullptr), 0);
  struct Case {
    int run;
    std::string year;
  } cases[] = {{5, "2019"}, {6, "2018"}, {7, std::to_string(current_year())}};
  for (const auto& k : cases) {
    len = sizeof(buf);
    EXPECT_EQ(get_adm_dir_name(c("lin"), c("s"), k.run, false, buf, &len, nullptr, -1), 0);
    EXPECT_EQ(std::string(buf),
              tree.adm() + "/" + k.year + "/lin/s/run" + std::to_string(k.run) + "/");
  }
}

}  // namespace
