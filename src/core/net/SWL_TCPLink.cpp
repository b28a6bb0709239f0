#include "net/SWL_TCPLink.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "app/Logger.h"

FH_LOG_SOURCE("SWL_TCPLink");

namespace {

std::atomic<uint32_t> g_progressLimitMs{20000};

// One keep-alive head per second, in turns of the links' timer.
constexpr uint32_t kKeepAliveTurns = 1000 / CSWL_LinkTimer::kTurnMs;
constexpr uint32_t kWaitTurnMs = 10;
constexpr size_t kReadChunk = 1u << 20;  // a message's buffer grows by this much
constexpr size_t kDiscardChunk = 64u << 10;
// RecvFragment: a fragment was read and dropped; RecvData goes on waiting.
constexpr int kFragmentDropped = 100;

constexpr uint8_t kMagic[4] = {'1', '1', '1', '1'};

uint32_t ReadLE32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void WriteLE32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Received bytes as log text: printable characters as they are, others as
// \xNN, so that a peer cannot cut or forge a log line.
std::string PrintableBytes(const uint8_t* data, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = data[i];
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

}  // namespace

void CSWL_TCPLink::SetProgressLimitForTest(uint32_t ms) {
    g_progressLimitMs.store(ms);
}

uint32_t CSWL_TCPLink::ProgressLimit() {
    return g_progressLimitMs.load();
}

void CSWL_TCPLink::Slot::Clear() {
    busy = false;
    messageId = 0;
    fragmentCount = 0;
    totalLength = 0;
    received = 0;
    std::vector<uint8_t>().swap(buffer);
}

std::unique_ptr<CSWL_TCPLink> CSWL_TCPLink::Create(SWL_SOCKET sock, CSWL_LinkTimer& timer) {
    if (sock == SWL_INVALID_SOCKET) {
        return nullptr;
    }
    try {
        return std::make_unique<CSWL_TCPLink>(PrivateTag{}, sock, timer);
    } catch (const std::bad_alloc&) {
        SWL_CloseSocketEx(sock);
        return nullptr;
    }
}

CSWL_TCPLink::CSWL_TCPLink(PrivateTag, SWL_SOCKET sock, CSWL_LinkTimer& timer)
    : m_timer(timer), m_socket(sock), m_fd(sock) {}

CSWL_TCPLink::~CSWL_TCPLink() {
    Destroy();
}

int CSWL_TCPLink::Init(LinkCallback callback, void* context) {
    CPUB_LockAction guard(m_threadLock);
    if (m_timed || m_destroyed.load()) {
        return m_timed ? 0 : 1;
    }
    m_callback = callback;
    m_context = context;
    if (!m_wake.Valid() || !m_timer.Add(this)) {
        LOG_WARN("CSWL_TCPLink::Init", "link timer not started %d", errno);
        return 1;
    }
    m_timed = true;
    return 0;
}

int CSWL_TCPLink::SendData(const void* buffer, uint32_t length, const std::atomic<bool>* running) {
    return SendData(buffer, length, nullptr, 0, running);
}

int CSWL_TCPLink::SendData(const void* first, uint32_t firstLength, const void* second,
                           uint32_t secondLength, const std::atomic<bool>* running) {
    if (secondLength > SWL_MAX_MESSAGE_LENGTH ||
        firstLength > SWL_MAX_MESSAGE_LENGTH - secondLength) {
        LOG_WARN("CSWL_TCPLink::SendData", "message too long: %u + %u", firstLength, secondLength);
        return -1;
    }
    CPUB_LockAction guard(m_sendLock);
    if (FlushKeepHead(running) != 0 || SendDataHead(firstLength + secondLength, running) != 0) {
        return -1;
    }
    if (firstLength > 0 && SendBuff(first, firstLength, false, ProgressLimit(), running) != 0) {
        return -1;
    }
    if (secondLength > 0 && SendBuff(second, secondLength, false, ProgressLimit(), running) != 0) {
        return -1;
    }
    return 0;
}

int CSWL_TCPLink::FlushKeepHead(const std::atomic<bool>* running) {
    if (m_keepLeft == 0) {
        return 0;
    }
    const int result = SendBuff(m_keepHead + SWL_DATA_HEAD_SIZE - m_keepLeft, m_keepLeft, false,
                                ProgressLimit(), running);
    if (result == 0) {
        m_keepLeft = 0;
        m_keepStalledSince = 0;
    }
    return result;
}

int CSWL_TCPLink::SendDataHead(uint32_t length, const std::atomic<bool>* running) {
    uint8_t head[SWL_DATA_HEAD_SIZE];
    std::memcpy(head, kMagic, sizeof(kMagic));
    WriteLE32(head + 4, length);
    return SendBuff(head, sizeof(head), false, ProgressLimit(), running);
}

int CSWL_TCPLink::SendKeepInfo() {
    CPUB_LockAction guard(m_sendLock);
    if (FlushKeepHead(nullptr) != 0) {
        return -1;
    }
    return SendDataHead(0, nullptr);
}

CSWL_TCPLink::KeepSend CSWL_TCPLink::TrySendKeepInfo() {
    // A message going out keeps the link alive as well; the head waits a turn.
    if (!m_sendLock.TryLock()) {
        return KeepSend::Later;
    }
    std::lock_guard<CPUB_Lock> guard(m_sendLock, std::adopt_lock);
    if (m_keepLeft == 0) {
        std::memcpy(m_keepHead, kMagic, sizeof(kMagic));
        WriteLE32(m_keepHead + 4, 0);
        m_keepLeft = SWL_DATA_HEAD_SIZE;
    }
    const int sent = SWL_Send(m_fd, m_keepHead + SWL_DATA_HEAD_SIZE - m_keepLeft, m_keepLeft);
    if (sent > 0) {
        m_keepLeft -= static_cast<uint32_t>(sent);
    }
    if (m_keepLeft == 0) {
        m_keepStalledSince = 0;
        return KeepSend::Sent;
    }
    const int error = SWL_GetLastError();
    if (sent == 0 || (sent < 0 && !SWL_IsWouldBlock())) {
        LOG_WARN("CSWL_TCPLink::SendBuff", "send failed %d", error);
        return KeepSend::Failed;
    }
    // The peer takes no more bytes: as long as a blocking send would wait.
    if (m_keepStalledSince == 0) {
        m_keepStalledSince = PUB_GetTickCount();
    } else if (PUB_TicksSince(m_keepStalledSince) >= ProgressLimit()) {
        LOG_WARN("CSWL_TCPLink::SendBuff", "send timeout %d", error);
        return KeepSend::Failed;
    }
    return KeepSend::Later;
}

void CSWL_TCPLink::WaitTurn(bool forReading) {
    // One turn of a polling loop: the socket's readiness or Destroy ends it early.
    if (SWL_SelectOrWake(m_fd, forReading, !forReading, m_wake, static_cast<int>(kWaitTurnMs)) <
        0) {
        PUB_Sleep(0);
    }
}

int CSWL_TCPLink::SendBuff(const void* buffer, size_t length, bool noTimeout, uint32_t timeoutMs,
                           const std::atomic<bool>* running) {
    const auto* next = static_cast<const uint8_t*>(buffer);
    size_t left = length;
    uint32_t start = PUB_GetTickCount();
    while (left > 0) {
        if (m_broken.load()) {
            LOG_WARN("CSWL_TCPLink::SendBuff", "connect is broken");
            return -1;
        }
        if (running != nullptr && !running->load()) {
            return -1;
        }
        const int sent = SWL_Send(m_fd, next, left);
        if (sent > 0) {
            next += sent;
            left -= static_cast<size_t>(sent);
            start = PUB_GetTickCount();
            continue;
        }
        const int error = SWL_GetLastError();
        if (sent == 0) {
            LOG_WARN("CSWL_TCPLink::SendBuff", "send failed %d", error);
            return -1;
        }
        if (!SWL_IsWouldBlock() || m_broken.load()) {
            m_broken.store(true);
            LOG_WARN("CSWL_TCPLink::SendBuff", "send failed %d", error);
            return -1;
        }
        if (!noTimeout && PUB_TicksSince(start) >= timeoutMs) {
            m_broken.store(true);
            LOG_WARN("CSWL_TCPLink::SendBuff", "send timeout %d", error);
            return -1;
        }
        WaitTurn(false);
    }
    return 0;
}

int CSWL_TCPLink::RecvBuff(void* buffer, size_t length, int mode) {
    auto* next = static_cast<uint8_t*>(buffer);
    size_t received = 0;
    uint32_t start = PUB_GetTickCount();
    while (received < length) {
        if (m_broken.load()) {
            LOG_WARN("CSWL_TCPLink::RecvBuff", "connect is broken");
            return SWL_RECV_FAILED;
        }
        const int got = SWL_Recv(m_fd, next + received, length - received);
        if (got > 0) {
            received += static_cast<size_t>(got);
            start = PUB_GetTickCount();
            continue;
        }
        const int error = SWL_GetLastError();
        if (got == 0) {
            LOG_WARN("CSWL_TCPLink::RecvBuff", "recv failed %d", error);
            m_broken.store(true);
            return SWL_RECV_CLOSED;
        }
        if (!SWL_IsWouldBlock() || m_broken.load()) {
            LOG_WARN("CSWL_TCPLink::RecvBuff", "recv failed %d", error);
            m_broken.store(true);
            return SWL_RECV_FAILED;
        }
        if (PUB_TicksSince(start) > ProgressLimit()) {
            LOG_WARN("CSWL_TCPLink::RecvBuff", "recv timeout");
            m_broken.store(true);
            return SWL_RECV_FAILED;
        }
        if (mode == 0 && received == 0) {
            return SWL_RECV_NOTHING;
        }
        WaitTurn(true);
    }
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::RecvRawData(void* buffer, uint32_t length, uint32_t timeoutMs,
                              const std::atomic<bool>* cancel) {
    CPUB_LockAction guard(m_recvLock);
    auto* next = static_cast<uint8_t*>(buffer);
    uint32_t received = 0;
    uint32_t start = PUB_GetTickCount();
    while (received < length) {
        if (m_broken.load()) {
            return SWL_RECV_FAILED;
        }
        if (cancel != nullptr && cancel->load()) {
            LOG_WARN("CSWL_TCPLink::RecvRawData", "recv cancelled");
            return SWL_RECV_FAILED;
        }
        const int got = SWL_Recv(m_fd, next + received, length - received);
        if (got > 0) {
            received += static_cast<uint32_t>(got);
            start = PUB_GetTickCount();
            continue;
        }
        const int error = SWL_GetLastError();
        if (got == 0) {
            LOG_WARN("CSWL_TCPLink::RecvRawData", "recv failed %d", error);
            m_broken.store(true);
            return SWL_RECV_CLOSED;
        }
        if (!SWL_IsWouldBlock()) {
            LOG_WARN("CSWL_TCPLink::RecvRawData", "recv failed %d", error);
            m_broken.store(true);
            return SWL_RECV_FAILED;
        }
        if (PUB_TicksSince(start) >= timeoutMs) {
            LOG_WARN("CSWL_TCPLink::RecvRawData", "recv timeout");
            m_broken.store(true);
            return SWL_RECV_NOTHING;
        }
        WaitTurn(true);
    }
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::RecvDataHead(uint32_t& length) {
    uint8_t head[SWL_DATA_HEAD_SIZE];
    const int result = RecvBuff(head, sizeof(head), 0);
    if (result != SWL_RECV_DONE) {
        return result;
    }
    if (std::memcmp(head, kMagic, sizeof(kMagic)) != 0) {
        LOG_WARN("CSWL_TCPLink::RecvDataHead", "invalid data: %s",
                 PrintableBytes(head, sizeof(head)).c_str());
        return SWL_RECV_FAILED;
    }
    length = ReadLE32(head + 4);
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::InvalidData(const char* what, uint32_t value) {
    LOG_WARN("CSWL_TCPLink::RecvData", "invalid data: %s %u", what, value);
    m_broken.store(true);
    return SWL_RECV_FAILED;
}

int CSWL_TCPLink::RecvInto(std::vector<uint8_t>& buffer, uint32_t length) {
    // The buffer grows with the bytes that actually arrive, so a head that
    // only claims a large length costs nothing.
    size_t offset = buffer.size();
    size_t left = length;
    while (left > 0) {
        const size_t chunk = std::min(left, kReadChunk);
        try {
            buffer.resize(offset + chunk);
        } catch (const std::bad_alloc&) {
            LOG_WARN("CSWL_TCPLink::RecvData", "out of memory, length: %u", length);
            m_broken.store(true);
            return SWL_RECV_FAILED;
        }
        const int result = RecvBuff(buffer.data() + offset, chunk, 1);
        if (result != SWL_RECV_DONE) {
            buffer.resize(offset);
            return result;
        }
        offset += chunk;
        left -= chunk;
    }
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::DiscardBytes(uint32_t length) {
    std::vector<uint8_t> scratch(std::min<size_t>(length, kDiscardChunk));
    size_t left = length;
    while (left > 0) {
        const size_t chunk = std::min(left, scratch.size());
        const int result = RecvBuff(scratch.data(), chunk, 1);
        if (result != SWL_RECV_DONE) {
            return result;
        }
        left -= chunk;
    }
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::RecvFragment(std::vector<uint8_t>& data) {
    uint8_t raw[SWL_FRAGMENT_HEAD_SIZE];
    int result = RecvBuff(raw, sizeof(raw), 1);
    if (result != SWL_RECV_DONE) {
        return result;
    }
    const uint32_t messageId = ReadLE32(raw);
    const uint32_t count = ReadLE32(raw + 4);
    const uint32_t total = ReadLE32(raw + 8);
    const uint32_t index = ReadLE32(raw + 12);
    const uint32_t length = ReadLE32(raw + 16);
    const uint32_t slotIndex = ReadLE32(raw + 20);

    if (total > SWL_MAX_MESSAGE_LENGTH) {
        return InvalidData("total length", total);
    }
    if (length > SWL_MAX_MESSAGE_LENGTH) {
        return InvalidData("fragment length", length);
    }
    const auto dropFragment = [&](const char* why) {
        LOG_WARN("CSWL_TCPLink::RecvData",
                 "fragment dropped (%s), id: %u, index: %u/%u, length: %u, slot: %u", why,
                 messageId, index, count, length, slotIndex);
        const int discarded = DiscardBytes(length);
        return discarded != SWL_RECV_DONE ? discarded : kFragmentDropped;
    };
    if (slotIndex > 1) {
        return dropFragment("no such slot");
    }

    Slot& slot = m_slots[slotIndex];
    if (index == 1) {
        // A first fragment (re)opens the slot; an unfinished message is lost.
        slot.Clear();
        slot.busy = true;
        slot.messageId = messageId;
        slot.fragmentCount = count;
        slot.totalLength = total;
    } else if (!slot.busy || slot.messageId != messageId || slot.totalLength != total ||
               slot.fragmentCount != count) {
        return dropFragment("no open message");
    }
    if (length > slot.totalLength - slot.received) {
        slot.Clear();
        return dropFragment("runs past the message");
    }
    result = RecvInto(slot.buffer, length);
    if (result != SWL_RECV_DONE) {
        return result;
    }
    slot.received += length;
    if (index != slot.fragmentCount) {
        return SWL_RECV_NOTHING;
    }
    // An empty message would reach the receiver as a null pointer, which
    // the callback takes for the loss of the link.
    if (slot.received != slot.totalLength || slot.totalLength == 0) {
        LOG_WARN("CSWL_TCPLink::RecvData",
                 "message dropped, id: %u, received: %u, total length: %u", slot.messageId,
                 slot.received, slot.totalLength);
        slot.Clear();
        return kFragmentDropped;
    }
    data.swap(slot.buffer);
    slot.Clear();
    return SWL_RECV_DONE;
}

int CSWL_TCPLink::RecvData(std::vector<uint8_t>& data, bool wait, uint32_t waitLimitMs) {
    CPUB_LockAction guard(m_recvLock);
    data.clear();
    const uint32_t start = PUB_GetTickCount();
    bool keepWaiting = true;
    int result = SWL_RECV_NOTHING;
    do {
        uint32_t length = 0;
        result = RecvDataHead(length);
        if (result == SWL_RECV_CLOSED || result == SWL_RECV_FAILED) {
            return result;
        }
        if (result == SWL_RECV_NOTHING) {
            if (wait) {
                if (waitLimitMs != 0 && PUB_TicksSince(start) > waitLimitMs) {
                    keepWaiting = false;
                } else {
                    WaitTurn(true);
                }
            }
            continue;
        }
        if (length == 0) {  // keep-alive
            result = SWL_RECV_NOTHING;
            continue;
        }
        if (length != SWL_FRAGMENT_FOLLOWS) {
            if (length > SWL_MAX_MESSAGE_LENGTH) {
                return InvalidData("length", length);
            }
            result = RecvInto(data, length);
            if (result != SWL_RECV_DONE) {
                std::vector<uint8_t>().swap(data);
            }
            return result;
        }
        result = RecvFragment(data);
        if (result == kFragmentDropped) {
            result = SWL_RECV_NOTHING;
            continue;
        }
        return result;
    } while (wait && keepWaiting);
    return result;
}

int CSWL_TCPLink::ReleaseData(std::vector<uint8_t>& data) {
    std::vector<uint8_t>().swap(data);
    return 0;
}

int CSWL_TCPLink::StartAutoRecv() {
    CPUB_LockAction guard(m_threadLock);
    if (m_recvThread) {
        return 1;
    }
    if (m_destroyed.load()) {
        return 2;
    }
    m_recvThread = PUB_CreateThread([this] { RecvAutoThreadRun(); }, &m_recvRunning);
    if (!m_recvThread) {
        LOG_WARN("CSWL_TCPLink::StartAutoRecv", "PUB_CreateThread failed %d", errno);
        return 2;
    }
    return 0;
}

void CSWL_TCPLink::RecvAutoThreadRun() {
    LOG_INFO("CSWL_TCPLink::RecvAutoThreadRun", "start recv");
    std::vector<uint8_t> data;
    while (m_recvRunning.load()) {
        const int result = RecvData(data, false, 0);
        if (result == SWL_RECV_DONE) {
            if (m_callback != nullptr) {
                m_callback(m_context, data.data(), static_cast<int32_t>(data.size()));
            }
            ReleaseData(data);
        } else if (result == SWL_RECV_CLOSED || result == SWL_RECV_FAILED) {
            LOG_WARN("CSWL_TCPLink::RecvAutoThreadRun", "recv data failed %d", result);
            break;
        } else if (SWL_SelectOrWake(m_fd, true, false, m_wake, -1) < 0) {
            // Sleeps until bytes arrive or Destroy wakes it; a failed poll
            // is retried after a short pause.
            PUB_Sleep(kWaitTurnMs);
        }
    }
}

void CSWL_TCPLink::ReportLoss() {
    if (m_callback != nullptr) {
        m_callback(m_context, nullptr, -1);
    }
}

bool CSWL_TCPLink::OnTimerTurn() {
    if (m_destroyed.load()) {
        return false;
    }
    if (m_broken.load()) {
        LOG_WARN("CSWL_TCPLink::SendKeepThreadRun", "connect is broken");
        ReportLoss();  // the last use of this link in the turn
        return false;
    }
    if (++m_keepTurns < kKeepAliveTurns) {
        return true;
    }
    switch (TrySendKeepInfo()) {
        case KeepSend::Sent:
            m_keepTurns = 0;
            return true;
        case KeepSend::Later:
            return true;
        case KeepSend::Failed:
            break;
    }
    LOG_WARN("CSWL_TCPLink::SendKeepThreadRun", "send keep info failed");
    m_broken.store(true);
    ReportLoss();
    return false;
}

void CSWL_TCPLink::Interrupt() {
    std::lock_guard<std::mutex> closing(m_closeMutex);
    if (m_interrupted || !m_socket.Valid()) {
        return;
    }
    m_interrupted = true;
    m_broken.store(true);
    SWL_Shutdown(m_fd, SWL_SHUT_BOTH);
}

int CSWL_TCPLink::Destroy() {
    if (m_destroyed.exchange(true)) {
        return 0;
    }
    // Every loop of the link ends at its next turn once this is set; the
    // receive thread's sleep ends at once.
    m_broken.store(true);
    m_wake.Signal();
    {
        CPUB_LockAction guard(m_threadLock);
        if (m_timed) {
            m_timer.Remove(this);
            m_timed = false;
        }
        PUB_ExitThread(m_recvThread, &m_recvRunning);
    }
    std::lock_guard<std::mutex> closing(m_closeMutex);
    if (m_socket.Valid()) {
        if (!m_interrupted && SWL_Shutdown(m_fd, SWL_SHUT_BOTH) == -1) {
            LOG_WARN("CSWL_TCPLink::Destroy", "SWL_Shutdown failed %d", SWL_GetLastError());
        }
        if (SWL_CloseSocketEx(m_socket.Release()) == -1) {
            LOG_WARN("CSWL_TCPLink::Destroy", "SWL_CloseSocketEx failed %d", SWL_GetLastError());
        }
    }
    CPUB_LockAction guard(m_recvLock);
    m_slots[0].Clear();
    m_slots[1].Clear();
    return 0;
}
