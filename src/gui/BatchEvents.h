// The technician's events in the log pane, worded from what the window
// handles: a camera found, a batch and each camera's upgrade started, each
// camera's result and the batch's end. They read in the interface language,
// where the program's own log lines are for developers.
#pragma once

#include <QString>
#include <set>
#include <string>
#include <utility>

#include "model/ResultCode.h"

class CDeviceListModel;
class CLogPane;

class CBatchEvents {
public:
    CBatchEvents(CLogPane& pane, const CDeviceListModel& list);

    void CameraFound(int row);
    void BatchStarted(int cameras);
    // A state or the final result posted for `mac`: the first attempt's
    // start and the final result are events, the rest is progress.
    void Result(const std::string& mac, UpgradeProgress state);
    void Result(const std::string& mac, UpgradeResult code);
    void BatchEnded(const QString& summary);
    // The batch's waiting time for cameras not found, as given ("" none).
    void SetWaitText(const std::string& text) { m_waitText = text; }

private:
    // The name and address of the camera's row (its MAC twice without one).
    std::pair<QString, QString> Who(const std::string& mac) const;

    CLogPane& m_pane;
    const CDeviceListModel& m_list;
    std::set<std::string> m_started;  // MAC keys of the batch's started cameras
    std::string m_waitText;
};
