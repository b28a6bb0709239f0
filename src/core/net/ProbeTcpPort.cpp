#include "net/ProbeTcpPort.h"

#include "net/SWL_Socket.h"

bool ProbeTcpPort(const std::string& ip, int32_t port, uint32_t timeoutMs) {
    if (port <= 0 || port > 65535) {
        return false;
    }
    SWL_IPV4_ADDRESS address;
    if (!SWL_MakeAddress(ip.c_str(), static_cast<uint16_t>(port), address)) {
        return false;
    }
    CSWL_SocketHandle sock(SWL_CreateSocket(SWL_AF_INET, SWL_SOCK_STREAM, 0));
    if (!sock.Valid()) {
        return false;
    }
    return SWL_ConnectEx(sock.Get(), address.Get(), SWL_IPV4_ADDRESS::kLength,
                         static_cast<int>(timeoutMs)) == 0;
}
