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

// One sub-block in host order, built inside a one-block event and cut out.
template <typename Fill>
std::vector<unsigned char> lone_sub(int gen, const char* name, int type, Fill fill) {
  dual::Values v;
  dual::DualEvent ev(gen, 1);
  ev.begin_server("SRV");
  ev.begin_sub(name, type);
  fill(ev.data(), v);
  ev.end_sub();
  ev.end_server();
  ev.finish();
  const std::vector<unsigned char>& h = ev.buf().host;
  return std::vector<unsigned char>(h.begin() + ev.head_size() + ev.server_size(),
                                    h.end() - (gen == 2024 ? 8 : 4));
}

// Seeds of fuzz_channel_print: single sub-blocks of the device families,
// dictionary/environment pairs, small events and one server block.
void channel_print_seeds(const std::filesystem::path& root) {
  const std::filesystem::path dir = root / "fuzz_channel_print";
  const uint8_t keep = 16;
  const int rois[3] = {2, 1, 1};
  const std::string cut(1, static_cast<char>(2 | 8 | 16));  // channel 1, mode 1, form 1
  write(dir, "fast_2009", 4 | keep,
        lone_sub(2009, "BPM.1", 6,
                 [](dual::DualBuffer& d, dual::Values& v) { dual::fast_2009(d, 2, 4, v); }),
        cut);
  write(dir, "roi_2009", 4 | keep,
        lone_sub(2009, "CAM.ROI", 25,
                 [&](dual::DualBuffer& d, dual::Values& v) { dual::roi(d, 2, rois, v); }),
        cut);
  // The image head as readers see it (kova_image_frame_head), then 8 pixels.
  write(dir, "image_2009", 4 | keep,
        lone_sub(2009, "CAM", 13,
                 [](dual::DualBuffer& d, dual::Values&) {
                   for (int32_t w : {4, 2, 1, 0, 3, 0, 77, 0, 8, 0})
                     d.i32(w);  // event_nm 77 in two words
                   d.raw_fill(8, 0x33);
                 }),
        cut);
  write(dir, "samples_2010", 1 | 4 | keep,
        lone_sub(2010, "BPM.2", 38,
                 [](dual::DualBuffer& d, dual::Values& v) { dual::spectrum_2010(d, 2, 3, 1, v); }),
        cut);
  write(dir, "roi_2010", 1 | 4 | keep,
        lone_sub(2010, "CAM.ROI", 26,
                 [&](dual::DualBuffer& d, dual::Values& v) { dual::roi(d, 3, rois, v); }),
        cut);
  write(dir, "generic_2010", 1 | 4 | keep,
        lone_sub(2010, "GEN", 28,
                 [](dual::DualBuffer& d, dual::Values& v) {
                   dual::generic_spectra(d, {{2, 1}, {1, 2}}, v);
                 }),
        cut);
  write(dir, "name_value_2010", 1 | 4 | keep,
        lone_sub(2010, "NV", 22,
                 [](dual::DualBuffer& d, dual::Values& v) { dual::name_value(d, 2, v); }),
        cut);
  write(dir, "image_ext_2024", 2 | 4 | keep,
        lone_sub(2024, "CAM", 27,
                 [](dual::DualBuffer& d, dual::Values& v) { dual::image_27(d, 1, 8, v); }),
        cut);
  for (int gen : {2009, 2010}) {
    const int base = gen == 2009 ? 0 : 32;
    std::vector<unsigned char> pair = lone_sub(
        gen, "ENV", base + 3,
        [&](dual::DualBuffer& d, dual::Values& v) { dual::slow_entries(d, base + 3, 2, v); });
    const std::vector<unsigned char> dict = lone_sub(
        gen, "DICT", base + 2,
        [&](dual::DualBuffer& d, dual::Values& v) { dual::slow_entries(d, base + 2, 1, v); });
    pair.insert(pair.end(), dict.begin(), dict.end());
    write(dir, "pair_" + std::to_string(gen), selector_of(gen) | 12 | keep, pair,
          std::string(1, '\0'));
  }
  dual::Values v;
  dual::DualEvent env(2009, 4);
  for (const char* s : {"SRV.A", "SRV.B"}) {
    env.begin_server(s);
    env.begin_sub("ENV", 3);
    dual::slow_entries(env.data(), 3, 2, v);
    env.end_sub();
    env.end_server();
  }
  env.finish();
  write(dir, "env_event_2009", keep, env.buf().host, std::string(1, '\0'));
  dual::DualEvent normal(2010, 1);
  normal.begin_server("SRV.N");
  normal.begin_sub("TORO", 10);
  dual::fast_2009(normal.data(), 1, 3, v);
  normal.end_sub();
  normal.begin_sub("UPD", 33);
  dual::slow_entries(normal.data(), 33, 1, v);
  normal.end_sub();
  normal.end_server();
  normal.finish();
  write(dir, "normal_event_2010", 1 | keep, normal.buf().host, std::string(1, '\0'));
  dual::DualEvent upd(2024, 5);
  upd.begin_server("SRV.U");
  upd.begin_sub("DICT", 34);
  dual::slow_entries(upd.data(), 34, 1, v);
  upd.end_sub();
  upd.end_server();
  upd.finish();
  write(dir, "upd_event_2024", 2 | keep, upd.buf().host, std::string(1, '\0'));
  const std::vector<unsigned char>& n = normal.buf().host;
  write(dir, "server_2010", 1 | 8 | keep,
        std::vector<unsigned char>(n.begin() + normal.head_size(), n.end() - 4),
        std::string(1, '\1'));
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
  channel_print_seeds(root);
  return 0;
}
