// Wrap mode: a container over a caller-owned block reads what the block
// points to, writes only the block and existing elements, and leaves all of
// the caller's memory alone when destroyed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "eqdata.h"

namespace {

// A block followed directly by its value parts, as a stored block is laid
// out once its pointers are re-pointed to the data after it.
struct StoredBlock {
  std::vector<unsigned char> mem;
  explicit StoredBlock(size_t parts) : mem(sizeof(EqDataBlock) + parts, 0) {}
  EqDataBlock* block() { return reinterpret_cast<EqDataBlock*>(mem.data()); }
  unsigned char* parts() { return mem.data() + sizeof(EqDataBlock); }
};

TEST(EqWrap, DestructionLeavesBlockAndPartsAlone) {
  auto* block = static_cast<EqDataBlock*>(calloc(1, sizeof(EqDataBlock)));
  auto* samples = static_cast<float*>(malloc(3 * sizeof(float)));
  samples[0] = 1;
  samples[1] = 2;
  samples[2] = 3;
  block->data_type = DATA_A_FLOAT;
  block->value.d_array.length = 3;
  block->value.d_array.data = samples;
  const EqDataBlock before = *block;
  {
    EqData d(block, true);
    EXPECT_TRUE(d.is_wrapper());
    EXPECT_EQ(d.get_data_block(), block);
    EXPECT_EQ(d.get_float(2), 3.0f);
  }
  EXPECT_EQ(memcmp(block, &before, sizeof(before)), 0);
  EXPECT_EQ(samples[2], 3.0f);
  free(samples);  // a second free (by the container) would be caught here
  free(block);
}

TEST(EqWrap, ReadersFollowTheCallersPointers) {
  StoredBlock s(8 + 12);
  EqDataBlock* b = s.block();
  const char comment[] = "abc";
  const float samples[3] = {0.5f, 1.5f, 2.5f};
  memcpy(s.parts(), comment, 4);
  memcpy(s.parts() + 4, samples, sizeof(samples));  // P(4) = 4 bytes later
  b->data_type = DATA_SPECTRUM;
  b->value.d_spectrum.comment_len = 4;
  b->value.d_spectrum.comment = reinterpret_cast<char*>(s.parts());
  b->value.d_spectrum.length = 3;
  b->value.d_spectrum.data = reinterpret_cast<float*>(s.parts() + 4);

  EqData d(b, true);
  EXPECT_EQ(d.type(), DATA_SPECTRUM);
  EXPECT_EQ(d.length(), 3);
  EXPECT_EQ(d.get_float(2), 2.5f);
  char buf[8];
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "abc");
  EXPECT_EQ(d.size(0, -1), 56 + 4 + 12);
}

TEST(EqWrap, StringAndKeyValueTextsAreReadInPlace) {
  StoredBlock s(16 + 8);
  EqDataBlock* b = s.block();
  memcpy(s.parts(), "k:v:w\0\0\0", 8);
  EqKeyVal kv{};
  kv.str_len = 5;  // without the terminator, as strlen counts it
  kv.str = reinterpret_cast<char*>(s.parts());
  memcpy(s.parts() + 8, &kv, sizeof(kv));
  b->data_type = DATA_KEYVAL;
  b->value.d_array.length = 1;
  b->value.d_array.data = s.parts() + 8;

  EqData d(b, true);
  char buf[16];
  EXPECT_EQ(d.get_val("k", buf, sizeof(buf)), EQ_OK);
  EXPECT_STREQ(buf, "v:w");
  EXPECT_STREQ(d.get_string(0, buf, sizeof(buf)), "k:v:w");
  EXPECT_EQ(memcmp(s.parts(), "k:v:w", 5), 0);  // stored string unchanged

  b->data_type = DATA_STRING;
  b->value.d_array.length = 6;
  b->value.d_array.data = s.parts();
  EXPECT_STREQ(d.get_string(buf, sizeof(buf)), "k:v:w");
}

TEST(EqWrap, SettersNeedingStorageAreRefused) {
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  b.data_type = DATA_INT;
  b.value.d_int = 5;
  const EqDataBlock before = b;
  EqData d(&b, true);
  std::vector<float> samples = {1};
  SPECTRUM sp{};
  sp.length = 1;
  sp.data = samples.data();
  const unsigned char px[1] = {0};
  const int32_t dims[1] = {1};
  EXPECT_EQ(d.set("text"), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_xml("<x/>"), EQ_ERR_WRAP);
  EXPECT_EQ(d.length(4), EQ_ERR_WRAP);
  EXPECT_EQ(d.clear_keys(), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_val("a", "b"), EQ_ERR_WRAP);
  EXPECT_EQ(d.set(sp), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_ts_spect(sp, 0, 0, 0, 0), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_image(px, 1, IMH{}, true, true), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_byte(px, 1, nullptr), EQ_ERR_WRAP);
  EXPECT_EQ(d.set_dims(dims, 1, nullptr, nullptr), EQ_ERR_WRAP);
  EXPECT_EQ(d.set(USTR{}, 0), EQ_ERR_WRAP);
  EXPECT_EQ(memcmp(&b, &before, sizeof(b)), 0);
}

TEST(EqWrap, ValuesInTheBlockAreWrittenInPlace) {
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  {
    EqData d(&b, true);
    ASSERT_EQ(d.set(2.5), EQ_OK);
    d.set_event_id(quorm::EventId(0x100000002ULL));
    ASSERT_EQ(d.set(TDS{1, 2, 3.0f, 4}), EQ_OK);
  }
  EXPECT_EQ(b.data_type, DATA_TDS);
  EXPECT_EQ(b.value.d_tds.status, 4);
  EXPECT_EQ(b.mp_lo, 2u);
  EXPECT_EQ(b.mp_hi, 1u);
}

TEST(EqWrap, IndexedSetWritesExistingElementsOnly) {
  float samples[3] = {0, 0, 0};
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  b.data_type = DATA_A_FLOAT;
  b.value.d_array.length = 2;  // the caller exposes two of the three
  b.value.d_array.data = samples;
  EqData d(&b, true);
  ASSERT_EQ(d.set(4.0f, 1), EQ_OK);
  EXPECT_EQ(samples[1], 4.0f);
  EXPECT_EQ(d.set(5.0f, 2), EQ_ERR_RANGE);
  EXPECT_EQ(samples[2], 0.0f);
  EXPECT_EQ(d.set(5, 0), EQ_ERR_TYPE);  // would need int storage
  EXPECT_EQ(b.data_type, DATA_A_FLOAT);
  EXPECT_EQ(samples[0], 0.0f);
}

TEST(EqWrap, TypeChangeClearsTheBlockValueButNotTheCallersMemory) {
  float samples[2] = {1, 2};
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  b.data_type = DATA_A_FLOAT;
  b.value.d_array.length = 2;
  b.value.d_array.data = samples;
  EqData d(&b, true);
  ASSERT_EQ(d.set_type(DATA_A_DOUBLE), EQ_OK);  // two floats are not two doubles
  EXPECT_EQ(d.length(), 0);
  EXPECT_EQ(b.value.d_array.data, nullptr);
  EXPECT_EQ(samples[1], 2.0f);
  ASSERT_EQ(d.set_type(DATA_A_DOUBLE), EQ_OK);
}

TEST(EqWrap, CallerMayFillAZeroedBlockAfterWrapping) {
  EqDataBlock b;
  memset(&b, 0, sizeof(b));
  EqData d(&b, true);
  EXPECT_EQ(d.type(), DATA_NULL);
  int32_t ints[2] = {7, 8};
  b.data_type = DATA_A_INT;
  b.value.d_array.length = 2;
  b.value.d_array.data = ints;
  d.set_event_id(quorm::EventId(1));  // does not disturb the value
  EXPECT_EQ(d.array_length(), 2);
  EXPECT_EQ(d.get_int(1), 8);
  ASSERT_EQ(d.set(9, 0), EQ_OK);
  EXPECT_EQ(ints[0], 9);
}

TEST(EqWrap, NullBlockGivesAnOwningContainer) {
  EqData d(nullptr, true);
  EXPECT_FALSE(d.is_wrapper());
  EXPECT_EQ(d.set("ok"), EQ_OK);
}

}  // namespace
