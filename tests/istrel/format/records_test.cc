#include <cstring>

#include <gtest/gtest.h>

#include "event.h"

TEST(EventRecords, EmptyEventIsHeaderPlusTail) {
  EXPECT_EQ(sizeof(kova_eventheader) + sizeof(kova_eventtail), 40u);
  EXPECT_EQ(sizeof(kova_eventheader_2024) + sizeof(kova_eventtail_2024), 56u);
}

TEST(EventRecords, ServerBlockGenerationIsToldByFirstEightBytes) {
  // A 2010 head holds its time stamp where a 2024 head holds the pattern.
  kova_serv_block_head_2010 h2010;
  memset(&h2010, 0, sizeof(h2010));
  h2010.time.timeup = 0xFBABBAFF;
  h2010.time.timelow = 0xFBABBAFE;
  uint64_t first;
  memcpy(&first, &h2010, sizeof(first));
  EXPECT_NE(first, KOVA_SB_PATTERN_2024);

  kova_serv_block_head_2024 h2024;
  memset(&h2024, 0, sizeof(h2024));
  h2024.pattern = KOVA_SB_PATTERN_2024;
  memcpy(&first, &h2024, sizeof(first));
  EXPECT_EQ(first, KOVA_SB_PATTERN_2024);
}

TEST(EventRecords, PatternsAndTheirSwappedTwins) {
  EXPECT_EQ(__builtin_bswap32(KOVA_EV_PATTERN_2009), 0xEEFFEEFFu);
  EXPECT_EQ(__builtin_bswap32(KOVA_EV_PATTERN_2010), 0xDDFFEEFFu);
  EXPECT_EQ(__builtin_bswap32(KOVA_EV_PATTERN_2024), 0xCCFFCCFFu);
  EXPECT_EQ(__builtin_bswap64(KOVA_SB_PATTERN_2024), 0xFFBAABFBFFBAABFBull);
  EXPECT_EQ(__builtin_bswap32(KOVA_SLOW_PATTERN), 0xCCFFEEFFu);
  EXPECT_EQ(__builtin_bswap32(KOVA_SLOW_PATTERN_2024), 0xFFFFEEFFu);
}

TEST(RecordUpgrade, EventHeaderGrowsAndTakesTheShiftedNumber) {
  kova_eventheader h;
  memset(&h, 0, sizeof(h));
  h.pattern = KOVA_EV_PATTERN_2010;
  h.event_length = 1000;
  h.event_number = 5;
  h.event_type = KOVA_EV_IMAGE;
  h.event_time = {1269644400, 123};
  h.tmask = 0x55;
  h.status = -3;
  h.num_svr_block = 2;

  kova_eventheader_2024 out;
  memset(&out, 0xAB, sizeof(out));
  copy_event_header_2010_to_2024(&h, &out, 0x100000000ull);
  EXPECT_EQ(out.pattern, KOVA_EV_PATTERN_2024);
  EXPECT_EQ(out.event_length, 1012);
  EXPECT_EQ(out.event_number, 0x100000005ull);
  EXPECT_EQ(out.event_type, KOVA_EV_IMAGE);
  EXPECT_EQ(out.event_time.timeup, 1269644400u);
  EXPECT_EQ(out.event_time.timelow, 123u);
  EXPECT_EQ(out.tmask, 0x55);
  EXPECT_EQ(out.status, -3);
  EXPECT_EQ(out.num_svr_block, 2);
}

TEST(RecordUpgrade, EventNumberIsZeroExtended) {
  kova_eventheader h;
  memset(&h, 0, sizeof(h));
  h.event_number = 0x80000001u;
  kova_eventheader_2024 out;
  copy_event_header_2010_to_2024(&h, &out, 0);
  EXPECT_EQ(out.event_number, 0x80000001ull);
}

TEST(RecordUpgrade, ServerBlockHeadSignExtendsMpulse) {
  kova_serv_block_head_2010 s;
  memset(&s, 0, sizeof(s));
  s.time = {10, 20};
  s.ltotal = 300;
  s.mpulse = 7;
  strcpy(s.server, "SERVER.A");
  s.server[255] = 'z';  // all 256 bytes are carried over
  s.tmask = 1;
  s.status = 2;
  s.nchan = 3;

  kova_serv_block_head_2024 out;
  copy_server_block_header_2010_to_2024(&s, &out, 0x300000000ull);
  EXPECT_EQ(out.pattern, KOVA_SB_PATTERN_2024);
  EXPECT_EQ(out.ltotal, 320);
  EXPECT_EQ(out.mpulse, 0x300000007ll);
  EXPECT_EQ(out.time.timeup, 10u);
  EXPECT_EQ(out.time.timelow, 20u);
  EXPECT_STREQ(out.server, "SERVER.A");
  EXPECT_EQ(out.server[255], 'z');
  EXPECT_EQ(out.tmask, 1);
  EXPECT_EQ(out.status, 2);
  EXPECT_EQ(out.nchan, 3);

  s.mpulse = -1;
  copy_server_block_header_2010_to_2024(&s, &out, 0x300000000ull);
  EXPECT_EQ(out.mpulse, -1);
}

TEST(RecordUpgrade, NullPointersChangeNothing) {
  kova_eventheader_2024 out;
  memset(&out, 0x5A, sizeof(out));
  kova_eventheader_2024 before = out;
  copy_event_header_2010_to_2024(nullptr, &out, 1);
  EXPECT_EQ(memcmp(&out, &before, sizeof(out)), 0);
  kova_eventheader h{};
  copy_event_header_2010_to_2024(&h, nullptr, 1);  // must not crash

  kova_serv_block_head_2024 sout;
  memset(&sout, 0x5A, sizeof(sout));
  kova_serv_block_head_2024 sbefore = sout;
  copy_server_block_header_2010_to_2024(nullptr, &sout, 1);
  EXPECT_EQ(memcmp(&sout, &sbefore, sizeof(sout)), 0);
  kova_serv_block_head_2010 s{};
  copy_server_block_header_2010_to_2024(&s, nullptr, 1);
}
