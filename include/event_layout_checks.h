// Compile-time checks of the stored record layouts declared in event.h.
// Every size and offset here is part of the file, buffer and message format.
#ifndef HESK_EVENT_LAYOUT_CHECKS_H
#define HESK_EVENT_LAYOUT_CHECKS_H

#include <cstddef>

static_assert(sizeof(time_stamp) == 8, "time_stamp size");
static_assert(offsetof(time_stamp, timeup) == 0, "time_stamp::timeup offset");
static_assert(offsetof(time_stamp, timelow) == 4, "time_stamp::timelow offset");
static_assert(sizeof(kova_time_id) == 12, "kova_time_id size");
static_assert(offsetof(kova_time_id, event_number) == 0, "kova_time_id::event_number offset");
static_assert(offsetof(kova_time_id, time) == 4, "kova_time_id::time offset");
static_assert(sizeof(kova_time_id_2024) == 16, "kova_time_id_2024 size");
static_assert(offsetof(kova_time_id_2024, event_number) == 0,
              "kova_time_id_2024::event_number offset");
static_assert(offsetof(kova_time_id_2024, time) == 8, "kova_time_id_2024::time offset");
static_assert(sizeof(kova_eventheader) == 36, "kova_eventheader size");
static_assert(offsetof(kova_eventheader, pattern) == 0, "kova_eventheader::pattern offset");
static_assert(offsetof(kova_eventheader, event_length) == 4,
              "kova_eventheader::event_length offset");
static_assert(offsetof(kova_eventheader, event_number) == 8,
              "kova_eventheader::event_number offset");
static_assert(offsetof(kova_eventheader, event_type) == 12, "kova_eventheader::event_type offset");
static_assert(offsetof(kova_eventheader, event_time) == 16, "kova_eventheader::event_time offset");
static_assert(offsetof(kova_eventheader, tmask) == 24, "kova_eventheader::tmask offset");
static_assert(offsetof(kova_eventheader, status) == 28, "kova_eventheader::status offset");
static_assert(offsetof(kova_eventheader, num_svr_block) == 32,
              "kova_eventheader::num_svr_block offset");
static_assert(sizeof(kova_eventheader_2024) == 48, "kova_eventheader_2024 size");
static_assert(offsetof(kova_eventheader_2024, pattern) == 0,
              "kova_eventheader_2024::pattern offset");
static_assert(offsetof(kova_eventheader_2024, event_type) == 4,
              "kova_eventheader_2024::event_type offset");
static_assert(offsetof(kova_eventheader_2024, event_length) == 8,
              "kova_eventheader_2024::event_length offset");
static_assert(offsetof(kova_eventheader_2024, event_number) == 16,
              "kova_eventheader_2024::event_number offset");
static_assert(offsetof(kova_eventheader_2024, event_time) == 24,
              "kova_eventheader_2024::event_time offset");
static_assert(offsetof(kova_eventheader_2024, tmask) == 32, "kova_eventheader_2024::tmask offset");
static_assert(offsetof(kova_eventheader_2024, status) == 36,
              "kova_eventheader_2024::status offset");
static_assert(offsetof(kova_eventheader_2024, num_svr_block) == 40,
              "kova_eventheader_2024::num_svr_block offset");
static_assert(sizeof(kova_eventtail) == 4, "kova_eventtail size");
static_assert(sizeof(kova_eventtail_2024) == 8, "kova_eventtail_2024 size");
static_assert(sizeof(kova_serv_block_head) == 76, "kova_serv_block_head size");
static_assert(offsetof(kova_serv_block_head, time) == 0, "kova_serv_block_head::time offset");
static_assert(offsetof(kova_serv_block_head, ltotal) == 8, "kova_serv_block_head::ltotal offset");
static_assert(offsetof(kova_serv_block_head, mpulse) == 12, "kova_serv_block_head::mpulse offset");
static_assert(offsetof(kova_serv_block_head, server) == 16, "kova_serv_block_head::server offset");
static_assert(offsetof(kova_serv_block_head, tmask) == 64, "kova_serv_block_head::tmask offset");
static_assert(offsetof(kova_serv_block_head, status) == 68, "kova_serv_block_head::status offset");
static_assert(offsetof(kova_serv_block_head, nchan) == 72, "kova_serv_block_head::nchan offset");
static_assert(sizeof(kova_serv_block_head_2010) == 284, "kova_serv_block_head_2010 size");
static_assert(offsetof(kova_serv_block_head_2010, time) == 0,
              "kova_serv_block_head_2010::time offset");
static_assert(offsetof(kova_serv_block_head_2010, ltotal) == 8,
              "kova_serv_block_head_2010::ltotal offset");
static_assert(offsetof(kova_serv_block_head_2010, mpulse) == 12,
              "kova_serv_block_head_2010::mpulse offset");
static_assert(offsetof(kova_serv_block_head_2010, server) == 16,
              "kova_serv_block_head_2010::server offset");
static_assert(offsetof(kova_serv_block_head_2010, tmask) == 272,
              "kova_serv_block_head_2010::tmask offset");
static_assert(offsetof(kova_serv_block_head_2010, status) == 276,
              "kova_serv_block_head_2010::status offset");
static_assert(offsetof(kova_serv_block_head_2010, nchan) == 280,
              "kova_serv_block_head_2010::nchan offset");
static_assert(sizeof(kova_serv_block_head_2024) == 304, "kova_serv_block_head_2024 size");
static_assert(offsetof(kova_serv_block_head_2024, pattern) == 0,
              "kova_serv_block_head_2024::pattern offset");
static_assert(offsetof(kova_serv_block_head_2024, ltotal) == 8,
              "kova_serv_block_head_2024::ltotal offset");
static_assert(offsetof(kova_serv_block_head_2024, mpulse) == 16,
              "kova_serv_block_head_2024::mpulse offset");
static_assert(offsetof(kova_serv_block_head_2024, time) == 24,
              "kova_serv_block_head_2024::time offset");
static_assert(offsetof(kova_serv_block_head_2024, server) == 32,
              "kova_serv_block_head_2024::server offset");
static_assert(offsetof(kova_serv_block_head_2024, tmask) == 288,
              "kova_serv_block_head_2024::tmask offset");
static_assert(offsetof(kova_serv_block_head_2024, status) == 292,
              "kova_serv_block_head_2024::status offset");
static_assert(offsetof(kova_serv_block_head_2024, nchan) == 296,
              "kova_serv_block_head_2024::nchan offset");
static_assert(sizeof(kova_serv_block_subhead) == 44, "kova_serv_block_subhead size");
static_assert(offsetof(kova_serv_block_subhead, chname) == 0,
              "kova_serv_block_subhead::chname offset");
static_assert(offsetof(kova_serv_block_subhead, dtype) == 32,
              "kova_serv_block_subhead::dtype offset");
static_assert(offsetof(kova_serv_block_subhead, error) == 36,
              "kova_serv_block_subhead::error offset");
static_assert(offsetof(kova_serv_block_subhead, ldata) == 40,
              "kova_serv_block_subhead::ldata offset");
static_assert(sizeof(kova_serv_block_subhead_2010) == 268, "kova_serv_block_subhead_2010 size");
static_assert(offsetof(kova_serv_block_subhead_2010, chname) == 0,
              "kova_serv_block_subhead_2010::chname offset");
static_assert(offsetof(kova_serv_block_subhead_2010, dtype) == 256,
              "kova_serv_block_subhead_2010::dtype offset");
static_assert(offsetof(kova_serv_block_subhead_2010, error) == 260,
              "kova_serv_block_subhead_2010::error offset");
static_assert(offsetof(kova_serv_block_subhead_2010, ldata) == 264,
              "kova_serv_block_subhead_2010::ldata offset");
static_assert(sizeof(kova_zip_header) == 12, "kova_zip_header size");
static_assert(offsetof(kova_zip_header, zip_flags) == 0, "kova_zip_header::zip_flags offset");
static_assert(offsetof(kova_zip_header, orig_length) == 4, "kova_zip_header::orig_length offset");
static_assert(offsetof(kova_zip_header, zipp_length) == 8, "kova_zip_header::zipp_length offset");
static_assert(sizeof(kova_upd_data_block) == 96, "kova_upd_data_block size");
static_assert(offsetof(kova_upd_data_block, upd_prop) == 0, "kova_upd_data_block::upd_prop offset");
static_assert(offsetof(kova_upd_data_block, upd_ch_status) == 80,
              "kova_upd_data_block::upd_ch_status offset");
static_assert(offsetof(kova_upd_data_block, upd_ch_time) == 84,
              "kova_upd_data_block::upd_ch_time offset");
static_assert(offsetof(kova_upd_data_block, upd_ch_data) == 92,
              "kova_upd_data_block::upd_ch_data offset");
static_assert(sizeof(kova_upd_data_block_2010) == 272, "kova_upd_data_block_2010 size");
static_assert(offsetof(kova_upd_data_block_2010, upd_prop) == 0,
              "kova_upd_data_block_2010::upd_prop offset");
static_assert(offsetof(kova_upd_data_block_2010, upd_ch_status) == 256,
              "kova_upd_data_block_2010::upd_ch_status offset");
static_assert(offsetof(kova_upd_data_block_2010, upd_ch_time) == 260,
              "kova_upd_data_block_2010::upd_ch_time offset");
static_assert(offsetof(kova_upd_data_block_2010, upd_ch_data) == 268,
              "kova_upd_data_block_2010::upd_ch_data offset");
static_assert(sizeof(kova_env_data_block) == 20, "kova_env_data_block size");
static_assert(offsetof(kova_env_data_block, env_ch_idx) == 0,
              "kova_env_data_block::env_ch_idx offset");
static_assert(offsetof(kova_env_data_block, env_ch_status) == 4,
              "kova_env_data_block::env_ch_status offset");
static_assert(offsetof(kova_env_data_block, env_ch_time) == 8,
              "kova_env_data_block::env_ch_time offset");
static_assert(offsetof(kova_env_data_block, env_ch_data) == 16,
              "kova_env_data_block::env_ch_data offset");
static_assert(sizeof(kova_env_data_block_2010) == 20, "kova_env_data_block_2010 size");
static_assert(offsetof(kova_env_data_block_2010, env_ch_idx) == 0,
              "kova_env_data_block_2010::env_ch_idx offset");
static_assert(offsetof(kova_env_data_block_2010, env_ch_status) == 4,
              "kova_env_data_block_2010::env_ch_status offset");
static_assert(offsetof(kova_env_data_block_2010, env_ch_time) == 8,
              "kova_env_data_block_2010::env_ch_time offset");
static_assert(offsetof(kova_env_data_block_2010, env_ch_data) == 16,
              "kova_env_data_block_2010::env_ch_data offset");
static_assert(sizeof(kova_env_dictionary_block) == 88, "kova_env_dictionary_block size");
static_assert(offsetof(kova_env_dictionary_block, env_prop) == 0,
              "kova_env_dictionary_block::env_prop offset");
static_assert(offsetof(kova_env_dictionary_block, env_ch_abs_delta) == 80,
              "kova_env_dictionary_block::env_ch_abs_delta offset");
static_assert(offsetof(kova_env_dictionary_block, env_ch_rel_delta) == 84,
              "kova_env_dictionary_block::env_ch_rel_delta offset");
static_assert(sizeof(kova_env_dictionary_block_2010) == 264, "kova_env_dictionary_block_2010 size");
static_assert(offsetof(kova_env_dictionary_block_2010, env_prop) == 0,
              "kova_env_dictionary_block_2010::env_prop offset");
static_assert(offsetof(kova_env_dictionary_block_2010, env_ch_abs_delta) == 256,
              "kova_env_dictionary_block_2010::env_ch_abs_delta offset");
static_assert(offsetof(kova_env_dictionary_block_2010, env_ch_rel_delta) == 260,
              "kova_env_dictionary_block_2010::env_ch_rel_delta offset");
static_assert(sizeof(kova_norm_bpm_block) == 20, "kova_norm_bpm_block size");
static_assert(offsetof(kova_norm_bpm_block, start) == 0, "kova_norm_bpm_block::start offset");
static_assert(offsetof(kova_norm_bpm_block, inc) == 4, "kova_norm_bpm_block::inc offset");
static_assert(offsetof(kova_norm_bpm_block, mean) == 8, "kova_norm_bpm_block::mean offset");
static_assert(offsetof(kova_norm_bpm_block, ndata) == 16, "kova_norm_bpm_block::ndata offset");
static_assert(offsetof(kova_norm_bpm_block, data) == 20, "kova_norm_bpm_block::data offset");
static_assert(sizeof(kova_norm_bpm_z_block) == 28, "kova_norm_bpm_z_block size");
static_assert(offsetof(kova_norm_bpm_z_block, mean) == 8, "kova_norm_bpm_z_block::mean offset");
static_assert(offsetof(kova_norm_bpm_z_block, ndata) == 24, "kova_norm_bpm_z_block::ndata offset");
static_assert(offsetof(kova_norm_bpm_z_block, data) == 28, "kova_norm_bpm_z_block::data offset");
static_assert(sizeof(kova_norm_bpm_s_block) == 24, "kova_norm_bpm_s_block size");
static_assert(offsetof(kova_norm_bpm_s_block, mean) == 8, "kova_norm_bpm_s_block::mean offset");
static_assert(offsetof(kova_norm_bpm_s_block, ndata) == 20, "kova_norm_bpm_s_block::ndata offset");
static_assert(offsetof(kova_norm_bpm_s_block, data) == 24, "kova_norm_bpm_s_block::data offset");
static_assert(sizeof(kova_norm_bpm_single_block) == 16, "kova_norm_bpm_single_block size");
static_assert(offsetof(kova_norm_bpm_single_block, mean) == 8,
              "kova_norm_bpm_single_block::mean offset");
static_assert(offsetof(kova_norm_bpm_single_block, ndata) == 12,
              "kova_norm_bpm_single_block::ndata offset");
static_assert(offsetof(kova_norm_bpm_single_block, data) == 16,
              "kova_norm_bpm_single_block::data offset");
static_assert(sizeof(kova_norm_bpm_toroid_block) == 16, "kova_norm_bpm_toroid_block size");
static_assert(offsetof(kova_norm_bpm_toroid_block, mean) == 8,
              "kova_norm_bpm_toroid_block::mean offset");
static_assert(offsetof(kova_norm_bpm_toroid_block, ndata) == 12,
              "kova_norm_bpm_toroid_block::ndata offset");
static_assert(offsetof(kova_norm_bpm_toroid_block, data) == 16,
              "kova_norm_bpm_toroid_block::data offset");
static_assert(sizeof(kova_norm_rf_block) == 20, "kova_norm_rf_block size");
static_assert(offsetof(kova_norm_rf_block, ndata) == 16, "kova_norm_rf_block::ndata offset");
static_assert(sizeof(kova_ws_ws_block) == 20, "kova_ws_ws_block size");
static_assert(offsetof(kova_ws_ws_block, ndata) == 16, "kova_ws_ws_block::ndata offset");
static_assert(sizeof(kova_norm_clpintl_block) == 28, "kova_norm_clpintl_block size");
static_assert(offsetof(kova_norm_clpintl_block, ndata) == 24,
              "kova_norm_clpintl_block::ndata offset");
static_assert(sizeof(kova_norm_gunintl_block) == 44, "kova_norm_gunintl_block size");
static_assert(offsetof(kova_norm_gunintl_block, ndata) == 40,
              "kova_norm_gunintl_block::ndata offset");
static_assert(sizeof(kova_norm_mcp_block) == 44, "kova_norm_mcp_block size");
static_assert(offsetof(kova_norm_mcp_block, ndata) == 40, "kova_norm_mcp_block::ndata offset");
static_assert(sizeof(kova_norm_phm_block) == 20, "kova_norm_phm_block size");
static_assert(offsetof(kova_norm_phm_block, ndata) == 16, "kova_norm_phm_block::ndata offset");
static_assert(sizeof(kova_spect_header_2010) == 20, "kova_spect_header_2010 size");
static_assert(offsetof(kova_spect_header_2010, start) == 0, "kova_spect_header_2010::start offset");
static_assert(offsetof(kova_spect_header_2010, inc) == 4, "kova_spect_header_2010::inc offset");
static_assert(offsetof(kova_spect_header_2010, ndata) == 8, "kova_spect_header_2010::ndata offset");
static_assert(offsetof(kova_spect_header_2010, groups) == 12,
              "kova_spect_header_2010::groups offset");
static_assert(offsetof(kova_spect_header_2010, group_inc) == 16,
              "kova_spect_header_2010::group_inc offset");
static_assert(sizeof(kova_spect_statistics_2010) == 132, "kova_spect_statistics_2010 size");
static_assert(offsetof(kova_spect_statistics_2010, mask) == 0,
              "kova_spect_statistics_2010::mask offset");
static_assert(offsetof(kova_spect_statistics_2010, val) == 4,
              "kova_spect_statistics_2010::val offset");
static_assert(sizeof(kova_norm_1channel_block_2010) == 152, "kova_norm_1channel_block_2010 size");
static_assert(offsetof(kova_norm_1channel_block_2010, stats) == 20,
              "kova_norm_1channel_block_2010::stats offset");
static_assert(offsetof(kova_norm_1channel_block_2010, data) == 152,
              "kova_norm_1channel_block_2010::data offset");
static_assert(sizeof(kova_norm_2channel_block_2010) == 284, "kova_norm_2channel_block_2010 size");
static_assert(offsetof(kova_norm_2channel_block_2010, data) == 284,
              "kova_norm_2channel_block_2010::data offset");
static_assert(sizeof(kova_norm_3channel_block_2010) == 416, "kova_norm_3channel_block_2010 size");
static_assert(sizeof(kova_norm_4channel_block_2010) == 548, "kova_norm_4channel_block_2010 size");
static_assert(sizeof(kova_norm_5channel_block_2010) == 680, "kova_norm_5channel_block_2010 size");
static_assert(sizeof(kova_norm_6channel_block_2010) == 812, "kova_norm_6channel_block_2010 size");
static_assert(sizeof(kova_norm_7channel_block_2010) == 944, "kova_norm_7channel_block_2010 size");
static_assert(sizeof(kova_norm_8channel_block_2010) == 1076, "kova_norm_8channel_block_2010 size");
static_assert(sizeof(kova_spect_entry_2012) == 152, "kova_spect_entry_2012 size");
static_assert(offsetof(kova_spect_entry_2012, stats) == 0, "kova_spect_entry_2012::stats offset");
static_assert(offsetof(kova_spect_entry_2012, header) == 132,
              "kova_spect_entry_2012::header offset");
static_assert(sizeof(kova_generic_spect_2012) == 160, "kova_generic_spect_2012 size");
static_assert(offsetof(kova_generic_spect_2012, nsubchan) == 0,
              "kova_generic_spect_2012::nsubchan offset");
static_assert(offsetof(kova_generic_spect_2012, description) == 4,
              "kova_generic_spect_2012::description offset");
static_assert(offsetof(kova_generic_spect_2012, entry) == 8,
              "kova_generic_spect_2012::entry offset");
static_assert(sizeof(kova_image_frame_head) == 40, "kova_image_frame_head size");
static_assert(offsetof(kova_image_frame_head, w) == 0, "kova_image_frame_head::w offset");
static_assert(offsetof(kova_image_frame_head, h) == 4, "kova_image_frame_head::h offset");
static_assert(offsetof(kova_image_frame_head, bpp) == 8, "kova_image_frame_head::bpp offset");
static_assert(offsetof(kova_image_frame_head, compr) == 12, "kova_image_frame_head::compr offset");
static_assert(offsetof(kova_image_frame_head, frame) == 16, "kova_image_frame_head::frame offset");
static_assert(offsetof(kova_image_frame_head, event_nm) == 24,
              "kova_image_frame_head::event_nm offset");
static_assert(offsetof(kova_image_frame_head, length) == 32,
              "kova_image_frame_head::length offset");
static_assert(offsetof(kova_image_frame_head, data) == 40, "kova_image_frame_head::data offset");
static_assert(sizeof(kova_image_ext_frame_head) == 100, "kova_image_ext_frame_head size");
static_assert(offsetof(kova_image_ext_frame_head, width) == 0,
              "kova_image_ext_frame_head::width offset");
static_assert(offsetof(kova_image_ext_frame_head, height) == 4,
              "kova_image_ext_frame_head::height offset");
static_assert(offsetof(kova_image_ext_frame_head, aoi_width) == 8,
              "kova_image_ext_frame_head::aoi_width offset");
static_assert(offsetof(kova_image_ext_frame_head, aoi_height) == 12,
              "kova_image_ext_frame_head::aoi_height offset");
static_assert(offsetof(kova_image_ext_frame_head, x_start) == 16,
              "kova_image_ext_frame_head::x_start offset");
static_assert(offsetof(kova_image_ext_frame_head, y_start) == 20,
              "kova_image_ext_frame_head::y_start offset");
static_assert(offsetof(kova_image_ext_frame_head, bpp) == 24,
              "kova_image_ext_frame_head::bpp offset");
static_assert(offsetof(kova_image_ext_frame_head, ebitpp) == 28,
              "kova_image_ext_frame_head::ebitpp offset");
static_assert(offsetof(kova_image_ext_frame_head, hbin) == 32,
              "kova_image_ext_frame_head::hbin offset");
static_assert(offsetof(kova_image_ext_frame_head, vbin) == 36,
              "kova_image_ext_frame_head::vbin offset");
static_assert(offsetof(kova_image_ext_frame_head, source_format) == 40,
              "kova_image_ext_frame_head::source_format offset");
static_assert(offsetof(kova_image_ext_frame_head, image_format) == 44,
              "kova_image_ext_frame_head::image_format offset");
static_assert(offsetof(kova_image_ext_frame_head, frame) == 48,
              "kova_image_ext_frame_head::frame offset");
static_assert(offsetof(kova_image_ext_frame_head, event) == 52,
              "kova_image_ext_frame_head::event offset");
static_assert(offsetof(kova_image_ext_frame_head, scale_x) == 56,
              "kova_image_ext_frame_head::scale_x offset");
static_assert(offsetof(kova_image_ext_frame_head, scale_y) == 60,
              "kova_image_ext_frame_head::scale_y offset");
static_assert(offsetof(kova_image_ext_frame_head, image_rotation) == 64,
              "kova_image_ext_frame_head::image_rotation offset");
static_assert(offsetof(kova_image_ext_frame_head, fspare2) == 68,
              "kova_image_ext_frame_head::fspare2 offset");
static_assert(offsetof(kova_image_ext_frame_head, fspare3) == 72,
              "kova_image_ext_frame_head::fspare3 offset");
static_assert(offsetof(kova_image_ext_frame_head, fspare4) == 76,
              "kova_image_ext_frame_head::fspare4 offset");
static_assert(offsetof(kova_image_ext_frame_head, image_flags) == 80,
              "kova_image_ext_frame_head::image_flags offset");
static_assert(offsetof(kova_image_ext_frame_head, ispare2) == 84,
              "kova_image_ext_frame_head::ispare2 offset");
static_assert(offsetof(kova_image_ext_frame_head, ispare3) == 88,
              "kova_image_ext_frame_head::ispare3 offset");
static_assert(offsetof(kova_image_ext_frame_head, ispare4) == 92,
              "kova_image_ext_frame_head::ispare4 offset");
static_assert(offsetof(kova_image_ext_frame_head, length) == 96,
              "kova_image_ext_frame_head::length offset");
static_assert(offsetof(kova_image_ext_frame_head, data) == 100,
              "kova_image_ext_frame_head::data offset");
static_assert(sizeof(kova_ifff) == 16, "kova_ifff size");
static_assert(sizeof(kova_image_roi_param) == 76, "kova_image_roi_param size");
static_assert(offsetof(kova_image_roi_param, w) == 0, "kova_image_roi_param::w offset");
static_assert(offsetof(kova_image_roi_param, h) == 4, "kova_image_roi_param::h offset");
static_assert(offsetof(kova_image_roi_param, bpp) == 8, "kova_image_roi_param::bpp offset");
static_assert(offsetof(kova_image_roi_param, flag) == 12, "kova_image_roi_param::flag offset");
static_assert(offsetof(kova_image_roi_param, x0) == 16, "kova_image_roi_param::x0 offset");
static_assert(offsetof(kova_image_roi_param, y0) == 20, "kova_image_roi_param::y0 offset");
static_assert(offsetof(kova_image_roi_param, hs) == 24, "kova_image_roi_param::hs offset");
static_assert(offsetof(kova_image_roi_param, vs) == 28, "kova_image_roi_param::vs offset");
static_assert(offsetof(kova_image_roi_param, angle) == 32, "kova_image_roi_param::angle offset");
static_assert(offsetof(kova_image_roi_param, cw) == 36, "kova_image_roi_param::cw offset");
static_assert(offsetof(kova_image_roi_param, cs) == 40, "kova_image_roi_param::cs offset");
static_assert(offsetof(kova_image_roi_param, prm) == 44, "kova_image_roi_param::prm offset");
static_assert(sizeof(zel_image_roi_channel) == 80, "zel_image_roi_channel size");
static_assert(offsetof(zel_image_roi_channel, mean) == 0, "zel_image_roi_channel::mean offset");
static_assert(offsetof(zel_image_roi_channel, max) == 4, "zel_image_roi_channel::max offset");
static_assert(offsetof(zel_image_roi_channel, cofm) == 8, "zel_image_roi_channel::cofm offset");
static_assert(offsetof(zel_image_roi_channel, sig) == 12, "zel_image_roi_channel::sig offset");
static_assert(offsetof(zel_image_roi_channel, pv) == 16, "zel_image_roi_channel::pv offset");
static_assert(offsetof(zel_image_roi_channel, ps) == 32, "zel_image_roi_channel::ps offset");
static_assert(offsetof(zel_image_roi_channel, prm) == 48, "zel_image_roi_channel::prm offset");
static_assert(sizeof(kova_roi_spect) == 12, "kova_roi_spect size");
static_assert(sizeof(kova_image_roi1) == 168, "kova_image_roi1 size");
static_assert(offsetof(kova_image_roi1, chan) == 76, "kova_image_roi1::chan offset");
static_assert(offsetof(kova_image_roi1, spect1) == 156, "kova_image_roi1::spect1 offset");
static_assert(offsetof(kova_image_roi1, data) == 168, "kova_image_roi1::data offset");
static_assert(sizeof(kova_image_roi2) == 260, "kova_image_roi2 size");
static_assert(offsetof(kova_image_roi2, chan) == 76, "kova_image_roi2::chan offset");
static_assert(offsetof(kova_image_roi2, spect1) == 236, "kova_image_roi2::spect1 offset");
static_assert(offsetof(kova_image_roi2, spect2) == 248, "kova_image_roi2::spect2 offset");
static_assert(offsetof(kova_image_roi2, data) == 260, "kova_image_roi2::data offset");
static_assert(sizeof(kova_image_roi3) == 352, "kova_image_roi3 size");
static_assert(offsetof(kova_image_roi3, chan) == 76, "kova_image_roi3::chan offset");
static_assert(offsetof(kova_image_roi3, spect1) == 316, "kova_image_roi3::spect1 offset");
static_assert(offsetof(kova_image_roi3, spect2) == 328, "kova_image_roi3::spect2 offset");
static_assert(offsetof(kova_image_roi3, spect3) == 340, "kova_image_roi3::spect3 offset");
static_assert(offsetof(kova_image_roi3, data) == 352, "kova_image_roi3::data offset");
static_assert(sizeof(kova_name_value_channel) == 84, "kova_name_value_channel size");
static_assert(offsetof(kova_name_value_channel, name) == 0, "kova_name_value_channel::name offset");
static_assert(offsetof(kova_name_value_channel, value) == 80,
              "kova_name_value_channel::value offset");
static_assert(sizeof(kova_name_value_block) == 88, "kova_name_value_block size");
static_assert(offsetof(kova_name_value_block, id) == 0, "kova_name_value_block::id offset");
static_assert(offsetof(kova_name_value_block, comment) == 4,
              "kova_name_value_block::comment offset");
static_assert(offsetof(kova_name_value_block, ndata) == 84, "kova_name_value_block::ndata offset");
static_assert(offsetof(kova_name_value_block, data) == 88, "kova_name_value_block::data offset");

#endif  // HESK_EVENT_LAYOUT_CHECKS_H
