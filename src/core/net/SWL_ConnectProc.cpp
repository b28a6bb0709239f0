#include "net/SWL_ConnectProc.h"

#include <algorithm>
#include <cstring>

#include "app/Logger.h"

FH_LOG_SOURCE("SWL_ConnectProc");

namespace {
constexpr int kStepMs = 1000;
}

std::unique_ptr<CSWL_ConnectProc> CSWL_ConnectProc::Create(const char* serverIp,
                                                           uint16_t serverPort) {
    SWL_IPV4_ADDRESS address;
    if (serverIp == nullptr || std::strlen(serverIp) > 15 ||
        !SWL_MakeAddress(serverIp, serverPort, address)) {
        LOG_WARN("CSWL_ConnectProc::Create", "invalid address: %.32s",
                 serverIp == nullptr ? "(null)" : serverIp);
        return nullptr;
    }
    return std::make_unique<CSWL_ConnectProc>(PrivateTag{}, serverIp, address, serverPort);
}

CSWL_ConnectProc::CSWL_ConnectProc(PrivateTag, const char* serverIp,
                                   const SWL_IPV4_ADDRESS& address, uint16_t port)
    : m_serverAddress(address), m_serverPort(port) {
    std::strncpy(m_serverIp, serverIp, sizeof(m_serverIp) - 1);
}

CSWL_ConnectProc::~CSWL_ConnectProc() {
    m_stop.store(true);
    CPUB_LockAction guard(m_connectLock);
    m_socket.Reset();
}

SWL_SOCKET CSWL_ConnectProc::GetSocket() const {
    CPUB_LockAction guard(m_connectLock);
    return m_socket.Get();
}

std::vector<int> CSWL_ConnectProc::LastWaitSteps() const {
    CPUB_LockAction guard(m_connectLock);
    return m_lastSteps;
}

std::vector<int> CSWL_ConnectProc::WaitSteps(int timeoutMs) {
    if (timeoutMs < 0) {
        timeoutMs = 0;
    }
    const int rest = timeoutMs % kStepMs;
    const int count = timeoutMs / kStepMs + (rest != 0 ? 1 : 0);
    std::vector<int> steps;
    // A time-out of 0 still waits one whole step.
    for (int i = 1; i == 1 || i <= count; ++i) {
        steps.push_back(i == count && rest != 0 ? rest : kStepMs);
    }
    return steps;
}

bool CSWL_ConnectProc::Cancelled() const {
    return m_cancel != nullptr && m_cancel->load();
}

int CSWL_ConnectProc::WaitWritable(SWL_SOCKET sock, int waitMs) const {
    if (m_cancel == nullptr) {
        return SWL_Select(sock, false, true, waitMs);
    }
    const uint32_t start = PUB_GetTickCount();
    for (;;) {
        const uint32_t spent = PUB_TicksSince(start);
        if (spent >= static_cast<uint32_t>(waitMs) || Cancelled()) {
            return 0;
        }
        const uint32_t slice = std::min(static_cast<uint32_t>(waitMs) - spent, kCancelSliceMs);
        const int result = SWL_Select(sock, false, true, static_cast<int>(slice));
        if (result != 0) {
            return result;
        }
    }
}

SWL_SOCKET CSWL_ConnectProc::ConnectSynEx(int timeoutMs) {
    CPUB_LockAction guard(m_connectLock);
    m_lastSteps.clear();

    if (!m_socket.Valid()) {
        m_socket.Reset(SWL_CreateSocket(SWL_AF_INET, SWL_SOCK_STREAM, 0));
        if (!m_socket.Valid()) {
            const int error = SWL_GetLastError();
            m_lastError.store(error);
            LOG_WARN("CSWL_ConnectProc::ConnectSynEx", "SWL_CreateSocket failed %d", error);
            return SWL_INVALID_SOCKET;
        }
    }
    const SWL_SOCKET sock = m_socket.Get();

    // Start the connect; a refusal may already show here.
    int failedError = 0;
    if (SWL_ConnectEx(sock, m_serverAddress.Get(), SWL_IPV4_ADDRESS::kLength, 0) != 0) {
        if (!SWL_IsConnectInProgress()) {
            failedError = SWL_GetLastError();
        }
    }

    // Wait in steps. A connect that failed (refused, unreachable) is never
    // handed out; its steps are slept through so that it ends, like an
    // unanswered one, after the full time-out.
    const std::vector<int> steps = WaitSteps(timeoutMs);
    int waitResult = 0;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (i > 0 && (waitResult != 0 || m_stop.load())) {
            break;
        }
        const int w = steps[i];
        m_lastSteps.push_back(w);
        const uint32_t start = PUB_GetTickCount();
        if (failedError == 0) {
            waitResult = WaitWritable(sock, w);
            if (waitResult <= 0) {
                if (Cancelled()) {
                    break;
                }
                continue;
            }
            const int error = SWL_GetConnectError(sock);
            if (error == 0) {
                break;
            }
            failedError = error;
        }
        waitResult = 0;
        // The rest of the step, in slices while a cancel flag is given.
        for (uint32_t spent = PUB_TicksSince(start);
             spent < static_cast<uint32_t>(w) && !Cancelled(); spent = PUB_TicksSince(start)) {
            const uint32_t rest = static_cast<uint32_t>(w) - spent;
            PUB_Sleep(m_cancel != nullptr ? std::min(rest, kCancelSliceMs) : rest);
        }
        if (Cancelled()) {
            break;
        }
    }

    if (waitResult <= 0) {
        const int error = failedError != 0 ? failedError : SWL_GetLastError();
        m_lastError.store(error);
        LOG_WARN("CSWL_ConnectProc::ConnectSynEx", "connect failed %d, %d, timeout: %d", waitResult,
                 error, timeoutMs);
        SWL_SetLastError(error);
        return SWL_INVALID_SOCKET;
    }
    m_lastError.store(0);
    return m_socket.Release();
}
