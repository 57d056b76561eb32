// Mapped DAQ raw files: the file reference table, the tables it leads to, channel lookup and table
// printing. Part of the event-format library; include "event_util.h" to get it.
//
// A DAQ raw file holds the events of one run segment, then its lookup tables
// (event index, channel dictionary, event-channel pointers, environment
// dictionary, XML channel description, header baskets), then the file
// reference table (FRT) that points to every table, then a fixed trailer:
//   2009/2010: FRT offset (4 bytes, always big-endian), end marker (4 bytes,
//              writer's byte order);
//   2024:      FRT offset (8 bytes, always big-endian), end marker (8 bytes).
// A table starts with a pattern word in the writer's byte order; read as a
// host-order integer it is either the pattern (table in host order) or its
// byte-reversed twin (table written in the opposite order).
//
// Two ways in, in every generation:
//  - whole-file: map the file with kova_map_file and pass the mapping base.
//    Results point into the mapping when no conversion is needed (out flag 0,
//    do not free) and are heap copies in host order otherwise (out flag 1,
//    free()). Basket readers always point into the mapping.
//  - windowed ("_m"): pass an open descriptor and the file length; each call
//    maps only the pages from the table to the end of the file, copies the
//    table out, unmaps, and returns a heap copy in host order (free()).
// Results are 0 for success and a negative code otherwise (see each family);
// a failed reader leaves nothing for the caller to free. Messages go to
// standard output and begin with the function's name where they name one.
//
// Every offset, count and length read from a file is checked against the
// file (windowed readers: the smaller of the given length and the file's size)
// or, for whole-file readers, against the mapping made by kova_map_file or
// described to a whole-file FRT reader. For a base never described that way
// the whole-file readers cannot know the mapping's end and trust the file.
//
// A file that shrinks (is truncated or rewritten) while it is mapped cannot
// kill the reader: see "Files that change under a reader" below.
//
// Threads: re-entrant. The `void*` dispatchers read the process-wide
// generation flags (set_data_format_2010 / _2024), which are set at start-up.
#ifndef HESK_EVENT_FILES_H
#define HESK_EVENT_FILES_H

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "event.h"

// ---------------------------------------------------------------------------
// Trailer end markers and table patterns, as they read in host order

constexpr uint32_t KOVA_DAQ_FILE_END_MARKER = 0xDFEDFEF2u;
constexpr uint32_t KOVA_DAQ_FILE_END_MARKER_2010 = 0xDFEDFEF3u;
constexpr uint64_t KOVA_DAQ_FILE_END_MARKER_2024 = 0xDFEDFEF4DFEDFEF4ull;

constexpr uint32_t KOVA_FILE_REFERENCE_TABLE_PATTERN = 0xFEAFEAF2u;
constexpr uint32_t KOVA_FILE_REFERENCE_TABLE_PATTERN_2010 = 0xFEAFEAF3u;
constexpr uint64_t KOVA_FILE_REFERENCE_TABLE_PATTERN_2024 = 0xFEAFEAF4FEAFEAF4ull;

constexpr uint32_t KOVA_EVENT_INDEX_TABLE_PATTERN = 0xEDAEDAF2u;
constexpr uint32_t KOVA_EVENT_INDEX_TABLE_PATTERN_2010 = 0xEDAEDAF3u;
constexpr uint64_t KOVA_EVENT_INDEX_TABLE_PATTERN_2024 = 0xEDAEDAF4EDAEDAF4ull;
constexpr uint32_t KOVA_CHAN_DICTIONARY_TABLE_PATTERN = 0xDCADCAF2u;
constexpr uint32_t KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2010 = 0xDCADCAF3u;
constexpr uint64_t KOVA_CHAN_DICTIONARY_TABLE_PATTERN_2024 = 0xDCADCAF4DCADCAF4ull;
constexpr uint32_t KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN = 0xECAECAF2u;
constexpr uint32_t KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2010 = 0xECAECAF3u;
constexpr uint64_t KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN_2024 = 0xECAECAF4ECAECAF4ull;
constexpr uint32_t KOVA_ENV_DICTIONARY_TABLE_PATTERN = 0xEEAEEAF2u;
constexpr uint32_t KOVA_ENV_DICTIONARY_TABLE_PATTERN_2010 = 0xEEAEEAF3u;
constexpr uint64_t KOVA_ENV_DICTIONARY_TABLE_PATTERN_2024 = 0xEEAEEAF4EEAEEAF4ull;
constexpr uint32_t KOVA_XML_CHAN_DESCR_TABLE_PATTERN = 0xCDECDEF2u;
constexpr uint32_t KOVA_XML_CHAN_DESCR_TABLE_PATTERN_2010 = 0xCDECDEF3u;
constexpr uint64_t KOVA_XML_CHAN_DESCR_TABLE_PATTERN_2024 = 0xCDECDEF4CDECDEF4ull;
constexpr uint32_t KOVA_EVENT_HEADER_BASKET_PATTERN = 0xEBAEBAF2u;
constexpr uint32_t KOVA_EVENT_HEADER_BASKET_PATTERN_2010 = 0xEBAEBAF3u;
constexpr uint64_t KOVA_EVENT_HEADER_BASKET_PATTERN_2024 = 0xEBAEBAF4EBAEBAF4ull;
constexpr uint32_t KOVA_SERVER_BLOCK_BASKET_PATTERN = 0xBBABBAF2u;
constexpr uint32_t KOVA_SERVER_BLOCK_BASKET_PATTERN_2010 = 0xBBABBAF3u;
constexpr uint64_t KOVA_SERVER_BLOCK_BASKET_PATTERN_2024 = 0xBBABBAF4BBABBAF4ull;

// Lengths a valid FRT carries.
constexpr int KOVA_FILE_REFERENCE_TABLE_LENGTH = 168;
constexpr int KOVA_FILE_REFERENCE_TABLE_LENGTH_2024 = 336;

// ---------------------------------------------------------------------------
// File reference table. A reference is the file offset of a table; 0 means
// the table is absent. chanb_ref (first channel basket) is read by nothing here.

struct kova_file_reference_table {  // 2009, 168 bytes
  uint32_t pattern;
  int32_t length;  // 168
  uint32_t eit_pos_ref;
  uint32_t eite_pos_ref[KOVA_EV_EVMAX];  // per event type: its entry in the EIT
  uint32_t cdt_ref;
  uint32_t ecp_ref;
  uint32_t eidt_ref;
  uint32_t xcd_ref;
  uint32_t evhdb_ref;
  uint32_t srvbb_ref;
  uint32_t chanb_ref;
};

struct kova_file_reference_table_2010 {  // 168 bytes
  uint32_t pattern;
  int32_t length;  // 168
  uint32_t eit_pos_ref;
  uint32_t eite_pos_ref[KOVA_EV_EVMAX];
  uint32_t cdt_ref;
  uint32_t ecp_ref;
  uint32_t eidt_ref;
  uint32_t xcd_ref;
  uint32_t evhdb_ref;
  uint32_t srvbb_ref;
  uint32_t chanb_ref;
};

struct kova_file_reference_table_2024 {  // 336 bytes
  uint64_t pattern;
  uint64_t length;  // 336
  int64_t eit_pos_ref;
  int64_t eite_pos_ref[KOVA_EV_EVMAX];
  int64_t cdt_ref;
  int64_t ecp_ref;
  int64_t eidt_ref;
  int64_t xcd_ref;
  int64_t evhdb_ref;
  int64_t srvbb_ref;
  int64_t chanb_ref;
};

// ---------------------------------------------------------------------------
// Event index table (EIT): per event type one entry, a head followed by one
// record per event of that type. An entry is `length` bytes, head included.
// The head's fields are reachable both as entry->head.x and as entry->x.

struct kova_event_info_entry {  // 16 bytes
  time_stamp time;
  uint32_t event_number;
  uint32_t offset;  // file offset of the event
};

struct kova_event_index_entry_head {  // 32 bytes
  int32_t event_type;
  time_stamp event_time_first;
  time_stamp event_time_last;
  uint32_t event_number_first;
  uint32_t event_number_last;
  int32_t length;
};

struct kova_event_index_entry {
  union {
    kova_event_index_entry_head head;
    struct {
      int32_t event_type;
      time_stamp event_time_first;
      time_stamp event_time_last;
      uint32_t event_number_first;
      uint32_t event_number_last;
      int32_t length;
    };
  };
  kova_event_info_entry event_info[];  // (length - 32) / 16 records
};

// 2009 and 2010. Entries differ in length: only the first is reachable by
// index; the next starts `length` bytes after the previous one.
struct kova_event_index_table {
  uint32_t pattern;
  int32_t nevent_types;
  kova_event_index_entry event_index_entry[];
};

struct kova_event_info_entry_2024 {  // 24 bytes
  time_stamp time;
  uint64_t event_number;
  int64_t offset;
};

struct kova_event_index_entry_head_2024 {  // 48 bytes
  int64_t event_type;
  time_stamp event_time_first;
  time_stamp event_time_last;
  uint64_t event_number_first;
  uint64_t event_number_last;
  int64_t length;
};

struct kova_event_index_entry_2024 {
  union {
    kova_event_index_entry_head_2024 head;
    struct {
      int64_t event_type;
      time_stamp event_time_first;
      time_stamp event_time_last;
      uint64_t event_number_first;
      uint64_t event_number_last;
      int64_t length;
    };
  };
  kova_event_info_entry_2024 event_info[];  // (length - 48) / 24 records
};

struct kova_event_index_table_2024 {
  uint64_t pattern;
  uint64_t nevent_types;
  kova_event_index_entry_2024 event_index_entry[];
};

// ---------------------------------------------------------------------------
// Channel dictionary table (CDT): entries = (length - header) / entry size.
// Row i of the event channel pointers table belongs to entry i.

struct kova_chan_dictionary_entry {  // 2009, 96 bytes
  uint32_t key;
  char chan_name[80];
  uint32_t ev_mask;     // bit n: the channel occurs in events of type n
  uint32_t dtype_mask;  // data type mask
  int32_t count;        // records in use at the start of the channel's pointer row
};

struct kova_chan_dictionary_table {
  uint32_t pattern;
  int32_t length;  // total bytes, header (8) included
  kova_chan_dictionary_entry chan_dictionary_entry[];
};

struct kova_chan_dictionary_entry_2010 {  // 272 bytes
  uint32_t key;
  char chan_name[256];
  uint32_t ev_mask;
  uint32_t dtype_mask;
  int32_t count;
};

struct kova_chan_dictionary_table_2010 {
  uint32_t pattern;
  int32_t length;
  kova_chan_dictionary_entry_2010 chan_dictionary_entry[];
};

struct kova_chan_dictionary_entry_2024 {  // 272 bytes, as 2010
  uint32_t key;
  char chan_name[256];
  uint32_t ev_mask;
  uint32_t dtype_mask;
  int32_t count;
};

struct kova_chan_dictionary_table_2024 {
  uint64_t pattern;
  int64_t length;  // header (16) included
  kova_chan_dictionary_entry_2024 chan_dictionary_entry[];
};

// ---------------------------------------------------------------------------
// Event channel pointers table (ECPT): one row of `maxev` records per
// channel; rows = (length - header) / (maxev * record size). chhd 0 marks a
// record that holds nothing.

struct kova_event_chan_ptr_entry {  // 16 bytes of file offsets
  uint32_t evhd;
  uint32_t sbhd;
  uint32_t chhd;
  uint32_t data;
};

struct kova_event_chan_pointers_table {  // 2009 and 2010
  uint32_t pattern;
  int32_t length;  // header (12) included
  int32_t maxev;
  kova_event_chan_ptr_entry event_chan_ptr_entry[];
};

struct kova_event_chan_ptr_entry_2024 {  // 32 bytes
  uint64_t evhd;
  uint64_t sbhd;
  uint64_t chhd;
  uint64_t data;
};

struct kova_event_chan_pointers_table_2024 {
  uint64_t pattern;
  int64_t length;  // header (24) included
  int64_t maxev;
  kova_event_chan_ptr_entry_2024 event_chan_ptr_entry[];
};

// ---------------------------------------------------------------------------
// Environment index dictionary table (EIDT): records = (length - header) / 8.

struct kova_env_dictionary_entry {  // 8 bytes
  uint32_t key;                     // a channel dictionary key
  int32_t index;
};

struct kova_env_dictionary_table {  // 2009 and 2010
  uint32_t pattern;
  int32_t length;  // header (8) included
  kova_env_dictionary_entry env_dictionary_entry[];
};

struct kova_env_dictionary_table_2024 {
  uint64_t pattern;
  int64_t length;  // header (16) included
  kova_env_dictionary_entry env_dictionary_entry[];
};

// ---------------------------------------------------------------------------
// XML channel description (XCD): the header, then length - header bytes of
// XML text (not NUL-terminated by the format).

struct kova_xml_chan_descr_header {  // 2009 and 2010
  uint32_t pattern;
  int32_t length;
  char xml[];
};

struct kova_xml_chan_descr_header_2024 {
  uint64_t pattern;
  int64_t length;
  char xml[];
};

// ---------------------------------------------------------------------------
// Header baskets: copies of every event header / server block head.

struct kova_event_header_basket {  // 2009 and 2010: 36-byte headers
  uint32_t pattern;
  int32_t length;
  kova_eventheader event_header[];
};

struct kova_event_header_basket_2024 {  // 48-byte headers
  uint64_t pattern;
  int64_t length;
  kova_eventheader_2024 event_header[];
};

struct kova_server_block_basket {  // 2009: 76-byte heads
  uint32_t pattern;
  int32_t length;
  kova_serv_block_head server_block[];
};

struct kova_server_block_basket_2010 {  // 284-byte heads
  uint32_t pattern;
  int32_t length;
  kova_serv_block_head_2010 server_block[];
};

struct kova_server_block_basket_2024 {  // 304-byte heads
  uint64_t pattern;
  int64_t length;
  kova_serv_block_head_2024 server_block[];
};

// ---------------------------------------------------------------------------
// Files that change under a reader
//
// Touching a page of a shared file mapping that lies past the file's end
// raises SIGBUS, which ends a process. The library guards the mappings it
// makes (kova_map_file and the page windows of the "_m" readers) instead:
//  - At the first mapping it installs one process-wide SIGBUS handler. A
//    fault inside a guarded mapping gets a page of zeros mapped over the lost
//    page, and the mapping is marked damaged; the interrupted read goes on and
//    reads zeros. Nothing is unwound (no longjmp): C++ code in the caller's
//    frames runs on as written. A SIGBUS anywhere else goes to the handler
//    that was installed before, or takes the default action, as without the
//    library. A program that installs its own SIGBUS handler later should
//    call the one it replaces (sa_sigaction with SA_SIGINFO), as is usual.
//  - Every reader of this header (FRT, table, by-type, basket, by-list
//    readers and the channel lookups) checks, after it touched a mapping,
//    whether that mapping is damaged, and then returns KOVA_MAPPING_DAMAGED
//    and hands out nothing (what it read is not the file's). Once damaged, a
//    mapping stays damaged: release it with kova_unmap_file and map the file
//    again if it is to be read on.
//  - Pointers into a mapping that a reader handed out earlier stay readable
//    (zeros where the file was lost). A caller that reads through them, or
//    hands them on (numpy views of samples, say), asks kova_mapping_damaged
//    after reading to know whether what it read is the file's.
// A file rewritten in place without shrinking is not noticed.

// Result of every reader below whose mapping lost pages to a shrinking file.
constexpr int KOVA_MAPPING_DAMAGED = -8;

// Whether `addr` lies in a mapping made by kova_map_file whose file shrank
// under it: 1 damaged (some page past the file's new end was read and now
// holds zeros), 0 whole, -1 not inside a live mapping of kova_map_file.
// Async-signal-safe and lock-free; costs a scan of the live mappings.
int kova_mapping_damaged(const void* addr);

// ---------------------------------------------------------------------------
// Mapping, page windows and the file reference table
//
// Codes of kova_map_file: -1 bad arguments, -2 cannot open, -3 mapping failed
// (perror("mmap"), descriptor closed). FRT readers: -1 bad arguments, -2 no
// end marker of the generation, -3 FRT pattern missing (message) or window
// mapping failed (perror("mmap")), -6 no memory (message), -8 the file shrank
// under the mapping (KOVA_MAPPING_DAMAGED).

// Opens `file` read-only (close-on-exec) and maps it read-only and shared
// from offset 0 with `start` as the address hint: *len bytes when *len is
// non-zero on entry (at most the file's size), else the whole file. Stores
// descriptor, address and mapped length; the descriptor stays open. The
// mapping is guarded (above) until kova_unmap_file; -3 also when 4096
// mappings are alive already.
int kova_map_file(char* file, u_char** ptr, int* fd, unsigned long* len, char* start);
// Unmaps `len` bytes at `ptr`, closes `fd`; the munmap result, -1 for a null ptr.
int kova_unmap_file(u_char* ptr, int fd, unsigned long len);
// Page-aligned file offset at which a window holding `offset` starts (one
// page earlier when fewer than 5 bytes would remain up to `length`, never
// below 0); *ptr (when given) = offset - start. -1 when length is 0, offset
// is negative or beyond length.
off_t kova_get_page_offset(off_t length, off_t offset, off_t* ptr);

// Whole-file readers: `map` is the whole file of `length` bytes. *out (when
// given): 0 = points into the mapping, 1 = heap copy (swapped file).
int get_kova_file_reference_table(u_char* map, unsigned long length,
                                  kova_file_reference_table** tbl, int* out);
int get_kova_file_reference_table_2024(u_char* map, unsigned long length,
                                       kova_file_reference_table_2024** tbl, int* out);
// Windowed readers: `map`/`length` is any mapping ending with the file's last
// bytes (the trailer is read there); `total_length` the file length; `fd` the
// open file. Always a heap copy in host order.
int get_kova_file_reference_table_m(u_char* map, unsigned long length, unsigned long total_length,
                                    int fd, kova_file_reference_table** tbl);
int get_kova_file_reference_table_m_2010(u_char* map, unsigned long length,
                                         unsigned long total_length, int fd,
                                         kova_file_reference_table_2010** tbl);
int get_kova_file_reference_table_m_2024(u_char* map, uint64_t length, uint64_t total_length,
                                         int fd, kova_file_reference_table_2024** tbl);
// Generation dispatcher of the windowed readers.
int get_kova_file_reference_table_m(u_char* map, unsigned long length, unsigned long total_length,
                                    int fd, void** tbl);

// ---------------------------------------------------------------------------
// Table readers
//
// Codes: -1 bad arguments, -2 event type outside 0..31, -3 FRT pattern wrong,
// -4 FRT length wrong, -5 table pattern wrong (or not in the file) or window
// mapping failed, -6 table absent (reference 0), EIT without entries or no
// memory, -7 table empty or its length does not fit the file, event type not
// found, -8 the file shrank under the mapping (KOVA_MAPPING_DAMAGED).
// Whole-file readers take the mapping base; `out` may be null.

// Event index table.
int kova_get_event_index_table(u_char* base, kova_file_reference_table* frt,
                               kova_event_index_table** tbl, int* out);
int kova_get_event_index_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                    kova_event_index_table_2024** tbl, int* out);
int kova_get_event_index_table_m(unsigned long total_length, kova_file_reference_table* frt, int fd,
                                 kova_event_index_table** tbl);
int kova_get_event_index_table_m_2010(unsigned long total_length,
                                      kova_file_reference_table_2010* frt, int fd,
                                      kova_event_index_table** tbl);
int kova_get_event_index_table_m_2024(uint64_t total_length, kova_file_reference_table_2024* frt,
                                      int fd, kova_event_index_table_2024** tbl);
int kova_get_event_index_table_m(unsigned long total_length, void* frt, int fd, void** tbl);

// One event type's entry of the event index table (whole-file).
int kova_get_event_index_table_by_type(u_char* base, kova_file_reference_table* frt, int type,
                                       kova_event_index_entry** tbl, int* out);
int kova_get_event_index_table_by_type_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            int type, kova_event_index_entry** tbl, int* out);
int kova_get_event_index_table_by_type_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            int type, kova_event_index_entry_2024** tbl, int* out);
int kova_get_event_index_table_by_type(u_char* base, void* frt, int type, void** tbl, int* out);

// Channel dictionary table.
int kova_get_channel_dictionary_table(u_char* base, kova_file_reference_table* frt,
                                      kova_chan_dictionary_table** tbl, int* out);
int kova_get_channel_dictionary_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                           kova_chan_dictionary_table_2024** tbl, int* out);
int kova_get_channel_dictionary_table_m(unsigned long total_length, kova_file_reference_table* frt,
                                        int fd, kova_chan_dictionary_table** tbl);
int kova_get_channel_dictionary_table_m_2010(unsigned long total_length,
                                             kova_file_reference_table_2010* frt, int fd,
                                             kova_chan_dictionary_table_2010** tbl);
int kova_get_channel_dictionary_table_m_2024(uint64_t total_length,
                                             kova_file_reference_table_2024* frt, int fd,
                                             kova_chan_dictionary_table_2024** tbl);
int kova_get_channel_dictionary_table_m(unsigned long total_length, void* frt, int fd, void** tbl);

// Event channel pointers table.
int kova_get_event_chan_pointers_table(u_char* base, kova_file_reference_table* frt,
                                       kova_event_chan_pointers_table** tbl, int* out);
int kova_get_event_chan_pointers_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_event_chan_pointers_table_2024** tbl, int* out);
int kova_get_event_chan_pointers_table_m(unsigned long total_length, kova_file_reference_table* frt,
                                         int fd, kova_event_chan_pointers_table** tbl);
int kova_get_event_chan_pointers_table_m_2010(unsigned long total_length,
                                              kova_file_reference_table_2010* frt, int fd,
                                              kova_event_chan_pointers_table** tbl);
int kova_get_event_chan_pointers_table_m_2024(uint64_t total_length,
                                              kova_file_reference_table_2024* frt, int fd,
                                              kova_event_chan_pointers_table_2024** tbl);
int kova_get_event_chan_pointers_table_m(unsigned long total_length, void* frt, int fd, void** tbl);

// Environment index dictionary table.
int kova_get_env_index_dictionary_table(u_char* base, kova_file_reference_table* frt,
                                        kova_env_dictionary_table** tbl, int* out);
int kova_get_env_index_dictionary_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                             kova_env_dictionary_table_2024** tbl, int* out);
int kova_get_env_index_dictionary_table_m(unsigned long total_length,
                                          kova_file_reference_table* frt, int fd,
                                          kova_env_dictionary_table** tbl);
int kova_get_env_index_dictionary_table_m_2010(unsigned long total_length,
                                               kova_file_reference_table_2010* frt, int fd,
                                               kova_env_dictionary_table** tbl);
int kova_get_env_index_dictionary_table_m_2024(uint64_t total_length,
                                               kova_file_reference_table_2024* frt, int fd,
                                               kova_env_dictionary_table_2024** tbl);
int kova_get_env_index_dictionary_table_m(unsigned long total_length, void* frt, int fd,
                                          void** tbl);

// XML channel description.
int kova_get_chan_descr_table(u_char* base, kova_file_reference_table* frt,
                              kova_xml_chan_descr_header** tbl, int* out);
int kova_get_chan_descr_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                   kova_xml_chan_descr_header_2024** tbl, int* out);
int kova_get_chan_descr_table_m(unsigned long total_length, kova_file_reference_table* frt, int fd,
                                kova_xml_chan_descr_header** tbl);
int kova_get_chan_descr_table_m_2010(unsigned long total_length,
                                     kova_file_reference_table_2010* frt, int fd,
                                     kova_xml_chan_descr_header** tbl);
int kova_get_chan_descr_table_m_2024(uint64_t total_length, kova_file_reference_table_2024* frt,
                                     int fd, kova_xml_chan_descr_header_2024** tbl);
int kova_get_chan_descr_table_m(unsigned long total_length, void* frt, int fd, void** tbl);

// Header baskets (whole-file, host byte order only: a swapped basket is -5;
// the result always points into the mapping).
int kova_get_event_header_basket_table(u_char* base, kova_file_reference_table* frt,
                                       kova_event_header_basket** tbl);
int kova_get_event_header_basket_table_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            kova_event_header_basket** tbl);
int kova_get_event_header_basket_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_event_header_basket_2024** tbl);
int kova_get_event_header_basket_table(u_char* base, void* frt, void** tbl);

int kova_get_server_block_basket_table(u_char* base, kova_file_reference_table* frt,
                                       kova_server_block_basket** tbl);
int kova_get_server_block_basket_table_2010(u_char* base, kova_file_reference_table_2010* frt,
                                            kova_server_block_basket_2010** tbl);
int kova_get_server_block_basket_table_2024(u_char* base, kova_file_reference_table_2024* frt,
                                            kova_server_block_basket_2024** tbl);
int kova_get_server_block_basket_table(u_char* base, void* frt, void** tbl);

// The windowed dispatchers also answer to the families' base names.
int kova_get_event_index_table(unsigned long total_length, void* frt, int fd, void** tbl);
int kova_get_channel_dictionary_table(unsigned long total_length, void* frt, int fd, void** tbl);
int kova_get_event_chan_pointers_table(unsigned long total_length, void* frt, int fd, void** tbl);
int kova_get_env_index_dictionary_table(unsigned long total_length, void* frt, int fd, void** tbl);
int kova_get_chan_descr_table(unsigned long total_length, void* frt, int fd, void** tbl);

// ---------------------------------------------------------------------------
// Channel lookup (host-order dictionaries as the readers return them). A
// dictionary that lies in a damaged mapping gives -8 (KOVA_MAPPING_DAMAGED).

// Binary search by key over a dictionary sorted by ascending key. Returns the
// entry's index or -1 (not found, bad arguments), -5 (not a host-order CDT of
// the generation), -7 (no entries). mode 0: a hit stores the entry in *res.
// Non-zero mode: a hit returns the index and leaves *res null; a miss falls
// back to a scan from the first entry, which stores the entry it finds.
int kova_find_channel_by_key(kova_chan_dictionary_table* tab, unsigned int key,
                             kova_chan_dictionary_entry** res, int mode);
int kova_find_channel_by_key_2010(kova_chan_dictionary_table_2010* tab, unsigned int key,
                                  kova_chan_dictionary_entry_2010** res, int mode);
int kova_find_channel_by_key_2024(kova_chan_dictionary_table_2024* tab, unsigned int key,
                                  kova_chan_dictionary_entry_2024** res, int mode);
int kova_find_channel_by_key(void* tab, unsigned int key, void** res, int mode);

// First entry whose name equals `name` exactly. Index, or -1 (no match, bad
// arguments), -5 (wrong pattern), -7 (no entries).
int kova_find_channel_by_name(kova_chan_dictionary_table* tab, char* name,
                              kova_chan_dictionary_entry** res);
int kova_find_channel_by_name_2010(kova_chan_dictionary_table_2010* tab, char* name,
                                   kova_chan_dictionary_entry_2010** res);
int kova_find_channel_by_name_2024(kova_chan_dictionary_table_2024* tab, char* name,
                                   kova_chan_dictionary_entry_2024** res);
int kova_find_channel_by_name(void* tab, char* name, void** res);

// Reduced event channel pointers table holding only the rows of the named
// channels, in list order, read through a window on the pointers table; a
// heap table (free()). Codes: -1 bad arguments, -3 FRT pattern, -4 FRT
// length, -5 window failed or channel not in `cdt_tab` (message), -6 no
// pointers table or no memory, -7 pointers table empty or too short for the
// rows asked for, -8 the file (or the mapping of `cdt_tab`) shrank under the
// reader, -9 pointers table pattern wrong.
int kova_get_event_chan_pointers_table_by_list_m(unsigned long total_length,
                                                 kova_file_reference_table* tbl, int fd,
                                                 std::vector<char*>* chans,
                                                 kova_chan_dictionary_table* cdt_tab,
                                                 kova_event_chan_pointers_table** tab);
int kova_get_event_chan_pointers_table_by_list_m(unsigned long total_length,
                                                 kova_file_reference_table* tbl, int fd,
                                                 const std::vector<std::string>& chans,
                                                 kova_chan_dictionary_table* cdt_tab,
                                                 kova_event_chan_pointers_table** tab);
int kova_get_event_chan_pointers_table_by_list_m_2010(unsigned long total_length,
                                                      kova_file_reference_table_2010* tbl, int fd,
                                                      std::vector<char*>* chans,
                                                      kova_chan_dictionary_table_2010* cdt_tab,
                                                      kova_event_chan_pointers_table** tab);
int kova_get_event_chan_pointers_table_by_list_m_2010(unsigned long total_length,
                                                      kova_file_reference_table_2010* tbl, int fd,
                                                      const std::vector<std::string>& chans,
                                                      kova_chan_dictionary_table_2010* cdt_tab,
                                                      kova_event_chan_pointers_table** tab);
int kova_get_event_chan_pointers_table_by_list_m_2024(uint64_t total_length,
                                                      kova_file_reference_table_2024* tbl, int fd,
                                                      std::vector<char*>* chans,
                                                      kova_chan_dictionary_table_2024* cdt_tab,
                                                      kova_event_chan_pointers_table_2024** tab);

// ---------------------------------------------------------------------------
// Table printing (standard output). Each printer checks the table's
// host-order pattern ("WRONG PATTERN" otherwise); a null table prints
// nothing, except the event index printer.

void print_kova_file_reference_table(kova_file_reference_table* tbl);
void print_kova_file_reference_table_2010(kova_file_reference_table_2010* tbl);
void print_kova_file_reference_table_2024(kova_file_reference_table_2024* tbl);
void print_kova_file_reference_table(void* tbl);

// One entry of the event index table, as the by-type readers return it.
void print_kova_event_index_table(kova_event_index_entry* tbl);
void print_kova_event_index_table_2010(kova_event_index_entry* tbl);
void print_kova_event_index_table_2024(kova_event_index_entry_2024* tbl);
void print_kova_event_index_table(void* tbl);

void print_kova_channel_dictionary_table(kova_chan_dictionary_table* tbl);
void print_kova_channel_dictionary_table_2010(kova_chan_dictionary_table_2010* tbl);
void print_kova_channel_dictionary_table_2024(kova_chan_dictionary_table_2024* tbl);
void print_kova_channel_dictionary_table(void* tbl);

void print_kova_event_chan_pointers_table(kova_event_chan_pointers_table* tbl);
void print_kova_event_chan_pointers_table_2010(kova_event_chan_pointers_table* tbl);
void print_kova_event_chan_pointers_table_2024(kova_event_chan_pointers_table_2024* tbl);
void print_kova_event_chan_pointers_table(void* tbl);

// With a dictionary (may be null) each key is shown with its channel name.
void print_kova_env_index_dictionary_table(kova_env_dictionary_table* tbl,
                                           kova_chan_dictionary_table* cdt);
void print_kova_env_index_dictionary_table_2010(kova_env_dictionary_table* tbl,
                                                kova_chan_dictionary_table_2010* cdt);
void print_kova_env_index_dictionary_table_2024(kova_env_dictionary_table_2024* tbl,
                                                kova_chan_dictionary_table_2024* cdt);
void print_kova_env_index_dictionary_table(void* tbl, void* cdt);

void print_kova_event_header_basket(kova_event_header_basket* tbl);
void print_kova_event_header_basket_2010(kova_event_header_basket* tbl);
void print_kova_event_header_basket_2024(kova_event_header_basket_2024* tbl);
void print_kova_event_header_basket(void* tbl);

void print_kova_server_block_basket(kova_server_block_basket* tbl);
void print_kova_server_block_basket_2010(kova_server_block_basket_2010* tbl);
void print_kova_server_block_basket_2024(kova_server_block_basket_2024* tbl);
void print_kova_server_block_basket(void* tbl);

#include "event_files_layout_checks.h"

#endif  // HESK_EVENT_FILES_H
