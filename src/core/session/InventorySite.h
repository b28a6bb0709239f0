// The site a run records its cameras under when none is named: the subnet
// of the chosen adapter, as the command line and the window both show it.
#pragma once

#include <string>
#include <vector>

#include "netops/Adapters.h"

// "192.168.1.0/24" of the first IPv4 address of the adapter named
// `adapter` in `adapters`; "" when `adapter` is "" or has no address.
std::string AdapterSubnet(const std::vector<ADAPTER_INFO>& adapters, const std::string& adapter);
// The same of the host's adapters as they are now.
std::string AdapterSubnet(const std::string& adapter);
