// EqData: the generic data container of the control framework's client
// library. It holds one value of any QuormDataTypeId together with a time
// stamp, an error word and an event id, all kept in a 264-byte EqDataBlock
// (eqdata_types.h) that callers may read and write directly.
//
// A container either owns its block and every array, string and part its
// value refers to (EqData()), or wraps a block that belongs to the caller
// (EqData(block, true)). A wrap container never frees or reallocates
// anything: its readers follow the pointers the block holds, and its setters
// only change the block and, for in-range indexed sets, the element memory
// the block already refers to. Setters that would need storage of their own
// refuse with EQ_ERR_WRAP and change nothing.
//
// Setting a value sets the block's data type to the setter's type (set(int)
// gives DATA_INT, set(float, i) gives DATA_A_FLOAT, ...), except after an
// explicit set_type() to a type of the same kind of value: DATA_BOOL and
// DATA_INT take set(int), DATA_A_BOOL and DATA_A_INT take set(int, i),
// DATA_STRING, DATA_TEXT and DATA_XML take set(const char*) and set_xml().
// A setter of another kind replaces the explicit type with its own. Changing
// the type to another kind of value (by set_type or by a setter) discards the
// value held so far; an array keeps its element count and restarts with
// zeroed elements.
//
// Owning containers keep the block's union consistent with their storage;
// writing its lengths or pointers is meant for wrap containers only. Writing
// data_type straight into an owning container's block counts as set_type:
// readers see no value until the next setter lays one out for the new type.
// In a wrap container the caller keeps type and union consistent.
//
// Setters return EQ_OK (0) or a negative EqResult and change nothing when
// they fail. Readers return null, 0 or an empty text when the value does not
// have what is asked for, or the index is out of range.
//
// Not thread-safe: an EqData object must not be used from two threads at
// once without outside locking. Distinct objects are independent, and the
// static functions keep no state.
#ifndef HESK_EQDATA_H
#define HESK_EQDATA_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "eqdata_types.h"

enum EqResult : int {
  EQ_OK = 0,
  EQ_ERR_ARG = -1,    // null pointer, negative length, bad dimensions, bad key
  EQ_ERR_RANGE = -2,  // element index outside the array
  EQ_ERR_TYPE = -3,   // the value cannot be stored under the container's type
  EQ_ERR_WRAP = -4,   // would need storage of its own on a wrap container
  EQ_ERR_NOMEM = -5,  // storage could not be allocated or would exceed EQ_MAX_STORAGE
};

// Largest array, string or part an owning container allocates, in bytes.
// Stored payloads have 32-bit lengths, so nothing larger could be stored.
constexpr size_t EQ_MAX_STORAGE = size_t(1) << 31;

struct EqDataStore;

class EqData {
 public:
  // Empty owning container: type DATA_NULL, time 0, event id 0.
  EqData();
  // `wrap` true: container over the caller's block, which must outlive it;
  // destruction leaves the block and everything it points to alone. The
  // structure readers return pointers into the caller's memory, so elements
  // must be aligned for their structure (8 bytes for those holding pointers,
  // 4 for the others); the number and text readers read any alignment.
  // `wrap` false: an owning container that copies the block's header and,
  // for values held wholly in the block (numbers, XY, TDS, IIII, IFFF,
  // TTII), the value; parts are not followed. A null block gives an empty
  // owning container either way.
  EqData(EqDataBlock* block, bool wrap);
  ~EqData();
  EqData(const EqData&) = delete;
  EqData& operator=(const EqData&) = delete;

  // The block, writable. Stays at the same address for the container's life.
  EqDataBlock* get_data_block() { return blk_; }
  const EqDataBlock* get_data_block() const { return blk_; }
  bool is_wrapper() const { return wrap_; }

  // ---- Type, time, event id ------------------------------------------------

  int type() const { return blk_->data_type; }
  // Name of a type id, e.g. "DATA_A_FLOAT"; "UNKNOWN" for ids not listed.
  static const char* type_string(int id);
  // The block then carries `id` (any id; ids that hold no value carry none).
  // Keeps the value when `id` takes the same kind of value, else discards it.
  // EQ_ERR_NOMEM when the zeroed elements of a new array type cannot be made.
  int set_type(int id);
  void set_event_id(quorm::EventId id);
  quorm::EventId get_event_id() const;
  void set_timestamp(quorm::Timestamp ts);  // tm and tm_usec
  quorm::Timestamp get_timestamp() const;

  // ---- Lengths and sizes ---------------------------------------------------

  // Length of the value: element count of arrays and of MDA values, sample
  // count of spectra, byte count of images and byte arrays, held length of
  // strings (with the terminator), 1 for numbers and fixed structures, 0 for
  // DATA_NULL and for ids that hold no value. array_length() is the same.
  int length() const;
  int array_length() const { return length(); }
  // Sets the element count of an array type: kept elements stay, new ones are
  // zero, removed ones lose their parts. Applies to DATA_A_* types (for
  // DATA_A_BYTE the byte count) and DATA_KEYVAL; for any other type the count
  // is remembered and used by the first indexed set. EQ_ERR_ARG for n < 0,
  // EQ_ERR_WRAP on a wrap container, EQ_ERR_NOMEM.
  int length(int n);
  // Bytes of the value: the number or structure itself plus its parts. For
  // count-prefixed arrays, `count` elements from `first` (count -1: to the
  // end) with their parts; for other types `first` must be 0 and the whole
  // value counts. -1 for a range outside the value.
  long size(int first, int count) const;

  // ---- Numbers ---------------------------------------------------------------
  // Scalars: DATA_INT, DATA_UINT, DATA_SHORT, DATA_USHORT, DATA_LONG,
  // DATA_ULONG, DATA_FLOAT, DATA_DOUBLE. Indexed: the DATA_A_* array of the
  // same element type; the index must lie below length() (see length(int)).

  int set(int v);
  int set(unsigned int v);
  int set(short v);
  int set(unsigned short v);
  int set(long v);
  int set(unsigned long v);
  int set(float v);
  int set(double v);
  int set(int v, int index);
  int set(unsigned int v, int index);
  int set(short v, int index);
  int set(unsigned short v, int index);
  int set(long v, int index);
  int set(unsigned long v, int index);
  int set(float v, int index);
  int set(double v, int index);

  // Number `i` of the value, converted: the scalar (i = 0), an element of a
  // numeric array, a byte of DATA_A_BYTE, a sample of a spectrum or MDA value.
  // 0 when there is none. Integer readers saturate out-of-range floats.
  float get_float(int i = 0) const;
  double get_double(int i = 0) const;
  int get_int(int i = 0) const;
  long get_long(int i = 0) const;

  // ---- Text ----------------------------------------------------------------

  // DATA_STRING (DATA_TEXT or DATA_XML after set_type), held with its
  // terminator. EQ_ERR_ARG for null.
  int set(const char* text);
  // DATA_XML.
  int set_xml(const char* text);
  // The value as text, NUL-terminated within `size` bytes (cut if longer):
  // strings as they are, numbers and structures formatted, spectra, images
  // and MDA values their comment, arrays their elements separated by blanks.
  // Returns `buffer`, or null for a null buffer or size < 1.
  char* get_string(char* buffer, int size) const;
  // Element `i` as text: a number or structure formatted, the string of a
  // USTR/XYZS element, "key:value" of a DATA_KEYVAL element, the comment of a
  // time-stamped spectrum, a string value for i = 0. Null (and an empty
  // buffer) when there is no element `i`.
  char* get_string(int i, char* buffer, int size) const;

  // DATA_KEYVAL: drop every key (the container becomes an empty DATA_KEYVAL).
  int clear_keys();
  // Add `key` with `value`, or replace the value of an existing key. The
  // element holds "key:value". EQ_ERR_ARG for a null or empty key, a key with
  // a colon, or a null value.
  int set_val(const char* key, const char* value);
  // Value of `key` into `buffer`; 0 when found, EQ_ERR_ARG otherwise.
  int get_val(const char* key, char* buffer, int size) const;

  // ---- Structures ----------------------------------------------------------

  int set(const XY& v);              // DATA_XY
  int set(const XY& v, int index);   // DATA_A_XY
  int set(const TDS& v);             // DATA_TDS
  int set(const TDS& v, int index);  // DATA_A_TDS
  int set(const IFFF& v);            // DATA_IFFF
  int set(const IIII& v);            // DATA_IIII
  int set(const TTII& v);            // DATA_TTII
  // DATA_A_USTR / DATA_A_XYZS element. The string is copied: str_len bytes
  // at str up to the first NUL (str_len 0: up to the NUL); held with its
  // terminator. A null str gives no string.
  int set(const USTR& v, int index);
  int set(const XYZS& v, int index);
  int set_thumbnail(const THUMBNAIL& v, int index);  // DATA_A_THUMBNAIL

  // i = 0 for the single-value types, the element for the arrays.
  const XY* get_xy(int i = 0) const;
  const TDS* get_tds(int i = 0) const;
  const IFFF* get_ifff() const;
  const IIII* get_iiii() const;
  const TTII* get_ttii() const;
  const USTR* get_ustr(int i) const;
  const XYZS* get_xyzs(int i) const;
  const THUMBNAIL* get_thumbnail(int i) const;

  // ---- Spectra -------------------------------------------------------------
  // The comment is copied as text (comment_len as for USTR strings); the
  // `length` samples at `data` are copied (EQ_ERR_ARG when data is null and
  // length is not 0). The other parameters are taken as they are.

  int set(const SPECTRUM& v);   // DATA_SPECTRUM
  int set(const GSPECTRUM& v);  // DATA_GSPECTRUM
  // Element `index` of DATA_A_TS_SPECTRUM / DATA_A_TS_GSPECTRUM.
  int set_ts_spect(const SPECTRUM& v, uint32_t id, uint16_t status, uint16_t flags, int index);
  int set_ts_gspect(const GSPECTRUM& v, uint32_t id, uint16_t status, uint16_t flags, int index);

  const SPECTRUM* get_spectrum() const;
  const GSPECTRUM* get_gspectrum() const;
  const EqTsSpectrum* get_ts_spect(int i) const;
  const EqTsGSpectrum* get_ts_gspect(int i) const;

  // ---- Images and bytes ----------------------------------------------------

  // DATA_IMAGE: `length` bytes, the header and an optional comment. The
  // block's time (tm, tm_usec) is taken from the header unless `keep_time`,
  // its event id from the header unless `keep_event_id`.
  int set_image(const unsigned char* bytes, int length, const IMH& header, bool keep_time,
                bool keep_event_id, const char* comment = nullptr);
  // DATA_IMAGE only: time and status into the header, the time also into the
  // block. EQ_ERR_TYPE for another type.
  int set_image_timestamp_and_status(quorm::Timestamp ts, int32_t status);
  const EqImage* get_image() const;
  const char* get_image_comm() const;  // null when there is no comment

  // DATA_A_BYTE: `length` bytes and five parameters (`prm` may be null: 0s).
  int set_byte(const unsigned char* bytes, int length, const int32_t* prm);
  const EqByteArray* get_byte() const;

  // DATA_MDA_FLOAT / DATA_MDA_DOUBLE: 1..EQ_MDA_MAX_DIMS dimensions, each at
  // least 1, whose product fits in 31 bits; an optional comment; the
  // elements copied from `data` or zero when it is null. Fill or read the
  // elements through get_mda() / get_mdad() (length() of them).
  int set_dims(const int32_t* dims, int ndims, const char* comment, const float* data);
  int set_dimsd(const int32_t* dims, int ndims, const char* comment, const double* data);
  float* get_mda();  // null unless DATA_MDA_FLOAT
  const float* get_mda() const;
  double* get_mdad();  // null unless DATA_MDA_DOUBLE
  const double* get_mdad() const;
  const EqMda* get_mda_header() const;

  // ---- Printing ------------------------------------------------------------

  // One line without newline: type, time, error, event id and the value
  // (numbers and fixed structures) or its length. Follows no pointer, so it
  // is safe on a block read straight from storage.
  static std::string block_text(const EqDataBlock* block);
  std::string to_string() const { return block_text(blk_); }

 private:
  friend struct EqDataAccess;

  EqDataBlock* blk_;
  bool wrap_;
  std::unique_ptr<EqDataStore> st_;  // storage of an owning container
};

#endif  // HESK_EQDATA_H
