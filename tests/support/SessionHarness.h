// A run of the core against simulated cameras, the way a front-end drives
// it: a fleet on loopback addresses of this test's own, a session with fast
// timings and short time-outs that posts into a queue, and a record of what
// the window would show per camera. Messages are read on the test's thread
// while one of the waits runs.
//
//   CSessionHarness h;
//   auto cam = h.Camera(1);
//   h.Fleet().AddCamera(cam);
//   h.SetSetting(settings::kWaitRebootTimeout, "2");   // before Start
//   ASSERT_TRUE(h.Start());                             // every camera listed
//   h.RunBatch({cam.mac}, h.NewStylePackage("fw.bin"));
//   EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::Ok);
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "SimFleet.h"
#include "app/Logger.h"
#include "app/WindowMessages.h"
#include "session/FirmhandSession.h"
#include "session/SessionEventQueue.h"
#include "support/TestSupport.h"

// A camera's state or final result, as its events carried them.
using CameraCode = std::variant<UpgradeProgress, UpgradeResult>;

// A batch or query event as the front-end received it, told with the id,
// code and text of the message it stands for.
struct SeenMessage {
    uint32_t id = 0;
    int32_t wParam = 0;
    std::string text;
};

// An old-style package: `body` and the 64-byte trailer with the head flag
// and this product type.
std::vector<uint8_t> OldStylePackageBytes(std::vector<uint8_t> body, uint32_t productType);
// A new-style package: the 4-byte magic, then `size` random bytes.
std::vector<uint8_t> NewStylePackageBytes(size_t size);
bool WriteFile(const std::string& path, const std::vector<uint8_t>& data);

// Camera n (0 to 250) of address block `block` (0 to 99) of this test
// process: on 127.P.block.(n+1), its second address on 127.P.(100+block).(n+1)
// (P from the process id keeps test processes apart), with fast flashing
// and reboot.
SimCameraConfig LoopbackCamera(int block, int n);
// The session's waits and pauses shortened as the tests use them, and fast
// search rounds.
void ShortenSessionWaits(SESSION_OPTIONS& options);

class CSessionHarness {
public:
    // Settings and per-user files in a sandbox; short time-outs and fast
    // timings in the options.
    CSessionHarness();
    // Stops the session (joining its threads), then the fleet.
    ~CSessionHarness();
    CSessionHarness(const CSessionHarness&) = delete;
    CSessionHarness& operator=(const CSessionHarness&) = delete;

    // Camera n (0 to 250) on its own loopback address, with a distinct
    // slave address and fast flashing and reboot.
    SimCameraConfig Camera(int n) const;
    CSimFleet& Fleet() { return m_fleet; }
    // Before Start: a setting for this run only.
    void SetSetting(const std::string& key, const std::string& value);
    // Before Start: reachability, client factory, timings.
    SESSION_OPTIONS& Options() { return m_options; }

    // Starts the fleet and the session (searching the fleet's cameras on
    // loopback) and waits until every camera switched on is listed. False, with the
    // failure reported, when any of that did not happen.
    bool Start();
    CFirmhandSession& Session() { return *m_session; }

    const testing_support::CSandbox& Sandbox() const { return m_box; }
    // A new-style package in the sandbox with `size` payload bytes.
    std::string NewStylePackage(const std::string& name, size_t size = 20000);
    std::string WritePackage(const std::string& name, const std::vector<uint8_t>& data);

    // A request for these listed cameras (unknown MACs are left out) with
    // the harness's credentials and no package.
    BatchRequest Request(const std::vector<std::string>& macs) const;
    // A batch of these listed cameras (unknown MACs are left out).
    BatchStartResult StartBatch(const std::vector<std::string>& macs, const std::string& package,
                                bool confirmDuplicates = true);
    BatchStartResult StartBatch(const BatchRequest& request);
    // Reads events until the started batch's end arrived.
    bool WaitForBatchEnd(int timeoutMs = 60000);
    // Starts a batch, waits for its end and checks that every camera's
    // final result came before it.
    void RunBatch(const std::vector<std::string>& macs, const std::string& package);
    // Reads events until `done` holds; false when it did not in time.
    bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000);
    // Reads events until the log holds `count` lines with `fragment`.
    bool WaitForLog(const std::string& fragment, int count = 1, int timeoutMs = 10000);

    // The camera's final result when the last event of it was one, else none.
    std::optional<UpgradeResult> FinalResult(const std::string& mac) const;
    // Every state and final result of the camera, in order.
    std::vector<CameraCode> Results(const std::string& mac) const;
    int Attempts(const std::string& mac) const;  // number of Starting states
    std::vector<int> Progress(const std::string& mac) const;
    // The session's record of the camera, or null.
    DeviceInfoPtr Record(const std::string& mac) const;

    // Batch ends read so far, and the job count of the last one.
    int BatchEnds() const { return m_batchEnds; }
    int LastBatchJobs() const { return m_lastBatchJobs; }
    // Cameras of the last batch whose final result had not arrived when
    // its end did.
    const std::vector<std::string>& UnfinishedAtEnd() const { return m_unfinishedAtEnd; }
    // Batch and query events in the order read (device reports aside).
    const std::vector<SeenMessage>& Messages() const { return m_messages; }
    // Every event in the order read, device reports too.
    const std::vector<SessionEvent>& Events() const { return m_events; }
    // MACs of the "gone" reports that reached the front-end.
    const std::vector<std::string>& GoneReports() const { return m_gone; }

    CLogCapture& Log() { return *m_log; }
    std::string user = "admin";
    std::string password = "739518";
    // As the window does it: the password was typed, and may go to the
    // settings file when no keyring runs.
    bool rememberLogin = true;
    std::vector<std::string> duplicatesAsked;

private:
    void Drain();
    void Handle(SessionEvent& event);

    testing_support::CSandbox m_box;
    testing_support::CScopedEnv m_xdg;
    int m_logLevel;
    std::unique_ptr<CLogCapture> m_log;
    CSimFleet m_fleet;
    SESSION_OPTIONS m_options;
    std::shared_ptr<CSessionEventQueue> m_queue = std::make_shared<CSessionEventQueue>();
    std::unique_ptr<CFirmhandSession> m_session;
    int m_block;

    std::map<std::string, std::vector<CameraCode>> m_results;
    std::map<std::string, std::vector<int>> m_progress;
    std::vector<SeenMessage> m_messages;
    std::vector<SessionEvent> m_events;
    std::vector<std::string> m_gone;
    std::set<std::string> m_batchMacs;
    std::set<std::string> m_finalSeen;
    std::vector<std::string> m_unfinishedAtEnd;
    int m_batchEnds = 0;
    int m_endsAwaited = 0;
    int m_lastBatchJobs = -1;
};
