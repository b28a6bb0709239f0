// The network as a front-end chooses it before a session starts: the
// adapters to search on, IPv4 texts, and the reachability that adds
// addresses through the privileged helper.
#pragma once

#include "netops/Adapters.h"
#include "netops/Ipv4.h"
#include "reach/HelperReachability.h"
#include "reach/Reachability.h"
