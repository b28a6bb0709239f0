// Carries a session's events to the window thread and emits each as a
// typed signal. The session's threads post into a queue under a lock; the
// first event of an empty queue wakes the window thread with one queued
// call, which emits what is queued, in posting order, for at most
// kSliceTime before it lets other work of the window thread in. Many
// events thus cost one wake-up, as a torrent client pops its alerts.
#pragma once

#include <QObject>
#include <chrono>
#include <memory>
#include <string>

#include "session/SessionEvents.h"

class CSessionEventInbox;

class CSessionEventAdapter : public QObject {
    Q_OBJECT

public:
    // Lives on the thread that makes it (the window's); signals are
    // emitted there.
    explicit CSessionEventAdapter(QObject* parent = nullptr);
    // Later posts fail; events still queued are dropped.
    ~CSessionEventAdapter() override;

    // Where the session posts, from any thread; never waits for the window.
    SessionEventSinkPtr Sink() const;
    // From now on queued and later events are dropped (the window shuts down).
    void Silence();
    // Times the window thread was woken to emit events (tests).
    int Wakeups() const { return m_wakeups; }

signals:
    void DeviceFound(const DeviceRecordPtr& record);
    void DeviceChanged(const DeviceRecordPtr& record);
    void DeviceLost(const std::string& mac);
    void BatchPrepared(const std::string& mac, int prepared);
    // The block being sent minus 1.
    void CameraProgress(const std::string& mac, int progress);
    // A state of a camera's running or waiting job, and its final result.
    void CameraState(const std::string& mac, UpgradeProgress state);
    void CameraResult(const std::string& mac, UpgradeResult code);
    // A camera's upgrade path begins step `step` of `steps` (from 1).
    void CameraStep(const std::string& mac, int step, int steps);
    void BatchPaused(bool paused);
    void BatchEnded(int jobs);
    void AiVersionsRead(const AiVersionResult& result);
    void AiVersionsFailed(const AiVersionResult& result);
    void WebPageReady(const std::string& url);
    void ReachNotice(const std::string& text);
    void InventoryNotice(const std::string& text);

private:
    friend class CSessionEventInbox;
    static constexpr std::chrono::milliseconds kSliceTime{8};
    // The queued call: emits the queued events one by one.
    void Deliver();
    void Emit(const SessionEvent& event);

    std::shared_ptr<CSessionEventInbox> m_inbox;
    bool m_silenced = false;
    int m_wakeups = 0;
};
