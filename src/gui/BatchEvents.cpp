#include "BatchEvents.h"

#include "DeviceListModel.h"
#include "DeviceListRules.h"
#include "LogPane.h"
#include "RowPhase.h"
#include "app/StringTable.h"
#include "model/SafeText.h"
#include "session/SessionTypes.h"

namespace {

QString EventText(int id) {
    return QString::fromStdString(LoadString(id));
}

// A camera's own text as the pane shows it: control characters escaped,
// never sent to the widget raw.
QString Shown(const QString& text) {
    return QString::fromStdString(VisibleText(text.toStdString()));
}

}  // namespace

CBatchEvents::CBatchEvents(CLogPane& pane, const CDeviceListModel& list)
    : m_pane(pane), m_list(list) {}

void CBatchEvents::CameraFound(int row) {
    const QString text =
        EventText(IDS_LOG_CAMERA_FOUND)
            .arg(Shown(m_list.CellText(row, COL_NAME)), Shown(m_list.CellText(row, COL_PRODUCT)),
                 m_list.CellText(row, COL_IP), Shown(m_list.CellText(row, COL_MAC)));
    m_pane.AddEvent(text, m_list.CellText(row, COL_MAC).toStdString());
}

void CBatchEvents::BatchStarted(int cameras) {
    m_started.clear();
    m_pane.AddEvent(cameras == 1 ? EventText(IDS_LOG_BATCH_STARTED_ONE)
                                 : EventText(IDS_LOG_BATCH_STARTED).arg(cameras),
                    std::string());
}

void CBatchEvents::Result(const std::string& mac, UpgradeProgress state) {
    // Later attempts of the same camera are not news to a technician.
    if (state == UpgradeProgress::Starting && m_started.insert(MacKey(mac)).second) {
        const auto [name, address] = Who(mac);
        m_pane.AddEvent(EventText(IDS_LOG_CAMERA_STARTED).arg(name, address), mac);
    }
}

void CBatchEvents::Result(const std::string& mac, UpgradeResult code) {
    QString text = QString::fromStdString(code == UpgradeResult::NotFoundInTime
                                              ? NotFoundWithinText(m_waitText)
                                              : ResultCodeToText(code));
    const std::string reason = ResultReasonText(code);
    if (!reason.empty() && code != UpgradeResult::Ok) {
        // Set apart: not every result ends in a mark ("Not found within 8s").
        text += QStringLiteral(" \u2014 ") + QString::fromStdString(reason);
    }
    const auto [name, address] = Who(mac);
    m_pane.AddEvent(EventText(IDS_LOG_CAMERA_RESULT).arg(name, address, text), mac);
}

void CBatchEvents::BatchEnded(const QString& summary) {
    m_pane.AddEvent(summary, std::string());
}

std::pair<QString, QString> CBatchEvents::Who(const std::string& mac) const {
    // A row gone, or a camera named only by its MAC (typed in, not found
    // yet): its MAC stands for what is missing.
    const QString shown = QString::fromStdString(VisibleText(mac));
    const int row = m_list.FindDeviceItem(mac);
    if (row < 0) {
        return {shown, shown};
    }
    const QString name = Shown(m_list.CellText(row, COL_NAME));
    const QString address = m_list.CellText(row, COL_IP);
    return {name.isEmpty() ? shown : name, address.isEmpty() ? shown : address};
}
