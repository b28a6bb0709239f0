#include "upgrade/UpgradeResult.h"

#include "app/StringTable.h"

namespace {

int StringIdOf(int code) {
    switch (code) {
        case 0:
            return IDS_UPGRADE_SUCCESS;
        case 1:
        case 2:
            return IDS_UPGRADE_FAILED;
        case 3:
            return IDS_OPEN_FILE_FAILED;
        case 4:
            return IDS_PACKAGE_ERROR;
        case 5:
            return IDS_WRONG_IP;
        case 6:
            return IDS_WRONG_PORT;
        case 7:
            return IDS_COMPLETE_SAME_VERSION;
        case 8:
            return IDS_NOT_SUPPORTED;
        case 9:
            return IDS_NETWORK_DISCONNECTED;
        case 10:
            return IDS_CONNECT_FAILED;
        case 11:
            return IDS_BAD_CREDENTIALS;
        case 12:
            return IDS_TOO_MANY_CONNECTIONS;
        case 15:
            return IDS_SEND_PACKAGE_FAILED;
        case 16:
            return IDS_UPGRADING_WAIT;
        case 17:
            return IDS_WAIT_UPGRADE_MODE;
        case 18:
            return IDS_WAIT_COMPLETE;
        case 19:
            return IDS_UPGRADE_TIMEOUT;
        case 22:
            return IDS_MES_FAIL;
        case UPGRADE_ELSEWHERE:
            return IDS_UPGRADED_ELSEWHERE;
        case UPGRADE_QUEUED:
            return IDS_QUEUED;
        case UPGRADE_ALREADY_CURRENT:
            return IDS_ALREADY_CURRENT;
        case UPGRADE_NO_PACKAGE_FOR_MODEL:
            return IDS_NO_PACKAGE_FOR_MODEL;
        case UPGRADE_NOT_STARTED:
            return IDS_ROLLOUT_STOPPED;
        case UPGRADE_CANCELLED:
            return IDS_CANCELLED;
        case UPGRADE_JOURNAL_FAILED:
            return IDS_JOURNAL_FAILED;
        case UPGRADE_LOCK_REFUSED:
            return IDS_LOCK_REFUSED;
        default:
            return 0;
    }
}

}  // namespace

bool ResultCodeToText(int code, std::string& text) {
    const int id = StringIdOf(code);
    text = id == 0 ? std::string() : LoadString(id);
    return id != 0;
}

std::string ResultCodeToText(int code) {
    std::string text;
    ResultCodeToText(code, text);
    return text;
}
