// A DAQ raw file: every reader, lookup and printer of every generation.
// Input: the file's bytes. They are given to the whole-file readers as an
// exact heap copy (so AddressSanitizer sees any read past the file) and to
// the windowed readers through a memory file. Whatever a reader hands out is
// then looked up in and printed; tables that point into the input at an
// offset their records cannot be aligned to are not handed to the printers
// (their fields are read through typed pointers).
//
// Seeds (fuzz/corpus/fuzz_daq_file) are small files of hesk-daqgen:
//   hesk-daqgen --generation G [--swapped] --events 3 --servers 1 --channels 3
//               --samples 1 --types 1,0 fuzz/corpus/fuzz_daq_file/G_host|G_swapped
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;

bool aligned(const void* p, size_t a) {
  return reinterpret_cast<uintptr_t>(p) % a == 0;
}

// The memory file the windowed readers read; reused across inputs.
int memory_file(const uint8_t* data, size_t size) {
  static int fd = memfd_create("daq_file", 0);
  if (fd < 0) return -1;
  if (ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) return -1;
  return fd;
}

template <typename T>
void release(T* p, int out) {
  if (out == 1) free(p);
}

// Names to look up: the dictionary's first entries, then one that is absent.
template <typename Cdt>
std::vector<std::string> names_of(Cdt* cdt, size_t header, size_t entry) {
  std::vector<std::string> names;
  const int64_t n = (static_cast<int64_t>(cdt->length) - static_cast<int64_t>(header)) /
                    static_cast<int64_t>(entry);
  for (int64_t i = 0; i < n && i < 3; ++i) {
    const auto& e = cdt->chan_dictionary_entry[i];
    names.emplace_back(e.chan_name, strnlen(e.chan_name, sizeof(e.chan_name)));
  }
  names.emplace_back("NO/SUCH/CHANNEL");
  return names;
}

template <typename Cdt, typename Entry, typename ByKey, typename ByName>
void look_up(Cdt* cdt, size_t header, size_t entry, ByKey by_key, ByName by_name) {
  const int64_t n = (static_cast<int64_t>(cdt->length) - static_cast<int64_t>(header)) /
                    static_cast<int64_t>(entry);
  Entry* e = nullptr;
  for (int64_t i = 0; i < n && i < 4; ++i) {
    by_key(cdt, cdt->chan_dictionary_entry[i].key, &e, 0);
    by_key(cdt, cdt->chan_dictionary_entry[i].key + 1, &e, 1);
  }
  for (auto& name : names_of(cdt, header, entry)) by_name(cdt, &name[0], &e);
}

// ---------------------------------------------------------------------------

void run_2009(u_char* buf, size_t size, int fd) {
  kova_file_reference_table* f = nullptr;
  int fo = 0;
  if (get_kova_file_reference_table(buf, size, &f, &fo) == 0) {
    if (aligned(f, 4)) print_kova_file_reference_table(f);
    int out = 0;
    kova_event_index_table* eit = nullptr;
    if (kova_get_event_index_table(buf, f, &eit, &out) == 0) release(eit, out);
    for (int type = 0; type < KOVA_EV_EVMAX; ++type) {
      kova_event_index_entry* e = nullptr;
      if (kova_get_event_index_table_by_type(buf, f, type, &e, &out) == 0) {
        if (aligned(e, 4)) print_kova_event_index_table(e);
        release(e, out);
      }
    }
    kova_chan_dictionary_table* cdt = nullptr;
    int cout = 0;
    const bool have_cdt = kova_get_channel_dictionary_table(buf, f, &cdt, &cout) == 0;
    if (have_cdt && aligned(cdt, 4)) {
      print_kova_channel_dictionary_table(cdt);
      look_up<kova_chan_dictionary_table, kova_chan_dictionary_entry>(
          cdt, 8, 96,
          [](kova_chan_dictionary_table* t, unsigned k, kova_chan_dictionary_entry** r, int m) {
            return kova_find_channel_by_key(t, k, r, m);
          },
          [](kova_chan_dictionary_table* t, char* n, kova_chan_dictionary_entry** r) {
            return kova_find_channel_by_name(t, n, r);
          });
    }
    kova_event_chan_pointers_table* ecp = nullptr;
    if (kova_get_event_chan_pointers_table(buf, f, &ecp, &out) == 0) {
      if (aligned(ecp, 4)) print_kova_event_chan_pointers_table(ecp);
      release(ecp, out);
    }
    kova_env_dictionary_table* eidt = nullptr;
    if (kova_get_env_index_dictionary_table(buf, f, &eidt, &out) == 0) {
      if (aligned(eidt, 4))
        print_kova_env_index_dictionary_table(eidt, have_cdt && aligned(cdt, 4) ? cdt : nullptr);
      release(eidt, out);
    }
    kova_xml_chan_descr_header* xcd = nullptr;
    if (kova_get_chan_descr_table(buf, f, &xcd, &out) == 0) release(xcd, out);
    kova_event_header_basket* ehb = nullptr;
    if (kova_get_event_header_basket_table(buf, f, &ehb) == 0 && aligned(ehb, 4))
      print_kova_event_header_basket(ehb);
    kova_server_block_basket* sbhb = nullptr;
    if (kova_get_server_block_basket_table(buf, f, &sbhb) == 0 && aligned(sbhb, 4))
      print_kova_server_block_basket(sbhb);
    if (have_cdt) release(cdt, cout);
    release(f, fo);
  }
  if (get_kova_file_reference_table_m(buf, size, size, fd, &f) != 0) return;
  kova_event_index_table* eit = nullptr;
  if (kova_get_event_index_table_m(size, f, fd, &eit) == 0) free(eit);
  kova_event_chan_pointers_table* ecp = nullptr;
  if (kova_get_event_chan_pointers_table_m(size, f, fd, &ecp) == 0) free(ecp);
  kova_env_dictionary_table* eidt = nullptr;
  if (kova_get_env_index_dictionary_table_m(size, f, fd, &eidt) == 0) free(eidt);
  kova_xml_chan_descr_header* xcd = nullptr;
  if (kova_get_chan_descr_table_m(size, f, fd, &xcd) == 0) free(xcd);
  kova_chan_dictionary_table* cdt = nullptr;
  if (kova_get_channel_dictionary_table_m(size, f, fd, &cdt) == 0) {
    auto names = names_of(cdt, 8, 96);
    std::vector<char*> ptrs;
    for (auto& n : names) ptrs.push_back(&n[0]);
    ptrs.pop_back();  // found names only: the table is built
    kova_event_chan_pointers_table* red = nullptr;
    if (!ptrs.empty() &&
        kova_get_event_chan_pointers_table_by_list_m(size, f, fd, &ptrs, cdt, &red) == 0) {
      print_kova_event_chan_pointers_table(red);
      free(red);
    }
    if (kova_get_event_chan_pointers_table_by_list_m(size, f, fd, names, cdt, &red) == 0) free(red);
    free(cdt);
  }
  free(f);
}

void run_2010(u_char* buf, size_t size, int fd) {
  kova_file_reference_table_2010* f = nullptr;
  if (get_kova_file_reference_table_m_2010(buf, size, size, fd, &f) != 0) return;
  print_kova_file_reference_table_2010(f);
  int out = 0;
  for (int type = 0; type < KOVA_EV_EVMAX; ++type) {
    kova_event_index_entry* e = nullptr;
    if (kova_get_event_index_table_by_type_2010(buf, f, type, &e, &out) == 0) {
      if (aligned(e, 4)) print_kova_event_index_table_2010(e);
      release(e, out);
    }
  }
  kova_event_index_table* eit = nullptr;
  if (kova_get_event_index_table_m_2010(size, f, fd, &eit) == 0) free(eit);
  kova_event_chan_pointers_table* ecp = nullptr;
  if (kova_get_event_chan_pointers_table_m_2010(size, f, fd, &ecp) == 0) {
    print_kova_event_chan_pointers_table_2010(ecp);
    free(ecp);
  }
  kova_xml_chan_descr_header* xcd = nullptr;
  if (kova_get_chan_descr_table_m_2010(size, f, fd, &xcd) == 0) free(xcd);
  kova_chan_dictionary_table_2010* cdt = nullptr;
  const bool have_cdt = kova_get_channel_dictionary_table_m_2010(size, f, fd, &cdt) == 0;
  if (have_cdt) {
    print_kova_channel_dictionary_table_2010(cdt);
    look_up<kova_chan_dictionary_table_2010, kova_chan_dictionary_entry_2010>(
        cdt, 8, 272, kova_find_channel_by_key_2010, kova_find_channel_by_name_2010);
    auto names = names_of(cdt, 8, 272);
    names.pop_back();
    kova_event_chan_pointers_table* red = nullptr;
    if (!names.empty() &&
        kova_get_event_chan_pointers_table_by_list_m_2010(size, f, fd, names, cdt, &red) == 0) {
      print_kova_event_chan_pointers_table_2010(red);
      free(red);
    }
  }
  kova_env_dictionary_table* eidt = nullptr;
  if (kova_get_env_index_dictionary_table_m_2010(size, f, fd, &eidt) == 0) {
    print_kova_env_index_dictionary_table_2010(eidt, have_cdt ? cdt : nullptr);
    free(eidt);
  }
  kova_event_header_basket* ehb = nullptr;
  if (kova_get_event_header_basket_table_2010(buf, f, &ehb) == 0 && aligned(ehb, 4))
    print_kova_event_header_basket_2010(ehb);
  kova_server_block_basket_2010* sbhb = nullptr;
  if (kova_get_server_block_basket_table_2010(buf, f, &sbhb) == 0 && aligned(sbhb, 4))
    print_kova_server_block_basket_2010(sbhb);
  free(cdt);
  free(f);
}

void run_2024(u_char* buf, size_t size, int fd) {
  kova_file_reference_table_2024* f = nullptr;
  int fo = 0;
  if (get_kova_file_reference_table_2024(buf, size, &f, &fo) == 0) {
    if (aligned(f, 8)) print_kova_file_reference_table_2024(f);
    int out = 0;
    kova_event_index_table_2024* eit = nullptr;
    if (kova_get_event_index_table_2024(buf, f, &eit, &out) == 0) release(eit, out);
    for (int type = 0; type < KOVA_EV_EVMAX; ++type) {
      kova_event_index_entry_2024* e = nullptr;
      if (kova_get_event_index_table_by_type_2024(buf, f, type, &e, &out) == 0) {
        if (aligned(e, 8)) print_kova_event_index_table_2024(e);
        release(e, out);
      }
    }
    kova_chan_dictionary_table_2024* cdt = nullptr;
    int cout = 0;
    const bool have_cdt = kova_get_channel_dictionary_table_2024(buf, f, &cdt, &cout) == 0;
    if (have_cdt && aligned(cdt, 8)) {
      print_kova_channel_dictionary_table_2024(cdt);
      look_up<kova_chan_dictionary_table_2024, kova_chan_dictionary_entry_2024>(
          cdt, 16, 272, kova_find_channel_by_key_2024, kova_find_channel_by_name_2024);
    }
    kova_event_chan_pointers_table_2024* ecp = nullptr;
    if (kova_get_event_chan_pointers_table_2024(buf, f, &ecp, &out) == 0) {
      if (aligned(ecp, 8)) print_kova_event_chan_pointers_table_2024(ecp);
      release(ecp, out);
    }
    kova_env_dictionary_table_2024* eidt = nullptr;
    if (kova_get_env_index_dictionary_table_2024(buf, f, &eidt, &out) == 0) {
      if (aligned(eidt, 8))
        print_kova_env_index_dictionary_table_2024(eidt,
                                                   have_cdt && aligned(cdt, 8) ? cdt : nullptr);
      release(eidt, out);
    }
    kova_xml_chan_descr_header_2024* xcd = nullptr;
    if (kova_get_chan_descr_table_2024(buf, f, &xcd, &out) == 0) release(xcd, out);
    kova_event_header_basket_2024* ehb = nullptr;
    if (kova_get_event_header_basket_table_2024(buf, f, &ehb) == 0 && aligned(ehb, 8))
      print_kova_event_header_basket_2024(ehb);
    kova_server_block_basket_2024* sbhb = nullptr;
    if (kova_get_server_block_basket_table_2024(buf, f, &sbhb) == 0 && aligned(sbhb, 8))
      print_kova_server_block_basket_2024(sbhb);
    if (have_cdt) release(cdt, cout);
    release(f, fo);
  }
  if (get_kova_file_reference_table_m_2024(buf, size, size, fd, &f) != 0) return;
  kova_event_index_table_2024* eit = nullptr;
  if (kova_get_event_index_table_m_2024(size, f, fd, &eit) == 0) free(eit);
  kova_event_chan_pointers_table_2024* ecp = nullptr;
  if (kova_get_event_chan_pointers_table_m_2024(size, f, fd, &ecp) == 0) free(ecp);
  kova_env_dictionary_table_2024* eidt = nullptr;
  if (kova_get_env_index_dictionary_table_m_2024(size, f, fd, &eidt) == 0) free(eidt);
  kova_xml_chan_descr_header_2024* xcd = nullptr;
  if (kova_get_chan_descr_table_m_2024(size, f, fd, &xcd) == 0) free(xcd);
  kova_chan_dictionary_table_2024* cdt = nullptr;
  if (kova_get_channel_dictionary_table_m_2024(size, f, fd, &cdt) == 0) {
    auto names = names_of(cdt, 16, 272);
    std::vector<char*> ptrs;
    for (auto& n : names) ptrs.push_back(&n[0]);
    kova_event_chan_pointers_table_2024* red = nullptr;
    if (kova_get_event_chan_pointers_table_by_list_m_2024(size, f, fd, &ptrs, cdt, &red) == 0)
      free(red);
    ptrs.pop_back();
    if (!ptrs.empty() &&
        kova_get_event_chan_pointers_table_by_list_m_2024(size, f, fd, &ptrs, cdt, &red) == 0) {
      print_kova_event_chan_pointers_table_2024(red);
      free(red);
    }
    free(cdt);
  }
  free(f);
}

// The dispatchers, with the flags of each generation.
void run_dispatchers(u_char* buf, size_t size, int fd) {
  for (int g = 0; g < 3; ++g) {
    fuzz::use_generation(static_cast<uint8_t>(g));
    void* f = nullptr;
    if (get_kova_file_reference_table_m(buf, size, size, fd, &f) != 0) continue;
    void* t = nullptr;
    if (kova_get_channel_dictionary_table_m(size, f, fd, &t) == 0) {
      print_kova_channel_dictionary_table(t);
      void* e = nullptr;
      kova_find_channel_by_key(t, 1000u, &e, 1);
      char name[] = "SRV.00/CH.000";
      kova_find_channel_by_name(t, name, &e);
      free(t);
    }
    int out = 0;
    if (kova_get_event_index_table_by_type(buf, f, KOVA_EV_NORMAL, &t, &out) == 0 &&
        aligned(t, 8)) {
      print_kova_event_index_table(t);
      if (out == 1) free(t);
    }
    print_kova_file_reference_table(f);
    free(f);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0 || size > kMaxInput) return 0;
  const int fd = memory_file(data, size);
  if (fd < 0) return 0;
  auto copy = fuzz::exact_copy(data, size, size);
  u_char* buf = copy.get();
  run_2009(buf, size, fd);
  run_2010(buf, size, fd);
  run_2024(buf, size, fd);
  run_dispatchers(buf, size, fd);
  // Mapping the file whole, and page windows of offsets from the input.
  char path[64];
  snprintf(path, sizeof(path), "/proc/self/fd/%d", fd);
  u_char* map = nullptr;
  int mfd = -1;
  unsigned long len = 0;
  if (kova_map_file(path, &map, &mfd, &len, nullptr) == 0) kova_unmap_file(map, mfd, len);
  if (size >= 16) {
    int64_t a, b;
    memcpy(&a, data, 8);
    memcpy(&b, data + 8, 8);
    off_t delta = 0;
    kova_get_page_offset(static_cast<off_t>(a), static_cast<off_t>(b), &delta);
  }
  return 0;
}
