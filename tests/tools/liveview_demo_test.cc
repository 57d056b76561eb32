// hesk-demo --serve while the demo runs: the JSON agrees with the demo, a
// real Prometheus server (which also brings promtool) scrapes /metrics and
// answers a query for the event rate, and headless Chromium renders the page
// with the run's partitions and a non-zero rate (its screenshot is kept
// beside the test's output, liveview_page.png, for a person to look at).
// The tools that need Chromium or Prometheus skip when they are missing.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "http_probe.h"
#include "tool_process.h"

using nlohmann::json;

namespace {

constexpr const char* kChromium = "/usr/bin/chromium";
constexpr const char* kPrometheus = "/usr/bin/prometheus";
constexpr const char* kPromtool = "/usr/bin/promtool";
constexpr int kRate = 500;  // events per second the demo offers

bool installed(const char* path) {
  return access(path, X_OK) == 0;
}

// A directory of its own, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/hesk-liveview-XXXXXX";
    if (mkdtemp(tmpl) != nullptr) path_ = tmpl;
  }
  ~TempDir() {
    if (!path_.empty()) {
      int code = -1;
      ToolProcess::run({"/bin/rm", "-rf", path_}, &code, 30);
    }
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

json parse(const std::string& body) {
  return json::parse(body, nullptr, false);
}

// The demo with its live view, running until the test ends it. Every test
// runs its own, with partitions named after its process.
class LiveViewDemo : public testing::Test {
 protected:
  // Starts the demo and waits until events flow.
  void start() {
    unsetenv("KOVA_CLI_SHM_NAME");
    unsetenv("KOVA_EV_SHM_NAME");
    // The port is free when chosen; another program may take it first.
    for (int attempt = 0; attempt < 3 && port_ < 0; ++attempt) {
      const int port = http_probe::free_port();
      std::vector<std::string> argv{HESK_DEMO_TOOL, "--seconds",           "300",
                                    "--rate",       std::to_string(kRate), "--quiet",
                                    "--serve",      std::to_string(port)};
      // Where the demo also records its run, the manager is what is looked at here.
      if (demo_knows("--no-record")) argv.push_back("--no-record");
      demo_.reset(new ToolProcess(argv));
      if (demo_->read_until("live view: http://127.0.0.1:" + std::to_string(port) + "/", 60))
        port_ = port;
    }
    ASSERT_GT(port_, 0) << demo_->output();
    prefix_ = "hesk-demo." + std::to_string(demo_->pid());
    // Events flow, as far as the counts of the last seconds tell.
    for (int i = 0; i < 300 && !flowing(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_TRUE(flowing()) << last_.dump() << "\n" << demo_->output();
  }

  void TearDown() override {
    if (demo_) end_demo();
  }

  // Ends the run as Ctrl-C does; its output.
  std::string end_demo() {
    demo_->signal(SIGINT);
    std::string out = demo_->read_all(90);
    status_ = demo_->wait(60);
    return out;
  }

  static bool demo_knows(const std::string& option) {
    int code = -1;
    return ToolProcess::run({HESK_DEMO_TOOL, "--help"}, &code).find(option) != std::string::npos;
  }

  bool flowing() {
    last_ = parse(http_probe::get(port_, "/api/status").body);
    return last_.is_object() && last_["state"] == "running" && last_["rates"].is_object() &&
           last_["rates"]["events_completed"].get<double>() > 0;
  }

  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

  std::unique_ptr<ToolProcess> demo_;
  int port_ = -1;
  int status_ = -1;
  std::string prefix_;
  json last_;
};

TEST_F(LiveViewDemo, StatusAgreesWithTheDemo) {
  ASSERT_NO_FATAL_FAILURE(start());
  json s = last_;
  EXPECT_EQ(s["master"]["pid"], demo_->pid());
  EXPECT_TRUE(s["master"]["alive"].get<bool>());
  std::vector<std::string> parts;
  for (const json& p : s["partitions"]) parts.push_back(p["name"]);
  for (const char* suffix : {".cl", ".ev", ".ev.stats", ".data.W1", ".data.W2", ".data.W3"})
    EXPECT_NE(std::find(parts.begin(), parts.end(), prefix_ + suffix), parts.end())
        << suffix << " in " << s["partitions"].dump();
  // Three writers and three readers, each subscribed to four event types.
  int readers = 0, writers = 0;
  for (const json& c : s["client_slots"]) {
    EXPECT_TRUE(c["alive"].get<bool>()) << c.dump();
    readers += c["type"] == "reader";
    writers += c["type"] == "writer";
  }
  EXPECT_EQ(writers, 12);
  EXPECT_GE(readers, 12);
  EXPECT_EQ(s["subscriptions"]["readers"], readers);
  EXPECT_EQ(s["subscriptions"]["writers"], writers);

  // The counts follow the run to its end (read as fast as the live view
  // renders them): the last reading before the demo removed its partitions
  // lags the demo's own figure by at most a reading's interval (a second,
  // and some slack for a busy machine).
  std::mutex mx;
  json seen;
  std::atomic<bool> stop{false};
  std::thread poll([&] {
    while (!stop) {
      json j = parse(http_probe::get(port_, "/api/status").body);
      if (j.is_object() && j["counts"]["available"] == true) {
        std::lock_guard<std::mutex> lock(mx);
        seen = j;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::string out = end_demo();
  stop = true;
  poll.join();
  ASSERT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0) << out;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(out, m, std::regex("events built +([0-9]+)"))) << out;
  const long built = std::stol(m[1]);
  std::lock_guard<std::mutex> lock(mx);
  const json& c = seen["counts"];
  ASSERT_TRUE(c.is_object());
  const long set_up = c["events_set_up"], completed = c["events_completed"],
             freed = c["events_freed"];
  EXPECT_LE(set_up, built);
  const long drift = kRate * 3 / 2;
  EXPECT_GE(set_up, built - drift) << "the live view lags the demo by more than a second";
  EXPECT_LE(completed, set_up);
  EXPECT_GE(completed, set_up - drift);
  EXPECT_EQ(freed, completed);
  EXPECT_EQ(c["datagrams_dropped"], 0);
  EXPECT_EQ(c["monitor_reclaims"], 0);
  // The live view ended with the demo.
  EXPECT_LT(http_probe::connect_to(port_), 0);
}

TEST_F(LiveViewDemo, PrometheusScrapesTheEventRate) {
  if (!installed(kPrometheus) || !installed(kPromtool))
    GTEST_SKIP() << "Prometheus is not installed (Debian package prometheus)";
  ASSERT_NO_FATAL_FAILURE(start());
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  // The exposition is valid, lint included.
  {
    std::ofstream(dir.path() + "/metrics.txt") << http_probe::get(port_, "/metrics").body;
    int code = -1;
    std::string out = ToolProcess::run(
        {"/bin/sh", "-c",
         std::string(kPromtool) + " check metrics < " + dir.path() + "/metrics.txt"},
        &code, 60);
    EXPECT_EQ(code, 0) << out;
  }
  // A Prometheus server of this test, on loopback, scraping once a second.
  const int prom_port = http_probe::free_port();
  std::ofstream(dir.path() + "/prometheus.yml")
      << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
      << "scrape_configs:\n  - job_name: hesk\n    static_configs:\n"
      << "      - targets: ['127.0.0.1:" << port_ << "']\n";
  ToolProcess prom(
      {kPrometheus, "--config.file=" + dir.path() + "/prometheus.yml",
       "--storage.tsdb.path=" + dir.path() + "/data",
       "--web.listen-address=127.0.0.1:" + std::to_string(prom_port), "--log.level=warn"},
      dir.path());
  const std::string query = "/api/v1/query?query=sum(rate(hesk_events_completed_total%5B5s%5D))";
  double rate = 0;
  json answer;
  for (int i = 0; i < 600 && rate <= 0; ++i) {
    prom.read_until("\x01", 0.1);  // its log, so that it never blocks on it
    answer = parse(http_probe::get(prom_port, query).body);
    if (answer.is_object() && answer["status"] == "success" && !answer["data"]["result"].empty())
      rate = std::stod(answer["data"]["result"][0]["value"][1].get<std::string>());
  }
  EXPECT_GT(rate, 0) << answer.dump() << "\n" << prom.output();
  prom.signal(SIGTERM);
  EXPECT_NE(prom.wait(30), -1);
}

TEST_F(LiveViewDemo, PageShowsPartitionsAndRatesInChromium) {
  if (!installed(kChromium)) GTEST_SKIP() << "Chromium is not installed (Debian package chromium)";
  ASSERT_NO_FATAL_FAILURE(start());
  TempDir home;
  ASSERT_FALSE(home.path().empty());
  // Headless, offline, with a profile of its own; --no-sandbox lets it run
  // as root too.
  auto chromium = [&](std::vector<std::string> extra) {
    std::vector<std::string> argv{"/usr/bin/env",
                                  "HOME=" + home.path(),
                                  kChromium,
                                  "--headless",
                                  "--no-sandbox",
                                  "--disable-gpu",
                                  "--disable-quic",
                                  "--no-first-run",
                                  "--disable-background-networking",
                                  "--disable-component-update",
                                  "--disable-sync",
                                  "--disable-dev-shm-usage",
                                  "--user-data-dir=" + home.path() + "/profile",
                                  "--window-size=1400,1100",
                                  "--virtual-time-budget=5000"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(url());
    int code = -1;
    std::string out = ToolProcess::run(argv, &code, 120);
    EXPECT_EQ(code, 0) << out;
    return out;
  };
  // The page after its scripts ran: the run's partitions, and rates.
  const std::string dom = chromium({"--dump-dom"});
  for (const char* suffix : {".cl", ".ev", ".data.W1"})
    EXPECT_NE(dom.find(">" + prefix_ + suffix + "<"), std::string::npos) << suffix << "\n" << dom;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(dom, m, std::regex("id=\"rate-completed\">([0-9.,]+)<"))) << dom;
  std::string shown = m[1];
  shown.erase(std::remove(shown.begin(), shown.end(), ','), shown.end());
  EXPECT_GT(std::stod(shown), 0) << dom;
  EXPECT_NE(dom.find("master " + std::to_string(demo_->pid()) + " alive"), std::string::npos);

  // A screenshot for people, beside the test's output.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof(cwd)), nullptr);
  const std::string shot = std::string(cwd) + "/liveview_page.png";
  unlink(shot.c_str());
  chromium({"--hide-scrollbars", "--screenshot=" + shot});
  struct stat st;
  ASSERT_EQ(stat(shot.c_str(), &st), 0) << "no screenshot";
  EXPECT_GT(st.st_size, 10000);
  std::cout << "screenshot of the live view: " << shot << std::endl;
}

}  // namespace
