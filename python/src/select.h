// The data files of runs, of a period or of a writer, from an archive's run
// catalogs and index files, as the library's file selection gives them, with
// each name completed to the file's path in the archive.
//
// The archive roots are set for the duration of one call (the library reads
// them from the environment); the call holds the library lock.
#ifndef HESK_PY_SELECT_H
#define HESK_PY_SELECT_H

#include <string>
#include <utility>
#include <vector>

namespace heskpy {

struct Selection {
  std::string root;  // data root
  std::string adm;   // administration root (index files, run catalogs)
  bool by_period = false;
  std::vector<std::pair<long long, long long>> runs;  // (first, last); empty: every run
  unsigned int start = 0, end = 0;                    // with by_period; end 0: the instant start
  int writer = 0;                                     // 0: every writer
  std::string exp;                                    // empty: every experiment of the catalogs
  int format = 1;                                     // 0 root, 1 raw, 2 both, 3 raw64
};

// Paths in the library's order: runs (groups) in catalog order, the files of
// a run by the time stamp in their names; experiments by name. Throws
// heskpy::Error.
std::vector<std::string> select_files(const Selection& s);

}  // namespace heskpy

#endif  // HESK_PY_SELECT_H
