// Writes the seed corpus of the fuzz targets from the test events (every
// payload type in all three generations, ENV events, empty events) and from
// the sub-block format table. Run by hand after the record layouts change:
//   build/<dir>/fuzz/fuzz_make_seeds fuzz/corpus
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dual_event.h"
#include "event_util.h"

namespace {

void write(const std::filesystem::path& dir, const std::string& name, uint8_t selector,
           const std::vector<unsigned char>& body, const std::string& prefix = "") {
  std::filesystem::create_directories(dir);
  std::ofstream f(dir / name, std::ios::binary);
  f.put(static_cast<char>(selector));
  f.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
  f.write(reinterpret_cast<const char*>(body.data()), static_cast<std::streamsize>(body.size()));
}

uint8_t selector_of(int gen) {
  return gen == 2009 ? 0 : gen == 2010 ? 1 : 2;
}

// A slow-data block of n channels and e entries in both byte orders.
dual::DualBuffer slow_block(int n, int e, bool wide) {
  dual::Values v;
  dual::DualBuffer d;
  d.u32(wide ? KOVA_SLOW_PATTERN_2024 : KOVA_SLOW_PATTERN);
  d.u32(0);
  d.u32(n);
  for (int c = 0; c < n; ++c) d.raw_text("SLOW/CHANNEL." + std::to_string(c), 256);
  d.i32(e);
  for (int i = 0; i < 2 * e; ++i) d.u32(v.next32());
  for (int i = 0; i < e; ++i) {
    if (wide) {
      d.u64(0x100000000ull + i);
    } else {
      d.u32(i);
    }
  }
  for (int i = 0; i < n * e; ++i) d.f32(v.nextf());
  for (int i = 0; i < n * e; ++i) d.i32(i);
  d.u32(0);
  d.patch_u32(4, static_cast<uint32_t>(d.size()));
  d.patch_u32(d.size() - 4, static_cast<uint32_t>(d.size()));
  return d;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus-dir>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root(argv[1]);
  for (int gen : {2009, 2010, 2024}) {
    const std::string g = std::to_string(gen);
    const uint8_t s = selector_of(gen);
    dual::DualBuffer every = dual::every_payload_event(gen);
    dual::DualBuffer env = dual::env_event(gen, 2, 3);
    dual::DualEvent empty(gen, 0);
    empty.finish();
    write(root / "fuzz_event_to_host", "every_" + g, s, every.net);
    write(root / "fuzz_event_to_host", "every_oop_" + g, s | 4 | 8, every.net);
    write(root / "fuzz_event_to_host", "env_" + g, s | 8, env.net);
    write(root / "fuzz_event_to_host", "empty_" + g, s, empty.buf().net);
    write(root / "fuzz_event_to_network", "every_" + g, s | 8, every.host);
    write(root / "fuzz_event_to_network", "env_oop_" + g, s | 4, env.host);
    write(root / "fuzz_event_to_network", "empty_" + g, s, empty.buf().host);
    const size_t head = gen == 2024 ? 48 : 36;
    write(root / "fuzz_event_to_network", "block_" + g, s | 16,
          std::vector<unsigned char>(every.host.begin() + head, every.host.end()));
  }
  // Every description with a payload of its type, both directions.
  for (int t = 1; t < KOVA_BLOCK_MAX_2010; ++t) {
    if (sblock_fmts[t][0] == '\0') continue;
    dual::Values v;
    dual::DualBuffer d;
    dual::payload_of_type(d, t, v);
    const std::string f = std::string(sblock_fmts[t]) + '\0';
    write(root / "fuzz_interpreter", "fmt_net_" + std::to_string(t), 0, d.net, f);
    write(root / "fuzz_interpreter", "fmt_host_" + std::to_string(t), 1 | 4, d.host, f);
    write(root / "fuzz_interpreter", "type_" + std::to_string(t), 8, d.net,
          std::string(1, static_cast<char>(t)));
  }
  for (int k = 0; k < dual::kEqKinds; ++k) {
    dual::Values v;
    dual::DualBuffer d;
    dual::eq_block(d, k, v);
    write(root / "fuzz_interpreter", "eq_" + std::to_string(k), 8 | 1, d.host, std::string(1, 23));
  }
  for (int k = 0; k < dual::kEqKinds; ++k) {
    dual::Values v;
    dual::DualBuffer d;
    dual::eq_block(d, k, v);
    write(root / "fuzz_eqdata_read", "copy_" + std::to_string(k), 1, d.host);
    write(root / "fuzz_eqdata_read", "wrap_" + std::to_string(k), 0, d.host);
  }
  for (int form = 0; form < 2; ++form) {
    for (int n : {0, 1, 3}) {
      dual::DualBuffer d = slow_block(n, 4, form == 1);
      write(root / "fuzz_slow_block", "slow_" + std::to_string(form) + "_" + std::to_string(n),
            static_cast<uint8_t>(form | 4), d.net);
    }
  }
  for (int bpp = 1; bpp <= 3; ++bpp) {
    dual::Values v;
    dual::DualBuffer a, b;
    dual::image_13(a, bpp, 20, v);
    dual::image_27(b, bpp, 20, v);
    write(root / "fuzz_interpreter", "img13_" + std::to_string(bpp), 8, a.net, std::string(1, 13));
    write(root / "fuzz_interpreter", "img27_" + std::to_string(bpp), 8 | 4, b.net,
          std::string(1, 27));
  }
  return 0;
}
