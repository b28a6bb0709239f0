// A small synchronous HTTP client: one POST with a body and optional
// credentials to a URL, the whole reply body and the status code.
//
//   CHttpClient http;
//   http.AddHeader("Content-Type", "text/plain; charset=UTF-8");
//   http.SetCredentials(user, password);
//   int status = -1;
//   std::string reply;
//   if (http.Request("http://192.168.1.10:80/GetDeviceInfo", "", &reply, &status) == 0) ...
//
// A result of 0 means only that the request went out and a reply head came
// back; the caller judges the status and the body. Nothing is logged here
// except replies that break the client's own bounds.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

class CHttpClient {
public:
    // Sets headers[name] = value; a second call with the same name replaces
    // the value. Headers go out in ascending byte order of their names as
    // "name:value"; names that differ only in letter case are one header
    // (the later one in that order wins).
    void AddHeader(const std::string& name, const std::string& value);
    void SetCredentials(const std::string& user, const std::string& password);
    // Basic authentication sends the password in clear to whatever answered
    // the search; only Digest is offered unless this allows Basic too.
    void SetBasicAuthAllowed(bool allowed) { m_basicAllowed = allowed; }

    // scheme (or "http") + "://" + host + (":" port, when port is not 0) + "/".
    std::string BuildBaseUrl() const;
    // `url` resolved against the base URL, with spaces and bytes above 0x7F
    // percent-encoded; "" when it cannot be resolved. The base URL has no
    // host, so only absolute URLs resolve.
    std::string ResolveUrl(const std::string& url) const;

    // Sets *status to -1 (when given), then runs HttpTransfer on the resolved
    // URL with this client's headers and credentials. 0 or -1.
    int Request(const std::string& url, const std::string& body, std::string* reply,
                int* status) const;

    // One POST of `body` to the URL's path (its query string and fragment
    // are not sent), with the user agent "KMR Tool" and the credentials
    // offered to the authentication the server asks for: Digest, or Basic
    // too when `basicAllowed` (a warning in the log when Basic is used).
    // No data for the receive time-out (5000 ms) ends the request.
    //
    // -1 when no reply head came back (bad URL, connect failure, time-out
    // before the head); *reply and *status are then untouched. Otherwise 0,
    // *status holds the status code, and *reply the whole body (chunked or
    // not) up to its first NUL byte; a body that could not be read whole
    // leaves *reply untouched.
    static int HttpTransfer(const std::string& url,
                            const std::map<std::string, std::string>& headers,
                            const std::string& user, const std::string& password,
                            const std::string& body, std::string* reply, int* status,
                            const std::atomic<bool>* cancel = nullptr, bool basicAllowed = false);

    // A flag that, once set from another thread, ends a running request
    // (as a failed read, or -1 before the reply head). Null: none.
    void SetCancelFlag(const std::atomic<bool>* cancel) { m_cancel = cancel; }

    // Bounds of every request.
    static constexpr uint32_t kReceiveTimeoutMs = 5000;
    static constexpr uint32_t kConnectTimeoutMs = 21000;
    static constexpr uint32_t kTotalTimeoutMs = 60000;
    static constexpr size_t kMaxReplyBytes = 1024 * 1024;
    // Shortens the receive time-out for tests (0 restores it).
    static void SetReceiveTimeoutForTest(uint32_t ms);

private:
    std::string m_scheme;
    std::string m_host;
    int32_t m_port = 0;
    std::map<std::string, std::string> m_headers;
    std::string m_user;
    std::string m_password;
    const std::atomic<bool>* m_cancel = nullptr;
    bool m_basicAllowed = false;
};
