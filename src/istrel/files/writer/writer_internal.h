// Pieces of the DAQ file writers: byte appenders, record sizes per
// generation, the generation switch held around conversions, the table set
// both writers gather while events pass, and the table images it writes.
#ifndef HESK_FILES_WRITER_INTERNAL_H
#define HESK_FILES_WRITER_INTERNAL_H

#include <cstring>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "daq_file_writer.h"
#include "event_util.h"

namespace daqfile_detail {

using Bytes = std::vector<unsigned char>;

template <typename T>
void put(Bytes& b, T v) {
  const size_t n = b.size();
  b.resize(n + sizeof(v));
  memcpy(b.data() + n, &v, sizeof(v));
}

template <typename T>
void patch(Bytes& b, size_t at, T v) {
  memcpy(b.data() + at, &v, sizeof(v));
}

template <typename T>
T get(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// `s` cut to width - 1 characters and NUL-padded to `width` bytes.
void put_text(Bytes& b, const std::string& s, size_t width);

// Record sizes and field positions of one generation.
struct Sizes {
  size_t ev_head, sb_head, sub_head, tail;
  size_t server_name;   // width of the server name
  size_t channel_name;  // width of a sub-block's channel name
  size_t dict_name;     // width of a dictionary entry's name
  size_t word;          // table header words and conversion unit
};
Sizes sizes_of(int gen);

// The table pattern of `gen` made from its 2009 form.
uint64_t pattern_of(int gen, uint32_t pattern_2009);

// Sets the process-wide generation flags to `gen`, restores them on exit;
// writes nothing when `gen` is already in force, so that a program which
// set its generation at start-up may convert in several threads.
class GenerationScope {
 public:
  explicit GenerationScope(int gen);
  ~GenerationScope();
  GenerationScope(const GenerationScope&) = delete;
  GenerationScope& operator=(const GenerationScope&) = delete;

 private:
  bool f2010_, f2024_;
  bool changed_;
};

// Conversions of host-order table images to the opposite byte order, as
// the readers undo them (to_opposite below).
enum class Kind { kWords, kDictionary, kEnvironment, kText, kEventHeaders, kServerHeads };

struct PointerRecord {
  uint64_t evhd, sbhd, chhd, data;
};

struct Channel {
  std::string name;
  uint32_t key = 0;
  uint32_t ev_mask = 0;
  uint32_t dtype_mask = 0;
  std::vector<PointerRecord> rows;  // one per occurrence, in file order
};

struct EventRecord {
  time_stamp time;
  uint64_t number;
  uint64_t offset;
};

using TypeIndex = std::vector<EventRecord>[KOVA_EV_EVMAX];

// One host-order event as walking it found it: where its parts will lie in
// the file, and a copy of its header and server block heads for the
// baskets (taken before the event is converted in place). Reused from
// event to event, so its vectors keep their capacity.
struct EventWalk {
  struct Sub {
    std::string name;
    int32_t dtype;
    PointerRecord record;
  };
  int32_t type = 0;
  time_stamp time{};
  uint64_t number = 0;
  uint64_t offset = 0;
  uint64_t length = 0;
  size_t nsubs = 0;       // subs[0 .. nsubs) are this event's
  std::vector<Sub> subs;  // never shrinks
  Bytes event_head;       // the header
  Bytes server_heads;     // every server block head, back to back
};

// Append-only destination of the events and tables: a descriptor or memory.
class Output {
 public:
  virtual ~Output() = default;
  // All n bytes or false with *why; pos counts what was accepted.
  virtual bool emit(const void* p, size_t n, std::string* why) = 0;
  bool pad_to_8(std::string* why);
  uint64_t pos = 0;
};

class FdOutput : public Output {
 public:
  int fd = -1;
  bool emit(const void* p, size_t n, std::string* why) override;
};

class MemoryOutput : public Output {
 public:
  Bytes bytes;
  bool emit(const void* p, size_t n, std::string* why) override;
};

// What the tables of one file gather while its events pass: the index, the
// channel dictionary with its pointer rows, the baskets, the environment
// dictionary and the XML description; and the span the events cover.
// Memory grows with the tables (a few records per event and channel), not
// with the events.
// Adds a walked event to a span.
void add_to_span(daqfile::EventSpan* span, const EventWalk& w);

class TableSet {
 public:
  explicit TableSet(const daqfile::WriterOptions& options);

  // Walks a host-order event of `length` bytes that will start at file
  // offset `offset`. False with *why when it does not walk; nothing is
  // recorded either way.
  bool walk(const unsigned char* ev, size_t length, uint64_t offset, EventWalk* w,
            std::string* why) const;
  // Records a walked event whose bytes are in the file.
  void commit(const EventWalk& w);

  void set_channel_key(const std::string& name, uint32_t key);
  void add_env_entry(uint32_t key, int32_t index);
  void set_xml(const std::string& xml);

  // Appends the tables (each at an 8-byte boundary), the FRT and the
  // trailer; the offsets go to *at. False with *why.
  bool write(Output& out, daqfile::Layout* at, std::string* why) const;

  const daqfile::EventSpan& span() const { return span_; }

 private:
  Channel& channel(const std::string& name);
  bool write_table(Output& out, Bytes image, Kind kind, uint64_t* at, std::string* why) const;

  daqfile::WriterOptions opt_;
  Sizes sizes_;
  TypeIndex types_;
  std::vector<Channel> channels_;
  std::unordered_map<std::string, size_t> channel_index_;
  std::unordered_map<std::string, uint32_t> keys_;
  std::vector<std::pair<uint32_t, int32_t>> env_;
  std::string xml_;
  bool xml_set_ = false;
  Bytes event_heads_, server_heads_;
  daqfile::EventSpan span_;
};

// Host-order table images. The EIT image also gives each present type's
// entry offset within the table (0 for absent types).
Bytes eit_image(int gen, const TypeIndex& types, uint64_t (&entry_at)[KOVA_EV_EVMAX]);
Bytes cdt_image(int gen, const std::vector<const Channel*>& order);
Bytes ecpt_image(int gen, const std::vector<const Channel*>& order);
Bytes eidt_image(int gen, const std::vector<std::pair<uint32_t, int32_t>>& entries);
Bytes xcd_image(int gen, const std::string& xml);
Bytes basket_image(int gen, uint32_t pattern_2009, const Bytes& records);
Bytes frt_image(int gen, const daqfile::Layout& at);
// FRT offset (always big-endian) and end marker (in the file's order).
Bytes trailer(int gen, uint64_t frt_offset, bool swapped);

bool to_opposite(int gen, Kind kind, Bytes& image);

}  // namespace daqfile_detail

#endif  // HESK_FILES_WRITER_INTERNAL_H
