// Printers of the file reference table and of one event index entry.
#include "print_internal.h"

namespace files_detail {

namespace {

template <typename G>
void print_frt(const typename G::Frt* t, const char* title) {
  if (t == nullptr) return;
  if (!open_frame(title, t->pattern, G::kFrt)) return;
  using C = typename G::Count;
  print_labelled("Length:", static_cast<C>(t->length));
  print_labelled("Event Index Table (EIT) ref:", static_cast<C>(t->eit_pos_ref));
  for (int type = 0; type < KOVA_EV_EVMAX; ++type) {
    if (G::kGen == Gen::k2024)
      printf("Event Index Table for Event  (EITE) type %s \t%li\n", event_name_itoa(type),
             static_cast<long>(t->eite_pos_ref[type]));
    else
      printf("Event Index Table for Event  (EITE) type %s \t%i\n", event_name_itoa(type),
             static_cast<int>(t->eite_pos_ref[type]));
  }
  print_labelled("Channel Dictionary Table (CDT) ref:", static_cast<C>(t->cdt_ref));
  print_labelled("Event Cahnnel Pointers Table (ECPT) ref:", static_cast<C>(t->ecp_ref));
  print_labelled("Environment Index Dictionary Table (EIDT) ref:", static_cast<C>(t->eidt_ref));
  print_labelled("XML Channel Description (XCD) ref:", static_cast<C>(t->xcd_ref));
  print_labelled("Event Header Basket (EHB) ref:", static_cast<C>(t->evhdb_ref));
  print_labelled("Server BlockHeader Basket (SBHB) ref:", static_cast<C>(t->srvbb_ref));
  print_labelled("First Channel Basket (CHB) ref:", static_cast<C>(t->chanb_ref));
  printf("%s", kRule);
}

template <typename G>
void print_eit_entry(const typename G::EitEntry* e, const char* title) {
  if (e == nullptr) {
    printf("KOVA Event Index Table (EIT) - Invalid table address\n");
    return;
  }
  printf("%s%s", kRule, title);
  const int64_t n = entries_of(e->length, G::kEitHead, G::kEitRecord);
  printf("Event Type: \t%s\n", event_name_itoa(static_cast<int>(e->event_type)));
  printf("Entries: \t%d\n", static_cast<int>(n));
  printf("Time: \t First: %d:%d \tLast: %d:%d\n", static_cast<int>(e->event_time_first.timeup),
         static_cast<int>(e->event_time_first.timelow), static_cast<int>(e->event_time_last.timeup),
         static_cast<int>(e->event_time_last.timelow));
  if (G::kGen == Gen::k2024) {
    printf("Event number:\t First: %li\tLast: %li\n", static_cast<long>(e->event_number_first),
           static_cast<long>(e->event_number_last));
    for (int64_t i = 0; i < n; ++i) {
      const auto& r = e->event_info[i];
      printf("[%d]\tEvent#: %li\tTime: %d:%d\tOffset:%li\n", static_cast<int>(i),
             static_cast<long>(r.event_number), static_cast<int>(r.time.timeup),
             static_cast<int>(r.time.timelow), static_cast<long>(r.offset));
    }
  } else {
    printf("Event number:\t First: %i\tLast: %i\n", static_cast<int>(e->event_number_first),
           static_cast<int>(e->event_number_last));
    for (int64_t i = 0; i < n; ++i) {
      const auto& r = e->event_info[i];
      printf("[%d]\tEvent#: %i\tTime: %d:%d\tOffset:%i\n", static_cast<int>(i),
             static_cast<int>(r.event_number), static_cast<int>(r.time.timeup),
             static_cast<int>(r.time.timelow), static_cast<int>(r.offset));
    }
  }
  printf("%s", kRule);
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

void print_kova_file_reference_table(kova_file_reference_table* tbl) {
  print_frt<Gen2009>(tbl, "KOVA File Reference Table (FRT)\n");
}

void print_kova_file_reference_table_2010(kova_file_reference_table_2010* tbl) {
  print_frt<Gen2010>(tbl, "KOVA File Reference Table (FRT)\n");
}

void print_kova_file_reference_table_2024(kova_file_reference_table_2024* tbl) {
  print_frt<Gen2024>(tbl, "KOVA File Reference Table (FRT 2024)\n");
}

void print_kova_file_reference_table(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_file_reference_table_2010(
          static_cast<kova_file_reference_table_2010*>(tbl));
    case Gen::k2009:
      return print_kova_file_reference_table(static_cast<kova_file_reference_table*>(tbl));
    default:
      return print_kova_file_reference_table_2024(
          static_cast<kova_file_reference_table_2024*>(tbl));
  }
}

void print_kova_event_index_table(kova_event_index_entry* tbl) {
  print_eit_entry<Gen2009>(tbl, "KOVA Event Index Table (EIT)\n");
}

void print_kova_event_index_table_2010(kova_event_index_entry* tbl) {
  print_eit_entry<Gen2010>(tbl, "KOVA Event Index Table (EIT)\n");
}

void print_kova_event_index_table_2024(kova_event_index_entry_2024* tbl) {
  print_eit_entry<Gen2024>(tbl, "KOVA Event Index Table (EIT 2024)\n");
}

void print_kova_event_index_table(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_event_index_table_2010(static_cast<kova_event_index_entry*>(tbl));
    case Gen::k2009:
      return print_kova_event_index_table(static_cast<kova_event_index_entry*>(tbl));
    default:
      return print_kova_event_index_table_2024(static_cast<kova_event_index_entry_2024*>(tbl));
  }
}
