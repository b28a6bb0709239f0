// Whole messages over one connected, non-blocking TCP socket to a device.
//
// Every message travels behind an 8-byte data head: the magic "1111" and the
// payload length (32-bit little-endian). A head with length 0 is a
// keep-alive; length 0xFFFFFFFF announces a fragment (a 24-byte fragment head
// and its bytes), which the link gathers in one of two slots until the
// message is whole.
//
// Use: Create, RecvRawData (the device's first bytes, unframed), Init
// (starts the keep-alive thread), SendData / RecvData, StartAutoRecv (from
// then on the receive thread hands each whole message to the callback), and
// finally Destroy (or let the owner pointer go).
//
// The loss of the link reaches the owner only through the callback with a
// null data pointer and length -1, from the keep-alive thread, within about
// 100 ms of the link breaking. The callback runs on the link's threads and
// must do its own locking; it is also called (once) while Destroy runs.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/SWL_Socket.h"
#include "platform/Pub.h"

// A whole message (data, length), or the loss of the link (null, -1).
using LinkCallback = void (*)(void* context, const uint8_t* data, int32_t length);

// Results of the receive operations.
enum : int {
    SWL_RECV_DONE = 0,     // a message, or the asked bytes, are there
    SWL_RECV_NOTHING = 1,  // nothing yet, a keep-alive, an incomplete message, a time-out
    SWL_RECV_CLOSED = 2,   // the peer closed the connection
    SWL_RECV_FAILED = 3,   // socket error, broken link, stall, invalid data
};

constexpr uint32_t SWL_DATA_HEAD_SIZE = 8;
constexpr uint32_t SWL_FRAGMENT_HEAD_SIZE = 24;
constexpr uint32_t SWL_FRAGMENT_FOLLOWS = 0xFFFFFFFFu;
// The largest message the link accepts (data head or fragmented total);
// far above any real device message. Anything larger is invalid data.
constexpr uint32_t SWL_MAX_MESSAGE_LENGTH = 64u << 20;

class CSWL_TCPLink {
public:
    // Takes ownership of the connected socket (closed by Destroy). Null only
    // when the link cannot be made; the socket is then closed.
    static std::unique_ptr<CSWL_TCPLink> Create(SWL_SOCKET sock);

    // Destroy, if the owner has not called it.
    ~CSWL_TCPLink();
    CSWL_TCPLink(const CSWL_TCPLink&) = delete;
    CSWL_TCPLink& operator=(const CSWL_TCPLink&) = delete;

    // Stores the callback and starts the keep-alive thread: 0, or 1 when the
    // thread cannot be started.
    int Init(LinkCallback callback, void* context);

    // One message: data head, then payload. 0 or -1. `running`, when given,
    // is the caller's flag: the send gives up once it reads false.
    int SendData(const void* buffer, uint32_t length, const std::atomic<bool>* running = nullptr);
    // A keep-alive head. 0 or -1.
    int SendKeepInfo();

    // Receives exactly `length` unframed bytes, giving up after `timeoutMs`
    // without progress (result 1, link marked broken).
    int RecvRawData(void* buffer, uint32_t length, uint32_t timeoutMs);
    // One whole message into `data`. Without `wait` it returns 1 at once when
    // nothing is waiting; with `wait` it goes on until a message arrives, a
    // failure, or (when `waitLimitMs` is not 0) the limit passes (result 1).
    int RecvData(std::vector<uint8_t>& data, bool wait, uint32_t waitLimitMs);
    // Frees a message that RecvData handed out. Returns 0.
    static int ReleaseData(std::vector<uint8_t>& data);

    // Starts the receive thread: 0; 1 when it was started before (also if it
    // has ended since); 2 when it cannot be started.
    int StartAutoRecv();

    // Stops both threads, shuts the socket down and closes it. Never waits
    // longer than one turn of a loop. Returns 0. Later calls do nothing.
    int Destroy();

    SWL_SOCKET GetSocket() const { return m_fd; }
    bool IsBroken() const { return m_broken.load(); }

    // The limit on time without progress for a started item and for sends
    // (20000 ms). Tests shorten it; not a user setting.
    static void SetProgressLimitForTest(uint32_t ms);
    static uint32_t ProgressLimit();

private:
    struct PrivateTag {};

public:
    CSWL_TCPLink(PrivateTag, SWL_SOCKET sock);

private:
    // One message being gathered from fragments.
    struct Slot {
        bool busy = false;
        uint32_t messageId = 0;
        uint32_t fragmentCount = 0;
        uint32_t totalLength = 0;
        uint32_t received = 0;
        std::vector<uint8_t> buffer;
        void Clear();
    };

    int SendDataHead(uint32_t length, const std::atomic<bool>* running);
    // Waits up to one 10 ms turn for the socket to become readable or writable.
    void WaitTurn(bool forReading);
    int SendBuff(const void* buffer, size_t length, bool noTimeout, uint32_t timeoutMs,
                 const std::atomic<bool>* running);
    // mode 1: the whole length; mode 0: the whole length or nothing.
    int RecvBuff(void* buffer, size_t length, int mode);
    int RecvDataHead(uint32_t& length);
    int RecvFragment(std::vector<uint8_t>& data);
    // Appends `length` received bytes to `buffer` (mode 1).
    int RecvInto(std::vector<uint8_t>& buffer, uint32_t length);
    int DiscardBytes(uint32_t length);
    int InvalidData(const char* what, uint32_t value);

    void RecvAutoThreadRun();
    void SendKeepThreadRun();
    void ReportLoss();

    CSWL_SocketHandle m_socket;  // owner of the socket until Destroy closes it
    const SWL_SOCKET m_fd;       // the same socket, for I/O
    LinkCallback m_callback = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_broken{false};
    std::atomic<bool> m_destroyed{false};

    std::atomic<bool> m_recvRunning{false};
    PUB_THREAD m_recvThread;
    std::atomic<bool> m_keepRunning{false};
    PUB_THREAD m_keepThread;

    Slot m_slots[2];  // under m_recvLock

    CPUB_Lock m_sendLock;
    CPUB_Lock m_recvLock;
    CPUB_Lock m_threadLock;
};
