// The window's record of the last batch, camera by camera (by the rules of
// CBatchRecord, as the CLI records it), and the files it exports: the list
// (as `firmhand-cli scan --json` prints it, or CSV of the shown columns)
// and the batch's report (as `firmhand-cli upgrade --report` writes it).
// Free of Qt so that the formats can be checked alone.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "model/BatchPackage.h"
#include "model/BatchRecord.h"
#include "model/DeviceSInfo.h"

class CBatchOutcomes {
public:
    using Clock = std::chrono::system_clock;

    // A new batch of these cameras, in list order; each gets its package by
    // its model.
    void Begin(const std::vector<DEVICE_S_INFO>& cameras, const std::vector<BatchPackage>& packages,
               Clock::time_point now);
    // A camera the batch waits to be found, for up to `waitText`: what the
    // list knew of it stands until the search reports it (Found).
    void Awaited(const std::string& mac, const std::string& waitText);
    void Found(const DEVICE_S_INFO& record);
    void Prepared(const std::string& mac, Clock::time_point now);
    // Block `progress` (0 for the first) went out.
    void Progress(const std::string& mac, int progress, Clock::time_point now);
    // A state of the camera's job, or its final result; `current` is its
    // record now (the new version of an upgraded camera).
    void Result(const std::string& mac, UpgradeProgress state, Clock::time_point now);
    void Result(const std::string& mac, UpgradeResult code, const DEVICE_S_INFO* current,
                Clock::time_point now);
    void MarkCancelled();

    bool Empty() const { return m_record.Outcomes().empty(); }
    const std::vector<CameraOutcome>& Outcomes() const { return m_record.Outcomes(); }
    // Seconds from Begin to `now`.
    double Elapsed(Clock::time_point now) const;

private:
    CBatchRecord m_record;
    std::vector<BatchPackage> m_packages;
    std::vector<std::string> m_awaited;  // MAC keys not reported yet
    Clock::time_point m_begin{};
};

// The list: a JSON array of records, or CSV with one line per camera.
std::string DeviceListText(const std::vector<DEVICE_S_INFO>& devices, bool csv);
// Writes `text` to `path` whole; false when it could not.
bool WriteTextFile(const std::string& path, const std::string& text);
