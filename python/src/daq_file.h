// One DAQ raw file opened for reading, as the Python class hesk.DaqFile
// shows it: mapped whole by the library, its generation and byte order taken
// from the trailer, its event index and channel dictionary read once, and
// single channels read through the pointer tables into fresh buffers.
//
// Nothing here returns memory of the mapping: samples, events and texts are
// copies, so what a caller holds stays valid after close() and after the
// file changed on disk. A file that shrank since it was opened is refused
// with KOVA_MAPPING_DAMAGED before anything is read from it, and a read that
// a shrink overtook (the library's mapping guard then gave zeros) fails with
// the same code after the copy.
//
// Threads: any number of threads may call the const members at once; close()
// waits for them and makes later calls fail.
#ifndef HESK_PY_DAQ_FILE_H
#define HESK_PY_DAQ_FILE_H

#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <vector>

#include "file_tables.h"

namespace heskpy {

using FloatBuffer = std::unique_ptr<float, FreeDeleter>;

// One channel in every event that holds it, in file order. Row r of the
// samples is samples[row_start[r] .. row_start[r + 1]).
struct ChannelRead {
  std::vector<uint64_t> number;
  std::vector<double> time;  // seconds since the epoch
  std::vector<size_t> row_start{0};
  FloatBuffer samples;  // row_start.back() floats (never null)
};

// What a channel looks like without reading it.
struct ChannelShape {
  size_t events = 0;   // events that hold it
  size_t samples = 0;  // samples in the first of them
  int dtype = 0;       // sub-block type of the first of them
};

class DaqFile {
 public:
  // Maps and checks the file; throws heskpy::Error.
  explicit DaqFile(const std::string& path);
  ~DaqFile();
  DaqFile(const DaqFile&) = delete;
  DaqFile& operator=(const DaqFile&) = delete;

  void close();
  bool closed() const;

  const std::string& path() const { return path_; }
  int generation() const { return gen_; }
  bool swapped() const { return swapped_; }
  uint64_t size() const { return length_; }

  // Events in file order (offset, number, type, time).
  const std::vector<EventEntry>& events() const { return events_; }
  // event_length of every event, read from its header.
  std::vector<uint64_t> event_lengths() const;
  const std::vector<ChannelEntry>& channels() const { return tables_->channels(); }

  // `name` is a dictionary name (every channel of its sub-blocks) or a
  // dictionary name, ':' and a channel number ("SRV.A/BPM:1").
  ChannelRead read(const std::string& name) const;
  ChannelShape shape(const std::string& name) const;

  // Event i in host byte order (8-byte aligned storage, `*length` bytes).
  std::vector<uint64_t> event(size_t i, size_t* length) const;
  // What the event printer prints for event i.
  std::string dump(size_t i) const;

 private:
  struct Header {
    uint64_t number;
    int32_t type;
    uint32_t seconds, micros;
    uint64_t length;
  };
  struct Resolved {
    int index;    // dictionary entry
    int subchan;  // -1: every channel of the block
  };

  void require_open() const;
  void require_whole() const;
  Resolved resolve(const std::string& name) const;
  // The pointer table's row of dictionary entry `index`, errors naming the file.
  std::vector<PointerRecord> pointer_row(int index) const;
  bool header_at(uint64_t offset, Header* h) const;
  void walk_events();
  const EventEntry* indexed(uint64_t offset) const;
  uint32_t word32(uint64_t at) const;
  uint64_t word64(uint64_t at) const;
  // The sub-block at `chhd` checked against the file: its ldata, or throws.
  uint64_t sub_block_length(uint64_t chhd, const std::string& name, uint64_t number) const;

  std::string path_;
  mutable std::shared_mutex mx_;  // shared by readers, exclusive for close()
  unsigned char* base_ = nullptr;
  uint64_t length_ = 0;
  int fd_ = -1;
  int gen_ = 0;
  bool swapped_ = false;
  std::unique_ptr<FileTables> tables_;
  std::vector<EventEntry> events_;
};

}  // namespace heskpy

#endif  // HESK_PY_DAQ_FILE_H
