// Opening a DAQ file: the trailer's end marker tells the generation and the
// byte order; the reference table is read with the reader of that generation.
#include "daq_file.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace daqdump {

namespace {

void use_generation(int gen) {
  set_data_format_2010(false);
  set_data_format_2024(false);
  if (gen == 2010) set_data_format_2010(true);
  if (gen == 2024) set_data_format_2024(true);
}

}  // namespace

DaqFile::~DaqFile() {
  if (frt_owned_) free(frt_);
  if (base_ != nullptr) kova_unmap_file(base_, fd_, len_);
}

bool DaqFile::open(const std::string& path) {
  std::string p = path;
  const int rc = kova_map_file(&p[0], &base_, &fd_, &len_, nullptr);
  if (rc == -2) {
    why_ = std::string("cannot open: ") + strerror(errno);
    return false;
  }
  if (rc != 0) {
    why_ = "cannot map the file (empty or not a regular file)";
    base_ = nullptr;
    return false;
  }
  // The marker: 8 bytes for 2024, 4 bytes before.
  uint64_t m64 = 0;
  uint32_t m32 = 0;
  if (len_ >= 16) memcpy(&m64, base_ + len_ - 8, 8);
  if (len_ >= 8) memcpy(&m32, base_ + len_ - 4, 4);
  if (len_ >= 16 && (m64 == KOVA_DAQ_FILE_END_MARKER_2024 ||
                     m64 == __builtin_bswap64(KOVA_DAQ_FILE_END_MARKER_2024))) {
    gen_ = 2024;
    swapped_ = m64 != KOVA_DAQ_FILE_END_MARKER_2024;
  } else if (len_ >= 8 && (m32 == KOVA_DAQ_FILE_END_MARKER ||
                           m32 == __builtin_bswap32(KOVA_DAQ_FILE_END_MARKER))) {
    gen_ = 2009;
    swapped_ = m32 != KOVA_DAQ_FILE_END_MARKER;
  } else if (len_ >= 8 && (m32 == KOVA_DAQ_FILE_END_MARKER_2010 ||
                           m32 == __builtin_bswap32(KOVA_DAQ_FILE_END_MARKER_2010))) {
    gen_ = 2010;
    swapped_ = m32 != KOVA_DAQ_FILE_END_MARKER_2010;
  } else {
    why_ = "not a DAQ file (no end marker of any generation)";
    return false;
  }
  use_generation(gen_);
  int out = 0, frc = 0;
  if (gen_ == 2009) {
    frc = get_kova_file_reference_table(base_, len_,
                                        reinterpret_cast<kova_file_reference_table**>(&frt_), &out);
  } else if (gen_ == 2010) {
    frc = get_kova_file_reference_table_m_2010(
        base_, len_, len_, fd_, reinterpret_cast<kova_file_reference_table_2010**>(&frt_));
    out = 1;
  } else {
    frc = get_kova_file_reference_table_2024(
        base_, len_, reinterpret_cast<kova_file_reference_table_2024**>(&frt_), &out);
  }
  if (frc != 0) {
    why_ = "not a DAQ file (no file reference table where the trailer points, code " +
           std::to_string(frc) + ")";
    frt_ = nullptr;
    return false;
  }
  frt_owned_ = out == 1;
  return true;
}

bool DaqFile::changed() const {
  if (base_ == nullptr) return false;
  if (kova_mapping_damaged(base_) == 1) return true;  // lost pages were read
  struct stat st;
  return fstat(fd_, &st) == 0 && static_cast<unsigned long>(st.st_size) < len_;
}

uint64_t DaqFile::eit_ref() const {
  if (gen_ == 2024)
    return static_cast<uint64_t>(static_cast<kova_file_reference_table_2024*>(frt_)->eit_pos_ref);
  return static_cast<kova_file_reference_table*>(frt_)->eit_pos_ref;
}

uint64_t DaqFile::ref_of_type(int type) const {
  if (gen_ == 2024)
    return static_cast<uint64_t>(
        static_cast<kova_file_reference_table_2024*>(frt_)->eite_pos_ref[type]);
  return static_cast<kova_file_reference_table*>(frt_)->eite_pos_ref[type];
}

bool DaqFile::word32(uint64_t at, uint32_t* v) const {
  if (at > len_ || len_ - at < 4) return false;
  memcpy(v, base_ + at, 4);
  if (swapped_) *v = __builtin_bswap32(*v);
  return true;
}

bool DaqFile::word64(uint64_t at, uint64_t* v) const {
  if (at > len_ || len_ - at < 8) return false;
  memcpy(v, base_ + at, 8);
  if (swapped_) *v = __builtin_bswap64(*v);
  return true;
}

int parse_event_type(const std::string& text) {
  char* end = nullptr;
  const long v = strtol(text.c_str(), &end, 10);
  if (!text.empty() && *end == '\0') return v >= 0 && v < KOVA_EV_EVMAX ? static_cast<int>(v) : -1;
  for (int t = 0; t < KOVA_EV_EVMAX; ++t)
    if (strcasecmp(text.c_str(), event_name_itoa(t)) == 0) return t;
  return -1;
}

}  // namespace daqdump
