// The main window's control ids: every part of the window names its controls
// by these (object names "ctl<id>"), so that the window finds them by id.
#pragma once

// Control ids of the main window.
enum FirmhandControlId : int {
    IDC_DEVICE_LIST = 1001,
    IDC_SELECT_ALL = 1002,
    IDC_CLEAR_ALL = 1003,
    IDC_CHECK_SAME_TYPE = 1004,
    IDC_PACKAGE_PATH = 1006,
    IDC_BROWSE = 1007,
    IDC_UPGRADE = 1008,
    IDC_BUSY_PICTURE = 1009,
    IDC_BUSY_TEXT = 1011,
    IDC_BATCH_GROUP = 1012,
    IDC_USERNAME = 1013,
    IDC_USERNAME_LABEL = 1014,
    IDC_PASSWORD_LABEL = 1015,
    IDC_PASSWORD = 1016,
    IDC_GET_AI_VERSION = 1019,
    IDC_SHOW_AI = 1022,
    IDC_SHOW_SLAVE_IP = 1024,
    // The desktop window's own controls.
    IDC_FILTER = 1100,
    IDC_ONLY_FAILED = 1101,
    IDC_SHOW_PASSWORD = 1102,
    IDC_REMEMBER_IN_FILE = 1145,
    IDC_LOG_VIEW = 1114,
    // The rollout controls.
    IDC_PACKAGE_LIST = 1115,
    IDC_ADD_MODEL_PACKAGE = 1116,
    IDC_REMOVE_PACKAGE = 1117,
    IDC_CREDENTIALS_PATH = 1118,
    IDC_CREDENTIALS_BROWSE = 1119,
    IDC_FORCE = 1120,
    IDC_MAX_FAILURES = 1121,
    IDC_MAX_FAILURES_LABEL = 1122,
    IDC_RETRY_FAILED = 1123,
    IDC_PACKAGE_LABEL = 1124,
    IDC_ROLLOUT_PANEL = 1125,
    IDC_CANARY = 1126,
    IDC_PAUSE = 1127,
    IDC_CANARY_COUNT = 1128,
    // Cameras the search has not found: added to the list, waited for.
    IDC_ADD_NOT_FOUND = 1129,
    IDC_WAIT_FOR_MISSING = 1130,
    IDC_WAIT_FOR_MISSING_LABEL = 1131,
};

// Longest user name and password the edits take.
constexpr int kCredentialMaxLength = 30;
