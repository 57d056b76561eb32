// The channel accessors and the printers on arbitrary blocks in host order.
// Input: a selector byte, a parameter byte, then the bytes.
//   selector bits 0-1  generation (0 = 2009, 1 = 2010, 2 and 3 = 2024)
//   selector bits 2-3  0: a whole event (print_event);
//                      1: one sub-block (every accessor, print_data_type);
//                      2: one server block (dump_server_block);
//                      3: two sub-blocks, the second after the first's ldata
//                         (look-ups and merges in both directions)
//   selector bit 4     keep the input's own length field when it lies within
//                      the input (else it is set to the input's length)
//   parameter byte     bits 0-2 channel number + 1, bit 3 mode, bit 4 sample
//                      form, bits 0-4 also the slot's event type
// Every block lies at the start of a heap allocation of exactly its length.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_input.h"

namespace {

int32_t read_i32(const unsigned char* p) {
  int32_t v;
  memcpy(&v, p, 4);
  return v;
}

// The length a block gets: its own (from the field at `at`) when asked and
// plausible, else all `size` bytes; never shorter than `head`. *own tells
// whether the field may stay as it is.
size_t block_length(const uint8_t* data, size_t size, size_t at, size_t head, bool keep,
                    bool* own) {
  *own = false;
  if (keep && at + 4 <= size) {
    const int32_t v = read_i32(data + at);
    if (v >= 0 && static_cast<size_t>(v) <= size) {
      *own = true;
      return static_cast<size_t>(v) < head ? head : static_cast<size_t>(v);
    }
  }
  return size;
}

// An exact copy of `n` bytes whose length field (at `at`) says `n` unless the
// input's own value was kept.
std::unique_ptr<unsigned char[]> copy_block(const uint8_t* data, size_t size, size_t at,
                                            size_t head, bool keep, size_t* n) {
  bool own = false;
  *n = block_length(data, size, at, head, keep, &own);
  auto b = fuzz::exact_copy(data, size, *n);
  if (!own) {
    const int32_t len = static_cast<int32_t>(*n);
    memcpy(b.get() + at, &len, 4);
  }
  return b;
}

// The same for a 64-bit length field.
std::unique_ptr<unsigned char[]> copy_block64(const uint8_t* data, size_t size, size_t at,
                                              size_t head, bool keep, size_t* n) {
  int64_t v = -1;
  if (at + 8 <= size) memcpy(&v, data + at, 8);
  const bool own = keep && v >= 0 && static_cast<uint64_t>(v) <= size;
  *n = own ? (static_cast<size_t>(v) < head ? head : static_cast<size_t>(v)) : size;
  auto b = fuzz::exact_copy(data, size, *n);
  if (!own) {
    const int64_t len = static_cast<int64_t>(*n);
    memcpy(b.get() + at, &len, 8);
  }
  return b;
}

std::unique_ptr<unsigned char[]> sub_block(const uint8_t* data, size_t size, size_t head, bool keep,
                                           size_t* n) {
  return copy_block(data, size, head - 4, head, keep, n);
}

void accessors(void* sb, int subchan, int mode, int dformat) {
  float start, inc, ginc;
  int ndata, groups, x, y, bpp, ev, len, type, status;
  void* mean;
  kova_spect_statistics_2010* stat;
  get_spect_params_for_data_type(sb, &start, &inc, &mean, &ndata, &groups, &ginc, &stat, subchan);
  get_pointer_to_data(sb, subchan);
  u_char* cut = nullptr;
  if (!device_to_one_channel(sb, subchan, &len, &type, &cut) && cut != nullptr) {
    print_data_type(cut, mode, dformat);
    free(cut);
  }
  if_ndata_the_same(sb);
  u_char* pixels;
  get_image_params(sb, &x, &y, &bpp, &ev, &pixels);
  kova_image_ext_frame_head hd;
  get_image_ext_params(sb, &hd, &ev, &pixels);
  char* name;
  time_stamp tm;
  float value;
  get_update_params(sb, subchan, &name, &status, &tm, &value);
  get_number_of_upd_channels(sb);
  print_data_type(sb, mode, dformat);
}

// The first name field of a block, as a string within its width.
std::string first_name(const unsigned char* b, size_t n, size_t head, size_t width) {
  if (n < head + 1) return "X";
  const size_t w = n - head < width ? n - head : width;
  const char* p = reinterpret_cast<const char*>(b + head);
  return std::string(p, strnlen(p, w));
}

void pair(const uint8_t* data, size_t size, size_t head, bool keep) {
  size_t n1 = 0, n2 = 0;
  auto a = sub_block(data, size, head, keep, &n1);
  if (size - n1 < head) return;
  auto b = sub_block(data + n1, size - n1, head, keep, &n2);
  const size_t width = head == 44 ? 80 : 256;
  const std::string name = first_name(b.get(), n2, head, width);
  void* out = nullptr;
  find_slow_channel(a.get(), b.get(), name.c_str(), &out);
  find_upd_channel(a.get(), name.c_str(), &out);
  find_upd_channel(b.get(), first_name(a.get(), n1, head, width).c_str(), &out);
  copy_env_entries(a.get(), b.get());
  copy_env_entries(b.get(), a.get());
  copy_upd_entries(a.get(), b.get());
  copy_upd_entries(b.get(), a.get());
}

void server(const uint8_t* data, size_t size, int gen, bool keep, int evtype) {
  const size_t head = gen == 2009 ? 76 : gen == 2010 ? 284 : 304;
  if (size < head) return;
  if (gen == 2024) {
    size_t n = 0;
    auto b = copy_block64(data, size, 8, head, keep, &n);
    kova_event_slot_head_2024 slot{};
    slot.pattern = KOVA_EV_SLOT_PATTERN_2024;
    slot.evtype = evtype;
    dump_server_block_2024(&slot, reinterpret_cast<kova_serv_block_head_2024*>(b.get()));
    return;
  }
  size_t n = 0;
  auto b = copy_block(data, size, 8, head, keep, &n);
  kova_event_slot_head slot{};
  slot.evtype = evtype;
  dump_server_block(&slot, reinterpret_cast<kova_serv_block_head*>(b.get()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t selector = data[0];
  const uint8_t param = data[1];
  data += 2;
  size -= 2;
  const int head = fuzz::use_generation(selector);
  const int gen = (selector & 3) == 0 ? 2009 : (selector & 3) == 1 ? 2010 : 2024;
  const size_t subhead = gen == 2009 ? 44 : 268;
  const bool keep = (selector & 16) != 0;
  switch ((selector >> 2) & 3) {
    case 0: {
      if (size < static_cast<size_t>(head)) return 0;
      size_t n = 0;
      auto ev = head == 48 ? copy_block64(data, size, 8, head, keep, &n)
                           : copy_block(data, size, 4, head, keep, &n);
      print_event(ev.get(), nullptr);
      break;
    }
    case 1: {
      if (size < subhead) return 0;
      size_t n = 0;
      auto sb = sub_block(data, size, subhead, keep, &n);
      accessors(sb.get(), (param & 7) - 1, (param >> 3) & 1, (param >> 4) & 1);
      break;
    }
    case 2:
      server(data, size, gen, keep, param & 31);
      break;
    default:
      if (size >= subhead) pair(data, size, subhead, keep);
      break;
  }
  return 0;
}
