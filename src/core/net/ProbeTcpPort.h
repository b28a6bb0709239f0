// A TCP connect test: can a connection to a camera's port be made in time?
// Nothing is sent and the connection is closed at once. Used by the upgrade
// waits and by the analytics query.
#pragma once

#include <cstdint>
#include <string>

// True when a TCP connection to ip:port (dotted IPv4) is made within
// `timeoutMs`; a refused or impossible connect is false at once.
bool ProbeTcpPort(const std::string& ip, int32_t port, uint32_t timeoutMs);
