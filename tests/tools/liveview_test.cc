// hesk-status --serve against a manager this test runs and stops: it follows
// the manager through its master's restarts, answers only the paths and
// methods it knows, and gives hostile clients bounded answers.
#include <signal.h>

#include <regex>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "../hesk/manager/hesk_test_util.h"
#include "http_probe.h"
#include "tool_process.h"

using hesk_test::HeskTest;
using nlohmann::json;

namespace {

// The live view started on a free port of the loopback address.
class LiveView {
 public:
  LiveView(const std::string& cl, const std::string& ev)
      : proc_({HESK_STATUS_TOOL, "--serve", "127.0.0.1:0", "--cl", cl, "--ev", ev}) {
    if (!proc_.read_until("/ (JSON", 30)) return;
    std::smatch m;
    const std::string& out = proc_.output();
    if (std::regex_search(out, m, std::regex("http://127\\.0\\.0\\.1:([0-9]+)/")))
      port_ = std::stoi(m[1]);
  }
  int port() const { return port_; }
  pid_t pid() const { return proc_.pid(); }
  std::string output() {
    proc_.read_until("\x01", 0);
    return proc_.output();
  }
  json status() {
    http_probe::Answer a = http_probe::get(port_, "/api/status");
    return a.status == 200 ? json::parse(a.body, nullptr, false) : json();
  }
  // Waits up to `seconds` for an answer that satisfies `ok`; the last one.
  template <class Fn>
  json status_until(Fn ok, double seconds = 10) {
    json s;
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
      s = status();
      if (s.is_object() && ok(s)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return s;
  }

 private:
  ToolProcess proc_;
  int port_ = -1;
};

std::vector<std::string> names_of(const json& list) {
  std::vector<std::string> out;
  for (const json& p : list) out.push_back(p.value("name", ""));
  return out;
}

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

TEST_F(HeskTest, LiveViewFollowsTheManagerThroughRestarts) {
  LiveView view(cl_name_, ev_name_);
  ASSERT_GT(view.port(), 0) << view.output();
  json s = view.status();
  ASSERT_TRUE(s.is_object());
  EXPECT_EQ(s["state"], "partitions missing");
  EXPECT_FALSE(s["manager"]["found"].get<bool>());
  EXPECT_NE(http_probe::get(view.port(), "/metrics").body.find("hesk_master_up 0"),
            std::string::npos);

  {
    Hesk m;
    start_master(m, false, 2, 4);
    kova_client c;
    memset(&c, 0, sizeof(c));
    auto blocks = names({"SRV.A", "SRV.B"});
    ASSERT_EQ(m.subscribe(KOVA_EV_NORMAL, CLI_T_WRITER, &c, &blocks), 1);
    int id = m.add(data_name_.c_str(), 4, 1024, false);
    ASSERT_GT(id, 0);
    // A name that no label or JSON string may take as it is.
    const std::string odd = data_name_ + ".\"q\\\n\xff";
    guard_.add(odd);
    ASSERT_GT(m.add(odd.c_str(), 2, 256, false), 0);
    // One block of two: the event waits in its slot.
    ASSERT_FALSE(m.ev_update(KOVA_EV_NORMAL, id, put_block(m, id, "SRV.A", {8100, 0}, 7)));

    s = view.status_until([](const json& j) {
      return j["state"] == "running" && j["event_slots_in_use"] == 1 && j["partitions"].size() == 5;
    });
    EXPECT_EQ(s["master"]["pid"], getpid());
    EXPECT_TRUE(s["master"]["alive"].get<bool>());
    std::vector<std::string> parts = names_of(s["partitions"]);
    const std::string odd_shown = data_name_ + ".\"q\\\n\xEF\xBF\xBD";  // U+FFFD for 0xff
    for (const std::string& n : {cl_name_, ev_name_, ev_name_ + ".stats", data_name_, odd_shown})
      EXPECT_TRUE(contains(parts, n)) << n << " in " << s["partitions"].dump();
    for (const json& p : s["partitions"])
      if (p["name"] == data_name_) {
        EXPECT_EQ(p["role"], "data");
        EXPECT_EQ(p["buffers"], 4);
        EXPECT_EQ(p["free"], 3);  // one is in the event
        EXPECT_EQ(p["mode"], "0660");
      }
    ASSERT_EQ(s["client_slots"].size(), 1u) << s.dump();
    const json& w = s["client_slots"][0];
    EXPECT_EQ(w["type"], "writer");
    EXPECT_EQ(w["pid"], getpid());
    EXPECT_TRUE(w["alive"].get<bool>());
    EXPECT_EQ(w["event_type"], "NORMAL");
    EXPECT_EQ(w["blocks"], json::array({"SRV.A", "SRV.B"}));
    ASSERT_EQ(s["event_slots"].size(), 1u);
    const json& e = s["event_slots"][0];
    EXPECT_EQ(e["type"], "NORMAL");
    EXPECT_EQ(e["key"], "8100:000000");
    EXPECT_EQ(e["event_id"], 7);
    EXPECT_EQ(e["blocks_filled"], 1);
    EXPECT_EQ(e["blocks_expected"], 2);
    EXPECT_EQ(e["clients"][0]["state"], "processing");
    EXPECT_EQ(s["counts"]["events_set_up"], 1);
    EXPECT_EQ(s["counts"]["events_completed"], 0);
    std::string metrics = http_probe::get(view.port(), "/metrics").body;
    EXPECT_NE(metrics.find("hesk_master_up 1\n"), std::string::npos) << metrics;
    EXPECT_NE(metrics.find("hesk_events_set_up_total{event_type=\"NORMAL\"} 1\n"),
              std::string::npos)
        << metrics;
    EXPECT_NE(metrics.find("{partition=\"" + data_name_ + ".\\\"q\\\\\\n\xEF\xBF\xBD\","),
              std::string::npos)
        << metrics;

    // Left alone, the event is shown stuck (before the monitor frees it).
    s = view.status_until([](const json& j) { return j["event_slots_stuck"] == 1; }, 15);
    EXPECT_EQ(s["event_slots_stuck"], 1) << s.dump();
    EXPECT_TRUE(s["client_slots"][0]["stuck"].get<bool>());
  }
  // The master is gone and its partitions with it: said so, and served on.
  s = view.status_until([](const json& j) { return j["state"] == "partitions missing"; });
  EXPECT_EQ(s["state"], "partitions missing") << s.dump();
  EXPECT_FALSE(s["master"]["alive"].get<bool>());
  {
    Hesk again;
    start_master(again);
    s = view.status_until([](const json& j) { return j["state"] == "running"; });
    EXPECT_EQ(s["state"], "running") << s.dump();
    EXPECT_EQ(s["counts"]["events_set_up"], 0);  // new partitions, new counts
  }
  EXPECT_EQ(kill(view.pid(), 0), 0);
}

TEST_F(HeskTest, LiveViewAnswersOnlyWhatItKnows) {
  LiveView view(cl_name_, ev_name_);
  ASSERT_GT(view.port(), 0) << view.output();
  struct Case {
    const char* method;
    const char* target;
    int status;
    const char* type;  // expected content type prefix, or null
  };
  const Case cases[] = {
      {"GET", "/", 200, "text/html"},
      {"GET", "/page.js", 200, "text/javascript"},
      {"GET", "/page.css", 200, "text/css"},
      {"GET", "/api/status", 200, "application/json"},
      {"GET", "/api/status?history=1", 200, "application/json"},
      {"GET", "/metrics", 200, "text/plain; version=0.0.4"},
      {"HEAD", "/metrics", 200, "text/plain; version=0.0.4"},
      {"GET", "/nothing", 404, nullptr},
      {"GET", "/api", 404, nullptr},
      {"GET", "/metrics/", 404, nullptr},
      {"POST", "/metrics", 405, nullptr},
      {"PUT", "/api/status", 405, nullptr},
      {"DELETE", "/", 405, nullptr},
      {"OPTIONS", "/", 405, nullptr},
      {"POST", "/nothing", 404, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.target);
    http_probe::Answer a = http_probe::request(view.port(), c.method, c.target);
    EXPECT_EQ(a.status, c.status);
    if (c.type) {
      EXPECT_EQ(a.headers["content-type"].rfind(c.type, 0), 0u) << a.headers["content-type"];
    }
    if (c.status == 405) {
      EXPECT_EQ(a.headers["allow"], "GET, HEAD");
    }
    if (std::string(c.method) == "HEAD") {
      EXPECT_TRUE(a.body.empty());
    }
  }
  json h = json::parse(http_probe::get(view.port(), "/api/status?history=1").body, nullptr, false);
  EXPECT_TRUE(h.contains("history"));
  EXPECT_FALSE(view.status().contains("history"));
}

TEST_F(HeskTest, LiveViewGivesHostileClientsBoundedAnswers) {
  LiveView view(cl_name_, ev_name_);
  ASSERT_GT(view.port(), 0) << view.output();
  const int port = view.port();
  const std::string get = "GET /api/status HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";

  // 200 connections at once, each with a request: every one is answered.
  std::vector<int> socks;
  for (int i = 0; i < 200; ++i) socks.push_back(http_probe::connect_to(port));
  for (int s : socks) ASSERT_GE(s, 0);
  for (int s : socks) http_probe::send_all(s, get);
  int answered = 0;
  for (int s : socks) {
    answered += http_probe::parse(http_probe::read_to_close(s, 30)).status == 200;
    close(s);
  }
  EXPECT_EQ(answered, 200);

  // 200 connections that send nothing, and one that stops half way through
  // its request: others are served meanwhile, and the server lets them go.
  socks.clear();
  for (int i = 0; i < 200; ++i) socks.push_back(http_probe::connect_to(port));
  int stalled = http_probe::connect_to(port);
  http_probe::send_all(stalled, "GET /api/sta");
  EXPECT_EQ(http_probe::get(port, "/metrics").status, 200);
  bool closed = false;
  EXPECT_EQ(http_probe::parse(http_probe::read_to_close(stalled, 30, &closed)).status, 408);
  EXPECT_TRUE(closed);
  close(stalled);
  http_probe::read_to_close(socks.back(), 30, &closed);
  EXPECT_TRUE(closed) << "an idle connection was kept";
  for (int s : socks) close(s);

  // Requests too large to read: refused at the limit, whatever follows.
  struct Case {
    const char* what;
    std::string bytes;
    int status;
  };
  const Case cases[] = {
      {"a huge path", "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n\r\n", 414},
      {"a flood of headers", "GET / HTTP/1.1\r\n" + std::string(1 << 20, 'x') + "\r\n\r\n", 431},
      {"endless header lines",
       "GET / HTTP/1.1\r\n" +
           [] {
             std::string h;
             for (int i = 0; i < 50000; ++i) h += "X-A: b\r\n";
             return h;
           }() +
           "\r\n",
       431},
      {"no HTTP at all",
       std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11) + "\r\n\r\n", 400},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool gone = false;
    EXPECT_EQ(http_probe::parse(http_probe::exchange(port, c.bytes, 30, &gone)).status, c.status);
    EXPECT_TRUE(gone);
  }
  EXPECT_EQ(kill(view.pid(), 0), 0);
  EXPECT_EQ(http_probe::get(port, "/").status, 200);
}
