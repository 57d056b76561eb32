// Shared pieces of the DAQ file readers: loads of file words at any
// alignment and in either byte order, the traits of each generation, the
// registry of whole-file mappings, and the page window of the windowed
// readers.
#ifndef HESK_FILES_INTERNAL_H
#define HESK_FILES_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "event_util.h"

namespace files_detail {

// ---------------------------------------------------------------------------
// Words of the file. Mapped tables need not be aligned, so every load and
// store goes through memcpy.

inline uint32_t reverse(uint32_t v) {
  return __builtin_bswap32(v);
}
inline uint64_t reverse(uint64_t v) {
  return __builtin_bswap64(v);
}
inline int32_t reverse(int32_t v) {
  return static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(v)));
}
inline int64_t reverse(int64_t v) {
  return static_cast<int64_t>(__builtin_bswap64(static_cast<uint64_t>(v)));
}

template <typename W>
W load(const void* p) {
  W v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// A word stored in the table's byte order, read in host order.
template <typename W>
W load(const void* p, bool swapped) {
  W v = load<W>(p);
  return swapped ? reverse(v) : v;
}

template <typename W>
void store(void* p, W v) {
  memcpy(p, &v, sizeof(v));
}

// Reverses n words of 4 (8) bytes from `in` into `out` (in == out allowed).
void swap_words4(const unsigned char* in, unsigned char* out, uint64_t n);
void swap_words8(const unsigned char* in, unsigned char* out, uint64_t n);
// Reverses the whole `size` bytes as words of W bytes; a remainder shorter
// than a word is copied.
void swap_table(const unsigned char* in, unsigned char* out, uint64_t size, size_t word);

// ---------------------------------------------------------------------------
// Generations

enum class Gen { k2009, k2010, k2024 };

// The generation the process-wide flags select: 2010 first, else 2009 unless
// the 2024 flag is set.
Gen flags_generation();

// 2024 patterns are the 2009 word with F4 in place of F2, in both halves.
constexpr uint32_t as_2010(uint32_t p2009) {
  return (p2009 & ~0xFFu) | 0xF3u;
}
constexpr uint64_t as_2024(uint32_t p2009) {
  return (static_cast<uint64_t>((p2009 & ~0xFFu) | 0xF4u) << 32) | ((p2009 & ~0xFFu) | 0xF4u);
}

struct Gen2009 {
  static constexpr Gen kGen = Gen::k2009;
  using Word = uint32_t;    // pattern, header words and the unit of conversion
  using Count = int32_t;    // EIT count, table lengths, maxev
  using Offset = uint32_t;  // offsets inside tables
  using Frt = kova_file_reference_table;
  using Eit = kova_event_index_table;
  using EitEntry = kova_event_index_entry;
  using Cdt = kova_chan_dictionary_table;
  using CdtEntry = kova_chan_dictionary_entry;
  using Ecpt = kova_event_chan_pointers_table;
  using EcptEntry = kova_event_chan_ptr_entry;
  using Eidt = kova_env_dictionary_table;
  using Xcd = kova_xml_chan_descr_header;
  using Ehb = kova_event_header_basket;
  using Sbhb = kova_server_block_basket;
  static constexpr Word kEndMarker = KOVA_DAQ_FILE_END_MARKER;
  static constexpr Word kFrt = KOVA_FILE_REFERENCE_TABLE_PATTERN;
  static constexpr Word kEit = KOVA_EVENT_INDEX_TABLE_PATTERN;
  static constexpr Word kCdt = KOVA_CHAN_DICTIONARY_TABLE_PATTERN;
  static constexpr Word kEcpt = KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN;
  static constexpr Word kEidt = KOVA_ENV_DICTIONARY_TABLE_PATTERN;
  static constexpr Word kXcd = KOVA_XML_CHAN_DESCR_TABLE_PATTERN;
  static constexpr Word kEhb = KOVA_EVENT_HEADER_BASKET_PATTERN;
  static constexpr Word kSbhb = KOVA_SERVER_BLOCK_BASKET_PATTERN;
  static constexpr uint64_t kFrtLength = 168;
  static constexpr size_t kHeader = 8;        // pattern + length (or count)
  static constexpr size_t kEcptHeader = 12;   // + maxev
  static constexpr size_t kEitHead = 32;      // entry head
  static constexpr size_t kEitLengthAt = 28;  // `length` within the entry head
  static constexpr size_t kEitRecord = 16;
  static constexpr size_t kCdtEntry = 96;
  static constexpr size_t kCdtName = 80;
  static constexpr size_t kEcptRecord = 16;
  static constexpr size_t kEventHead = 36;
  static constexpr size_t kServerHead = 76;
  static constexpr const char* kSuffix = "";
};

struct Gen2010 : Gen2009 {
  static constexpr Gen kGen = Gen::k2010;
  using Frt = kova_file_reference_table_2010;
  using Cdt = kova_chan_dictionary_table_2010;
  using CdtEntry = kova_chan_dictionary_entry_2010;
  using Sbhb = kova_server_block_basket_2010;
  static constexpr Word kEndMarker = KOVA_DAQ_FILE_END_MARKER_2010;
  static constexpr Word kFrt = KOVA_FILE_REFERENCE_TABLE_PATTERN_2010;
  static constexpr Word kEit = KOVA_EVENT_INDEX_TABLE_PATTERN_2010;
  static constexpr Word kCdt = KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010;
  static constexpr Word kEcpt = KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2010;
  static constexpr Word kEidt = KOVA_ENV_DICTIONARY_TABLE_PATTERN_2010;
  static constexpr Word kXcd = KOVA_XML_CHAN_DESCR_TABLE_PATTERN_2010;
  static constexpr Word kEhb = KOVA_EVENT_HEADER_BASKET_PATTERN_2010;
  static constexpr Word kSbhb = KOVA_SERVER_BLOCK_BASKET_PATTERN_2010;
  static constexpr size_t kCdtEntry = 272;
  static constexpr size_t kCdtName = 256;
  static constexpr size_t kServerHead = 284;
  static constexpr const char* kSuffix = "_2010";
};

struct Gen2024 {
  static constexpr Gen kGen = Gen::k2024;
  using Word = uint64_t;
  using Count = int64_t;
  using Offset = uint64_t;
  using Frt = kova_file_reference_table_2024;
  using Eit = kova_event_index_table_2024;
  using EitEntry = kova_event_index_entry_2024;
  using Cdt = kova_chan_dictionary_table_2024;
  using CdtEntry = kova_chan_dictionary_entry_2024;
  using Ecpt = kova_event_chan_pointers_table_2024;
  using EcptEntry = kova_event_chan_ptr_entry_2024;
  using Eidt = kova_env_dictionary_table_2024;
  using Xcd = kova_xml_chan_descr_header_2024;
  using Ehb = kova_event_header_basket_2024;
  using Sbhb = kova_server_block_basket_2024;
  static constexpr Word kEndMarker = KOVA_DAQ_FILE_END_MARKER_2024;
  static constexpr Word kFrt = KOVA_FILE_REFERENCE_TABLE_PATTERN_2024;
  static constexpr Word kEit = KOVA_EVENT_INDEX_TABLE_PATTERN_2024;
  static constexpr Word kCdt = KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2024;
  static constexpr Word kEcpt = KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2024;
  static constexpr Word kEidt = KOVA_ENV_DICTIONARY_TABLE_PATTERN_2024;
  static constexpr Word kXcd = KOVA_XML_CHAN_DESCR_TABLE_PATTERN_2024;
  static constexpr Word kEhb = KOVA_EVENT_HEADER_BASKET_PATTERN_2024;
  static constexpr Word kSbhb = KOVA_SERVER_BLOCK_BASKET_PATTERN_2024;
  static constexpr uint64_t kFrtLength = 336;
  static constexpr size_t kHeader = 16;
  static constexpr size_t kEcptHeader = 24;
  static constexpr size_t kEitHead = 48;
  static constexpr size_t kEitLengthAt = 40;
  static constexpr size_t kEitRecord = 24;
  static constexpr size_t kCdtEntry = 272;
  static constexpr size_t kCdtName = 256;
  static constexpr size_t kEcptRecord = 32;
  static constexpr size_t kEventHead = 48;
  static constexpr size_t kServerHead = 304;
  static constexpr const char* kSuffix = "_2024";
};

static_assert(as_2010(KOVA_EVENT_INDEX_TABLE_PATTERN) == KOVA_EVENT_INDEX_TABLE_PATTERN_2010,
              "2010 patterns end in F3");
static_assert(as_2024(KOVA_SERVER_BLOCK_BASKET_PATTERN) == KOVA_SERVER_BLOCK_BASKET_PATTERN_2024,
              "2024 patterns repeat the F4 word");

// The FRT a caller handed in, copied to an aligned local (it may point into a
// mapping at any offset). 0, -3 (pattern) or -4 (length).
template <typename G>
int take_frt(const typename G::Frt* in, typename G::Frt* f) {
  memcpy(f, in, sizeof(*f));
  if (f->pattern != G::kFrt) return -3;
  if (static_cast<uint64_t>(f->length) != G::kFrtLength) return -4;
  return 0;
}

// ---------------------------------------------------------------------------
// Extents of whole-file mappings. kova_map_file and the whole-file FRT
// readers remember (base, length); kova_unmap_file forgets. The whole-file
// table readers ask how many bytes can be read from a base they are given.

constexpr uint64_t kUnknownExtent = UINT64_MAX;

void remember_mapping(const void* base, uint64_t length);
void forget_mapping(const void* base);
// Bytes readable from `p` onwards when p lies in a remembered mapping,
// kUnknownExtent otherwise.
uint64_t readable_from(const void* p);

// ---------------------------------------------------------------------------
// The guard against files that shrink under a mapping (mapping_guard.cc).
// A guarded mapping whose file lost pages reads zeros there and is marked
// damaged; readers check after they touched a mapping.

// Enters [base, base + length) while the mapping lives; installs the SIGBUS
// handler at the first call. false (errno EMFILE) when the table is full.
bool guard_mapping(const void* base, uint64_t length);
// Removes the mapping at `base`; call before unmapping it.
void unguard_mapping(const void* base);
// 1 when p lies in a guarded mapping that is damaged, 0 when in a whole
// one, -1 when in none.
int damage_of(const void* p);
inline bool damaged(const void* p) {
  return damage_of(p) == 1;
}

// ---------------------------------------------------------------------------
// Windowed access

// The length a windowed reader works with: the caller's total length, cut to
// the file's size when the descriptor is a regular file (pages past the end
// of a file cannot be read through a mapping).
uint64_t file_limit(int fd, uint64_t total_length);

// A read-only shared mapping of a file from the page at or below `offset` to
// `limit`; unmapped when the window goes out of scope.
class Window {
 public:
  Window() = default;
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // 0; -1 when offset is not inside the file (nothing mapped); -2 when the
  // mapping failed (perror("mmap") printed).
  int open(int fd, uint64_t limit, uint64_t offset);
  const unsigned char* at() const { return at_; }  // the byte at `offset`
  uint64_t avail() const { return avail_; }        // bytes from `offset` to `limit`
  // Whether the file shrank under the window while it was read.
  bool damaged() const { return map_ != nullptr && files_detail::damaged(map_); }

 private:
  void* map_ = nullptr;
  size_t len_ = 0;
  const unsigned char* at_ = nullptr;
  uint64_t avail_ = 0;
};

}  // namespace files_detail

#endif  // HESK_FILES_INTERNAL_H
