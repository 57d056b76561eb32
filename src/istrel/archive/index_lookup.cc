// The data files of one run-catalog entry, read from the writer's index file:
// every file from a file number on, or the files with events in a period.
#include <cstdio>
#include <string>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

struct Entry {
  kova_run_catalog* ent;
  std::string exp;
  std::string stream;
};

void report_entry(const Entry& e) {
  std::vector<kova_run_catalog*> one{e.ent};
  print_run_catalog_struct(&one);
}

int index_name(const Entry& e, char* dirext, int idxfmt, int yearext, std::string& name) {
  char buf[kMaxName + 1];
  int len = sizeof(buf);
  const int rc =
      get_index_file_name(const_cast<char*>(e.exp.c_str()), const_cast<char*>(e.stream.c_str()),
                          e.ent->run, buf, &len, e.ent->fid, dirext, idxfmt, yearext);
  if (rc != 0) {
    printf("get_root_file_name_from_index_file_() failed to get index file name for:\n");
    report_entry(e);
    printf("get_root_file_name_from_index_file_() skipping it\n");
    return rc;
  }
  name = buf;
  return 0;
}

// Appends the paths of the taken records of `recs` to `res`.
template <class R>
int take_files(const Entry& e, const std::vector<R*>& recs, time_t start, time_t end, int mode,
               int filen, int datafmt, std::vector<std::string*>* res) {
  for (const R* r : recs) {
    if (lies(*r)) continue;
    const bool take = mode != 0 ? check_time_interval(start, end, r->evfirst, r->evlast)
                                : (filen < 0 || r->filen >= filen);
    if (!take) continue;
    char iso[16];
    create_isodate_from_sec(static_cast<time_t>(r->tfile), iso, true);
    char buf[kMaxName + 1];
    int len = sizeof(buf);
    const int rc =
        get_event_root_file_name_arch(e.ent->type, e.ent->year, const_cast<char*>(e.exp.c_str()),
                                      const_cast<char*>(e.stream.c_str()), e.ent->run, r->filen,
                                      iso, buf, &len, e.ent->fid, datafmt);
    if (rc != 0) {
      printf("get_root_file_name_from_index_file_() failed to get ROOT file (%d) name for:\n",
             r->filen);
      report_entry(e);
      return rc;
    }
    res->push_back(new std::string(buf));
  }
  return 0;
}

template <class R, class Read, class Clear>
int read_and_take(const Entry& e, const std::string& name, Read read, Clear clear, time_t start,
                  time_t end, int mode, int filen, int datafmt, std::vector<std::string*>* res) {
  std::vector<R*> recs;
  int rc = read(const_cast<char*>(name.c_str()), &recs, false, 0);
  if (rc == 0) rc = take_files(e, recs, start, end, mode, filen, datafmt, res);
  clear(&recs);
  return rc;
}

}  // namespace

int get_root_file_name_from_index_file(time_t start, time_t end, kova_run_catalog* ent,
                                       char* dirext, std::vector<std::string*>* res, int format,
                                       int mode, int yearext, int filen) {
  if (ent == nullptr || res == nullptr || format < 0 || format > KOVA_DAQ_DATA_RAW64_FORMAT)
    return KOVA_FILE_DIR_ERROR;
  if (is_data_format_2024()) format = KOVA_DAQ_DATA_RAW64_FORMAT;
  const Entry e{ent, field(ent->exp), field(ent->stream)};
  std::string name;
  int rc = 0;
  switch (format) {
    case KOVA_DAQ_DATA_RAW_FORMAT: {
      if ((rc = index_name(e, dirext, KOVA_DAQ_INDEX_EVENT_FORMAT, yearext, name))) return rc;
      std::vector<kova_index_file_ev*> recs;
      rc = read_index_file_ev(const_cast<char*>(name.c_str()), &recs, false, 0);
      if (rc != 0) {
        // A run that began in the year before keeps its index file there.
        clear_index_file_mem_ev(&recs);
        if ((rc = index_name(e, dirext, KOVA_DAQ_INDEX_EVENT_FORMAT, yearext - 1, name))) return rc;
        rc = read_index_file_ev(const_cast<char*>(name.c_str()), &recs, false, 0);
        if (rc != 0) {
          clear_index_file_mem_ev(&recs);
          return rc;
        }
        printf("get_root_file_name_from_index_file_( it's OK for:'%s'\n", name.c_str());
      }
      rc = take_files(e, recs, start, end, mode, filen, KOVA_DAQ_DATA_RAW_FORMAT, res);
      clear_index_file_mem_ev(&recs);
      return rc;
    }
    case KOVA_DAQ_DATA_RAW64_FORMAT:
      if ((rc = index_name(e, dirext, KOVA_DAQ_INDEX_BOTH_FORMAT, yearext, name))) return rc;
      return read_and_take<kova_index_file_ev_2024>(e, name, read_index_file_ev_2024,
                                                    clear_index_file_mem_ev_2024, start, end, mode,
                                                    filen, KOVA_DAQ_DATA_RAW64_FORMAT, res);
    default:
      if ((rc = index_name(e, dirext, KOVA_DAQ_INDEX_FORMAT, yearext, name))) return rc;
      return read_and_take<kova_index_file>(e, name, read_index_file, clear_index_file_mem, start,
                                            end, mode, filen, KOVA_DAQ_DATA_ROOT_FORMAT, res);
  }
}
