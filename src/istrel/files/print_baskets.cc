// Printers of the header baskets: each event header or server block head
// through the record head dumps.
#include "print_internal.h"

namespace files_detail {

namespace {

template <typename G, typename Basket, typename Dump>
void print_basket(Basket* t, typename G::Word expected, const char* title, size_t entry,
                  const char* end, Dump dump) {
  if (t == nullptr) return;
  if (!open_frame(title, t->pattern, expected)) return;
  const int64_t n = entries_of(t->length, G::kHeader, entry);
  print_length_entries(t->length, n);
  for (int64_t i = 0; i < n; ++i) dump(i);
  printf("%s", end);
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

void print_kova_event_header_basket(kova_event_header_basket* tbl) {
  print_basket<Gen2009>(tbl, Gen2009::kEhb, "KOVA Event Header Basket (EHB)\n", Gen2009::kEventHead,
                        "==========END=OF=EHB========\n",
                        [&](int64_t i) { dump_event_header_(&tbl->event_header[i]); });
}

void print_kova_event_header_basket_2010(kova_event_header_basket* tbl) {
  print_basket<Gen2010>(tbl, Gen2010::kEhb, "KOVA Event Header Basket (EHB)\n", Gen2010::kEventHead,
                        "==========END=OF=EHB========\n",
                        [&](int64_t i) { dump_event_header_(&tbl->event_header[i]); });
}

void print_kova_event_header_basket_2024(kova_event_header_basket_2024* tbl) {
  print_basket<Gen2024>(tbl, Gen2024::kEhb, "KOVA Event Header Basket (EHB 2024)\n",
                        Gen2024::kEventHead, "==========END=OF=EHB========\n",
                        [&](int64_t i) { dump_event_header_2024_(&tbl->event_header[i]); });
}

void print_kova_event_header_basket(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_event_header_basket_2010(static_cast<kova_event_header_basket*>(tbl));
    case Gen::k2009:
      return print_kova_event_header_basket(static_cast<kova_event_header_basket*>(tbl));
    default:
      return print_kova_event_header_basket_2024(static_cast<kova_event_header_basket_2024*>(tbl));
  }
}

void print_kova_server_block_basket(kova_server_block_basket* tbl) {
  print_basket<Gen2009>(tbl, Gen2009::kSbhb, "KOVA Server Block Header Basket (SBHB)\n",
                        Gen2009::kServerHead, "==========END=OF=SBHB========\n",
                        [&](int64_t i) { dump_event_subheader(nullptr, &tbl->server_block[i]); });
}

void print_kova_server_block_basket_2010(kova_server_block_basket_2010* tbl) {
  print_basket<Gen2010>(tbl, Gen2010::kSbhb, "KOVA Server Block Header Basket (SBHB)\n",
                        Gen2010::kServerHead, "==========END=OF=SBHB========\n", [&](int64_t i) {
                          dump_event_subheader_2010(nullptr, &tbl->server_block[i]);
                        });
}

void print_kova_server_block_basket_2024(kova_server_block_basket_2024* tbl) {
  print_basket<Gen2024>(tbl, Gen2024::kSbhb, "KOVA Server Block Header Basket (SBHB 2024)\n",
                        Gen2024::kServerHead, "==========END=OF=SBHB========\n", [&](int64_t i) {
                          dump_event_subheader_2024(nullptr, &tbl->server_block[i]);
                        });
}

void print_kova_server_block_basket(void* tbl) {
  switch (flags_generation()) {
    case Gen::k2010:
      return print_kova_server_block_basket_2010(static_cast<kova_server_block_basket_2010*>(tbl));
    case Gen::k2009:
      return print_kova_server_block_basket(static_cast<kova_server_block_basket*>(tbl));
    default:
      return print_kova_server_block_basket_2024(static_cast<kova_server_block_basket_2024*>(tbl));
  }
}
