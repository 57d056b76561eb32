// Questions answered from the run catalogs: the merged view of an
// experiment, the time span of a run, and the interval helpers of the file
// selection.
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "archive_internal.h"

namespace kova_archive {

namespace {

bool general_catalog_exists(char* dirext) {
  char name[kMaxName + 1];
  int len = sizeof(name);
  return get_run_catalog_file_name(name, &len, dirext, nullptr) == 0 && access(name, F_OK) == 0;
}

}  // namespace

int load_catalogs(const char* exp, char* dirext, std::vector<kova_run_catalog*>* out) {
  if (has_text(exp)) {
    std::vector<kova_run_catalog*> own;
    const int rc = read_run_catalog(&own, false, dirext, const_cast<char*>(exp));
    if (rc == 0 && !own.empty()) {
      // Many archives have no general catalog: its absence is no news here.
      std::vector<kova_run_catalog*> general;
      if (general_catalog_exists(dirext) &&
          read_run_catalog(&general, false, dirext, nullptr) == 0 &&
          merge_run_catalogs(&own, &general)) {
        clear_run_catalog_mem(&own);
        clear_run_catalog_mem(&general);
        return KOVA_FILE_BAD_PRM;
      }
      out->insert(out->end(), own.begin(), own.end());
      return KOVA_FILE_OK;
    }
    clear_run_catalog_mem(&own);
  }
  return read_run_catalog(out, false, dirext, nullptr);
}

bool exp_matches(const kova_run_catalog& e, const std::string& wanted) {
  const size_t n = strnlen(e.exp, sizeof(e.exp));
  return n <= wanted.size() && wanted.compare(0, n, e.exp, n) == 0;
}

}  // namespace kova_archive

using namespace kova_archive;

int get_time_for_run(int run, unsigned int* t_start, unsigned int* t_end, std::string* exp,
                     char* dirext) {
  if (run < 1) return KOVA_FILE_BAD_PRM;
  const std::string wanted = exp != nullptr ? *exp : std::string();
  std::vector<kova_run_catalog*> list;
  if (int rc = load_catalogs(wanted.c_str(), dirext, &list)) return rc;
  int rc = KOVA_NO_FILE_FOUND;
  for (kova_run_catalog* e : list) {
    if (e->run == run && !lies(*e) && exp_matches(*e, wanted)) {
      if (t_start != nullptr) *t_start = e->tstart;
      if (t_end != nullptr) *t_end = e->tend;
      rc = KOVA_FILE_OK;
      break;
    }
  }
  clear_run_catalog_mem(&list);
  return rc;
}

bool check_time_interval(time_t start, time_t end, time_t rstart, time_t rend) {
  if (rstart >= start && rstart <= end) return true;
  if (rend >= start && rend <= end) return true;
  return start >= rstart && end <= rend;
}

bool check_run_interval(int run, std::vector<int*>* runs) {
  if (runs == nullptr) return false;
  for (int* r : *runs) {
    if (r != nullptr && (*r == run || *r == -1)) return true;
  }
  return false;
}
