// Whole events in both directions, and single server blocks in the writing
// direction. The event's own event_length bounds the walk: server blocks must
// lie between the header and the tail, and the tail must follow the last of
// them exactly (else 13).
#include <cstdio>

#include "block_walk.h"
#include "event_util.h"

namespace convert_detail {

namespace {

int convert_whole_event(const unsigned char* in, unsigned char* out, bool to_network) {
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  const Gen g = generation();
  BlockWalk walk(g, in, out, to_network);
  const EventLayout& lay = walk.layout();

  int64_t length = 0;
  int32_t type = 0, nsb = 0;
  auto read_head = [&] {
    length = walk.length_at(lay.length_at, false);
    type = walk.word_at(lay.type_at);
    nsb = walk.word_at(lay.nsb_at);
  };
  if (to_network) read_head();
  int rc = convert_event_head(g, in, out, true);
  if (rc != kOk) {
    if (walk.verbose()) printf("kova_convert_event_head err:%d\n", rc);
    return rc;
  }
  if (!to_network) read_head();
  if (length < lay.head + lay.tail) return kBadEvent;

  const int64_t end = length - lay.tail;
  int64_t pos = lay.head;
  for (int32_t i = 0; i < nsb; ++i) {
    int64_t ltotal = 0;
    rc = walk.server_block(pos, end - pos, type == KOVA_EV_ENV, &ltotal);
    if (rc != kOk) return rc;
    pos += ltotal;
  }
  if (pos != end) return kBadEvent;

  int64_t tail = 0;
  if (to_network) tail = walk.length_at(pos, false);
  rc = convert_record(Record::kEventTail, g, in + pos, out + pos, true);
  if (rc != kOk) {
    if (walk.verbose()) printf("kova_convert_event_tail err:%d\n", rc);
    return rc;
  }
  if (!to_network) tail = walk.length_at(pos, false);
  if (tail != length) {
    if (walk.verbose())
      printf("Tail: %ld != Heade: %ld\n", static_cast<long>(tail), static_cast<long>(length));
    return kBadEvent;
  }
  return kOk;
}

// One server block in host order; its own ltotal bounds it.
int server_block_to_network(const unsigned char* in, unsigned char* out) {
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  BlockWalk walk(generation(), in, out, true);
  int64_t avail = walk.length_at(walk.layout().ltotal_at, true);
  int64_t ltotal = 0;
  return walk.server_block(0, avail, false, &ltotal);
}

}  // namespace

}  // namespace convert_detail

extern "C" {

int kova_convert_event(void* in, void* out) {
  return convert_detail::convert_whole_event(static_cast<const unsigned char*>(in),
                                             static_cast<unsigned char*>(out), false);
}

int kova_convert_event_hton(void* in, void* out, int nsb) {
  if (nsb > 0) return kova_convert_server_block_hton(in, out);
  return convert_detail::convert_whole_event(static_cast<const unsigned char*>(in),
                                             static_cast<unsigned char*>(out), true);
}

int kova_convert_server_block_hton(void* in, void* out) {
  return convert_detail::server_block_to_network(static_cast<const unsigned char*>(in),
                                                 static_cast<unsigned char*>(out));
}

}  // extern "C"
