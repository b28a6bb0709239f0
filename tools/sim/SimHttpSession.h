// One HTTP/1.1 connection to a camera's web port: requests in order on a
// kept-alive connection, Basic or Digest authentication, and the device API
// call GetDeviceInfo with the camera's analytics versions, or the HTTP
// faults the camera plays. Runs on the fleet's event loop.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "SimNet.h"

class CSimCamera;

class CSimHttpSession {
public:
    CSimHttpSession(CSimCamera& camera, CSimFd fd, int id, std::string peer);
    ~CSimHttpSession();
    CSimHttpSession(const CSimHttpSession&) = delete;
    CSimHttpSession& operator=(const CSimHttpSession&) = delete;

    void Close();

    static constexpr size_t kMaxHead = 16 * 1024;
    static constexpr size_t kMaxBody = 1024 * 1024;
    static constexpr uint32_t kIdleMs = 10000;

private:
    struct Request {
        std::string method;
        std::string target;
        std::string version;
        std::map<std::string, std::string> headers;  // lower-case names
        std::string body;
    };

    void OnIo(bool readable, bool writable);
    void ProcessInput();
    void Handle(const Request& request);
    // "ok", "none", "missing", "wrong" or "stale".
    std::string Authenticate(const Request& request);
    void Respond(int status, const std::string& extraHeaders, const std::string& contentType,
                 const std::string& body, bool chunked, bool close);
    void Fail(int status);
    void Flush();
    void Finish();
    void ArmIdle(uint32_t ms);
    std::string DeviceInfoXml() const;

    CSimCamera& m_camera;
    CSimFd m_fd;
    const int m_id;
    const std::string m_peer;
    bool m_closed = false;
    bool m_closeAfterFlush = false;
    bool m_sentContinue = false;
    bool m_wantWrite = false;
    std::string m_in;
    std::string m_out;
    size_t m_outPos = 0;
    uint64_t m_idleTimer = 0;
    uint64_t m_lastActivityMs = 0;
};
