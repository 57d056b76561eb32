// The tables of a mapped DAQ raw file, read through the library's windowed
// table readers and handed on without the generation's record types: the
// events of the event index, the channel dictionary, and the pointer row of
// one channel.
//
// Every reader here returns host-order data whatever the file's byte order
// (the library converts swapped tables) and throws heskpy::Error with the
// library's code when a table is missing or damaged. Re-entrant; nothing
// here depends on the generation flags.
#ifndef HESK_PY_FILE_TABLES_H
#define HESK_PY_FILE_TABLES_H

#include <sys/types.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace heskpy {

// Record sizes of one generation.
struct Geometry {
  int generation;          // 2009, 2010, 2024
  size_t event_head;       // 36 or 48
  size_t server_head;      // 76, 284 or 304
  size_t sub_head;         // 44 or 268
  size_t sub_name;         // width of a sub-block's name: 32 or 256
  size_t tail;             // 4 or 8
  uint32_t event_pattern;  // first word of every event header
};
const Geometry& geometry_of(int generation);

// The generation and byte order the trailer of a file of `length` bytes
// shows; false when its last bytes hold no end marker.
bool recognise_trailer(const unsigned char* base, uint64_t length, int* generation, bool* swapped);

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
using HeapTable = std::unique_ptr<void, FreeDeleter>;

struct EventEntry {
  uint64_t offset;  // of the event header
  uint64_t number;
  int32_t type;
  uint32_t seconds;
  uint32_t micros;
};

struct ChannelEntry {
  std::string name;
  uint32_t key;
  uint32_t ev_mask;
  uint32_t dtype_mask;
  int32_t count;  // events that hold the channel
};

struct PointerRecord {
  uint64_t evhd, sbhd, chhd, data;
};

// One opened file's tables: the reference table, the event index and the
// channel dictionary.
class FileTables {
 public:
  // REQUIRES: `base`/`length` map the whole file open at `fd`.
  FileTables(int generation, unsigned char* base, uint64_t length, int fd);

  // Events in file order, from the event index. false when the file has no
  // event index (the caller then walks the events).
  bool has_event_index() const { return has_eit_; }
  const std::vector<EventEntry>& indexed_events() const { return events_; }
  const std::vector<ChannelEntry>& channels() const { return channels_; }
  // Offset of the reference table: where the events end at the latest.
  uint64_t frt_offset() const { return frt_offset_; }

  // Index of the dictionary entry named `name`, -1 when there is none.
  int find_channel(const std::string& name) const;
  // The pointer records of dictionary entry `index`, one per event that
  // holds the channel, in file order.
  std::vector<PointerRecord> pointer_row(int index) const;

 private:
  void read_frt(unsigned char* base, uint64_t length);
  void read_event_index();
  void read_dictionary();

  int gen_;
  uint64_t length_;
  int fd_;
  HeapTable frt_;
  HeapTable cdt_;
  uint64_t frt_offset_ = 0;
  bool has_eit_ = false;
  std::vector<EventEntry> events_;
  std::vector<ChannelEntry> channels_;
};

}  // namespace heskpy

#endif  // HESK_PY_FILE_TABLES_H
