// Reading the recorded demo run back.
#include "demo_readback.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "demo_events.h"
#include "event_util.h"
#include "run_archive.h"

namespace demo {

namespace {

template <typename T>
T get(const unsigned char* p) {
  T v;
  memcpy(&v, p, sizeof(v));
  return v;
}

// The generation flags of the demo's layout while reading, restored after.
class Generation {
 public:
  explicit Generation(bool b2024) : f2010_(is_data_format_2010()), f2024_(is_data_format_2024()) {
    if (b2024)
      set_data_format_2024(true);
    else
      set_data_format_2010(true);
  }
  ~Generation() {
    set_data_format_2010(false);
    set_data_format_2024(false);
    if (f2010_) set_data_format_2010(true);
    if (f2024_) set_data_format_2024(true);
  }

 private:
  bool f2010_, f2024_;
};

// The file's events in file order (the event index's offsets), each handed
// to `fn` in host order; false with *why when the file does not read.
template <typename Fn>
bool each_event(const std::string& path, bool wide, Fn fn, std::string* why) {
  std::string p = path;
  u_char* base = nullptr;
  int fd = -1;
  unsigned long len = 0;
  if (kova_map_file(&p[0], &base, &fd, &len, nullptr) != 0) {
    *why = path + ": cannot be mapped";
    return false;
  }
  void* frt = nullptr;
  void* eit = nullptr;
  bool ok = get_kova_file_reference_table_m(base, len, len, fd, &frt) == 0 &&
            kova_get_event_index_table_m(len, frt, fd, &eit) == 0;
  if (!ok) *why = path + ": no reference table or event index";
  std::vector<uint64_t> offsets;
  if (ok) {
    const auto* t = static_cast<const unsigned char*>(eit);
    const uint64_t entries = wide ? get<uint64_t>(t + 8) : get<uint32_t>(t + 4);
    size_t at = wide ? 16 : 8;
    const size_t head = wide ? 48 : 32, rec = wide ? 24 : 16;
    for (uint64_t e = 0; e < entries; ++e) {
      const uint64_t elen = wide ? get<uint64_t>(t + at + 40) : get<uint32_t>(t + at + 28);
      for (size_t r = head; r + rec <= elen; r += rec)
        offsets.push_back(wide ? get<uint64_t>(t + at + r + 16) : get<uint32_t>(t + at + r + 12));
      at += static_cast<size_t>(elen);
    }
    std::sort(offsets.begin(), offsets.end());
  }
  const uint32_t host = wide ? KOVA_EV_PATTERN_2024 : KOVA_EV_PATTERN_2010;
  std::vector<uint64_t> buf;  // 8-byte aligned copy of one event
  for (uint64_t off : offsets) {
    if (off + 16 > len) {
      ok = false;
      *why = path + ": an event index entry points beyond the file";
      break;
    }
    const bool swapped = get<uint32_t>(base + off) != host;
    uint64_t length = wide ? get<uint64_t>(base + off + 8) : get<uint32_t>(base + off + 4);
    if (swapped)
      length = wide ? __builtin_bswap64(length) : __builtin_bswap32(static_cast<uint32_t>(length));
    if (length > len - off) {
      ok = false;
      *why = path + ": an event runs beyond the file";
      break;
    }
    buf.assign((length + 7) / 8, 0);
    memcpy(buf.data(), base + off, length);
    if (swapped && kova_convert_event(buf.data(), buf.data()) != 0) {
      ok = false;
      *why = path + ": an event does not convert to host order";
      break;
    }
    fn(reinterpret_cast<const unsigned char*>(buf.data()), static_cast<size_t>(length));
  }
  free(frt);
  free(eit);
  kova_unmap_file(base, fd, len);
  return ok;
}

}  // namespace

int next_record_run(const std::string& root) {
  hrec::use_archive_root(root);
  std::vector<kova_run_catalog*> list;
  std::string exp = kRecordExp;
  char name[4096];
  int len = sizeof(name), last = 0;
  if (get_run_catalog_file_name(name, &len, nullptr, &exp[0]) == 0 && access(name, F_OK) == 0 &&
      read_run_catalog(&list, false, nullptr, &exp[0]) == 0)
    for (kova_run_catalog* e : list)
      if (strncmp(e->exp, kRecordExp, sizeof(e->exp)) == 0) last = std::max(last, e->run);
  clear_run_catalog_mem(&list);
  return last + 1;
}

ReadBack read_back(const DemoConfig& cfg, const std::string& root, int run, uint64_t built) {
  ReadBack rb;
  hrec::use_archive_root(root);
  Generation generation(cfg.layout_2024);
  std::string exp = kRecordExp;

  // Where the run's files lie: its catalog entry names the run mode and year.
  int year = 0, mode = 0;
  std::vector<kova_run_catalog*> list;
  if (read_run_catalog(&list, false, nullptr, &exp[0]) == 0)
    for (kova_run_catalog* e : list)
      if (e->run == run && strncmp(e->stream, kRecordStream, sizeof(e->stream)) == 0)
        year = e->year, mode = e->type;
  clear_run_catalog_mem(&list);

  std::vector<std::string> files;
  if (year == 0) {
    rb.error = "the run catalog has no entry for run " + std::to_string(run);
  } else {
    int wanted = run;
    std::vector<int*> runs{&wanted};
    std::vector<kova_root_xml_files*> out;
    std::string descr;
    const int rc =
        get_files_for_runs(&runs, &out, descr, &exp, nullptr,
                           cfg.layout_2024 ? KOVA_DAQ_DATA_RAW64_FORMAT : KOVA_DAQ_DATA_RAW_FORMAT);
    if (rc != 0) rb.error = "the selection failed: " + hrec::file_err_text(rc);
    // The selection gives each name from the first place the experiment's
    // name appears in its path on; the last four parts (exp/stream/runN/file)
    // are what counts, wherever the root lies.
    const std::string dir =
        root + "/" + (mode == KOVA_GLOB_MODE_TEST ? "test" : "real") + "/" + std::to_string(year);
    for (kova_root_xml_files* g : out) {
      for (std::string* f : g->rfiles) {
        size_t at = f->size();
        for (int parts = 0; parts < 4 && at != std::string::npos && at > 0; ++parts)
          at = f->rfind('/', at - 1);
        files.push_back(dir + "/" + (at == std::string::npos ? *f : f->substr(at + 1)));
      }
    }
    clear_root_xml_files(&out);
  }
  rb.files = files.size();

  RecordChecker checker(cfg);
  std::vector<bool> seen(built, false);
  for (const std::string& f : files) {
    std::string why;
    const bool ok = each_event(
        f, cfg.layout_2024,
        [&](const unsigned char* ev, size_t length) {
          ++rb.events;
          long i = -1;
          const bool right = checker.check(ev, length, &i);
          if (right && i >= 0 && static_cast<uint64_t>(i) < built &&
              !seen[static_cast<size_t>(i)]) {
            seen[static_cast<size_t>(i)] = true;
            return;
          }
          ++rb.mismatched;
          if (rb.error.empty())
            rb.error = f + ": event " + std::to_string(i) +
                       (right ? " twice or beyond the run" : " differs from what was sent");
        },
        &why);
    if (!ok && rb.error.empty()) rb.error = why;
  }
  const uint64_t missing = static_cast<uint64_t>(std::count(seen.begin(), seen.end(), false));
  rb.mismatched += missing;
  if (missing > 0 && rb.error.empty())
    rb.error = std::to_string(missing) + " events built are not in the recorded files";
  return rb;
}

}  // namespace demo
