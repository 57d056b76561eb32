// An open DAQ raw file as hesk-daqdump sees it: mapped whole, its
// generation and byte order recognised from the trailer, the process-wide
// generation flags set to match, and its reference table read.
#ifndef HESK_DAQDUMP_DAQ_FILE_H
#define HESK_DAQDUMP_DAQ_FILE_H

#include <cstdint>
#include <string>
#include <vector>

#include "event_util.h"

namespace daqdump {

// Exit codes of the tool.
constexpr int kOk = 0;
constexpr int kNotDaq =
    2;  // not a DAQ file, cannot be read, or changed while read (also bad usage)
constexpr int kMissing = 3;  // asked-for item absent, or a table damaged

class DaqFile {
 public:
  DaqFile() = default;
  ~DaqFile();
  DaqFile(const DaqFile&) = delete;
  DaqFile& operator=(const DaqFile&) = delete;

  // Maps `path` and reads its reference table; false with why().
  bool open(const std::string& path);
  const std::string& why() const { return why_; }

  int generation() const { return gen_; }
  bool swapped() const { return swapped_; }
  u_char* base() const { return base_; }
  unsigned long length() const { return len_; }
  int fd() const { return fd_; }
  void* frt() const { return frt_; }  // host order, of the file's generation

  // The FRT's references, whatever the generation.
  uint64_t eit_ref() const;
  uint64_t ref_of_type(int type) const;

  // Whether the file shrank (was truncated or rewritten) since it was
  // mapped: what was read from it since may not be the file's.
  bool changed() const;

  // A word of the file (4 or 8 bytes) at `at`, in host order; false when
  // it lies outside the file.
  bool word32(uint64_t at, uint32_t* v) const;
  bool word64(uint64_t at, uint64_t* v) const;

 private:
  std::string why_;
  int gen_ = 0;
  bool swapped_ = false;
  u_char* base_ = nullptr;
  unsigned long len_ = 0;
  int fd_ = -1;
  void* frt_ = nullptr;
  bool frt_owned_ = false;
};

// The named event type (number or name), -1 when unknown.
int parse_event_type(const std::string& text);

int dump_tables(const DaqFile& f);
int dump_type(const DaqFile& f, int type);
int dump_channels(const DaqFile& f, const std::vector<std::string>& names);
int dump_events(const DaqFile& f, long limit);

}  // namespace daqdump

#endif  // HESK_DAQDUMP_DAQ_FILE_H
