// Reading a DAQ file's reference table, event index, channel dictionary and
// pointer rows with the windowed readers of the generation the trailer names.
#include "file_tables.h"

#include <algorithm>
#include <cstring>

#include "errors.h"
#include "event_util.h"

namespace heskpy {

namespace {

const Geometry kGeometries[] = {
    {2009, 36, 76, 44, 32, 4, KOVA_EV_PATTERN_2009},
    {2010, 36, 284, 268, 256, 4, KOVA_EV_PATTERN_2010},
    {2024, 48, 304, 268, 256, 8, KOVA_EV_PATTERN_2024},
};

std::string table_error(const char* table, int code) {
  const char* why = "";
  switch (code) {
    case -1:
      why = "bad arguments";
      break;
    case -3:
      why = "the reference table is not of this generation";
      break;
    case -4:
      why = "the reference table has a wrong length";
      break;
    case -5:
      why = "no table where the reference table points, or it cannot be mapped";
      break;
    case -6:
      why = "the table is absent, empty, or there is no memory for it";
      break;
    case -7:
      why = "the table is empty or does not fit the file";
      break;
    case -9:
      why = "the table's pattern is wrong";
      break;
    case KOVA_MAPPING_DAMAGED:
      why = "the file shrank while the table was read";
      break;
    default:
      why = "the table cannot be read";
  }
  return std::string(table) + ": " + why + " (code " + std::to_string(code) + ")";
}

// Entries of the event index of one generation, walked from `first`.
template <typename Entry, size_t kHead, size_t kRecord>
void collect_events(const unsigned char* first, uint64_t types, std::vector<EventEntry>* out) {
  const unsigned char* at = first;
  for (uint64_t t = 0; t < types; ++t) {
    const auto* e = reinterpret_cast<const Entry*>(at);
    const int64_t length = static_cast<int64_t>(e->length);
    if (length < static_cast<int64_t>(kHead))
      fail(-7,
           "event index: an entry shorter than its head (length " + std::to_string(length) + ")");
    const uint64_t records = (static_cast<uint64_t>(length) - kHead) / kRecord;
    for (uint64_t r = 0; r < records; ++r) {
      const auto& info = e->event_info[r];
      out->push_back({static_cast<uint64_t>(info.offset), static_cast<uint64_t>(info.event_number),
                      static_cast<int32_t>(e->event_type), info.time.timeup, info.time.timelow});
    }
    at += length;
  }
}

template <typename Table>
void collect_channels(const Table* t, size_t header, size_t entry, std::vector<ChannelEntry>* out) {
  const int64_t length = static_cast<int64_t>(t->length);
  const int64_t n = length > static_cast<int64_t>(header)
                        ? (length - static_cast<int64_t>(header)) / static_cast<int64_t>(entry)
                        : 0;
  for (int64_t i = 0; i < n; ++i) {
    const auto& e = t->chan_dictionary_entry[i];
    out->push_back({std::string(e.chan_name, strnlen(e.chan_name, sizeof(e.chan_name))), e.key,
                    e.ev_mask, e.dtype_mask, e.count});
  }
}

template <typename Table>
std::vector<PointerRecord> row_records(const Table* t, size_t count) {
  std::vector<PointerRecord> out;
  const size_t n = std::min(count, static_cast<size_t>(t->maxev > 0 ? t->maxev : 0));
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    const auto& r = t->event_chan_ptr_entry[i];
    if (r.chhd == 0) continue;
    out.push_back({static_cast<uint64_t>(r.evhd), static_cast<uint64_t>(r.sbhd),
                   static_cast<uint64_t>(r.chhd), static_cast<uint64_t>(r.data)});
  }
  return out;
}

}  // namespace

const Geometry& geometry_of(int generation) {
  for (const Geometry& g : kGeometries)
    if (g.generation == generation) return g;
  return kGeometries[1];
}

bool recognise_trailer(const unsigned char* base, uint64_t length, int* generation, bool* swapped) {
  uint64_t m64 = 0;
  uint32_t m32 = 0;
  if (length >= 16) memcpy(&m64, base + length - 8, 8);
  if (length >= 8) memcpy(&m32, base + length - 4, 4);
  struct Marker32 {
    uint32_t marker;
    int gen;
  };
  if (length >= 16 && (m64 == KOVA_DAQ_FILE_END_MARKER_2024 ||
                       m64 == __builtin_bswap64(KOVA_DAQ_FILE_END_MARKER_2024))) {
    *generation = 2024;
    *swapped = m64 != KOVA_DAQ_FILE_END_MARKER_2024;
    return true;
  }
  for (const Marker32& m :
       {Marker32{KOVA_DAQ_FILE_END_MARKER, 2009}, Marker32{KOVA_DAQ_FILE_END_MARKER_2010, 2010}}) {
    if (length >= 8 && (m32 == m.marker || m32 == __builtin_bswap32(m.marker))) {
      *generation = m.gen;
      *swapped = m32 != m.marker;
      return true;
    }
  }
  return false;
}

FileTables::FileTables(int generation, unsigned char* base, uint64_t length, int fd)
    : gen_(generation), length_(length), fd_(fd) {
  read_frt(base, length);
  read_event_index();
  read_dictionary();
}

void FileTables::read_frt(unsigned char* base, uint64_t length) {
  void* t = nullptr;
  int rc = 0;
  if (gen_ == 2009) {
    rc = get_kova_file_reference_table_m(base, length, length, fd_,
                                         reinterpret_cast<kova_file_reference_table**>(&t));
  } else if (gen_ == 2010) {
    rc = get_kova_file_reference_table_m_2010(
        base, length, length, fd_, reinterpret_cast<kova_file_reference_table_2010**>(&t));
  } else {
    rc = get_kova_file_reference_table_m_2024(
        base, length, length, fd_, reinterpret_cast<kova_file_reference_table_2024**>(&t));
  }
  if (rc != 0 || t == nullptr) {
    fail(rc != 0 ? rc : -1,
         "no file reference table where the trailer points (code " + std::to_string(rc) + ")");
  }
  frt_.reset(t);
  // The trailer's offset, always big-endian, just before the end marker.
  if (gen_ == 2024) {
    uint64_t v;
    memcpy(&v, base + length - 16, 8);
    frt_offset_ = __builtin_bswap64(v);
  } else {
    uint32_t v;
    memcpy(&v, base + length - 8, 4);
    frt_offset_ = __builtin_bswap32(v);
  }
}

void FileTables::read_event_index() {
  void* t = nullptr;
  int rc;
  if (gen_ == 2009)
    rc = kova_get_event_index_table_m(length_, static_cast<kova_file_reference_table*>(frt_.get()),
                                      fd_, reinterpret_cast<kova_event_index_table**>(&t));
  else if (gen_ == 2010)
    rc = kova_get_event_index_table_m_2010(length_,
                                           static_cast<kova_file_reference_table_2010*>(frt_.get()),
                                           fd_, reinterpret_cast<kova_event_index_table**>(&t));
  else
    rc = kova_get_event_index_table_m_2024(
        length_, static_cast<kova_file_reference_table_2024*>(frt_.get()), fd_,
        reinterpret_cast<kova_event_index_table_2024**>(&t));
  if (rc == -6 && t == nullptr) return;  // no event index: the caller walks the events
  if (rc != 0) fail(rc, table_error("event index", rc));
  HeapTable eit(t);
  if (gen_ == 2024) {
    auto* e = static_cast<kova_event_index_table_2024*>(t);
    collect_events<kova_event_index_entry_2024, 48, 24>(
        reinterpret_cast<const unsigned char*>(e->event_index_entry), e->nevent_types, &events_);
  } else {
    auto* e = static_cast<kova_event_index_table*>(t);
    const uint64_t types = e->nevent_types > 0 ? static_cast<uint64_t>(e->nevent_types) : 0;
    collect_events<kova_event_index_entry, 32, 16>(
        reinterpret_cast<const unsigned char*>(e->event_index_entry), types, &events_);
  }
  std::stable_sort(events_.begin(), events_.end(),
                   [](const EventEntry& a, const EventEntry& b) { return a.offset < b.offset; });
  has_eit_ = true;
}

void FileTables::read_dictionary() {
  void* t = nullptr;
  int rc;
  if (gen_ == 2009)
    rc = kova_get_channel_dictionary_table_m(
        length_, static_cast<kova_file_reference_table*>(frt_.get()), fd_,
        reinterpret_cast<kova_chan_dictionary_table**>(&t));
  else if (gen_ == 2010)
    rc = kova_get_channel_dictionary_table_m_2010(
        length_, static_cast<kova_file_reference_table_2010*>(frt_.get()), fd_,
        reinterpret_cast<kova_chan_dictionary_table_2010**>(&t));
  else
    rc = kova_get_channel_dictionary_table_m_2024(
        length_, static_cast<kova_file_reference_table_2024*>(frt_.get()), fd_,
        reinterpret_cast<kova_chan_dictionary_table_2024**>(&t));
  if (rc == -6 && t == nullptr) return;  // a file without a dictionary has no channels
  if (rc != 0) fail(rc, table_error("channel dictionary", rc));
  cdt_.reset(t);
  if (gen_ == 2009)
    collect_channels(static_cast<kova_chan_dictionary_table*>(t), 8,
                     sizeof(kova_chan_dictionary_entry), &channels_);
  else if (gen_ == 2010)
    collect_channels(static_cast<kova_chan_dictionary_table_2010*>(t), 8,
                     sizeof(kova_chan_dictionary_entry_2010), &channels_);
  else
    collect_channels(static_cast<kova_chan_dictionary_table_2024*>(t), 16,
                     sizeof(kova_chan_dictionary_entry_2024), &channels_);
}

int FileTables::find_channel(const std::string& name) const {
  for (size_t i = 0; i < channels_.size(); ++i)
    if (channels_[i].name == name) return static_cast<int>(i);
  return -1;
}

std::vector<PointerRecord> FileTables::pointer_row(int index) const {
  const ChannelEntry& ch = channels_.at(static_cast<size_t>(index));
  std::string name = ch.name;
  std::vector<char*> list{&name[0]};
  void* t = nullptr;
  int rc;
  if (gen_ == 2009)
    rc = kova_get_event_chan_pointers_table_by_list_m(
        length_, static_cast<kova_file_reference_table*>(frt_.get()), fd_, &list,
        static_cast<kova_chan_dictionary_table*>(cdt_.get()),
        reinterpret_cast<kova_event_chan_pointers_table**>(&t));
  else if (gen_ == 2010)
    rc = kova_get_event_chan_pointers_table_by_list_m_2010(
        length_, static_cast<kova_file_reference_table_2010*>(frt_.get()), fd_, &list,
        static_cast<kova_chan_dictionary_table_2010*>(cdt_.get()),
        reinterpret_cast<kova_event_chan_pointers_table**>(&t));
  else
    rc = kova_get_event_chan_pointers_table_by_list_m_2024(
        length_, static_cast<kova_file_reference_table_2024*>(frt_.get()), fd_, &list,
        static_cast<kova_chan_dictionary_table_2024*>(cdt_.get()),
        reinterpret_cast<kova_event_chan_pointers_table_2024**>(&t));
  if (rc != 0) fail(rc, table_error("event channel pointers", rc));
  HeapTable row(t);
  const size_t count = ch.count > 0 ? static_cast<size_t>(ch.count) : 0;
  if (gen_ == 2024) return row_records(static_cast<kova_event_chan_pointers_table_2024*>(t), count);
  return row_records(static_cast<kova_event_chan_pointers_table*>(t), count);
}

}  // namespace heskpy
