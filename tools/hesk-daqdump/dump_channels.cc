// The data offsets of named channels in every event, from the reduced event
// channel pointers table.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "daq_file.h"

namespace daqdump {

namespace {

// Number of the event whose header is at `at`, read from the file.
bool event_number(const DaqFile& f, uint64_t at, uint64_t* number) {
  if (f.generation() == 2024) return f.word64(at + 16, number);
  uint32_t n = 0;
  if (!f.word32(at + 8, &n)) return false;
  *number = n;
  return true;
}

template <typename Entry>
void print_row(const DaqFile& f, const std::string& name, unsigned key, int count,
               const Entry* row) {
  printf("Channel %s (key %u): %d events\n", name.c_str(), key, count);
  for (int i = 0; i < count; ++i) {
    const Entry& p = row[i];
    uint64_t number = 0;
    const bool known = event_number(f, p.evhd, &number);
    printf("  [%d] event %s at %lu: server block %lu, channel %lu, data %lu\n", i,
           known ? std::to_string(number).c_str() : "?", static_cast<unsigned long>(p.evhd),
           static_cast<unsigned long>(p.sbhd), static_cast<unsigned long>(p.chhd),
           static_cast<unsigned long>(p.data));
  }
}

template <typename Cdt, typename Entry>
bool key_and_count(Cdt* cdt, int (*find)(Cdt*, char*, Entry**), const std::string& name,
                   unsigned* key, int* count) {
  Entry* e = nullptr;
  std::string n = name;
  if (find(cdt, &n[0], &e) < 0 || e == nullptr) return false;
  *key = e->key;
  *count = e->count;
  return true;
}

}  // namespace

int dump_channels(const DaqFile& f, const std::vector<std::string>& names) {
  const unsigned long n = f.length();
  const int fd = f.fd();
  void* cdt = nullptr;
  int rc = kova_get_channel_dictionary_table_m(n, f.frt(), fd, &cdt);
  if (rc != 0) {
    std::cerr << "hesk-daqdump: CDT: cannot be read (code " << rc << ")\n";
    return kMissing;
  }
  void* table = nullptr;
  if (f.generation() == 2009) {
    rc = kova_get_event_chan_pointers_table_by_list_m(
        n, static_cast<kova_file_reference_table*>(f.frt()), fd, names,
        static_cast<kova_chan_dictionary_table*>(cdt),
        reinterpret_cast<kova_event_chan_pointers_table**>(&table));
  } else if (f.generation() == 2010) {
    rc = kova_get_event_chan_pointers_table_by_list_m_2010(
        n, static_cast<kova_file_reference_table_2010*>(f.frt()), fd, names,
        static_cast<kova_chan_dictionary_table_2010*>(cdt),
        reinterpret_cast<kova_event_chan_pointers_table**>(&table));
  } else {
    std::vector<std::string> copy = names;
    std::vector<char*> ptrs;
    for (auto& s : copy) ptrs.push_back(&s[0]);
    rc = kova_get_event_chan_pointers_table_by_list_m_2024(
        n, static_cast<kova_file_reference_table_2024*>(f.frt()), fd, &ptrs,
        static_cast<kova_chan_dictionary_table_2024*>(cdt),
        reinterpret_cast<kova_event_chan_pointers_table_2024**>(&table));
  }
  if (rc != 0) {
    if (rc != -5) std::cerr << "hesk-daqdump: ECPT: cannot be read (code " << rc << ")\n";
    free(cdt);
    return kMissing;
  }
  for (size_t i = 0; i < names.size(); ++i) {
    unsigned key = 0;
    int count = 0;
    if (f.generation() == 2024) {
      auto* t = static_cast<kova_event_chan_pointers_table_2024*>(table);
      key_and_count(static_cast<kova_chan_dictionary_table_2024*>(cdt),
                    &kova_find_channel_by_name_2024, names[i], &key, &count);
      print_row(f, names[i], key, count,
                t->event_chan_ptr_entry + i * static_cast<size_t>(t->maxev));
    } else {
      auto* t = static_cast<kova_event_chan_pointers_table*>(table);
      if (f.generation() == 2009)
        key_and_count(
            static_cast<kova_chan_dictionary_table*>(cdt),
            static_cast<int (*)(kova_chan_dictionary_table*, char*, kova_chan_dictionary_entry**)>(
                &kova_find_channel_by_name),
            names[i], &key, &count);
      else
        key_and_count(static_cast<kova_chan_dictionary_table_2010*>(cdt),
                      &kova_find_channel_by_name_2010, names[i], &key, &count);
      print_row(f, names[i], key, count,
                t->event_chan_ptr_entry + i * static_cast<size_t>(t->maxev));
    }
  }
  free(table);
  free(cdt);
  return kOk;
}

}  // namespace daqdump
