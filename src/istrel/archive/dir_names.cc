// Directory builders of the archive tree: event data, staging pool,
// administration (index files, channel descriptions) and catalogs.
#include <ctime>
#include <string>
#include <vector>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

int current_year() {
  time_t now = time(nullptr);
  struct tm lt;
  localtime_r(&now, &lt);
  return lt.tm_year + 1900;
}

bool event_args_ok(int mode, const char* exp, const char* stream, int run, const char* out,
                   const int* outlen) {
  return (mode == KOVA_GLOB_MODE_REAL || mode == KOVA_GLOB_MODE_TEST) && has_text(exp) &&
         has_text(stream) && run >= 1 && out != nullptr && outlen != nullptr;
}

std::string with_slash(const char* root) {
  return std::string(root) + "/";
}

// Root of the year-explicit event builder and of the pool.
bool stage_or_override(std::string& root) {
  if (const char* v = env_dir("KOVA_ROOT_STAGE_DIR")) {
    root = with_slash(v);
    return true;
  }
  if (!data_override().empty()) {
    root = data_override() + "/";
    return true;
  }
  return false;
}

std::string event_root() {
  if (const char* v = env_dir("KOVA_ROOT_ENV_DIR")) return with_slash(v);
  return kDefaultDataRoot;
}

std::string run_part(const std::string& path, int year, const char* exp, const char* stream,
                     int run) {
  if (run < 1) return path;
  return path + itos(year) + "/" + exp + "/" + stream + "/run" + itos(run) + "/";
}

// Year of a run's administration directory: the first catalog entry of the
// run, else the current year.
int year_of_run(char* exp, int run, char* admext, int* year) {
  std::vector<kova_run_catalog*> list;
  int rc = load_catalogs(exp, admext, &list);
  if (rc != 0) return rc;
  *year = current_year();
  for (kova_run_catalog* e : list) {
    if (e->run == run && !lies(*e)) {
      *year = e->year;
      break;
    }
  }
  clear_run_catalog_mem(&list);
  return 0;
}

}  // namespace

int get_dir_name(std::string& path, char* exp, char* stream, int run, bool create, char* out,
                 int* outlen) {
  return get_dir_name_year(path, current_year(), exp, stream, run, create, out, outlen);
}

int get_dir_name_year(std::string& path, int year, char* exp, char* stream, int run, bool create,
                      char* out, int* outlen) {
  if (out == nullptr || outlen == nullptr) return KOVA_DIR_BAD_PRM;
  if (run >= 1 && (!has_text(exp) || !has_text(stream))) return KOVA_DIR_BAD_PRM;
  return finish_dir(run_part(path, year, exp, stream, run), create, out, outlen);
}

int get_event_dir_name(int mode, char* exp, char* stream, int run, bool create, char* out,
                       int* outlen, int thrn) {
  if (thrn >= 1) return get_event_pool_dir_name(out, outlen);
  if (!event_args_ok(mode, exp, stream, run, out, outlen)) return KOVA_DIR_BAD_PRM;
  std::string path = event_root() + runmode_i2a(mode) + "/";
  return get_dir_name(path, exp, stream, run, create, out, outlen);
}

int get_event_dir_name_year(int mode, int year, char* exp, char* stream, int run, bool create,
                            char* out, int* outlen) {
  if (!event_args_ok(mode, exp, stream, run, out, outlen)) return KOVA_DIR_BAD_PRM;
  std::string root;
  if (!stage_or_override(root)) root = event_root();
  std::string path = root + runmode_i2a(mode) + "/";
  return get_dir_name_year(path, year, exp, stream, run, create, out, outlen);
}

int get_event_pool_dir_name(char* out, int* outlen) {
  if (out == nullptr || outlen == nullptr) return KOVA_DIR_BAD_PRM;
  std::string path;
  if (!stage_or_override(path)) path = event_root() + kPoolSubdir;
  return finish_dir(path, true, out, outlen);
}

int get_adm_dir_name(char* exp, char* stream, int run, bool create, char* out, int* outlen,
                     char* admext, int yearext) {
  if (!has_text(exp) || !has_text(stream) || run < 1 || out == nullptr || outlen == nullptr)
    return KOVA_DIR_BAD_PRM;
  std::string root;
  if (const char* v = env_dir("KOVA_ROOT_ADM_DIR"))
    root = with_slash(v);
  else if (!adm_override().empty())
    root = adm_override() + "/";
  else if (has_text(admext))
    root = with_slash(admext);
  else
    root = kDefaultAdmRoot;
  int year = yearext;
  if (year < 0) {
    if (int rc = year_of_run(exp, run, admext, &year)) return rc;
  }
  return get_dir_name_year(root, year, exp, stream, run, create, out, outlen);
}

int get_run_catalog_dir_name(bool create, char* out, int* outlen, char* admext) {
  if (out == nullptr || outlen == nullptr) return KOVA_DIR_BAD_PRM;
  std::string path;
  if (const char* v = env_dir("KOVA_RUN_CTLG_DIR"))
    path = with_slash(v);
  else if (const char* a = env_dir("KOVA_ROOT_ADM_DIR"))
    path = with_slash(a);
  else if (!adm_override().empty())
    path = adm_override() + "/";
  else if (has_text(admext))
    path = with_slash(admext);
  else
    path = kDefaultAdmRoot;
  return finish_dir(path, create, out, outlen);
}

int get_dccp_catalog_dir_name(bool create, char* out, int* outlen, char* admext) {
  if (out == nullptr || outlen == nullptr) return KOVA_DIR_BAD_PRM;
  std::string path;
  if (const char* v = env_dir("KOVA_DCCP_CTLG_DIR"))
    path = with_slash(v);
  else if (has_text(admext))
    path = with_slash(admext);
  else
    path = kDefaultAdmRoot;
  return finish_dir(path, create, out, outlen);
}
