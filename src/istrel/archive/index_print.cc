// Text listings of index files on standard output.
#include <cstdio>
#include <cstring>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

constexpr const char* kRule = "==================================================";

const char* iso_of(unsigned int t, char* buf) {
  create_isodate_from_sec(static_cast<time_t>(t), buf, true);
  return buf;
}

void print_statistics(const int* tevents) {
  printf("Events statistics: ");
  for (int k = 0; k < KOVA_EV_EVMAX; ++k)
    printf("%s:%d%s", event_name_itoa(k), tevents[k], k % 8 == 7 ? "\n" : " ");
}

template <class R, class Line>
void print_list(const char* title, std::vector<R*>* list, bool how, Line line) {
  printf("%s\n%s\n", title, kRule);
  const size_t n = list != nullptr ? list->size() : 0;
  if (n == 0) printf("No entries\n");
  for (size_t i = 0; i < n; ++i) {
    const R& r = *(*list)[i];
    char iso[16];
    line(r, iso_of(r.tfile, iso));
    if (how) print_statistics(r.tevents);
  }
  printf("===== %zu entries  ====\n", n);
}

template <class R, class Read, class Print, class Clear>
void read_and_print(char* file, bool how, Read read, Print print, Clear clear) {
  std::vector<R*> list;
  if (read(file, &list, false, 1) == 0) print(&list, how);
  clear(&list);
}

}  // namespace

void print_index_file_struct(std::vector<kova_index_file*>* list, bool how) {
  print_list("KOVA FILE INDEX (struct)", list, how, [](const kova_index_file& r, const char* iso) {
    printf("File: %d\tEvents: %u\tFirst event: %u\tLast event: %u\tISO time: %s\n", r.filen,
           r.events, r.evfirst, r.evlast, iso);
  });
}

void print_index_file_struct_ev(std::vector<kova_index_file_ev*>* list, bool how) {
  print_list("KOVA FILE INDEX EVENT NUMBER(struct)", list, how,
             [](const kova_index_file_ev& r, const char* iso) {
               printf(
                   "File: %d\tEvents: %u\tFirst time:%u\t event: %u\tLast time: %u\t event:%u\tISO "
                   "time: %s\n",
                   r.filen, r.events, r.evfirst, r.event_first, r.evlast, r.event_last, iso);
             });
}

void print_index_file_struct_ev_2024(std::vector<kova_index_file_ev_2024*>* list, bool how) {
  print_list("KOVA FILE INDEX EVENT NUMBER 2024(struct)", list, how,
             [](const kova_index_file_ev_2024& r, const char* iso) {
               printf(
                   "File: %d\tEvents: %u\tFirst time:%u\t event: %llu\tLast time: %u\t "
                   "event:%llu\tISO time: %s\n",
                   r.filen, r.events, r.evfirst, static_cast<unsigned long long>(r.event_first),
                   r.evlast, static_cast<unsigned long long>(r.event_last), iso);
             });
}

void print_index_file(char* file, bool how) {
  if (file == nullptr) return;
  if (strstr(file, ".idx") != nullptr) {
    read_and_print<kova_index_file>(file, how, read_index_file, print_index_file_struct,
                                    clear_index_file_mem);
  } else if (strstr(file, ".idev64") != nullptr) {
    read_and_print<kova_index_file_ev_2024>(file, how, read_index_file_ev_2024,
                                            print_index_file_struct_ev_2024,
                                            clear_index_file_mem_ev_2024);
  } else if (strstr(file, ".idev") != nullptr) {
    read_and_print<kova_index_file_ev>(file, how, read_index_file_ev, print_index_file_struct_ev,
                                       clear_index_file_mem_ev);
  }
}
