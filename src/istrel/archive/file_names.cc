// File-name builders: catalogs, index files, channel descriptions and data
// files, each in its directory of the archive tree.
#include <string>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

// Builds a directory with one of the directory builders into `dir`.
template <class Build>
bool build_dir(std::string& dir, Build build) {
  char buf[kMaxName + 1];
  int len = sizeof(buf);
  if (build(buf, &len) != KOVA_DIR_OK) return false;
  dir = buf;
  return true;
}

bool name_args_ok(const char* exp, const char* stream, int run, const char* out,
                  const int* outlen) {
  return has_text(exp) && has_text(stream) && run > 0 && out != nullptr && outlen != nullptr;
}

std::string run_name(const char* exp, const char* stream, int run) {
  return std::string(exp) + "_" + stream + "_run" + itos(run);
}

std::string writer_suffix(int thrn) {
  return thrn > 0 ? "." + itos(thrn) : std::string();
}

// Data file extension; the 64-bit raw format is a raw file too.
const char* data_ext(int format) {
  return format == KOVA_DAQ_DATA_RAW64_FORMAT ? kova_get_daq_file_ext(KOVA_DAQ_DATA_RAW_FORMAT)
                                              : kova_get_daq_file_ext(format);
}

}  // namespace

int get_run_catalog_file_name(char* out, int* outlen, char* dirext, char* exp) {
  if (out == nullptr || outlen == nullptr) return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir,
                 [&](char* b, int* l) { return get_run_catalog_dir_name(false, b, l, dirext); }))
    return KOVA_FILE_DIR_ERROR;
  return copy_out(dir + "kovaruns" + (exp != nullptr ? exp : "") + ".ctl", out, outlen,
                  KOVA_FILE_TOO_LONG);
}

int get_dccp_catalog_file_name(char* out, int* outlen, char* admext, char* exp) {
  if (out == nullptr || outlen == nullptr) return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir,
                 [&](char* b, int* l) { return get_dccp_catalog_dir_name(false, b, l, admext); }))
    return KOVA_FILE_DIR_ERROR;
  return copy_out(dir + "kovaruns" + (exp != nullptr ? exp : "") + ".dccp", out, outlen,
                  KOVA_FILE_TOO_LONG);
}

int get_index_file_name(char* exp, char* stream, int run, char* out, int* outlen, int thrn,
                        char* dirext, int format, int yearext) {
  if (!name_args_ok(exp, stream, run, out, outlen) || format < 0 ||
      format >= KOVA_DAQ_INDEX_FORMAT_MAX)
    return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir, [&](char* b, int* l) {
        return get_adm_dir_name(exp, stream, run, false, b, l, dirext, yearext);
      }))
    return KOVA_FILE_DIR_ERROR;
  return copy_out(
      dir + run_name(exp, stream, run) + writer_suffix(thrn) + kova_get_daq_index_file_ext(format),
      out, outlen, KOVA_FILE_TOO_LONG);
}

int get_chan_descr_file_name(char* exp, char* stream, int run, char* out, int* outlen, char* admext,
                             int yearext) {
  if (!name_args_ok(exp, stream, run, out, outlen)) return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir, [&](char* b, int* l) {
        return get_adm_dir_name(exp, stream, run, false, b, l, admext, yearext);
      }))
    return KOVA_FILE_DIR_ERROR;
  return copy_out(dir + run_name(exp, stream, run) + "_chan_dscr.xml", out, outlen,
                  KOVA_FILE_TOO_LONG);
}

int get_event_root_file_name(int mode, char* exp, char* stream, int run, int nfile, char* out,
                             int* outlen, int thrn, int format) {
  if (!name_args_ok(exp, stream, run, out, outlen) ||
      (format != KOVA_DAQ_DATA_ROOT_FORMAT && format != KOVA_DAQ_DATA_RAW_FORMAT))
    return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir, [&](char* b, int* l) {
        return get_event_dir_name(mode, exp, stream, run, false, b, l, thrn);
      }))
    return KOVA_FILE_DIR_ERROR;
  char iso[16];
  create_isodate(iso, true);
  return copy_out(dir + run_name(exp, stream, run) + "_file" + itos(nfile) + "_" + iso +
                      writer_suffix(thrn) + data_ext(format),
                  out, outlen, KOVA_FILE_TOO_LONG);
}

int get_event_root_file_name_arch(int mode, int year, char* exp, char* stream, int run, int nfile,
                                  char* iso_date, char* out, int* outlen, int thrn, int format) {
  if (!name_args_ok(exp, stream, run, out, outlen) || iso_date == nullptr || format < 0 ||
      format >= KOVA_DAQ_DATA_FORMAT_MAX)
    return KOVA_FILE_BAD_PRM;
  std::string dir;
  if (!build_dir(dir, [&](char* b, int* l) {
        return get_event_dir_name_year(mode, year, exp, stream, run, false, b, l);
      }))
    return KOVA_FILE_DIR_ERROR;
  return copy_out(dir + run_name(exp, stream, run) + "_file" + itos(nfile) + "_" + iso_date +
                      writer_suffix(thrn) + data_ext(format),
                  out, outlen, KOVA_FILE_TOO_LONG);
}
