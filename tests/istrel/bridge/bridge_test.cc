// The framework data bridge: writing containers into type-23 sub-blocks,
// reading them back in copy and wrap mode, re-pointing, and the DAQ request
// helpers.
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "event_util.h"

namespace {

constexpr size_t kHead = sizeof(kova_serv_block_subhead_2010);

// A sub-block with `room` bytes after its head, 8-byte aligned.
class SubBlock {
 public:
  explicit SubBlock(size_t room) : mem_((kHead + room + 7) / 8, 0), room_(room) {}
  kova_serv_block_subhead_2010* head() {
    return reinterpret_cast<kova_serv_block_subhead_2010*>(mem_.data());
  }
  unsigned char* bytes() { return reinterpret_cast<unsigned char*>(mem_.data()); }
  unsigned char* payload() { return bytes() + kHead; }
  size_t room() const { return room_; }
  // Writes `d` and sets ldata; returns the payload length or the error.
  int write(EqData* d) {
    int rc = kova_eqdata_to_daq(d, head(), room_);
    if (rc > 0) head()->ldata = static_cast<int32_t>(kHead + rc);
    return rc;
  }
  std::vector<unsigned char> snapshot() {
    return std::vector<unsigned char>(bytes(), bytes() + kHead + room_);
  }
  void clear() { memset(bytes(), 0, kHead + room_); }

 private:
  std::vector<uint64_t> mem_;
  size_t room_;
};

// Reads a sub-block; a wrap container's block is freed with it.
struct Read {
  ~Read() {
    if (data == nullptr) return;
    EqDataBlock* b = data->get_data_block();
    bool wrapped = data->is_wrapper();
    delete data;
    if (wrapped) free(b);
  }
  EqData* data = nullptr;
  int rc = 0;
};

std::unique_ptr<Read> read(kova_serv_block_subhead_2010* sb, bool copy) {
  auto r = std::make_unique<Read>();
  r->rc = kova_daq_to_eqdata(nullptr, nullptr, sb, &r->data, copy);
  return r;
}

std::string text_of(const EqData& d) {
  char buf[4096];
  d.get_string(buf, sizeof(buf));
  return buf;
}

struct Kind {
  const char* name;
  int type;
  std::function<void(EqData&)> make;
};

void header_fields(EqData& d) {
  EqDataBlock* b = d.get_data_block();
  b->tm = 1700000123;
  b->tm_usec = 4567;
  b->error = 0x40;
  b->mp_lo = 0x11223344;
  b->mp_hi = 0x5;
  b->unused0 = 1;
  b->unused1 = 2;
  b->unused2 = 3;
  b->unused3 = 4;
}

SPECTRUM spectrum(const char* comment, std::vector<float>& samples) {
  SPECTRUM s{};
  s.comment = const_cast<char*>(comment);
  s.comment_len = 0;
  s.tm = 77;
  s.start = 1.5f;
  s.inc = 0.25f;
  s.status = 3;
  s.length = static_cast<uint32_t>(samples.size());
  s.data = samples.data();
  return s;
}

std::vector<Kind> kinds() {
  static std::vector<float> samples = {1, 2, 3, 4, 5};
  return {
      {"null", DATA_NULL, [](EqData&) {}},
      {"int", DATA_INT, [](EqData& d) { d.set(42); }},
      {"bool", DATA_BOOL,
       [](EqData& d) {
         d.set_type(DATA_BOOL);
         d.set(1);
       }},
      {"uint", DATA_UINT, [](EqData& d) { d.set(4000000000u); }},
      {"short", DATA_SHORT, [](EqData& d) { d.set(static_cast<short>(-5)); }},
      {"ushort", DATA_USHORT, [](EqData& d) { d.set(static_cast<unsigned short>(65000)); }},
      {"long", DATA_LONG, [](EqData& d) { d.set(static_cast<long>(1) << 40); }},
      {"ulong", DATA_ULONG, [](EqData& d) { d.set(~0ul); }},
      {"float", DATA_FLOAT, [](EqData& d) { d.set(2.5f); }},
      {"double", DATA_DOUBLE, [](EqData& d) { d.set(-1e300); }},
      {"xy", DATA_XY,
       [](EqData& d) {
         d.set(XY{1.5f, -2.5f});
       }},
      {"tds", DATA_TDS,
       [](EqData& d) {
         d.set(TDS{10, 20, 3.5f, 7});
       }},
      {"iiii", DATA_IIII,
       [](EqData& d) {
         d.set(IIII{1, 2, 3, 4});
       }},
      {"ifff", DATA_IFFF,
       [](EqData& d) {
         d.set(IFFF{1, 2.5f, 3.5f, 4.5f});
       }},
      {"ttii", DATA_TTII,
       [](EqData& d) {
         d.set(TTII{1, 2, 3, 4, 5, 6});
       }},
      {"string", DATA_STRING, [](EqData& d) { d.set("abcd"); }},
      {"text", DATA_TEXT,
       [](EqData& d) {
         d.set_type(DATA_TEXT);
         d.set("some text");
       }},
      {"xml", DATA_XML, [](EqData& d) { d.set_xml("<a b=\"1\"/>"); }},
      {"spectrum", DATA_SPECTRUM, [](EqData& d) { d.set(spectrum("comment", samples)); }},
      {"spectrum without comment", DATA_SPECTRUM,
       [](EqData& d) { d.set(spectrum(nullptr, samples)); }},
      {"gspectrum", DATA_GSPECTRUM,
       [](EqData& d) {
         GSPECTRUM g{};
         g.comment = const_cast<char*>("g");
         g.groups = 1;
         g.prm[5] = 9.5f;
         g.length = 3;
         g.data = samples.data();
         d.set(g);
       }},
      {"image", DATA_IMAGE,
       [](EqData& d) {
         IMH h{};
         h.width = 5;
         h.height = 1;
         h.bpp = 2;
         h.tm = 1700000123;
         h.tm_usec = 4567;
         h.status = 0x11223344;
         h.event_lo = 0x11223344;
         h.event_hi = 5;
         const unsigned char px[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
         d.set_image(px, 10, h, false, false, "camera");
       }},
      {"bytes", DATA_A_BYTE,
       [](EqData& d) {
         const unsigned char b[7] = {9, 8, 7, 6, 5, 4, 3};
         const int32_t prm[5] = {1, 2, 3, 4, 5};
         d.set_byte(b, 7, prm);
       }},
      {"mda float", DATA_MDA_FLOAT,
       [](EqData& d) {
         const int32_t dims[2] = {2, 3};
         const float v[6] = {1, 2, 3, 4, 5, 6};
         d.set_dims(dims, 2, "matrix", v);
       }},
      {"mda double", DATA_MDA_DOUBLE,
       [](EqData& d) {
         const int32_t dims[1] = {3};
         const double v[3] = {1.25, 2.5, 3.75};
         d.set_dimsd(dims, 1, nullptr, v);
       }},
      {"float array", DATA_A_FLOAT,
       [](EqData& d) {
         d.length(3);
         for (int i = 0; i < 3; ++i) d.set(1.5f * i, i);
       }},
      {"int array", DATA_A_INT,
       [](EqData& d) {
         d.length(2);
         d.set(7, 0);
         d.set(-8, 1);
       }},
      {"short array", DATA_A_SHORT,
       [](EqData& d) {
         d.length(3);
         for (int i = 0; i < 3; ++i) d.set(static_cast<short>(i - 1), i);
       }},
      {"double array", DATA_A_DOUBLE,
       [](EqData& d) {
         d.length(2);
         d.set(0.5, 0);
         d.set(-0.25, 1);
       }},
      {"ulong array", DATA_A_ULONG,
       [](EqData& d) {
         d.length(1);
         d.set(~0ul, 0);
       }},
      {"empty array", DATA_A_UINT, [](EqData& d) { d.set_type(DATA_A_UINT); }},
      {"xy array", DATA_A_XY,
       [](EqData& d) {
         d.length(2);
         d.set(XY{1, 2}, 0);
         d.set(XY{3, 4}, 1);
       }},
      {"tds array", DATA_A_TDS,
       [](EqData& d) {
         d.length(1);
         d.set(TDS{1, 2, 3, 4}, 0);
       }},
      {"thumbnails", DATA_A_THUMBNAIL,
       [](EqData& d) {
         d.set_type(DATA_A_THUMBNAIL);
         d.length(2);
         THUMBNAIL t{};
         t.width = 64;
         d.set_thumbnail(t, 1);
       }},
      {"ustr array", DATA_A_USTR,
       [](EqData& d) {
         d.set_type(DATA_A_USTR);
         d.length(3);
         USTR u{};
         u.i1_data = 5;
         u.str = const_cast<char*>("first");
         d.set(u, 0);
         u.str = nullptr;
         d.set(u, 1);
         u.str = const_cast<char*>("third one");
         d.set(u, 2);
       }},
      {"xyzs array", DATA_A_XYZS,
       [](EqData& d) {
         d.set_type(DATA_A_XYZS);
         d.length(1);
         XYZS x{};
         x.x = 1;
         x.str = const_cast<char*>("here");
         d.set(x, 0);
       }},
      {"ts spectra", DATA_A_TS_SPECTRUM,
       [](EqData& d) {
         d.set_type(DATA_A_TS_SPECTRUM);
         d.length(2);
         d.set_ts_spect(spectrum("one", samples), 11, 1, 2, 0);
         std::vector<float> two = {9};
         d.set_ts_spect(spectrum(nullptr, two), 12, 3, 4, 1);
       }},
      {"ts gspectra", DATA_A_TS_GSPECTRUM,
       [](EqData& d) {
         d.set_type(DATA_A_TS_GSPECTRUM);
         d.length(1);
         GSPECTRUM g{};
         g.comment = const_cast<char*>("gs");
         g.length = 2;
         g.data = samples.data();
         d.set_ts_gspect(g, 5, 6, 7, 0);
       }},
      {"keyval", DATA_KEYVAL,
       [](EqData& d) {
         d.clear_keys();
         d.set_val("gain", "1.5");
         d.set_val("mode", "a:b");
       }},
  };
}

}  // namespace

TEST(BridgeWrite, IntegerPayload) {
  EqData d;
  d.set(42);
  header_fields(d);
  SubBlock sb(256);
  ASSERT_EQ(sb.write(&d), 48);
  EXPECT_EQ(sb.head()->dtype, KOVA_BLOCK_EQDATA);
  const unsigned char* p = sb.payload();
  int32_t i32;
  int64_t i64;
  memcpy(&i32, p, 4);
  EXPECT_EQ(i32, DATA_INT);
  memcpy(&i64, p + 4, 8);
  EXPECT_EQ(i64, 1700000123);
  memcpy(&i32, p + 12, 4);
  EXPECT_EQ(i32, 0x40);
  memcpy(&i32, p + 16, 4);
  EXPECT_EQ(i32, 4567);
  memcpy(&i32, p + 20, 4);
  EXPECT_EQ(i32, 0x11223344);
  memcpy(&i32, p + 40, 4);
  EXPECT_EQ(i32, 4);
  memcpy(&i32, p + 44, 4);
  EXPECT_EQ(i32, 42);
}

TEST(BridgeWrite, StringsArePaddedToFour) {
  EqData d;
  d.set("abc");
  SubBlock sb(256);
  EXPECT_EQ(sb.write(&d), 48);
  d.set("abcd");
  memset(sb.payload(), 0xEE, sb.room());
  ASSERT_EQ(sb.write(&d), 52);
  EXPECT_EQ(memcmp(sb.payload() + 44, "abcd\0\0\0\0", 8), 0);
}

TEST(BridgeWrite, RoomIsCheckedAtEveryStep) {
  EqData d;
  d.length(3);
  for (int i = 0; i < 3; ++i) d.set(1.0f * i, i);
  ASSERT_EQ(d.type(), DATA_A_FLOAT);
  SubBlock big(60), small(59), tiny(10);
  EXPECT_EQ(big.write(&d), 60);
  EXPECT_EQ(small.write(&d), -2);
  EXPECT_EQ(tiny.write(&d), -2);
  EXPECT_EQ(tiny.head()->dtype, KOVA_BLOCK_EQDATA);
  EqData m;
  const int32_t dims[1] = {2};
  m.set_dims(dims, 1, nullptr, nullptr);
  SubBlock exact(44 + 64 + 8 + 64), short_mda(44 + 64 + 8 + 63);
  EXPECT_EQ(exact.write(&m), 44 + 64 + 8 + 64);
  EXPECT_EQ(short_mda.write(&m), -2);
  EXPECT_EQ(kova_eqdata_to_daq(nullptr, big.head(), 60), -1);
  EXPECT_EQ(kova_eqdata_to_daq(&d, nullptr, 60), -1);
  EXPECT_EQ(kova_eqdata_to_daq(&d, big.head(), 0), -1);
}

TEST(BridgeWrite, RefusedTypesEverywhere) {
  for (int type : {DATA_A_TS_INT, DATA_USTR}) {
    const int code = type == DATA_A_TS_INT ? -3 : -4;
    EqData d;
    d.set_type(type);
    SubBlock sb(256);
    EXPECT_EQ(sb.write(&d), code);
    // A stored block of that type is refused when read back, too.
    sb.head()->ldata = static_cast<int32_t>(kHead + 64);
    EXPECT_EQ(read(sb.head(), true)->rc, code);
    EXPECT_EQ(read(sb.head(), false)->rc, code);
    EXPECT_EQ(kova_daq_eqdata_correct_addresses(&d), code);
  }
}

TEST(BridgeRead, CopyModeWritesBackTheSameBytes) {
  for (const Kind& k : kinds()) {
    EqData a;
    header_fields(a);
    k.make(a);
    ASSERT_EQ(a.type(), k.type) << k.name;
    SubBlock sb(4096);
    const int len = sb.write(&a);
    ASSERT_GT(len, 0) << k.name;
    // The size rule of type 23 reads the same length from the stored block.
    EXPECT_EQ(
        get_sizeof_struct_data(KOVA_BLOCK_EQDATA, 0, 0, 0, reinterpret_cast<int*>(sb.payload())),
        len)
        << k.name;
    const std::vector<unsigned char> before = sb.snapshot();
    auto r = read(sb.head(), true);
    ASSERT_EQ(r->rc, 0) << k.name;
    EXPECT_EQ(r->data->type(), a.type()) << k.name;
    EXPECT_EQ(text_of(*r->data), text_of(a)) << k.name;
    EXPECT_EQ(sb.snapshot(), before) << k.name << ": the payload must stay as it was";
    sb.clear();
    EXPECT_EQ(sb.write(r->data), len) << k.name;
    EXPECT_EQ(sb.snapshot(), before) << k.name;
  }
}

TEST(BridgeRead, WrapModeRefersIntoThePayload) {
  for (const Kind& k : kinds()) {
    EqData a;
    header_fields(a);
    k.make(a);
    ASSERT_EQ(a.type(), k.type) << k.name;
    SubBlock sb(4096);
    ASSERT_GT(sb.write(&a), 0) << k.name;
    const std::vector<unsigned char> before = sb.snapshot();
    auto r = read(sb.head(), false);
    ASSERT_EQ(r->rc, 0) << k.name;
    EXPECT_TRUE(r->data->is_wrapper());
    EXPECT_EQ(r->data->type(), a.type()) << k.name;
    EXPECT_EQ(r->data->length(), a.length()) << k.name;
    EXPECT_EQ(text_of(*r->data), text_of(a)) << k.name;
    for (int i = 0; i < a.length() && i < 8; ++i)
      EXPECT_EQ(r->data->get_double(i), a.get_double(i)) << k.name << " " << i;
    const EqDataBlock* b = r->data->get_data_block();
    EXPECT_EQ(b->tm, 1700000123) << k.name;
    EXPECT_EQ(b->unused2, 3) << k.name;
    // Re-pointing puts every pointer where the writer had put it already.
    if (a.type() != DATA_KEYVAL) {
      EXPECT_EQ(sb.snapshot(), before) << k.name;
    }
  }
}

TEST(BridgeRead, TimeAndEventIdComeFromTheEvent) {
  EqData a;
  a.set(1);
  SubBlock sb(256);
  ASSERT_EQ(sb.write(&a), 48);
  auto none = read(sb.head(), true);
  ASSERT_EQ(none->rc, 0);
  EXPECT_EQ(none->data->get_data_block()->tm, 0);
  EXPECT_EQ(none->data->get_event_id().to_int(), 0u);

  kova_event_slot_head hd{};
  hd.time = {1600000000, 250};
  hd.eventid = 777;
  kova_serv_block_head_2010 sbh{};
  sbh.time = {1500000000, 100};
  sbh.mpulse = 555;
  EqData* d = nullptr;
  ASSERT_EQ(kova_daq_to_eqdata(&hd, &sbh, sb.head(), &d, true), 0);
  EXPECT_EQ(d->get_data_block()->tm, 1600000000);
  EXPECT_EQ(d->get_data_block()->tm_usec, 250);
  EXPECT_EQ(d->get_event_id().to_int(), 777u);
  delete d;
  ASSERT_EQ(kova_daq_to_eqdata(nullptr, &sbh, sb.head(), &d, true), 0);
  EXPECT_EQ(d->get_data_block()->tm, 1500000000);
  EXPECT_EQ(d->get_event_id().to_int(), 555u);
  delete d;

  kova_event_slot_head_2024 hd24{};
  hd24.time = {1600000000, 250};
  hd24.eventid = 0x300000001ll;
  ASSERT_EQ(kova_daq_to_eqdata_2024(&hd24, nullptr, sb.head(), &d, true), 0);
  EXPECT_EQ(d->get_event_id().to_int(), 0x300000001ull);
  delete d;

  // Non-zero payload values win.
  header_fields(a);
  ASSERT_EQ(sb.write(&a), 48);
  ASSERT_EQ(kova_daq_to_eqdata(&hd, nullptr, sb.head(), &d, true), 0);
  EXPECT_EQ(d->get_data_block()->tm, 1700000123);
  EXPECT_EQ(d->get_data_block()->tm_usec, 4567);
  EXPECT_EQ(d->get_event_id().to_int(), 0x511223344ull);
  EXPECT_EQ(d->get_data_block()->error, 0x40);
  delete d;
}

TEST(BridgeRead, ImageTimeFarFromTheEpochSaturates) {
  EqData a;
  IMH h{};
  h.bpp = 1;
  const unsigned char px[4] = {1, 2, 3, 4};
  a.set_image(px, 4, h, true, true, nullptr);
  a.get_data_block()->tm = int64_t(1) << 60;
  SubBlock sb(1024);
  ASSERT_GT(sb.write(&a), 0);
  auto r = read(sb.head(), true);
  ASSERT_EQ(r->rc, 0);
  EXPECT_GE(r->data->get_timestamp().nanoseconds(), INT64_MAX - 1000);
}

TEST(BridgeRead, KeyValueStringsSplitAtTheFirstColon) {
  EqData a;
  a.clear_keys();
  a.set_val("mode", "a:b");
  SubBlock sb(256);
  ASSERT_GT(sb.write(&a), 0);
  const std::vector<unsigned char> before = sb.snapshot();
  for (bool copy : {true, false}) {
    auto r = read(sb.head(), copy);
    ASSERT_EQ(r->rc, 0);
    char value[64] = {};
    ASSERT_EQ(r->data->get_val("mode", value, sizeof(value)), 0);
    EXPECT_STREQ(value, "a:b");
  }
  // The strings themselves are not cut.
  EXPECT_EQ(memcmp(sb.payload() + 44 + 4 + 16, "mode:a:b", 9), 0);
}

TEST(BridgeRead, ArgumentsAndTypeChecks) {
  SubBlock sb(256);
  EqData a;
  a.set(1);
  ASSERT_EQ(sb.write(&a), 48);
  EqData* d = reinterpret_cast<EqData*>(&sb);
  EXPECT_EQ(kova_daq_to_eqdata(nullptr, nullptr, nullptr, &d, true), -1);
  EXPECT_EQ(kova_daq_to_eqdata(nullptr, nullptr, sb.head(), nullptr, true), -1);
  sb.head()->dtype = KOVA_BLOCK_EQDATA | 0x00260000;  // the device half is ignored
  auto ok = read(sb.head(), true);
  EXPECT_EQ(ok->rc, 0);
  sb.head()->dtype = KOVA_BLOCK_IMAGE;
  EXPECT_EQ(kova_daq_to_eqdata(nullptr, nullptr, sb.head(), &d, true), -4);
  EXPECT_EQ(d, reinterpret_cast<EqData*>(&sb));  // left alone
}

TEST(BridgeRead, TruncatedPayloadsAreRefused) {
  for (const Kind& k : kinds()) {
    EqData a;
    k.make(a);
    ASSERT_EQ(a.type(), k.type) << k.name;
    SubBlock sb(4096);
    const int len = sb.write(&a);
    ASSERT_GT(len, 0);
    // The 64 bytes the multi-dimensional arrays count are not needed to read.
    const int needed = (a.type() == DATA_MDA_FLOAT || a.type() == DATA_MDA_DOUBLE) ? len - 64 : len;
    for (int cut = 0; cut < needed; ++cut) {
      std::unique_ptr<unsigned char[]> mem(new unsigned char[kHead + cut]);
      memcpy(mem.get(), sb.bytes(), kHead + cut);
      auto* head = reinterpret_cast<kova_serv_block_subhead_2010*>(mem.get());
      head->ldata = static_cast<int32_t>(kHead + cut);
      for (bool copy : {true, false}) {
        EqData* d = nullptr;
        EXPECT_EQ(kova_daq_to_eqdata(nullptr, nullptr, head, &d, copy), -2)
            << k.name << " cut " << cut << (copy ? " copy" : " wrap");
        EXPECT_EQ(d, nullptr);
      }
    }
  }
}

TEST(BridgeRead, InconsistentMultiDimensionalArrayIsRefused) {
  EqData a;
  const int32_t dims[2] = {2, 3};
  a.set_dims(dims, 2, nullptr, nullptr);
  SubBlock sb(1024);
  ASSERT_GT(sb.write(&a), 0);
  const std::vector<unsigned char> good = sb.snapshot();
  // Dimensions that no longer multiply to the stored count, among them some
  // that would ask the container for gigabytes.
  for (std::pair<int32_t, int32_t> dims : {std::make_pair(4, 3), std::make_pair(2, 0x40000000),
                                           std::make_pair(0, 6), std::make_pair(-2, -3)}) {
    memcpy(sb.bytes(), good.data(), good.size());
    memcpy(sb.payload() + 44 + offsetof(EqMda, dims), &dims.first, 4);
    memcpy(sb.payload() + 44 + offsetof(EqMda, dims) + 4, &dims.second, 4);
    EXPECT_EQ(read(sb.head(), true)->rc, -2) << dims.first << "x" << dims.second;
  }
}

TEST(BridgeRepoint, PartsDirectlyAfterTheBlock) {
  // A block followed by its parts, as a stored block is read back.
  std::vector<uint64_t> mem(256, 0);
  auto* b = reinterpret_cast<EqDataBlock*>(mem.data());
  unsigned char* after = reinterpret_cast<unsigned char*>(b + 1);
  EqData d(b, true);

  b->data_type = DATA_SPECTRUM;
  b->value.d_spectrum.comment_len = 5;
  b->value.d_spectrum.length = 2;
  ASSERT_EQ(kova_daq_eqdata_correct_addresses(&d), 0);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(b->value.d_spectrum.comment), after);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(b->value.d_spectrum.data), after + 8);

  memset(&b->value, 0, sizeof(b->value));
  b->data_type = DATA_A_FLOAT;
  b->value.d_array.length = 3;
  ASSERT_EQ(kova_daq_eqdata_correct_addresses(&d), 0);
  EXPECT_EQ(b->value.d_array.data, after + 4);

  memset(&b->value, 0, sizeof(b->value));
  b->data_type = DATA_A_USTR;
  b->value.d_array.length = 2;
  USTR u[2] = {};
  u[0].str_len = 6;
  u[1].str_len = 3;
  memcpy(after + 4, u, sizeof(u));
  ASSERT_EQ(kova_daq_eqdata_correct_addresses(&d), 0);
  memcpy(u, after + 4, sizeof(u));
  EXPECT_EQ(reinterpret_cast<unsigned char*>(u[0].str), after + 4 + 80);
  EXPECT_EQ(reinterpret_cast<unsigned char*>(u[1].str), after + 4 + 80 + 8);

  b->data_type = DATA_STRING;
  ASSERT_EQ(kova_daq_eqdata_correct_addresses(&d), 0);
  EXPECT_EQ(b->value.d_array.data, after);
  b->data_type = DATA_INT;
  b->value.d_int = 5;
  ASSERT_EQ(kova_daq_eqdata_correct_addresses(&d), 0);
  EXPECT_EQ(b->value.d_int, 5);
  EXPECT_EQ(kova_daq_eqdata_correct_addresses(nullptr), -1);
}

TEST(BridgeRoundTrip, StoredBlocksSurviveByteOrderConversion) {
  for (const Kind& k : kinds()) {
    EqData a;
    header_fields(a);
    k.make(a);
    ASSERT_EQ(a.type(), k.type) << k.name;
    SubBlock sb(4096);
    const int len = sb.write(&a);
    ASSERT_GT(len, 0);
    std::vector<unsigned char> host(sb.payload(), sb.payload() + len), net(len), back(len);
    ASSERT_EQ(kova_convert_data(host.data(), net.data(), KOVA_BLOCK_EQDATA, -len), 0) << k.name;
    ASSERT_EQ(kova_convert_data(net.data(), back.data(), KOVA_BLOCK_EQDATA, len), 0) << k.name;
    EXPECT_EQ(back, host) << k.name;
    int32_t type;
    memcpy(&type, net.data(), 4);
    EXPECT_EQ(static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(type))), a.type());
  }
}

TEST(DaqRequest, CleanAndCopy) {
  kova_daq_request r;
  r.start_time = {5, {6, 7}};
  r.run_first = 3;
  strcpy(r.exp_name, "exp");
  r.cdir = "/data/c";
  r.synch_mode = 1;
  EXPECT_FALSE(kova_clean_daq_request(&r));
  EXPECT_EQ(r.start_time.event_number, 0u);
  EXPECT_EQ(r.start_time.time.timeup, 0u);
  EXPECT_EQ(r.run_first, -1);
  EXPECT_EQ(r.run_last, -1);
  EXPECT_EQ(r.exp_name[0], '\0');
  EXPECT_TRUE(r.cdir.empty());
  EXPECT_EQ(r.synch_mode, 0);
  EXPECT_TRUE(kova_clean_daq_request(nullptr));

  r.ddir = "/data/d";
  r.period = {1, {2, 3}};
  strcpy(r.stream_name, "stream");
  kova_daq_request c;
  EXPECT_FALSE(kova_copy_daq_request(&r, &c));
  EXPECT_EQ(c.ddir, "/data/d");
  EXPECT_STREQ(c.stream_name, "stream");
  EXPECT_EQ(c.period.time.timelow, 3u);
  EXPECT_EQ(c.run_first, -1);
  EXPECT_TRUE(kova_copy_daq_request(nullptr, &c));
  EXPECT_TRUE(kova_copy_daq_request(&r, nullptr));

  kova_daq_request_2024 w, w2;
  EXPECT_FALSE(kova_clean_daq_request_2024(&w));
  w.stop_time.event_number = 0x100000000ull;
  w.cdir = "x";
  EXPECT_FALSE(kova_copy_daq_request_2024(&w, &w2));
  EXPECT_EQ(w2.stop_time.event_number, 0x100000000ull);
  EXPECT_EQ(w2.cdir, "x");
  EXPECT_TRUE(kova_clean_daq_request_2024(nullptr));
}
