// One run of the core, the one thing a front-end creates. It owns the
// socket layer's start and stop, the device search and its intake, the
// table of cameras found, reachability, the upgrade engine, the analytics
// query and every thread of the run, and releases them in order.
//
// The front-end renders the events (session/SessionEvents.h) that arrive
// at its sink, each on the session's thread that posts it, and calls the
// session; no call blocks on the network:
//   DeviceFoundEvent, DeviceChangedEvent, DeviceLostEvent (a camera with a
//                         running job is never reported lost)
//   BatchPreparedEvent    a camera of a starting batch was made reachable
//   CameraProgressEvent, CameraStateEvent, CameraResultEvent   per camera
//   BatchPausedEvent      the running batch was paused or goes on
//   BatchEndedEvent       after every final result of the batch
//   AiVersionsReadEvent, AiVersionsFailedEvent   per camera of a query
//   WebPageReadyEvent     the address of a requested web page
//   ReachNoticeEvent      the network cannot be changed (the helper is
//                         missing or lacks its capabilities), once
//   InventoryNoticeEvent  the site inventory cannot be used, once
//
//   CFirmhandSession session(options, sink);
//   session.Start();
//   session.StartBatch(request);   // returns at once
//   ...                            // events arrive at the sink
//   session.Stop();                // or the destructor
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageSink.h"  // the parts of the session post messages
#include "app/SettingsView.h"
#include "http/AiQuery.h"
#include "session/DeviceTable.h"
#include "session/SessionEvents.h"
#include "session/SessionOptions.h"
#include "upgrade/BatchTypes.h"
#include "upgrade/RunJournal.h"

class CSearchIntake;
class CSWL_LinkTimer;
class CUpgradeEngine;
class CAiVersionQuery;
class CSessionSink;
class CInventoryRecorder;

class CFirmhandSession {
public:
    CFirmhandSession(SESSION_OPTIONS options, SessionEventSinkPtr sink);
    // Stop().
    ~CFirmhandSession();
    CFirmhandSession(const CFirmhandSession&) = delete;
    CFirmhandSession& operator=(const CFirmhandSession&) = delete;

    // Starts the socket layer, adds the link-local route (with
    // reachability) and starts the device search. False when the search
    // could not be started (the reason is logged). Once only.
    bool Start();
    // Cancels a running batch and query, joins every thread of the run,
    // stops the search and the socket layer. Nothing is posted after it
    // returns; the last batch's state, journal and outcomes stay readable,
    // a new batch is refused. Harmless twice.
    void Stop();

    // The cameras found so far, in the order first seen.
    std::vector<DeviceInfoPtr> Devices() const { return m_devices.Snapshot(); }
    // The camera of the MAC (any letter case), or null.
    DeviceInfoPtr FindDevice(const std::string& mac) const { return m_devices.Find(mac); }

    // Decides every refusal before anything is changed or contacted; then
    // the batch runs on the session's threads and ends with BatchEndedEvent.
    BatchStartResult StartBatch(const BatchRequest& request);
    // The checks and plan of StartBatch without starting anything (--dry-run).
    BatchStartResult DryRun(const BatchRequest& request, std::vector<CameraPlan>& plans);
    // Where this run's journals are kept.
    std::string RunsFolder() const;
    // The newest run when it did not finish (killed, cancelled, a machine
    // that went down); nullopt when it finished, when there is none, or
    // when it cannot be read (`problem` then says why). A run another
    // process drives is returned marked `running`: shown, never resumed.
    std::optional<RunSummary> UnfinishedRun(std::string* problem = nullptr) const;
    // The records to resume a run with: each camera of the run as found by
    // this search, else as the journal has it.
    std::vector<DeviceInfoPtr> ResumeDevices(const RunSummary& run) const;
    // The journal of the running or last batch, or "" (also after Stop).
    std::string RunJournalPath() const;
    // The file and reason behind the last refusal of StartBatch, or "".
    std::string RefusalDetail() const;
    // Where the batch is on its way (any thread; also after Stop).
    BatchState BatchStateNow() const;
    // The final result of each camera of the last batch that ended, in
    // request order (also after Stop); empty before.
    std::vector<BatchOutcome> LastBatchOutcomes() const;
    // Running or Cancelling.
    bool IsUpgrading() const;
    bool HasJob(const std::string& mac) const;
    // Any thread, also a signal-watching one: every waiting worker wakes at
    // once, every transfer stops at its next block; the batch still ends
    // with BatchEndedEvent. WrongState when no batch starts or runs (also
    // after Stop) or it is being cancelled already.
    BatchCallResult CancelAll();
    // Any thread, also a signal-watching one: true pauses the running batch
    // (no further camera starts, running ones finish), false lets it go on;
    // BatchPausedEvent tells the front-end. WrongState unless the batch is
    // Running (also while it is being cancelled, and after Stop).
    BatchCallResult PauseBatch(bool pause);
    // The running batch is paused.
    bool IsBatchPaused() const;
    // Waits up to `timeoutMs` for the running batch to end (tests, tools).
    bool WaitForBatchEnd(int timeoutMs);
    UpgradePackagePtr Package() const;

    // Asks the cameras for their analytics versions, one after another, off
    // the caller's thread. False when the list is empty or a query runs.
    bool QueryAiVersions(std::vector<AiQuery> queries);
    bool IsAiQueryRunning() const;

    // Makes the camera reachable (when needed) off the caller's thread and
    // posts WebPageReadyEvent with the address of its web page. False when
    // an earlier request is still being handled.
    bool RequestWebPage(const DEVICE_S_INFO& record);

    // Starts the next search round at once (F5); false when no search runs.
    bool SearchNow();
    // The local port of this session's search (its replies); 0 while it
    // does not search.
    int SearchReplyPort() const;

    // Why the site inventory is not written (it was asked for), else "".
    std::string InventoryProblem() const;
    // The site recorded under from now on, in place of
    // SESSION_OPTIONS::inventorySite ("" the adapter's subnet).
    void SetInventorySite(const std::string& site);

    // The settings this run reads (files with this run's overrides).
    const CSettingsView& Settings() const { return m_settings; }
    const SESSION_OPTIONS& Options() const { return m_options; }

private:
    friend class CSessionSink;
    // A search report on the search thread, before the front-end sees it;
    // false drops it.
    bool OnSearchReport(CWindowMessage& message);
    void JoinWebPageThread();

    SESSION_OPTIONS m_options;
    CSettingsView m_settings;
    // Every part's messages pass it on their way to the front-end.
    std::shared_ptr<CSessionSink> m_sink;
    CDeviceTable m_devices;
    std::shared_ptr<CInventoryRecorder> m_inventory;  // null unless asked for
    // The keep-alive turns of every camera link of this session; declared
    // before the engine, whose links it outlives.
    std::unique_ptr<CSWL_LinkTimer> m_linkTimer;
    std::unique_ptr<CUpgradeEngine> m_engine;
    std::unique_ptr<CSearchIntake> m_intake;
    std::unique_ptr<CAiVersionQuery> m_aiQuery;
    std::thread m_webPageThread;
    std::atomic<bool> m_webPageBusy{false};
    std::stop_source m_stop;  // requested once, by Stop
    bool m_socketsStarted = false;
    bool m_started = false;
    bool m_stopped = false;
};
