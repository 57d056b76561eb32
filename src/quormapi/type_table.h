// What the container needs to know about each data type id: its name, how
// the value is held, the size of one element and which other ids take the
// same kind of value. Read-only tables, safe from any thread.
#ifndef HESK_QUORMAPI_TYPE_TABLE_H
#define HESK_QUORMAPI_TYPE_TABLE_H

#include <cstdint>

// How a value is held.
enum class EqKind {
  kNone,       // DATA_NULL
  kIdOnly,     // carried as an id, holds no value (also unlisted ids)
  kScalar,     // a number in the union
  kFixed,      // a structure without parts in the union
  kString,     // chars through the array view
  kSpectrum,   // SPECTRUM in the union, comment and samples as parts
  kGSpectrum,  // GSPECTRUM in the union, comment and samples as parts
  kImage,      // EqImage in the union, comment and bytes as parts
  kBytes,      // EqByteArray in the union, bytes as a part
  kMda,        // EqMda in the union, comment and elements as parts
  kArray,      // count and element images through the array view
};

// Number type of a scalar, of array elements or of samples.
enum class EqNum { kNone, kI32, kU32, kI16, kU16, kI64, kU64, kF32, kF64, kU8 };

struct EqTypeInfo {
  int32_t id;
  const char* name;
  EqKind kind;
  uint32_t size;  // bytes of the scalar, structure, element or sample
  EqNum num;
  bool parts;  // array elements refer to parts of their own
};

// Entry of `id`; unlisted ids get a kIdOnly entry named "UNKNOWN".
const EqTypeInfo& eq_type_info(int id);

// Ids that take the same kind of value share a family: DATA_INT/DATA_BOOL,
// DATA_A_INT/DATA_A_BOOL, DATA_STRING/DATA_TEXT/DATA_XML; every other id is
// a family of its own.
int eq_family(int id);

inline bool eq_same_family(int a, int b) {
  return eq_family(a) == eq_family(b);
}

#endif  // HESK_QUORMAPI_TYPE_TABLE_H
