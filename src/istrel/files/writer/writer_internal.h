// Pieces of the DAQ file writer: byte appenders, record sizes per
// generation, the generation switch held around conversions, what the
// writer gathers while events pass, and the table images it writes.
#ifndef HESK_FILES_WRITER_INTERNAL_H
#define HESK_FILES_WRITER_INTERNAL_H

#include <cstring>
#include <string>
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

// Sets the process-wide generation flags to `gen`, restores them on exit.
class GenerationScope {
 public:
  explicit GenerationScope(int gen);
  ~GenerationScope();
  GenerationScope(const GenerationScope&) = delete;
  GenerationScope& operator=(const GenerationScope&) = delete;

 private:
  bool f2010_, f2024_;
};

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

// Conversion of a host-order image to the opposite byte order, as the
// readers undo it.
enum class Kind { kWords, kDictionary, kEnvironment, kText, kEventHeaders, kServerHeads };
bool to_opposite(int gen, Kind kind, Bytes& image);

}  // namespace daqfile_detail

#endif  // HESK_FILES_WRITER_INTERNAL_H
