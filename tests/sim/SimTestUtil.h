// Small helpers for the simulator's tests: a search probe over UDP and a
// raw HTTP exchange, both bounded in time.
#pragma once

#include <cstdint>
#include <string>

#include "SimConfig.h"

// Sends `probe` to ip:port and returns the first reply ("" when none came).
std::string SendProbe(const std::string& ip, uint16_t port, int timeoutMs = 500,
                      const std::string& probe = "");
// The standard probe document.
std::string ProbeText(uint32_t seq = 42);

// Sends `request` as it is and returns everything until the peer closes or
// `timeoutMs` passes without data.
std::string HttpExchange(const std::string& ip, uint16_t port, const std::string& request,
                         int timeoutMs = 1000);

// The text of <name>...</name> in `xml` ("" when absent); *found tells.
std::string XmlText(const std::string& xml, const std::string& name, bool* found = nullptr);

// A camera for one test, with short times and its own address.
SimCameraConfig TestCamera(const std::string& mac, const std::string& ip);
