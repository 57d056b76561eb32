// Walk of one server block: its head, then its sub-blocks (or, in an ENV
// event, its single environment sub-block), each head converted before its
// payload. Slow-control payloads are arrays of entries and are converted
// entry by entry; compressed payloads convert their zip header and copy the
// compressed bytes; every other payload goes through its type's converter.
#include "block_walk.h"

#include <cstdio>
#include <cstring>

#include "event_util.h"

namespace convert_detail {

BlockWalk::BlockWalk(Gen g, const unsigned char* in, unsigned char* out, bool to_network)
    : lay_(layout_of(g)),
      in_(in),
      out_(out),
      to_net_(to_network),
      verbose_(g == Gen::k2024 && to_network) {}

int64_t BlockWalk::length_at(int64_t pos, bool is_signed) const {
  return load_length((to_net_ ? in_ : out_) + pos, lay_.wide, is_signed);
}

int32_t BlockWalk::word_at(int64_t pos) const {
  return load_i32((to_net_ ? in_ : out_) + pos);
}

void BlockWalk::fill(int64_t pos, int64_t n) const {
  if (n > 0) copy_bytes(in_ + pos, out_ + pos, static_cast<size_t>(n));
}

int BlockWalk::server_block(int64_t pos, int64_t avail, bool env, int64_t* ltotal) {
  if (avail < lay_.server) return kBadEvent;
  int64_t lt = 0;
  int32_t nchan = 0;
  if (to_net_) {
    lt = length_at(pos + lay_.ltotal_at, true);
    nchan = word_at(pos + lay_.nchan_at);
  }
  int rc = convert_record(Record::kServerHead, lay_.gen, in_ + pos, out_ + pos, true);
  if (rc != kOk) {
    if (verbose_) printf("kova_convert_event_serv_block_head err:%d\n", rc);
    return rc;
  }
  if (!to_net_) {
    lt = length_at(pos + lay_.ltotal_at, true);
    nchan = word_at(pos + lay_.nchan_at);
  }
  if (lt < lay_.server || lt > avail) return kBadEvent;
  const int64_t end = pos + lt;
  int64_t p = pos + lay_.server;
  if (env) {
    rc = env_sub_block(p, end - p);
    if (rc != kOk) return rc;
    p = end;
  } else {
    for (int32_t i = 0; i < nchan; ++i) {
      int64_t ldata = 0;
      rc = sub_block(p, end - p, &ldata);
      if (rc != kOk) return rc;
      p += ldata;
    }
  }
  fill(p, end - p);
  *ltotal = lt;
  return kOk;
}

int BlockWalk::sub_block(int64_t pos, int64_t avail, int64_t* ldata) {
  if (avail < lay_.sub) return kDataLength;
  int32_t dtype = 0, error = 0;
  int64_t ld = 0;
  if (to_net_) {
    dtype = word_at(pos + lay_.dtype_at);
    error = word_at(pos + lay_.error_at);
    ld = word_at(pos + lay_.ldata_at);
  }
  int rc = convert_record(Record::kSubHead, lay_.gen, in_ + pos, out_ + pos, true);
  if (rc != kOk) {
    if (verbose_) printf("kova_convert_event_serv_block_subhead err:%d\n", rc);
    return rc;
  }
  if (!to_net_) {
    dtype = word_at(pos + lay_.dtype_at);
    error = word_at(pos + lay_.error_at);
    ld = word_at(pos + lay_.ldata_at);
  }
  if (ld < lay_.sub || ld > avail) return kDataLength;
  const int64_t p = pos + lay_.sub;
  const int64_t plen = ld - lay_.sub;
  const int type = dtype & KOVA_DTYPE_MASK;
  if (slow_entry_size(type) > 0) {
    rc = slow_entries(p, type, plen, "kova_convert_data err:%d\n");
  } else if (error & KOVA_CHAN_ZIP_FLAG) {
    const int64_t zip = sizeof(kova_zip_header);
    if (plen < zip) return kDataLength;
    rc = convert_record(Record::kZipHead, lay_.gen, in_ + p, out_ + p, true);
    if (rc != kOk) {
      if (verbose_) printf("kova_convert_zip_header err:%d\n", rc);
      return rc;
    }
    fill(p + zip, plen - zip);  // compressed bytes are opaque
  } else {
    int64_t covered = 0;
    rc = convert_payload(in_ + p, out_ + p, type, to_net_ ? -plen : plen, &covered);
    if (rc != kOk) {
      if (verbose_) {
        dump_failed_head(pos, ld);
        printf("kova_convert_data (2) err:%d\n", rc);
      }
      return rc;
    }
    fill(p + covered, plen - covered);
  }
  if (rc != kOk) return rc;
  *ldata = ld;
  return kOk;
}

int BlockWalk::env_sub_block(int64_t pos, int64_t avail) {
  if (avail < lay_.sub) return kBadEnvBlock;
  int32_t dtype = 0;
  int64_t ld = 0;
  if (to_net_) {
    dtype = word_at(pos + lay_.dtype_at);
    ld = word_at(pos + lay_.ldata_at);
  }
  int rc = convert_record(Record::kSubHead, lay_.gen, in_ + pos, out_ + pos, true);
  if (rc != kOk) {
    if (verbose_) printf("kova_convert_event_serv_block_subhead (0) err:%d\n", rc);
    return rc;
  }
  if (!to_net_) {
    dtype = word_at(pos + lay_.dtype_at);
    ld = word_at(pos + lay_.ldata_at);
  }
  if ((dtype & KOVA_DTYPE_MASK) != lay_.env_type) return kBadEnvBlock;
  if (ld < lay_.sub || ld > avail) return kBadEnvBlock;
  rc = slow_entries(pos + lay_.sub, lay_.env_type, ld - lay_.sub, "kova_convert_data (0) err:%d\n");
  if (rc != kOk) return rc;
  fill(pos + ld, avail - ld);
  return kOk;
}

// Whole entries are converted one by one; a remainder shorter than an entry
// is copied as it is.
int BlockWalk::slow_entries(int64_t pos, int type, int64_t plen, const char* message) {
  const int64_t size = slow_entry_size(type);
  const int64_t count = plen / size;
  for (int64_t i = 0; i < count; ++i) {
    int64_t at = pos + i * size;
    int rc = convert_payload(in_ + at, out_ + at, type, size, nullptr);
    if (rc != kOk) {
      if (verbose_) printf(message, rc);
      return rc;
    }
  }
  fill(pos + count * size, plen - count * size);
  return kOk;
}

// Dumps the converted sub-block head. The dump shows the zip header of a
// head whose error word says compressed, so it gets a copy with the payload's
// first bytes (zeros where the payload is shorter) rather than the buffer.
void BlockWalk::dump_failed_head(int64_t pos, int64_t ldata) const {
  constexpr int64_t kHead = sizeof(kova_serv_block_subhead_2010);
  constexpr int64_t kZip = sizeof(kova_zip_header);
  alignas(8) unsigned char copy[kHead + kZip] = {};
  memcpy(copy, out_ + pos, kHead);
  int64_t extra = ldata - kHead < kZip ? ldata - kHead : kZip;
  if (extra > 0) memcpy(copy + kHead, out_ + pos + kHead, static_cast<size_t>(extra));
  dump_event_chanhead_2010(reinterpret_cast<kova_serv_block_subhead_2010*>(copy));
}

}  // namespace convert_detail
