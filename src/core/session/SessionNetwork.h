// The network as a front-end chooses it before a session starts: the
// adapters to search on, IPv4 texts, and the reachability that adds
// addresses through the privileged helper.
#pragma once

#include "reach/Adapters.h"
#include "reach/HelperReachability.h"
#include "reach/Ipv4.h"
#include "reach/Reachability.h"
