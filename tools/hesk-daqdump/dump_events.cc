// The events of the file in file order, found through the event index
// table. Each event is copied out of the mapping, converted to host order
// when the file has the opposite byte order, and printed whole.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "daq_file.h"

namespace daqdump {

namespace {

// One event in host order, with its server blocks and channels, by the event
// printer of the generation in force (set from the file when it was opened).
void print_one(void* event) {
  print_event(event, nullptr);
}

struct Located {
  uint64_t offset;
  int type;
};

// Every event record of the index, in file order.
template <typename Table, typename Entry>
std::vector<Located> collect(const Table* t, size_t header, size_t head) {
  std::vector<Located> all;
  const auto* p = reinterpret_cast<const unsigned char*>(t);
  size_t at = header;
  for (uint64_t i = 0; i < static_cast<uint64_t>(t->nevent_types); ++i) {
    const auto* e = reinterpret_cast<const Entry*>(p + at);
    const size_t records = (static_cast<size_t>(e->length) - head) / sizeof(e->event_info[0]);
    for (size_t r = 0; r < records; ++r)
      all.push_back(
          {static_cast<uint64_t>(e->event_info[r].offset), static_cast<int>(e->event_type)});
    at += static_cast<size_t>(e->length);
  }
  std::sort(all.begin(), all.end(),
            [](const Located& a, const Located& b) { return a.offset < b.offset; });
  return all;
}

}  // namespace

int dump_events(const DaqFile& f, long limit) {
  void* eit = nullptr;
  const int rc = kova_get_event_index_table_m(f.length(), f.frt(), f.fd(), &eit);
  if (rc != 0) {
    std::cerr << "hesk-daqdump: EIT: cannot be read (code " << rc << ")\n";
    return kMissing;
  }
  const bool wide = f.generation() == 2024;
  const std::vector<Located> events =
      wide ? collect<kova_event_index_table_2024, kova_event_index_entry_2024>(
                 static_cast<kova_event_index_table_2024*>(eit), 16, 48)
           : collect<kova_event_index_table, kova_event_index_entry>(
                 static_cast<kova_event_index_table*>(eit), 8, 32);
  free(eit);
  const size_t head = wide ? 48 : 36;
  int status = kOk;
  std::vector<uint64_t> buf;  // 8-byte aligned copy of one event
  long shown = 0;
  for (const Located& ev : events) {
    if (limit >= 0 && shown >= limit) break;
    uint64_t length = 0;
    uint32_t l32 = 0;
    const bool ok = wide ? f.word64(ev.offset + 8, &length) : f.word32(ev.offset + 4, &l32);
    if (!wide) length = l32;
    if (f.changed()) break;  // the caller reports it
    if (!ok || length < head || ev.offset > f.length() || length > f.length() - ev.offset) {
      std::cerr << "hesk-daqdump: event at " << ev.offset << " does not fit the file\n";
      status = kMissing;
      continue;
    }
    buf.assign((length + 7) / 8, 0);
    memcpy(buf.data(), f.base() + ev.offset, length);
    if (f.changed()) break;
    if (f.swapped()) {
      const int c = kova_convert_event(buf.data(), buf.data());
      if (c != 0) {
        std::cerr << "hesk-daqdump: event at " << ev.offset
                  << " does not convert: " << kova_get_convert_error(c) << "\n";
        status = kMissing;
        continue;
      }
    }
    printf("--- event at %lu (%s)\n", static_cast<unsigned long>(ev.offset),
           event_name_itoa(ev.type));
    print_one(buf.data());
    ++shown;
  }
  return status;
}

}  // namespace daqdump
