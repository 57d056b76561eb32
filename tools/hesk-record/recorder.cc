// The recorder: reader callback, writer thread, rotation, stop.
#include "recorder.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstring>
#include <mutex>
#include <thread>

#include "Hesk.h"
#include "console.h"
#include "daq_file_writer.h"
#include "event_queue.h"
#include "event_util.h"
#include "run_archive.h"

namespace hrec {

namespace {

constexpr uint64_t kMb = 1u << 20;
constexpr int kMalformedMessages = 10;

class Reader : public Hesk {
 public:
  explicit Reader(Recorder::Impl* r) : r_(r) {}
  void event_handler(void* head, kova_client_sblock_data* blocks) override;

 private:
  Recorder::Impl* r_;
};

std::string mb(uint64_t bytes) {
  char b[32];
  snprintf(b, sizeof(b), "%.1f MB", static_cast<double>(bytes) / kMb);
  return b;
}

std::string base_name(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The fields of a delivered event's slot head that its record carries.
struct SlotFields {
  int32_t type, n, tmask, status;
  time_stamp key;
  uint64_t id;
};

template <typename SlotHead>
SlotFields slot_fields(const void* head) {
  SlotHead s;
  memcpy(&s, head, sizeof(s));
  return {s.evtype, s.sbfilled, s.tmask, s.status, s.time, static_cast<uint64_t>(s.eventid)};
}

// Writes the header of an event record of `total` bytes at `out` and its
// tail (the length again) at its end.
template <typename Header, typename Tail>
void frame_event(unsigned char* out, uint32_t pattern, const SlotFields& f, uint64_t total,
                 size_t blocks) {
  Header eh;
  memset(&eh, 0, sizeof(eh));
  eh.pattern = pattern;
  eh.event_type = f.type;
  eh.event_length = static_cast<decltype(eh.event_length)>(total);
  eh.event_number = static_cast<decltype(eh.event_number)>(f.id);
  eh.event_time = f.key;
  eh.tmask = f.tmask;
  eh.status = f.status;
  eh.num_svr_block = static_cast<int32_t>(blocks);
  memcpy(out, &eh, sizeof(eh));
  const Tail tail = static_cast<Tail>(total);
  memcpy(out + total - sizeof(tail), &tail, sizeof(tail));
}

}  // namespace

struct Recorder::Impl {
  Impl(const Options& o, Counters* c)
      : opt(o),
        ctr(c ? c : &own),
        console(!o.quiet),
        queue(static_cast<size_t>(o.queue_mb) * kMb),
        limit(static_cast<uint64_t>(o.file_mb) * kMb) {}

  Options opt;
  Counters own;
  Counters* ctr;
  Console console;
  int gen = 2010;
  std::unique_ptr<RunArchive> archive;
  std::unique_ptr<Reader> reader;
  bool subscribed[KOVA_EV_EVMAX] = {};
  int nsubscribed = 0;
  EventQueue queue;
  const uint64_t limit;
  std::thread writer;
  std::atomic<bool> failed{false};
  std::atomic<int> malformed_shown{0};
  std::chrono::steady_clock::time_point t0;
  double elapsed = 0;

  mutable std::mutex mx;  // guards what main, reader and writer threads share below
  std::string error;
  std::string current;  // name of the open file
  std::vector<std::string> closed;

  // Writer thread only.
  std::unique_ptr<daqfile::StreamWriter> file;
  int number = 0;
  time_t tfile = 0;
  // Reader thread only.
  struct Part {
    const char* block;
    size_t length;
  };
  std::vector<Part> parts;

  void fail(const std::string& what) {
    console.line(what);
    std::lock_guard<std::mutex> lock(mx);
    if (error.empty()) error = what;
    failed = true;
  }
  void malformed(const char* type, const time_stamp& key, uint64_t id, const std::string& why) {
    ctr->malformed += 1;
    const int shown = malformed_shown++;
    if (shown < kMalformedMessages)
      console.line(std::string("event ") + type + " " + std::to_string(key.timeup) + ":" +
                   std::to_string(key.timelow) + "_" + std::to_string(id) +
                   " not recorded: " + why);
    if (shown == kMalformedMessages - 1)
      console.line("further events that are not recorded are only counted");
  }

  // A callback that waited long: the events notified behind it wait too,
  // and the master's monitor takes back events a live reader leaves
  // unanswered for its stall limit.
  std::chrono::steady_clock::time_point next_wait_warning{};
  void long_wait(uint64_t ns) {
    const auto now = std::chrono::steady_clock::now();
    if (now < next_wait_warning) return;
    next_wait_warning = now + std::chrono::seconds(30);
    char b[256];
    snprintf(b, sizeof(b),
             "the queue stayed full for %.1f s: the disk is slower than the events; events "
             "waiting longer than the master's stall limit (10 monitor passes, 5 s by default) "
             "are taken back unrecorded",
             static_cast<double>(ns) / 1e9);
    console.line(b);
  }

  void on_event(void* head, kova_client_sblock_data* blocks);
  bool subscribe_types(bool report);
  void write_loop();
  bool write_event(EventBuffer& b);
  bool open_file();
  bool close_file();
  void finish();
  std::string progress_line(uint64_t* last_bytes, std::chrono::steady_clock::time_point* last_t);
};

void Reader::event_handler(void* head, kova_client_sblock_data* blocks) {
  r_->on_event(head, blocks);
}

// Copies one delivered event into a queue buffer as an event record in host
// order. Runs in the buffer manager's reader thread; the slot and its blocks
// are valid only during the call.
void Recorder::Impl::on_event(void* head, kova_client_sblock_data* blocks) {
  Hesk& h = *reader;
  const bool wide = gen == 2024;
  const SlotFields f =
      wide ? slot_fields<kova_event_slot_head_2024>(head) : slot_fields<kova_event_slot_head>(head);
  const int32_t type = f.type, n = f.n;
  const time_stamp key = f.key;
  const uint64_t id = f.id;
  ctr->delivered += 1;
  const char* tname = type >= 0 && type < KOVA_EV_EVMAX ? event_name_itoa(type) : "?";
  if (type < 0 || type >= KOVA_EV_EVMAX)
    return malformed(tname, key, id, "event type outside 0..31");
  // The entries lie in the slot after its head and client blocks.
  const size_t slot = h.ev_buf != nullptr ? static_cast<size_t>(h.ev_buf->getBufferLength()) : 0;
  const size_t before =
      static_cast<size_t>(reinterpret_cast<char*>(blocks) - static_cast<char*>(head));
  if (n < 0 || before > slot || static_cast<size_t>(n) > (slot - before) / sizeof(*blocks))
    return malformed(tname, key, id, "its server block count does not fit the event slot");

  const size_t H = wide ? sizeof(kova_eventheader_2024) : sizeof(kova_eventheader);
  const size_t T = wide ? sizeof(kova_eventtail_2024) : sizeof(kova_eventtail);
  const size_t S = wide ? sizeof(kova_serv_block_head_2024) : sizeof(kova_serv_block_head_2010);
  parts.clear();
  uint64_t total = H + T;
  for (int k = 0; k < n; ++k) {
    kova_client_sblock_data e;
    memcpy(&e, &blocks[k], sizeof(e));
    if (e.shmid == 0 || e.bnum < 0) continue;  // a block that never came
    e.name[sizeof(e.name) - 1] = '\0';
    const char* p = h.pool_buffer_address(e.bnum, e.shmid);
    C_shm_buffer* part = p != nullptr ? h.find_by_id(e.shmid) : nullptr;
    if (part == nullptr)
      return malformed(tname, key, id,
                       std::string("block ") + e.name + " (partition " + std::to_string(e.shmid) +
                           ", buffer " + std::to_string(e.bnum) + ") cannot be reached");
    const size_t room = static_cast<size_t>(part->getBufferLength());
    uint64_t pattern;
    memcpy(&pattern, p, sizeof(pattern));
    if (wide != (pattern == KOVA_SB_PATTERN_2024))
      return malformed(tname, key, id,
                       std::string("block ") + e.name + " is not a " + (wide ? "2024" : "2010") +
                           " server block");
    int64_t ltotal;
    if (wide) {
      memcpy(&ltotal, p + 8, sizeof(ltotal));
    } else {
      int32_t l;
      memcpy(&l, p + 8, sizeof(l));
      ltotal = l;
    }
    if (ltotal < static_cast<int64_t>(S) || static_cast<uint64_t>(ltotal) > room)
      return malformed(tname, key, id,
                       std::string("block ") + e.name + " claims " + std::to_string(ltotal) +
                           " bytes, its buffer holds " + std::to_string(room));
    parts.push_back({p, static_cast<size_t>(ltotal)});
    total += static_cast<uint64_t>(ltotal);
  }
  if (!wide && total > UINT32_MAX) return malformed(tname, key, id, "longer than 4 GB");

  EventBuffer buf = queue.take_buffer(static_cast<size_t>(total));
  unsigned char* out = buf.data();
  if (wide)
    frame_event<kova_eventheader_2024, uint64_t>(out, KOVA_EV_PATTERN_2024, f, total, parts.size());
  else
    frame_event<kova_eventheader, uint32_t>(out, KOVA_EV_PATTERN_2010, f, total, parts.size());
  size_t at = H;
  for (const Part& p : parts) {
    memcpy(out + at, p.block, p.length);
    // A writer that changes its block meanwhile breaks the event's lengths.
    int64_t again;
    if (wide) {
      memcpy(&again, out + at + 8, sizeof(again));
    } else {
      int32_t l;
      memcpy(&l, out + at + 8, sizeof(l));
      again = l;
    }
    if (again != static_cast<int64_t>(p.length)) {
      queue.give_back(std::move(buf));
      return malformed(tname, key, id, "a block changed while it was copied");
    }
    at += p.length;
  }
  buf.size = static_cast<size_t>(total);
  uint64_t waited = 0;
  if (!queue.push(std::move(buf), &waited)) ctr->lost += 1;
  if (waited > 0) {
    ctr->waits += 1;
    ctr->waited_ns += waited;
    if (waited > 2000000000ull) long_wait(waited);
  }
}

bool Recorder::Impl::subscribe_types(bool report) {
  kova_client_ctrl_block* cc = reader->clictrl;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    if (subscribed[t]) continue;
    bool want = false;
    if (opt.types.empty())
      want = cc != nullptr && __atomic_load_n(&cc->evtypew[t], __ATOMIC_RELAXED) > 0;
    else
      for (int x : opt.types) want = want || x == t;
    if (!want) continue;
    kova_client req;
    memset(&req, 0, sizeof(req));  // no trigger condition, no time ratio: every event
    if (reader->subscribe(static_cast<KOVA_EVTYPE>(t), CLI_T_READER, &req, nullptr) < 1) {
      fail(std::string("cannot subscribe as a reader of ") + event_name_itoa(t) +
           " events (no free client slot?)");
      return false;
    }
    subscribed[t] = true;
    if (nsubscribed++ == 0 && reader->qid >= 0) {
      // Room for many notifications while the callback waits for the disk.
      int size = 8 << 20;
      if (setsockopt(reader->qid, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof(size)) != 0)
        setsockopt(reader->qid, SOL_SOCKET, SO_RCVBUF, &size, sizeof(size));
    }
    if (report) console.line(std::string("recording ") + event_name_itoa(t) + " events too");
  }
  return true;
}

bool Recorder::Impl::open_file() {
  daqfile::WriterOptions o;
  o.generation = gen;
  o.swapped = daqfile::network_order_is_swapped();
  for (int tries = 0; tries < 1000; ++tries) {
    const std::string path = archive->next_file(&number, &tfile);
    file.reset(new daqfile::StreamWriter(o));
    if (file->create(path)) {
      std::lock_guard<std::mutex> lock(mx);
      current = base_name(path);
      return true;
    }
    if (access(path.c_str(), F_OK) != 0) break;  // not taken by a file of that name
  }
  fail(file->error());
  file.reset();
  return false;
}

bool Recorder::Impl::close_file() {
  const std::string path = file->path();
  const daqfile::EventSpan span = file->span();
  const bool after_failure = file->failed();
  const bool whole = file->close();
  file.reset();
  {
    std::lock_guard<std::mutex> lock(mx);
    current.clear();
  }
  if (!whole) {
    fail(path + ": " + std::to_string(span.events) +
         " whole events stay in the file without its tables; it is not in the catalogs. "
         "When there is room, 'hesk-record --recover " +
         path + "' makes it whole");
    return false;
  }
  const int dir = ::open(archive->dir().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);  // the file's name is on disk too
    ::close(dir);
  }
  if (!archive->publish(number, tfile, gen, span)) {
    fail(archive->error() + "; " + path + " is whole, 'hesk-record --recover " + path +
         "' lists it");
    return false;
  }
  ctr->files += 1;
  if (after_failure)
    console.line(path + ": closed whole with its " + std::to_string(span.events) +
                 " events and listed in the catalogs");
  std::lock_guard<std::mutex> lock(mx);
  closed.push_back(path);
  return true;
}

bool Recorder::Impl::write_event(EventBuffer& b) {
  if (file && file->span().events > 0 && file->size() + b.size > limit && !close_file())
    return false;
  if (!file && !open_file()) return false;
  // The header as it came, for a message (a refused event may be half converted).
  kova_eventheader eh;
  kova_eventheader_2024 eh2024;
  memcpy(&eh, b.data(), sizeof(eh));
  if (gen == 2024) memcpy(&eh2024, b.data(), sizeof(eh2024));
  if (!file->add_event(b.data(), b.size)) {
    if (file->failed()) {
      fail(file->error());
      close_file();
      return false;
    }
    // Refused, the file unchanged.
    std::string why = file->error();
    const size_t colon = why.find("refused: ");
    if (colon != std::string::npos) why = why.substr(colon + 9);
    if (gen == 2024)
      malformed(event_name_itoa(eh2024.event_type & 31), eh2024.event_time, eh2024.event_number,
                why);
    else
      malformed(event_name_itoa(eh.event_type & 31), eh.event_time, eh.event_number, why);
    return true;
  }
  ctr->written += 1;
  ctr->bytes += b.size;
  if ((opt.file_events > 0 && file->span().events >= static_cast<uint64_t>(opt.file_events)) ||
      file->size() >= limit)
    return close_file();
  return true;
}

void Recorder::Impl::write_loop() {
  EventBuffer b;
  while (queue.pop(&b)) {
    if (failed || !write_event(b)) {
      ctr->lost += 1;
      queue.close();  // the callback queues no more
    }
    queue.give_back(std::move(b));
  }
  if (file && !failed) close_file();
}

std::string Recorder::Impl::progress_line(uint64_t* last_bytes,
                                          std::chrono::steady_clock::time_point* last_t) {
  const auto now = std::chrono::steady_clock::now();
  const uint64_t bytes = ctr->bytes;
  const double dt = std::chrono::duration<double>(now - *last_t).count();
  const double rate = dt > 0 ? static_cast<double>(bytes - *last_bytes) / kMb / dt : 0;
  *last_bytes = bytes;
  *last_t = now;
  std::string name;
  {
    std::lock_guard<std::mutex> lock(mx);
    name = current.empty() ? "-" : current;
  }
  char b[512];
  snprintf(
      b, sizeof(b),
      "hesk-record: %" PRIu64 " events  %s  %.1f MB/s  file %s  queue %.0f%%  waits %" PRIu64
      " (%.2f s)",
      ctr->written.load(), mb(bytes).c_str(), rate, name.c_str(),
      100.0 * static_cast<double>(queue.queued_bytes()) / static_cast<double>(queue.capacity()),
      ctr->waits.load(), static_cast<double>(ctr->waited_ns.load()) / 1e9);
  return b;
}

void Recorder::Impl::finish() {
  // No more events: the reader thread ends once its callback has queued the
  // event in hand (the writer thread keeps making room); only then are the
  // client slots it reads freed.
  reader->stop_reader();
  for (int t = 0; t < KOVA_EV_EVMAX; ++t)
    if (subscribed[t]) reader->unsubscribe(static_cast<KOVA_EVTYPE>(t), CLI_T_READER);
  queue.close();
  if (writer.joinable()) writer.join();
  reader.reset();
  elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  console.end_progress();
}

Recorder::Recorder(const Options& options, Counters* counters)
    : impl_(new Impl(options, counters)) {}

Recorder::~Recorder() {
  if (impl_->writer.joinable()) impl_->finish();
}

bool Recorder::start() {
  Impl& m = *impl_;
  m.t0 = std::chrono::steady_clock::now();
  // A file size limit makes write() fail with EFBIG instead of killing us.
  signal(SIGXFSZ, SIG_IGN);
  m.gen = m.opt.generation != 0 ? m.opt.generation : (is_data_format_2024() ? 2024 : 2010);
  if (m.gen == 2024)
    set_data_format_2024(true);
  else
    set_data_format_2010(true);
  if (!m.opt.root.empty()) use_archive_root(m.opt.root);

  RunId id;
  id.exp = m.opt.exp;
  id.stream = m.opt.stream;
  id.run = m.opt.run;
  m.archive.reset(new RunArchive(id, [&m](const std::string& s) { m.console.line(s); }));
  if (!m.archive->open()) {
    m.fail(m.archive->error());
    return false;
  }

  m.reader.reset(new Reader(&m));
  m.reader->set_evid_64bit_mode(m.gen == 2024);
  bool refused = m.reader->init();
  // A master that is still starting is waited for, when asked.
  const auto attach_until =
      std::chrono::steady_clock::now() + std::chrono::duration<double>(m.opt.attach_wait_s);
  while (refused && std::chrono::steady_clock::now() < attach_until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    refused = m.reader->init();
  }
  if (refused) {
    const char* cl = getenv("KOVA_CLI_SHM_NAME");
    const char* ev = getenv("KOVA_EV_SHM_NAME");
    m.fail(std::string("cannot attach to the buffer manager of this host (control partitions ") +
           (cl ? cl : "KOVA_CLIENT_SLOTS") + ", " + (ev ? ev : "KOVA_EVENT_SLOTS") +
           "): is its master running, with the " + std::to_string(m.gen) + " layout?");
    m.reader.reset();
    return false;
  }
  // The writer thread leaves the stop signals to the caller's thread.
  sigset_t block, old;
  sigemptyset(&block);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&block, s);
  pthread_sigmask(SIG_BLOCK, &block, &old);
  m.writer = std::thread([&m] { m.write_loop(); });
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (!m.subscribe_types(false)) {
    m.finish();
    return false;
  }
  if (m.nsubscribed == 0) m.console.line("waiting for writers: no event type has one yet");
  return true;
}

int Recorder::run(const std::atomic<bool>* stop) {
  Impl& m = *impl_;
  uint64_t last_bytes = 0;
  auto last_t = std::chrono::steady_clock::now();
  auto next_poll = last_t;
  while (!stop->load() && !m.failed) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto now = std::chrono::steady_clock::now();
    if (m.opt.types.empty() && now >= next_poll) {
      next_poll = now + std::chrono::milliseconds(200);
      if (!m.subscribe_types(m.nsubscribed > 0)) break;
    }
    if (m.console.progress_due()) m.console.progress(m.progress_line(&last_bytes, &last_t));
  }
  m.finish();
  return m.failed ? 1 : 0;
}

const std::string& Recorder::error() const {
  return impl_->error;
}

const Counters& Recorder::counters() const {
  return *impl_->ctr;
}

std::vector<std::string> Recorder::files() const {
  std::lock_guard<std::mutex> lock(impl_->mx);
  return impl_->closed;
}

std::string Recorder::summary() const {
  const Impl& m = *impl_;
  const Counters& c = *m.ctr;
  const double s = m.elapsed > 0 ? m.elapsed : 1e-9;
  char b[1024];
  int n = snprintf(b, sizeof(b),
                   "recorded   %" PRIu64 " events of run %d (%s/%s) in %" PRIu64 " files, %" PRIu64
                   " bytes (%s), %.1f s, %.2f MB/s, %.0f events/s\n"
                   "waits      %" PRIu64 " (%.3f s with the queue full)\n",
                   c.written.load(), m.opt.run, m.opt.exp.c_str(), m.opt.stream.c_str(),
                   c.files.load(), c.bytes.load(), mb(c.bytes).c_str(), m.elapsed,
                   static_cast<double>(c.bytes) / kMb / s, static_cast<double>(c.written) / s,
                   c.waits.load(), static_cast<double>(c.waited_ns) / 1e9);
  if (c.malformed > 0 || c.lost > 0)
    snprintf(b + n, sizeof(b) - static_cast<size_t>(n),
             "unrecorded %" PRIu64 " events (%" PRIu64 " malformed, %" PRIu64
             " after the failure)\n",
             c.malformed + c.lost, c.malformed.load(), c.lost.load());
  return b;
}

int recover_files(const Options& options) {
  Console console(false);
  auto report = [&console](const std::string& s) { console.line(s); };
  if (!options.root.empty()) use_archive_root(options.root);
  const bool adm_given = getenv("KOVA_ROOT_ADM_DIR") != nullptr;
  int status = 0;
  for (const std::string& given : options.recover) {
    char real[PATH_MAX];
    if (realpath(given.c_str(), real) == nullptr) {
      console.line(given + ": " + strerror(errno));
      status = 1;
      continue;
    }
    RunId id;
    int number;
    std::string data_root;
    if (!parse_data_path(real, &id, &number, &data_root)) {
      // Not named like a data file of the archive: the file alone.
      const daqfile::Recovery r = daqfile::recover_file(real);
      switch (r.outcome) {
        case daqfile::Recovery::kWhole:
          console.line(given + ": already whole");
          break;
        case daqfile::Recovery::kRecovered:
          console.line(given + ": " + std::to_string(r.span.events) + " whole events kept, " +
                       std::to_string(r.cut) + " bytes after the last one cut, tables written " +
                       "(not named like an archive file: no catalog changed)");
          break;
        default:
          console.line(given + ": " +
                       (r.error.empty() ? std::string("it holds no whole event") : r.error));
          status = 1;
      }
      continue;
    }
    if (options.root.empty()) {
      setenv("KOVA_ROOT_ENV_DIR", data_root.c_str(), 1);
      unsetenv("KOVA_ROOT_STAGE_DIR");
      if (!adm_given) setenv("KOVA_ROOT_ADM_DIR", (data_root + "/adm").c_str(), 1);
    }
    RunArchive archive(id, report);
    if (!archive.open_for({std::string(real)})) {
      console.line(given + ": " + archive.error());
      status = 1;
    }
  }
  return status;
}

}  // namespace hrec
