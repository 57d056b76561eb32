// hesk-py-peer: the other processes the Python tests need, as one small
// program with three roles.
//
//   hesk-py-peer master [--2024]
//       runs this host's buffer-manager master (partition names from
//       KOVA_CLI_SHM_NAME / KOVA_EV_SHM_NAME) until standard input closes.
//   hesk-py-peer writer NAME DATA EVENTS INTERVAL_US [--2024] [--slow]
//       a writer of server block NAME from its own data partition DATA:
//       EVENTS normal events, one every INTERVAL_US microseconds, each with
//       channels NAME/CH.0 and NAME/CH.1 of 4 samples (event i, channel c,
//       sample k holds i + 0.25 c + k), event number 1000 + i, time
//       1700000000 s + i * 100 ms. With --slow every fifth event is a heart beat
//       that carries slow channel SLOW.T = i instead. Prints "ready", then
//       "sent N" when done, and removes DATA when standard input closes.
//   hesk-py-peer archive ROOT
//       writes a small archive under ROOT (data) and ROOT/adm (catalogs,
//       index files): experiment "lin" runs 1-3, writers 1 and 2, two DAQ
//       files each; experiment "ring" run 5, writer 1, one file. Prints
//       "EXP RUN WRITER FILE PATH" for every data file.
//
// Every role ends with standard input, so a test that dies takes its peers
// with it. Exit status 0, 2 for bad usage, 3 and up for failures.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "C_shm_kill.h"
#include "Hesk.h"
#include "daq_file_writer.h"
#include "event_util.h"

namespace {

constexpr uint32_t kT0 = 1700000000;

// Blocks until standard input reaches its end (or fails).
void wait_for_stdin_end() {
  char buf[256];
  for (;;) {
    const ssize_t n = read(STDIN_FILENO, buf, sizeof(buf));
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    return;
  }
}

void say(const std::string& line) {
  printf("%s\n", line.c_str());
  fflush(stdout);
}

int master(bool wide) {
  Hesk m;
  m.set_nclients(4);
  m.set_nblocks(4);
  m.set_rate(100);
  m.set_monitoring_period(100000);
  m.set_evid_64bit_mode(wide);
  if (m.set_master(true) || m.init()) return 3;
  say("ready");
  wait_for_stdin_end();
  return 0;
}

// The server block NAME of event i, cut out of an event built whole.
std::vector<unsigned char> server_block(bool wide, const std::string& name, long i, bool slow) {
  const int gen = wide ? 2024 : 2010;
  daqfile::EventBuilder b(gen);
  // 100 ms apart: keys closer than the manager's time mask would be one event.
  const uint64_t usec = static_cast<uint64_t>(i) * 100000u;
  const time_stamp t = {static_cast<uint32_t>(kT0 + usec / 1000000u),
                        static_cast<uint32_t>(usec % 1000000u)};
  b.begin(slow ? KOVA_EV_HB : KOVA_EV_NORMAL, 1000u + static_cast<uint64_t>(i), t);
  b.begin_server(name, t);
  if (slow) {
    kova_env_dictionary_block_2010 dict;
    memset(&dict, 0, sizeof(dict));
    strncpy(dict.env_prop, "SLOW.T", sizeof(dict.env_prop) - 1);
    b.add_sub_block("DICT", KOVA_ENV_DICT_BLOCK_2010, &dict, sizeof(dict));
    kova_env_data_block_2010 env;
    memset(&env, 0, sizeof(env));
    env.env_ch_idx = 0;
    env.env_ch_time = t;
    env.env_ch_data = static_cast<float>(i);
    b.add_sub_block("ENV", KOVA_ENV_BLOCK_2010, &env, sizeof(env));
  } else {
    for (int c = 0; c < 2; ++c)
      b.add_channel(name + "/CH." + std::to_string(c), 4,
                    static_cast<float>(i) + 0.25f * static_cast<float>(c));
  }
  b.end_server();
  const std::vector<unsigned char>& ev = b.finish();
  const size_t head = wide ? 48 : 36, tail = wide ? 8 : 4;
  return std::vector<unsigned char>(ev.begin() + static_cast<long>(head),
                                    ev.end() - static_cast<long>(tail));
}

int writer(const std::string& name, const std::string& data, long events, long interval_us,
           bool wide, bool slow) {
  int rc = 0;
  {
    Hesk h;
    h.set_evid_64bit_mode(wide);
    bool attached = false;
    for (int i = 0; i < 500 && !attached; ++i) {
      attached = !h.init();
      if (!attached) usleep(10000);
    }
    if (!attached) return 3;
    kova_client req;
    memset(&req, 0, sizeof(req));
    std::list<std::string> names{name};
    for (KOVA_EVTYPE t : {KOVA_EV_NORMAL, KOVA_EV_HB})
      if (h.subscribe(t, CLI_T_WRITER, &req, &names) < 1) return 4;
    const int id = h.add(data.c_str(), 32, 4096, false);
    if (id < 0) return 5;
    say("ready");
    std::atomic<bool> stop(false);
    std::thread watcher([&stop] {
      wait_for_stdin_end();
      stop = true;
    });
    long sent = 0;
    for (long i = 0; i < events && !stop; ++i) {
      const bool hb = slow && i % 5 == 0;
      const std::vector<unsigned char> block = server_block(wide, name, i, hb);
      int bid = id, bnum = -1;
      char* p = nullptr;
      for (int tries = 0; tries < 5000 && p == nullptr && !stop; ++tries) {
        p = h.get_buffer_from_pool(4, static_cast<int>(block.size()), &bid, &bnum);
        if (p == nullptr) {
          bid = id;
          usleep(1000);
        }
      }
      if (p == nullptr) {
        rc = stop ? 0 : 6;
        break;
      }
      memcpy(p, block.data(), block.size());
      if (h.ev_update(hb ? KOVA_EV_HB : KOVA_EV_NORMAL, id, bnum))
        h.return_buffer_in_pool(bnum, id);
      else
        ++sent;
      if (interval_us > 0) usleep(static_cast<useconds_t>(interval_us));
    }
    say("sent " + std::to_string(sent));
    // The events stay readable until the test is done with them.
    watcher.join();
  }
  // The data partition goes with the writer.
  C_shm_kill remove(data.c_str());
  return rc;
}

// ---------------------------------------------------------------------------
// The archive

struct ArchiveFile {
  const char* exp;
  int run, fid, file;
};

bool check(int rc, const char* what) {
  if (rc != 0) fprintf(stderr, "hesk-py-peer archive: %s failed (code %d)\n", what, rc);
  return rc == 0;
}

int archive(const std::string& root) {
  const std::string adm = root + "/adm";
  setenv("KOVA_ROOT_ENV_DIR", root.c_str(), 1);
  setenv("KOVA_ROOT_ADM_DIR", adm.c_str(), 1);
  unsetenv("KOVA_ROOT_STAGE_DIR");
  unsetenv("KOVA_RUN_CTLG_DIR");
  const int year = 2023;
  char stream[] = "s";
  std::vector<ArchiveFile> files;
  for (int run = 1; run <= 3; ++run)
    for (int fid = 1; fid <= 2; ++fid)
      for (int file = 1; file <= 2; ++file) files.push_back({"lin", run, fid, file});
  files.push_back({"ring", 5, 1, 1});

  // Catalog entries (one per run and writer) and index records.
  for (const ArchiveFile& f : files) {
    if (f.file != 1) continue;
    kova_run_catalog e;
    memset(&e, 0, sizeof(e));
    e.year = year;
    strncpy(e.exp, f.exp, sizeof(e.exp) - 1);
    strncpy(e.stream, stream, sizeof(e.stream) - 1);
    e.run = f.run;
    e.fid = f.fid;
    e.files = f.exp == std::string("lin") ? 2 : 1;
    e.tstart = kT0 + 1000u * static_cast<unsigned>(f.run);
    e.tend = e.tstart + 500u;
    std::vector<kova_run_catalog*> upd{&e};
    if (!check(update_run_catalog_entries(&upd, nullptr, const_cast<char*>(f.exp)), "run catalog"))
      return 3;
  }
  for (const ArchiveFile& f : files) {
    // The files of a run and writer: later file numbers carry earlier time
    // stamps for writer 2, so the order by time differs from the numbers.
    const unsigned t = kT0 + 1000u * static_cast<unsigned>(f.run) +
                       (f.fid == 2 ? 200u * static_cast<unsigned>(2 - f.file)
                                   : 200u * static_cast<unsigned>(f.file - 1)) +
                       static_cast<unsigned>(f.fid);
    kova_index_file_ev rec;
    memset(&rec, 0, sizeof(rec));
    rec.filen = f.file;
    rec.evfirst = t;
    rec.evlast = t + 100;
    rec.event_first = static_cast<unsigned>(f.run * 1000 + f.fid * 100 + f.file * 10);
    rec.event_last = rec.event_first + 4;
    rec.tfile = t;
    rec.events = 5;
    rec.tevents[KOVA_EV_NORMAL] = 5;
    std::vector<kova_index_file_ev*> ad{&rec};
    char* exp = const_cast<char*>(f.exp);
    if (!check(add_index_file_entries_ev(exp, stream, f.run, f.fid, &ad, nullptr, 1), "index"))
      return 4;

    char iso[32];
    create_isodate_from_sec(t, iso, true);
    char path[4096];
    int len = sizeof(path);
    if (!check(get_event_root_file_name_arch(KOVA_GLOB_MODE_REAL, year, exp, stream, f.run, f.file,
                                             iso, path, &len, f.fid, KOVA_DAQ_DATA_RAW_FORMAT),
               "data file name"))
      return 5;
    char dir[4096];
    len = sizeof(dir);
    if (!check(
            get_event_dir_name_year(KOVA_GLOB_MODE_REAL, year, exp, stream, f.run, true, dir, &len),
            "data directory"))
      return 6;
    daqfile::WriterOptions opt;
    daqfile::Writer w(opt);
    daqfile::SyntheticFile shape;
    shape.events = 5;
    shape.servers = 1;
    shape.channels = 2;
    shape.samples = 3;
    shape.first_second = t;
    shape.first_number = rec.event_first;
    if (!w.open(path) || !daqfile::write_synthetic(shape, &w) || !w.finish()) {
      fprintf(stderr, "hesk-py-peer archive: %s: %s\n", path, w.error().c_str());
      return 7;
    }
    printf("%s %d %d %d %s\n", f.exp, f.run, f.fid, f.file, path);
  }
  fflush(stdout);
  return 0;
}

int usage() {
  fprintf(stderr,
          "usage: hesk-py-peer master [--2024]\n"
          "       hesk-py-peer writer NAME DATA EVENTS INTERVAL_US [--2024] [--slow]\n"
          "       hesk-py-peer archive ROOT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  if (argc < 2) return usage();
  const std::string role = argv[1];
  bool wide = false, slow = false;
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--2024")
      wide = true;
    else if (a == "--slow")
      slow = true;
    else
      args.push_back(a);
  }
  if (role == "master" && args.empty()) return master(wide);
  if (role == "archive" && args.size() == 1) return archive(args[0]);
  if (role == "writer" && args.size() == 4)
    return writer(args[0], args[1], atol(args[2].c_str()), atol(args[3].c_str()), wide, slow);
  return usage();
}
