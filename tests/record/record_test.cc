// The recorder end to end: a real master and writer processes of the buffer
// manager, hesk-record as a process of its own, and the archive it fills
// read back through the file readers, the catalogs and hesk-select.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "../hesk/mp/process_fixture.h"
#include "daq_file_writer.h"
#include "event_util.h"
#include "generation_guard.h"
#include "record_roles.h"
#include "tool_process.h"

using namespace record_test;

namespace {

using Bytes = std::vector<unsigned char>;

// One event as read back from a file, in host order.
struct Recorded {
  int type = -1;
  uint64_t number = 0;
  time_stamp time{};
  int32_t tmask = 0;
  std::map<std::string, Bytes> blocks;  // by server name
};

template <typename T>
T get(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// The events of a whole file in file order, through the reference table
// and the event index, converted to host order.
bool read_back(const std::string& path, int gen, std::vector<Recorded>* out, std::string* why) {
  GenerationGuard guard;
  if (gen == 2024)
    set_data_format_2024(true);
  else
    set_data_format_2010(true);
  std::string p = path;
  u_char* base = nullptr;
  int fd = -1;
  unsigned long len = 0;
  if (kova_map_file(&p[0], &base, &fd, &len, nullptr) != 0) return *why = "cannot map", false;
  void* frt = nullptr;
  void* eit = nullptr;
  bool ok = get_kova_file_reference_table_m(base, len, len, fd, &frt) == 0 &&
            kova_get_event_index_table_m(len, frt, fd, &eit) == 0;
  if (!ok) *why = "no reference table or event index";
  std::vector<uint64_t> offsets;
  if (ok) {
    const auto* t = static_cast<const unsigned char*>(eit);
    const bool wide = gen == 2024;
    const uint64_t entries = wide ? get<uint64_t>(t + 8) : get<uint32_t>(t + 4);
    size_t at = wide ? 16 : 8;
    for (uint64_t e = 0; e < entries; ++e) {
      const uint64_t elen = wide ? get<uint64_t>(t + at + 40) : get<uint32_t>(t + at + 28);
      const size_t head = wide ? 48 : 32, rec = wide ? 24 : 16;
      for (size_t r = head; r + rec <= elen; r += rec)
        offsets.push_back(wide ? get<uint64_t>(t + at + r + 16) : get<uint32_t>(t + at + r + 12));
      at += elen;
    }
    std::sort(offsets.begin(), offsets.end());
  }
  const size_t H = gen == 2024 ? 48 : 36, S = gen == 2024 ? 304 : 284;
  for (uint64_t off : offsets) {
    if (!ok) break;
    const bool host =
        get<uint32_t>(base + off) == (gen == 2024 ? KOVA_EV_PATTERN_2024 : KOVA_EV_PATTERN_2010);
    uint64_t length = gen == 2024 ? get<uint64_t>(base + off + 8) : get<uint32_t>(base + off + 4);
    if (!host)
      length = gen == 2024 ? __builtin_bswap64(length)
                           : __builtin_bswap32(static_cast<uint32_t>(length));
    if (off + length > len) {
      ok = false;
      *why = "an event runs beyond the file";
      break;
    }
    Bytes ev(base + off, base + off + length);
    if (!host && kova_convert_event(ev.data(), ev.data()) != 0) {
      ok = false;
      *why = "an event does not convert";
      break;
    }
    Recorded r;
    int nsb;
    if (gen == 2024) {
      const auto* h = reinterpret_cast<const kova_eventheader_2024*>(ev.data());
      r.type = h->event_type, r.number = h->event_number, r.time = h->event_time;
      r.tmask = h->tmask, nsb = h->num_svr_block;
    } else {
      const auto* h = reinterpret_cast<const kova_eventheader*>(ev.data());
      r.type = h->event_type, r.number = h->event_number, r.time = h->event_time;
      r.tmask = h->tmask, nsb = h->num_svr_block;
    }
    size_t at = H;
    for (int b = 0; b < nsb && ok; ++b) {
      const int64_t ltotal =
          gen == 2024 ? get<int64_t>(ev.data() + at + 8) : get<int32_t>(ev.data() + at + 8);
      const char* name = reinterpret_cast<const char*>(ev.data() + at + (gen == 2024 ? 32 : 16));
      // The reader's channel accessor finds the block's first sample.
      auto* sub = ev.data() + at + S;
      const float* first = get_pointer_to_data(sub, 0);
      ok = first != nullptr &&
           memcmp(first, sub + 268 + sizeof(kova_norm_1channel_block_2010), 4) == 0;
      if (!ok) *why = "the channel accessor does not find the samples";
      r.blocks[name] =
          Bytes(ev.begin() + static_cast<long>(at), ev.begin() + static_cast<long>(at + ltotal));
      at += static_cast<size_t>(ltotal);
    }
    out->push_back(std::move(r));
  }
  free(frt);
  free(eit);
  kova_unmap_file(base, fd, len);
  return ok;
}

// Event numbers of the whole events at the start of a file, read without
// the library: what a killed recorder had got to the disk.
std::vector<uint64_t> whole_events_in(const std::string& path, int gen) {
  std::ifstream f(path, std::ios::binary);
  Bytes b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::vector<uint64_t> numbers;
  const bool wide = gen == 2024;
  const uint32_t pattern = wide ? KOVA_EV_PATTERN_2024 : KOVA_EV_PATTERN_2010;
  auto be32 = [&](size_t at) { return __builtin_bswap32(get<uint32_t>(b.data() + at)); };
  auto be64 = [&](size_t at) { return __builtin_bswap64(get<uint64_t>(b.data() + at)); };
  size_t at = 0;
  while (b.size() - at >= 56) {
    if (be32(at) != pattern) break;
    const uint64_t len = wide ? be64(at + 8) : be32(at + 4);
    if (len < 40 || len > b.size() - at) break;
    const uint64_t tail = wide ? be64(at + len - 8) : be32(at + len - 4);
    if (tail != len) break;
    numbers.push_back(wide ? be64(at + 16) : be32(at + 8));
    at += len;
  }
  return numbers;
}

std::string slurp(const std::string& path) {
  std::ifstream f(path);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

// A shell command's output (standard output and error) and exit code.
std::string run_tool(const std::string& cmd, int* rc) {
  return ToolProcess::run({"/bin/sh", "-c", cmd}, rc);
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  for (std::string l; std::getline(ss, l);)
    if (!l.empty()) out.push_back(l);
  return out;
}

int this_year() {
  const time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  return lt.tm_year + 1900;
}

class RecordTest : public hesk_mp::HeskProcesses {
 protected:
  void SetUp() override {
    HeskProcesses::SetUp();
    root_ = dir_ + "/archive";
    for (const char* v : {"KOVA_ROOT_STAGE_DIR", "KOVA_RUN_CTLG_DIR", "KOVA_DCCP_CTLG_DIR"})
      unsetenv(v);
    setenv("KOVA_ROOT_ENV_DIR", root_.c_str(), 1);
    setenv("KOVA_ROOT_ADM_DIR", (root_ + "/adm").c_str(), 1);
  }
  void TearDown() override {
    for (pid_t p : recorders_)
      if (p > 0) kill(p, SIGTERM);
    for (pid_t p : recorders_)
      if (p > 0) shm_test::wait_child(p, std::chrono::milliseconds(20000));
    probe_.reset();
    HeskProcesses::TearDown();
    unsetenv("KOVA_ROOT_ENV_DIR");
    unsetenv("KOVA_ROOT_ADM_DIR");
  }

  void start_master(int gen) {
    child("master", {std::to_string(gen)});
    ASSERT_TRUE(ready("master"));
    probe_.reset(new Hesk);  // after SetUp: it takes the partition names at construction
    probe_->set_evid_64bit_mode(gen == 2024);
    ASSERT_TRUE(hesk_mp::init_retrying(*probe_));
  }
  void start_writer(const WriterSpec& w) {
    const std::string data = data_name_ + ".W" + std::to_string(w.index);
    data_names_.push_back(data);
    guard_.add(data);
    std::vector<std::string> args = writer_args(dir_, data, w);
    child("writer", std::vector<std::string>(args.begin() + 1, args.end()));
    ASSERT_TRUE(ready(block_name(w.index)));
  }
  // hesk-record with the archive root and these arguments; its output goes
  // to rec.<n>.out and .err. A file size limit when `fsize` > 0.
  pid_t start_recorder(const std::vector<std::string>& args, rlim_t fsize = 0) {
    const int n = static_cast<int>(recorders_.size());
    const pid_t pid = fork();
    if (pid == 0) {
      if (fsize > 0) {
        struct rlimit rl = {fsize, fsize};
        setrlimit(RLIMIT_FSIZE, &rl);
      }
      const std::string out = dir_ + "/rec." + std::to_string(n);
      freopen((out + ".out").c_str(), "w", stdout);
      freopen((out + ".err").c_str(), "w", stderr);
      std::vector<std::string> all{HESK_RECORD_TOOL, "--root", root_,   "--exp", "lin",
                                   "--stream",       "demo",   "--run", "7",     "--quiet"};
      all.insert(all.end(), args.begin(), args.end());
      std::vector<char*> argv;
      for (std::string& a : all) argv.push_back(&a[0]);
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    recorders_.push_back(pid);
    return pid;
  }
  std::string recorder_output(size_t n, const char* which) {
    return slurp(dir_ + "/rec." + std::to_string(n) + "." + which);
  }
  // Ends a recorder: SIGTERM (or another signal) and its exit status.
  int stop_recorder(pid_t pid, int sig = SIGTERM) {
    kill(pid, sig);
    const int st = shm_test::wait_child(pid, std::chrono::milliseconds(60000));
    recorders_.erase(std::find(recorders_.begin(), recorders_.end(), pid));
    recorders_.push_back(-1);  // keeps the output numbering
    return st;
  }
  bool subscribed(const std::vector<int>& types) {
    return hesk_test::wait_for(
        [&] {
          for (int t : types)
            if (__atomic_load_n(&probe_->clictrl->evtyper[t], __ATOMIC_RELAXED) < 1) return false;
          return true;
        },
        20000);
  }
  // Every writer has sent all, none refused, and every event was handed to
  // every reader.
  bool delivered(int writers, long events) {
    const bool done = hesk_test::wait_for(
        [&] {
          for (int w = 1; w <= writers; ++w)
            if (hesk_mp::read_count(dir_ + "/refused." + block_name(w)) < 0) return false;
          return all_events_free(*probe_);
        },
        60000);
    for (int w = 1; w <= writers; ++w) {
      EXPECT_EQ(hesk_mp::read_count(dir_ + "/refused." + block_name(w)), 0);
      EXPECT_EQ(hesk_mp::read_count(dir_ + "/sent." + block_name(w)), events);
    }
    return done;
  }
  std::string run_dir() const {
    return root_ + "/real/" + std::to_string(this_year()) + "/lin/demo/run7/";
  }
  // The run's data files, by file number.
  std::vector<std::string> data_files() const {
    std::vector<std::pair<int, std::string>> found;
    if (DIR* d = opendir(run_dir().c_str())) {
      while (dirent* e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.compare(0, 18, "lin_demo_run7_file") != 0 || n.size() < 22 ||
            n.compare(n.size() - 4, 4, ".raw") != 0)
          continue;
        found.push_back({atoi(n.c_str() + 18), n});
      }
      closedir(d);
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> out;
    for (auto& f : found) out.push_back(f.second);
    return out;
  }
  // What hesk-select lists for the run.
  std::vector<std::string> selected(int gen) {
    int rc = -1;
    const std::string out =
        run_tool(std::string(HESK_SELECT_TOOL) + " --root " + root_ +
                     " --exp lin --runs 7 --format " + (gen == 2024 ? "raw64" : "raw") + " 2>&1",
                 &rc);
    EXPECT_EQ(rc, 0) << out;
    return lines(out);
  }
  // Index records of the run: file number -> (events, per-type counts...).
  std::map<int, kova_index_file_ev_2024> index_records(int gen) {
    std::map<int, kova_index_file_ev_2024> out;
    char name[4096];
    int len = sizeof(name);
    char exp[] = "lin", stream[] = "demo";
    const int format = gen == 2024 ? KOVA_DAQ_INDEX_BOTH_FORMAT : KOVA_DAQ_INDEX_EVENT_FORMAT;
    EXPECT_EQ(get_index_file_name(exp, stream, 7, name, &len, 0, nullptr, format, this_year()), 0);
    if (gen == 2024) {
      std::vector<kova_index_file_ev_2024*> l;
      EXPECT_EQ(read_index_file_ev_2024(name, &l, true, 1), 0) << name;
      for (auto* r : l) EXPECT_TRUE(out.emplace(r->filen, *r).second) << "file listed twice";
      clear_index_file_mem_ev_2024(&l);
    } else {
      std::vector<kova_index_file_ev*> l;
      EXPECT_EQ(read_index_file_ev(name, &l, true, 1), 0) << name;
      for (auto* r : l) {
        kova_index_file_ev_2024 x;
        memset(&x, 0, sizeof(x));
        x.filen = r->filen, x.evfirst = r->evfirst, x.evlast = r->evlast;
        x.event_first = r->event_first, x.event_last = r->event_last;
        x.tfile = r->tfile, x.events = r->events;
        memcpy(x.tevents, r->tevents, sizeof(x.tevents));
        EXPECT_TRUE(out.emplace(r->filen, x).second) << "file listed twice";
      }
      clear_index_file_mem_ev(&l);
    }
    return out;
  }
  // The run's catalog entry (files, start, end); files -1 when none.
  kova_run_catalog catalog_entry() {
    kova_run_catalog found;
    memset(&found, 0, sizeof(found));
    found.files = -1;
    std::vector<kova_run_catalog*> l;
    char exp[] = "lin";
    if (access((root_ + "/adm/kovarunslin.ctl").c_str(), F_OK) != 0) return found;
    EXPECT_EQ(read_run_catalog(&l, true, nullptr, exp), 0);
    for (auto* e : l) {
      if (e->run != 7) continue;
      EXPECT_EQ(found.files, -1) << "two catalog entries for the run";
      found = *e;
    }
    clear_run_catalog_mem(&l);
    return found;
  }
  // Every data file is whole, the index lists exactly them with their
  // counts, the catalog counts them and hesk-select names them all; the
  // events of each file come back. Returns the events by file.
  std::map<std::string, std::vector<Recorded>> check_archive(int gen) {
    std::map<std::string, std::vector<Recorded>> out;
    const std::vector<std::string> files = data_files();
    const auto index = index_records(gen);
    EXPECT_EQ(index.size(), files.size());
    std::vector<std::string> want;
    for (const std::string& f : files) {
      const std::string path = run_dir() + f;
      const daqfile::Recovery s = daqfile::scan_file(path);
      EXPECT_EQ(s.outcome, daqfile::Recovery::kWhole) << path;
      std::string why;
      EXPECT_TRUE(read_back(path, gen, &out[f], &why)) << path << ": " << why;
      const int number = atoi(f.c_str() + 18);
      auto it = index.find(number);
      if (it == index.end()) {
        ADD_FAILURE() << f << " is not in the index";
        continue;
      }
      EXPECT_EQ(it->second.events, out[f].size()) << f;
      EXPECT_EQ(it->second.events, s.span.events) << f;
      EXPECT_EQ(it->second.evfirst, s.span.first_time.timeup);
      EXPECT_EQ(it->second.evlast, s.span.last_time.timeup);
      EXPECT_EQ(it->second.event_first, s.span.first_number);
      EXPECT_EQ(it->second.event_last, s.span.last_number);
      for (int t = 0; t < KOVA_EV_EVMAX; ++t)
        EXPECT_EQ(it->second.tevents[t], static_cast<int>(s.span.per_type[t]));
      char iso[64];
      create_isodate_from_sec(it->second.tfile, iso, true);
      EXPECT_NE(f.find(iso), std::string::npos) << "tfile names the file";
      want.push_back("lin/demo/run7/" + f);
    }
    EXPECT_EQ(catalog_entry().files, static_cast<int>(files.size()));
    std::vector<std::string> sel = selected(gen);
    std::sort(sel.begin(), sel.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(sel, want);
    return out;
  }

  std::string root_;
  std::vector<pid_t> recorders_;
  std::unique_ptr<Hesk> probe_;  // attached to watch subscriptions and event slots
};

struct RunCase {
  int gen;
  std::vector<std::string> rotation;  // recorder options
  int block;
  long events;
  bool explicit_types;
};

class RecordRun : public RecordTest, public testing::WithParamInterface<RunCase> {};

}  // namespace

// Two writers deliver events of two types; the recorder, rotating its files,
// writes every one of them, exactly as delivered, into files that the
// catalogs, the index and hesk-select all name, and that the file tools read.
TEST_P(RecordRun, RecordsEveryDeliveredEventIntoTheArchive) {
  const RunCase c = GetParam();
  const std::vector<int> types{KOVA_EV_NORMAL, KOVA_EV_HB};
  start_master(c.gen);
  WriterSpec w1{1, c.gen, c.events, c.block, types, 0}, w2{2, c.gen, c.events, c.block, types, 0};
  start_writer(w1);
  start_writer(w2);
  std::vector<std::string> args = c.rotation;
  args.insert(args.end(), {"--generation", std::to_string(c.gen), "--queue-mb", "1"});
  if (c.explicit_types) args.insert(args.end(), {"--types", "NORMAL,heart_beat"});
  const pid_t rec = start_recorder(args);
  ASSERT_TRUE(subscribed(types)) << recorder_output(0, "err");
  // One recorder per run.
  int rc = -1;
  std::string out = run_tool(
      std::string(HESK_RECORD_TOOL) + " --root " + root_ + " --exp lin --stream demo --run 7 2>&1",
      &rc);
  EXPECT_EQ(rc, 1) << out;
  EXPECT_NE(out.find("another recorder is writing run 7 of lin/demo"), std::string::npos) << out;
  go();
  ASSERT_TRUE(delivered(2, c.events));
  ASSERT_EQ(stop_recorder(rec), 0) << recorder_output(0, "err");
  const std::string summary = recorder_output(0, "out");
  EXPECT_NE(summary.find("recorded   " + std::to_string(c.events) + " events of run 7 (lin/demo)"),
            std::string::npos)
      << summary;

  const auto files = check_archive(c.gen);
  ASSERT_GT(files.size(), 1u) << "the files rotate";
  std::set<long> seen;
  for (const auto& [name, events] : files) {
    if (c.rotation[0] == "--file-events") {
      const size_t per = static_cast<size_t>(atol(c.rotation[1].c_str()));
      EXPECT_TRUE(events.size() == per || name == files.rbegin()->first) << name;
    } else {
      struct stat st;
      ASSERT_EQ(stat((run_dir() + name).c_str(), &st), 0);
      uint64_t bytes = 0;
      for (const Recorded& e : events)
        for (const auto& b : e.blocks) bytes += b.second.size();
      EXPECT_LE(bytes, 1u << 20) << name;
    }
    for (const Recorded& e : events) {
      const long i = static_cast<long>(e.time.timeup) - kT0;
      ASSERT_TRUE(i >= 0 && i < c.events) << e.time.timeup;
      EXPECT_TRUE(seen.insert(i).second) << "event " << i << " twice";
      EXPECT_EQ(e.type, types[static_cast<size_t>(i) % 2]);
      EXPECT_EQ(e.number, event_id(c.gen, i));
      EXPECT_EQ(e.tmask, (1 << 1) | (1 << 2));
      ASSERT_EQ(e.blocks.size(), 2u);
      EXPECT_EQ(e.blocks.at("W1"), make_block(w1, i)) << "event " << i;
      EXPECT_EQ(e.blocks.at("W2"), make_block(w2, i)) << "event " << i;
    }
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(c.events));
  const kova_run_catalog e = catalog_entry();
  EXPECT_EQ(e.tstart, kT0);
  EXPECT_EQ(e.tend, kT0 + c.events - 1);

  // The file tools read what the recorder wrote.
  const std::string path = run_dir() + files.begin()->first;
  out = run_tool(std::string(HESK_DAQDUMP_TOOL) + " " + path + " 2>&1", &rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("KOVA Channel Dictionary Table"), std::string::npos) << out;
  EXPECT_NE(out.find("W2.CH0"), std::string::npos);
  out = run_tool(std::string(HESK_DAQDUMP_TOOL) + " --events=2 " + path + " 2>&1", &rc);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_NE(out.find("W1"), std::string::npos) << out;
}

INSTANTIATE_TEST_SUITE_P(Cases, RecordRun,
                         testing::Values(RunCase{2010, {"--file-events", "40"}, 1024, 120, true},
                                         RunCase{2024, {"--file-mb=1"}, 60000, 40, false}),
                         [](const testing::TestParamInfo<RunCase>& i) {
                           return std::string(i.param.gen == 2024 ? "Gen2024" : "Gen2010") +
                                  (i.param.rotation[0] == "--file-events" ? "ByEvents" : "BySize");
                         });

// The recorder killed with SIGKILL at random moments, again and again, while
// a writer keeps sending: each restart recovers the file the last one left,
// and in the end every event that had reached a file before a kill is
// readable there, every file is whole and listed, and nothing is listed
// that cannot be read.
TEST_F(RecordTest, SurvivesBeingKilledAtRandomPoints) {
  const int gen = 2010;
  start_master(gen);
  WriterSpec w{1, gen, 100000000, 2048, {KOVA_EV_NORMAL}, 3000};
  start_writer(w);
  go();
  std::mt19937 rng(static_cast<unsigned>(getpid()));
  std::map<std::string, std::vector<uint64_t>> acknowledged;  // file -> events at a kill
  int kills = 0, unfinished = 0;
  for (; kills < 24; ++kills) {
    const pid_t rec = start_recorder({"--file-events", "60"});
    usleep(50000 + rng() % 400000);
    ASSERT_EQ(stop_recorder(rec, SIGKILL), 128 + SIGKILL);
    for (const std::string& f : data_files()) {
      const std::string path = run_dir() + f;
      if (daqfile::scan_file(path).outcome == daqfile::Recovery::kWhole) continue;
      ++unfinished;
      acknowledged[f] = whole_events_in(path, gen);
    }
  }
  const pid_t last = start_recorder({"--file-events", "60"});
  ASSERT_TRUE(subscribed({KOVA_EV_NORMAL})) << recorder_output(recorders_.size() - 1, "err");
  usleep(300000);
  ASSERT_EQ(stop_recorder(last), 0) << recorder_output(recorders_.size() - 1, "err");
  hesk_mp::touch(dir_ + "/halt");
  EXPECT_GE(kills, 20);
  EXPECT_GT(unfinished, 0) << "no kill left a file without tables";

  const auto files = check_archive(gen);
  std::set<uint64_t> all;
  for (const auto& [name, events] : files)
    for (const Recorded& e : events) EXPECT_TRUE(all.insert(e.number).second) << e.number;
  for (const auto& [name, numbers] : acknowledged) {
    if (numbers.empty()) {
      EXPECT_EQ(files.count(name), 0u) << name << " held no whole event";
      continue;
    }
    ASSERT_EQ(files.count(name), 1u) << name;
    std::vector<uint64_t> back;
    for (const Recorded& e : files.at(name)) back.push_back(e.number);
    EXPECT_EQ(back, numbers) << name;
  }
}

// A file size limit stops the recorder with a clear message naming the
// file, and the catalogs list only whole files: with room for the tables
// after the last whole event the file is closed whole; without, it is left
// without tables and unlisted until --recover finishes it.
class FullDisk : public RecordTest, public testing::WithParamInterface<int> {};

TEST_P(FullDisk, EndsTheRecordingCleanly) {
  const int block = GetParam();
  const bool tables_fit = block > 8000;
  const int gen = 2010;
  start_master(gen);
  WriterSpec w{1, gen, tables_fit ? 60 : 400, block, {KOVA_EV_NORMAL}, 0};
  start_writer(w);
  const pid_t rec = start_recorder({"--file-mb", "2"}, 300000);
  ASSERT_TRUE(subscribed({KOVA_EV_NORMAL}));
  go();
  const int st = shm_test::wait_child(rec, std::chrono::milliseconds(60000));
  recorders_.clear();
  EXPECT_EQ(st, 1);
  const std::string err = recorder_output(0, "err");
  const std::vector<std::string> names = data_files();
  ASSERT_EQ(names.size(), 1u);
  const std::string path = run_dir() + names[0];
  EXPECT_NE(err.find(path + ": write: File too large"), std::string::npos) << err;
  EXPECT_EQ(err.find("Sanitizer"), std::string::npos) << err;
  const std::string out = recorder_output(0, "out");
  const size_t at = out.find("recorded   ");
  ASSERT_NE(at, std::string::npos) << out;
  const long recorded = atol(out.c_str() + at + 11);
  EXPECT_GT(recorded, 5);

  if (tables_fit) {
    EXPECT_NE(err.find(path + ": closed whole with its " + std::to_string(recorded) + " events"),
              std::string::npos)
        << err;
  } else {
    EXPECT_NE(err.find("'hesk-record --recover " + path + "'"), std::string::npos) << err;
    EXPECT_EQ(daqfile::scan_file(path).outcome, daqfile::Recovery::kRecovered);
    EXPECT_EQ(catalog_entry().files, -1);
    int rc = -1;
    const std::string r =
        run_tool(std::string(HESK_RECORD_TOOL) + " --recover " + path + " 2>&1", &rc);
    EXPECT_EQ(rc, 0) << r;
    EXPECT_NE(r.find("listed " + path), std::string::npos) << r;
  }
  const auto files = check_archive(gen);
  ASSERT_EQ(files.size(), 1u);
  EXPECT_EQ(static_cast<long>(files.begin()->second.size()), recorded);
  for (const Recorded& e : files.begin()->second)
    EXPECT_EQ(e.blocks.at("W1"), make_block(w, static_cast<long>(e.time.timeup) - kT0));
  int rc = -1;
  const std::string again =
      run_tool(std::string(HESK_RECORD_TOOL) + " --recover " + path + " 2>&1", &rc);
  EXPECT_EQ(rc, 0) << again;
  EXPECT_NE(again.find("already whole and listed"), std::string::npos) << again;
  hesk_mp::touch(dir_ + "/halt");
}

INSTANTIATE_TEST_SUITE_P(Blocks, FullDisk, testing::Values(16000, 1000),
                         [](const testing::TestParamInfo<int>& i) {
                           return i.param > 8000 ? std::string("TablesFit")
                                                 : std::string("NoRoomForTables");
                         });

// Usage errors exit 2 with a message; a recorder without a buffer manager
// exits 1 saying so.
TEST(RecordUsage, RefusesBadCommandLinesClearly) {
  struct Case {
    std::string args;
    int rc;
    std::string says;
  };
  const Case cases[] = {
      {"--help", 0, "--file-events N"},
      {"--exp lin --stream demo", 2, "--run are required"},
      {"--exp lin --stream demo --run 0", 2, "--run needs a number from 1"},
      {"--exp lin/x --stream demo --run 1", 2, "--exp must be"},
      {"--exp lin --stream demo --run 1 --generation 2009", 2, "2010 or 2024"},
      {"--exp lin --stream demo --run 1 --types NORMAL,NOSUCH", 2, "NOSUCH"},
      {"--exp lin --stream demo --run 1 --file-mb 4000", 2, "at most 3072"},
      {"--exp lin --stream demo --run 1 --queue-mb", 2, "needs a value"},
      {"--exp lin --stream demo --run 1 --bogus", 2, "unknown option --bogus"},
      {"--recover", 2, "needs a value"},
      {"--recover x --run 3", 2, "--recover takes only files"},
      {"--recover /nonexistent/file.raw", 1, "No such file"},
  };
  for (const Case& c : cases) {
    int rc = -1;
    const std::string out = run_tool(std::string(HESK_RECORD_TOOL) + " " + c.args + " 2>&1", &rc);
    EXPECT_EQ(rc, c.rc) << c.args << "\n" << out;
    EXPECT_NE(out.find(c.says), std::string::npos) << c.args << "\n" << out;
  }
}

int main(int argc, char** argv) {
  if (argc >= 2 && strncmp(argv[1], "--hesk-child=", 13) == 0) return run_role(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
