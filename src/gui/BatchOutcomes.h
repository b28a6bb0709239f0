// The window's record of the last batch, camera by camera, and the files it
// exports: the list (as `firmhand-cli scan --json` prints it, or CSV of the
// shown columns) and the batch's results (as `firmhand-cli upgrade
// --report` writes them). Free of Qt so that the formats can be checked
// alone.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "model/DeviceSInfo.h"

struct CAMERA_OUTCOME {
    std::string mac;
    std::string ip;
    std::string name;
    int code = -1;  // -1 until the final result
    std::string oldVersion;
    std::string newVersion;  // "" unless the camera came back upgraded
    int attempts = 0;
    double seconds = 0;
    std::string startedAt;  // UTC "2026-12-07T21:04:05Z"; "" when never begun
    std::string endedAt;
    bool prepared = false;
    bool openAtCancel = false;  // still without a final result when cancelled
};

// "upgraded", "skipped", "cancelled", "failed" or "not-started", by the
// rules of the CLI's report.
std::string OutcomeStatus(const CAMERA_OUTCOME& outcome);

class CBatchOutcomes {
public:
    using Clock = std::chrono::system_clock;

    // A new batch of these cameras, in list order.
    void Begin(const std::vector<DEVICE_S_INFO>& cameras, std::string package,
               Clock::time_point now);
    void Prepared(const std::string& mac);
    // Any progress or result of the camera; `current` is its record now (the
    // new version of an upgraded camera).
    void Progress(const std::string& mac, Clock::time_point now);
    void Result(const std::string& mac, int code, const DEVICE_S_INFO* current,
                Clock::time_point now);
    void MarkCancelled();

    bool Empty() const { return m_outcomes.empty(); }
    const std::vector<CAMERA_OUTCOME>& Outcomes() const { return m_outcomes; }
    const std::string& Package() const { return m_package; }
    // Seconds from Begin to `now`.
    double Elapsed(Clock::time_point now) const;

private:
    CAMERA_OUTCOME* Find(const std::string& mac);
    void Start(CAMERA_OUTCOME& outcome, Clock::time_point now);

    std::vector<CAMERA_OUTCOME> m_outcomes;
    std::string m_package;
    Clock::time_point m_begin{};
};

// Report file: JSON ({"results": [...]}) unless `path` ends with ".csv".
std::string OutcomeReportText(const std::vector<CAMERA_OUTCOME>& outcomes,
                              const std::string& package, bool csv);
// The list: a JSON array of records, or CSV with one line per camera.
std::string DeviceListText(const std::vector<DEVICE_S_INFO>& devices, bool csv);
// Writes `text` to `path` whole; false when it could not.
bool WriteTextFile(const std::string& path, const std::string& text);
