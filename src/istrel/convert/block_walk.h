// Walk of one server block, sub-block by sub-block, converting every record
// and payload in one direction. Shared by the whole-event converters and the
// single-server-block converters.
//
// Every length found in the data is checked against the bytes that remain
// before anything it describes is touched: a server block must fit in the
// room it is given (else 13), a sub-block in its server block (else 11, and
// 14 inside an ENV server block). When converting out of place, bytes that no
// description covers (padding, remainders, gaps) are copied, so the output
// block is complete.
//
// A walk object serves one call on one thread; it keeps no other state.
#ifndef HESK_ISTREL_BLOCK_WALK_H
#define HESK_ISTREL_BLOCK_WALK_H

#include <cstdint>

#include "event_layout.h"

namespace convert_detail {

class BlockWalk {
 public:
  // `to_network`: the input is in host order (counts are read from it before
  // each record is converted); otherwise counts are read from the output
  // after each record is converted.
  BlockWalk(Gen g, const unsigned char* in, unsigned char* out, bool to_network);

  const EventLayout& layout() const { return lay_; }
  // The 2024 generation reports failures of the writing direction.
  bool verbose() const { return verbose_; }

  // Converts the server block at `pos`, which must end within `avail` bytes.
  // `env`: the block belongs to an ENV event (one environment sub-block).
  // On success *ltotal is the block's length.
  int server_block(int64_t pos, int64_t avail, bool env, int64_t* ltotal);

  // Host-order length field of the layout's width at `pos` (event length,
  // ltotal or tail); call before converting its record when writing, after
  // when reading.
  int64_t length_at(int64_t pos, bool is_signed) const;
  int32_t word_at(int64_t pos) const;

  // Copies n bytes at pos unchanged when converting out of place.
  void fill(int64_t pos, int64_t n) const;

 private:
  int sub_block(int64_t pos, int64_t avail, int64_t* ldata);
  int env_sub_block(int64_t pos, int64_t avail);
  int slow_entries(int64_t pos, int type, int64_t plen, const char* message);
  void dump_failed_head(int64_t pos, int64_t ldata) const;

  EventLayout lay_;
  const unsigned char* in_;
  unsigned char* out_;
  bool to_net_;
  bool verbose_;
};

}  // namespace convert_detail

#endif  // HESK_ISTREL_BLOCK_WALK_H
