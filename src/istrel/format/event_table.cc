// The event type table: name, tree name and tree comment of each event type,
// and how an event of that type is assembled.
#include "event_util.h"

extern "C" {

const char* const event_types_a[KOVA_EV_EVMAX][KOVA_FIELD_TREE_MAX] = {
    {"HEART_BEAT", "KOVA_Heart_Beat_Events", "Heart_Beat_Events"},            // 0
    {"NORMAL", "KOVA_Normal_Events", "Normal_Events"},                        // 1
    {"BOR", "KOVA_BOR_Events", "Begin_Of_Run_Events"},                        // 2
    {"EOR", "KOVA_EOR_Events", "End_Of_Run_Events"},                          // 3
    {"ENV", "KOVA_ENV_Events", "Environment_Events"},                         // 4
    {"UPD", "KOVA_UPD_Events", "Update_Events"},                              // 5
    {"IMAGE", "KOVA_IMAGE_Events", "Image_Events"},                           // 6
    {"WS", "KOVA_WS_Events", "Wire_Scanner_Events"},                          // 7
    {"MCP", "KOVA_MCP_Events", "MCP_Events"},                                 // 8
    {"WSS", "KOVA_WSS_Events", "Wire_Scanner_Server_Events"},                 // 9
    {"BL1", "KOVA_BL1_Events", "Beam Line 1 Events"},                         // 10
    {"BL2", "KOVA_BL2_Events", "Beam Line 2 Events"},                         // 11
    {"BL3", "KOVA_BL3_Events", "Beam Line 3 Events"},                         // 12
    {"PG0", "KOVA_PG0_Events", "PG0 Events"},                                 // 13
    {"PG1", "KOVA_PG1_Events", "PG1 Events"},                                 // 14
    {"PG2", "KOVA_PG2_Events", "PG2 Events"},                                 // 15
    {"GMD", "KOVA_GMD_Events", "GMD_Events"},                                 // 16
    {"PHOTON_ENERGY", "KOVA_PHEN_Events", "Photon Energy_Events"},            // 17
    {"PHOTON_WAVE_LENGTH", "KOVA_PHWL_Events", "Photon Wave Length Events"},  // 18
    {"BEAM_ENERGY", "KOVA_BEAM_ENERGY_Events", "Beam Energy Events"},         // 19
    {"LLRF_ML", "KOVA_LLRF_ML_Events", "LLRF ML Events"},                     // 20
    {"BEAM_ENERGY_BYPASS", "KOVA_EV_BEAM_ENERGY_BYPASS_Events",
     "Beam energy in BYPASS Events"},                                           // 21
    {"SPECTROMETER_1", "KOVA_EV_SPECTR_1_Events", "Event for spectrometer 1"},  // 22
    {"SPECTROMETER_2", "KOVA_EV_SPECTR_2_Events", "Event for spectrometer 2"},  // 23
    {"SPECTROMETER_3", "KOVA_EV_SPECTR_3_Events", "Event for spectrometer 3"},  // 24
    {"SPECTROMETER_4", "KOVA_EV_SPECTR_4_Events", "Event for spectrometer 4"},  // 25
    {"SPECTROMETER_5", "KOVA_EV_SPECTR_5_Events", "Event for spectrometer 5"},  // 26
    {"TOROID_ML", "KOVA_TOROID_ML_Events", "TOROID ML Events"},                 // 27
    {"EVENT_TYPE_28", "KOVA_EVENT_TYPE_28_Events", "Event_Type_28_Events"},     // 28
    {"EVENT_TYPE_29", "KOVA_EVENT_TYPE_29_Events", "Event_Type_29_Events"},     // 29
    {"EVENT_TYPE_30", "KOVA_EVENT_TYPE_30_Events", "Event_Type_30_Events"},     // 30
    {"EVENT_TYPE_31", "KOVA_EVENT_TYPE_31_Events", "Event_Type_31_Events"},     // 31
};

const int event_struct_type[KOVA_EV_EVMAX] = {
    KOVA_EV_STRUCT_GLOBAL,  // 0
    KOVA_EV_STRUCT_LOCAL,   // 1
    KOVA_EV_STRUCT_GLOBAL,  // 2
    KOVA_EV_STRUCT_GLOBAL,  // 3
    KOVA_EV_STRUCT_GLOBAL,  // 4
    KOVA_EV_STRUCT_GLOBAL,  // 5
    KOVA_EV_STRUCT_LOCAL,   // 6
    KOVA_EV_STRUCT_LOCAL,   // 7
    KOVA_EV_STRUCT_GLOBAL,  // 8
    KOVA_EV_STRUCT_ML,      // 9
    KOVA_EV_STRUCT_LOCAL,   // 10
    KOVA_EV_STRUCT_LOCAL,   // 11
    KOVA_EV_STRUCT_LOCAL,   // 12
    KOVA_EV_STRUCT_LOCAL,   // 13
    KOVA_EV_STRUCT_LOCAL,   // 14
    KOVA_EV_STRUCT_LOCAL,   // 15
    KOVA_EV_STRUCT_ML,      // 16
    KOVA_EV_STRUCT_ML,      // 17
    KOVA_EV_STRUCT_ML,      // 18
    KOVA_EV_STRUCT_ML,      // 19
    KOVA_EV_STRUCT_ML,      // 20
    KOVA_EV_STRUCT_ML,      // 21
    KOVA_EV_STRUCT_ML,      // 22
    KOVA_EV_STRUCT_ML,      // 23
    KOVA_EV_STRUCT_ML,      // 24
    KOVA_EV_STRUCT_ML,      // 25
    KOVA_EV_STRUCT_ML,      // 26
    KOVA_EV_STRUCT_ML,      // 27
    KOVA_EV_STRUCT_ML,      // 28
    KOVA_EV_STRUCT_ML,      // 29
    KOVA_EV_STRUCT_ML,      // 30
    KOVA_EV_STRUCT_ML,      // 31
};

}  // extern "C"
