// Exported interface of the event-format library: the type tables and names
// of event types, sub-block types and channels, the process-wide generation
// switch, payload size rules and time-stamp / ISO-date helpers.
//
// Tables are constant data; lookups are pure and safe from any thread. The
// two generation flags are plain process-wide variables that nothing locks:
// set them once at start-up. Texts returned as char* point at constant
// storage and must not be written through.
#ifndef HESK_EVENT_UTIL_H
#define HESK_EVENT_UTIL_H

#include <sys/types.h>
#include <ctime>

#include "event.h"

// ---------------------------------------------------------------------------
// Table shapes and selectors

enum KOVA_EV_STRUCT_TYPE {
  KOVA_EV_STRUCT_UNKNOWN = 0,
  KOVA_EV_STRUCT_LOCAL = 1,
  KOVA_EV_STRUCT_GLOBAL = 2,
  KOVA_EV_STRUCT_ML = 3,
  KOVA_EV_STRUCT_UNDEF = 4
};

// Columns of event_types_a.
enum {
  KOVA_FIELD_EV_TYPE = 0,
  KOVA_FIELD_TREE_NAME = 1,
  KOVA_FIELD_TREE_COMMENT = 2,
  KOVA_FIELD_TREE_MAX = 3
};

// Columns of sblock_types_a: four head columns, then up to eight
// (channel name, units, description) triples.
enum {
  KOVA_SB_TYPE_NAME = 0,
  KOVA_SB_TYPE_CHANNELS = 1,
  KOVA_SB_TYPE_BRANCH_NAME = 2,
  KOVA_SB_TYPE_BRANCH_CLASS = 3,
  KOVA_SB_TYPE_MAX = 4
};
enum {
  KOVA_SB_TYPE_CHAN = 0,
  KOVA_SB_TYPE_UNITS = 1,
  KOVA_SB_TYPE_DESCR = 2,
  KOVA_SB_TYPE_CHAN_MAX = 3
};

constexpr int KOVA_SB_MAX_CHANNELS = 8;
constexpr int KOVA_SB_TYPE_COLUMNS =
    KOVA_SB_TYPE_MAX + KOVA_SB_MAX_CHANNELS * KOVA_SB_TYPE_CHAN_MAX;

enum glob_ev_mode { KOVA_GLOB_MODE_REAL = 0, KOVA_GLOB_MODE_TEST = 1, KOVA_GLOB_MODE_MAX = 2 };

enum {
  KOVA_DAQ_DATA_ROOT_FORMAT = 0,
  KOVA_DAQ_DATA_RAW_FORMAT = 1,
  KOVA_DAQ_DATA_BOTH_FORMAT = 2,
  KOVA_DAQ_DATA_RAW64_FORMAT = 3,
  KOVA_DAQ_DATA_FORMAT_MAX = 4
};
enum {
  KOVA_DAQ_INDEX_FORMAT = 0,
  KOVA_DAQ_INDEX_EVENT_FORMAT = 1,
  KOVA_DAQ_INDEX_BOTH_FORMAT = 2,
  KOVA_DAQ_INDEX_FORMAT_MAX = 3
};

// Data structure category of a sub-block type; each value equals the
// framework data type id of the container a block of that category becomes.
enum zel_daq_struct_type {
  KOVA_DATA_SPECTRUM = 1013,
  KOVA_DATA_GSPECTRUM = 1015,
  KOVA_DATA_IMAGE = 22,
  KOVA_DATA_IMAGE_EXT = 22,
  KOVA_DATA_SLOW = 103,
  KOVA_DATA_NAMVAL = 16,
  KOVA_DATA_EQDATA = 0
};

extern "C" {

// ---------------------------------------------------------------------------
// The tables themselves (constant data)

extern const char* const event_types_a[KOVA_EV_EVMAX][KOVA_FIELD_TREE_MAX];
extern const int event_struct_type[KOVA_EV_EVMAX];
extern const char* const sblock_types_a[KOVA_BLOCK_MAX_2010][KOVA_SB_TYPE_COLUMNS];
extern const char* const daq_chan_statistics_a_2010[KOVA_STAT_ENTRIES_2010];
extern const char* const glob_run_mode_a[4];
extern const char* const daq_formats_ext_a[3];
extern const char* const daq_formats_indx_a[3];

// ---------------------------------------------------------------------------
// Event types

// Name column; "UNKNOWN" outside 0-31.
char* event_name_itoa(int type);
// Tree name and tree comment; "UNKNOWN" outside 0-31.
char* get_tree_name(int type);
char* get_tree_comment(int type);
// KOVA_EV_STRUCT_TYPE of the event type; 0 outside 0-31.
int get_event_struct_type(int type);

// Writes into `out` (strncpy semantics, at most outlen bytes, unterminated
// when the text fills outlen) the names of the event types whose bits are
// set in `mask`, joined by ':', cut at 255 characters. When `type` is given,
// it receives the type of the indx-th set bit (counting from 1), or for
// indx < 0 the last set bit (-1 for an empty mask). Returns `out`, or null
// for a null `out` or outlen < 1.
char* event_name_from_mask(char* out, int outlen, int mask, int* type, int indx);

// True for heart-beat, BOR, EOR, ENV and UPD events.
bool is_slow_event(int evtype);

// ---------------------------------------------------------------------------
// Sub-block types (every type argument is masked with 0xFFFF)

// Name column; "UNKNOWN" for 0 and above 62.
char* block_name_itoa(int type);
// As event_name_from_mask over sub-block types. Bit 31 of the mask selects
// the range: clear, bits 0-30 stand for types 0-30; set, bit b for type 32+b.
char* block_name_from_mask(char* out, int outlen, int mask, int* type, int indx);

// Channel count of the type: -2 for type 0 or above 62; -1 for a type without
// channels; when the table says the count is in the block (types 23, 28) and
// `sbhd` is given, the count read from the block.
int get_channel_number(int type, kova_serv_block_subhead_2010* sbhd);
// Channel count read from a block of type 23 or 28; other types as
// get_channel_number.
int find_number_of_channels(kova_serv_block_subhead_2010* sbhd);

char* get_branch_name(int type);
char* get_branch_class(int type);
// Channel name, units and description of channel `chan` of the type;
// "UNKNOWN" when the channel does not exist.
char* get_chan_name(int type, int chan);
char* get_chan_units(int type, int chan);
char* get_chan_descr(int type, int chan);
// Name of entry `chan` of a 2010 statistics record; "NOT DEFINED" outside 0-31.
char* get_stat_name_2010(int chan);
// zel_daq_struct_type category of the type, -1 for types without one.
int get_data_structure_type(int dtype);
// The description word of a generic spectrum array (type 28); -1 when the
// 2009 generation is in force, for a null head or for another type.
int get_spect_code_description_2010(kova_serv_block_subhead_2010* subhead);
// Default sub-block type for a device name: the first prefix of a fixed list
// that `name` starts with decides ("ML...", "BPM...", "TOROID...", ...); 0
// when none does or name is null. `sbname` is an input, the name of the
// server block that delivers the device (may be null): a beam-position
// monitor ("BPM...") in a server block whose name contains "CAV" gets the
// cavity monitor's type (8 in the 2009 generation, 40 in 2010 and 2024).
int find_default_data_type(char* name, char* sbname);

// ---------------------------------------------------------------------------
// Generation switch. Initially the 2010 flag is set. Setting one flag to true
// clears the other; with both clear the 2009 generation is in force.

void set_data_format_2010(bool how);
void set_data_format_2024(bool how);
bool is_data_format_2010();
bool is_data_format_2024();

// ---------------------------------------------------------------------------
// Other names

// "real" for 0, "test" for 1, "save" otherwise.
char* runmode_i2a(int mode);
// Data and index file extensions; ".unknown" outside 0-2.
char* kova_get_daq_file_ext(int indx);
char* kova_get_daq_index_file_ext(int index);
// "ZLIB" for 1, "LZO" for 2, "Compressor unknown" otherwise.
char* kova_get_compressor_name(int type);
// Texts of the front-end error bits set in `error`, in table order; "OK" for
// 0. The text lives in a per-thread buffer that the next call overwrites.
const char* get_daq_fed_error(int error);

// ---------------------------------------------------------------------------
// Payload size rules (type masked with 0xFFFF)

// Bytes of the payload before the sample data (entry size for slow types);
// for type 28 the fixed part for `nchan` sub-channels. Unknown types print
// " Unknown data type: %d\n" and give -1.
int get_sizeof_struct_no_data(int dtype, int nchan);
// Whole payload size for the given sample counts (see the payload layouts);
// for type 28 `pndata` may list per-sub-channel counts, for type 23 it is the
// stored framework payload. Unknown types print "HErrRE Unknown data type:
// %d\n" and give -1.
int get_sizeof_struct_data(int dtype, int ndata, int ndata1, int ndata2, int* pndata);

}  // extern "C"

// ---------------------------------------------------------------------------
// Time stamps and ISO dates

// True when both words are equal.
bool kova_time_stamp_eq(time_stamp* tm1, time_stamp* tm2);
// True when the stamps differ by at most `diff` microseconds (then *how = 0).
// Otherwise false, *how = -1 when tm2 is later, +1 when earlier, and
// *diffout = the difference in microseconds; each only when given.
bool kova_time_stamp_eq(time_stamp* tm1, time_stamp* tm2, double diff, int* how, double* diffout);
// Event identifier of a time stamp of the first running period, 0 outside it.
unsigned int kova_get_event_id(time_stamp* tm);
u_int kova_get_from_timestamp_sec(time_stamp* tm);
u_int kova_get_from_timestamp_usec(time_stamp* tm);
u_int kova_get_from_time_id_sec(kova_time_id* tm);
u_int kova_get_from_time_id_usec(kova_time_id* tm);
u_int kova_get_from_time_id_evid(kova_time_id* tm);

// Local time as "YYYYMMDDThhmmss" (year true) or "MMDDThhmmss" into a buffer
// of at least 16 bytes; a null buffer does nothing.
void create_isodate(char* isodate_str, bool year);
void create_isodate_from_sec(time_t t, char* isodate_str, bool year);
// Parse "YYYYMMDDThhmmss" / "YYYY-MM-DDThh:mm:ss" as local wall-clock time.
// Return false on success, true on failure.
bool time_from_isodate(const char* time_str, time_t* tout);
bool time_from_isodate2(const char* time_str, time_t* tout);

// The rest of the exported interface, one header per subsystem.
#include "event_convert.h"
#include "event_slow.h"
#include "event_bridge.h"
#include "event_dump.h"
#include "event_channel.h"
#include "event_print.h"
#include "event_files.h"
#include "event_archive.h"

#endif  // HESK_EVENT_UTIL_H
