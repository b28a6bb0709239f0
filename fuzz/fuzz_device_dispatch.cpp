// The device client's dispatch: frames as the link hands them over (whole
// link messages, any length) reach the client's entry point, which checks
// the frame head and dispatches replies, notifications and stream frames.
// One logged-in client serves every input, as one connection serves a
// camera's stream of frames.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "DevicePeer.h"
#include "FuzzInput.h"
#include "app/Logger.h"
#include "device/NetDVSDevice.h"
#include "net/SWL_LinkTimer.h"

namespace {

// One link timer for every run of the target, outliving each link.
CSWL_LinkTimer& FuzzLinkTimer() {
    static CSWL_LinkTimer timer;
    return timer;
}

struct Connected {
    fuzz_peer::CListener listener;
    std::unique_ptr<fuzz_peer::CPeerConnection> peer;
    std::shared_ptr<CNetDVSDevice> client;
};

std::unique_ptr<Connected> Connect(uint8_t streamEncrypted) {
    auto c = std::make_unique<Connected>();
    fuzz_peer::Bytes script = fuzz_peer::PlainServerInfo();
    script[server_info::kStreamEncrypted] = streamEncrypted;
    const fuzz_peer::Bytes accepted =
        fuzz_peer::LinkMessage(fuzz_peer::Frame(NET_REPLY_LOGIN_ACCEPTED, fuzz_peer::Bytes(112)));
    script.insert(script.end(), accepted.begin(), accepted.end());
    c->peer = std::make_unique<fuzz_peer::CPeerConnection>(c->listener, script, false);
    if (CNetDVSDevice::CreateServerObject(c->client, FuzzLinkTimer(), "00:1A:2B:3C:4D:5E",
                                          "127.0.0.1", c->listener.Port(), &fuzz_peer::TouchEvent,
                                          nullptr, 5000) != NET_OK) {
        std::abort();
    }
    NET_DEVICE_INFO info;
    if (c->client->LogIn("admin", "secret", &info, false) != NET_OK) {
        std::abort();
    }
    return c;
}

std::unique_ptr<Connected> g_plain;
std::unique_ptr<Connected> g_encrypted;

// Two clients: one whose camera encrypts stream data, one that does not.
// They end (threads joined) before the logger goes at exit.
bool Setup() {
    GetLogInstance();
    g_plain = Connect(0);
    g_encrypted = Connect(1);
    std::atexit([] {
        for (auto* c : {&g_plain, &g_encrypted}) {
            (*c)->client.reset();  // before its peer, whose reading ends with the client
            c->reset();
        }
    });
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool ready = Setup();
    (void)ready;
    const Connected& plain = *g_plain;
    const Connected& encrypted = *g_encrypted;

    CFuzzInput in(data, size);
    CNetDVSDevice* client = (in.Byte() & 1) ? encrypted.client.get() : plain.client.get();
    while (!in.Empty()) {
        const auto frame = in.Chunk();
        // A message the link hands over always has at least one byte.
        if (frame.empty()) {
            continue;
        }
        // The link delivers a copy the receiver may not keep.
        const std::vector<uint8_t> message(frame.begin(), frame.end());
        CNetDVSDevice::RecvEntry(client, message.data(), static_cast<int32_t>(message.size()));
    }
    return 0;
}
