// Re-pointing a container whose block is directly followed in memory by the
// parts of its value (a block read back from storage without the stored
// value structure, which is the block's union).
#include "eqdata_layout.h"

extern "C" int kova_daq_eqdata_correct_addresses(EqData* data) {
  using namespace bridge_detail;
  if (data == nullptr) return KOVA_EQDATA_ERR_INVAL_PARAM;
  EqDataBlock* b = data->get_data_block();
  const Layout l = layout_of(b->data_type);
  if (int rc = refusal(l.shape)) return rc;
  unsigned char* start = reinterpret_cast<unsigned char*>(b) + sizeof(EqDataBlock);
  EqValue& v = b->value;
  switch (l.shape) {
    case Shape::kNull:
    case Shape::kValue:
      break;
    case Shape::kString:
      v.d_array.data = start;
      break;
    case Shape::kBytes:
      v.d_byte.bytes = start;
      break;
    case Shape::kSpectrum:
      v.d_spectrum.comment = reinterpret_cast<char*>(start);
      v.d_spectrum.data = reinterpret_cast<float*>(start + pad4(v.d_spectrum.comment_len));
      break;
    case Shape::kGSpectrum:
      v.d_gspectrum.comment = reinterpret_cast<char*>(start);
      v.d_gspectrum.data = reinterpret_cast<float*>(start + pad4(v.d_gspectrum.comment_len));
      break;
    case Shape::kImage:
      v.d_image.comment = reinterpret_cast<char*>(start);
      v.d_image.bytes = start + pad4(v.d_image.comment_len);
      break;
    case Shape::kMda:
      v.d_mda.comment = reinterpret_cast<char*>(start);
      v.d_mda.data = start + pad4(v.d_mda.comment_len);
      break;
    case Shape::kCounted:
      v.d_array.data = start + 4;
      break;
    default: {
      // Element images after the count, then each element's parts in order.
      unsigned char* images = start + 4;
      v.d_array.data = images;
      const PartFields f = part_fields(l.shape);
      unsigned char* part = images + uint64_t(v.d_array.length) * l.size;
      for (uint32_t i = 0; i < v.d_array.length; ++i) {
        unsigned char* e = images + uint64_t(i) * l.size;
        store_ptr(e + f.text_ptr, part);
        part += pad4(load<uint32_t>(e + f.text_len));
        if (f.samples_len != 0) {
          store_ptr(e + f.samples_ptr, part);
          part += 4 * uint64_t(load<uint32_t>(e + f.samples_len));
        }
      }
      break;
    }
  }
  return KOVA_EQDATA_OK;
}
