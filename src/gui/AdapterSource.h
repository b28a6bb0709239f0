// The adapter list as the adapter dialog reads it: a walk over the system's
// network adapters that stops when the visitor returns false and gives the
// number of adapters visited, or -1 when the list cannot be had.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct GUI_ADAPTER_INFO {
    std::string name;         // the system's adapter name (what the search library takes)
    std::string description;  // what the user sees, in the system's narrow code page
    std::vector<std::string> addresses;  // IPv4 addresses as "a.b.c.d/len"
};

using AdapterVisitor = std::function<bool(const GUI_ADAPTER_INFO&)>;
using AdapterEnumerator = std::function<int(const AdapterVisitor&)>;

// The system's adapters (EnumAdapters of the reachability layer).
AdapterEnumerator SystemAdapterEnumerator();
