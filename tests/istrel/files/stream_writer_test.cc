// The streaming writer and the recovery of files left without tables, in
// every generation and byte order: a streamed file is byte for byte the
// file the whole-file writer makes of the same events; a file cut anywhere
// (inside an event, inside its tables) recovers to the file of its whole
// events; a write that fails on a file size limit leaves a file that is
// whole, or whole after recovery, with every event it accepted.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>

#include "daq_fixture.h"
#include "generation_guard.h"

using daqtest::TempFile;
using daqtest::Variant;

namespace {

using Bytes = std::vector<unsigned char>;

// Events of mixed types and sizes: event e has e % 3 + 1 server blocks of
// two channels with `samples` samples.
std::vector<Bytes> make_events(int gen, int n, int samples = 8) {
  static const int kTypes[] = {KOVA_EV_NORMAL, KOVA_EV_HB, KOVA_EV_NORMAL, KOVA_EV_UPD};
  std::vector<Bytes> out;
  daqfile::EventBuilder b(gen);
  for (int e = 0; e < n; ++e) {
    const time_stamp t = {1700000000u + static_cast<uint32_t>(e), 1000u * static_cast<uint32_t>(e)};
    b.begin(kTypes[e % 4], 500 + static_cast<uint64_t>(e), t);
    for (int s = 0; s <= e % 3; ++s) {
      b.begin_server(daqfile::synthetic_server_name(s), t);
      for (int c = 0; c < 2; ++c)
        b.add_channel(daqfile::synthetic_channel_name(s, c), samples, static_cast<float>(e + c));
      b.end_server();
    }
    out.push_back(b.finish());
  }
  return out;
}

daqfile::WriterOptions options(const Variant& v) {
  daqfile::WriterOptions o;
  o.generation = v.gen;
  o.swapped = v.swapped;
  return o;
}

// What the whole-file writer makes of the first n events.
Bytes whole_file(const Variant& v, const std::vector<Bytes>& events, size_t n) {
  daqfile::Writer w(options(v));
  w.open_memory();
  for (size_t i = 0; i < n; ++i) EXPECT_TRUE(w.add_event(events[i].data(), events[i].size()));
  EXPECT_TRUE(w.finish()) << w.error();
  return w.bytes();
}

Bytes slurp(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void spill(const std::string& path, const Bytes& b, size_t n) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(n));
}

// Streams the events into `path` (a new file); closes it when asked.
bool stream(const Variant& v, const std::vector<Bytes>& events, const std::string& path,
            bool close) {
  daqfile::StreamWriter w(options(v));
  if (!w.create(path)) return false;
  for (Bytes e : events)
    if (!w.add_event(e.data(), e.size())) return false;
  EXPECT_EQ(w.span().events, events.size());
  return !close || w.close();
}

class StreamWriterTest : public testing::TestWithParam<Variant> {
 protected:
  void SetUp() override { unlink(file_.c_str()); }
  GenerationGuard guard_;
  TempFile tmp_;
  std::string file_ = tmp_.path() + ".daq";
  ~StreamWriterTest() override { unlink(file_.c_str()); }
};

}  // namespace

TEST_P(StreamWriterTest, StreamsTheFileTheWholeFileWriterMakes) {
  const Variant v = GetParam();
  const auto events = make_events(v.gen, 20);
  ASSERT_TRUE(stream(v, events, file_, true));
  EXPECT_EQ(slurp(file_), whole_file(v, events, events.size()));

  // A second file of that name is refused, the first stays as it is.
  daqfile::StreamWriter again(options(v));
  EXPECT_FALSE(again.create(file_));
  EXPECT_NE(again.error().find(file_), std::string::npos) << again.error();

  // An event that does not walk is refused; the file takes the next one.
  unlink(file_.c_str());
  daqfile::StreamWriter w(options(v));
  ASSERT_TRUE(w.create(file_));
  Bytes bad = events[1];
  bad[bad.size() - 1] ^= 0x5A;  // the tail no longer repeats the length
  EXPECT_FALSE(w.add_event(bad.data(), bad.size()));
  EXPECT_NE(w.error().find("tail"), std::string::npos) << w.error();
  EXPECT_FALSE(w.failed());
  for (Bytes e : events) ASSERT_TRUE(w.add_event(e.data(), e.size())) << w.error();
  ASSERT_TRUE(w.close()) << w.error();
  EXPECT_EQ(slurp(file_), whole_file(v, events, events.size()));
}

TEST_P(StreamWriterTest, RecoveryKeepsEveryWholeEventWhereverTheFileEnds) {
  const Variant v = GetParam();
  const auto events = make_events(v.gen, 6);
  ASSERT_TRUE(stream(v, events, file_, false));  // no close: events without tables
  const Bytes open_file = slurp(file_);
  ASSERT_TRUE(stream(v, events, file_ + ".whole", true));
  const Bytes closed_file = slurp(file_ + ".whole");
  unlink((file_ + ".whole").c_str());
  std::vector<size_t> ends{0};  // where each event ends
  for (const Bytes& e : events) ends.push_back(ends.back() + e.size());
  ASSERT_EQ(open_file.size(), ends.back());

  struct Cut {
    const Bytes* from;
    size_t length;
  };
  std::vector<Cut> cuts;
  for (size_t k = 0; k < events.size(); ++k)
    for (size_t into :
         {size_t{0}, size_t{3}, size_t{40}, events[k].size() / 2, events[k].size() - 1})
      cuts.push_back({&open_file, ends[k] + into});
  cuts.push_back({&open_file, ends.back()});
  for (size_t into = 1; into < closed_file.size() - ends.back(); into += 97)
    cuts.push_back({&closed_file, ends.back() + into});  // tables partly written
  cuts.push_back({&closed_file, closed_file.size() - 1});

  for (const Cut& c : cuts) {
    SCOPED_TRACE("file cut at " + std::to_string(c.length));
    spill(file_, *c.from, c.length);
    size_t whole = 0;
    while (whole < events.size() && ends[whole + 1] <= c.length) ++whole;
    const daqfile::Recovery scanned = daqfile::scan_file(file_);
    const daqfile::Recovery r = daqfile::recover_file(file_);
    EXPECT_EQ(scanned.span.events, r.span.events);
    if (whole == 0) {
      EXPECT_EQ(r.outcome, daqfile::Recovery::kNoEvents) << r.error;
      EXPECT_EQ(slurp(file_).size(), c.length);  // left as it was
      continue;
    }
    ASSERT_EQ(r.outcome, daqfile::Recovery::kRecovered) << r.error;
    EXPECT_EQ(r.generation, v.gen);
    EXPECT_EQ(r.swapped, v.swapped);
    EXPECT_EQ(r.span.events, whole);
    EXPECT_EQ(r.cut, c.length - ends[whole]);
    EXPECT_EQ(r.span.first_number, 500u);
    EXPECT_EQ(r.span.last_number, 500u + whole - 1);
    EXPECT_EQ(slurp(file_), whole_file(v, events, whole));
  }

  // A whole file is left alone.
  spill(file_, closed_file, closed_file.size());
  const daqfile::Recovery r = daqfile::recover_file(file_);
  EXPECT_EQ(r.outcome, daqfile::Recovery::kWhole);
  EXPECT_EQ(slurp(file_), closed_file);
  const daqfile::Recovery s = daqfile::scan_file(file_);
  EXPECT_EQ(s.outcome, daqfile::Recovery::kWhole);
  EXPECT_EQ(s.span.events, events.size());
  EXPECT_EQ(s.span.per_type[KOVA_EV_NORMAL], 3u);
  EXPECT_EQ(s.span.bytes, ends.back());

  spill(file_, Bytes(64, 0x41), 64);
  EXPECT_EQ(daqfile::recover_file(file_).outcome, daqfile::Recovery::kNotDaq);
  EXPECT_EQ(daqfile::recover_file(file_ + ".none").outcome, daqfile::Recovery::kFailed);
}

// A child process streams events under a file size limit until a write
// fails and reports how many events the writer accepted and whether close()
// made the file whole. With room for the tables after the last whole event
// it does; without, the file recovers to the same events.
TEST_P(StreamWriterTest, AFailedWriteLeavesEveryAcceptedEventReadable) {
  const Variant v = GetParam();
  const auto big = make_events(v.gen, 40, 2000);  // about 8 KB per block
  const auto small = make_events(v.gen, 400, 2);
  struct Case {
    const std::vector<Bytes>* events;
    bool tables_fit;
  };
  for (const Case& c : {Case{&big, true}, Case{&small, false}}) {
    unlink(file_.c_str());
    const auto& events = *c.events;
    // The limit falls half way into an event; the big events leave half an
    // event of room for the tables after the cut, the small ones none.
    size_t at = 0, k = 0;
    while (at + events[k].size() < 60000) at += events[k++].size();
    const rlim_t limit = at + events[k].size() / 2;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit rl = {limit, limit};
      setrlimit(RLIMIT_FSIZE, &rl);
      daqfile::StreamWriter w(options(v));
      if (!w.create(file_)) _exit(2);
      uint32_t accepted = 0;
      for (Bytes e : events) {
        if (!w.add_event(e.data(), e.size())) break;
        ++accepted;
      }
      const bool failed = w.failed() && w.error().find(file_) != std::string::npos;
      const uint32_t closed = w.close() ? 1 : 0;
      const uint32_t report[3] = {accepted, failed ? 1u : 0u, closed};
      if (write(fds[1], report, sizeof(report)) != sizeof(report)) _exit(3);
      _exit(0);
    }
    close(fds[1]);
    uint32_t report[3] = {};
    EXPECT_EQ(read(fds[0], report, sizeof(report)), static_cast<ssize_t>(sizeof(report)));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(report[0], k);
    EXPECT_EQ(report[1], 1u) << "the failure names the file";
    EXPECT_EQ(report[2], c.tables_fit ? 1u : 0u);
    if (!c.tables_fit) {
      const daqfile::Recovery r = daqfile::recover_file(file_);
      EXPECT_EQ(r.outcome, daqfile::Recovery::kRecovered) << r.error;
      EXPECT_EQ(r.cut, 0u);
    }
    EXPECT_EQ(slurp(file_), whole_file(v, events, k));
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, StreamWriterTest, testing::ValuesIn(daqtest::all_variants()),
                         [](const testing::TestParamInfo<Variant>& i) {
                           return daqtest::name_of(i.param);
                         });
