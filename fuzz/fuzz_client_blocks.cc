// The reader-side walks over one server block: the fast-channel search and
// the taking of slow sub-blocks into the local copies (two event types one
// after the other, so the second merges into what the first kept), then
// slow look-ups in the copies. Input: a selector byte, then the buffer that
// holds the server block (a heap allocation of exactly that length).
//   selector bit 0     tell the generation by the 2024 pattern (else 2010)
//   selector bits 1-2  channel looked for: "A.1", "SRV00.CH00", 256 x 'n',
//                      or the first sub-block's own name
//   selector bits 3-5  first event type, bits 6-7 second (heart beat, begin
//                      of run, end of run, environment, update)
#include <cstdlib>
#include <cstring>
#include <string>

#include "block_walks.h"
#include "event_util.h"
#include "fuzz_input.h"
#include "local_copies.h"

namespace {

using namespace hesk_client;

const int kSlowTypes[] = {KOVA_EV_HB, KOVA_EV_BOR, KOVA_EV_EOR, KOVA_EV_ENV, KOVA_EV_UPD};

std::string channel(uint8_t sel, const ServerBlock& b) {
  switch ((sel >> 1) & 3) {
    case 0:
      return "A.1";
    case 1:
      return "SRV00.CH00";
    case 2:
      return std::string(256, 'n');
    default:
      if (b.buffer >= b.head + kSubHead) {
        std::string n(b.sub_at(b.head)->chname, 256);
        n.resize(strnlen(n.c_str(), 256));
        if (!n.empty()) return n;
      }
      return "X";
  }
}

// A sub-block the search returned must lie wholly within the block.
void check_hit(const ServerBlock& b, kova_serv_block_subhead_2010* hit) {
  const char* p = reinterpret_cast<const char*>(hit);
  if (p < b.base + b.head || p + kSubHead > b.base + b.ltotal || b.ltotal > b.buffer ||
      sub_ldata(hit) < kSubHead || p + sub_ldata(hit) > b.base + b.ltotal)
    abort();
  // What a reader does next reads within the sub-block (the accessors
  // require a 4-byte aligned sub-block).
  if (reinterpret_cast<uintptr_t>(p) % 4 != 0) return;
  get_pointer_to_data_2010(hit, 0);
  float start, inc;
  int ndata, groups;
  get_spect_params_for_data_type_2010(hit, &start, &inc, nullptr, &ndata, &groups, nullptr, nullptr,
                                      0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t sel = data[0];
  const size_t n = size - 1;
  auto buf = fuzz::exact_copy(data + 1, n, n);
  ServerBlock b;
  if (!view_block(reinterpret_cast<char*>(buf.get()), static_cast<int64_t>(n), sel & 1, &b))
    return 0;

  const std::string name = channel(sel, b);
  ChannelKey key(name.c_str());
  kova_serv_block_subhead_2010* hit = nullptr;
  if (search_block(b, key, &hit) == Search::kFound) check_hit(b, hit);

  clean_local_copies();
  take_slow_blocks(kSlowTypes[((sel >> 3) & 7) % 5], b, "fuzz");
  take_slow_blocks(kSlowTypes[(sel >> 6) & 3], b, "fuzz");
  {
    CopiesLock lock;
    void* entry = nullptr;
    find_upd_channel_2010(lock.get(kUpdCopy), name.c_str(), &entry);
    find_slow_channel_2010(lock.get(kEnvCopy), lock.get(kDictCopy), name.c_str(), &entry);
    find_slow_channel_2010(lock.get(kEnvCopy), lock.get(kDictCopy), "T", &entry);
  }
  clean_local_copies();
  return 0;
}
