// Multi-process tests of the buffer manager: the test binary re-runs itself
// as writer and reader processes (--hesk-child=ROLE ...), so every process
// starts single-threaded and uses the real partitions, semaphores and
// datagrams of this host.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>

#include <fstream>
#include <vector>

#include "../manager/hesk_test_util.h"

using hesk_test::HeskTest;
using hesk_test::wait_for;

namespace {

constexpr int kDataBuffers = 16;

bool file_exists(const std::string& p) {
  return access(p.c_str(), F_OK) == 0;
}
void touch(const std::string& p) {
  std::ofstream(p) << "1";
}

// Waits up to `ms` for a file to appear.
bool wait_file(const std::string& p, int ms) {
  return wait_for([&] { return file_exists(p); }, ms);
}

kova_client request() {
  kova_client c;
  memset(&c, 0, sizeof(c));
  return c;
}

bool init_retrying(Hesk& h) {
  for (int i = 0; i < 500; ++i) {
    if (!h.init()) return true;
    usleep(10000);
  }
  return false;
}

// Child: a writer delivering `count` events of server block `name`, keyed
// t0 + i seconds, from its own data partition `data`.
int writer_main(const std::string& dir, const std::string& name, const std::string& data, int count,
                unsigned t0) {
  Hesk h;
  if (!init_retrying(h)) return 10;
  kova_client c = request();
  std::list<std::string> n{name};
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n) < 1) return 11;
  int id = h.add(data.c_str(), kDataBuffers, 1024, false);
  if (id < 0) return 12;
  touch(dir + "/ready." + name);
  if (!wait_file(dir + "/go", 20000)) return 13;
  for (int i = 0; i < count; ++i) {
    int bid = id, bnum = -1;
    char* p = nullptr;
    for (int tries = 0; tries < 5000 && p == nullptr; ++tries) {
      p = h.get_buffer_from_pool(4, 512, &bid, &bnum);
      if (p == nullptr) usleep(1000);
    }
    if (p == nullptr) return 14;
    kova_serv_block_head_2010 b;
    memset(&b, 0, sizeof(b));
    b.time = {t0 + static_cast<unsigned>(i), 0};
    b.ltotal = sizeof(b);
    b.mpulse = i + 1;
    strncpy(b.server, name.c_str(), 255);
    b.tmask = 1;
    memcpy(p, &b, sizeof(b));
    if (h.ev_update(KOVA_EV_NORMAL, id, bnum)) h.return_buffer_in_pool(bnum, id);
  }
  touch(dir + "/sent." + name);
  if (!wait_file(dir + "/stop", 60000)) return 15;
  return 0;
}

std::atomic<int> g_count{0};
std::atomic<bool> g_hang{false};

void reader_cb(void*, kova_client_sblock_data*) {
  g_count += 1;
  while (g_hang.load()) usleep(100000);  // a reader stuck in its callback
}

// Child: a reader counting events; `hang` makes it stick in its first callback.
int reader_main(const std::string& dir, const std::string& tag, bool hang) {
  g_hang = hang;
  Hesk h;
  h.set_ev_handler(reader_cb);
  if (!init_retrying(h)) return 20;
  kova_client c = request();
  if (h.subscribe(KOVA_EV_NORMAL, CLI_T_READER, &c, nullptr) < 1) return 21;
  touch(dir + "/ready." + tag);
  if (!wait_file(dir + "/stop", 60000)) return 22;
  std::ofstream(dir + "/count." + tag) << g_count.load();
  return 0;
}

std::string self_path() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  buf[n > 0 ? n : 0] = '\0';
  return buf;
}

// Starts this binary as a child process with the given role arguments.
pid_t start_child(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    static std::string exe = self_path();
    argv.push_back(const_cast<char*>(exe.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  return pid;
}

int read_count(const std::string& path) {
  std::ifstream in(path);
  int n = -1;
  in >> n;
  return n;
}

class HeskProcesses : public HeskTest {
 protected:
  void SetUp() override {
    HeskTest::SetUp();
    char tmpl[] = "/tmp/hesk-mp-XXXXXX";
    dir_ = mkdtemp(tmpl);
  }
  void TearDown() override {
    touch(dir_ + "/stop");
    for (pid_t p : children_) shm_test::wait_child(p, std::chrono::milliseconds(10000));
    for (const std::string& d : data_names_) shm_test::kill_partition(d);
    std::string cmd = "rm -rf " + dir_;
    if (system(cmd.c_str()) != 0) ADD_FAILURE() << "could not remove " << dir_;
    HeskTest::TearDown();
  }
  pid_t writer(const std::string& name, int count, unsigned t0) {
    std::string data = data_name_ + "." + name;
    data_names_.push_back(data);
    pid_t p = start_child(
        {"--hesk-child=writer", dir_, name, data, std::to_string(count), std::to_string(t0)});
    children_.push_back(p);
    return p;
  }
  pid_t reader(const std::string& tag, bool hang = false) {
    pid_t p = start_child({"--hesk-child=reader", dir_, tag, hang ? "hang" : "count"});
    children_.push_back(p);
    return p;
  }
  bool ready(const std::string& who) { return wait_file(dir_ + "/ready." + who, 20000); }
  void go() { touch(dir_ + "/go"); }
  // Ends a child and reaps it, so that the liveness test sees it gone.
  void kill_child(pid_t p) {
    kill(p, SIGKILL);
    shm_test::wait_child(p, std::chrono::milliseconds(5000));
  }

  // Whether every event slot is free.
  static bool all_events_free(Hesk& m) {
    for (int s = 0; s < m.ev_buf->getBufferCount() - 1; ++s)
      if (m.evtctrl[s].status != EVT_C_FREE) return false;
    return true;
  }

  std::string dir_;
  std::vector<pid_t> children_;
  std::vector<std::string> data_names_;
};

}  // namespace

TEST_F(HeskProcesses, SeveralWritersAndReadersInSeveralProcesses) {
  Hesk m;
  start_master(m, false, 4, 4);
  const int kEvents = 40;
  writer("W1", kEvents, 5000);
  writer("W2", kEvents, 5000);
  reader("R1");
  reader("R2");
  for (const char* who : {"W1", "W2", "R1", "R2"}) ASSERT_TRUE(ready(who)) << who;
  go();
  ASSERT_TRUE(wait_file(dir_ + "/sent.W1", 30000));
  ASSERT_TRUE(wait_file(dir_ + "/sent.W2", 30000));
  ASSERT_TRUE(wait_for([&] { return all_events_free(m); }, 10000));
  touch(dir_ + "/stop");
  for (const char* r : {"R1", "R2"}) {
    ASSERT_TRUE(wait_file(dir_ + "/count." + r, 10000));
    EXPECT_EQ(read_count(dir_ + "/count." + r), kEvents) << r;
  }
  for (pid_t p : children_) EXPECT_EQ(shm_test::wait_child(p, std::chrono::milliseconds(10000)), 0);
  children_.clear();
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(r, 0);
}

TEST_F(HeskProcesses, KilledReaderIsReclaimedAndOthersKeepReceiving) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t stuck = reader("STUCK", /*hang=*/true);
  reader("GOOD");
  ASSERT_TRUE(ready("STUCK"));
  ASSERT_TRUE(ready("GOOD"));
  const int kEvents = 30;
  for (int i = 0; i < kEvents; ++i) {
    if (i == 10) kill_child(stuck);
    int bnum = -1;
    ASSERT_TRUE(wait_for(
        [&] {
          return (bnum = put_block(m, id, "M", {9000u + i, 0}, i + 1)) >= 0;
        },
        10000))
        << i;
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum)) << i;
  }
  // The monitor frees the events the dead reader held, its slot goes, and
  // every buffer is back in the partition.
  ASSERT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
  int w = -1, r = -1;
  m.cl_subscribed(&w, &r);
  EXPECT_EQ(r, 1);
  touch(dir_ + "/stop");
  ASSERT_TRUE(wait_file(dir_ + "/count.GOOD", 10000));
  EXPECT_EQ(read_count(dir_ + "/count.GOOD"), kEvents);
}

TEST_F(HeskProcesses, WriterKilledBeforeDeliveringIsReclaimed) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t late = writer("LATE", 1, 7000);  // announces "LATE" but never gets to send
  ASSERT_TRUE(ready("LATE"));
  int bnum = put_block(m, id, "M", {7000, 0}, 1);
  ASSERT_GE(bnum, 0);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_USED);
  kill_child(late);
  ASSERT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
  int w = -1;
  m.cl_subscribed(&w, nullptr);
  EXPECT_EQ(w, 1);  // the dead writer's slot is gone, the master's stays
}

TEST_F(HeskProcesses, DeadWriterIsKickedOutWhenANewEventIsSetUp) {
  Hesk m;
  start_master(m, false, 4, 4);  // default monitor period: the set-up acts first
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t dead = writer("GONE", 1, 3000);
  ASSERT_TRUE(ready("GONE"));
  int w = 0;
  m.cl_subscribed(&w, nullptr);
  ASSERT_EQ(w, 2);
  kill_child(dead);
  int bnum = put_block(m, id, "M", {3000, 0}, 1);
  ASSERT_GE(bnum, 0);
  testing::internal::CaptureStdout();
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("init_ev_slot(): " + std::to_string(dead) + "  will be kicked out"),
            std::string::npos)
      << out;
  m.cl_subscribed(&w, nullptr);
  EXPECT_EQ(w, 1);
  // Only the master's own writer took part: the event is complete at once.
  EXPECT_TRUE(all_events_free(m));
}

TEST_F(HeskProcesses, LiveReaderInItsCallbackKeepsItsEvent) {
  Hesk m;
  start_master(m, false, 4, 4);
  m.set_monitoring_period(20000);
  kova_client c = request();
  std::list<std::string> n{"M"};
  ASSERT_GT(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &n), 0);
  int id = m.add(data_name_.c_str(), kDataBuffers, 1024, false);
  pid_t stuck = reader("BUSY", /*hang=*/true);
  ASSERT_TRUE(ready("BUSY"));
  int bnum = put_block(m, id, "M", {4000, 0}, 1);
  ASSERT_GE(bnum, 0);
  ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, bnum));
  // Many more than ten monitor passes: the event stays while its reader lives.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(m.evtctrl[0].status, EVT_C_USED);
  kill_child(stuck);
  EXPECT_TRUE(
      wait_for([&] { return all_events_free(m) && free_buffers(m, id) == kDataBuffers; }, 10000));
}

int main(int argc, char** argv) {
  if (argc >= 2 && strncmp(argv[1], "--hesk-child=", 13) == 0) {
    alarm(120);  // a stray child ends itself
    std::string role = argv[1] + 13;
    if (role == "writer" && argc == 7)
      return writer_main(argv[2], argv[3], argv[4], atoi(argv[5]),
                         static_cast<unsigned>(atol(argv[6])));
    if (role == "reader" && argc == 5)
      return reader_main(argv[2], argv[3], strcmp(argv[4], "hang") == 0);
    return 2;
  }
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
