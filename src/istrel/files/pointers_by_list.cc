// The reduced event channel pointers table: only the rows of a list of
// channels, in list order, copied through a window on the file's pointers
// table. Row i of the file's table belongs to dictionary entry i; only the
// first `count` records of a row (the dictionary entry's count) are in use.
#include <cstdio>
#include <cstdlib>

#include "lookup_internal.h"
#include "table_reader.h"

namespace files_detail {

namespace {

struct Messages {
  const char* prefix;     // the function's name, "()" and ": "
  const char* not_found;  // format with the channel name
  const char* no_memory;  // after the prefix
};

constexpr Messages kMessages2009 = {
    "kova_get_event_chan_pointers_table_by_list_m(): ", "channel not found: %s \n",
    "Failed to malloc swapped EVENT_CHAN_POINTERS_TABLE\n"};
constexpr Messages kMessages2009Strings = {
    "kova_get_event_chan_pointers_table_by_list_m(): ", "channel not found: %s\n",
    "Failed to malloc swapped EVENT_CHAN_POINTERS_TABLE\n"};
constexpr Messages kMessages2010 = {
    "kova_get_event_chan_pointers_table_by_list_m_2010(): ", "channel not found: %s \n",
    "Failed to malloc swapped EVENT_CHAN_POINTERS_TABLE_2010\n"};
constexpr Messages kMessages2024 = {
    "kova_get_event_chan_pointers_table_by_list_m_2024(): ", "channel not found: %s \n",
    "Failed to malloc swapped EVENT_CHAN_POINTERS_TABLE_2024\n"};

template <typename G>
int by_list_in(Window& w, uint64_t total_length, const typename G::Frt* frt, int fd,
               const std::vector<const char*>& names, typename G::Cdt* cdt, typename G::Ecpt** tab,
               const Messages& msg) {
  using W = typename G::Word;
  using C = typename G::Count;
  if (tab != nullptr) *tab = nullptr;
  if (total_length == 0 || fd == 0 || fd < 0 || frt == nullptr || tab == nullptr || names.empty() ||
      cdt == nullptr)
    return -1;
  for (const char* n : names)
    if (n == nullptr) return -1;
  typename G::Frt f;
  if (int rc = take_frt<G>(frt, &f)) return rc;
  if (f.ecp_ref == 0) return -6;

  if (w.open(fd, file_limit(fd, total_length), as_offset(f.ecp_ref)) != 0) return -5;
  const unsigned char* t = w.at();
  if (w.avail() < G::kHeader) return -9;
  const W pattern = load<W>(t);
  bool swapped;
  if (pattern == G::kEcpt)
    swapped = false;
  else if (pattern == reverse(G::kEcpt))
    swapped = true;
  else
    return -9;
  const C length = load<C>(t + sizeof(W), swapped);
  if (length == 0) return -7;
  // The header must be there, the table within the file, and one row of
  // maxev records must fit (this also bounds the allocation below).
  if (length < static_cast<C>(G::kEcptHeader) || static_cast<uint64_t>(length) > w.avail())
    return -7;
  const C maxev = load<C>(t + 2 * sizeof(W), swapped);
  const uint64_t body = static_cast<uint64_t>(length) - G::kEcptHeader;
  if (maxev < 0 || static_cast<uint64_t>(maxev) > body / G::kEcptRecord) return -7;
  const uint64_t row = static_cast<uint64_t>(maxev) * G::kEcptRecord;
  const uint64_t rows_in_file = row == 0 ? 0 : body / row;

  if (names.size() > (SIZE_MAX - G::kEcptHeader) / (row == 0 ? 1 : row)) {
    printf("%s%s", msg.prefix, msg.no_memory);
    return -6;
  }
  const uint64_t size = G::kEcptHeader + names.size() * row;
  auto* out = static_cast<unsigned char*>(calloc(1, static_cast<size_t>(size)));
  if (out == nullptr) {
    printf("%s%s", msg.prefix, msg.no_memory);
    return -6;
  }
  store<W>(out, G::kEcpt);
  store<C>(out + sizeof(W), static_cast<C>(size));
  store<C>(out + 2 * sizeof(W), maxev);

  for (size_t i = 0; i < names.size(); ++i) {
    typename G::CdtEntry* e = nullptr;
    const int k = find_by_name<G>(cdt, names[i], &e);
    if (k < 0) {
      printf("%s", msg.prefix);
      printf(msg.not_found, names[i]);
      free(out);
      return -5;
    }
    // The dictionary and the pointers table must agree: the row exists and
    // holds at least `count` records.
    const int32_t count = e->count;
    if (count < 0 || count > maxev || static_cast<uint64_t>(k) >= rows_in_file) {
      free(out);
      return -7;
    }
    const unsigned char* src = t + G::kEcptHeader + static_cast<uint64_t>(k) * row;
    unsigned char* dst = out + G::kEcptHeader + i * row;
    const uint64_t bytes = static_cast<uint64_t>(count) * G::kEcptRecord;
    if (swapped)
      swap_table(src, dst, bytes, sizeof(W));
    else
      memcpy(dst, src, static_cast<size_t>(bytes));
  }
  *tab = reinterpret_cast<typename G::Ecpt*>(out);
  return 0;
}

// by_list_in, and KOVA_MAPPING_DAMAGED (nothing handed out) when the file
// shrank under the window, or under a whole-file mapping holding the FRT or
// the dictionary.
template <typename G>
int by_list(uint64_t total_length, const typename G::Frt* frt, int fd,
            const std::vector<const char*>& names, typename G::Cdt* cdt, typename G::Ecpt** tab,
            const Messages& msg) {
  Window w;
  const int rc = by_list_in<G>(w, total_length, frt, fd, names, cdt, tab, msg);
  if (!w.damaged() && !damaged(frt) && !damaged(cdt)) return rc;
  if (rc == 0) free(*tab);
  if (tab != nullptr) *tab = nullptr;
  return KOVA_MAPPING_DAMAGED;
}

std::vector<const char*> name_list(const std::vector<char*>* chans) {
  std::vector<const char*> names;
  if (chans != nullptr) names.assign(chans->begin(), chans->end());
  return names;
}

std::vector<const char*> name_list(const std::vector<std::string>& chans) {
  std::vector<const char*> names;
  for (const auto& s : chans) names.push_back(s.c_str());
  return names;
}

}  // namespace

}  // namespace files_detail

using namespace files_detail;

int kova_get_event_chan_pointers_table_by_list_m(unsigned long total_length,
                                                 kova_file_reference_table* tbl, int fd,
                                                 std::vector<char*>* chans,
                                                 kova_chan_dictionary_table* cdt_tab,
                                                 kova_event_chan_pointers_table** tab) {
  return by_list<Gen2009>(total_length, tbl, fd, name_list(chans), cdt_tab, tab, kMessages2009);
}

int kova_get_event_chan_pointers_table_by_list_m(unsigned long total_length,
                                                 kova_file_reference_table* tbl, int fd,
                                                 const std::vector<std::string>& chans,
                                                 kova_chan_dictionary_table* cdt_tab,
                                                 kova_event_chan_pointers_table** tab) {
  return by_list<Gen2009>(total_length, tbl, fd, name_list(chans), cdt_tab, tab,
                          kMessages2009Strings);
}

int kova_get_event_chan_pointers_table_by_list_m_2010(unsigned long total_length,
                                                      kova_file_reference_table_2010* tbl, int fd,
                                                      std::vector<char*>* chans,
                                                      kova_chan_dictionary_table_2010* cdt_tab,
                                                      kova_event_chan_pointers_table** tab) {
  return by_list<Gen2010>(total_length, tbl, fd, name_list(chans), cdt_tab, tab, kMessages2010);
}

int kova_get_event_chan_pointers_table_by_list_m_2010(unsigned long total_length,
                                                      kova_file_reference_table_2010* tbl, int fd,
                                                      const std::vector<std::string>& chans,
                                                      kova_chan_dictionary_table_2010* cdt_tab,
                                                      kova_event_chan_pointers_table** tab) {
  return by_list<Gen2010>(total_length, tbl, fd, name_list(chans), cdt_tab, tab, kMessages2010);
}

int kova_get_event_chan_pointers_table_by_list_m_2024(uint64_t total_length,
                                                      kova_file_reference_table_2024* tbl, int fd,
                                                      std::vector<char*>* chans,
                                                      kova_chan_dictionary_table_2024* cdt_tab,
                                                      kova_event_chan_pointers_table_2024** tab) {
  return by_list<Gen2024>(total_length, tbl, fd, name_list(chans), cdt_tab, tab, kMessages2024);
}
