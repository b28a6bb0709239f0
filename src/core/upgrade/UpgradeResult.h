// Result codes of one camera's upgrade and the texts the list shows for them.
#pragma once

#include <string>

enum UpgradeResultCode : int {
    UPGRADE_OK = 0,            // new version came back
    UPGRADE_FAILED = 1,        // failure without a more specific cause
    UPGRADE_DEVICE_ERROR = 2,  // the camera reported an upgrade error
    UPGRADE_OPEN_FILE_FAILED = 3,
    UPGRADE_PACKAGE_ERROR = 4,  // package rejected for this camera
    UPGRADE_WRONG_IP = 5,
    UPGRADE_WRONG_PORT = 6,
    UPGRADE_VERSION_UNCHANGED = 7,  // rebooted, version did not change
    UPGRADE_NOT_SUPPORTED = 8,      // protocol version not supported
    UPGRADE_NETWORK_DISCONNECTED = 9,
    UPGRADE_CONNECT_FAILED = 10,
    UPGRADE_BAD_CREDENTIALS = 11,
    UPGRADE_TOO_MANY_CONNECTIONS = 12,
    UPGRADE_LOGIN_SET_MODE = 13,    // internal: next attempt with upgrade mode set
    UPGRADE_LOGIN_CLEAR_MODE = 14,  // internal: next attempt with upgrade mode cleared
    UPGRADE_SEND_FAILED = 15,
    UPGRADE_STATE_STARTING = 16,     // progress state: an attempt starts
    UPGRADE_WAIT_UPGRADE_MODE = 17,  // restart into upgrade mode first
    UPGRADE_WAIT_COMPLETE = 18,      // all blocks acknowledged, camera finishing
    UPGRADE_TIMEOUT = 19,
    UPGRADE_MES_FAIL = 22,
    UPGRADE_ELSEWHERE = 23,  // another process upgrades this camera right now
};

// True for the codes a worker posts while it still runs (16, 17, 18).
inline bool IsIntermediateResult(int code) {
    return code == UPGRADE_STATE_STARTING || code == UPGRADE_WAIT_UPGRADE_MODE ||
           code == UPGRADE_WAIT_COMPLETE;
}

// The list text of a result code in the interface language. False (and an
// empty text) for codes without a text: 13, 14, 20, 21 and above 22.
bool ResultCodeToText(int code, std::string& text);
std::string ResultCodeToText(int code);
