#include "model/CameraOutcome.h"

namespace {

const std::string& WordOf(const std::map<int, std::string>& words,
                          std::optional<UpgradeResult> code) {
    static const std::string none;
    const auto found = words.find(NumberOf(code));
    return found == words.end() ? none : found->second;
}

}  // namespace

std::string OutcomeStatus(const CameraOutcome& o) {
    if (o.code == UpgradeResult::Ok) {
        return "upgraded";
    }
    // Its last block went out before the cancel: it installs on its own,
    // and a resumed run verifies it.
    if (o.lastBlockSeconds >= 0 && (o.code == UpgradeResult::Cancelled || o.openAtCancel)) {
        return "installing";
    }
    if (o.code && IsSkippedResult(*o.code)) {
        return "skipped";
    }
    if (o.code == UpgradeResult::NotStarted || o.code == UpgradeResult::CanaryFailed) {
        return "not-started";
    }
    if (o.code == UpgradeResult::Elsewhere) {
        return "busy";
    }
    const bool begun = o.prepared || o.attempts > 0;
    if (o.code == UpgradeResult::Cancelled || (o.openAtCancel && begun)) {
        return begun ? "cancelled" : "not-started";
    }
    if (o.code || o.attempts > 0) {
        return "failed";
    }
    return "not-started";
}

std::string OutcomeText(const CameraOutcome& o, const ResultWords& words) {
    if (OutcomeStatus(o) == "installing") {
        return words.sentInstalling;
    }
    if (o.code == UpgradeResult::NotFoundInTime && !o.awaitedFor.empty()) {
        std::string text = words.notFoundWithin;
        if (const size_t at = text.find("%s"); at != std::string::npos) {
            return text.replace(at, 2, o.awaitedFor);
        }
    }
    return WordOf(words.text, o.code);
}

std::string OutcomeReason(const CameraOutcome& o, const ResultWords& words) {
    const std::string status = OutcomeStatus(o);
    return status == "failed" || status == "busy" ? WordOf(words.reason, o.code) : std::string();
}

std::string OutcomeStepText(const OutcomeStep& step, const ResultWords& words) {
    // A step the camera did not come back from has no version to point at.
    const std::string versions =
        step.toVersion.empty() ? step.fromVersion : step.fromVersion + " -> " + step.toVersion;
    return step.package + " " + versions + " " +
           (!step.code ? std::string("open") : WordOf(words.text, step.code)) + " (" +
           std::to_string(step.attempts) + (step.attempts == 1 ? " attempt)" : " attempts)");
}

std::string OutcomeStepsText(const CameraOutcome& o, const ResultWords& words) {
    std::string text;
    for (const OutcomeStep& step : o.steps) {
        if (!text.empty()) {
            text += "; ";
        }
        text += OutcomeStepText(step, words);
    }
    return text;
}
