// What a simulated camera is: its identity, addresses, protocol settings,
// credentials, versions, timings and the faults it plays. Plain values that
// tests fill in code and the fleet file fills from JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// How the camera wants the login credentials protected (announced in its
// 64-byte first message).
enum class SimProtection {
    None,           // encryptType 0, loginEncrypt 0: texts as they are
    Xor,            // encryptType 0x00010000 with the 4 key bytes encryptParam
    LoginEncrypt1,  // encryptType 0, loginEncrypt 1: SHA-1 of MD5 hex and nonce
    LoginEncrypt2,  // as 1, and the user name XORed with the nonce digits
};

// How the HTTP API asks for credentials.
enum class SimHttpAuth { None, Basic, Digest };

// Faults a camera plays. Every field's default means "behave well".
struct SimFaults {
    // Device errors given to the next logins, one per login, in order
    // (for example 23, 24, 2, 3, 13, 22, 30). An entry 0 lets that login be
    // judged normally. When the list is used up, logins are judged normally.
    std::vector<uint32_t> loginErrors;
    // Every login is refused with device error 4 (too many connections).
    bool tooManyConnections = false;
    // > 0: a login beyond this many logged-in connections is refused with 4.
    int maxSessions = 0;

    // > 0: block k is answered with the upgrade error word instead of an
    // acknowledgement. Word 22 (restart into upgrade mode) makes the camera
    // restart and come back in upgrade mode, where this fault no longer fires.
    int upgradeErrorAtBlock = 0;
    uint32_t upgradeErrorWord = 1;
    // > 0: the connection is closed when block k arrives (no answer).
    int closeAtBlock = 0;
    // > 0: blocks from k on are received but never acknowledged.
    int stopAcksAtBlock = 0;
    // > 0: block k is answered by a data head whose magic is not "1111".
    int invalidHeadAtBlock = 0;
    // The login reply comes behind a data head whose magic is not "1111".
    bool invalidHeadAtLogin = false;
    // Logins are read (and logged) but never answered.
    bool silentLogin = false;
    // Every framed reply is cut into fragments; fragments of an unknown
    // frame run in the other slot at the same time, and keep-alives,
    // unknown codes and a stray fragment are sent between them.
    bool fragmentReplies = false;

    // After flashing the camera goes offline and never comes back (until a
    // test calls SetOnline(true)).
    bool neverReturn = false;
    // After flashing the camera comes back with the version it had.
    bool sameVersionOnReturn = false;

    // > 0: this many ms after the camera started, its second address
    // becomes ip2ChangeTo / ip2ChangeMask (empty: the second address goes).
    uint32_t ip2ChangeAfterMs = 0;
    std::string ip2ChangeTo;
    std::string ip2ChangeMask;

    // HTTP: every request is answered 404.
    bool http404 = false;
    // HTTP: the reply body goes chunked, without Content-Length.
    bool httpChunked = false;
};

struct SimCameraConfig {
    // Identity and addresses. The MAC is six hex pairs joined by ':'.
    std::string mac;
    std::string ip;  // a loopback address 127.x.y.z
    std::string mask = "255.0.0.0";
    std::string ip2;  // optional second (slave) address
    std::string mask2;
    // 0 = bind port 0 and use (and advertise) the port the system picks.
    uint16_t dataPort = 0;
    uint16_t httpPort = 0;
    uint16_t searchPort = 0;

    // What the search reply says.
    std::string name = "Camera";
    std::string model = "IPC-2020";
    std::string series = "KMR_IPC_X";
    std::string softwareVer = "4.0.2";
    int build = 230118;
    std::string buildDate = "2023-01-18";
    std::string kernelVer = "4.9.37";
    std::string hardwareVer = "1.0";
    int deviceActivated = 0;  // 1: the client may upgrade without a login

    // The 64-byte first message.
    uint32_t deviceType = 0x00000005;
    uint32_t productType = 0x00002020;
    uint32_t protocolVersion = 3;
    SimProtection protection = SimProtection::None;
    // Key bytes (wire order, read as a little-endian word) for Xor; random
    // for each connection when absent.
    std::optional<uint32_t> encryptParam;
    // 24-bit nonce for the hashing modes; random for each connection when absent.
    std::optional<uint32_t> loginNonce;
    bool streamEncrypted = false;

    // Credentials of the binary protocol and of the HTTP API.
    std::string user = "admin";
    std::string password = "739518";
    SimHttpAuth httpAuth = SimHttpAuth::Digest;

    // The software version word sent in the login reply; 0 = made from
    // softwareVer ("4.0.2" -> 0x04000200).
    uint32_t versionWord = 0;
    // What the camera reports after an upgrade. Empty / 0 = keep the text,
    // build + 1, the word made from the text.
    std::string upgradeSoftwareVer;
    int upgradeBuild = 0;
    uint32_t upgradeVersionWord = 0;
    // The package the camera expects; when given, the payload's MD5 is
    // checked after block 100 (new style: the whole file; old style: the
    // file without its 64-byte trailer).
    std::vector<uint8_t> package;

    // Flashing (still answering TCP) after the last block, then silence.
    // In-process tests set their own; the program and fleet files start
    // from kSimProgramOfflineMs.
    uint32_t flashMs = 3000;
    uint32_t offlineMs = 5000;

    // Analytics versions of the HTTP API; an absent one is left out of the reply.
    std::optional<std::string> structVersion = std::string("1.0.0");
    std::optional<std::string> faceDetectVersion = std::string("1.0.0");
    std::optional<std::string> vehicleVersion = std::string("1.0.0");

    SimFaults faults;

    // Starts switched off: bound, but silent (no search reply, TCP and
    // HTTP refused) until switched on (SwitchOn, SetOnline, or SIGUSR1 to
    // the program), as a camera that is powered up later.
    bool switchedOff = false;
};

// The offline time of the program's cameras unless told otherwise: longer
// than the 10 s of refused connections that a client takes as "offline",
// so that a default camera restarts as a real slow one does.
constexpr uint32_t kSimProgramOfflineMs = 12000;

// Where a started camera can be reached.
struct SimCameraInfo {
    std::string mac;
    std::string ip;
    std::string ip2;
    uint16_t dataPort = 0;
    uint16_t httpPort = 0;
    uint16_t searchPort = 0;
};

// A snapshot of a camera's run-time state.
struct SimCameraState {
    bool online = false;
    // "online", "flashing", "offline"
    std::string phase;
    bool upgradeMode = false;
    std::string softwareVer;
    int build = 0;
    uint32_t versionWord = 0;
    std::string bootId;
    std::string ip2;
    std::string mask2;
    int connections = 0;        // open device-protocol connections
    int sessions = 0;           // of those, logged in
    int logins = 0;             // login requests seen since the fleet started
    int lastBlock = 0;          // last block accepted in the current transfer
    int upgradesCompleted = 0;  // transfers that reached block 100 and flashed
    int probesAnswered = 0;
    int httpRequests = 0;
};
