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
        case UPGRADE_CANARY_FAILED:
            return IDS_CANARY_FAILED;
        case UPGRADE_CANARY_WAIT:
            return IDS_CANARY_WAIT;
        case UPGRADE_WAITING_TO_BE_FOUND:
            return IDS_WAITING_TO_BE_FOUND;
        case UPGRADE_NOT_FOUND_IN_TIME:
            return IDS_NOT_FOUND_IN_TIME;
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

std::string NotFoundWithinText(const std::string& waitText) {
    if (waitText.empty()) {
        return LoadString(IDS_NOT_FOUND_IN_TIME);
    }
    std::string text = LoadString(IDS_NOT_FOUND_WITHIN);
    if (const size_t at = text.find("%s"); at != std::string::npos) {
        text.replace(at, 2, waitText);
    }
    return text;
}

std::string ResultReasonText(int code) {
    int id = 0;
    switch (code) {
        case UPGRADE_FAILED:
        case UPGRADE_MES_FAIL:
            id = IDS_REASON_FAILED;
            break;
        case UPGRADE_DEVICE_ERROR:
            id = IDS_REASON_DEVICE_ERROR;
            break;
        case UPGRADE_OPEN_FILE_FAILED:
            id = IDS_REASON_OPEN_FILE;
            break;
        case UPGRADE_PACKAGE_ERROR:
            id = IDS_REASON_PACKAGE;
            break;
        case UPGRADE_WRONG_IP:
        case UPGRADE_WRONG_PORT:
            id = IDS_REASON_ADDRESS;
            break;
        case UPGRADE_VERSION_UNCHANGED:
            id = IDS_REASON_SAME_VERSION;
            break;
        case UPGRADE_NOT_SUPPORTED:
            id = IDS_REASON_PROTOCOL;
            break;
        case UPGRADE_NETWORK_DISCONNECTED:
            id = IDS_REASON_DISCONNECTED;
            break;
        case UPGRADE_CONNECT_FAILED:
            id = IDS_REASON_CONNECT;
            break;
        case UPGRADE_BAD_CREDENTIALS:
            id = IDS_REASON_CREDENTIALS;
            break;
        case UPGRADE_TOO_MANY_CONNECTIONS:
            id = IDS_REASON_CONNECTIONS;
            break;
        case UPGRADE_SEND_FAILED:
            id = IDS_REASON_SEND;
            break;
        case UPGRADE_TIMEOUT:
            id = IDS_REASON_TIMEOUT;
            break;
        case UPGRADE_ELSEWHERE:
            id = IDS_REASON_ELSEWHERE;
            break;
        case UPGRADE_NOT_FOUND_IN_TIME:
            id = IDS_REASON_NOT_FOUND;
            break;
        default:
            break;
    }
    return id == 0 ? std::string() : LoadString(id);
}

namespace {

void AddWordsOf(int code, ResultWords& words) {
    words.text[code] = ResultCodeToText(code);
    words.reason[code] = ResultReasonText(code);
}

// The words of one code only: a view of one camera needs no more.
ResultWords WordsOf(int code) {
    ResultWords words;
    AddWordsOf(code, words);
    words.sentInstalling = LoadString(IDS_SENT_INSTALLING);
    words.notFoundWithin = LoadString(IDS_NOT_FOUND_WITHIN);
    return words;
}

}  // namespace

ResultWords CurrentResultWords() {
    ResultWords words;
    for (int code = -1; code <= UPGRADE_NOT_FOUND_IN_TIME; ++code) {
        AddWordsOf(code, words);
    }
    words.notFoundWithin = LoadString(IDS_NOT_FOUND_WITHIN);
    words.sentInstalling = LoadString(IDS_SENT_INSTALLING);
    return words;
}

std::string OutcomeText(const CameraOutcome& outcome) {
    return OutcomeText(outcome, WordsOf(outcome.code));
}

std::string OutcomeReason(const CameraOutcome& outcome) {
    return OutcomeReason(outcome, WordsOf(outcome.code));
}
