// The grouping of the file selection: catalog entries of one experiment,
// walked in catalog order, make one result element per run (consecutive
// entries of the same run), holding that run's data files without duplicates.
#ifndef HESK_ARCHIVE_SELECTION_H
#define HESK_ARCHIVE_SELECTION_H

#include <string>
#include <unordered_set>
#include <vector>

#include "archive_internal.h"

namespace kova_archive {

class RunGroups {
 public:
  RunGroups(std::vector<kova_root_xml_files*>* out, std::string wanted, char* dirext)
      : out_(out), wanted_(std::move(wanted)), dirext_(dirext) {}
  ~RunGroups() { close(); }
  RunGroups(const RunGroups&) = delete;
  RunGroups& operator=(const RunGroups&) = delete;

  // Starts a new group when the entry's run differs from the previous one's.
  void enter(kova_run_catalog* e);
  // Adds the data files of the current entry: index format `format`, or for
  // format 2 the ".idx" files and then the ".idev" ones.
  template <class Ask>
  void collect(int format, Ask ask) {
    if (format == KOVA_DAQ_DATA_BOTH_FORMAT) {
      add(ask(KOVA_DAQ_DATA_ROOT_FORMAT));
      add(ask(KOVA_DAQ_DATA_RAW_FORMAT));
    } else {
      add(ask(format));
    }
  }
  // Closes the last group and sorts the files of every element of `out`.
  void finish();

 private:
  void add(std::vector<std::string*> names);
  void close();

  std::vector<kova_root_xml_files*>* out_;
  std::string wanted_;
  char* dirext_;
  kova_run_catalog* first_ = nullptr;  // entry that opened the current group
  std::vector<std::string*> files_;
  std::unordered_set<std::string> seen_;
};

// Cuts a name to start at the first occurrence of the experiment name; a
// name without it is kept whole.
void cut_at_experiment(std::string& name, const std::string& exp);

}  // namespace kova_archive

#endif  // HESK_ARCHIVE_SELECTION_H
