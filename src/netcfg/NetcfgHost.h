// What firmhand-netcfg asks of the system besides the shared network steps:
// its capabilities, its parent, its socket, whether an interface is up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace netcfg {

// Keeps cap_net_admin and cap_net_raw (where held) and drops every other
// capability, the inheritable and ambient sets, and the right to gain new
// privileges. "" when both are held afterwards; else what is missing.
std::string KeepOnlyNetworkCapabilities();

// Asks for SIGKILL when the parent goes; false when it is already gone
// (the parent's pid is no longer the process's parent).
bool DieWithParent(long parentPid);

// True when `fd` is a SOCK_SEQPACKET socket.
bool IsPacketSocket(int fd);

// One datagram into `buffer`; its full length (more than `size` when cut),
// 0 at the end of the connection, -1 on failure.
long ReceiveMessage(int fd, uint8_t* buffer, size_t size);
bool SendMessage(int fd, const uint8_t* data, size_t size);

// True when the interface exists and is administratively up.
bool IsInterfaceUp(const std::string& name);

// One line on standard error: "firmhand-netcfg: <text>".
void ReportLine(const std::string& text);

}  // namespace netcfg
