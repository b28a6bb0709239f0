// The upgrade engine behind the main window's seam. The window has already
// asked its questions (shared slave addresses among them), so the engine is
// not asked again.
#pragma once

#include <memory>

#include "UpgradeController.h"

class CUpgradeEngine;

class CEngineUpgradeController : public IUpgradeController {
public:
    explicit CEngineUpgradeController(std::shared_ptr<CUpgradeEngine> engine);

    int StartBatch(const UPGRADE_BATCH_REQUEST& request) override;
    bool HasJob(const std::string& mac) override;
    bool OnUpgradeResult(int code, const std::string& mac) override;
    void CancelAllJobs() override;
    void OnSearchReport(DeviceNotifyKind kind, const DEVICE_S_INFO& record) override;

    CUpgradeEngine& Engine() { return *m_engine; }

private:
    std::shared_ptr<CUpgradeEngine> m_engine;
};
