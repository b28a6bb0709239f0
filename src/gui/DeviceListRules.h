// The device list's rules that need no widget: the texts a row shows, how
// rows are identified and how they compare when sorted. Kept free of Qt so
// that they can be checked on their own.
#pragma once

// Version text and web address come from the core: model/DeviceText.h.
#include "model/DeviceText.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "model/DeviceSInfo.h"
#include "model/MacAddress.h"      // SameMac, MacKey: rows are found by MacKey
#include "session/SessionTypes.h"  // ResultCodeToText

// Columns of the device list.
enum DeviceColumn : int {
    COL_CHECK = 0,
    COL_INDEX = 1,
    COL_NAME = 2,
    COL_IP = 3,
    COL_SLAVE_IP = 4,
    COL_MAC = 5,
    COL_PRODUCT = 6,
    COL_VERSION = 7,
    COL_BUILD_DATE = 8,
    COL_KERNEL = 9,
    COL_ACTIVE_STATE = 10,
    COL_AI_STRUCT = 11,
    COL_AI_DETECT_FACE = 12,
    COL_AI_VEHICLE = 13,
    COL_AI_MATCH_FACE = 14,
    COL_RESULT = 15,
    COL_COUNT = 16,
};

struct DEVICE_COLUMN_DEF {
    int headingId;  // string id, 0 for no heading
    int width;      // pixels at start; 0 keeps the column hidden
};

// Heading and starting width of each column (the slave-address column's
// width depends on a setting; this is its shown width).
const DEVICE_COLUMN_DEF& DeviceColumnDef(int column);

constexpr int kSlaveIpColumnWidth = 110;
constexpr int kAiColumnWidth = 80;
// Most cameras that one batch may upgrade.
constexpr int kMaxDevicesPerBatch = 32;

// String id of the activation text, or 0 when the value has none (the
// column then keeps whatever it showed).
int ActivationStringId(int32_t deviceActivated);

// The IPv4 value of an address text in host byte order, read the way
// inet_addr reads it (one to four parts, decimal, octal or hex); an
// unreadable text gives 0xFFFFFFFF.
uint32_t Ipv4HostOrder(std::string_view text);

// True for the columns that a header click sorts by.
bool IsSortableColumn(int column);
// Order of two records for a sortable column: negative, 0 or positive.
// `ascending` false gives the reversed order.
int CompareDevicesForSort(int column, const DEVICE_S_INFO& a, const DEVICE_S_INFO& b,
                          bool ascending);

// Progress shown in the result column: "45%".
std::string ProgressText(int32_t progress);
// A camera between its last block and its return, `seconds` after the last
// block: "Installing, waiting for the restart (12 s)".
std::string InstallingText(int seconds);

// The file-dialog filter of the string table ("text|pattern|...||") in the
// form a Qt file dialog takes ("text (pattern);;..."). "*.*" becomes "*" so
// that files without an extension are offered too.
std::string FileDialogFilter(const std::string& tableFilter);
