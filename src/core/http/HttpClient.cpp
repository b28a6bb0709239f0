#include "http/HttpClient.h"

#include <strings.h>

#include <chrono>
#include <vector>

#include "app/Logger.h"
#include "http/CurlHandles.h"

FH_LOG_SOURCE("HttpClient");

namespace {

std::atomic<uint32_t> g_receiveTimeoutMs{CHttpClient::kReceiveTimeoutMs};

using Clock = std::chrono::steady_clock;

// One transfer's state, shared with curl's callbacks on the calling thread.
struct Transfer {
    std::string body;
    bool tooLong = false;
    const std::atomic<bool>* cancel = nullptr;
    std::chrono::milliseconds receiveLimit{CHttpClient::kReceiveTimeoutMs};
    // The receive time-out runs from the moment a request is about to go out;
    // every byte sent or received starts it again.
    bool armed = false;
    bool timedOut = false;
    Clock::time_point lastActivity;
    curl_off_t lastDown = 0;
    curl_off_t lastUp = 0;

    void Touch() { lastActivity = Clock::now(); }
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t bytes = size * count;
    t->Touch();
    if (t->body.size() + bytes > CHttpClient::kMaxReplyBytes) {
        t->tooLong = true;
        return 0;  // ends the transfer with a write error
    }
    t->body.append(data, bytes);
    return bytes;
}

size_t OnHeader(char*, size_t size, size_t count, void* user) {
    static_cast<Transfer*>(user)->Touch();
    return size * count;
}

int OnRequestReady(void* user, char*, char*, int, int) {
    auto* t = static_cast<Transfer*>(user);
    t->armed = true;
    t->Touch();
    return CURL_PREREQFUNC_OK;
}

int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto* t = static_cast<Transfer*>(user);
    if (t->cancel != nullptr && t->cancel->load()) {
        return 1;
    }
    if (down != t->lastDown || up != t->lastUp) {
        t->lastDown = down;
        t->lastUp = up;
        t->Touch();
    }
    if (t->armed && Clock::now() - t->lastActivity >= t->receiveLimit) {
        t->timedOut = true;
        return 1;
    }
    return 0;
}

bool ValidHeaderName(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == ':' || c == ';') {
            return false;
        }
    }
    return true;
}

bool ValidHeaderValue(const std::string& value) {
    return value.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

// The header lines in the map's order; a name equal to an earlier one but
// for letter case replaces it, as an add-or-replace would.
std::vector<std::pair<std::string, std::string>> HeaderLines(
    const std::map<std::string, std::string>& headers) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (const auto& [name, value] : headers) {
        if (!ValidHeaderName(name) || !ValidHeaderValue(value)) {
            LOG_WARN("CHttpClient::HttpTransfer", "header dropped, name: %s", name.c_str());
            continue;
        }
        bool replaced = false;
        for (auto& line : lines) {
            if (strcasecmp(line.first.c_str(), name.c_str()) == 0) {
                line.second = value;
                replaced = true;
                break;
            }
        }
        if (!replaced) {
            lines.emplace_back(name, value);
        }
    }
    return lines;
}

bool HasHeader(const std::vector<std::pair<std::string, std::string>>& lines, const char* name) {
    for (const auto& line : lines) {
        if (strcasecmp(line.first.c_str(), name) == 0) {
            return true;
        }
    }
    return false;
}

// The URL to send to: scheme, host, port and path; the query, the fragment
// and any user info in the URL stay behind. "" when it is not an http URL.
std::string RequestUrl(const std::string& url) {
    CCurlUrl handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
        return {};
    }
    char* scheme = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) {
        return {};
    }
    const CCurlText schemeText(scheme);
    if (strcasecmp(scheme, "http") != 0) {
        return {};
    }
    for (const CURLUPart part : {CURLUPART_QUERY, CURLUPART_FRAGMENT, CURLUPART_USER,
                                 CURLUPART_PASSWORD, CURLUPART_OPTIONS}) {
        curl_url_set(handle.get(), part, nullptr, 0);
    }
    char* text = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
        return {};
    }
    const CCurlText owned(text);
    return text;
}

}  // namespace

void CHttpClient::AddHeader(const std::string& name, const std::string& value) {
    m_headers[name] = value;
}

void CHttpClient::SetCredentials(const std::string& user, const std::string& password) {
    m_user = user;
    m_password = password;
}

std::string CHttpClient::BuildBaseUrl() const {
    std::string url = m_scheme.empty() ? std::string("http") : m_scheme;
    url += "://" + m_host;
    if (m_port != 0) {
        url += ":" + std::to_string(m_port);
    }
    return url + "/";
}

std::string CHttpClient::ResolveUrl(const std::string& url) const {
    if (!CurlGlobalInit()) {
        return {};
    }
    CCurlUrl handle(curl_url());
    if (!handle) {
        return {};
    }
    // A base without a host does not parse; an absolute URL then still
    // resolves on its own, a relative one does not.
    curl_url_set(handle.get(), CURLUPART_URL, BuildBaseUrl().c_str(), 0);
    if (curl_url_set(handle.get(), CURLUPART_URL, url.c_str(), CURLU_URLENCODE) != CURLUE_OK) {
        return {};
    }
    char* text = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_URL, &text, 0) != CURLUE_OK) {
        return {};
    }
    const CCurlText owned(text);
    return text;
}

int CHttpClient::Request(const std::string& url, const std::string& body, std::string* reply,
                         int* status) const {
    if (status != nullptr) {
        *status = -1;
    }
    return HttpTransfer(ResolveUrl(url), m_headers, m_user, m_password, body, reply, status,
                        m_cancel, m_basicAllowed);
}

void CHttpClient::SetReceiveTimeoutForTest(uint32_t ms) {
    g_receiveTimeoutMs = ms == 0 ? kReceiveTimeoutMs : ms;
}

namespace {

// Headers in name order as "name:value"; curl's own Accept, Expect and form
// Content-Type are left out, as a plain client sends none of them.
bool BuildHeaderList(const std::map<std::string, std::string>& headers, CCurlSlist& list) {
    const auto lines = HeaderLines(headers);
    bool listOk = true;
    for (const auto& [name, value] : lines) {
        // "name;" is curl's way of sending a header with an empty value.
        const std::string line = value.empty() ? name + ";" : name + ":" + value;
        listOk = listOk && CurlSlistAppend(list, line.c_str());
    }
    for (const char* name : {"Accept", "Expect", "Content-Type"}) {
        if (!HasHeader(lines, name)) {
            listOk = listOk && CurlSlistAppend(list, (std::string(name) + ":").c_str());
        }
    }
    return listOk;
}

// What one request sends and how it is authenticated.
struct RequestSetup {
    const std::string& target;
    const CCurlSlist& headers;
    const std::string& user;
    const std::string& password;
    const std::string& body;
    bool basicAllowed;
};

bool SetUpRequest(CURL* h, const RequestSetup& request, Transfer& transfer) {
    bool setupOk = true;
    const auto set = [&setupOk](CURLcode code) { setupOk = setupOk && code == CURLE_OK; };
    set(curl_easy_setopt(h, CURLOPT_URL, request.target.c_str()));
    set(curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http"));
    set(curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L));
    set(curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L));
    // Direct access: proxies from the environment are not used.
    set(curl_easy_setopt(h, CURLOPT_PROXY, ""));
    set(curl_easy_setopt(h, CURLOPT_NOPROXY, "*"));
    set(curl_easy_setopt(h, CURLOPT_USERAGENT, "KMR Tool"));
    set(curl_easy_setopt(h, CURLOPT_HTTPHEADER, request.headers.get()));
    set(curl_easy_setopt(h, CURLOPT_POST, 1L));
    set(curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body.size())));
    set(curl_easy_setopt(h, CURLOPT_POSTFIELDS, request.body.data()));
    if (!request.user.empty() || !request.password.empty()) {
        set(curl_easy_setopt(h, CURLOPT_USERNAME, request.user.c_str()));
        set(curl_easy_setopt(h, CURLOPT_PASSWORD, request.password.c_str()));
        set(curl_easy_setopt(
            h, CURLOPT_HTTPAUTH,
            request.basicAllowed ? CURLAUTH_BASIC | CURLAUTH_DIGEST : CURLAUTH_DIGEST));
    }
    set(curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(CHttpClient::kConnectTimeoutMs)));
    set(curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(CHttpClient::kTotalTimeoutMs)));
    set(curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody));
    set(curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer));
    set(curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader));
    set(curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer));
    set(curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, OnRequestReady));
    set(curl_easy_setopt(h, CURLOPT_PREREQDATA, &transfer));
    // The progress callback keeps the receive time-out and the cancel flag.
    set(curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, OnProgress));
    set(curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer));
    return setupOk;
}

// A server that offers Basic only either got the password in clear
// (allowed) or did not get it: either is worth a line.
void WarnOfBasicOnly(CURL* h, const RequestSetup& request) {
    long offered = 0;  // what the server's 401 asked for
    curl_easy_getinfo(h, CURLINFO_HTTPAUTH_AVAIL, &offered);
    if ((offered & CURLAUTH_BASIC) == 0 || (offered & CURLAUTH_DIGEST) != 0 ||
        (request.user.empty() && request.password.empty())) {
        return;
    }
    if (request.basicAllowed) {
        LOG_WARN("CHttpClient::HttpTransfer",
                 "Basic authentication used: the password went in clear, url: %s",
                 request.target.c_str());
    } else {
        LOG_WARN("CHttpClient::HttpTransfer",
                 "the server asks for Basic authentication only; the password is not sent in "
                 "clear (setting AllowHttpBasicAuth), url: %s",
                 request.target.c_str());
    }
}

void KeepReply(CURLcode result, const Transfer& transfer, const std::string& target,
               std::string& reply) {
    if (result == CURLE_OK) {
        reply = transfer.body.substr(0, transfer.body.find('\0'));
    } else if (transfer.tooLong) {
        LOG_WARN("CHttpClient::HttpTransfer", "reply dropped, longer than %zu bytes, url: %s",
                 CHttpClient::kMaxReplyBytes, target.c_str());
    } else {
        LOG_WARN(
            "CHttpClient::HttpTransfer", "reply not read whole (%s), url: %s",
            transfer.timedOut ? "no data within the receive time-out" : curl_easy_strerror(result),
            target.c_str());
    }
}

}  // namespace

int CHttpClient::HttpTransfer(const std::string& url,
                              const std::map<std::string, std::string>& headers,
                              const std::string& user, const std::string& password,
                              const std::string& body, std::string* reply, int* status,
                              const std::atomic<bool>* cancel, bool basicAllowed) {
    if (!CurlGlobalInit()) {
        return -1;
    }
    const std::string target = RequestUrl(url);
    if (target.empty()) {
        return -1;
    }
    CCurlEasy curl(curl_easy_init());
    if (!curl) {
        return -1;
    }
    CURL* h = curl.get();
    CCurlSlist list;
    if (!BuildHeaderList(headers, list)) {
        return -1;
    }
    Transfer transfer;
    transfer.cancel = cancel;
    transfer.receiveLimit = std::chrono::milliseconds(g_receiveTimeoutMs.load());
    const RequestSetup request{target, list, user, password, body, basicAllowed};
    if (!SetUpRequest(h, request, transfer)) {
        return -1;
    }

    const CURLcode result = curl_easy_perform(h);
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    WarnOfBasicOnly(h, request);
    if (code == 0) {
        // No reply head: the request did not go through.
        return -1;
    }
    if (reply != nullptr) {
        KeepReply(result, transfer, target, *reply);
    }
    if (status != nullptr) {
        *status = static_cast<int>(code);
    }
    return 0;
}
