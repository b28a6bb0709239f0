// The TCP link's receive path: the bytes a device sends arrive through a
// socket pair and are read as the client reads them: optionally a raw first
// message, then whole messages until the peer's end, with the reassembly of
// fragments in both slots.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "net/SWL_LinkTimer.h"
#include "net/SWL_TCPLink.h"

namespace {

// One link timer for every run of the target, outliving each link.
CSWL_LinkTimer& FuzzLinkTimer() {
    static CSWL_LinkTimer timer;
    return timer;
}

// More than one input's bytes fit into the pair's buffer, so writing
// everything before reading never blocks.
constexpr size_t kMaxStream = 64 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool once = [] {
        // A stalled half message would otherwise end only after 20 s.
        CSWL_TCPLink::SetProgressLimitForTest(1000);
        return true;
    }();
    (void)once;

    CFuzzInput in(data, size);
    const uint8_t rawLength = in.Byte() % 80;  // the device's first message, unframed
    const auto stream = in.Bytes(kMaxStream);

    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) {
        std::abort();
    }
    int buffer = static_cast<int>(kMaxStream * 2);
    setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof(buffer));
    setsockopt(pair[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof(buffer));
    fcntl(pair[0], F_SETFL, fcntl(pair[0], F_GETFL, 0) | O_NONBLOCK);
    size_t written = 0;
    while (written < stream.size()) {
        const ssize_t n = write(pair[1], stream.data() + written, stream.size() - written);
        if (n <= 0) {
            std::abort();
        }
        written += static_cast<size_t>(n);
    }
    shutdown(pair[1], SHUT_WR);  // the device's end: the link sees "closed", never a stall

    auto link = CSWL_TCPLink::Create(pair[0], FuzzLinkTimer());
    if (!link) {
        std::abort();
    }
    int result = SWL_RECV_DONE;
    if (rawLength > 0) {
        std::vector<uint8_t> raw(rawLength);
        result = link->RecvRawData(raw.data(), rawLength, 1000);
    }
    size_t delivered = 0;
    // Each turn consumes bytes or ends, so the count of turns is bounded by
    // the stream's length; the limit only guards against a loop.
    for (size_t turn = 0; result != SWL_RECV_CLOSED && result != SWL_RECV_FAILED; ++turn) {
        if (turn > stream.size() + 2) {
            std::abort();
        }
        std::vector<uint8_t> message;
        result = link->RecvData(message, (turn & 1) != 0, 50);
        if (result == SWL_RECV_DONE) {
            if (message.empty() || message.size() > SWL_MAX_MESSAGE_LENGTH) {
                std::abort();  // a message has bytes and a bounded length
            }
            delivered += message.size();
            CSWL_TCPLink::ReleaseData(message);
        } else if (!message.empty()) {
            std::abort();  // nothing handed out without a message
        }
    }
    if (delivered > stream.size()) {
        std::abort();  // never more bytes out than came in
    }
    if (!link->IsBroken() && result == SWL_RECV_CLOSED) {
        std::abort();  // the peer's end marks the link broken
    }
    link->Destroy();
    close(pair[1]);
    return 0;
}
