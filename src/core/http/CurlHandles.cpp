#include "http/CurlHandles.h"

#include <mutex>

bool CurlGlobalInit() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

bool CurlSlistAppend(CCurlSlist& list, const char* line) {
    curl_slist* grown = curl_slist_append(list.get(), line);
    if (grown == nullptr) {
        return false;
    }
    // The head stays the same once the list has one.
    if (!list) {
        list.reset(grown);
    }
    return true;
}
