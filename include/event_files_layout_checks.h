// Compile-time checks of the DAQ file tables declared in event_files.h.
// Every size and offset here is part of the file format.
#ifndef HESK_EVENT_FILES_LAYOUT_CHECKS_H
#define HESK_EVENT_FILES_LAYOUT_CHECKS_H

#include <cstddef>

static_assert(sizeof(kova_file_reference_table) == 168, "kova_file_reference_table size");
static_assert(offsetof(kova_file_reference_table, pattern) == 0,
              "kova_file_reference_table::pattern offset");
static_assert(offsetof(kova_file_reference_table, length) == 4,
              "kova_file_reference_table::length offset");
static_assert(offsetof(kova_file_reference_table, eit_pos_ref) == 8,
              "kova_file_reference_table::eit_pos_ref offset");
static_assert(offsetof(kova_file_reference_table, eite_pos_ref) == 12,
              "kova_file_reference_table::eite_pos_ref offset");
static_assert(offsetof(kova_file_reference_table, cdt_ref) == 140,
              "kova_file_reference_table::cdt_ref offset");
static_assert(offsetof(kova_file_reference_table, ecp_ref) == 144,
              "kova_file_reference_table::ecp_ref offset");
static_assert(offsetof(kova_file_reference_table, eidt_ref) == 148,
              "kova_file_reference_table::eidt_ref offset");
static_assert(offsetof(kova_file_reference_table, xcd_ref) == 152,
              "kova_file_reference_table::xcd_ref offset");
static_assert(offsetof(kova_file_reference_table, evhdb_ref) == 156,
              "kova_file_reference_table::evhdb_ref offset");
static_assert(offsetof(kova_file_reference_table, srvbb_ref) == 160,
              "kova_file_reference_table::srvbb_ref offset");
static_assert(offsetof(kova_file_reference_table, chanb_ref) == 164,
              "kova_file_reference_table::chanb_ref offset");
static_assert(sizeof(kova_file_reference_table_2010) == 168, "kova_file_reference_table_2010 size");
static_assert(offsetof(kova_file_reference_table_2010, pattern) == 0,
              "kova_file_reference_table_2010::pattern offset");
static_assert(offsetof(kova_file_reference_table_2010, length) == 4,
              "kova_file_reference_table_2010::length offset");
static_assert(offsetof(kova_file_reference_table_2010, eit_pos_ref) == 8,
              "kova_file_reference_table_2010::eit_pos_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, eite_pos_ref) == 12,
              "kova_file_reference_table_2010::eite_pos_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, cdt_ref) == 140,
              "kova_file_reference_table_2010::cdt_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, ecp_ref) == 144,
              "kova_file_reference_table_2010::ecp_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, eidt_ref) == 148,
              "kova_file_reference_table_2010::eidt_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, xcd_ref) == 152,
              "kova_file_reference_table_2010::xcd_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, evhdb_ref) == 156,
              "kova_file_reference_table_2010::evhdb_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, srvbb_ref) == 160,
              "kova_file_reference_table_2010::srvbb_ref offset");
static_assert(offsetof(kova_file_reference_table_2010, chanb_ref) == 164,
              "kova_file_reference_table_2010::chanb_ref offset");
static_assert(sizeof(kova_file_reference_table_2024) == 336, "kova_file_reference_table_2024 size");
static_assert(offsetof(kova_file_reference_table_2024, pattern) == 0,
              "kova_file_reference_table_2024::pattern offset");
static_assert(offsetof(kova_file_reference_table_2024, length) == 8,
              "kova_file_reference_table_2024::length offset");
static_assert(offsetof(kova_file_reference_table_2024, eit_pos_ref) == 16,
              "kova_file_reference_table_2024::eit_pos_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, eite_pos_ref) == 24,
              "kova_file_reference_table_2024::eite_pos_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, cdt_ref) == 280,
              "kova_file_reference_table_2024::cdt_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, ecp_ref) == 288,
              "kova_file_reference_table_2024::ecp_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, eidt_ref) == 296,
              "kova_file_reference_table_2024::eidt_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, xcd_ref) == 304,
              "kova_file_reference_table_2024::xcd_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, evhdb_ref) == 312,
              "kova_file_reference_table_2024::evhdb_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, srvbb_ref) == 320,
              "kova_file_reference_table_2024::srvbb_ref offset");
static_assert(offsetof(kova_file_reference_table_2024, chanb_ref) == 328,
              "kova_file_reference_table_2024::chanb_ref offset");
static_assert(sizeof(kova_event_info_entry) == 16, "kova_event_info_entry size");
static_assert(offsetof(kova_event_info_entry, time) == 0, "kova_event_info_entry::time offset");
static_assert(offsetof(kova_event_info_entry, event_number) == 8,
              "kova_event_info_entry::event_number offset");
static_assert(offsetof(kova_event_info_entry, offset) == 12,
              "kova_event_info_entry::offset offset");
static_assert(sizeof(kova_event_index_entry_head) == 32, "kova_event_index_entry_head size");
static_assert(offsetof(kova_event_index_entry_head, event_type) == 0,
              "kova_event_index_entry_head::event_type offset");
static_assert(offsetof(kova_event_index_entry_head, event_time_first) == 4,
              "kova_event_index_entry_head::event_time_first offset");
static_assert(offsetof(kova_event_index_entry_head, event_time_last) == 12,
              "kova_event_index_entry_head::event_time_last offset");
static_assert(offsetof(kova_event_index_entry_head, event_number_first) == 20,
              "kova_event_index_entry_head::event_number_first offset");
static_assert(offsetof(kova_event_index_entry_head, event_number_last) == 24,
              "kova_event_index_entry_head::event_number_last offset");
static_assert(offsetof(kova_event_index_entry_head, length) == 28,
              "kova_event_index_entry_head::length offset");
static_assert(sizeof(kova_event_index_entry) == 32, "kova_event_index_entry size");
static_assert(offsetof(kova_event_index_entry, head) == 0, "kova_event_index_entry::head offset");
static_assert(offsetof(kova_event_index_entry, event_type) == 0,
              "kova_event_index_entry::event_type offset");
static_assert(offsetof(kova_event_index_entry, event_time_first) == 4,
              "kova_event_index_entry::event_time_first offset");
static_assert(offsetof(kova_event_index_entry, event_time_last) == 12,
              "kova_event_index_entry::event_time_last offset");
static_assert(offsetof(kova_event_index_entry, event_number_first) == 20,
              "kova_event_index_entry::event_number_first offset");
static_assert(offsetof(kova_event_index_entry, event_number_last) == 24,
              "kova_event_index_entry::event_number_last offset");
static_assert(offsetof(kova_event_index_entry, length) == 28,
              "kova_event_index_entry::length offset");
static_assert(offsetof(kova_event_index_entry, event_info) == 32,
              "kova_event_index_entry::event_info offset");
static_assert(sizeof(kova_event_index_table) == 8, "kova_event_index_table size");
static_assert(offsetof(kova_event_index_table, pattern) == 0,
              "kova_event_index_table::pattern offset");
static_assert(offsetof(kova_event_index_table, nevent_types) == 4,
              "kova_event_index_table::nevent_types offset");
static_assert(offsetof(kova_event_index_table, event_index_entry) == 8,
              "kova_event_index_table::event_index_entry offset");
static_assert(sizeof(kova_event_info_entry_2024) == 24, "kova_event_info_entry_2024 size");
static_assert(offsetof(kova_event_info_entry_2024, time) == 0,
              "kova_event_info_entry_2024::time offset");
static_assert(offsetof(kova_event_info_entry_2024, event_number) == 8,
              "kova_event_info_entry_2024::event_number offset");
static_assert(offsetof(kova_event_info_entry_2024, offset) == 16,
              "kova_event_info_entry_2024::offset offset");
static_assert(sizeof(kova_event_index_entry_head_2024) == 48,
              "kova_event_index_entry_head_2024 size");
static_assert(offsetof(kova_event_index_entry_head_2024, event_type) == 0,
              "kova_event_index_entry_head_2024::event_type offset");
static_assert(offsetof(kova_event_index_entry_head_2024, event_time_first) == 8,
              "kova_event_index_entry_head_2024::event_time_first offset");
static_assert(offsetof(kova_event_index_entry_head_2024, event_time_last) == 16,
              "kova_event_index_entry_head_2024::event_time_last offset");
static_assert(offsetof(kova_event_index_entry_head_2024, event_number_first) == 24,
              "kova_event_index_entry_head_2024::event_number_first offset");
static_assert(offsetof(kova_event_index_entry_head_2024, event_number_last) == 32,
              "kova_event_index_entry_head_2024::event_number_last offset");
static_assert(offsetof(kova_event_index_entry_head_2024, length) == 40,
              "kova_event_index_entry_head_2024::length offset");
static_assert(sizeof(kova_event_index_entry_2024) == 48, "kova_event_index_entry_2024 size");
static_assert(offsetof(kova_event_index_entry_2024, head) == 0,
              "kova_event_index_entry_2024::head offset");
static_assert(offsetof(kova_event_index_entry_2024, event_type) == 0,
              "kova_event_index_entry_2024::event_type offset");
static_assert(offsetof(kova_event_index_entry_2024, event_time_first) == 8,
              "kova_event_index_entry_2024::event_time_first offset");
static_assert(offsetof(kova_event_index_entry_2024, event_time_last) == 16,
              "kova_event_index_entry_2024::event_time_last offset");
static_assert(offsetof(kova_event_index_entry_2024, event_number_first) == 24,
              "kova_event_index_entry_2024::event_number_first offset");
static_assert(offsetof(kova_event_index_entry_2024, event_number_last) == 32,
              "kova_event_index_entry_2024::event_number_last offset");
static_assert(offsetof(kova_event_index_entry_2024, length) == 40,
              "kova_event_index_entry_2024::length offset");
static_assert(offsetof(kova_event_index_entry_2024, event_info) == 48,
              "kova_event_index_entry_2024::event_info offset");
static_assert(sizeof(kova_event_index_table_2024) == 16, "kova_event_index_table_2024 size");
static_assert(offsetof(kova_event_index_table_2024, pattern) == 0,
              "kova_event_index_table_2024::pattern offset");
static_assert(offsetof(kova_event_index_table_2024, nevent_types) == 8,
              "kova_event_index_table_2024::nevent_types offset");
static_assert(offsetof(kova_event_index_table_2024, event_index_entry) == 16,
              "kova_event_index_table_2024::event_index_entry offset");
static_assert(sizeof(kova_chan_dictionary_entry) == 96, "kova_chan_dictionary_entry size");
static_assert(offsetof(kova_chan_dictionary_entry, key) == 0,
              "kova_chan_dictionary_entry::key offset");
static_assert(offsetof(kova_chan_dictionary_entry, chan_name) == 4,
              "kova_chan_dictionary_entry::chan_name offset");
static_assert(offsetof(kova_chan_dictionary_entry, ev_mask) == 84,
              "kova_chan_dictionary_entry::ev_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry, dtype_mask) == 88,
              "kova_chan_dictionary_entry::dtype_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry, count) == 92,
              "kova_chan_dictionary_entry::count offset");
static_assert(sizeof(kova_chan_dictionary_table) == 8, "kova_chan_dictionary_table size");
static_assert(offsetof(kova_chan_dictionary_table, pattern) == 0,
              "kova_chan_dictionary_table::pattern offset");
static_assert(offsetof(kova_chan_dictionary_table, length) == 4,
              "kova_chan_dictionary_table::length offset");
static_assert(offsetof(kova_chan_dictionary_table, chan_dictionary_entry) == 8,
              "kova_chan_dictionary_table::chan_dictionary_entry offset");
static_assert(sizeof(kova_chan_dictionary_entry_2010) == 272,
              "kova_chan_dictionary_entry_2010 size");
static_assert(offsetof(kova_chan_dictionary_entry_2010, key) == 0,
              "kova_chan_dictionary_entry_2010::key offset");
static_assert(offsetof(kova_chan_dictionary_entry_2010, chan_name) == 4,
              "kova_chan_dictionary_entry_2010::chan_name offset");
static_assert(offsetof(kova_chan_dictionary_entry_2010, ev_mask) == 260,
              "kova_chan_dictionary_entry_2010::ev_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry_2010, dtype_mask) == 264,
              "kova_chan_dictionary_entry_2010::dtype_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry_2010, count) == 268,
              "kova_chan_dictionary_entry_2010::count offset");
static_assert(sizeof(kova_chan_dictionary_entry_2024) == 272,
              "kova_chan_dictionary_entry_2024 size");
static_assert(offsetof(kova_chan_dictionary_entry_2024, key) == 0,
              "kova_chan_dictionary_entry_2024::key offset");
static_assert(offsetof(kova_chan_dictionary_entry_2024, chan_name) == 4,
              "kova_chan_dictionary_entry_2024::chan_name offset");
static_assert(offsetof(kova_chan_dictionary_entry_2024, ev_mask) == 260,
              "kova_chan_dictionary_entry_2024::ev_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry_2024, dtype_mask) == 264,
              "kova_chan_dictionary_entry_2024::dtype_mask offset");
static_assert(offsetof(kova_chan_dictionary_entry_2024, count) == 268,
              "kova_chan_dictionary_entry_2024::count offset");
static_assert(sizeof(kova_chan_dictionary_table_2010) == 8, "kova_chan_dictionary_table_2010 size");
static_assert(offsetof(kova_chan_dictionary_table_2010, pattern) == 0,
              "kova_chan_dictionary_table_2010::pattern offset");
static_assert(offsetof(kova_chan_dictionary_table_2010, length) == 4,
              "kova_chan_dictionary_table_2010::length offset");
static_assert(offsetof(kova_chan_dictionary_table_2010, chan_dictionary_entry) == 8,
              "kova_chan_dictionary_table_2010::chan_dictionary_entry offset");
static_assert(sizeof(kova_chan_dictionary_table_2024) == 16,
              "kova_chan_dictionary_table_2024 size");
static_assert(offsetof(kova_chan_dictionary_table_2024, pattern) == 0,
              "kova_chan_dictionary_table_2024::pattern offset");
static_assert(offsetof(kova_chan_dictionary_table_2024, length) == 8,
              "kova_chan_dictionary_table_2024::length offset");
static_assert(offsetof(kova_chan_dictionary_table_2024, chan_dictionary_entry) == 16,
              "kova_chan_dictionary_table_2024::chan_dictionary_entry offset");
static_assert(sizeof(kova_event_chan_ptr_entry) == 16, "kova_event_chan_ptr_entry size");
static_assert(offsetof(kova_event_chan_ptr_entry, evhd) == 0,
              "kova_event_chan_ptr_entry::evhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry, sbhd) == 4,
              "kova_event_chan_ptr_entry::sbhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry, chhd) == 8,
              "kova_event_chan_ptr_entry::chhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry, data) == 12,
              "kova_event_chan_ptr_entry::data offset");
static_assert(sizeof(kova_event_chan_pointers_table) == 12, "kova_event_chan_pointers_table size");
static_assert(offsetof(kova_event_chan_pointers_table, pattern) == 0,
              "kova_event_chan_pointers_table::pattern offset");
static_assert(offsetof(kova_event_chan_pointers_table, length) == 4,
              "kova_event_chan_pointers_table::length offset");
static_assert(offsetof(kova_event_chan_pointers_table, maxev) == 8,
              "kova_event_chan_pointers_table::maxev offset");
static_assert(offsetof(kova_event_chan_pointers_table, event_chan_ptr_entry) == 12,
              "kova_event_chan_pointers_table::event_chan_ptr_entry offset");
static_assert(sizeof(kova_event_chan_ptr_entry_2024) == 32, "kova_event_chan_ptr_entry_2024 size");
static_assert(offsetof(kova_event_chan_ptr_entry_2024, evhd) == 0,
              "kova_event_chan_ptr_entry_2024::evhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry_2024, sbhd) == 8,
              "kova_event_chan_ptr_entry_2024::sbhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry_2024, chhd) == 16,
              "kova_event_chan_ptr_entry_2024::chhd offset");
static_assert(offsetof(kova_event_chan_ptr_entry_2024, data) == 24,
              "kova_event_chan_ptr_entry_2024::data offset");
static_assert(sizeof(kova_event_chan_pointers_table_2024) == 24,
              "kova_event_chan_pointers_table_2024 size");
static_assert(offsetof(kova_event_chan_pointers_table_2024, pattern) == 0,
              "kova_event_chan_pointers_table_2024::pattern offset");
static_assert(offsetof(kova_event_chan_pointers_table_2024, length) == 8,
              "kova_event_chan_pointers_table_2024::length offset");
static_assert(offsetof(kova_event_chan_pointers_table_2024, maxev) == 16,
              "kova_event_chan_pointers_table_2024::maxev offset");
static_assert(offsetof(kova_event_chan_pointers_table_2024, event_chan_ptr_entry) == 24,
              "kova_event_chan_pointers_table_2024::event_chan_ptr_entry offset");
static_assert(sizeof(kova_env_dictionary_entry) == 8, "kova_env_dictionary_entry size");
static_assert(offsetof(kova_env_dictionary_entry, key) == 0,
              "kova_env_dictionary_entry::key offset");
static_assert(offsetof(kova_env_dictionary_entry, index) == 4,
              "kova_env_dictionary_entry::index offset");
static_assert(sizeof(kova_env_dictionary_table) == 8, "kova_env_dictionary_table size");
static_assert(offsetof(kova_env_dictionary_table, pattern) == 0,
              "kova_env_dictionary_table::pattern offset");
static_assert(offsetof(kova_env_dictionary_table, length) == 4,
              "kova_env_dictionary_table::length offset");
static_assert(offsetof(kova_env_dictionary_table, env_dictionary_entry) == 8,
              "kova_env_dictionary_table::env_dictionary_entry offset");
static_assert(sizeof(kova_env_dictionary_table_2024) == 16, "kova_env_dictionary_table_2024 size");
static_assert(offsetof(kova_env_dictionary_table_2024, pattern) == 0,
              "kova_env_dictionary_table_2024::pattern offset");
static_assert(offsetof(kova_env_dictionary_table_2024, length) == 8,
              "kova_env_dictionary_table_2024::length offset");
static_assert(offsetof(kova_env_dictionary_table_2024, env_dictionary_entry) == 16,
              "kova_env_dictionary_table_2024::env_dictionary_entry offset");
static_assert(sizeof(kova_xml_chan_descr_header) == 8, "kova_xml_chan_descr_header size");
static_assert(offsetof(kova_xml_chan_descr_header, pattern) == 0,
              "kova_xml_chan_descr_header::pattern offset");
static_assert(offsetof(kova_xml_chan_descr_header, length) == 4,
              "kova_xml_chan_descr_header::length offset");
static_assert(offsetof(kova_xml_chan_descr_header, xml) == 8,
              "kova_xml_chan_descr_header::xml offset");
static_assert(sizeof(kova_xml_chan_descr_header_2024) == 16,
              "kova_xml_chan_descr_header_2024 size");
static_assert(offsetof(kova_xml_chan_descr_header_2024, pattern) == 0,
              "kova_xml_chan_descr_header_2024::pattern offset");
static_assert(offsetof(kova_xml_chan_descr_header_2024, length) == 8,
              "kova_xml_chan_descr_header_2024::length offset");
static_assert(offsetof(kova_xml_chan_descr_header_2024, xml) == 16,
              "kova_xml_chan_descr_header_2024::xml offset");
static_assert(sizeof(kova_event_header_basket) == 8, "kova_event_header_basket size");
static_assert(offsetof(kova_event_header_basket, pattern) == 0,
              "kova_event_header_basket::pattern offset");
static_assert(offsetof(kova_event_header_basket, length) == 4,
              "kova_event_header_basket::length offset");
static_assert(offsetof(kova_event_header_basket, event_header) == 8,
              "kova_event_header_basket::event_header offset");
static_assert(sizeof(kova_event_header_basket_2024) == 16, "kova_event_header_basket_2024 size");
static_assert(offsetof(kova_event_header_basket_2024, pattern) == 0,
              "kova_event_header_basket_2024::pattern offset");
static_assert(offsetof(kova_event_header_basket_2024, length) == 8,
              "kova_event_header_basket_2024::length offset");
static_assert(offsetof(kova_event_header_basket_2024, event_header) == 16,
              "kova_event_header_basket_2024::event_header offset");
static_assert(sizeof(kova_server_block_basket) == 8, "kova_server_block_basket size");
static_assert(offsetof(kova_server_block_basket, pattern) == 0,
              "kova_server_block_basket::pattern offset");
static_assert(offsetof(kova_server_block_basket, length) == 4,
              "kova_server_block_basket::length offset");
static_assert(offsetof(kova_server_block_basket, server_block) == 8,
              "kova_server_block_basket::server_block offset");
static_assert(sizeof(kova_server_block_basket_2010) == 8, "kova_server_block_basket_2010 size");
static_assert(offsetof(kova_server_block_basket_2010, pattern) == 0,
              "kova_server_block_basket_2010::pattern offset");
static_assert(offsetof(kova_server_block_basket_2010, length) == 4,
              "kova_server_block_basket_2010::length offset");
static_assert(offsetof(kova_server_block_basket_2010, server_block) == 8,
              "kova_server_block_basket_2010::server_block offset");
static_assert(sizeof(kova_server_block_basket_2024) == 16, "kova_server_block_basket_2024 size");
static_assert(offsetof(kova_server_block_basket_2024, pattern) == 0,
              "kova_server_block_basket_2024::pattern offset");
static_assert(offsetof(kova_server_block_basket_2024, length) == 8,
              "kova_server_block_basket_2024::length offset");
static_assert(offsetof(kova_server_block_basket_2024, server_block) == 16,
              "kova_server_block_basket_2024::server_block offset");

#endif  // HESK_EVENT_FILES_LAYOUT_CHECKS_H
