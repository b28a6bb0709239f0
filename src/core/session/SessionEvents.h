// What a session tells its front-end, as typed events. Each event says
// which of the session's threads posts it; a front-end that renders on a
// thread of its own (the window) moves them there itself. Events of one
// posting thread arrive in the order that thread posted them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "http/AiVersionResult.h"
#include "model/DeviceSInfo.h"
#include "model/ResultCode.h"

using DeviceRecordPtr = std::shared_ptr<const DEVICE_S_INFO>;

// The search found a camera not listed before. Search thread, after the
// session's device table took the record.
struct DeviceFoundEvent {
    DeviceRecordPtr record;
};

// A listed camera answered again, possibly with other fields. Search thread.
struct DeviceChangedEvent {
    DeviceRecordPtr record;
};

// A camera no longer answers the search. Never posted while the camera has
// a job in the running batch. Search thread.
struct DeviceLostEvent {
    std::string mac;
};

// A camera of a starting batch was made reachable and its worker starts;
// `prepared` counts the batch's cameras prepared so far. Batch coordinator.
struct BatchPreparedEvent {
    std::string mac;
    int prepared = 0;
};

// The block being sent minus 1 (0 to 99). The camera's upgrade worker.
struct CameraProgressEvent {
    std::string mac;
    int32_t progress = 0;
};

// A camera's job is on its way: an attempt starts, it waits for upgrade
// mode or for the camera to finish, it waits for a slot, for its model's
// canaries or to be found by the search. The camera's worker, or the
// coordinator for Queued, CanaryWait and WaitingToBeFound.
struct CameraStateEvent {
    std::string mac;
    UpgradeProgress state = UpgradeProgress::Starting;
};

// A camera's final result, posted once per camera and batch before
// BatchEndedEvent. The camera's worker, or the coordinator for a camera
// that gets no worker (skipped, held back, cancelled, no thread).
struct CameraResultEvent {
    std::string mac;
    UpgradeResult code = UpgradeResult::Ok;
};

// A camera's upgrade path begins step `step` of `steps` (from 1), before
// the step's attempts. Only cameras with two steps or more. The camera's
// worker.
struct CameraStepEvent {
    std::string mac;
    int step = 0;
    int steps = 0;
};

// The running batch was paused (no further camera starts, running ones
// finish) or goes on. The thread that called PauseBatch.
struct BatchPausedEvent {
    bool paused = false;
};

// Every job of the batch ended and posted its final result; `jobs` is the
// batch's number of cameras. Batch coordinator.
struct BatchEndedEvent {
    int jobs = 0;
};

// A camera's analytics versions were read (`result.read`, the versions
// and their verdict). Analytics query thread.
struct AiVersionsReadEvent {
    AiVersionResult result;
};

// A camera gave no usable analytics answer (`result.mac`, the verdict).
// Analytics query thread.
struct AiVersionsFailedEvent {
    AiVersionResult result;
};

// The address of a requested web page, reachable now. Web page thread.
struct WebPageReadyEvent {
    std::string url;
};

// The network cannot be changed to reach a camera (the network helper is
// missing or lacks its capabilities); the text says what grants it. Once
// per run of the program. Batch coordinator or web page thread.
struct ReachNoticeEvent {
    std::string text;
};

// The site inventory cannot be used or written; the text says which file
// and why. Once per session, the run goes on without it. Whichever thread
// wrote to the inventory: search thread, a worker, or the caller of
// StartBatch.
struct InventoryNoticeEvent {
    std::string text;
};

using SessionEvent =
    std::variant<DeviceFoundEvent, DeviceChangedEvent, DeviceLostEvent, BatchPreparedEvent,
                 CameraProgressEvent, CameraStateEvent, CameraResultEvent, CameraStepEvent,
                 BatchPausedEvent, BatchEndedEvent, AiVersionsReadEvent, AiVersionsFailedEvent,
                 WebPageReadyEvent, ReachNoticeEvent, InventoryNoticeEvent>;

// Where a session hands its events. OnEvent is called on the posting
// thread named by each event, never under a lock of the receiver's, and
// must not wait for the receiver: queue the event and return.
class ISessionEventSink {
public:
    virtual ~ISessionEventSink() = default;
    // False when the receiver is gone; the event is then dropped.
    virtual bool OnEvent(SessionEvent event) = 0;
};

using SessionEventSinkPtr = std::shared_ptr<ISessionEventSink>;
