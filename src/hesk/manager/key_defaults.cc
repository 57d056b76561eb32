// The default key-extraction functions: they read a 2010 or a 2024 server
// block head, told apart by the first eight bytes.
#include <cstring>

#include "manager_internal.h"

using hesk_mgr::is_block_2024;

namespace {
kova_serv_block_head_2010* h2010(char* b) {
  return reinterpret_cast<kova_serv_block_head_2010*>(b);
}
kova_serv_block_head_2024* h2024(char* b) {
  return reinterpret_cast<kova_serv_block_head_2024*>(b);
}
}  // namespace

char* get_bname_known(char* block) {
  return is_block_2024(block) ? h2024(block)->server : h2010(block)->server;
}

time_stamp* get_key_known(char* block) {
  return is_block_2024(block) ? &h2024(block)->time : &h2010(block)->time;
}

long get_len_known(char* block) {
  return is_block_2024(block) ? static_cast<long>(h2024(block)->ltotal)
                              : static_cast<long>(h2010(block)->ltotal);
}

int get_trg_known(char* block) {
  return is_block_2024(block) ? h2024(block)->tmask : h2010(block)->tmask;
}

int get_sts_known(char* block) {
  return is_block_2024(block) ? h2024(block)->status : h2010(block)->status;
}

long get_evid_known(char* block) {
  return is_block_2024(block) ? static_cast<long>(h2024(block)->mpulse)
                              : static_cast<long>(h2010(block)->mpulse);
}
