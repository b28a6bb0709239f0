#include "CommandSession.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "SignalWatch.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "model/SafeText.h"

CCommandSession::CCommandSession(SESSION_OPTIONS options, std::function<bool()> stopRequested)
    : m_stopRequested(std::move(stopRequested)),
      m_adapter(options.adapter),
      m_targets(options.searchTargets),
      m_session(std::move(options), m_queue) {
    const std::string setting = m_session.Settings().GetString(settings::kSearchTargets);
    if (!setting.empty()) {
        m_targets.insert(m_targets.begin(), setting);
    }
}

void CCommandSession::PumpUntil(const std::function<bool()>& done, int ms, const Handler& handler) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return;
        }
        // Short pops, so that `done` (a stop request) is seen soon.
        if (auto event = m_queue->Pop(static_cast<int>(std::min<long long>(left.count(), 100)))) {
            Hand(*event, handler);
        }
    }
}

void CCommandSession::Drain(const Handler& handler) {
    while (auto event = m_queue->TryPop()) {
        Hand(*event, handler);
    }
}

void CCommandSession::Hand(const SessionEvent& event, const Handler& handler) {
    if (handler) {
        handler(event);
    } else if (const auto* notice = std::get_if<InventoryNoticeEvent>(&event)) {
        // No live view draws yet: the line goes out as it is.
        std::cerr << "firmhand-cli: " << VisibleText(notice->text) << "\n";
    }
}

bool CCommandSession::Search(double seconds) {
    PumpUntil(m_stopRequested, static_cast<int>(seconds * 1000));
    return !m_stopRequested();
}

std::optional<int> CCommandSession::StartAndSearch(double seconds, std::ostream& err) {
    if (!Start()) {
        err << "firmhand-cli: the device search could not be started\n";
        return kSearchNotStartedExitStatus;
    }
    if (!Search(seconds)) {
        err << "firmhand-cli: interrupted\n";
        return kInterruptedExitStatus;
    }
    return std::nullopt;
}

std::string CCommandSession::NothingFoundText(double seconds) const {
    std::string targets;
    for (const std::string& t : m_targets) {
        targets += (targets.empty() ? "" : ", ") + t;
    }
    char searched[32];
    std::snprintf(searched, sizeof(searched), "%g", seconds);
    return "no camera found after searching " + std::string(searched) + " s on " +
           (m_adapter.empty() ? std::string("every adapter") : "adapter " + m_adapter) +
           " with search targets: " + (targets.empty() ? "none" : targets) +
           "; check the cameras' power and cable, --adapter, --target or a longer --seconds";
}

int RefuseBatch(BatchStartResult result, const CFirmhandSession& session, std::ostream& err) {
    if (const int id = BatchStartMessageId(result)) {
        err << LoadString(id) << "\n";
    }
    if (const std::string detail = session.RefusalDetail(); !detail.empty()) {
        err << "firmhand-cli: " << detail << "\n";
    }
    return 2;
}
