// The table of data type ids.
#include "type_table.h"

#include "eqdata.h"
#include "eqdata_types.h"

namespace {

using K = EqKind;
using N = EqNum;

constexpr EqTypeInfo kTypes[] = {
    {DATA_NULL, "DATA_NULL", K::kNone, 0, N::kNone, false},
    {DATA_INT, "DATA_INT", K::kScalar, 4, N::kI32, false},
    {DATA_FLOAT, "DATA_FLOAT", K::kScalar, 4, N::kF32, false},
    {DATA_STRING, "DATA_STRING", K::kString, 1, N::kNone, false},
    {DATA_BOOL, "DATA_BOOL", K::kScalar, 4, N::kI32, false},
    {DATA_DOUBLE, "DATA_DOUBLE", K::kScalar, 8, N::kF64, false},
    {DATA_TEXT, "DATA_TEXT", K::kString, 1, N::kNone, false},
    {DATA_TDS, "DATA_TDS", K::kFixed, sizeof(TDS), N::kNone, false},
    {DATA_XY, "DATA_XY", K::kFixed, sizeof(XY), N::kNone, false},
    {DATA_IIII, "DATA_IIII", K::kFixed, sizeof(IIII), N::kNone, false},
    {DATA_IFFF, "DATA_IFFF", K::kFixed, sizeof(IFFF), N::kNone, false},
    {DATA_NAME_VALUE, "DATA_NAME_VALUE", K::kIdOnly, 0, N::kNone, false},
    {DATA_TTII, "DATA_TTII", K::kFixed, sizeof(TTII), N::kNone, false},
    {DATA_SPECTRUM, "DATA_SPECTRUM", K::kSpectrum, 4, N::kF32, false},
    {DATA_XML, "DATA_XML", K::kString, 1, N::kNone, false},
    {DATA_IMAGE, "DATA_IMAGE", K::kImage, 1, N::kNone, false},
    {DATA_GSPECTRUM, "DATA_GSPECTRUM", K::kGSpectrum, 4, N::kF32, false},
    {DATA_SHORT, "DATA_SHORT", K::kScalar, 2, N::kI16, false},
    {DATA_LONG, "DATA_LONG", K::kScalar, 8, N::kI64, false},
    {DATA_USHORT, "DATA_USHORT", K::kScalar, 2, N::kU16, false},
    {DATA_UINT, "DATA_UINT", K::kScalar, 4, N::kU32, false},
    {DATA_ULONG, "DATA_ULONG", K::kScalar, 8, N::kU64, false},
    {DATA_USTR, "DATA_USTR", K::kIdOnly, 0, N::kNone, false},
    {DATA_XYZS, "DATA_XYZS", K::kIdOnly, 0, N::kNone, false},
    {DATA_STRUCTURE, "DATA_STRUCTURE", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_FLOAT, "DATA_A_FLOAT", K::kArray, 4, N::kF32, false},
    {DATA_A_TDS, "DATA_A_TDS", K::kArray, sizeof(TDS), N::kNone, false},
    {DATA_A_XY, "DATA_A_XY", K::kArray, sizeof(XY), N::kNone, false},
    {DATA_A_USTR, "DATA_A_USTR", K::kArray, sizeof(USTR), N::kNone, true},
    {DATA_A_INT, "DATA_A_INT", K::kArray, 4, N::kI32, false},
    {DATA_A_BYTE, "DATA_A_BYTE", K::kBytes, 1, N::kU8, false},
    {DATA_A_XYZS, "DATA_A_XYZS", K::kArray, sizeof(XYZS), N::kNone, true},
    {DATA_MDA_FLOAT, "DATA_MDA_FLOAT", K::kMda, 4, N::kF32, false},
    {DATA_A_DOUBLE, "DATA_A_DOUBLE", K::kArray, 8, N::kF64, false},
    {DATA_A_BOOL, "DATA_A_BOOL", K::kArray, 4, N::kI32, false},
    {DATA_A_SHORT, "DATA_A_SHORT", K::kArray, 2, N::kI16, false},
    {DATA_A_LONG, "DATA_A_LONG", K::kArray, 8, N::kI64, false},
    {DATA_MDA_DOUBLE, "DATA_MDA_DOUBLE", K::kMda, 8, N::kF64, false},
    {DATA_A_USHORT, "DATA_A_USHORT", K::kArray, 2, N::kU16, false},
    {DATA_A_UINT, "DATA_A_UINT", K::kArray, 4, N::kU32, false},
    {DATA_A_ULONG, "DATA_A_ULONG", K::kArray, 8, N::kU64, false},
    {DATA_A_THUMBNAIL, "DATA_A_THUMBNAIL", K::kArray, sizeof(THUMBNAIL), N::kNone, false},
    {DATA_A_TS_BOOL, "DATA_A_TS_BOOL", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_INT, "DATA_A_TS_INT", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_FLOAT, "DATA_A_TS_FLOAT", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_DOUBLE, "DATA_A_TS_DOUBLE", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_LONG, "DATA_A_TS_LONG", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_STRING, "DATA_A_TS_STRING", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_USTR, "DATA_A_TS_USTR", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_XML, "DATA_A_TS_XML", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_XY, "DATA_A_TS_XY", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_IFFF, "DATA_A_TS_IFFF", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_IIII, "DATA_A_TS_IIII", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_SPECTRUM, "DATA_A_TS_SPECTRUM", K::kArray, sizeof(EqTsSpectrum), N::kNone, true},
    {DATA_A_TS_BYTE, "DATA_A_TS_BYTE", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_GSPECTRUM, "DATA_A_TS_GSPECTRUM", K::kArray, sizeof(EqTsGSpectrum), N::kNone, true},
    {DATA_KEYVAL, "DATA_KEYVAL", K::kArray, sizeof(EqKeyVal), N::kNone, true},
    {DATA_A_TS_SHORT, "DATA_A_TS_SHORT", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_USHORT, "DATA_A_TS_USHORT", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_UINT, "DATA_A_TS_UINT", K::kIdOnly, 0, N::kNone, false},
    {DATA_A_TS_ULONG, "DATA_A_TS_ULONG", K::kIdOnly, 0, N::kNone, false},
};

constexpr EqTypeInfo kUnknown = {-1, "UNKNOWN", K::kIdOnly, 0, N::kNone, false};

}  // namespace

const EqTypeInfo& eq_type_info(int id) {
  for (const EqTypeInfo& t : kTypes) {
    if (t.id == id) return t;
  }
  return kUnknown;
}

int eq_family(int id) {
  switch (id) {
    case DATA_BOOL:
      return DATA_INT;
    case DATA_A_BOOL:
      return DATA_A_INT;
    case DATA_TEXT:
    case DATA_XML:
      return DATA_STRING;
    default:
      return id;
  }
}

const char* EqData::type_string(int id) {
  return eq_type_info(id).name;
}
