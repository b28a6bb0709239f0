// One call of a camera's HTTP API: a POST of `body` to
// http://<address>:<port>/<apiName> with the camera's credentials.
#pragma once

#include <atomic>
#include <string>

// True when the request went out and a reply came back (whatever its HTTP
// status, which is only logged); *reply then holds the body. Logs
// "request succeed, url: %s, httpStatus: %d" or, on failure,
// "request failed %d, url: %s, httpStatus: %d".
// `cancel`, when set from another thread, ends the request early.
// `basicAllowed`: Basic authentication besides Digest (AllowHttpBasicAuth).
bool SendAndRcvApiGetCmd(const std::string& address, int port, const std::string& apiName,
                         const std::string& user, const std::string& password,
                         const std::string& body, std::string* reply,
                         const std::atomic<bool>* cancel = nullptr, bool basicAllowed = false);
