// The analytics version query of the checked cameras: one camera after
// another on a thread of its own, so the caller's thread (the window) stays
// responsive. Each camera's outcome is posted as WM_AI_VERSION_RESULT, in
// the order of the list:
//   20 "MAC#struct_face_vehicle"  the camera answered (any HTTP status);
//   21 "MAC"                      no reply from either address.
// Read the messages with ParseAiVersionResult (AiVersionResult.h).
//
// Start, Cancel, Wait and the destructor belong to the owner's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "app/MessageSink.h"
#include "http/AiQuery.h"
#include "platform/Pub.h"

// One camera: probes ip:dataPort (200 ms) and asks ip when it answers,
// else ip2; then "GetDeviceInfo" on httpPort. Returns the message to post.
CWindowMessage RunAiQuery(const AiQuery& query, const std::atomic<bool>* cancel = nullptr);

class CAiVersionQuery {
public:
    explicit CAiVersionQuery(MessageSinkPtr sink);
    // Cancels a run that is still going and waits for its thread.
    ~CAiVersionQuery();
    CAiVersionQuery(const CAiVersionQuery&) = delete;
    CAiVersionQuery& operator=(const CAiVersionQuery&) = delete;

    // Starts a run over `queries` in their order. False when the list is
    // empty, a run is still going, or the thread cannot be started.
    bool Start(std::vector<AiQuery> queries);
    bool Running() const { return m_busy.load(); }
    // Ends the run soon: the request in flight is abandoned and nothing more
    // is posted.
    void Cancel();
    // Waits up to `timeoutMs` (CPUB_Event::kInfinite: without limit) for the
    // run to end. True when no run is going.
    bool Wait(int timeoutMs);

    static constexpr uint32_t kProbeTimeoutMs = 200;

private:
    void Run(std::vector<AiQuery> queries);
    void JoinThread();

    MessageSinkPtr m_sink;
    PUB_THREAD m_thread;
    std::atomic<bool> m_threadRunning{false};
    std::atomic<bool> m_busy{false};
    std::atomic<bool> m_cancel{false};
    CPUB_Event m_done{true, true};
};
