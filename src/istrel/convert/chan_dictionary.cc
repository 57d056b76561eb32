// Byte order of the 2010 channel dictionary of a DAQ file: 272-byte entries
// of key, 256 name bytes, event mask, type mask and count.
#include "convert_internal.h"
#include "event_convert.h"

namespace {

constexpr size_t kEntry = 272;
constexpr size_t kName = 256;

}  // namespace

extern "C" int kova_convert_kova_chan_dictionary_table_2010(void* in, void* out, int chans) {
  using namespace convert_detail;
  if (chans < 1) return kDataLength;
  if (in == nullptr) return kBadInput;
  if (out == nullptr) return kBadOutput;
  const unsigned char* src = static_cast<const unsigned char*>(in);
  unsigned char* dst = static_cast<unsigned char*>(out);
  for (size_t i = 0; i < static_cast<size_t>(chans); ++i) {
    const size_t at = i * kEntry;
    swap_fields4(src + at, dst + at, 1);
    copy_bytes(src + at + 4, dst + at + 4, kName);
    swap_fields4(src + at + 4 + kName, dst + at + 4 + kName, 3);
  }
  return kOk;
}
