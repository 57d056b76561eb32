// Host-order images of the DAQ file tables, and their conversion to the
// opposite byte order. Each conversion is the one the readers undo: whole
// tables as words, dictionaries without their names, the environment
// dictionary's records as 4-byte words, texts untouched, basket records
// through the record converters.
#include "event_files.h"
#include "writer_internal.h"

namespace daqfile_detail {

namespace {

// Pattern and a length word to be patched when the image is complete.
void put_header(Bytes& b, int gen, uint32_t pattern_2009) {
  if (gen == 2024) {
    put<uint64_t>(b, pattern_of(gen, pattern_2009));
    put<int64_t>(b, 0);
  } else {
    put<uint32_t>(b, static_cast<uint32_t>(pattern_of(gen, pattern_2009)));
    put<int32_t>(b, 0);
  }
}

void patch_length(Bytes& b, int gen) {
  if (gen == 2024)
    patch<int64_t>(b, 8, static_cast<int64_t>(b.size()));
  else
    patch<int32_t>(b, 4, static_cast<int32_t>(b.size()));
}

// patch() on a raw pointer.
template <typename T>
void patch(unsigned char* p, size_t at, T v) {
  memcpy(p + at, &v, sizeof(v));
}

void swap_words(unsigned char* p, size_t bytes, size_t word) {
  for (size_t i = 0; i + word <= bytes; i += word) {
    if (word == 8)
      patch<uint64_t>(p + i, 0, __builtin_bswap64(get<uint64_t>(p + i)));
    else
      patch<uint32_t>(p + i, 0, __builtin_bswap32(get<uint32_t>(p + i)));
  }
}

}  // namespace

Bytes eit_image(int gen, const TypeIndex& types, uint64_t (&entry_at)[KOVA_EV_EVMAX]) {
  Bytes b;
  put_header(b, gen, KOVA_EVENT_INDEX_TABLE_PATTERN);
  uint64_t present = 0;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) {
    entry_at[t] = 0;
    const auto& ev = types[t];
    if (ev.empty()) continue;
    ++present;
    entry_at[t] = b.size();
    const size_t start = b.size();
    if (gen == 2024) {
      put<int64_t>(b, t);
      put<time_stamp>(b, ev.front().time);
      put<time_stamp>(b, ev.back().time);
      put<uint64_t>(b, ev.front().number);
      put<uint64_t>(b, ev.back().number);
      put<int64_t>(b, 0);
      for (const auto& r : ev) {
        put<time_stamp>(b, r.time);
        put<uint64_t>(b, r.number);
        put<int64_t>(b, static_cast<int64_t>(r.offset));
      }
      patch<int64_t>(b, start + 40, static_cast<int64_t>(b.size() - start));
    } else {
      put<int32_t>(b, t);
      put<time_stamp>(b, ev.front().time);
      put<time_stamp>(b, ev.back().time);
      put<uint32_t>(b, static_cast<uint32_t>(ev.front().number));
      put<uint32_t>(b, static_cast<uint32_t>(ev.back().number));
      put<int32_t>(b, 0);
      for (const auto& r : ev) {
        put<time_stamp>(b, r.time);
        put<uint32_t>(b, static_cast<uint32_t>(r.number));
        put<uint32_t>(b, static_cast<uint32_t>(r.offset));
      }
      patch<int32_t>(b, start + 28, static_cast<int32_t>(b.size() - start));
    }
  }
  if (gen == 2024)
    patch<uint64_t>(b, 8, present);
  else
    patch<int32_t>(b, 4, static_cast<int32_t>(present));
  return b;
}

Bytes cdt_image(int gen, const std::vector<const Channel*>& order) {
  const Sizes s = sizes_of(gen);
  Bytes b;
  put_header(b, gen, KOVA_CHAN_DICTIONARY_TABLE_PATTERN);
  for (const Channel* c : order) {
    put<uint32_t>(b, c->key);
    put_text(b, c->name, s.dict_name);
    put<uint32_t>(b, c->ev_mask);
    put<uint32_t>(b, c->dtype_mask);
    put<int32_t>(b, static_cast<int32_t>(c->rows.size()));
  }
  patch_length(b, gen);
  return b;
}

Bytes ecpt_image(int gen, const std::vector<const Channel*>& order) {
  size_t maxev = 0;
  for (const Channel* c : order) maxev = c->rows.size() > maxev ? c->rows.size() : maxev;
  Bytes b;
  put_header(b, gen, KOVA_EVENT_CHAN_POINTERS_TABLE_PATTERN);
  if (gen == 2024)
    put<int64_t>(b, static_cast<int64_t>(maxev));
  else
    put<int32_t>(b, static_cast<int32_t>(maxev));
  const size_t record = gen == 2024 ? 32 : 16;
  b.reserve(b.size() + order.size() * maxev * record);
  for (const Channel* c : order) {
    for (size_t i = 0; i < maxev; ++i) {
      PointerRecord r = i < c->rows.size() ? c->rows[i] : PointerRecord{0, 0, 0, 0};
      if (gen == 2024) {
        put<uint64_t>(b, r.evhd);
        put<uint64_t>(b, r.sbhd);
        put<uint64_t>(b, r.chhd);
        put<uint64_t>(b, r.data);
      } else {
        put<uint32_t>(b, static_cast<uint32_t>(r.evhd));
        put<uint32_t>(b, static_cast<uint32_t>(r.sbhd));
        put<uint32_t>(b, static_cast<uint32_t>(r.chhd));
        put<uint32_t>(b, static_cast<uint32_t>(r.data));
      }
    }
  }
  patch_length(b, gen);
  return b;
}

Bytes eidt_image(int gen, const std::vector<std::pair<uint32_t, int32_t>>& entries) {
  Bytes b;
  put_header(b, gen, KOVA_ENV_DICTIONARY_TABLE_PATTERN);
  for (const auto& e : entries) {
    put<uint32_t>(b, e.first);
    put<int32_t>(b, e.second);
  }
  patch_length(b, gen);
  return b;
}

Bytes xcd_image(int gen, const std::string& xml) {
  Bytes b;
  put_header(b, gen, KOVA_XML_CHAN_DESCR_TABLE_PATTERN);
  b.insert(b.end(), xml.begin(), xml.end());
  patch_length(b, gen);
  return b;
}

Bytes basket_image(int gen, uint32_t pattern_2009, const Bytes& records) {
  Bytes b;
  put_header(b, gen, pattern_2009);
  b.insert(b.end(), records.begin(), records.end());
  patch_length(b, gen);
  return b;
}

Bytes frt_image(int gen, const daqfile::Layout& at) {
  Bytes b;
  if (gen == 2024) {
    kova_file_reference_table_2024 f;
    memset(&f, 0, sizeof(f));
    f.pattern = KOVA_FILE_REFERENCE_TABLE_PATTERN_2024;
    f.length = sizeof(f);
    f.eit_pos_ref = static_cast<int64_t>(at.eit);
    for (int t = 0; t < KOVA_EV_EVMAX; ++t) f.eite_pos_ref[t] = static_cast<int64_t>(at.eite[t]);
    f.cdt_ref = static_cast<int64_t>(at.cdt);
    f.ecp_ref = static_cast<int64_t>(at.ecpt);
    f.eidt_ref = static_cast<int64_t>(at.eidt);
    f.xcd_ref = static_cast<int64_t>(at.xcd);
    f.evhdb_ref = static_cast<int64_t>(at.ehb);
    f.srvbb_ref = static_cast<int64_t>(at.sbhb);
    put(b, f);
    return b;
  }
  kova_file_reference_table f;  // the 2010 table has the same layout
  memset(&f, 0, sizeof(f));
  f.pattern = static_cast<uint32_t>(pattern_of(gen, KOVA_FILE_REFERENCE_TABLE_PATTERN));
  f.length = sizeof(f);
  f.eit_pos_ref = static_cast<uint32_t>(at.eit);
  for (int t = 0; t < KOVA_EV_EVMAX; ++t) f.eite_pos_ref[t] = static_cast<uint32_t>(at.eite[t]);
  f.cdt_ref = static_cast<uint32_t>(at.cdt);
  f.ecp_ref = static_cast<uint32_t>(at.ecpt);
  f.eidt_ref = static_cast<uint32_t>(at.eidt);
  f.xcd_ref = static_cast<uint32_t>(at.xcd);
  f.evhdb_ref = static_cast<uint32_t>(at.ehb);
  f.srvbb_ref = static_cast<uint32_t>(at.sbhb);
  put(b, f);
  return b;
}

Bytes trailer(int gen, uint64_t frt_offset, bool swapped) {
  Bytes b;
  if (gen == 2024) {
    put<uint64_t>(b, __builtin_bswap64(frt_offset));
    put<uint64_t>(b, swapped ? __builtin_bswap64(KOVA_DAQ_FILE_END_MARKER_2024)
                             : KOVA_DAQ_FILE_END_MARKER_2024);
    return b;
  }
  const uint32_t marker = static_cast<uint32_t>(pattern_of(gen, KOVA_DAQ_FILE_END_MARKER));
  put<uint32_t>(b, __builtin_bswap32(static_cast<uint32_t>(frt_offset)));
  put<uint32_t>(b, swapped ? __builtin_bswap32(marker) : marker);
  return b;
}

bool to_opposite(int gen, Kind kind, Bytes& image) {
  const Sizes s = sizes_of(gen);
  unsigned char* p = image.data();
  const size_t n = image.size();
  const size_t header = 2 * s.word;
  switch (kind) {
    case Kind::kWords:
      swap_words(p, n, s.word);
      return true;
    case Kind::kDictionary: {
      const size_t entry = 4 + s.dict_name + 12;
      swap_words(p, header, s.word);
      for (size_t at = header; at + entry <= n; at += entry) {
        swap_words(p + at, 4, 4);
        swap_words(p + at + 4 + s.dict_name, 12, 4);
      }
      return true;
    }
    case Kind::kEnvironment:
      swap_words(p, header, s.word);
      swap_words(p + header, n - header, 4);
      return true;
    case Kind::kText:
      swap_words(p, header, s.word);
      return true;
    case Kind::kEventHeaders:
    case Kind::kServerHeads: {
      GenerationScope scope(gen);
      const size_t rec = kind == Kind::kEventHeaders ? s.ev_head : s.sb_head;
      for (size_t at = header; at + rec <= n; at += rec) {
        const int rc = kind == Kind::kEventHeaders
                           ? kova_convert_event_head(p + at, p + at)
                           : kova_convert_event_serv_block_head(p + at, p + at);
        if (rc != 0) return false;
      }
      swap_words(p, header, s.word);
      return true;
    }
  }
  return false;
}

}  // namespace daqfile_detail
