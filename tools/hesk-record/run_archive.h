// The archive side of one recorded run: where its files go and what they
// are called (the archive's naming functions), the recorder's lock on the
// run, the run catalog entry and the index file that list its files, and
// the repair of what an earlier recorder of the run left when it was killed
// (files without tables, whole files the catalogs do not list yet).
//
// Ordering: a file is listed only after it is whole on disk; the run
// catalog is updated first (it fixes the run's year, which names the
// index file's directory), then the index file. A recorder killed between
// the two leaves a whole file that the index does not name; the repair at
// the next start lists it.
#ifndef HESK_RECORD_RUN_ARCHIVE_H
#define HESK_RECORD_RUN_ARCHIVE_H

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "daq_file_writer.h"

namespace hrec {

struct RunId {
  int mode = 0;  // run mode: 0 "real", 1 "test"
  int year = 0;
  std::string exp, stream;
  int run = 0;
  int fid = 0;  // writer number in the catalogs and file names (0: none)
};

// Points the archive functions of this process at `root`: data under it,
// administration (run catalogs, index files) under root/adm, as hesk-select
// --root does.
void use_archive_root(const std::string& root);

// Takes a data file path of the archive apart:
// <data root>/<mode>/<year>/<exp>/<stream>/run<N>/<exp>_<stream>_run<N>_file<M>_<iso>[.<fid>].raw
bool parse_data_path(const std::string& path, RunId* id, int* number, std::string* data_root);

// Text of a kova_file_err code.
std::string file_err_text(int code);

class RunArchive {
 public:
  // Lines about repairs (recovered, removed, listed files) go to `report`.
  using Report = std::function<void(const std::string&)>;

  RunArchive(const RunId& id, Report report);
  ~RunArchive();  // gives the run lock back
  RunArchive(const RunArchive&) = delete;
  RunArchive& operator=(const RunArchive&) = delete;

  // Finds the run's year (its catalog entry, else this year), creates its
  // data directory, takes the run lock (one recorder per run) and repairs
  // what an earlier recorder left. False with error().
  bool open();
  // The same for the run of the given files (id.year set): takes the lock,
  // recovers those files only and lists them.
  bool open_for(const std::vector<std::string>& files);

  // The next data file: its path, number and time (the time stamp in its
  // name).
  std::string next_file(int* number, time_t* tfile);

  // Lists a file that is whole on disk: run catalog, then index file.
  bool publish(int number, time_t tfile, int generation, const daqfile::EventSpan& span);

  const RunId& id() const { return id_; }
  const std::string& dir() const { return dir_; }
  const std::string& error() const { return error_; }

 private:
  struct Found {
    std::string path;
    int number;
    std::string iso;
  };
  bool make_dir();
  bool lock_run();
  std::vector<Found> list_files() const;
  bool repair(const std::vector<std::string>* only);
  bool catalog_update(int files, unsigned tstart, unsigned tend);
  bool index_append(int number, time_t tfile, int generation, const daqfile::EventSpan& span);
  bool fail(const std::string& what);

  RunId id_;
  Report report_;
  std::string dir_;
  int lock_fd_ = -1;
  int next_number_ = 1;
  std::string error_;
};

}  // namespace hrec

#endif  // HESK_RECORD_RUN_ARCHIVE_H
