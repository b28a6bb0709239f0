#include "session/MessageEvents.h"

#include "model/ResultCode.h"
#include "upgrade/BatchTypes.h"

namespace {

std::optional<SessionEvent> DeviceEventOf(CWindowMessage& message) {
    if (message.wParam == DEVICE_NOTIFY_GONE) {
        return DeviceLostEvent{message.Text()};
    }
    DeviceRecordPtr record = message.TakeDevice();
    if (!record) {
        return std::nullopt;
    }
    if (message.wParam == DEVICE_NOTIFY_FOUND) {
        return DeviceFoundEvent{std::move(record)};
    }
    if (message.wParam == DEVICE_NOTIFY_CHANGED) {
        return DeviceChangedEvent{std::move(record)};
    }
    return std::nullopt;
}

std::optional<SessionEvent> AiEventOf(const CWindowMessage& message) {
    AiVersionResult result;
    if (!ParseAiVersionResult(message, result)) {
        return std::nullopt;
    }
    if (result.read) {
        return AiVersionsReadEvent{std::move(result)};
    }
    return AiVersionsFailedEvent{std::move(result)};
}

}  // namespace

std::optional<SessionEvent> EventOfMessage(CWindowMessage message) {
    std::string text = message.Text();
    switch (message.id) {
        case WM_DEVICE_NOTIFY:
            return DeviceEventOf(message);
        case WM_BATCH_PREPARED:
            return BatchPreparedEvent{std::move(text), message.wParam};
        case WM_UPGRADE_PROGRESS:
            return CameraProgressEvent{std::move(text), message.wParam};
        case WM_UPGRADE_RESULT:
            if (const auto state = UpgradeProgressOfNumber(message.wParam)) {
                return CameraStateEvent{std::move(text), *state};
            }
            if (const auto result = UpgradeResultOfNumber(message.wParam)) {
                return CameraResultEvent{std::move(text), *result};
            }
            return std::nullopt;
        case WM_UPGRADE_STEP:
            return CameraStepEvent{std::move(text), PathStepOf(message.wParam),
                                   PathStepsOf(message.wParam)};
        case WM_BATCH_PAUSED:
            return BatchPausedEvent{message.wParam == BATCH_PAUSED};
        case WM_BATCH_END:
            return BatchEndedEvent{message.wParam};
        case WM_AI_VERSION_RESULT:
            return AiEventOf(message);
        case WM_WEB_PAGE_READY:
            return WebPageReadyEvent{std::move(text)};
        case WM_REACH_NOTICE:
            return ReachNoticeEvent{std::move(text)};
        case WM_INVENTORY_NOTICE:
            return InventoryNoticeEvent{std::move(text)};
        default:
            return std::nullopt;
    }
}
