#include "SessionEventAdapter.h"

#include <chrono>
#include <deque>
#include <mutex>
#include <optional>

// The sink the session holds; it may outlive the adapter, whose end it
// learns under its lock.
class CSessionEventInbox : public ISessionEventSink {
public:
    explicit CSessionEventInbox(CSessionEventAdapter* adapter) : m_adapter(adapter) {}

    bool OnEvent(SessionEvent event) override {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_adapter == nullptr) {
            return false;
        }
        m_events.push_back(std::move(event));
        WakeLocked();
        return true;
    }

    // The window thread: the next event, or nothing when the queue is empty.
    // While events remain one call stays queued, so that a nested event loop
    // of a handler (a modal dialog) goes on emitting them in order.
    std::optional<SessionEvent> Take() {
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_events.empty()) {
            return std::nullopt;
        }
        SessionEvent event = std::move(m_events.front());
        m_events.pop_front();
        if (!m_events.empty()) {
            WakeLocked();
        }
        return event;
    }

    // The window thread, at the start of a queued call: it is no longer queued.
    void Woken() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_wakePending = false;
    }

    void Detach() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_adapter = nullptr;
        m_events.clear();
    }

private:
    // Under the lock, so that the adapter cannot go in between; Qt drops a
    // call still queued for an adapter that is destroyed.
    void WakeLocked() {
        if (!m_wakePending) {
            m_wakePending = true;
            QMetaObject::invokeMethod(m_adapter, &CSessionEventAdapter::Deliver,
                                      Qt::QueuedConnection);
        }
    }

    std::mutex m_mutex;
    CSessionEventAdapter* m_adapter;
    std::deque<SessionEvent> m_events;
    bool m_wakePending = false;
};

CSessionEventAdapter::CSessionEventAdapter(QObject* parent)
    : QObject(parent), m_inbox(std::make_shared<CSessionEventInbox>(this)) {}

CSessionEventAdapter::~CSessionEventAdapter() {
    m_inbox->Detach();
}

SessionEventSinkPtr CSessionEventAdapter::Sink() const {
    return m_inbox;
}

void CSessionEventAdapter::Silence() {
    m_silenced = true;
}

void CSessionEventAdapter::Deliver() {
    ++m_wakeups;
    m_inbox->Woken();
    // A burst (a thousand cameras found at once) is taken in slices, so
    // that repaints and input get their turn; what is left has its call
    // queued already.
    const auto until = std::chrono::steady_clock::now() + kSliceTime;
    while (std::chrono::steady_clock::now() < until) {
        std::optional<SessionEvent> event = m_inbox->Take();
        if (!event) {
            return;
        }
        if (!m_silenced) {
            Emit(*event);
        }
    }
}

void CSessionEventAdapter::Emit(const SessionEvent& event) {
    struct Emitter {
        CSessionEventAdapter* a;
        void operator()(const DeviceFoundEvent& e) const { emit a->DeviceFound(e.record); }
        void operator()(const DeviceChangedEvent& e) const { emit a->DeviceChanged(e.record); }
        void operator()(const DeviceLostEvent& e) const { emit a->DeviceLost(e.mac); }
        void operator()(const BatchPreparedEvent& e) const {
            emit a->BatchPrepared(e.mac, e.prepared);
        }
        void operator()(const CameraProgressEvent& e) const {
            emit a->CameraProgress(e.mac, e.progress);
        }
        void operator()(const CameraStateEvent& e) const { emit a->CameraState(e.mac, e.state); }
        void operator()(const CameraResultEvent& e) const { emit a->CameraResult(e.mac, e.code); }
        void operator()(const CameraStepEvent& e) const {
            emit a->CameraStep(e.mac, e.step, e.steps);
        }
        void operator()(const BatchPausedEvent& e) const { emit a->BatchPaused(e.paused); }
        void operator()(const BatchEndedEvent& e) const { emit a->BatchEnded(e.jobs); }
        void operator()(const AiVersionsReadEvent& e) const { emit a->AiVersionsRead(e.result); }
        void operator()(const AiVersionsFailedEvent& e) const {
            emit a->AiVersionsFailed(e.result);
        }
        void operator()(const WebPageReadyEvent& e) const { emit a->WebPageReady(e.url); }
        void operator()(const ReachNoticeEvent& e) const { emit a->ReachNotice(e.text); }
        void operator()(const InventoryNoticeEvent& e) const { emit a->InventoryNotice(e.text); }
    };
    std::visit(Emitter{this}, event);
}
