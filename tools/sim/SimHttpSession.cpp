#include "SimHttpSession.h"

#include <strings.h>

#include <cstdio>

#include "SimCamera.h"
#include "SimHttpAuth.h"
#include "SimReactor.h"
#include "SimXml.h"

namespace {

std::string LowerHeaderText(std::string text) {
    for (char& c : text)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string TrimHeaderText(const std::string& s) {
    size_t a = 0;
    size_t b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t'))
        --b;
    return s.substr(a, b - a);
}

const char* Reason(int status) {
    switch (status) {
        case 100:
            return "Continue";
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Payload Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 501:
            return "Not Implemented";
        default:
            return "Error";
    }
}

}  // namespace

CSimHttpSession::CSimHttpSession(CSimCamera& camera, CSimFd fd, int id, std::string peer)
    : m_camera(camera), m_fd(std::move(fd)), m_id(id), m_peer(std::move(peer)) {
    m_lastActivityMs = CSimReactor::NowMs();
    m_camera.Reactor().Watch(m_fd.Get(), false, [this](bool r, bool w) { OnIo(r, w); });
    ArmIdle(kIdleMs);
}

CSimHttpSession::~CSimHttpSession() {
    Close();
}

void CSimHttpSession::Close() {
    if (m_closed) {
        return;
    }
    m_closed = true;
    if (m_idleTimer) {
        m_camera.Reactor().Cancel(m_idleTimer);
        m_idleTimer = 0;
    }
    m_camera.Reactor().Unwatch(m_fd.Get());
    m_fd.Reset();
}

void CSimHttpSession::Finish() {
    Close();
    m_camera.DropHttpSession(m_id);
}

void CSimHttpSession::ArmIdle(uint32_t ms) {
    m_idleTimer = m_camera.Reactor().After(ms, [this] {
        m_idleTimer = 0;
        const uint64_t idle = CSimReactor::NowMs() - m_lastActivityMs;
        if (idle >= kIdleMs) {
            Finish();
        } else {
            ArmIdle(static_cast<uint32_t>(kIdleMs - idle));
        }
    });
}

void CSimHttpSession::OnIo(bool readable, bool writable) {
    if (writable) {
        Flush();
    }
    if (!readable || m_closed) {
        return;
    }
    char buffer[16384];
    for (;;) {
        const long n = simnet::RecvSome(m_fd.Get(), buffer, sizeof buffer);
        if (n == -1) {
            break;
        }
        if (n <= 0) {
            Finish();
            return;
        }
        m_lastActivityMs = CSimReactor::NowMs();
        m_in.append(buffer, static_cast<size_t>(n));
        if (m_in.size() > kMaxHead + kMaxBody) {
            Fail(413);
            return;
        }
    }
    ProcessInput();
}

void CSimHttpSession::ProcessInput() {
    while (!m_closed && !m_closeAfterFlush) {
        const size_t headEnd = m_in.find("\r\n\r\n");
        if (headEnd == std::string::npos) {
            if (m_in.size() > kMaxHead)
                Fail(431);
            return;
        }
        if (headEnd > kMaxHead) {
            Fail(431);
            return;
        }
        Request request;
        size_t lineEnd = m_in.find("\r\n");
        const std::string first = m_in.substr(0, lineEnd);
        const size_t sp1 = first.find(' ');
        const size_t sp2 = first.rfind(' ');
        if (sp1 == std::string::npos || sp2 == sp1) {
            Fail(400);
            return;
        }
        request.method = first.substr(0, sp1);
        request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
        request.version = first.substr(sp2 + 1);
        if (request.version.rfind("HTTP/1.", 0) != 0 || request.target.empty()) {
            Fail(400);
            return;
        }
        size_t pos = lineEnd + 2;
        while (pos < headEnd) {
            lineEnd = m_in.find("\r\n", pos);
            const std::string line = m_in.substr(pos, lineEnd - pos);
            pos = lineEnd + 2;
            const size_t colon = line.find(':');
            if (colon == std::string::npos || colon == 0) {
                Fail(400);
                return;
            }
            request.headers[LowerHeaderText(TrimHeaderText(line.substr(0, colon)))] =
                TrimHeaderText(line.substr(colon + 1));
        }
        if (request.headers.count("transfer-encoding")) {
            Fail(501);  // request bodies come with a Content-Length
            return;
        }
        size_t bodyLength = 0;
        if (auto it = request.headers.find("content-length"); it != request.headers.end()) {
            const std::string& text = it->second;
            if (text.empty() || text.size() > 9 ||
                text.find_first_not_of("0123456789") != std::string::npos) {
                Fail(400);
                return;
            }
            bodyLength = std::stoul(text);
            if (bodyLength > kMaxBody) {
                Fail(413);
                return;
            }
        }
        const size_t bodyStart = headEnd + 4;
        if (m_in.size() - bodyStart < bodyLength) {
            auto expect = request.headers.find("expect");
            if (expect != request.headers.end() &&
                LowerHeaderText(expect->second) == "100-continue" && !m_sentContinue) {
                m_sentContinue = true;
                m_out += "HTTP/1.1 100 Continue\r\n\r\n";
                Flush();
            }
            return;
        }
        request.body = m_in.substr(bodyStart, bodyLength);
        m_in.erase(0, bodyStart + bodyLength);
        m_sentContinue = false;
        Handle(request);
    }
}

std::string CSimHttpSession::Authenticate(const Request& request) {
    const SimCameraConfig& config = m_camera.Config();
    if (config.httpAuth == SimHttpAuth::None) {
        return "none";
    }
    auto it = request.headers.find("authorization");
    if (it == request.headers.end()) {
        return "missing";
    }
    if (config.httpAuth == SimHttpAuth::Basic) {
        return simhttp::CheckBasic(it->second, config.user, config.password) ? "ok" : "wrong";
    }
    std::map<std::string, std::string> p;
    if (!simhttp::ParseDigest(it->second, &p)) {
        return "wrong";
    }
    const std::string algorithm = LowerHeaderText(p["algorithm"]);
    const std::string qop = p["qop"];
    if (p["username"] != config.user || p["realm"] != simhttp::kRealm ||
        p["uri"] != request.target || (!algorithm.empty() && algorithm != "md5") ||
        (!qop.empty() && (qop != "auth" || p["nc"].empty() || p["cnonce"].empty()))) {
        return "wrong";
    }
    if (!m_camera.KnownDigestNonce(p["nonce"])) {
        return "stale";
    }
    const std::string expected =
        simhttp::DigestResponse(config.user, simhttp::kRealm, config.password, request.method,
                                request.target, p["nonce"], p["nc"], p["cnonce"], qop);
    return strcasecmp(expected.c_str(), p["response"].c_str()) == 0 ? "ok" : "wrong";
}

std::string CSimHttpSession::DeviceInfoXml() const {
    const SimCameraConfig& config = m_camera.Config();
    CSimXmlWriter xml;
    xml.Open("config");
    xml.Open("deviceInfo");
    xml.Element("deviceName", config.name);
    xml.Element("mac", config.mac);
    xml.Element("model", config.model);
    xml.Element("softwareVersion", config.softwareVer);
    if (config.structVersion)
        xml.Element("structVersion", *config.structVersion);
    if (config.faceDetectVersion)
        xml.Element("faceDetectVersion", *config.faceDetectVersion);
    if (config.vehicleVersion)
        xml.Element("vehicleVersion", *config.vehicleVersion);
    xml.Close();
    xml.Close();
    return xml.Text();
}

void CSimHttpSession::Handle(const Request& request) {
    m_camera.CountHttpRequest();
    const SimCameraConfig& config = m_camera.Config();
    const std::string connection = LowerHeaderText(
        request.headers.count("connection") ? request.headers.at("connection") : std::string());
    const bool close =
        connection == "close" || (request.version == "HTTP/1.0" && connection != "keep-alive");
    const std::string path = request.target.substr(0, request.target.find('?'));

    int status = 200;
    std::string auth = "-";
    std::string extraHeaders;
    std::string contentType = "text/html";
    std::string body;
    bool chunked = false;
    if (config.faults.http404 || path != "/GetDeviceInfo") {
        status = 404;
        body = "<html><body>404 Not Found</body></html>\n";
    } else if (auth = Authenticate(request); auth != "ok" && auth != "none") {
        status = 401;
        if (config.httpAuth == SimHttpAuth::Basic) {
            extraHeaders =
                std::string("WWW-Authenticate: Basic realm=\"") + simhttp::kRealm + "\"\r\n";
        } else {
            extraHeaders = std::string("WWW-Authenticate: Digest realm=\"") + simhttp::kRealm +
                           "\", qop=\"auth\", nonce=\"" + m_camera.NewDigestNonce() +
                           "\", opaque=\"" + m_camera.DigestOpaque() + "\", algorithm=MD5" +
                           (auth == "stale" ? ", stale=true" : "") + "\r\n";
        }
        body = "<html><body>401 Unauthorized</body></html>\n";
    } else if (request.method != "POST") {
        status = 405;
        extraHeaders = "Allow: POST\r\n";
    } else {
        contentType = "application/xml; charset=utf-8";
        body = DeviceInfoXml();
        chunked = config.faults.httpChunked;
    }
    // Logged before the answer leaves, so a client that has its answer finds the event.
    SimEvent e;
    e.kind = "http";
    m_camera.Log(std::move(e.Add("method", request.method)
                               .Add("path", request.target)
                               .Add("status", status)
                               .Add("auth", auth)
                               .Add("peer", m_peer)));
    Respond(status, extraHeaders, contentType, body, chunked, close);
}

void CSimHttpSession::Respond(int status, const std::string& extraHeaders,
                              const std::string& contentType, const std::string& body, bool chunked,
                              bool close) {
    char line[64];
    std::snprintf(line, sizeof line, "HTTP/1.1 %d %s\r\n", status, Reason(status));
    std::string out = line;
    out += "Server: KMR-IPC\r\n";
    out += extraHeaders;
    out += "Content-Type: " + contentType + "\r\n";
    if (chunked) {
        out += "Transfer-Encoding: chunked\r\n";
    } else {
        out += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    out += close ? "Connection: close\r\n\r\n" : "Connection: keep-alive\r\n\r\n";
    if (chunked) {
        const size_t half = body.size() / 2;
        for (const std::string& piece : {body.substr(0, half), body.substr(half)}) {
            if (piece.empty())
                continue;
            char size[24];
            std::snprintf(size, sizeof size, "%zx", piece.size());
            out += std::string(size) + "\r\n" + piece + "\r\n";
        }
        out += "0\r\n\r\n";
    } else {
        out += body;
    }
    m_out += out;
    m_closeAfterFlush = m_closeAfterFlush || close;
    Flush();
}

void CSimHttpSession::Fail(int status) {
    SimEvent e;
    e.kind = "http";
    m_camera.Log(std::move(e.Add("method", "-")
                               .Add("path", "-")
                               .Add("status", status)
                               .Add("auth", "-")
                               .Add("peer", m_peer)));
    Respond(status, "", "text/html", "", false, true);
}

void CSimHttpSession::Flush() {
    while (!m_closed && m_outPos < m_out.size()) {
        const long n =
            simnet::SendSome(m_fd.Get(), m_out.data() + m_outPos, m_out.size() - m_outPos);
        if (n == -1) {
            break;
        }
        if (n < 0) {
            Finish();
            return;
        }
        m_outPos += static_cast<size_t>(n);
    }
    if (m_closed) {
        return;
    }
    if (m_outPos == m_out.size()) {
        m_out.clear();
        m_outPos = 0;
        if (m_closeAfterFlush) {
            Finish();
            return;
        }
    }
    const bool want = m_outPos < m_out.size();
    if (want != m_wantWrite) {
        m_wantWrite = want;
        m_camera.Reactor().SetWrite(m_fd.Get(), want);
    }
}
