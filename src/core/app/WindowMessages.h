// The messages that the core posts to a front-end, with the ids and payloads
// of the main window's message table. A payload belongs to the receiver from
// the moment the post succeeds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "model/DeviceSInfo.h"

constexpr uint32_t WM_USER = 0x0400;
constexpr uint32_t WM_DEVICE_NOTIFY = WM_USER + 1002;      // 0x7EA
constexpr uint32_t WM_UPGRADE_RESULT = WM_USER + 1003;     // 0x7EB
constexpr uint32_t WM_UPGRADE_PROGRESS = WM_USER + 1004;   // 0x7EC
constexpr uint32_t WM_AI_VERSION_RESULT = WM_USER + 1005;  // 0x7ED
// Our own additions: the life of a batch, and the answer to a web page
// request, each posted by the run that owns them.
// WM_BATCH_PREPARED: a camera of the starting batch was made reachable;
// wParam counts the cameras prepared so far, the text is the MAC.
constexpr uint32_t WM_BATCH_PREPARED = WM_USER + 1006;  // 0x7EE
// WM_BATCH_END: every job of the batch is finished and its final result was
// posted before this message; wParam is the number of jobs.
constexpr uint32_t WM_BATCH_END = WM_USER + 1007;  // 0x7EF
// WM_WEB_PAGE_READY: the camera's web page address, reachable now (text).
constexpr uint32_t WM_WEB_PAGE_READY = WM_USER + 1008;  // 0x7F0
// WM_REACH_NOTICE: the network cannot be changed to reach a camera (the
// network helper is missing or lacks its capabilities); the text says what
// grants it. Posted once per run of the program.
constexpr uint32_t WM_REACH_NOTICE = WM_USER + 1009;  // 0x7F1
// WM_INVENTORY_NOTICE: the site inventory cannot be used or written (not
// SQLite, locked, a newer schema); the text says which file and why. Posted
// once per session; the run goes on without the inventory.
constexpr uint32_t WM_INVENTORY_NOTICE = WM_USER + 1010;  // 0x7F2
// WM_BATCH_PAUSED: the running batch was paused (wParam 1: no further camera
// starts, running ones finish) or goes on (wParam 0). No payload.
constexpr uint32_t WM_BATCH_PAUSED = WM_USER + 1011;  // 0x7F3
// WM_UPGRADE_STEP: a camera's upgrade path begins a step; wParam is
// PathStepWord(step, steps) (step 1 to steps), the payload the MAC text.
constexpr uint32_t WM_UPGRADE_STEP = WM_USER + 1016;  // 0x7F8
constexpr int32_t PathStepWord(int step, int steps) {
    return step * 256 + steps;
}
constexpr int PathStepOf(int32_t word) {
    return word / 256;
}
constexpr int PathStepsOf(int32_t word) {
    return word % 256;
}

// wParam of WM_DEVICE_NOTIFY.
enum DeviceNotifyKind : int32_t {
    DEVICE_NOTIFY_FOUND = 0,
    DEVICE_NOTIFY_CHANGED = 1,
    DEVICE_NOTIFY_GONE = 2,
};

// wParam of WM_AI_VERSION_RESULT.
constexpr int32_t AI_VERSION_READ = 20;
constexpr int32_t AI_VERSION_FAILED = 21;

// The owned payload of a message:
//  - WM_DEVICE_NOTIFY 0/1: the device record;
//  - WM_DEVICE_NOTIFY 2, WM_UPGRADE_RESULT, WM_UPGRADE_PROGRESS, WM_UPGRADE_STEP: the MAC text;
//  - WM_AI_VERSION_RESULT: "MAC#struct_face_vehicle" (20) or the MAC (21).
using MessagePayload = std::variant<std::monostate, std::unique_ptr<DEVICE_S_INFO>, std::string>;

struct CWindowMessage {
    uint32_t id = 0;
    int32_t wParam = 0;
    MessagePayload payload;

    // The text payload, or "" when the payload is not text.
    const std::string& Text() const;
    // Takes the device record out of the payload (null when there is none).
    std::unique_ptr<DEVICE_S_INFO> TakeDevice();
};

CWindowMessage MakeDeviceMessage(DeviceNotifyKind kind, std::unique_ptr<DEVICE_S_INFO> info);
CWindowMessage MakeTextMessage(uint32_t id, int32_t wParam, std::string text);
