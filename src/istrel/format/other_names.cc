// Small name tables: statistics entries, run modes, DAQ file extensions and
// compressors.
#include "event_util.h"

extern "C" {

const char* const daq_chan_statistics_a_2010[KOVA_STAT_ENTRIES_2010] = {
    "MIN",     "MAX",     "MEAN",    "RMS",     "SIGMA",   "PP_ON",   "PP_A0",   "PP_A1",
    "PP_A2",   "SPARE0",  "SPARE1",  "SPARE2",  "SPARE3",  "SPARE4",  "SPARE5",  "SPARE6",
    "SPARE7",  "SPARE8",  "SPARE9",  "SPARE10", "SPARE11", "SPARE12", "SPARE13", "SPARE14",
    "SPARE15", "SPARE16", "SPARE17", "SPARE18", "SPARE19", "SPARE20", "SPARE21", "SPARE22"};

const char* const glob_run_mode_a[4] = {"real", "test", "save", "UNKNOWN"};
const char* const daq_formats_ext_a[3] = {".root", ".raw", ".raw"};
const char* const daq_formats_indx_a[3] = {".idx", ".idev", ".idev64"};

char* get_stat_name_2010(int chan) {
  if (chan < 0 || chan >= KOVA_STAT_ENTRIES_2010) return const_cast<char*>("NOT DEFINED");
  return const_cast<char*>(daq_chan_statistics_a_2010[chan]);
}

char* runmode_i2a(int mode) {
  if (mode == KOVA_GLOB_MODE_REAL || mode == KOVA_GLOB_MODE_TEST)
    return const_cast<char*>(glob_run_mode_a[mode]);
  return const_cast<char*>(glob_run_mode_a[2]);
}

char* kova_get_daq_file_ext(int indx) {
  if (indx < 0 || indx > 2) return const_cast<char*>(".unknown");
  return const_cast<char*>(daq_formats_ext_a[indx]);
}

char* kova_get_daq_index_file_ext(int index) {
  if (index < 0 || index > 2) return const_cast<char*>(".unknown");
  return const_cast<char*>(daq_formats_indx_a[index]);
}

char* kova_get_compressor_name(int type) {
  switch (type) {
    case 1:
      return const_cast<char*>("ZLIB");
    case 2:
      return const_cast<char*>("LZO");
    default:
      return const_cast<char*>("Compressor unknown");
  }
}

}  // extern "C"
