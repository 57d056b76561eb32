// Whole events of each generation and single server blocks: the printed
// text, the walk's bounds and what a lying length does.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"
#include "generation_guard.h"
#include "print_text.h"
#include "sub_block.h"

using namespace testblock;
using printtext::captured;
using printtext::chan;
using printtext::server;

namespace {

std::vector<unsigned char> env_sub(int gen) {
  SubBlock b(gen, "ENV", gen == 2009 ? KOVA_ENV_BLOCK : KOVA_ENV_BLOCK_2010);
  env_entries(b, {0, 1}, 3.0f);
  return b.block();
}

std::vector<unsigned char> toroid_sub(int gen, int pad = 0) {
  SubBlock b(gen, "TORO.1", KOVA_BLOCK_TOROID);
  fast_2009(b, 1, 3);
  b.zeros(pad);
  return b.block();
}

std::vector<unsigned char> upd_sub() {
  SubBlock b(2010, "UPD", KOVA_UPD_BLOCK_2010);
  upd_entries(b, 2010, {"A", "B"}, 1.0f);
  return b.block();
}

std::vector<unsigned char> dict_sub() {
  SubBlock b(2010, "DICT", KOVA_ENV_DICT_BLOCK_2010);
  dict_entries(b, 2010, {"VAC"});
  return b.block();
}

const std::string kEnvEntries2009 =
    "ENV_BLOCK: indx:0\tstatus:0\ttime:2000:0\tvalue:3.000000e+00\n"
    "ENV_BLOCK: indx:1\tstatus:0\ttime:2000:1\tvalue:4.000000e+00\n";
const std::string kToroid =
    "BLOCK_TOROID: start:1.500000\tinc:0.250000\tndata:3\tMean:(Q:0.500000 )\n"
    "\nQ:\t0.000000e+00\t1.000000e+00\t2.000000e+00\n";
const std::string kUpdList =
    "UPD BLOCK:\nPROP: A STATUS: 0 TIME: 1000 sec 5 usec DATA:1\n"
    "PROP: B STATUS: 0 TIME: 1001 sec 5 usec DATA:2\n";

std::string header(const std::string& pattern, long length, const std::string& type, int n,
                   bool wide) {
  return "PATTERN:0x" + pattern + "  \tLength:" + std::to_string(length) + "  \tEvent#:9 " +
         (wide ? "(0x9) " : "") + "\tEventType:" + type +
         ":\t Time: 300 sec 4 usec\t tmask:0x3\n\t Status: 0\n\t #sblocks: " + std::to_string(n) +
         "\n";
}

std::string print_of(int gen, const std::vector<unsigned char>& ev) {
  Exact e(ev);
  return captured([&] {
    if (gen == 2024)
      print_event_2024(e.as<kova_eventheader_2024>(), nullptr);
    else if (gen == 2010)
      print_event_2010(e.as<kova_eventheader>(), nullptr);
    else
      print_event_2009(e.as<kova_eventheader>(), nullptr);
  });
}

}  // namespace

TEST(EventPrint, WholeEventOfEachGeneration) {
  EXPECT_EQ(print_of(2009, event(2009, KOVA_EV_ENV,
                                 {{"SRV.E", {env_sub(2009)}}, {"SRV.F", {env_sub(2009)}}})),
            header("FFEEFFEE", 360, "ENV", 2, false) + server("SRV.E", 160, 1) +
                chan("ENV", "3", "ENV_BLOCK", 84) + kEnvEntries2009 + server("SRV.F", 160, 1) +
                chan("ENV", "3", "ENV_BLOCK", 84) + kEnvEntries2009 + "TAIL: 360\n");
  EXPECT_EQ(print_of(2010, event(2010, KOVA_EV_NORMAL, {{"SRV.T", {toroid_sub(2010), upd_sub()}}})),
            header("FFEEFFDD", 1432, "NORMAL", 1, false) + server("SRV.T", 1392, 2) +
                chan("TORO.1", "A", "BLOCK_TOROID", 296) + kToroid +
                chan("UPD", "21", "UPD_BLOCK_2010", 812) + kUpdList + "TAIL: length:1432\n");
  EXPECT_EQ(print_of(2024, event(2024, KOVA_EV_UPD, {{"SRV.U", {dict_sub(), upd_sub()}}})),
            header("FFCCFFCC", 1704, "UPD", 1, true) + server("SRV.U", 1648, 2) +
                chan("DICT", "22", "ENV_DICT_BLOCK_2010", 532) +
                "ENV DICTIONARY:\nINDEX: 0 PROP: VAC ABS: 0.5 REL:0.25\n" +
                chan("UPD", "21", "UPD_BLOCK_2010", 812) + kUpdList + "TAIL: length:1704\n");
  // Wire-scanner events: heads only, except in 2024; an unknown type says so.
  const std::string ws = print_of(2010, event(2010, KOVA_EV_WS, {{"S", {toroid_sub(2010)}}}));
  EXPECT_EQ(ws.find("Mean:"), std::string::npos);
  EXPECT_NE(ws.find("Chan.name: TORO.1"), std::string::npos);
  EXPECT_NE(print_of(2024, event(2024, KOVA_EV_WS, {{"S", {toroid_sub(2024)}}})).find("Mean:"),
            std::string::npos);
  EXPECT_NE(print_of(2009, event(2009, KOVA_EV_MCP, {{"S", {toroid_sub(2009)}}}))
                .find("Uknonwn Event Type: 8\n"),
            std::string::npos);
  // An event without server blocks: header and tail.
  EXPECT_EQ(print_of(2010, event(2010, KOVA_EV_HB, {})),
            header("FFEEFFDD", 40, "HEART_BEAT", 0, false) + "TAIL: length:40\n");
}

TEST(EventPrint, DispatcherAndSeparateBuffer) {
  GenerationGuard guard;
  const std::vector<unsigned char> ev = event(2024, KOVA_EV_HB, {{"S", {toroid_sub(2024)}}});
  const std::string direct = print_of(2024, ev);
  Exact e(ev);
  set_data_format_2024(true);
  EXPECT_EQ(captured([&] { print_event(e.get(), nullptr); }), direct);
  // The blocks and tail after the header may lie elsewhere.
  std::vector<unsigned char> rest(ev.begin() + 48, ev.end());
  Exact r(rest);
  EXPECT_EQ(captured([&] {
              print_event_2024(e.as<kova_eventheader_2024>(), reinterpret_cast<char*>(r.get()));
            }),
            direct);
}

TEST(EventPrint, WalkStopsAtTheEventLength) {
  std::vector<unsigned char> ev =
      event(2010, KOVA_EV_NORMAL, {{"SRV.A", {toroid_sub(2010)}}, {"SRV.B", {toroid_sub(2010)}}});
  const uint32_t first_only = 36 + (284 + 296) + 4;
  memcpy(ev.data() + 4, &first_only, 4);
  ev.resize(first_only + 284 + 296);  // exactly the bytes up to the second block's end
  const std::string out = print_of(2010, ev);
  EXPECT_NE(out.find("SRV.A"), std::string::npos);
  EXPECT_EQ(out.find("SRV.B"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 17), "TAIL: length:300\n");  // read where the tail belongs

  // The 2009 walk takes num_svr_block blocks, but not past the event.
  std::vector<unsigned char> old = event(2009, KOVA_EV_ENV, {{"SRV.E", {env_sub(2009)}}});
  const int32_t three = 3;
  memcpy(old.data() + 32, &three, 4);
  const std::string text = print_of(2009, old);
  EXPECT_NE(text.find("print_event_2009() corrupted server block 1: 0 bytes left in the event\n"
                      "TAIL: 200\n"),
            std::string::npos);
}

TEST(EventPrint, LyingLengthsStayInsideTheEvent) {
  const std::vector<unsigned char> good =
      event(2010, KOVA_EV_NORMAL, {{"SRV.T", {toroid_sub(2010), upd_sub()}}});
  const size_t sb = 36, sub0 = 36 + 284, sub1 = sub0 + 296;
  struct Case {
    const char* what;
    size_t at;
    int32_t value;
    std::string says;
  };
  const Case cases[] = {
      {"ltotal past the event", sb + 8, 100000,
       "print_event_2010() corrupted server block 0: ltotal 100000, 1392 bytes left in the "
       "event\nTAIL: length:1432\n"},
      {"ltotal below the head", sb + 8, 12,
       "print_event_2010() corrupted server block 0: ltotal 12, 1392 bytes left in the event\n"},
      {"ldata past the server block", sub1 + 264, 813,
       "print_event_2010() corrupted sub-block 1: ldata 813, 812 bytes left in the server block\n"},
      {"ldata below the head", sub0 + 264, 8,
       "print_event_2010() corrupted sub-block 0: ldata 8, 1108 bytes left in the server block\n"},
      {"more sub-blocks than fit", sb + 280, 3,
       "print_event_2010() corrupted sub-block 2: 0 bytes left in the server block\n"},
      {"event shorter than header and tail", 4, 39,
       "print_event_2010() corrupted event: length 39 below 40\n"},
      {"samples past ldata", sub0 + 268 + 12, 1000, "Corrupted data in BLOCK_TOROID TORO.1 (1 != "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unsigned char> ev = good;
    memcpy(ev.data() + c.at, &c.value, 4);
    const std::string out = print_of(2010, ev);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
  std::vector<unsigned char> wide = event(2024, KOVA_EV_HB, {});
  const int64_t negative = -8;
  memcpy(wide.data() + 8, &negative, 8);
  EXPECT_NE(print_of(2024, wide).find("print_event_2024() corrupted event: length -8 below 56\n"),
            std::string::npos);
}

TEST(EventPrint, SubBlocksAtOddAddresses) {
  // Two padding bytes after the first payload put the second sub-block at an
  // address that is not a multiple of 4.
  SubBlock odd(2010, "ODD", KOVA_BLOCK_TOROID);
  fast_2009(odd, 1, 3);
  odd.zeros(2);
  const std::string out =
      print_of(2010, event(2010, KOVA_EV_NORMAL, {{"S", {odd.block(), toroid_sub(2010)}}}));
  EXPECT_NE(out.find(chan("TORO.1", "A", "BLOCK_TOROID", 296) + kToroid), std::string::npos);
}

TEST(ServerBlockDump, SlotSelectsTheEventType) {
  GenerationGuard guard;
  kova_event_slot_head slot{};
  slot.evtype = KOVA_EV_HB;
  const std::vector<unsigned char> sb = server_block(2010, {"SRV.D", {dict_sub(), env_sub(2010)}});
  Exact b(sb);
  set_data_format_2010(true);
  const std::string env_line =
      "ENV_BLOCK_2010: indx:0\tstatus:0\ttime:2000:0\tvalue:3.000000e+00\n"
      "ENV_BLOCK_2010: indx:1\tstatus:0\ttime:2000:1\tvalue:4.000000e+00\n";
  EXPECT_EQ(captured([&] { dump_server_block(&slot, b.as<kova_serv_block_head>()); }),
            server("SRV.D", 284 + 532 + 308, 2, "HEART_BEAT:") +
                chan("DICT", "22", "ENV_DICT_BLOCK_2010", 532) +
                "ENV DISCTIONARY:\nINDEX: 0 PROP: VAC ABS: 0.5 REL:0.25\n" +
                chan("ENV", "23", "ENV_BLOCK_2010", 308) + env_line);
  EXPECT_EQ(captured([&] { dump_server_block(nullptr, b.as<kova_serv_block_head>()); }),
            "dump_server_block() no event type given\n");

  GenerationGuard::use_2009();
  Exact old(server_block(2009, {"SRV.E", {env_sub(2009)}}));
  slot.evtype = KOVA_EV_ENV;
  EXPECT_EQ(captured([&] { dump_server_block(&slot, old.as<kova_serv_block_head>()); }),
            server("SRV.E", 160, 1, "ENV:") + chan("ENV", "3", "ENV_BLOCK", 84) + kEnvEntries2009);
}

TEST(ServerBlockDump, Generation2024) {
  kova_event_slot_head_2024 slot{};
  slot.pattern = KOVA_EV_SLOT_PATTERN_2024;
  slot.evtype = KOVA_EV_UPD;
  Exact b(server_block(2024, {"SRV.U", {upd_sub()}}));
  auto* head = b.as<kova_serv_block_head_2024>();
  EXPECT_EQ(
      captured([&] { dump_server_block_2024(&slot, head); }),
      server("SRV.U", 304 + 812, 1, "UPD:") + chan("UPD", "21", "UPD_BLOCK_2010", 812) + kUpdList);
  slot.pattern = 0;
  EXPECT_EQ(captured([&] { dump_server_block_2024(&slot, head); }),
            "dump_event_subheader: INVALID pattern: slot: 0x0 header: 0xFBABBAFFFBABBAFF (must be "
            "0xFBABBAFFFBABBAFF)\n");
  EXPECT_EQ(captured([&] { dump_server_block_2024(nullptr, head); }),
            "dump_server_block() no event type given\n");
}
