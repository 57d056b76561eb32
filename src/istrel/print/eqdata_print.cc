// Framework data blocks (type 23): the stored block is turned into a
// container, which is then printed: a head line and, with mode != 0, its
// value.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "event_bridge.h"
#include "print_internal.h"

namespace print_detail {

namespace {

constexpr int kTextSize = 256;
constexpr int kValuesPerLine = 10;

bool has_samples(int type) {
  return type == DATA_SPECTRUM || type == DATA_GSPECTRUM || type == DATA_MDA_FLOAT ||
         type == DATA_MDA_DOUBLE;
}

bool has_elements(int type) {
  return type >= DATA_A_FLOAT || type == DATA_KEYVAL;
}

void print_container(const EqData& eq, const std::string& chname, int mode) {
  printf("EqData: %s type:%s length:%d\n", chname.c_str(), EqData::type_string(eq.type()),
         eq.length());
  if (mode == 0 || eq.type() == DATA_NULL) return;
  char text[kTextSize];
  const int n = eq.length();
  if (has_samples(eq.type())) {
    printf("value: %s\n", eq.get_string(text, sizeof(text)));
    for (int i = 0; i < n; ++i) {
      printf("\t%e", eq.get_double(i));
      if ((i + 1) % kValuesPerLine == 0 || i + 1 == n) printf("\n");
    }
  } else if (has_elements(eq.type())) {
    for (int i = 0; i < n; ++i) {
      if (eq.get_string(i, text, sizeof(text)) != nullptr) printf("[%d] %s\n", i, text);
    }
  } else {
    printf("value: %s\n", eq.get_string(text, sizeof(text)));
  }
}

int to_container(Gen2010::Subhead* sb, EqData** eq) {
  return kova_daq_to_eqdata(nullptr, nullptr, sb, eq, true);
}

// The bridge reads 2010 sub-blocks: a 2009 block is given a 2010 head.
int to_container(Gen2009::Subhead* sb, EqData** eq) {
  const int64_t len = channel_detail::payload_length(sb);
  const size_t total = sizeof(Gen2010::Subhead) + static_cast<size_t>(len);
  if (total > static_cast<size_t>(INT32_MAX)) return KOVA_EQDATA_ERR_INVAL_PARAM;
  std::unique_ptr<unsigned char, decltype(&free)> copy(
      static_cast<unsigned char*>(calloc(1, total)), &free);
  if (!copy) return KOVA_EQDATA_ERR_INVAL_PARAM;
  auto* head = reinterpret_cast<Gen2010::Subhead*>(copy.get());
  memcpy(head->chname, sb->chname, sizeof(sb->chname));
  head->dtype = sb->dtype;
  head->error = sb->error;
  head->ldata = static_cast<int32_t>(total);
  memcpy(copy.get() + sizeof(Gen2010::Subhead), channel_detail::payload(sb),
         static_cast<size_t>(len));
  return kova_daq_to_eqdata(nullptr, nullptr, head, eq, true);
}

}  // namespace

template <typename G>
void print_eqdata_payload(typename G::Subhead* sb, int mode, const char* fn) {
  EqData* raw = nullptr;
  const int err = to_container(sb, &raw);
  if (err != 0) {
    printf("%s(): kova_daq_to_eqdata() failed error:%d\n", fn, err);
    return;
  }
  std::unique_ptr<EqData> eq(raw);
  print_container(*eq, field_text(sb->chname, sizeof(sb->chname)), mode);
}

template void print_eqdata_payload<Gen2009>(Gen2009::Subhead*, int, const char*);
template void print_eqdata_payload<Gen2010>(Gen2010::Subhead*, int, const char*);

}  // namespace print_detail
