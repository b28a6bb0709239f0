#include "app/WindowMessages.h"

const std::string& CWindowMessage::Text() const {
    static const std::string empty;
    if (const auto* text = std::get_if<std::string>(&payload)) {
        return *text;
    }
    return empty;
}

std::unique_ptr<DEVICE_S_INFO> CWindowMessage::TakeDevice() {
    if (auto* device = std::get_if<std::unique_ptr<DEVICE_S_INFO>>(&payload)) {
        return std::move(*device);
    }
    return nullptr;
}

CWindowMessage MakeDeviceMessage(DeviceNotifyKind kind, std::unique_ptr<DEVICE_S_INFO> info) {
    CWindowMessage message;
    message.id = WM_DEVICE_NOTIFY;
    message.wParam = kind;
    message.payload = std::move(info);
    return message;
}

CWindowMessage MakeTextMessage(uint32_t id, int32_t wParam, std::string text) {
    CWindowMessage message;
    message.id = id;
    message.wParam = wParam;
    message.payload = std::move(text);
    return message;
}
