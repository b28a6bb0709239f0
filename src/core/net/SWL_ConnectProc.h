// One TCP connection attempt to a device, with a time-out.
//
//   auto proc = CSWL_ConnectProc::Create("192.0.2.7", 9008);
//   SWL_SOCKET sock = proc->ConnectSynEx(5000);  // the caller owns it now
//   proc.reset();                                // Destroy
//
// A refused connect is a failure only after the full time-out, like a
// connect that gets no answer: callers pace their retries by it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/SWL_Socket.h"
#include "platform/Pub.h"

class CSWL_ConnectProc {
public:
    // Null when `serverIp` is not dotted IPv4 text of at most 15 characters.
    static std::unique_ptr<CSWL_ConnectProc> Create(const char* serverIp, uint16_t serverPort);

    // Destroy: stops a running ConnectSynEx at its next step and closes the
    // socket unless it was handed out.
    ~CSWL_ConnectProc();
    CSWL_ConnectProc(const CSWL_ConnectProc&) = delete;
    CSWL_ConnectProc& operator=(const CSWL_ConnectProc&) = delete;

    // Connects within `timeoutMs` (waiting in steps of at most one second;
    // 0 still waits one step). Returns the connected non-blocking socket,
    // which then belongs to the caller, or SWL_INVALID_SOCKET.
    SWL_SOCKET ConnectSynEx(int timeoutMs);

    // Makes a running ConnectSynEx give up at its next step (any thread).
    void Stop() { m_stop.store(true); }
    // A flag of the caller's (an upgrade job's cancellation) that ends a
    // running ConnectSynEx within 100 ms once it is set; null: none. Set it
    // before ConnectSynEx; it must outlive the call.
    void SetCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // The socket the object still holds (SWL_INVALID_SOCKET once handed out).
    SWL_SOCKET GetSocket() const;
    // The OS error of the last failed ConnectSynEx (0 when none is known).
    int LastError() const { return m_lastError.load(); }
    // The length in ms of each wait step of the last ConnectSynEx.
    std::vector<int> LastWaitSteps() const;

    // The wait step lengths for a time-out: whole seconds, then the rest.
    static std::vector<int> WaitSteps(int timeoutMs);

private:
    struct PrivateTag {};

public:
    CSWL_ConnectProc(PrivateTag, const char* serverIp, const SWL_IPV4_ADDRESS& address,
                     uint16_t port);

private:
    static constexpr uint32_t kCancelSliceMs = 100;
    bool Cancelled() const;
    // SWL_Select for writability over `waitMs`, in slices while a cancel
    // flag is given.
    int WaitWritable(SWL_SOCKET sock, int waitMs) const;

    char m_serverIp[16] = {};
    SWL_IPV4_ADDRESS m_serverAddress;  // address and port, network order
    uint16_t m_serverPort = 0;         // host order
    CSWL_SocketHandle m_socket;
    std::atomic<bool> m_stop{false};
    const std::atomic<bool>* m_cancel = nullptr;
    std::atomic<int> m_lastError{0};
    mutable CPUB_Lock m_connectLock;
    std::vector<int> m_lastSteps;  // under m_connectLock
};
