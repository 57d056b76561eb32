// Text listings of run and copy catalogs on standard output.
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

constexpr const char* kRule = "==================================================";

// ctime text of a catalog time, without its newline.
std::string ctime_text(unsigned int t) {
  const time_t tt = static_cast<time_t>(t);
  char buf[64];
  if (ctime_r(&tt, buf) == nullptr) return itos(t);
  std::string s(buf);
  if (!s.empty() && s.back() == '\n') s.pop_back();
  return s;
}

}  // namespace

void print_run_catalog_struct(std::vector<kova_run_catalog*>* list) {
  printf("KOVA RUN CATALOG\n%s\n", kRule);
  const size_t n = list != nullptr ? list->size() : 0;
  if (n == 0) printf("No entries\n");
  for (size_t i = 0; i < n; ++i) {
    const kova_run_catalog& r = *(*list)[i];
    printf(
        "Type: %d\tYear: %d\tExp: %s\tStream: %s Run: %d\tfiles: %d FID: %d\t Start: %s\t Stop:  "
        "%s\n",
        r.type, r.year, field(r.exp).c_str(), field(r.stream).c_str(), r.run, r.files, r.fid,
        ctime_text(r.tstart).c_str(), ctime_text(r.tend).c_str());
  }
  printf("===== %zu entri(es)  ====\n", n);
}

void print_dccp_catalog_struct(std::vector<kova_dccp_catalog*>* list) {
  printf("KOVA DCCP CATALOG\n%s\n", kRule);
  const size_t n = list != nullptr ? list->size() : 0;
  if (n == 0) printf("No entries\n");
  for (size_t i = 0; i < n; ++i) {
    const kova_dccp_catalog& r = *(*list)[i];
    printf("Type: %d\tYear: %d\tExp: %s\tStream: %s Run: %d\tfiles: %d\tFID: %d\tRMVD: %d\n",
           r.type, r.year, field(r.exp).c_str(), field(r.stream).c_str(), r.run, r.files, r.fid,
           r.removed);
  }
  printf("===== %zu entri(es)  ====\n", n);
}

void print_run_catalog(char* dirext, char* exp) {
  std::vector<kova_run_catalog*> list;
  if (read_run_catalog(&list, false, dirext, exp) != 0)
    printf("Failed to read run catalog\n");
  else
    print_run_catalog_struct(&list);
  clear_run_catalog_mem(&list);
}

void print_all_run_catalogs(char* dirext) {
  std::vector<kova_run_catalog*> list;
  if (read_all_run_catalogs(&list, false, dirext) != 0)
    printf("Failed to read run catalogs\n");
  else
    print_run_catalog_struct(&list);
  clear_run_catalog_mem(&list);
}

void print_dccp_catalog(char* admext) {
  std::vector<kova_dccp_catalog*> list;
  if (read_dccp_catalog(&list, false, admext, nullptr) != 0)
    printf("Failed to read dccp catalog\n");
  else
    print_dccp_catalog_struct(&list);
  clear_dccp_catalog_mem(&list);
}

void print_all_dccp_catalogs(char* admext) {
  std::vector<kova_dccp_catalog*> list;
  if (read_all_dccp_catalogs(&list, false, admext) != 0)
    printf("Failed to read all dccp catalogs\n");
  else
    print_dccp_catalog_struct(&list);
  clear_dccp_catalog_mem(&list);
}
