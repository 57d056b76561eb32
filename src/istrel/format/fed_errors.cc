// Texts of the front-end error bits of a sub-block's error word.
#include <string>

#include "event_util.h"

namespace {

struct BitText {
  int bit;
  const char* text;
};

// In output order. The DAQ-parameter bit contributes two texts.
const BitText kTexts[] = {
    {0x1, "KOVA_SB_ERR_NOT_COLLECTED Server block not collected "},
    {0x2, "KOVA_SB_ERR_OUT_MEMORY_SRV Memory problem on server site "},
    {0x4, "KOVA_SB_ERR_OUT_MEMORY_COL Memory problem on collector site "},
    {0x8, "KOVA_SB_ERR_NO_DMA No DMA server running "},
    {0x10, "KOVA_SB_ERR_NO_SERVER NO server "},
    {0x20, "KOVA_SB_ERR_OLD_DATA old data from DMA "},
    {0x40, "KOVA_SB_ERR_NO_FIRST No first packet "},
    {0x80, "KOVA_SB_ERR_NOT_ASSM Not assembled "},
    {0x100, "KOVA_CH_ERR_EVB_DATA EVB error detected in data "},
    {0x200, "KOVA_EP_ERR_EVB_SBLK EVB negative size from EP "},
    {0x400, "KOVA_SB_ERR_ML_SKIPPED skipped event at NL server "},
    {0x800, "KOVA_SB_ERR_ML_NOOUT No OUTs from application at NL server "},
    {0x1000, "KOVA_FE_ADC_OVERLOAD ADC in a front end rack overload "},
    {0x2000, "KOVA_FE_OUTSIDE_SL Measurement outside electronics saturational leve "},
    {0x4000, "KOVA_FE_OUTSIDE_LR Measurements outside electronics linear range "},
    {0x8000, "KOVA_FE_CONF there is a configuration error in FED "},
    {0x10000, "KOVA_FE_INT_ERR FED internal error "},
    {0x20000, "KOVA_FE_TIME_INV FED invalid time stamp "},
    {0x40000, "KOVA_FE_EVID_INV FED invalid Event Id "},
    {0x80000, "KOVA_FE_DTYPE_INV FED invalid data type "},
    {0x100000, "KOVA_FE_MODE_NOTSUP FED unsuported configuration "},
    {0x200000,
     "KOVA_FE_SPECT_PARAM_INCONSIST FED inconsistent specta parameters (for multichannels "
     "devices) "},
    {0x400000, "KOVA_FE_NO_DATA  FED no data"},
    {0x800000, "KOVA_FE_DAQ_PARAM_INV  invalid DAQ parameters"},
    {0x1000000, "KOVA_FE_DAQ_DISABLED  channel is disabled"},
    {0x2000000, "KOVA_FE_DAQ_BUF_SKIPPED  buffer is skipped"},
    {0x800000, "KOVA_FE_DAQ_PARAM_INV Invalid DAQ parameters "},
    {0x4000000, "KOVA_SD_ERR_NOT_ASSM Not assembleb by sender "},
};

}  // namespace

extern "C" const char* get_daq_fed_error(int error) {
  // Per thread, so concurrent callers do not overwrite each other's text.
  thread_local std::string text;
  text.clear();
  if (error == 0) {
    text = "OK";
    return text.c_str();
  }
  for (const BitText& t : kTexts) {
    if (error & t.bit) text += t.text;
  }
  return text.c_str();
}
