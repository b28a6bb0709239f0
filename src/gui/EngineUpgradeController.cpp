#include "EngineUpgradeController.h"

#include "app/Logger.h"
#include "upgrade/UpgradeEngine.h"

FH_LOG_SOURCE("EngineUpgradeController");

CEngineUpgradeController::CEngineUpgradeController(std::shared_ptr<CUpgradeEngine> engine)
    : m_engine(std::move(engine)) {}

int CEngineUpgradeController::StartBatch(const UPGRADE_BATCH_REQUEST& request) {
    BatchRequest batch;
    batch.devices.reserve(request.devices.size());
    for (const DEVICE_S_INFO& info : request.devices) {
        batch.devices.push_back(std::make_shared<DEVICE_S_INFO>(info));
    }
    batch.packagePath = request.packagePath;
    batch.user = request.userName;
    batch.password = request.password;
    const BatchStartResult result = m_engine->StartBatch(batch);
    if (result == BatchStartResult::Started) {
        return 0;
    }
    const int messageId = BatchStartMessageId(result);
    if (messageId == 0) {
        // Only a declined question gives no message, and none was asked.
        LOG_WARN("CEngineUpgradeController::StartBatch", "batch not started (%d)",
                 static_cast<int>(result));
    }
    return messageId != 0 ? messageId : -1;
}

bool CEngineUpgradeController::HasJob(const std::string& mac) {
    return m_engine->HasJob(mac);
}

bool CEngineUpgradeController::OnUpgradeResult(int code, const std::string& mac) {
    return m_engine->OnUpgradeResult(code, mac);
}

void CEngineUpgradeController::CancelAllJobs() {
    m_engine->CancelAll();
}

void CEngineUpgradeController::OnSearchReport(DeviceNotifyKind kind, const DEVICE_S_INFO& record) {
    m_engine->OnSearchReport(kind, record);
}
