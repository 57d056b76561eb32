// The two walks over the sub-blocks of one server block: the fast-channel
// search and the taking of slow sub-blocks into the local copies. Both stay
// within the block's ltotal and its buffer; they work on any ServerBlock,
// whether it came through a pool or not.
#ifndef HESK_CLIENT_BLOCK_WALKS_H
#define HESK_CLIENT_BLOCK_WALKS_H

#include <cstring>

#include "server_block.h"

namespace hesk_client {

// The channel name looked for, with its first eight bytes (the terminator
// included when it is shorter) ready for a one-word first comparison.
struct ChannelKey {
  const char* name;
  size_t len;
  uint64_t word = 0;
  uint64_t mask = 0;

  // REQUIRES: n is a non-empty string.
  explicit ChannelKey(const char* n) : name(n), len(strlen(n)) {
    const size_t k = len < 8 ? len + 1 : 8;
    unsigned char m[8] = {};
    memset(m, 0xFF, k);
    memcpy(&word, n, k);
    memcpy(&mask, m, sizeof(mask));
  }
  // Whether a 256-byte name field holds the name (within its width).
  bool matches(const char* field) const {
    uint64_t f;
    memcpy(&f, field, sizeof(f));
    if (((f ^ word) & mask) != 0) return false;
    return len < 8 || field_equals(field, kNameWidth, name, len);
  }
};

enum class Search { kFound, kNotHere, kCorrupt };

// Searches one server block for the channel. A block without channels or
// room, or whose walk meets a sub-block longer than the room left before the
// channel, is kNotHere; a block that does not hold together prints the
// "CHANNEL corrupted" lines and is kCorrupt. On kFound *hit is a sub-block
// that lies wholly within the block.
Search search_block(const ServerBlock& b, const ChannelKey& key,
                    kova_serv_block_subhead_2010** hit);

// Takes the sub-blocks of one server block that event type `evtype` (0, 2 to
// 5) takes into the local copies. true on an allocation or merge failure or
// when the block is corrupt (reported with fn's name; the walk stops there).
bool take_slow_blocks(int evtype, const ServerBlock& b, const char* fn);

}  // namespace hesk_client

#endif  // HESK_CLIENT_BLOCK_WALKS_H
