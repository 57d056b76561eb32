// Entry lines of the slow-control lists (environment values, updates,
// dictionary), of name/value lists and of stored framework data blocks.
#include <cstdio>

#include "eqdata.h"
#include "print_internal.h"

namespace print_detail {

void print_env_entries(const char* type_name, const unsigned char* entries, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    const auto e = load<kova_env_data_block_2010>(entries + i * sizeof(kova_env_data_block_2010));
    printf("%s: indx:%d\tstatus:%d\ttime:%d:%d\tvalue:%e\n", type_name, e.env_ch_idx,
           e.env_ch_status, static_cast<int>(e.env_ch_time.timeup),
           static_cast<int>(e.env_ch_time.timelow), static_cast<double>(e.env_ch_data));
  }
}

template <typename Upd>
void print_upd_entries(const char* type_name, const unsigned char* entries, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    const auto* e = entries + i * sizeof(Upd);
    const auto tm = load<time_stamp>(e + offsetof(Upd, upd_ch_time));
    printf("%s: name:%s\tstatus:%d\ttime:%d:%d\tvalue:%e\n", type_name,
           field_text(reinterpret_cast<const char*>(e) + offsetof(Upd, upd_prop),
                      sizeof(Upd::upd_prop))
               .c_str(),
           load<int32_t>(e + offsetof(Upd, upd_ch_status)), static_cast<int>(tm.timeup),
           static_cast<int>(tm.timelow),
           static_cast<double>(load<float>(e + offsetof(Upd, upd_ch_data))));
  }
}

template <typename Dict>
void print_dict_entries(const char* type_name, const unsigned char* entries, int64_t n) {
  for (int64_t i = 0; i < n; ++i) {
    const auto* e = entries + i * sizeof(Dict);
    printf("%s:index:%d\tname:%s\tABS:%e\tREL:%e\n", type_name, static_cast<int>(i),
           field_text(reinterpret_cast<const char*>(e) + offsetof(Dict, env_prop),
                      sizeof(Dict::env_prop))
               .c_str(),
           static_cast<double>(load<float>(e + offsetof(Dict, env_ch_abs_delta))),
           static_cast<double>(load<float>(e + offsetof(Dict, env_ch_rel_delta))));
  }
}

template void print_upd_entries<kova_upd_data_block>(const char*, const unsigned char*, int64_t);
template void print_upd_entries<kova_upd_data_block_2010>(const char*, const unsigned char*,
                                                          int64_t);
template void print_dict_entries<kova_env_dictionary_block>(const char*, const unsigned char*,
                                                            int64_t);
template void print_dict_entries<kova_env_dictionary_block_2010>(const char*, const unsigned char*,
                                                                 int64_t);

void print_name_value(const char* type_name, const unsigned char* block, int64_t n) {
  printf("%s:id:%d\tcomment:%s\tndata:%d\n", type_name,
         load<int32_t>(block + offsetof(kova_name_value_block, id)),
         field_text(reinterpret_cast<const char*>(block) + offsetof(kova_name_value_block, comment),
                    sizeof(kova_name_value_block::comment))
             .c_str(),
         load<int32_t>(block + offsetof(kova_name_value_block, ndata)));
  const unsigned char* entries = block + sizeof(kova_name_value_block);
  for (int64_t i = 0; i < n; ++i) {
    const auto* e = entries + i * sizeof(kova_name_value_channel);
    printf(
        "\tindex:%d\tname:%s\tvalue:%e\n", static_cast<int>(i),
        field_text(reinterpret_cast<const char*>(e), sizeof(kova_name_value_channel::name)).c_str(),
        static_cast<double>(load<float>(e + offsetof(kova_name_value_channel, value))));
  }
}

}  // namespace print_detail

using namespace print_detail;

namespace {

const unsigned char* bytes(const void* p) {
  return static_cast<const unsigned char*>(p);
}

}  // namespace

extern "C" {

void print_env_block(void* dt, int nentr) {
  if (dt == nullptr) return;
  const int type = channel_detail::long_subheads() ? Gen2010::kEnvType : Gen2009::kEnvType;
  print_env_entries(block_name_itoa(type), bytes(dt), nentr);
}

void print_upd_block(void* upd, int nentr) {
  if (upd == nullptr) return;
  if (channel_detail::long_subheads())
    print_upd_entries<Gen2010::Upd>(block_name_itoa(Gen2010::kUpdType), bytes(upd), nentr);
  else
    print_upd_entries<Gen2009::Upd>(block_name_itoa(Gen2009::kUpdType), bytes(upd), nentr);
}

void print_env_dict_block(void* dbl, int nentr) {
  if (dbl == nullptr) return;
  if (channel_detail::long_subheads())
    print_dict_entries<Gen2010::Dict>(block_name_itoa(Gen2010::kDictType), bytes(dbl), nentr);
  else
    print_dict_entries<Gen2009::Dict>(block_name_itoa(Gen2009::kDictType), bytes(dbl), nentr);
}

void print_name_val(kova_name_value_block* dt) {
  if (dt == nullptr) return;
  print_name_value(block_name_itoa(KOVA_BLOCK_NAME_VALUE), bytes(dt), dt->ndata);
}

void print_eqdata_block(EqDataBlock* dt) {
  if (dt == nullptr) return;
  printf("%s\n", EqData::block_text(dt).c_str());
}

}  // extern "C"
