// Whole messages over one connected, non-blocking TCP socket to a device.
//
// Every message travels behind an 8-byte data head: the magic "1111" and the
// payload length (32-bit little-endian). A head with length 0 is a
// keep-alive; length 0xFFFFFFFF announces a fragment (a 24-byte fragment head
// and its bytes), which the link gathers in one of two slots until the
// message is whole.
//
// Use: Create, RecvRawData (the device's first bytes, unframed), Init
// (keep-alives start), SendData / RecvData, StartAutoRecv (from then on the
// receive thread hands each whole message to the callback), and finally
// Destroy (or let the owner pointer go).
//
// Threads: the receive thread sleeps until bytes arrive or Destroy wakes it
// (the socket and a wake-up descriptor in one poll). The keep-alive heads,
// one a second, go out from the timer the link was created with
// (net/SWL_LinkTimer.h, one per session), which also notices a broken link.
//
// The loss of the link reaches the owner only through the callback with a
// null data pointer and length -1, from the timer's thread, within about
// 100 ms of the link breaking. The callback runs on the receive thread or
// the timer's thread, must do its own locking and must be quick (the timer
// serves every link); it may run while Destroy runs, never after.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "net/SWL_LinkTimer.h"
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

class CSWL_TCPLink final : private CSWL_LinkTimer::IClient {
public:
    // Takes ownership of the connected socket (closed by Destroy); `timer`
    // gives it its keep-alive turns and must outlive it. Null only when the
    // link cannot be made; the socket is then closed.
    static std::unique_ptr<CSWL_TCPLink> Create(SWL_SOCKET sock, CSWL_LinkTimer& timer);

    // Destroy, if the owner has not called it.
    ~CSWL_TCPLink();
    CSWL_TCPLink(const CSWL_TCPLink&) = delete;
    CSWL_TCPLink& operator=(const CSWL_TCPLink&) = delete;

    // Stores the callback and joins the link's timer (keep-alives, loss
    // reports): 0, or 1 when the timer cannot be started.
    int Init(LinkCallback callback, void* context);

    // One message: data head, then payload. 0 or -1. `running`, when given,
    // is the caller's flag: the send gives up once it reads false.
    int SendData(const void* buffer, uint32_t length, const std::atomic<bool>* running = nullptr);
    // One message whose payload is `first` followed by `second`, sent as
    // they are (no copy into one buffer). 0 or -1.
    int SendData(const void* first, uint32_t firstLength, const void* second, uint32_t secondLength,
                 const std::atomic<bool>* running = nullptr);
    // A keep-alive head. 0 or -1.
    int SendKeepInfo();

    // Receives exactly `length` unframed bytes, giving up after `timeoutMs`
    // without progress (result 1, link marked broken), or within a turn of
    // `*cancel` becoming true (failed).
    int RecvRawData(void* buffer, uint32_t length, uint32_t timeoutMs,
                    const std::atomic<bool>* cancel = nullptr);
    // One whole message into `data`. Without `wait` it returns 1 at once when
    // nothing is waiting; with `wait` it goes on until a message arrives, a
    // failure, or (when `waitLimitMs` is not 0) the limit passes (result 1).
    int RecvData(std::vector<uint8_t>& data, bool wait, uint32_t waitLimitMs);
    // Frees a message that RecvData handed out. Returns 0.
    static int ReleaseData(std::vector<uint8_t>& data);

    // Starts the receive thread: 0; 1 when it was started before (also if it
    // has ended since); 2 when it cannot be started.
    int StartAutoRecv();

    // Leaves the timer, wakes and joins the receive thread, shuts the socket
    // down and closes it. Returns as soon as a running receive or timer turn
    // has ended. Returns 0. Later calls do nothing.
    int Destroy();
    // Any thread: shuts the socket down (it stays open until Destroy), so
    // that a receive or a send that waits on it ends at once, as on the
    // loss of the link. For a cancel that must not wait out a time-out.
    void Interrupt();

    SWL_SOCKET GetSocket() const { return m_fd; }
    bool IsBroken() const { return m_broken.load(); }

    // The limit on time without progress for a started item and for sends
    // (20000 ms). Tests shorten it; not a user setting.
    static void SetProgressLimitForTest(uint32_t ms);
    static uint32_t ProgressLimit();

private:
    struct PrivateTag {};

public:
    CSWL_TCPLink(PrivateTag, SWL_SOCKET sock, CSWL_LinkTimer& timer);

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
    // Under the send lock: the rest of a keep-alive head that went out in
    // part, before anything else is sent.
    int FlushKeepHead(const std::atomic<bool>* running);
    // Waits up to one 10 ms turn for the socket to become readable or
    // writable; Destroy ends it at once.
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
    // The timer's turn: the loss report, or a keep-alive head once a second.
    bool OnTimerTurn() override;
    enum class KeepSend { Sent, Later, Failed };
    // A keep-alive head without waiting: Later while a message is going out
    // or the socket takes no more bytes (up to the progress limit).
    KeepSend TrySendKeepInfo();
    void ReportLoss();

    CSWL_LinkTimer& m_timer;
    CSWL_SocketHandle m_socket;  // owner of the socket until Destroy closes it
    const SWL_SOCKET m_fd;       // the same socket, for I/O
    LinkCallback m_callback = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_broken{false};
    std::atomic<bool> m_destroyed{false};
    // Interrupt and Destroy's close, so that no shutdown meets a closed
    // (and maybe reused) descriptor.
    std::mutex m_closeMutex;
    bool m_interrupted = false;  // under m_closeMutex

    std::atomic<bool> m_recvRunning{false};
    PUB_THREAD m_recvThread;
    CSWL_WakeFd m_wake;        // signalled once, by Destroy
    bool m_timed = false;      // in the timer (under m_threadLock)
    uint32_t m_keepTurns = 0;  // timer turns since the last keep-alive
    // A keep-alive head that went out in part, under m_sendLock.
    uint8_t m_keepHead[SWL_DATA_HEAD_SIZE] = {};
    uint32_t m_keepLeft = 0;
    uint32_t m_keepStalledSince = 0;  // 0: the last keep-alive went out

    Slot m_slots[2];  // under m_recvLock

    CPUB_Lock m_sendLock;
    CPUB_Lock m_recvLock;
    CPUB_Lock m_threadLock;
};
