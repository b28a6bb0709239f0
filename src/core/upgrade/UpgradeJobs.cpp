#include "upgrade/UpgradeJobs.h"

#include "app/WindowMessages.h"
#include "model/MacAddress.h"

DeviceInfoPtr UpgradeInfo::Device() const {
    CPUB_LockAction guard(deviceLock);
    return device;
}

void UpgradeInfo::ReplaceDevice(DeviceInfoPtr record) {
    CPUB_LockAction guard(deviceLock);
    device = std::move(record);
}

std::shared_ptr<CPUB_Event> UpgradeInfo::DeviceEvent() const {
    CPUB_LockAction guard(eventLock);
    return deviceEvent;
}

void UpgradeInfo::SetDeviceEvent(std::shared_ptr<CPUB_Event> event) {
    CPUB_LockAction guard(eventLock);
    deviceEvent = std::move(event);
}

void UpgradeInfo::Cancel() {
    cancelled.store(true);
    m_stopEvent.Set();
    m_stop.request_stop();
    if (const auto event = DeviceEvent()) {
        event->Set();
    }
}

bool UpgradeInfo::PauseUnlessCancelled(uint32_t ms) {
    if (cancelled.load()) {
        return false;
    }
    return !m_stopEvent.Wait(static_cast<int>(ms));
}

bool CUpgradeJobTable::addJob(const UpgradeInfoPtr& job) {
    if (!job) {
        return false;
    }
    const DeviceInfoPtr record = job->Device();
    if (!record) {
        return false;
    }
    CPUB_LockAction guard(jobsLock);
    upgradeJobs[MacKey(record->mac)] = job;
    return true;
}

UpgradeInfoPtr CUpgradeJobTable::findJob(const std::string& mac) const {
    CPUB_LockAction guard(jobsLock);
    const auto it = upgradeJobs.find(MacKey(mac));
    return it == upgradeJobs.end() ? nullptr : it->second;
}

size_t CUpgradeJobTable::jobCount() const {
    CPUB_LockAction guard(jobsLock);
    return upgradeJobs.size();
}

bool CUpgradeJobTable::forEachJob(
    const std::function<bool(const UpgradeInfoPtr&)>& predicate) const {
    if (!predicate) {
        return false;
    }
    CPUB_LockAction guard(jobsLock);
    for (const auto& entry : upgradeJobs) {
        const UpgradeInfoPtr job = entry.second;
        if (!predicate(job)) {
            break;
        }
    }
    return true;
}

void CUpgradeJobTable::cancelAllJobs() {
    CPUB_LockAction guard(jobsLock);
    for (const auto& entry : upgradeJobs) {
        entry.second->Cancel();
    }
    upgradeJobs.clear();
}

void CUpgradeJobTable::OnSearchReport(int notifyKind, const DEVICE_S_INFO& record) {
    if (notifyKind != DEVICE_NOTIFY_FOUND && notifyKind != DEVICE_NOTIFY_CHANGED) {
        return;
    }
    const UpgradeInfoPtr job = findJob(record.mac);
    if (!job) {
        return;
    }
    job->ReplaceDevice(std::make_shared<DEVICE_S_INFO>(record));
    if (notifyKind == DEVICE_NOTIFY_FOUND && job->waitingForDevice.load()) {
        if (const auto event = job->DeviceEvent()) {
            event->Set();
        }
    }
}

bool CUpgradeJobTable::AllJobsFinished() const {
    bool allFinished = true;
    forEachJob([&allFinished](const UpgradeInfoPtr& job) {
        if (!job->finished.load()) {
            allFinished = false;
            return false;
        }
        return true;
    });
    return allFinished;
}
