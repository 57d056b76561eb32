// Writers of DAQ raw files of any generation (2009, 2010, 2024), in host or
// in the opposite byte order, with every table the readers of event_files.h
// know. It is not part of the readers' interface.
//
// Events are handed over complete and in host order. A writer appends each
// one (converted first when writing the opposite order), notes where the
// event, its server blocks and its channels lie, and at the end writes the
// tables (each at an 8-byte boundary), the file reference table and the
// trailer. The channel dictionary has one entry per channel name, sorted by
// key unless told otherwise; a channel's pointer row lists every occurrence.
// Both writers share that table code:
//   - Writer: a whole file, to disk or to memory, for tests, tools and
//     sample files;
//   - StreamWriter: a file written as events come, flushed to disk at its
//     close, and recover_file() for a file whose writer died before that.
//
// Threads: one thread per writer. Writing the opposite byte order switches
// the process-wide generation flags around each conversion and restores
// them, unless the writer's generation is already in force; a program that
// sets its generation at start-up may therefore write from several threads.
#ifndef HESK_DAQ_FILE_WRITER_H
#define HESK_DAQ_FILE_WRITER_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "event.h"

namespace daqfile {

// Tables a writer emits; a table left out has reference 0 in the FRT.
enum Table : unsigned {
  kTableEit = 1u << 0,
  kTableCdt = 1u << 1,
  kTableEcpt = 1u << 2,
  kTableEidt = 1u << 3,
  kTableXcd = 1u << 4,
  kTableEhb = 1u << 5,
  kTableSbhb = 1u << 6,
  kAllTables = 0x7Fu
};

struct WriterOptions {
  int generation = 2010;  // 2009, 2010 or 2024
  bool swapped = false;   // write the byte order opposite to the host's
  unsigned tables = kAllTables;
  bool sort_by_key = true;  // dictionary in ascending key order (else first seen first)
};

// Whether network byte order, the order stored files hold, is the opposite
// of this host's (WriterOptions::swapped for a file in network order).
bool network_order_is_swapped();

// Where the writer put things (file offsets), for tests and tools.
struct Layout {
  std::vector<uint64_t> events;  // every event, in file order
  uint64_t eit = 0;
  uint64_t eite[KOVA_EV_EVMAX] = {};
  uint64_t cdt = 0, ecpt = 0, eidt = 0, xcd = 0, ehb = 0, sbhb = 0;
  uint64_t frt = 0;
  uint64_t size = 0;  // the file's length
};

// What the events of a file cover, for its index records: the count per
// event type, and the smallest and largest time stamp and event number.
struct EventSpan {
  uint64_t events = 0;
  uint64_t bytes = 0;  // of the events
  time_stamp first_time{}, last_time{};
  uint64_t first_number = 0, last_number = 0;
  uint32_t per_type[KOVA_EV_EVMAX] = {};
};

class Writer {
 public:
  explicit Writer(const WriterOptions& options);
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Output to a file (created or truncated) or to memory (bytes()).
  bool open(const std::string& path);
  void open_memory();

  // One complete event of the writer's generation in host order (its
  // event_length equal to `length`). False, with error(), for an event that
  // does not walk or does not convert.
  bool add_event(const void* event, size_t length);

  // Dictionary keys: a channel without one gets 1000 + 10 x (order first seen).
  void set_channel_key(const std::string& name, uint32_t key);
  // Environment dictionary records (key, index), in the order given.
  void add_env_entry(uint32_t key, int32_t index);
  // XML channel description; without one the writer lists the channels.
  void set_xml(const std::string& xml);

  // Writes tables, FRT and trailer, and closes a file output.
  bool finish();

  const std::string& error() const;
  const std::vector<unsigned char>& bytes() const;  // memory output
  const Layout& layout() const;
  const WriterOptions& options() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Builds events in host order: header, server blocks, sub-blocks, tail.
class EventBuilder {
 public:
  explicit EventBuilder(int generation);

  void begin(int32_t event_type, uint64_t event_number, time_stamp time);
  void begin_server(const std::string& name, time_stamp time);
  // A channel of `samples` float samples starting at `first`: sub-block type
  // 9 (2009) or 41 (2010, 2024).
  void add_channel(const std::string& name, int samples, float first);
  // A sub-block with any payload in host order.
  void add_sub_block(const std::string& name, int32_t dtype, const void* payload, size_t n,
                     int32_t error = 0);
  void end_server();
  // Writes the tail and every length and count.
  const std::vector<unsigned char>& finish();

 private:
  int gen_;
  std::vector<unsigned char> buf_;
  size_t server_at_ = 0;
  int32_t servers_ = 0;
  int32_t channels_ = 0;
  uint64_t number_ = 0;
};

// A synthetic run segment: `events` events cycling through `event_types`,
// each with `servers` server blocks of `channels` channels of `samples`
// samples. Channel c of every server is left out of odd events when
// c % 3 == 2, so dictionary counts differ. Every channel is also listed in
// the environment dictionary.
struct SyntheticFile {
  int events = 100;
  int servers = 2;
  int channels = 4;
  int samples = 16;
  std::vector<int> event_types = {KOVA_EV_NORMAL};
  uint32_t first_second = 1700000000;
  uint64_t first_number = 1000;
};

std::string synthetic_server_name(int server);
std::string synthetic_channel_name(int server, int channel);
bool synthetic_channel_present(int event, int channel);
// Adds the events of `shape` to an open writer; false with w->error().
bool write_synthetic(const SyntheticFile& shape, Writer* w);

// A DAQ raw file written as its events come. add_event() puts each event
// into the file at once (one write), the tables grow in memory with a few
// records per event and channel, and close() appends the tables, the FRT
// and the trailer and flushes the file to disk (fsync): only after close()
// returns true is the file whole and durable.
//
// A failed write (a full disk, a file size limit) cuts the file back to its
// last whole event; the writer then takes no more events, and close() still
// tries to make that shorter file whole. When close() cannot write the
// tables, the file keeps its whole events without tables, as after a crash,
// and recover_file() finishes it later.
class StreamWriter {
 public:
  explicit StreamWriter(const WriterOptions& options);
  // Without close(): the descriptor is closed and the file keeps its events
  // without tables (recover_file() finishes it).
  ~StreamWriter();
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  // Creates a new file; false (with error()) when it exists or cannot be
  // made.
  bool create(const std::string& path);

  // One complete event of the writer's generation in host order, `length`
  // bytes (its event_length). The event is converted in place when the file
  // has the opposite byte order: the caller's bytes then hold the file's
  // order. False with error() when the event does not walk or convert (the
  // file is unchanged and the writer takes the next event) or when writing
  // failed (failed() is then true).
  bool add_event(void* event, size_t length);

  // Tables, FRT, trailer, fsync, close. False with error(); the file then
  // holds its whole events and no tables.
  bool close();

  bool is_open() const;
  bool failed() const;            // a write failed; only close() is left
  uint64_t size() const;          // bytes in the file so far
  const EventSpan& span() const;  // of the events written
  const std::string& path() const;
  const std::string& error() const;  // the last failure, with the file's path

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The outcome of recover_file() or scan_file().
struct Recovery {
  enum Outcome {
    kWhole,      // the file has its tables and trailer: left as it is
    kRecovered,  // tables rebuilt from its whole events
    kNoEvents,   // not one whole event: nothing to keep
    kNotDaq,     // does not begin with an event of a known generation
    kFailed,     // could not be read or written (error)
  };
  Outcome outcome = kFailed;
  int generation = 0;
  bool swapped = false;  // the file has the byte order opposite to the host's
  EventSpan span;        // of the whole events
  uint64_t cut = 0;      // bytes after the last whole event (cut off by recovery)
  std::string error;
};

// Makes whole a file that a StreamWriter (or any writer of this format)
// left without tables: keeps its whole events, cuts anything after the last
// one (a partly written event, partly written tables), writes the tables,
// FRT and trailer and flushes the file to disk. A file that already has
// its trailer is left alone (kWhole); so is a file without one whole event
// (kNoEvents) or one that holds no events (kNotDaq).
Recovery recover_file(const std::string& path);

// Reads a file's events as recover_file() does, without changing the file:
// the span of its whole events and whether it has its trailer (kWhole) or
// not (kRecovered = it would be recovered).
Recovery scan_file(const std::string& path);

}  // namespace daqfile

#endif  // HESK_DAQ_FILE_WRITER_H
