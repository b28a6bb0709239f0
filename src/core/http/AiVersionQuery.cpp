#include "http/AiVersionQuery.h"

#include "app/Logger.h"
#include "http/AiVersionResult.h"
#include "http/DeviceApi.h"
#include "http/DeviceInfoReply.h"
#include "net/ProbeTcpPort.h"

FH_LOG_SOURCE("AiVersionQuery");

CWindowMessage RunAiQuery(const AiQuery& query, const std::atomic<bool>* cancel) {
    std::string address = query.ip;
    if (!ProbeTcpPort(query.ip, query.dataPort, CAiVersionQuery::kProbeTimeoutMs)) {
        LOG_WARN("CAiVersionQuery::Run", "%s:%d not reachable, trying %s, mac: %s", query.ip,
                 query.dataPort, query.ip2, query.mac);
        address = query.ip2;
    }
    std::string reply;
    if (!SendAndRcvApiGetCmd(address, query.httpPort, "GetDeviceInfo", query.user, query.password,
                             "", &reply, cancel, query.allowBasicAuth)) {
        return MakeAiVersionFailedMessage(query.mac);
    }
    std::string structVersion;
    std::string faceVersion;
    std::string vehicleVersion;
    GetDeviceInfoReply(reply, structVersion, faceVersion, vehicleVersion);
    return MakeAiVersionReadMessage(query.mac, structVersion, faceVersion, vehicleVersion);
}

CAiVersionQuery::CAiVersionQuery(MessageSinkPtr sink) : m_sink(std::move(sink)) {}

CAiVersionQuery::~CAiVersionQuery() {
    Cancel();
    JoinThread();
}

bool CAiVersionQuery::Start(std::vector<AiQuery> queries) {
    if (queries.empty() || m_busy.load()) {
        return false;
    }
    JoinThread();  // the last run's thread has ended; collect it
    m_cancel = false;
    m_busy = true;
    m_done.Reset();
    m_thread = PUB_CreateThread(
        [this, queries = std::move(queries)]() mutable { Run(std::move(queries)); },
        &m_threadRunning);
    if (!m_thread) {
        LOG_ERROR("CAiVersionQuery::Start", "thread not started");
        m_busy = false;
        m_done.Set();
        return false;
    }
    return true;
}

void CAiVersionQuery::Cancel() {
    m_cancel = true;
}

bool CAiVersionQuery::Wait(int timeoutMs) {
    return m_done.Wait(timeoutMs);
}

void CAiVersionQuery::JoinThread() {
    PUB_ExitThread(m_thread, &m_threadRunning);
}

void CAiVersionQuery::Run(std::vector<AiQuery> queries) {
    for (const AiQuery& query : queries) {
        if (m_cancel.load()) {
            break;
        }
        CWindowMessage message = RunAiQuery(query, &m_cancel);
        if (m_cancel.load()) {
            break;
        }
        if (!m_sink || !m_sink->PostMessage(std::move(message))) {
            LOG_WARN("CAiVersionQuery::Run", "receiver gone, run ended, mac: %s", query.mac);
            break;
        }
    }
    m_busy = false;
    m_done.Set();
}
