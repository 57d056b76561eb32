// Pieces shared by the payload, block and event printers: bounded list
// printers that take a type name and an entry count, the sample printer of
// both output forms, the payload printer of each generation and the walk over
// the sub-blocks of one server block. Everything reads only within the
// lengths it is given.
#ifndef HESK_ISTREL_PRINT_INTERNAL_H
#define HESK_ISTREL_PRINT_INTERNAL_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../channel/channel_block.h"
#include "event_util.h"

namespace print_detail {

using channel_detail::Gen2009;
using channel_detail::Gen2010;

template <typename T>
T load(const void* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// A name field as text: up to its terminator or its width.
inline std::string field_text(const char* field, size_t width) {
  return std::string(field, channel_detail::field_length(field, width));
}

// "Corrupted data in <type> <channel> (length <ldata>)\n": a payload whose
// length cannot hold what its counts say.
template <typename Subhead>
void print_corrupted_length(const Subhead* sb) {
  printf("Corrupted data in %s %s (length %d)\n", block_name_itoa(sb->dtype),
         field_text(sb->chname, sizeof(sb->chname)).c_str(), sb->ldata);
}

// Entry lines of the slow lists, `n` entries at `entries`.
void print_env_entries(const char* type_name, const unsigned char* entries, int64_t n);
template <typename Upd>
void print_upd_entries(const char* type_name, const unsigned char* entries, int64_t n);
template <typename Dict>
void print_dict_entries(const char* type_name, const unsigned char* entries, int64_t n);
// Name/value list whose `n` entries are known to be present.
void print_name_value(const char* type_name, const unsigned char* block, int64_t n);

// Statistics of `n` channels: "Statistics:\n", then per channel
// "Chan: <name>:\n" and the 32 entries.
void print_statistics(const unsigned char* stats, int n, const std::vector<std::string>& names);

// Image heads under the given type name.
void print_image_head(const char* type_name, const unsigned char* im);
void print_image_ext_head(const char* type_name, const unsigned char* im);

// One channel's samples: `count` floats at `data`.
struct SampleRun {
  std::string name;
  const unsigned char* data;
  int64_t count;
};
// dformat != 0: channel by channel, "\n<name>:" then "\t%e" per sample, ten
// to a line. dformat 0: all stored values in order as parenthesised groups of
// as many values as there are channels, four groups to a line.
void print_samples(const std::vector<SampleRun>& runs, int dformat);

// Payload printers of the device types (head line, length check, samples).
template <typename G>
void print_device_payload(typename G::Subhead* sb, int mode, int dformat);
// A framework data block (type 23) through the container.
template <typename G>
void print_eqdata_payload(typename G::Subhead* sb, int mode, const char* fn);

// What the event walk does with the sub-blocks of a server block, by event
// type.
enum class EventKind {
  kEnv,        // the environment block, payload with mode 0
  kImage,      // every payload with mode 0
  kLists,      // heads, then the slow lists (BOR, EOR, UPD)
  kHeadsOnly,  // heads only
  kOther,      // heads and lists, every other payload with mode 1, form 1
  kUnknown
};
EventKind event_kind_2009(int evtype);
EventKind event_kind_2010(int evtype);
EventKind event_kind_2024(int evtype);

// Walks `nchan` sub-blocks starting at `first`, within `room` bytes, and
// prints them for `kind`. `dict_title` is the dictionary list's title line;
// `fn` names the caller in the corruption messages.
template <typename G>
void print_sub_blocks(unsigned char* first, int64_t room, int nchan, EventKind kind,
                      const char* dict_title, const char* fn);

}  // namespace print_detail

#endif  // HESK_ISTREL_PRINT_INTERNAL_H
