// Roots, overrides and the output convention shared by every name builder,
// and the walk that creates the directories of a path.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive_internal.h"

namespace kova_archive {

namespace {

constexpr size_t kMaxOverride = 1023;

std::string& data_dir_override() {
  static std::string s;
  return s;
}

std::string& adm_dir_override() {
  static std::string s;
  return s;
}

bool set_override(std::string& target, const char* str) {
  if (str == nullptr) {
    target.clear();
    return false;
  }
  if (strnlen(str, kMaxOverride + 1) > kMaxOverride) return true;
  target = str;
  return false;
}

// Creates every missing directory up to the last "/" of `path`. An existing
// prefix is passed over whatever it is. *last_unshared tells whether this call
// created the last directory and could not give it mode 0755.
bool make_missing_dirs(const std::string& path, bool* last_unshared) {
  *last_unshared = false;
  const size_t last_end = path.find_last_not_of('/') + 1;  // end of the last directory
  for (size_t i = 1; i < path.size(); ++i) {
    if (path[i] != '/') continue;
    std::string prefix = path.substr(0, i);
    if (prefix.empty()) break;
    struct stat st;
    if (lstat(prefix.c_str(), &st) == 0) continue;
    if (mkdir(prefix.c_str(), 0755) != 0) {
      const int err = errno;
      // Made by another process since the check: as good as found.
      if (err == EEXIST) continue;
      perror("mkdir");
      printf("ERRNO: %d for: %s\n", err, prefix.c_str());
      return false;
    }
    // Archive directories are shared: readable by everybody whatever the umask.
    const bool shared = chmod(prefix.c_str(), 0755) == 0;
    if (i == last_end) *last_unshared = !shared;
  }
  return true;
}

// The last directory, once the walk is done: a directory (or a link to one)
// of whichever owner passes, since readers of the archive need its names too;
// a plain file in its place, or a directory made here without mode 0755, is
// refused.
int check_last_dir(const std::string& path, bool unshared) {
  std::string dir = path;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) return KOVA_DIR_FAILED_CREATE;
  if (!S_ISDIR(st.st_mode)) return KOVA_DIR_PLAIN_FILE;
  if (unshared) return KOVA_DIR_WRONG_PERM;
  return KOVA_DIR_OK;
}

}  // namespace

const char* env_dir(const char* name) {
  const char* v = getenv(name);
  return has_text(v) ? v : nullptr;
}

const std::string& data_override() {
  return data_dir_override();
}
const std::string& adm_override() {
  return adm_dir_override();
}

std::string itos(long long v) {
  char buf[32];
  snprintf(buf, sizeof(buf), "%lld", v);
  return buf;
}

int copy_out(const std::string& name, char* out, int* outlen, int too_long) {
  if (name.size() > kMaxName) {
    *outlen = static_cast<int>(name.size() > 0x7fffffff ? 0x7fffffff : name.size());
    return too_long;
  }
  const int len = static_cast<int>(name.size());
  const int capacity = *outlen;
  *outlen = len;
  if (capacity <= len) return too_long;
  memcpy(out, name.c_str(), name.size() + 1);
  return 0;
}

int finish_dir(const std::string& path, bool create, char* out, int* outlen) {
  if (path.size() > kMaxName) return copy_out(path, out, outlen, KOVA_DIR_TOO_LONG);
  if (create) {
    bool unshared = false;
    if (!make_missing_dirs(path, &unshared)) {
      int rc = copy_out(path, out, outlen, KOVA_DIR_TOO_LONG);
      return rc != 0 ? rc : KOVA_DIR_FAILED_CREATE;
    }
    if (int rc = check_last_dir(path, unshared)) return rc;
  }
  return copy_out(path, out, outlen, KOVA_DIR_TOO_LONG);
}

}  // namespace kova_archive

bool set_ddir(char* str) {
  return kova_archive::set_override(kova_archive::data_dir_override(), str);
}

bool set_admdir(char* str) {
  return kova_archive::set_override(kova_archive::adm_dir_override(), str);
}
