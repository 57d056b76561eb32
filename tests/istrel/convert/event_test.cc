// Fixed records, whole events and server blocks in all three generations:
// exact agreement with the dual encoding in both directions, in place and out
// of place, and refusal of events whose lengths do not hold together.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dual_event.h"
#include "event_util.h"
#include "generation_guard.h"

using dual::DualBuffer;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;
using Bytes = std::vector<unsigned char>;

namespace {

void use_generation(int g) {
  if (g == 2009) GenerationGuard::use_2009();
  if (g == 2010) set_data_format_2010(true);
  if (g == 2024) set_data_format_2024(true);
}

// Copy on the heap of exactly the event's bytes, so a sanitizer sees overruns.
struct Exact {
  explicit Exact(const Bytes& b) : n(b.size()), p(new unsigned char[b.size()]) {
    memcpy(p.get(), b.data(), n);
  }
  Bytes bytes() const { return Bytes(p.get(), p.get() + n); }
  size_t n;
  std::unique_ptr<unsigned char[]> p;
};

int to_network(const Bytes& host, Bytes* net) {
  Exact in(host), out(Bytes(host.size(), 0xEE));
  int rc = kova_convert_event_hton(in.p.get(), out.p.get(), 0);
  *net = out.bytes();
  return rc;
}

int to_host(const Bytes& net, Bytes* host) {
  Exact in(net), out(Bytes(net.size(), 0xEE));
  int rc = kova_convert_event(in.p.get(), out.p.get());
  *host = out.bytes();
  return rc;
}

void put32(Bytes& b, size_t at, uint32_t v) {
  memcpy(b.data() + at, &v, 4);
}
void put64(Bytes& b, size_t at, uint64_t v) {
  memcpy(b.data() + at, &v, 8);
}

class EventConversion : public testing::TestWithParam<int> {
 protected:
  void SetUp() override { use_generation(GetParam()); }
  int gen() const { return GetParam(); }
  int head() const { return gen() == 2024 ? 48 : 36; }
  int server() const { return gen() == 2009 ? 76 : gen() == 2010 ? 284 : 304; }
  int sub() const { return gen() == 2009 ? 44 : 268; }
  int tail() const { return gen() == 2024 ? 8 : 4; }
  // Offsets of the length fields.
  size_t ltotal_at(size_t sb) const { return sb + 8; }
  size_t ldata_at(size_t sb) const { return sb + sub() - 4; }
  size_t nsb_at() const { return gen() == 2024 ? 40 : 32; }
  GenerationGuard guard_;
};

// Both directions, in place and out of place, byte for byte.
void expect_round_trip(const DualBuffer& ev) {
  Bytes net, host;
  ASSERT_EQ(to_network(ev.host, &net), 0);
  EXPECT_EQ(net, ev.net);
  ASSERT_EQ(to_host(ev.net, &host), 0);
  EXPECT_EQ(host, ev.host);
  Exact in_place(ev.host);
  ASSERT_EQ(kova_convert_event_hton(in_place.p.get(), in_place.p.get(), 0), 0);
  EXPECT_EQ(in_place.bytes(), ev.net);
  ASSERT_EQ(kova_convert_event(in_place.p.get(), in_place.p.get()), 0);
  EXPECT_EQ(in_place.bytes(), ev.host);
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Generations, EventConversion, testing::Values(2009, 2010, 2024));

TEST_P(EventConversion, EveryPayloadTypeCompressedAndPadded) {
  expect_round_trip(dual::every_payload_event(gen()));
}

TEST_P(EventConversion, EnvironmentEvents) {
  expect_round_trip(dual::env_event(gen(), 3, 5));
  expect_round_trip(dual::env_event(gen(), 1, 0));
}

TEST_P(EventConversion, EventWithoutServerBlocks) {
  dual::DualEvent ev(gen(), 0);
  ev.finish();
  EXPECT_EQ(ev.buf().size(), gen() == 2024 ? 56u : 40u);
  expect_round_trip(ev.buf());
}

TEST_P(EventConversion, FixedRecordsMatchTheirLayouts) {
  DualBuffer ev = dual::env_event(gen(), 1, 1);
  Bytes out(ev.size(), 0);
  ASSERT_EQ(kova_convert_event_head(ev.host.data(), out.data()), 0);
  // The 2024 header's padding is not the converter's business.
  EXPECT_EQ(Bytes(out.begin(), out.begin() + (gen() == 2024 ? 44 : 36)),
            Bytes(ev.net.begin(), ev.net.begin() + (gen() == 2024 ? 44 : 36)));
  ASSERT_EQ(kova_convert_event_head(out.data(), out.data()), 0);  // the twin is accepted
  // So is the 2024 server block head's.
  const int described = gen() == 2024 ? 300 : server();
  ASSERT_EQ(kova_convert_event_serv_block_head(ev.net.data() + head(), out.data()), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + described),
            Bytes(ev.host.begin() + head(), ev.host.begin() + head() + described));
  const size_t sb = head();
  out.assign(ev.size(), 0);
  ASSERT_EQ(kova_convert_event_serv_block_subhead(ev.net.data() + sb + server(), out.data()), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + sub()),
            Bytes(ev.host.begin() + sb + server(), ev.host.begin() + sb + server() + sub()));
  const size_t t = ev.size() - tail();
  ASSERT_EQ(kova_convert_event_tail(ev.net.data() + t, out.data()), 0);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + tail()), Bytes(ev.host.begin() + t, ev.host.end()));
}

TEST_P(EventConversion, WrongPatternIsRefused) {
  DualBuffer ev = dual::env_event(gen(), 1, 1);
  const uint32_t other = gen() == 2010 ? 0xFFEEFFEEu : 0xFFEEFFDDu;  // another generation's
  Bytes host = ev.host;
  put32(host, 0, other);
  Bytes net;
  CaptureStdout();
  EXPECT_EQ(to_network(host, &net), 15);
  std::string said = GetCapturedStdout();
  if (gen() == 2024) {
    EXPECT_EQ(said, "PATTERN: DDFFEEFF  FFCCFFCC  CCFFCCFF  \nkova_convert_event_head err:15\n");
  } else {
    EXPECT_EQ(said, "");
  }
  put32(host, 0, __builtin_bswap32(other));
  CaptureStdout();
  EXPECT_EQ(to_host(host, &net), 15);
  GetCapturedStdout();
}

TEST_P(EventConversion, TailMustRepeatTheLength) {
  DualBuffer ev = dual::env_event(gen(), 2, 2);
  Bytes host = ev.host, net = ev.net, out;
  const size_t t = ev.size() - tail();
  if (gen() == 2024) {
    put64(host, t, ev.size() + 8);
    put64(net, t, __builtin_bswap64(ev.size() + 8));
  } else {
    put32(host, t, static_cast<uint32_t>(ev.size() + 8));
    put32(net, t, __builtin_bswap32(static_cast<uint32_t>(ev.size() + 8)));
  }
  CaptureStdout();
  EXPECT_EQ(to_network(host, &out), 13);
  EXPECT_EQ(to_host(net, &out), 13);
  std::string said = GetCapturedStdout();
  if (gen() == 2024) {
    EXPECT_EQ(said, "Tail: " + std::to_string(ev.size() + 8) +
                        " != Heade: " + std::to_string(ev.size()) + "\n");
  } else {
    EXPECT_EQ(said, "");
  }
}

TEST_P(EventConversion, EnvEventNeedsEnvironmentBlocks) {
  dual::Values v;
  dual::DualEvent ev(gen(), KOVA_EV_ENV);
  ev.begin_server("ENV.SERVER");
  ev.begin_sub("UPD", KOVA_UPD_BLOCK_2010);
  dual::slow_entries(ev.data(), KOVA_UPD_BLOCK_2010, 1, v);
  ev.end_sub();
  ev.end_server();
  ev.finish();
  Bytes out;
  CaptureStdout();
  EXPECT_EQ(to_network(ev.buf().host, &out), 14);
  EXPECT_EQ(to_host(ev.buf().net, &out), 14);
  GetCapturedStdout();
}

TEST_P(EventConversion, OneServerBlockAlone) {
  DualBuffer ev = dual::every_payload_event(gen());
  const size_t sb = head();
  uint64_t ltotal = 0;
  memcpy(&ltotal, ev.host.data() + sb + 8, gen() == 2024 ? 8 : 4);
  Bytes host(ev.host.begin() + sb, ev.host.begin() + sb + ltotal);
  Bytes net(ev.net.begin() + sb, ev.net.begin() + sb + ltotal);
  Exact in(host), out(Bytes(host.size(), 0xEE));
  EXPECT_EQ(kova_convert_event_hton(in.p.get(), out.p.get(), 7), 0);
  EXPECT_EQ(out.bytes(), net);
  Exact again(host);
  EXPECT_EQ(kova_convert_server_block_hton(again.p.get(), again.p.get()), 0);
  EXPECT_EQ(again.bytes(), net);
}

TEST_P(EventConversion, InconsistentLengthsAreRefusedWithinTheEvent) {
  DualBuffer ev = dual::every_payload_event(gen());
  const size_t sb = head();
  uint32_t lt32 = 0;
  memcpy(&lt32, ev.host.data() + sb + 8, 4);
  struct Damage {
    const char* what;
    size_t at;
    uint64_t value;
    bool wide;
    int code;
  };
  const bool w = gen() == 2024;
  const uint64_t n = ev.size();
  const Damage damage[] = {
      {"one server block more", nsb_at(), 8, false, 13},
      {"one server block less", nsb_at(), 6, false, 13},
      {"server block beyond the event", ltotal_at(sb), n, w, 13},
      {"server block shorter than its head", ltotal_at(sb), 10, w, 13},
      {"negative server block", ltotal_at(sb), static_cast<uint64_t>(-1), w, 13},
      {"sub-block beyond its server block", ldata_at(sb + server()), lt32, false, 11},
      {"sub-block shorter than its head", ldata_at(sb + server()), 3, false, 11},
      {"negative sub-block", ldata_at(sb + server()), 0x80000000u, false, 11},
      {"more sub-blocks than bytes", sb + server() - (w ? 8 : 4), 100000, false, 11},
      {"event shorter than header and tail", w ? 8u : 4u, 10, w, 13},
      {"event length beyond its blocks", w ? 8u : 4u, n - 4, w, 13},
  };
  for (const Damage& d : damage) {
    Bytes host = ev.host, net = ev.net, out;
    if (d.wide) {
      put64(host, d.at, d.value);
      put64(net, d.at, __builtin_bswap64(d.value));
    } else {
      put32(host, d.at, static_cast<uint32_t>(d.value));
      put32(net, d.at, __builtin_bswap32(static_cast<uint32_t>(d.value)));
    }
    CaptureStdout();
    EXPECT_EQ(to_network(host, &out), d.code) << d.what;
    EXPECT_EQ(to_host(net, &out), d.code) << d.what;
    GetCapturedStdout();
  }
}

TEST_P(EventConversion, EnvBlockLengthsAreChecked) {
  DualBuffer ev = dual::env_event(gen(), 2, 3);
  const size_t sub_at = head() + server();
  for (uint32_t ldata : {0u, 3u, 100000u}) {
    Bytes host = ev.host, net = ev.net, out;
    put32(host, ldata_at(sub_at), ldata);
    put32(net, ldata_at(sub_at), __builtin_bswap32(ldata));
    EXPECT_EQ(to_network(host, &out), 14) << ldata;
    EXPECT_EQ(to_host(net, &out), 14) << ldata;
  }
}

TEST_P(EventConversion, RandomDamageNeverOverruns) {
  DualBuffer ev = dual::every_payload_event(gen());
  uint32_t seed = 99;
  for (int round = 0; round < 300; ++round) {
    Bytes host = ev.host, net = ev.net, out;
    for (int k = 0; k < 3; ++k) {
      seed = seed * 1103515245u + 12345u;
      size_t at = (seed >> 8) % host.size();
      seed = seed * 1103515245u + 12345u;
      host[at] ^= static_cast<unsigned char>(seed >> 16);
      net[at] ^= static_cast<unsigned char>(seed >> 16);
    }
    CaptureStdout();
    // A refusal is one of the converter's codes (or, from a framework-data
    // payload, one of the bridge's -1, -3, -4); an accepted event converts
    // back to what it was.
    Bytes net_out, host_out, host_back, net_back;
    int to_net = to_network(host, &net_out);
    int back_host = to_net == 0 ? to_host(net_out, &host_back) : -1;
    int to_hst = to_host(net, &host_out);
    int back_net = to_hst == 0 ? to_network(host_out, &net_back) : -1;
    std::string said = GetCapturedStdout();
    auto known = [](int rc) { return (rc >= 0 && rc <= 15) || rc == -1 || rc == -3 || rc == -4; };
    EXPECT_TRUE(known(to_net)) << to_net;
    EXPECT_TRUE(known(to_hst)) << to_hst;
    if (to_net == 0) {
      EXPECT_EQ(back_host, 0) << round << said;
      EXPECT_TRUE(host_back == host) << round;
    }
    if (to_hst == 0) {
      EXPECT_EQ(back_net, 0) << round << said;
      EXPECT_TRUE(net_back == net) << round;
    }
  }
}

TEST(EventConversion2024, FailingPayloadIsReportedWhenWriting) {
  GenerationGuard guard;
  set_data_format_2024(true);
  dual::DualEvent ev(2024, 1);
  ev.begin_server("SERVER");
  ev.begin_sub("ENERGY.CHANNEL", KOVA_BLOCK_ENERGY);
  ev.data().raw_fill(16, 1);
  ev.end_sub();
  ev.end_server();
  ev.finish();
  Bytes out;
  CaptureStdout();
  EXPECT_EQ(to_network(ev.buf().host, &out), 8);
  std::string said = GetCapturedStdout();
  EXPECT_NE(said.find("ENERGY.CHANNEL"), std::string::npos);
  EXPECT_NE(said.find("kova_convert_data (2) err:8\n"), std::string::npos);
  CaptureStdout();
  EXPECT_EQ(to_host(ev.buf().net, &out), 8);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST(FixedRecords, ImageAndSpectrumHeads) {
  dual::Values v;
  DualBuffer ext;
  dual::image_27(ext, 2, 10, v);
  Bytes out(100, 0);
  EXPECT_EQ(kova_convert_image_ext_head(ext.net.data(), out.data()), 0);
  EXPECT_EQ(out, Bytes(ext.host.begin(), ext.host.begin() + 100));
  unsigned char a[48], b[48];
  for (int i = 0; i < 48; ++i) a[i] = static_cast<unsigned char>(i);
  EXPECT_EQ(kova_convert_image_head(a, b), 0);
  EXPECT_EQ(b[0], 3);
  EXPECT_EQ(kova_convert_spect_head(a, b), 0);
  EXPECT_EQ(b[47], 44);
  EXPECT_EQ(kova_convert_zip_header(a, b), 0);
  EXPECT_EQ(b[11], 8);
  EXPECT_EQ(kova_convert_event_tail(nullptr, b), 2);
  EXPECT_EQ(kova_convert_event_head(a, nullptr), 6);
}
