// firmhand-netcfg: the only Firmhand program with the capabilities to change
// the network (cap_net_admin) and send raw frames (cap_net_raw). Firmhand
// starts it with one end of a socket pair as descriptor 3 and its own pid as
// the argument; it answers one request at a time and ends with its parent.
#include <cstdlib>
#include <string>

#include "NetcfgHost.h"
#include "NetcfgService.h"

namespace {

constexpr int kSocketFd = 3;

bool SendReply(const netcfg::Reply& reply) {
    const std::vector<uint8_t> bytes = netcfg::EncodeReply(reply);
    return netcfg::SendMessage(kSocketFd, bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    const std::string missing = netcfg::KeepOnlyNetworkCapabilities();
    const long parent = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (!netcfg::DieWithParent(parent)) {
        return 1;
    }
    if (argc != 2 || parent <= 0 || !netcfg::IsPacketSocket(kSocketFd)) {
        netcfg::ReportLine("is started by Firmhand only (descriptor 3 is no socket of it)");
        return 2;
    }
    netcfg::Reply hello;
    if (!missing.empty()) {
        hello.status = netcfg::Status::Refused;
        hello.reason = "lacks " + missing;
        SendReply(hello);
        netcfg::ReportLine(hello.reason);
        return 1;
    }
    if (!SendReply(hello)) {
        return 1;
    }
    netcfg::CNetcfgService service;
    uint8_t buffer[netcfg::kMaxMessageBytes];
    for (;;) {
        const long n = netcfg::ReceiveMessage(kSocketFd, buffer, sizeof(buffer));
        if (n <= 0) {
            return n == 0 ? 0 : 1;  // the parent closed its end, or the socket failed
        }
        if (!SendReply(service.Handle(buffer, static_cast<size_t>(n)))) {
            return 1;
        }
    }
}
