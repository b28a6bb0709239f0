// The reachability test of the analytics query: can a TCP connection to a
// camera's data port be made in time? Nothing is sent.
#pragma once

#include <cstdint>
#include <string>

// True when a TCP connection to ip:port (dotted IPv4) is made within
// `timeoutMs`; a refused or impossible connect is false at once.
bool AiProbeTcpPort(const std::string& ip, int32_t port, uint32_t timeoutMs);
