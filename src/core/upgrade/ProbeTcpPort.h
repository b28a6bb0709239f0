// A TCP connect test: nothing is sent, the connection is closed at once.
#pragma once

#include <cstdint>
#include <string>

// True when a TCP connection to ip:port is established within `timeoutMs`.
// A refused connection is false at once.
bool ProbeTcpPort(const std::string& ip, uint16_t port, uint32_t timeoutMs);
