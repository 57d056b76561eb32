// The value part of every framework data type in a stored payload.
#include "eqdata_layout.h"

namespace bridge_detail {

Layout layout_of(int32_t type) {
  switch (type) {
    case DATA_NULL:
      return {Shape::kNull, 0};
    case DATA_INT:
    case DATA_BOOL:
    case DATA_UINT:
    case DATA_FLOAT:
      return {Shape::kValue, 4};
    case DATA_SHORT:
    case DATA_USHORT:
      return {Shape::kValue, 2};
    case DATA_DOUBLE:
    case DATA_LONG:
    case DATA_ULONG:
      return {Shape::kValue, 8};
    case DATA_XY:
      return {Shape::kValue, sizeof(XY)};
    case DATA_TDS:
      return {Shape::kValue, sizeof(TDS)};
    case DATA_IIII:
      return {Shape::kValue, sizeof(IIII)};
    case DATA_IFFF:
      return {Shape::kValue, sizeof(IFFF)};
    case DATA_TTII:
      return {Shape::kValue, sizeof(TTII)};
    case DATA_STRING:
    case DATA_TEXT:
    case DATA_XML:
      return {Shape::kString, 1};
    case DATA_SPECTRUM:
      return {Shape::kSpectrum, sizeof(SPECTRUM)};
    case DATA_GSPECTRUM:
      return {Shape::kGSpectrum, sizeof(GSPECTRUM)};
    case DATA_IMAGE:
      return {Shape::kImage, sizeof(EqImage)};
    case DATA_A_BYTE:
      return {Shape::kBytes, sizeof(EqByteArray)};
    case DATA_MDA_FLOAT:
      return {Shape::kMda, 4};
    case DATA_MDA_DOUBLE:
      return {Shape::kMda, 8};
    case DATA_A_FLOAT:
    case DATA_A_INT:
    case DATA_A_BOOL:
    case DATA_A_UINT:
      return {Shape::kCounted, 4};
    case DATA_A_SHORT:
    case DATA_A_USHORT:
      return {Shape::kCounted, 2};
    case DATA_A_DOUBLE:
    case DATA_A_LONG:
    case DATA_A_ULONG:
      return {Shape::kCounted, 8};
    case DATA_A_XY:
      return {Shape::kCounted, sizeof(XY)};
    case DATA_A_TDS:
      return {Shape::kCounted, sizeof(TDS)};
    case DATA_A_THUMBNAIL:
      return {Shape::kCounted, sizeof(THUMBNAIL)};
    case DATA_A_USTR:
      return {Shape::kUstr, sizeof(USTR)};
    case DATA_A_XYZS:
      return {Shape::kXyzs, sizeof(XYZS)};
    case DATA_A_TS_SPECTRUM:
      return {Shape::kTsSpectrum, sizeof(EqTsSpectrum)};
    case DATA_A_TS_GSPECTRUM:
      return {Shape::kTsGSpectrum, sizeof(EqTsGSpectrum)};
    case DATA_KEYVAL:
      return {Shape::kKeyval, sizeof(EqKeyVal)};
    default:
      if ((type >= DATA_A_TS_BOOL && type <= DATA_A_TS_IIII) || type == DATA_A_TS_BYTE ||
          (type >= DATA_A_TS_SHORT && type <= DATA_A_TS_ULONG))
        return {Shape::kUnsupported, 0};
      return {Shape::kUnknown, 0};
  }
}

PartFields part_fields(Shape s) {
  constexpr size_t ts = offsetof(EqTsSpectrum, spectrum);
  switch (s) {
    case Shape::kUstr:
      return {offsetof(USTR, str_len), offsetof(USTR, str), 0, 0};
    case Shape::kXyzs:
      return {offsetof(XYZS, str_len), offsetof(XYZS, str), 0, 0};
    case Shape::kKeyval:
      return {offsetof(EqKeyVal, str_len), offsetof(EqKeyVal, str), 0, 0};
    case Shape::kTsSpectrum:
      return {ts + offsetof(SPECTRUM, comment_len), ts + offsetof(SPECTRUM, comment),
              ts + offsetof(SPECTRUM, length), ts + offsetof(SPECTRUM, data)};
    case Shape::kTsGSpectrum:
      return {ts + offsetof(GSPECTRUM, comment_len), ts + offsetof(GSPECTRUM, comment),
              ts + offsetof(GSPECTRUM, length), ts + offsetof(GSPECTRUM, data)};
    default:
      return {0, 0, 0, 0};
  }
}

}  // namespace bridge_detail
