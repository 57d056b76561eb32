// Catalog and index-file readers on arbitrary file contents, then the
// printers and the merge on what was read; and the file-name parsers on the
// same bytes taken as a name.
// Input: a selector byte (bits 0-2 the layout: run catalog, copy catalog,
// ".idx", ".idev", ".idev64", name; bit 3 a locked read), then the file.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "event_util.h"

namespace {

template <class R, class Read, class Print, class Clear>
void read_print(int fd, bool locked, Read read, Print print, Clear clear) {
  std::vector<R*> list;
  if (read(fd, locked ? 1 : 0, 0, &list) == 0) print(&list);
  clear(&list);
}

void parse_name(const uint8_t* data, size_t size) {
  std::string name(reinterpret_cast<const char*>(data), size);
  name = name.c_str();  // up to the first NUL
  char s[16], r[16], f[16], t[16], out[64];
  u_int sl = sizeof(s), rl = sizeof(r), fl = sizeof(f), tl = sizeof(t), ol = sizeof(out);
  char exp[] = "exp";
  get_file_name_parts(exp, &name[0], s, &sl, r, &rl, f, &fl, t, &tl);
  get_pnfs_dir(exp, &name[0], out, &ol, nullptr);
  time_t ts;
  get_file_time_stamp(&name[0], &ts);
  get_file_time_stamp(name, ts);
  get_time_from_file_name(name.c_str(), &ts);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = freopen("/dev/null", "w", stdout) != nullptr;
  (void)quiet;
  if (size < 1) return 0;
  const int layout = data[0] & 7;
  const bool locked = (data[0] & 8) != 0;
  ++data;
  --size;
  if (layout >= 5) {
    parse_name(data, size);
    return 0;
  }
  const int fd = memfd_create("archive", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  switch (layout) {
    case 0: {
      std::vector<kova_run_catalog*> a, b;
      if (read_run_catalog_lock(fd, locked ? 1 : 0, 0, &a) == 0 &&
          read_run_catalog_lock(fd, 0, 0, &b) == 0 && !merge_run_catalogs(&a, &b)) {
        print_run_catalog_struct(&a);
        if (a.size() > 1) same_run_catalog_entry(a[0], a[1]);
      }
      clear_run_catalog_mem(&a);
      clear_run_catalog_mem(&b);
      break;
    }
    case 1:
      read_print<kova_dccp_catalog>(fd, locked, read_dccp_catalog_lock, print_dccp_catalog_struct,
                                    clear_dccp_catalog_mem);
      break;
    case 2:
      read_print<kova_index_file>(
          fd, locked, read_index_file_lock,
          [](std::vector<kova_index_file*>* l) { print_index_file_struct(l, true); },
          clear_index_file_mem);
      break;
    case 3:
      read_print<kova_index_file_ev>(
          fd, locked, read_index_file_lock_ev,
          [](std::vector<kova_index_file_ev*>* l) { print_index_file_struct_ev(l, true); },
          clear_index_file_mem_ev);
      break;
    default:
      read_print<kova_index_file_ev_2024>(
          fd, locked, read_index_file_lock_ev_2024,
          [](std::vector<kova_index_file_ev_2024*>* l) {
            print_index_file_struct_ev_2024(l, true);
          },
          clear_index_file_mem_ev_2024);
      break;
  }
  if (locked) unlock_file(fd);
  close(fd);
  return 0;
}
