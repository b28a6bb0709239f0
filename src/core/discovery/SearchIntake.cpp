#include "discovery/SearchIntake.h"

#include "app/Logger.h"
#include "discovery/NetInterfaces.h"
#include "discovery/SearchReport.h"

FH_LOG_SOURCE("SearchIntake");

namespace {

// The MAC block of a gone report holds at most 19 characters.
constexpr size_t kGoneMacChars = 19;

}  // namespace

void SearchResultCallback(const char* mac, int kind, const char* xml, void* context) {
    if (context != nullptr) {
        static_cast<CSearchIntake*>(context)->HandleReport(mac, kind, xml);
    }
}

CSearchIntake::CSearchIntake(MessageSinkPtr sink) : m_sink(std::move(sink)) {}

CSearchIntake::~CSearchIntake() {
    Stop();
}

void CSearchIntake::SetSearchReportObserver(SearchReportObserver observer) {
    std::lock_guard<std::mutex> guard(m_observerMutex);
    m_observer = std::move(observer);
}

bool CSearchIntake::Start() {
    return Start(IsNetworkAlive, kNetworkPollMs);
}

bool CSearchIntake::Start(CSearchStartThread::Check networkAlive, uint32_t pollMs) {
    if (m_started) {
        LOG_WARN("CSearchIntake::Start", "already started");
        return false;
    }
    if (m_search.Initial(SearchResultCallback, this, kSearchDatagramsPerPass) != 0) {
        LOG_ERROR("CSearchIntake::Start", "device search cannot be initialised");
        return false;
    }
    m_started = true;
    if (!m_startThread.Start(
            std::move(networkAlive), [this] { m_search.StartAuto(kSearchIntervalSeconds); },
            pollMs)) {
        Stop();
        return false;
    }
    return true;
}

void CSearchIntake::Stop() {
    if (!m_started) {
        return;
    }
    m_startThread.Stop();
    m_search.Quit();
    m_started = false;
}

void CSearchIntake::HandleReport(const char* mac, int kind, const char* xml) {
    if (kind != LANPROBE_SEARCH_FOUND && kind != LANPROBE_SEARCH_GONE &&
        kind != LANPROBE_SEARCH_CHANGED) {
        return;
    }
    const std::string macText = mac != nullptr ? mac : "";
    CMarkupSTL doc(xml != nullptr ? xml : "");
    std::string series;
    switch (CheckSearchReport(doc, series)) {
        case ReportCheck::NoRoot:
            LOG_WARN("CSearchIntake::HandleReport", "report without multicastSearchResult, mac: %s",
                     macText.c_str());
            return;
        case ReportCheck::OtherSeries:
            LOG_INFO("CSearchIntake::HandleReport", "series '%s' skipped, mac: %s", series.c_str(),
                     macText.c_str());
            return;
        case ReportCheck::Accepted:
            break;
    }
    if (kind == LANPROBE_SEARCH_GONE) {
        auto info = MakeEmptyDeviceInfo();
        CopyField(info->mac, macText, kGoneMacChars);
        Post(DEVICE_NOTIFY_GONE, std::move(info), mac);
        return;
    }
    Post(kind == LANPROBE_SEARCH_FOUND ? DEVICE_NOTIFY_FOUND : DEVICE_NOTIFY_CHANGED,
         ReadDeviceInfo(doc, macText), mac);
}

void CSearchIntake::Post(DeviceNotifyKind kind, std::unique_ptr<DEVICE_S_INFO> info,
                         const char* mac) {
    {
        std::lock_guard<std::mutex> guard(m_observerMutex);
        if (m_observer) {
            m_observer(kind, *info);
        }
    }
    if (!m_sink) {
        return;
    }
    CWindowMessage message = kind == DEVICE_NOTIFY_GONE
                                 ? MakeTextMessage(WM_DEVICE_NOTIFY, kind, info->mac)
                                 : MakeDeviceMessage(kind, std::move(info));
    if (!m_sink->PostMessage(std::move(message))) {
        LOG_WARN("CSearchIntake::Post", "WM_DEVICE_NOTIFY %d not posted, mac: %s", kind,
                 mac != nullptr ? mac : "");
    }
}
