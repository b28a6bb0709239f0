#include "upgrade/UpgradeResult.h"

#include "app/StringTable.h"

namespace {

int StringIdOf(UpgradeResult result) {
    switch (result) {
        case UpgradeResult::Ok:
            return IDS_UPGRADE_SUCCESS;
        case UpgradeResult::Failed:
        case UpgradeResult::DeviceError:
            return IDS_UPGRADE_FAILED;
        case UpgradeResult::OpenFileFailed:
            return IDS_OPEN_FILE_FAILED;
        case UpgradeResult::PackageError:
            return IDS_PACKAGE_ERROR;
        case UpgradeResult::WrongIp:
            return IDS_WRONG_IP;
        case UpgradeResult::WrongPort:
            return IDS_WRONG_PORT;
        case UpgradeResult::VersionUnchanged:
            return IDS_COMPLETE_SAME_VERSION;
        case UpgradeResult::NotSupported:
            return IDS_NOT_SUPPORTED;
        case UpgradeResult::NetworkDisconnected:
            return IDS_NETWORK_DISCONNECTED;
        case UpgradeResult::ConnectFailed:
            return IDS_CONNECT_FAILED;
        case UpgradeResult::BadCredentials:
            return IDS_BAD_CREDENTIALS;
        case UpgradeResult::TooManyConnections:
            return IDS_TOO_MANY_CONNECTIONS;
        case UpgradeResult::SendFailed:
            return IDS_SEND_PACKAGE_FAILED;
        case UpgradeResult::Timeout:
            return IDS_UPGRADE_TIMEOUT;
        case UpgradeResult::MesFail:
            return IDS_MES_FAIL;
        case UpgradeResult::Elsewhere:
            return IDS_UPGRADED_ELSEWHERE;
        case UpgradeResult::AlreadyCurrent:
            return IDS_ALREADY_CURRENT;
        case UpgradeResult::NoPackageForModel:
            return IDS_NO_PACKAGE_FOR_MODEL;
        case UpgradeResult::NotStarted:
            return IDS_ROLLOUT_STOPPED;
        case UpgradeResult::Cancelled:
            return IDS_CANCELLED;
        case UpgradeResult::JournalFailed:
            return IDS_JOURNAL_FAILED;
        case UpgradeResult::LockRefused:
            return IDS_LOCK_REFUSED;
        case UpgradeResult::CanaryFailed:
            return IDS_CANARY_FAILED;
        case UpgradeResult::NotFoundInTime:
            return IDS_NOT_FOUND_IN_TIME;
    }
    return 0;
}

int StringIdOf(UpgradeProgress state) {
    switch (state) {
        case UpgradeProgress::Starting:
            return IDS_UPGRADING_WAIT;
        case UpgradeProgress::WaitUpgradeMode:
            return IDS_WAIT_UPGRADE_MODE;
        case UpgradeProgress::WaitComplete:
            return IDS_WAIT_COMPLETE;
        case UpgradeProgress::Queued:
            return IDS_QUEUED;
        case UpgradeProgress::CanaryWait:
            return IDS_CANARY_WAIT;
        case UpgradeProgress::WaitingToBeFound:
            return IDS_WAITING_TO_BE_FOUND;
    }
    return 0;
}

// The text of a stored or posted number, "" for one that names neither.
std::string TextOfNumber(int number) {
    if (const std::optional<UpgradeResult> result = UpgradeResultOfNumber(number)) {
        return ResultCodeToText(*result);
    }
    if (const std::optional<UpgradeProgress> state = UpgradeProgressOfNumber(number)) {
        return ResultCodeToText(*state);
    }
    return std::string();
}

}  // namespace

std::string ResultCodeToText(UpgradeResult result) {
    return LoadString(StringIdOf(result));
}

std::string ResultCodeToText(UpgradeProgress state) {
    return LoadString(StringIdOf(state));
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

std::string ResultReasonText(UpgradeResult code) {
    int id = 0;
    switch (code) {
        case UpgradeResult::Failed:
        case UpgradeResult::MesFail:
            id = IDS_REASON_FAILED;
            break;
        case UpgradeResult::DeviceError:
            id = IDS_REASON_DEVICE_ERROR;
            break;
        case UpgradeResult::OpenFileFailed:
            id = IDS_REASON_OPEN_FILE;
            break;
        case UpgradeResult::PackageError:
            id = IDS_REASON_PACKAGE;
            break;
        case UpgradeResult::WrongIp:
        case UpgradeResult::WrongPort:
            id = IDS_REASON_ADDRESS;
            break;
        case UpgradeResult::VersionUnchanged:
            id = IDS_REASON_SAME_VERSION;
            break;
        case UpgradeResult::NotSupported:
            id = IDS_REASON_PROTOCOL;
            break;
        case UpgradeResult::NetworkDisconnected:
            id = IDS_REASON_DISCONNECTED;
            break;
        case UpgradeResult::ConnectFailed:
            id = IDS_REASON_CONNECT;
            break;
        case UpgradeResult::BadCredentials:
            id = IDS_REASON_CREDENTIALS;
            break;
        case UpgradeResult::TooManyConnections:
            id = IDS_REASON_CONNECTIONS;
            break;
        case UpgradeResult::SendFailed:
            id = IDS_REASON_SEND;
            break;
        case UpgradeResult::Timeout:
            id = IDS_REASON_TIMEOUT;
            break;
        case UpgradeResult::Elsewhere:
            id = IDS_REASON_ELSEWHERE;
            break;
        case UpgradeResult::NotFoundInTime:
            id = IDS_REASON_NOT_FOUND;
            break;
        default:
            break;
    }
    return id == 0 ? std::string() : LoadString(id);
}

namespace {

void AddWordsOf(int number, ResultWords& words) {
    words.text[number] = TextOfNumber(number);
    const std::optional<UpgradeResult> result = UpgradeResultOfNumber(number);
    words.reason[number] = result ? ResultReasonText(*result) : std::string();
}

// The words of one code only: a view of one camera needs no more.
ResultWords WordsOf(std::optional<UpgradeResult> code) {
    ResultWords words;
    AddWordsOf(NumberOf(code), words);
    words.sentInstalling = LoadString(IDS_SENT_INSTALLING);
    words.notFoundWithin = LoadString(IDS_NOT_FOUND_WITHIN);
    return words;
}

}  // namespace

ResultWords CurrentResultWords() {
    ResultWords words;
    for (int number = -1; number <= NumberOf(UpgradeResult::NotFoundInTime); ++number) {
        AddWordsOf(number, words);
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
