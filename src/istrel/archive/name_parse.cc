// Taking data file names apart: experiment, stream, run, file number and
// time stamp; the tape-archive directory of a file; the time in a name.
// Names look like exp_stream_run5_file2_20240101T120000[.3].raw.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "archive_internal.h"

using namespace kova_archive;

namespace {

constexpr u_int kPartBuffer = 4096;

// Hands one part to the caller under the capacity rules of the parser.
void deliver(const std::string& part, char* buf, u_int* lenp, bool zero_when_small) {
  if (lenp == nullptr) return;
  if (buf == nullptr) {
    if (*lenp <= part.size()) *lenp = 0;
    return;
  }
  if (*lenp > part.size()) {
    memcpy(buf, part.c_str(), part.size() + 1);
    *lenp = static_cast<u_int>(part.size());
  } else if (zero_when_small) {
    *lenp = 0;
  }
}

// The piece of `s` starting at `from` up to the next `sep` (or the end);
// `from` moves past the separator.
std::string next_piece(const std::string& s, size_t& from, char sep) {
  if (from >= s.size()) return std::string();
  size_t end = s.find(sep, from);
  if (end == std::string::npos) end = s.size();
  std::string piece = s.substr(from, end - from);
  from = end + 1;
  return piece;
}

// Time of the stamp between the last "_" and the first of `ends` found after it.
bool stamp_before(const char* file, const char* const* ends, int nends, time_t* ts) {
  const char* us = strrchr(file, '_');
  if (us == nullptr) return true;
  const char* stop = nullptr;
  for (int i = 0; i < nends && stop == nullptr; ++i) stop = strstr(us + 1, ends[i]);
  if (stop == nullptr) return true;
  std::string stamp(us + 1, stop);
  return time_from_isodate(stamp.c_str(), ts);
}

}  // namespace

bool get_file_name_parts(char* exp, char* file_name, char* stream, u_int* stream_len, char* runn,
                         u_int* runn_len, char* filen, u_int* filen_len, char* timest,
                         u_int* timest_len) {
  if (exp == nullptr || file_name == nullptr) {
    printf("get_file_name_parts: one of input parameter(s) invalid: exp: %p, file_name: %p\n",
           static_cast<void*>(exp), static_cast<void*>(file_name));
    return true;
  }
  const size_t el = strlen(exp);
  if (strncmp(file_name, exp, el) != 0) {
    printf("get_file_name_parts: wrong experiment\n");
    return true;
  }
  if (file_name[el] != '_') {
    printf("get_file_name_parts: inconsistent experiment\n");
    return true;
  }
  const std::string rest(file_name + el + 1);
  const size_t run_at = rest.find("_run");
  if (run_at == std::string::npos) return true;
  const std::string parts = rest.substr(run_at + 1);
  size_t from = 0;
  const std::string run_part = next_piece(parts, from, '_');
  const std::string file_part = next_piece(parts, from, '_');
  std::string stamp = next_piece(parts, from, '_');
  stamp = stamp.substr(0, stamp.find('.'));

  deliver(rest.substr(0, run_at), stream, stream_len, true);
  deliver(run_part, runn, runn_len, false);
  deliver(file_part, filen, filen_len, true);
  deliver(stamp, timest, timest_len, true);
  return false;
}

bool get_pnfs_dir(char* exp, char* file_name, char* out, u_int* len, char* pref) {
  if (exp == nullptr || file_name == nullptr || out == nullptr || len == nullptr) {
    printf(
        "get_pnfs_dir: one of input parameter(s) invalid: exp: %p, file_name: %p out: %p len: "
        "%p\n",
        static_cast<void*>(exp), static_cast<void*>(file_name), static_cast<void*>(out),
        static_cast<void*>(len));
    return true;
  }
  char stream[kPartBuffer] = "", runn[kPartBuffer] = "", filen[kPartBuffer] = "",
       stamp[kPartBuffer] = "";
  u_int sl = kPartBuffer, rl = kPartBuffer, fl = kPartBuffer, tl = kPartBuffer;
  if (get_file_name_parts(exp, file_name, stream, &sl, runn, &rl, filen, &fl, stamp, &tl))
    return true;
  time_t t = 0;
  if (time_from_isodate(stamp, &t)) {
    printf("get_pnfs_dir: failed to get time form %s\n", stamp);
    return true;
  }
  struct tm lt;
  if (localtime_r(&t, &lt) == nullptr) {
    printf("get_pnfs_dir: failed to extract broken time \n");
    return true;
  }
  std::string prefix = has_text(pref) ? pref : "/";
  if (!has_text(pref)) {
    if (const char* v = env_dir("HALV_PNFS_PREFIX")) prefix = v;
  }
  if (prefix.back() != '/') prefix += '/';
  const std::string dir =
      prefix + itos(lt.tm_year + 1900) + "/" + exp + "/" + stream + "/" + runn + "/";
  if (*len > dir.size()) {
    memcpy(out, dir.c_str(), dir.size() + 1);
    *len = static_cast<u_int>(dir.size());
    return false;
  }
  *len = 0;
  return true;
}

bool get_time_from_file_name(const char* file, time_t* tout) {
  if (file == nullptr || tout == nullptr) return true;
  const char* us = strrchr(file, '_');
  if (us == nullptr) return true;
  const char* dot = strchr(us + 1, '.');
  if (dot == nullptr) return true;
  std::string stamp(us + 1, dot);
  return time_from_isodate(stamp.c_str(), tout);
}

int get_file_time_stamp(char* file, time_t* ts) {
  if (!has_text(file) || ts == nullptr) return 1;
  static const char* const kEnds[] = {".root", ".raw"};
  return stamp_before(file, kEnds, 2, ts) ? 1 : 0;
}

bool get_file_time_stamp(const std::string& file, time_t& ts) {
  if (file.empty()) return true;
  static const char* const kEnds[] = {".root"};
  return stamp_before(file.c_str(), kEnds, 1, &ts);
}
