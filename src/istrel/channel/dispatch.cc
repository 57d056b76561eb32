// The undecorated accessors: the 2009 variant when neither generation flag
// is set, the 2010 variant (also for 2024) otherwise.
#include "channel_block.h"

using channel_detail::long_subheads;

extern "C" {

bool get_spect_params_for_data_type(void* subhead, float* start, float* inc, void** mean,
                                    int* ndata, int* groups, float* groups_inc,
                                    kova_spect_statistics_2010** stat, int subchan) {
  if (long_subheads())
    return get_spect_params_for_data_type_2010(subhead, start, inc, mean, ndata, groups, groups_inc,
                                               stat, subchan);
  return get_spect_params_for_data_type_2009(subhead, start, inc, mean, ndata, subchan);
}

float* get_pointer_to_data(void* subhead, int subchan) {
  return long_subheads() ? get_pointer_to_data_2010(subhead, subchan)
                         : get_pointer_to_data_2009(subhead, subchan);
}

bool device_to_one_channel(void* subhead, int subchan, int* lenout, int* dtype, u_char** dataout) {
  return long_subheads() ? device_to_one_channel_2010(subhead, subchan, lenout, dtype, dataout)
                         : device_to_one_channel_2009(subhead, subchan, lenout, dtype, dataout);
}

bool if_ndata_the_same(void* subhead) {
  return long_subheads() ? if_ndata_the_same_2010(subhead) : if_ndata_the_same_2009(subhead);
}

bool get_image_params(void* subhead, int* x, int* y, int* bpp, int* ev_num, u_char** data) {
  return long_subheads() ? get_image_params_2010(subhead, x, y, bpp, ev_num, data)
                         : get_image_params_2009(subhead, x, y, bpp, ev_num, data);
}

bool get_image_ext_params(void* subhead, kova_image_ext_frame_head* hd, int* ev_num,
                          u_char** data) {
  return long_subheads() ? get_image_ext_params_2010(subhead, hd, ev_num, data)
                         : get_image_ext_params_2009(subhead, hd, ev_num, data);
}

bool get_update_params(void* subhead, int indx, char** name, int* status, time_stamp* tm,
                       float* data) {
  return long_subheads() ? get_update_params_2010(subhead, indx, name, status, tm, data)
                         : get_update_params_2009(subhead, indx, name, status, tm, data);
}

int get_number_of_upd_channels(void* subhead) {
  return long_subheads() ? get_number_of_upd_channels_2010(subhead)
                         : get_number_of_upd_channels_2009(subhead);
}

bool find_slow_channel(void* src, void* dic, const char* chan_name, void** d_out) {
  return long_subheads() ? find_slow_channel_2010(src, dic, chan_name, d_out)
                         : find_slow_channel_2009(src, dic, chan_name, d_out);
}

bool find_upd_channel(void* src, const char* chan_name, void** d_out) {
  return long_subheads() ? find_upd_channel_2010(src, chan_name, d_out)
                         : find_upd_channel_2009(src, chan_name, d_out);
}

bool copy_env_entries(void* dest, void* src) {
  return long_subheads() ? copy_env_entries_2010(dest, src) : copy_env_entries_2009(dest, src);
}

bool copy_upd_entries(void* dest, void* src) {
  return long_subheads() ? copy_upd_entries_2010(dest, src) : copy_upd_entries_2009(dest, src);
}

}  // extern "C"
