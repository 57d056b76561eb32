// The sub-block type table: for every sub-block type 0-62 its name, channel
// count (as text: "-1" no channels, "0" count read from the block), branch
// name and class, then up to eight (channel, units, description) triples.
#include "event_util.h"

extern "C" {

const char* const sblock_types_a[KOVA_BLOCK_MAX_2010][KOVA_SB_TYPE_COLUMNS] = {
    // 0
    {"UNKNOWN_BLOCK", "-1", "UnknownData", nullptr},
    // 1
    {"UPD_BLOCK", "1", "UPDdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data %s"},
    // 2
    {"ENV_DICT_BLOCK", "1", "ENV_DICTdata", "ZELDictChannelArray", "Index", " ",
     "Chan. index for %s"},
    // 3
    {"ENV_BLOCK", "1", "DataBlockENV", "ZELENVBlockChannelArray", "Data", " ", "Slow data at %s"},
    // 4
    {"BOR_BLOCK", "1", "BORdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data at %s"},
    // 5
    {"EOR_BLOCK", "1", "EORdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data at %s"},
    // 6
    {"BLOCK_BPM", "2", "BPMdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm", "Y at %s"},
    // 7
    {"BLOCK_BPM_Z", "4", "BPMZdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm",
     "Y at %s", "I", " ", "I at %s", "Q", " ", "Q at %s"},
    // 8
    {"BLOCK_BPM_S", "3", "BPMSdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm",
     "Y at %s", "C", " ", "C at %s"},
    // 9
    {"BLOCK_SINGLE", "1", "SingleData", "ZELFastDeviceArray", "Float", " ", "Data at %s"},
    // 10
    {"BLOCK_TOROID", "1", "ToroidData", "ZELFastDeviceArray", "Q", "nc", "Charge at %s"},
    // 11
    {"BLOCK_RF_250K", "2", "RFdata", "ZELFastDeviceArray", "I", " ", "I at %s", "Q", " ",
     "Q at %s"},
    // 12
    {"BLOCK_ENERGY", "-1", "Energydata", "", "Energy", " ", "Energy at %s"},
    // 13
    {"BLOCK_IMAGE", "1", "ImageData", "ZELImageArray", "Image", " ", "Image at %s"},
    // 14
    {"BLOCK_WS_FAST", "2", "WSdataFast", "ZELFastDeviceArray", "X", "mm", "X (fast) at %s", "V",
     " ", "V (fast) at %s"},
    // 15
    {"BLOCK_WS_SLOW", "2", "WSdataSlow", "ZELFastDeviceArray", "X", "mm", "X (slow) at %s", "V",
     " ", "V (slow) at %s"},
    // 16
    {"BLOCK_CPLINTL", "4", "CPLIdata", "ZELFastDeviceArray", "PM", " ", "PM at %s", "E-1", " ",
     "E-1 at %s", "E-2", " ", "E-2 at %s", "E-3", " ", "E-3 f at %s"},
    // 17
    {"BLOCK_GUNINTL", "8",  "GUNIdata", "ZELFastDeviceArray", "F1", " ", "F1 at %s", "F2", " ",
     "F2  at %s",     "F3", " ",        "F3  at %s",          "F4", " ", "F4 at %s", "F5", " ",
     "F5 at %s",      "F6", " ",        "F6 at %s",           "F7", " ", "F7 at %s", "F8", " ",
     "F8 at %s"},
    // 18
    {"BLOCK_MCP",  "8",    "MCPdata", "ZELFastDeviceArray", "MCP1", " ", "MCP1 at %s", "MCP2", " ",
     "MCP2 at %s", "MCP3", " ",       "MCP3 at %s",         "MCP4", " ", "MCP4 at %s", "PHD1", " ",
     "PHD1 at %s", "PHD2", " ",       "PHD2 at %s",         "MCP5", " ", "MCP5 at %s", "MCP6", " ",
     "MCP6 at %s"},
    // 19
    {"BLOCK_PHM", "2", "PHMdata", "ZELFastDeviceArray", "I", " ", "I at %s", "Q", " ", "Q at %s"},
    // 20
    {"BLOCK_WSS_RAW", "2", "WSSdataRaw", "ZELFastDeviceArray", "X", "mm", "X (raw) at %s", "V", " ",
     "V (raw) at %s"},
    // 21
    {"BLOCK_WSS_COR", "2", "WSSdataCor", "ZELFastDeviceArray", "X", "mm", "X (cor) at %s", "V", " ",
     "V (cor) at %s"},
    // 22
    {"BLOCK_NAME_VALUE", "2", "NameValue", "ZELNameValueChannelArray", "Name", " ",
     "Name of setting parameter from %s", "Value", " ", "Value of setting parameter from %s"},
    // 23
    {"BLOCK_EQDATA", "0", "EqData", "EqData", "Generic data %f", " ", "Data at %d channel"},
    // 24
    {"BLOCK_IMG_ROI1", "1", "ImageROI1data", "ZELImageROI1Array", "ROI", " ", "ROI for channel %s"},
    // 25
    {"BLOCK_IMG_ROI2", "2", "ImageROI2data", "ZELImageROI2Array", "ROI1", " ",
     "ROI1 for channel %s", "ROI2", " ", "ROI2 for channel %s"},
    // 26
    {"BLOCK_IMG_ROI3", "3", "ImageROI3data", "ZELImageROI3Array", "ROI1", " ",
     "ROI1 for channel %s", "ROI2", " ", "ROI2 for channel %s", "ROI3", " ", "ROI3 for channel %s"},
    // 27
    {"BLOCK_IMAGE_EXT", "1", "ImageExtData", "ZELImageExtArray", "ImageExt", " ", "Image at %s"},
    // 28
    {"BLOCK_GENERIC_SPECT_ARRAY", "0", "GenericNSpectData", "ZELFastDeviceArray", "Float%d", " ",
     "Data at %d channel"},
    // 29
    {"BLOCK_TYPE_29", "-1", ""},
    // 30
    {"BLOCK_TYPE_30", "-1", ""},
    // 31
    {"BLOCK_TYPE_31", "-1", ""},
    // 32
    {"BLOCK_TYPE_32", "-1", ""},
    // 33
    {"UPD_BLOCK_2010", "1", "UPDdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data %s"},
    // 34
    {"ENV_DICT_BLOCK_2010", "1", "ENV_DICTdata", "ZELDictChannelArray", "Index", " ",
     "Chan. index for %s"},
    // 35
    {"ENV_BLOCK_2010", "1", "DataBlockENV", "ZELENVBlockChannelArray", "Data", " ",
     "Slow data at %s"},
    // 36
    {"BOR_BLOCK_2010", "1", "BORdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data at %s"},
    // 37
    {"EOR_BLOCK_2010", "1", "EORdata", "ZELUPDBlockChannelArray", "Data", " ", "Slow data at %s"},
    // 38
    {"BLOCK_BPM_2010", "2", "BPMdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm",
     "Y at %s"},
    // 39
    {"BLOCK_BPM_Z_2010", "4", "BPMZdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm",
     "Y at %s", "I", " ", "I at %s", "Q", " ", "Q at %s"},
    // 40
    {"BLOCK_BPM_S_2010", "3", "BPMSdata", "ZELFastDeviceArray", "X", "mm", "X at %s", "Y", "mm",
     "Y at %s", "C", " ", "C at %s"},
    // 41
    {"BLOCK_1CHAN_2010", "1", "1ChannelData", "ZELFastDeviceArray", "Float", " ", "Data at %s"},
    // 42
    {"BLOCK_TOROID_2010", "1", "ToroidData", "ZELFastDeviceArray", "Q", "nc", "Charge at %s"},
    // 43
    {"BLOCK_RF_250K_2010", "2", "RFdata", "ZELFastDeviceArray", "I", " ", "I at %s", "Q", " ",
     "Q at %s"},
    // 44
    {"BLOCK_ENERGY_2010", "-1", "Energydata", "", "Energy", " ", "Energy at %s"},
    // 45
    {"BLOCK_2CHAN_2010", "2", "2ChannelData", "ZELFastDeviceArray", "Float0", " ", "Data at %s",
     "Float1", " ", "Data at %s"},
    // 46
    {"BLOCK_WS_2010", "2", "WSdata", "ZELFastDeviceArray", "X", "mm", "X (fast) at %s", "V", " ",
     "V (fast) at %s"},
    // 47
    {"BLOCK_4CHAN_2010", "4", "4ChannelData", "ZELFastDeviceArray", "Float0", " ", "Data at %s",
     "Float1", " ", "Data at %s", "Float2", " ", "Data at %s", "Float3", " ", "Data at %s"},
    // 48
    {"BLOCK_CPLINTL_2010", "4", "CPLIdata", "ZELFastDeviceArray", "PM", " ", "PM at %s", "E-1", " ",
     "E-1 at %s", "E-2", " ", "E-2 at %s", "E-3", " ", "E-3 f at %s"},
    // 49
    {"BLOCK_GUNINTL_2010",
     "8",
     "GUNIdata",
     "ZELFastDeviceArray",
     "VAC_Cav",
     " ",
     "Caviti vacuum at %s",
     "VAC_Cpl",
     " ",
     "Coupler vacuum  at %s",
     "Photomultiplier",
     "",
     "Photomultiplier current at %s",
     "e-det",
     " ",
     "Electron detection at %s",
     "LUWG_Spark",
     " ",
     "F5 at %s",
     "IL_chan13",
     " ",
     "Undefined chanel 13 at %s",
     "IL_chan14",
     " ",
     "Undefined channel 14 at %s",
     "IL_chan15",
     " ",
     "Undefined channel 15 at %s"},
    // 50
    {"BLOCK_MCP_2010", "8",    "MCPdata", "ZELFastDeviceArray", "MCP1", " ",
     "MCP1 at %s",     "MCP2", " ",       "MCP2 at %s",         "MCP3", " ",
     "MCP3 at %s",     "MCP4", " ",       "MCP4 at %s",         "PHD1", " ",
     "PHD1 at %s",     "PHD2", " ",       "PHD2 at %s",         "MCP5", " ",
     "MCP5 at %s",     "MCP6", " ",       "MCP6 at %s"},
    // 51
    {"BLOCK_PHM_2010", "2", "PHMdata", "ZELFastDeviceArray", "I", " ", "I at %s", "Q", " ",
     "Q at %s"},
    // 52
    {"BLOCK_6CHAN_2010",   "6",      "6ChannelData",
     "ZELFastDeviceArray", "Float0", " ",
     "Data at %s",         "Float1", " ",
     "Data at %s",         "Float2", " ",
     "Data at %s",         "Float3", " ",
     "Data at %s",         "Float4", " ",
     "Data at %s",         "Float5", " ",
     "Data at %s"},
    // 53
    {"BLOCK_8CHAN_2010",   "8",      "8ChannelData",
     "ZELFastDeviceArray", "Float0", " ",
     "Data at %s",         "Float1", " ",
     "Data at %s",         "Float2", " ",
     "Data at %s",         "Float3", " ",
     "Data at %s",         "Float4", " ",
     "Data at %s",         "Float5", " ",
     "Data at %s",         "Float6", " ",
     "Data at %s",         "Float7", " ",
     "Data at %s"},
    // 54
    {"BLOCK_TYPE_54_2010", "-1", ""},
    // 55
    {"BLOCK_TYPE_55_2010", "-1", ""},
    // 56
    {"BLOCK_TYPE_56_2010", "-1", ""},
    // 57
    {"BLOCK_TYPE_57_2010", "-1", ""},
    // 58
    {"BLOCK_TYPE_58_2010", "-1", ""},
    // 59
    {"BLOCK_TYPE_59_2010", "-1", ""},
    // 60
    {"BLOCK_3CHAN_2010", "3", "3ChannelData", "ZELFastDeviceArray", "Float0", " ", "Data at %s",
     "Float1", " ", "Data at %s", "Float2", " ", "Data at %s"},
    // 61
    {"BLOCK_5CHAN_2010", "5", "5ChannelData", "ZELFastDeviceArray", "Float0", " ", "Data at %s",
     "Float1", " ", "Data at %s", "Float2", " ", "Data at %s", "Float3", " ", "Data at %s",
     "Float4", " ", "Data at %s"},
    // 62
    {"BLOCK_7CHAN_2010",   "7",      "5ChannelData",
     "ZELFastDeviceArray", "Float0", " ",
     "Data at %s",         "Float1", " ",
     "Data at %s",         "Float2", " ",
     "Data at %s",         "Float3", " ",
     "Data at %s",         "Float4", " ",
     "Data at %s",         "Float5", " ",
     "Data at %s",         "Float6", " ",
     "Data at %s"},
};

}  // extern "C"
