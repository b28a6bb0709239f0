#include "ProgressJson.h"

#include <cmath>

#include "ProgressView.h"
#include "ScanCommand.h"
#include "model/JsonText.h"
#include "session/SessionTypes.h"

void CProgressEvents::Write(const JsonValue& event) {
    // One line each, flushed: the reader acts on every event as it comes.
    *m_out << JsonLine(event) << std::endl;
}

void CProgressEvents::Scan(const std::vector<DeviceInfoPtr>& devices) {
    if (m_out == nullptr) {
        return;
    }
    JsonValue found = JsonValue::array();
    for (const DeviceInfoPtr& record : devices) {
        found.push_back(DeviceJsonObject(*record).Value());
    }
    Write({{"event", "scan"}, {"cameras", devices.size()}, {"devices", found}});
}

void CProgressEvents::Update(const std::vector<CameraOutcome>& outcomes, size_t changed) {
    if (m_out == nullptr || changed >= outcomes.size()) {
        return;
    }
    m_written.resize(outcomes.size());
    const CameraOutcome& o = outcomes[changed];
    Written& w = m_written[changed];
    if (!w.waiting && !o.awaitedFor.empty() && !o.code && o.ip.empty()) {
        w.waiting = true;
        Write({{"event", "waiting"}, {"mac", o.mac}, {"text", o.state}});
    }
    if (!w.queued && (o.prepared || o.attempts > 0)) {
        w.queued = true;
        Write({{"event", "queued"}, {"mac", o.mac}, {"ip", o.ip}, {"name", o.name}});
    }
    while (w.attempts < o.attempts) {
        ++w.attempts;
        w.percent = -1;
        Write({{"event", "started"}, {"mac", o.mac}, {"attempt", w.attempts}});
    }
    if (o.code) {
        if (!w.result) {
            w.result = true;
            Write({{"event", "result"},
                   {"mac", o.mac},
                   {"code", NumberOf(*o.code)},
                   {"text", OutcomeText(o)},
                   {"reason", OutcomeReason(o)},
                   {"status", OutcomeStatus(o)},
                   {"attempts", o.attempts},
                   {"seconds", std::round(o.seconds * 10) / 10}});
        }
        return;
    }
    const int percent = ShownPercent(o);
    if (o.attempts > 0 && (percent != w.percent || o.state != w.text)) {
        w.percent = percent;
        w.text = o.state;
        Write({{"event", "progress"}, {"mac", o.mac}, {"percent", percent}, {"text", o.state}});
    }
}

void CProgressEvents::Paused(bool paused) {
    if (m_out != nullptr) {
        Write({{"event", "paused"}, {"paused", paused}});
    }
}

void CProgressEvents::BatchEnd(const std::vector<CameraOutcome>& outcomes) {
    if (m_out == nullptr) {
        return;
    }
    JsonValue counts = {
        {"event", "batch-end"}, {"upgraded", 0},  {"failed", 0},     {"busy", 0},
        {"skipped", 0},         {"cancelled", 0}, {"installing", 0}, {"not-started", 0}};
    for (const CameraOutcome& o : outcomes) {
        counts[OutcomeStatus(o)] = counts[OutcomeStatus(o)].get<int>() + 1;
    }
    Write(counts);
}
