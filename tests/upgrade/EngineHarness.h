// Runs the upgrade engine against simulated cameras the way a front-end
// does: the search posts into a queue, the harness hands each message to the
// engine and keeps what the window would show.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "SimFleet.h"
#include "app/Logger.h"
#include "app/MessageQueue.h"
#include "discovery/SearchIntake.h"
#include "support/TestSupport.h"
#include "upgrade/UpgradeEngine.h"

class CEngineHarness {
public:
    // Fast timings and short time-outs; settings live in a sandbox.
    CEngineHarness();
    ~CEngineHarness();

    // A camera on its own loopback address with a distinct slave address.
    SimCameraConfig Camera(int n) const;
    CSimFleet& Fleet() { return m_fleet; }
    void SetSetting(const std::string& key, const std::string& value);

    // Starts the fleet and the search; waits until every camera is listed.
    void Start();
    // A package file in the sandbox: new style with `size` payload bytes.
    std::string NewStylePackage(const std::string& name, size_t size = 20000);
    std::string WritePackage(const std::string& name, const std::vector<uint8_t>& data);

    BatchStartResult StartBatch(const std::vector<std::string>& macs, const std::string& package,
                                bool confirmDuplicates = true);
    // Pumps messages until the batch ends (false when it did not within the limit).
    bool WaitForBatchEnd(int timeoutMs = 60000);
    // Starts a batch of these cameras and waits for its end.
    void RunBatch(const std::vector<std::string>& macs, const std::string& package);
    void Pump(int ms);

    int FinalResult(const std::string& mac) const;
    // Every WM_UPGRADE_RESULT code of the camera, in order.
    std::vector<int> Results(const std::string& mac) const;
    int Attempts(const std::string& mac) const;  // number of code-16 posts
    std::vector<int> Progress(const std::string& mac) const;
    DeviceInfoPtr Record(const std::string& mac) const;

    CUpgradeEngine& Engine() { return *m_engine; }
    CLogCapture& Log() { return *m_log; }
    std::string password = "admin123";
    std::vector<std::string> duplicatesAsked;

private:
    void Handle(CWindowMessage& message);

    testing_support::CSandbox m_box;
    std::unique_ptr<testing_support::CScopedEnv> m_xdg;
    CSimFleet m_fleet;
    std::shared_ptr<CMessageQueue> m_queue = std::make_shared<CMessageQueue>();
    std::unique_ptr<CSearchIntake> m_intake;
    std::unique_ptr<CUpgradeEngine> m_engine;
    std::unique_ptr<CLogCapture> m_log;
    std::map<std::string, DeviceInfoPtr> m_records;
    std::map<std::string, std::vector<int>> m_results;
    std::map<std::string, std::vector<int>> m_progress;
    bool m_batchOver = false;
    int m_base;
};
