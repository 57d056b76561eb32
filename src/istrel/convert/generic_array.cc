// Generic spectrum array (type 28): nsubchan and description, then nsubchan
// entries of 152 bytes (statistics and spectrum header) each followed by its
// own ndata * groups samples. Every entry is checked against the bytes left
// before it is converted.
#include "convert_internal.h"
#include "event_convert.h"

namespace convert_detail {

namespace {

constexpr const char* kEntryFormat =
    "KOVA_BLOCK_GENERIC_SPECT_ONE_CHANNEL:UI1:F32:F1:F1:I1=L3:I1=L4:I1:L3(L4(F1))";
constexpr int64_t kEntryHead = 152;  // statistics 132 + spectrum header 20
constexpr int64_t kNdataAt = 140;
constexpr int64_t kGroupsAt = 144;

}  // namespace

int convert_generic_spectra(const unsigned char* in, unsigned char* out, int64_t len,
                            int64_t* covered) {
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  if (len == 0) return kBadLength;
  bool network_in = len > 0;
  int64_t n = network_in ? len : -len;
  if (n < 8) return kDataLength;
  uint32_t nsub = host_u32(in, network_in);
  swap_fields4(in, out, 2);
  int64_t pos = 8;
  for (uint32_t e = 0; e < nsub; ++e) {
    int64_t left = n - pos;
    if (left < kEntryHead) return kDataLength;
    int64_t ndata = static_cast<int32_t>(host_u32(in + pos + kNdataAt, network_in));
    int64_t groups = static_cast<int32_t>(host_u32(in + pos + kGroupsAt, network_in));
    if (ndata < 0 || groups < 0) return kUndefinedGroup;
    // Both counts are below 2^31, so their product fits in 62 bits.
    int64_t samples = ndata * groups;
    if (samples > (left - kEntryHead) / 4) return kDataLength;
    int64_t size = kEntryHead + 4 * samples;
    int rc =
        interpret(in + pos, out + pos, kEntryFormat, network_in ? size : -size, false, nullptr);
    if (rc != kOk) return rc;
    pos += size;
  }
  if (covered != nullptr) *covered = pos;
  return kOk;
}

}  // namespace convert_detail

extern "C" int kova_do_convert_generic_data(void* in, void* out, int len) {
  return convert_detail::convert_generic_spectra(static_cast<const unsigned char*>(in),
                                                 static_cast<unsigned char*>(out), len, nullptr);
}
