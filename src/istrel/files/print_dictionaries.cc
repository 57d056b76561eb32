// Printers of the channel dictionary, the event channel pointers table and
// the environment index dictionary.
#include "lookup_internal.h"
#include "print_internal.h"

namespace files_detail {

namespace {

template <typename G>
void print_cdt(typename G::Cdt* t, const char* title) {
  if (t == nullptr) return;
  if (!open_frame(title, t->pattern, G::kCdt)) return;
  const int64_t n = entries_of(t->length, G::kHeader, G::kCdtEntry);
  print_length_entries(t->length, n);
  for (int64_t i = 0; i < n; ++i) {
    const auto& e = t->chan_dictionary_entry[i];
    char events[256];
    event_name_from_mask(events, sizeof(events), static_cast<int>(e.ev_mask), nullptr, 0);
    events[sizeof(events) - 1] = '\0';
    printf("[%d]\tKey:%u\tChan:%.*s\tCount:%d\tEvents:%s\n", static_cast<int>(i), e.key,
           static_cast<int>(sizeof(e.chan_name)), e.chan_name, e.count, events);
  }
  printf("==========END=OF=CDT========\n");
}

template <typename G>
void print_ecpt(typename G::Ecpt* t, const char* title) {
  if (t == nullptr) return;
  if (!open_frame(title, t->pattern, G::kEcpt)) return;
  // rows = (length - header) / (maxev * record), in steps that cannot overflow.
  const int64_t per_row = t->maxev > 0 ? static_cast<int64_t>(t->maxev) : 0;
  const int64_t records = entries_of(t->length, G::kEcptHeader, G::kEcptRecord);
  const int64_t rows = per_row > 0 ? records / per_row : 0;
  printf("Length:%ld\t Entries:%d\tMaxEvents:%ld \n", static_cast<long>(t->length),
         static_cast<int>(rows), static_cast<long>(t->maxev));
  for (int64_t r = 0; r < rows; ++r) {
    printf("[%d] ", static_cast<int>(r));
    for (int64_t j = 0; j < per_row; ++j) {
      const auto& p = t->event_chan_ptr_entry[r * per_row + j];
      if (p.chhd == 0) continue;
      if (G::kGen == Gen::k2024)
        printf("(%lu %lu %lu %lu) ", static_cast<unsigned long>(p.evhd),
               static_cast<unsigned long>(p.sbhd), static_cast<unsigned long>(p.chhd),
               static_cast<unsigned long>(p.data));
      else
        printf("(%u %u %u %u) ", static_cast<unsigned>(p.evhd), static_cast<unsigned>(p.sbhd),
               static_cast<unsigned>(p.chhd), static_cast<unsigned>(p.data));
    }
    printf("\n");
  }
  printf("==========END=OF=ECP========\n");
}

template <typename G>
void print_eidt(typename G::Eidt* t, typename G::Cdt* cdt, const char* title) {
  if (t == nullptr) return;
  if (!open_frame(title, t->pattern, G::kEidt)) return;
  const int64_t n = entries_of(t->length, G::kHeader, sizeof(kova_env_dictionary_entry));
  print_length_entries(t->length, n);
  for (int64_t i = 0; i < n; ++i) {
    const auto& e = t->env_dictionary_entry[i];
    if (cdt == nullptr) {
      printf("[%d]\tIndex:%u\tKey:%u\n", static_cast<int>(i), static_cast<unsigned>(e.index),
             e.key);
      continue;
    }
    typename G::CdtEntry* c = nullptr;
    if (find_by_key<G>(cdt, e.key, &c, 0) < 0 || c == nullptr)
      printf("[%d]\tIndex:%u\tKey:%u\t NOT FOUND in CDT\n", static_cast<int>(i),
             static_cast<unsigned>(e.index), e.key);
    else
      printf("[%d]\tIndex:%u\tKey:%u\t%.*s\n", static_cast<int>(i), static_cast<unsigned>(e.index),
             e.key, static_cast<int>(sizeof(c->chan_name)), c->chan_name);
  }
  printf("==========END=OF=EIDT========\n");
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

void print_kova_channel_dictionary_table(kova_chan_dictionary_table* tbl) {
  print_cdt<Gen2009>(tbl, "KOVA Channel Dictionary Table (CDT)\n");
}

void print_kova_channel_dictionary_table_2010(kova_chan_dictionary_table_2010* tbl) {
  print_cdt<Gen2010>(tbl, "KOVA Channel Dictionary Table (CDT)\n");
}

void print_kova_channel_dictionary_table_2024(kova_chan_dictionary_table_2024* tbl) {
  print_cdt<Gen2024>(tbl, "KOVA Channel Dictionary Table (CDT 2024)\n");
}

void print_kova_channel_dictionary_table(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_channel_dictionary_table_2010(
          static_cast<kova_chan_dictionary_table_2010*>(tbl));
    case Gen::k2009:
      return print_kova_channel_dictionary_table(static_cast<kova_chan_dictionary_table*>(tbl));
    default:
      return print_kova_channel_dictionary_table_2024(
          static_cast<kova_chan_dictionary_table_2024*>(tbl));
  }
}

void print_kova_event_chan_pointers_table(kova_event_chan_pointers_table* tbl) {
  print_ecpt<Gen2009>(tbl, "KOVA Event Channel Pointers Table (ECP)\n");
}

void print_kova_event_chan_pointers_table_2010(kova_event_chan_pointers_table* tbl) {
  print_ecpt<Gen2010>(tbl, "KOVA Event Channel Pointers Table (ECP)\n");
}

void print_kova_event_chan_pointers_table_2024(kova_event_chan_pointers_table_2024* tbl) {
  print_ecpt<Gen2024>(tbl, "KOVA Event Channel Pointers Table (ECP 2024)\n");
}

void print_kova_event_chan_pointers_table(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_event_chan_pointers_table_2010(
          static_cast<kova_event_chan_pointers_table*>(tbl));
    case Gen::k2009:
      return print_kova_event_chan_pointers_table(
          static_cast<kova_event_chan_pointers_table*>(tbl));
    default:
      return print_kova_event_chan_pointers_table_2024(
          static_cast<kova_event_chan_pointers_table_2024*>(tbl));
  }
}

void print_kova_env_index_dictionary_table(kova_env_dictionary_table* tbl,
                                           kova_chan_dictionary_table* cdt) {
  print_eidt<Gen2009>(tbl, cdt, "KOVA Environment Index Dictionary Table (EIDT)\n");
}

void print_kova_env_index_dictionary_table_2010(kova_env_dictionary_table* tbl,
                                                kova_chan_dictionary_table_2010* cdt) {
  print_eidt<Gen2010>(tbl, cdt, "KOVA Environment Index Dictionary Table (EIDT)\n");
}

void print_kova_env_index_dictionary_table_2024(kova_env_dictionary_table_2024* tbl,
                                                kova_chan_dictionary_table_2024* cdt) {
  print_eidt<Gen2024>(tbl, cdt, "KOVA Environment Index Dictionary Table (EIDT 2024)\n");
}

void print_kova_env_index_dictionary_table(void* tbl, void* cdt) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_env_index_dictionary_table_2010(
          static_cast<kova_env_dictionary_table*>(tbl),
          static_cast<kova_chan_dictionary_table_2010*>(cdt));
    case Gen::k2009:
      return print_kova_env_index_dictionary_table(static_cast<kova_env_dictionary_table*>(tbl),
                                                   static_cast<kova_chan_dictionary_table*>(cdt));
    default:
      return print_kova_env_index_dictionary_table_2024(
          static_cast<kova_env_dictionary_table_2024*>(tbl),
          static_cast<kova_chan_dictionary_table_2024*>(cdt));
  }
}
