// The search intake: owns a device search (its socket and thread) and the
// thread that starts it, keeps the reports of the maker's cameras, turns
// each into a DEVICE_S_INFO and posts it to the front-end as
// WM_DEVICE_NOTIFY (wParam 0 found, 1 changed, 2 gone).
//
//   auto intake = std::make_unique<CSearchIntake>(sink);
//   intake->Search().SetNetworkAdapter("eth0");   // before Start
//   intake->SetSearchReportObserver(...);          // optional, before Start
//   intake->Start();                               // Initial + SearchStartThread
//   ...
//   intake->Stop();                                // stop thread, then Quit
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "app/MessageSink.h"
#include "app/WindowMessages.h"
#include "discovery/LanProbeSearch.h"
#include "discovery/SearchStartThread.h"
#include "model/DeviceSInfo.h"

// Arguments the program passes to the library.
constexpr int kSearchDatagramsPerPass = 32;
constexpr int kSearchIntervalSeconds = 5;
constexpr uint32_t kNetworkPollMs = 500;

class CSearchIntake {
public:
    // Sees every report that is posted, just before its post, on the
    // search's thread: the kind (the message's wParam) and the
    // record; for DEVICE_NOTIFY_GONE a zero-filled record holding only the
    // MAC text. The upgrade engine uses it to refresh the records of its
    // jobs. It must be quick and must not call into the intake or the
    // library; clearing it (nullptr) waits until a running call has ended.
    using SearchReportObserver = std::function<void(DeviceNotifyKind kind, const DEVICE_S_INFO&)>;

    explicit CSearchIntake(MessageSinkPtr sink);
    ~CSearchIntake();
    CSearchIntake(const CSearchIntake&) = delete;
    CSearchIntake& operator=(const CSearchIntake&) = delete;

    void SetSearchReportObserver(SearchReportObserver observer);

    // The search's Initial with SearchResultCallback and this intake, then
    // SearchStartThread, which waits until `networkAlive` holds and calls
    // the search's StartAuto(5). False if the search refuses.
    bool Start(CSearchStartThread::Check networkAlive, uint32_t pollMs = kNetworkPollMs);
    bool Start();
    // Stops SearchStartThread, then the search's Quit (its thread joined).
    // After it returns nothing is posted any more. Harmless twice.
    void Stop();

    // This intake's search, to configure before Start and to ask (reply
    // port, search now) while it runs; any thread.
    CLanProbeSearch& Search() { return m_search; }

    // What the callback does with one report (any thread).
    void HandleReport(const char* mac, int kind, const char* xml);

private:
    void Post(DeviceNotifyKind kind, std::unique_ptr<DEVICE_S_INFO> info, const char* mac);

    MessageSinkPtr m_sink;
    std::mutex m_observerMutex;
    SearchReportObserver m_observer;
    CLanProbeSearch m_search;
    // Declared after the search: it is stopped before the search goes.
    CSearchStartThread m_startThread;
    bool m_started = false;
};

// The search's callback; `context` is the CSearchIntake.
void SearchResultCallback(const char* mac, int kind, const char* xml, void* context);
