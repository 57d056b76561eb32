// The event archive: storage directories and file names, run and copy catalogs, index files and
// file selection. Part of the event-format library; include "event_util.h" to get it.
//
// The archive is a directory tree whose roots come from environment variables
// (KOVA_ROOT_ENV_DIR, KOVA_ROOT_STAGE_DIR, KOVA_ROOT_ADM_DIR, KOVA_RUN_CTLG_DIR,
// KOVA_DCCP_CTLG_DIR, HALV_PNFS_PREFIX; an empty variable counts as unset),
// the process-wide overrides set_ddir / set_admdir, or built-in defaults
// ("/daq/kova/", "/daq/kova/adm/"). Catalogs and index files are flat files of
// fixed-size big-endian records, updated by several processes on several hosts
// under whole-file lockf locks.
//
// Name builders write into a caller buffer `out` whose capacity is passed in
// *outlen; *outlen receives the name's length (without the NUL). When the
// capacity does not exceed that length nothing is copied and the too-long code
// is returned (KOVA_DIR_TOO_LONG for directories, KOVA_FILE_TOO_LONG for files).
//
// Lists of records returned by the readers hold pointers into one heap block
// whose start is the first pointer; release them with the clear_* functions.
// Threads: the overrides are plain process-wide state, set them once at
// start-up; everything else keeps no state of its own.
#ifndef HESK_EVENT_ARCHIVE_H
#define HESK_EVENT_ARCHIVE_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "event.h"

// Results of the directory builders.
enum kova_dir_err {
  KOVA_DIR_OK = 0,
  KOVA_DIR_BAD_PRM = 1,
  KOVA_DIR_FAILED_CREATE = 2,
  KOVA_DIR_WRONG_PERM = 3,  // the last directory cannot be read, written and searched
  KOVA_DIR_PLAIN_FILE = 4,  // the last directory is something other than a directory
  KOVA_DIR_TOO_LONG = 5
};

// Results of the file-name builders, catalog and index-file functions.
enum kova_file_err {
  KOVA_FILE_OK = 0,
  KOVA_FILE_BAD_PRM = 1,
  KOVA_FILE_TOO_LONG = 2,
  KOVA_FILE_DIR_ERROR = 3,
  KOVA_NO_FILE_FOUND = 4,
  KOVA_OPEN_FILE_ERROR = 5,
  KOVA_FILE_NO_MEM = 6,
  KOVA_FILE_STAT_FAILURE = 7,
  KOVA_FILE_CORRUPTED = 8,
  KOVA_FILE_READ_ERROR = 9,
  KOVA_FILE_WRITE_ERROR = 10,
  KOVA_FILE_LOCK_FAILED = 11
};

// One run-catalog record, 92 bytes on disk, integers big-endian there and in
// host order in memory; text fields NUL-padded (not always NUL-terminated).
struct kova_run_catalog {
  int type;             // run mode: 0 "real", 1 "test"
  int year;             // year the run was taken
  char exp[32];         // experiment
  char stream[32];      // stream
  int run;              // run number
  int files;            // data files of the run written by writer `fid`
  int fid;              // writer number
  unsigned int tstart;  // start of the run, seconds since the epoch (0: unknown)
  unsigned int tend;    // end of the run, seconds since the epoch (0: still running)
};

// One copy-catalog record, 88 bytes on disk.
struct kova_dccp_catalog {
  int type;
  int year;
  char exp[32];
  char stream[32];
  int run;
  int files;  // files copied
  int fid;
  int removed;  // files removed, never more than `files`
};

// One ".idx" index record, 148 bytes on disk: one data file of a run.
struct kova_index_file {
  int filen;                   // number of the data file ("file%d")
  unsigned int evfirst;        // time of the first event, seconds
  unsigned int evlast;         // time of the last event, seconds
  unsigned int tfile;          // time of the data file (the time stamp of its name)
  unsigned int events;         // events in the file
  int tevents[KOVA_EV_EVMAX];  // events per event type
};

// One ".idev" index record, 156 bytes on disk: with 32-bit event numbers.
struct kova_index_file_ev {
  int filen;
  unsigned int evfirst;
  unsigned int evlast;
  unsigned int event_first;  // number of the first event
  unsigned int event_last;   // number of the last event
  unsigned int tfile;
  unsigned int events;
  int tevents[KOVA_EV_EVMAX];
};

// One ".idev64" index record, 168 bytes on disk: with 64-bit event numbers.
struct kova_index_file_ev_2024 {
  int filen;
  unsigned int evfirst;
  unsigned int evlast;
  unsigned int unused;  // written as zero, never interpreted
  uint64_t event_first;
  uint64_t event_last;
  unsigned int tfile;
  unsigned int events;
  int tevents[KOVA_EV_EVMAX];
};

// A time and the position of the item it belongs to, for sorting by time.
struct time_t_index {
  time_t t;
  int index;
};

// The data files of one run found by the selection: paths starting at the
// experiment directory, sorted by the time stamps in their names, and the
// run's channel description file ("undefined" when it could not be named).
// The caller owns the element, `xmlfile` and every string of `rfiles`;
// clear_root_xml_files releases a whole result list.
struct kova_root_xml_files {
  std::vector<std::string*> rfiles;
  std::string* xmlfile = nullptr;
};

static_assert(sizeof(kova_run_catalog) == 92, "kova_run_catalog size");
static_assert(offsetof(kova_run_catalog, type) == 0, "kova_run_catalog::type offset");
static_assert(offsetof(kova_run_catalog, year) == 4, "kova_run_catalog::year offset");
static_assert(offsetof(kova_run_catalog, exp) == 8, "kova_run_catalog::exp offset");
static_assert(offsetof(kova_run_catalog, stream) == 40, "kova_run_catalog::stream offset");
static_assert(offsetof(kova_run_catalog, run) == 72, "kova_run_catalog::run offset");
static_assert(offsetof(kova_run_catalog, files) == 76, "kova_run_catalog::files offset");
static_assert(offsetof(kova_run_catalog, fid) == 80, "kova_run_catalog::fid offset");
static_assert(offsetof(kova_run_catalog, tstart) == 84, "kova_run_catalog::tstart offset");
static_assert(offsetof(kova_run_catalog, tend) == 88, "kova_run_catalog::tend offset");
static_assert(sizeof(kova_dccp_catalog) == 88, "kova_dccp_catalog size");
static_assert(offsetof(kova_dccp_catalog, run) == 72, "kova_dccp_catalog::run offset");
static_assert(offsetof(kova_dccp_catalog, files) == 76, "kova_dccp_catalog::files offset");
static_assert(offsetof(kova_dccp_catalog, fid) == 80, "kova_dccp_catalog::fid offset");
static_assert(offsetof(kova_dccp_catalog, removed) == 84, "kova_dccp_catalog::removed offset");
static_assert(sizeof(kova_index_file) == 148, "kova_index_file size");
static_assert(offsetof(kova_index_file, evfirst) == 4, "kova_index_file::evfirst offset");
static_assert(offsetof(kova_index_file, evlast) == 8, "kova_index_file::evlast offset");
static_assert(offsetof(kova_index_file, tfile) == 12, "kova_index_file::tfile offset");
static_assert(offsetof(kova_index_file, events) == 16, "kova_index_file::events offset");
static_assert(offsetof(kova_index_file, tevents) == 20, "kova_index_file::tevents offset");
static_assert(sizeof(kova_index_file_ev) == 156, "kova_index_file_ev size");
static_assert(offsetof(kova_index_file_ev, event_first) == 12,
              "kova_index_file_ev::event_first offset");
static_assert(offsetof(kova_index_file_ev, event_last) == 16,
              "kova_index_file_ev::event_last offset");
static_assert(offsetof(kova_index_file_ev, tfile) == 20, "kova_index_file_ev::tfile offset");
static_assert(offsetof(kova_index_file_ev, events) == 24, "kova_index_file_ev::events offset");
static_assert(offsetof(kova_index_file_ev, tevents) == 28, "kova_index_file_ev::tevents offset");
static_assert(sizeof(kova_index_file_ev_2024) == 168, "kova_index_file_ev_2024 size");
static_assert(offsetof(kova_index_file_ev_2024, unused) == 12,
              "kova_index_file_ev_2024::unused offset");
static_assert(offsetof(kova_index_file_ev_2024, event_first) == 16,
              "kova_index_file_ev_2024::event_first offset");
static_assert(offsetof(kova_index_file_ev_2024, event_last) == 24,
              "kova_index_file_ev_2024::event_last offset");
static_assert(offsetof(kova_index_file_ev_2024, tfile) == 32,
              "kova_index_file_ev_2024::tfile offset");
static_assert(offsetof(kova_index_file_ev_2024, events) == 36,
              "kova_index_file_ev_2024::events offset");
static_assert(offsetof(kova_index_file_ev_2024, tevents) == 40,
              "kova_index_file_ev_2024::tevents offset");

extern "C" {

// ---------------------------------------------------------------------------
// Overrides. Store the data / administration directory override (a null
// string clears it) and return false; return true and change nothing for a
// string longer than 1023 characters.
bool set_ddir(char* str);
bool set_admdir(char* str);

// ---------------------------------------------------------------------------
// Directory builders: kova_dir_err codes. Every built directory ends in "/".
// With `create`, missing directories are made with mode 0755; a failed mkdir
// still delivers the path and returns KOVA_DIR_FAILED_CREATE.

// <root>/<real|test>/<year now>/<exp>/<stream>/run<run>/; with thrn >= 1 the
// pool directory whatever the other arguments.
int get_event_dir_name(int mode, char* exp, char* stream, int run, bool create, char* out,
                       int* outlen, int thrn);
// The same for a given year; root KOVA_ROOT_STAGE_DIR, data override,
// KOVA_ROOT_ENV_DIR, default.
int get_event_dir_name_year(int mode, int year, char* exp, char* stream, int run, bool create,
                            char* out, int* outlen);
// The staging directory, always created.
int get_event_pool_dir_name(char* out, int* outlen);
// <adm root>/<year>/<exp>/<stream>/run<run>/. yearext >= 0 is the year;
// otherwise the year is looked up in the run catalogs (a catalog read failure
// returns its kova_file_err code), the current year when the run is not there.
int get_adm_dir_name(char* exp, char* stream, int run, bool create, char* out, int* outlen,
                     char* admext, int yearext);
int get_run_catalog_dir_name(bool create, char* out, int* outlen, char* admext);
int get_dccp_catalog_dir_name(bool create, char* out, int* outlen, char* admext);

// ---------------------------------------------------------------------------
// File-name builders: kova_file_err codes (a directory failure gives
// KOVA_FILE_DIR_ERROR). Directories are not created, except the pool
// directory, which its builder always creates.

int get_run_catalog_file_name(char* out, int* outlen, char* dirext, char* exp);
int get_dccp_catalog_file_name(char* out, int* outlen, char* admext, char* exp);
// <adm dir>exp_stream_run<run>[.<thrn>]<.idx|.idev|.idev64 for format 0..2>
int get_index_file_name(char* exp, char* stream, int run, char* out, int* outlen, int thrn,
                        char* dirext, int format, int yearext);
// <adm dir>exp_stream_run<run>_chan_dscr.xml
int get_chan_descr_file_name(char* exp, char* stream, int run, char* out, int* outlen, char* admext,
                             int yearext);
// <event or pool dir>exp_stream_run<run>_file<nfile>_<now, YYYYMMDDThhmmss>[.<thrn>]<.root|.raw>
int get_event_root_file_name(int mode, char* exp, char* stream, int run, int nfile, char* out,
                             int* outlen, int thrn, int format);
// As above in the directory of `year`, with the given ISO date; format 0..3
// (format 3, 64-bit raw data, is also ".raw").
int get_event_root_file_name_arch(int mode, int year, char* exp, char* stream, int run, int nfile,
                                  char* iso_date, char* out, int* outlen, int thrn, int format);

// ---------------------------------------------------------------------------
// Name parsing: false / 0 on success.

// Splits exp_stream_runN_fileM_TIMESTAMP[.thrn].ext. A part is copied when its
// buffer and length pointer are given and the capacity behind the pointer
// exceeds the part's length (which is then stored).
bool get_file_name_parts(char* exp, char* file_name, char* stream, u_int* stream_len, char* runn,
                         u_int* runn_len, char* filen, u_int* filen_len, char* timest,
                         u_int* timest_len);
// <pref or HALV_PNFS_PREFIX or "/">/<year>/<exp>/<stream>/<runN>/ of a data file name.
bool get_pnfs_dir(char* exp, char* file_name, char* out, u_int* len, char* pref);
// The time of the stamp after the last "_", cut at its first ".".
bool get_time_from_file_name(const char* file, time_t* tout);
// The time of the stamp between the last "_" and ".root" (else ".raw").
int get_file_time_stamp(char* file, time_t* ts);

// ---------------------------------------------------------------------------
// Whole-file locks (lockf) on an open read-write descriptor.

// False when the lock is held (or att is 0: no lock wanted); tries once and
// then `att` more times, `prd` microseconds apart. True on failure.
bool lock_file(int fid, int att, int prd);
// False on success.
bool unlock_file(int fid);

// ---------------------------------------------------------------------------
// Intervals. check_time_interval: [rstart, rend] meets [start, end] (either
// end inside, or the run covering the whole request), bounds inclusive.
bool check_time_interval(time_t start, time_t end, time_t rstart, time_t rend);
// Sorts by t ascending in the order of the exchange sort: for each position i
// in turn, every later item with a smaller t is exchanged with item i. Items
// of equal t are never exchanged with each other, but the exchanges move them
// past one another: t 5, 5, 3 at indexes 0, 1, 2 ends as indexes 2, 1, 0.
// O(n log n); the order is exactly the exchange sort's.
void sort_by_keys(time_t_index* t, int n);

// ---------------------------------------------------------------------------
// Printing of catalogs and index files, by name.
void print_run_catalog(char* dirext, char* exp);
void print_all_run_catalogs(char* dirext);
void print_dccp_catalog(char* admext);
void print_all_dccp_catalogs(char* admext);
// ".idx" and ".idev" / ".idev64" names; other names are ignored.
void print_index_file(char* file, bool how);

}  // extern "C"

// ---------------------------------------------------------------------------
// General directory builders: path + year/exp/stream/run<run>/ (year now, or
// the given one); with run < 1 only path itself.
int get_dir_name(std::string& path, char* exp, char* stream, int run, bool create, char* out,
                 int* outlen);
int get_dir_name_year(std::string& path, int year, char* exp, char* stream, int run, bool create,
                      char* out, int* outlen);

// Time stamp of a ".root" name; false on success.
bool get_file_time_stamp(const std::string& file, time_t& ts);

// ---------------------------------------------------------------------------
// Run and copy catalogs. Results: kova_file_err codes.

// Reads the whole file open at `fid` (lock taken with att/prd, left held for
// the caller to release). A locked read refuses a size that is not a whole
// number of records; an unlocked one ignores a partial tail. A record that
// contradicts itself (negative counts, a year below 0, an end before its
// start, more removed than copied files) gives KOVA_FILE_CORRUPTED.
int read_run_catalog_lock(int fid, int att, int prd, std::vector<kova_run_catalog*>* out);
int read_dccp_catalog_lock(int fid, int att, int prd, std::vector<kova_dccp_catalog*>* out);
// One catalog, exp null = the general catalog "kovaruns.ctl".
int read_run_catalog(std::vector<kova_run_catalog*>* out, bool lock, char* dirext, char* exp);
int read_dccp_catalog(std::vector<kova_dccp_catalog*>* out, bool lock, char* admext, char* exp);
// Every catalog file of the catalog directory, all records in one block.
int read_all_run_catalogs(std::vector<kova_run_catalog*>* out, bool lock, char* dirext);
int read_all_dccp_catalogs(std::vector<kova_dccp_catalog*>* out, bool lock, char* admext);
// rc := rc followed by rc1, in one new block (both old blocks released, rc1
// emptied). An empty rc takes rc1's pointers, then both share one block.
// False on success.
bool merge_run_catalogs(std::vector<kova_run_catalog*>* rc, std::vector<kova_run_catalog*>* rc1);
// Start and end of a run of `exp` (null: the general catalog's runs with an
// empty experiment name); KOVA_NO_FILE_FOUND when no catalog has it.
int get_time_for_run(int run, unsigned int* t_start, unsigned int* t_end, std::string* exp,
                     char* dirext);

// Add the records of `upd` under the file lock: a record with the same
// identity (type, year, exp, stream, run, fid) is merged in place (files
// added, the earlier non-zero start, the later end; copy catalog: removed
// added, at most files), others are appended. Records that contradict
// themselves are refused with KOVA_FILE_BAD_PRM before anything is written.
int update_run_catalog_entries(std::vector<kova_run_catalog*>* upd, char* dirext, char* exp);
int update_dccp_catalog_entries(std::vector<kova_dccp_catalog*>* upd, char* admext, char* exp);

bool same_run_catalog_entry(kova_run_catalog* a, kova_run_catalog* b);
bool same_dccp_catalog_entry(kova_dccp_catalog* a, kova_dccp_catalog* b);
void clear_run_catalog_mem(std::vector<kova_run_catalog*>* list);
void clear_dccp_catalog_mem(std::vector<kova_dccp_catalog*>* list);
// True when an element of `runs` equals `run` or is -1.
bool check_run_interval(int run, std::vector<int*>* runs);

void print_run_catalog_struct(std::vector<kova_run_catalog*>* list);
void print_dccp_catalog_struct(std::vector<kova_dccp_catalog*>* list);

// ---------------------------------------------------------------------------
// Index files. Readers on a descriptor release the lock they took; by name,
// `lock` reads under the lock and `warn` 0 keeps an open failure silent.
// Appends take the lock for the whole read-and-append, so concurrent writers
// lose nothing; a failed append is cut back to the last whole record.

int read_index_file_lock(int fid, int att, int prd, std::vector<kova_index_file*>* out);
int read_index_file_lock_ev(int fid, int att, int prd, std::vector<kova_index_file_ev*>* out);
int read_index_file_lock_ev_2024(int fid, int att, int prd,
                                 std::vector<kova_index_file_ev_2024*>* out);
int read_index_file(char* file, std::vector<kova_index_file*>* out, bool lock, int warn);
int read_index_file_ev(char* file, std::vector<kova_index_file_ev*>* out, bool lock, int warn);
int read_index_file_ev_2024(char* file, std::vector<kova_index_file_ev_2024*>* out, bool lock,
                            int warn);
// ".idx" of writer thrn; ".idev" takes format 1 only, ".idev64" format 2
// (or 3, the selection's number for it).
int add_index_file_entries(char* exp, char* stream, int run, int thrn,
                           std::vector<kova_index_file*>* ad, char* dirext);
int add_index_file_entries_ev(char* exp, char* stream, int run, int thrn,
                              std::vector<kova_index_file_ev*>* ad, char* dirext, int format);
int add_index_file_entries_ev_2024(char* exp, char* stream, int run, int thrn,
                                   std::vector<kova_index_file_ev_2024*>* ad, char* dirext,
                                   int format);
void print_index_file_struct(std::vector<kova_index_file*>* list, bool how);
void print_index_file_struct_ev(std::vector<kova_index_file_ev*>* list, bool how);
void print_index_file_struct_ev_2024(std::vector<kova_index_file_ev_2024*>* list, bool how);
void clear_index_file_mem(std::vector<kova_index_file*>* list);
void clear_index_file_mem_ev(std::vector<kova_index_file_ev*>* list);
void clear_index_file_mem_ev_2024(std::vector<kova_index_file_ev_2024*>* list);

// ---------------------------------------------------------------------------
// File selection. `format`: 0 ".idx"/".root", 1 ".idev"/".raw", 2 both
// (".idx" then ".idev", duplicates dropped; a direct call takes it as 0),
// 3 ".idev64"/".raw". `runs` holds pointers to run numbers, -1 = every run.
// `descr` is not used. Results: kova_file_err codes; runs whose index file
// cannot be named or read are skipped with a message.

// Data file paths of one catalog entry: mode 0 the files numbered `filen` or
// higher (filen < 0: all), mode non-zero the files with events in [start, end].
int get_root_file_name_from_index_file(time_t start, time_t end, kova_run_catalog* ent,
                                       char* dirext, std::vector<std::string*>* res, int format,
                                       int mode, int yearext, int filen);
int get_files_for_runs(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                       std::string& descr, std::string* exp, char* dirext, int format);
int get_files_for_runsf(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                        std::string& descr, std::string* exp, char* dirext, int format, int filen);
// Only the files of writer thrn (names ending ".<thrn>.root" / ".<thrn>.raw").
int get_files_for_runsn(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                        std::string& descr, int thrn, std::string* exp, char* dirext, int format);
int get_files_for_runsnf(std::vector<int*>* runs, std::vector<kova_root_xml_files*>* out,
                         std::string& descr, int thrn, std::string* exp, char* dirext, int format,
                         int filen);
// Files holding events of [start, end] (end 0: the instant start) of runs
// that have ended.
int get_files_for_period(unsigned int start, unsigned int end,
                         std::vector<kova_root_xml_files*>* out, std::string& descr,
                         std::string* exp, char* dirext, int format);
// The same with format 1; -1 for a null exp.
int get_files_for_period_new(unsigned int start, unsigned int end,
                             std::vector<kova_root_xml_files*>* out, char* exp, char* dirext);
// Releases every element of a selection result, its strings, and empties it.
void clear_root_xml_files(std::vector<kova_root_xml_files*>* list);

// Order names by the time stamp in them (none readable: time 0), stable.
void sort_files(std::vector<std::string*>* files);
void sort_files(std::vector<char*>* files);
void sort_files(std::vector<std::string>& files);

#endif  // HESK_EVENT_ARCHIVE_H
