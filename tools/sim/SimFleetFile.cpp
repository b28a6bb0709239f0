#include "SimFleetFile.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "SimJson.h"
#include "SimNet.h"
#include "SimWire.h"

namespace {

constexpr int kMaxCameras = 4096;
constexpr size_t kMaxFleetFile = 16u << 20;
constexpr size_t kMaxPackage = 1u << 30;

class Reader {
public:
    Reader(std::string baseDir, std::string* error)
        : m_baseDir(std::move(baseDir)), m_error(error) {}

    bool Fail(const std::string& where, const std::string& what) {
        if (m_error)
            *m_error = where + ": " + what;
        return false;
    }

    bool Text(const CSimJson& v, const std::string& where, std::string* out) {
        if (!v.IsString())
            return Fail(where, "expected a text");
        *out = v.String();
        return true;
    }

    bool OptionalText(const CSimJson& v, const std::string& where,
                      std::optional<std::string>* out) {
        if (v.IsNull()) {
            out->reset();
            return true;
        }
        std::string text;
        if (!Text(v, where, &text))
            return false;
        *out = text;
        return true;
    }

    bool Flag(const CSimJson& v, const std::string& where, bool* out) {
        if (!v.IsBool())
            return Fail(where, "expected true or false");
        *out = v.Bool();
        return true;
    }

    // A number, or a text holding a decimal or 0x-prefixed hexadecimal number.
    bool Unsigned(const CSimJson& v, const std::string& where, uint64_t max, uint64_t* out) {
        uint64_t value = 0;
        if (v.IsInteger() && v.Integer() >= 0) {
            value = static_cast<uint64_t>(v.Integer());
        } else if (v.IsString() && !v.String().empty()) {
            const std::string& s = v.String();
            const bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
            const std::string digits = hex ? s.substr(2) : s;
            if (digits.empty() || digits.size() > 16 ||
                digits.find_first_not_of(hex ? "0123456789abcdefABCDEF" : "0123456789") !=
                    std::string::npos) {
                return Fail(where, "expected a number");
            }
            value = std::stoull(digits, nullptr, hex ? 16 : 10);
        } else {
            return Fail(where, "expected a non-negative number");
        }
        if (value > max)
            return Fail(where, "number above " + std::to_string(max));
        *out = value;
        return true;
    }

    template <typename T>
    bool Number(const CSimJson& v, const std::string& where, uint64_t max, T* out) {
        uint64_t value = 0;
        if (!Unsigned(v, where, max, &value))
            return false;
        *out = static_cast<T>(value);
        return true;
    }

    bool Address(const CSimJson& v, const std::string& where, bool mayBeEmpty, std::string* out) {
        if (!Text(v, where, out))
            return false;
        if ((out->empty() && !mayBeEmpty) || (!out->empty() && !simnet::IsIPv4(*out))) {
            return Fail(where, "expected an IPv4 address");
        }
        return true;
    }

    bool Package(const CSimJson& v, const std::string& where, std::vector<uint8_t>* out) {
        std::string path;
        if (!Text(v, where, &path))
            return false;
        if (!path.empty() && path[0] != '/' && !m_baseDir.empty()) {
            path = m_baseDir + "/" + path;
        }
        std::ifstream file(path, std::ios::binary);
        if (!file)
            return Fail(where, "cannot open " + path);
        file.seekg(0, std::ios::end);
        const std::streamoff size = file.tellg();
        if (size < 0 || static_cast<uint64_t>(size) > kMaxPackage) {
            return Fail(where, "package too large: " + path);
        }
        file.seekg(0);
        out->resize(static_cast<size_t>(size));
        file.read(reinterpret_cast<char*>(out->data()), size);
        return static_cast<bool>(file) || Fail(where, "cannot read " + path);
    }

    bool Faults(const CSimJson& v, const std::string& where, SimFaults* f) {
        if (!v.IsObject())
            return Fail(where, "expected an object");
        for (const auto& [key, value] : v.Members()) {
            const std::string at = where + "." + key;
            bool ok = true;
            if (key == "loginErrors") {
                if (!value.IsArray())
                    return Fail(at, "expected a list of numbers");
                f->loginErrors.clear();
                for (const auto& item : value.Items()) {
                    uint32_t error = 0;
                    if (!Number(item, at, 0xFFFFFFFFu, &error))
                        return false;
                    f->loginErrors.push_back(error);
                }
            } else if (key == "tooManyConnections")
                ok = Flag(value, at, &f->tooManyConnections);
            else if (key == "maxSessions")
                ok = Number(value, at, 1000000, &f->maxSessions);
            else if (key == "upgradeErrorAtBlock")
                ok = Number(value, at, 100, &f->upgradeErrorAtBlock);
            else if (key == "upgradeErrorWord")
                ok = Number(value, at, 0xFFFFFFFFu, &f->upgradeErrorWord);
            else if (key == "closeAtBlock")
                ok = Number(value, at, 100, &f->closeAtBlock);
            else if (key == "stopAcksAtBlock")
                ok = Number(value, at, 100, &f->stopAcksAtBlock);
            else if (key == "invalidHeadAtBlock")
                ok = Number(value, at, 100, &f->invalidHeadAtBlock);
            else if (key == "invalidHeadAtLogin")
                ok = Flag(value, at, &f->invalidHeadAtLogin);
            else if (key == "silentLogin")
                ok = Flag(value, at, &f->silentLogin);
            else if (key == "fragmentReplies")
                ok = Flag(value, at, &f->fragmentReplies);
            else if (key == "neverReturn")
                ok = Flag(value, at, &f->neverReturn);
            else if (key == "sameVersionOnReturn")
                ok = Flag(value, at, &f->sameVersionOnReturn);
            else if (key == "ip2ChangeAfterMs")
                ok = Number(value, at, 0xFFFFFFFFu, &f->ip2ChangeAfterMs);
            else if (key == "ip2ChangeTo")
                ok = Address(value, at, true, &f->ip2ChangeTo);
            else if (key == "ip2ChangeMask")
                ok = Text(value, at, &f->ip2ChangeMask);
            else if (key == "http404")
                ok = Flag(value, at, &f->http404);
            else if (key == "httpChunked")
                ok = Flag(value, at, &f->httpChunked);
            else
                return Fail(at, "unknown fault");
            if (!ok)
                return false;
        }
        return true;
    }

    bool Protection(const CSimJson& v, const std::string& where, SimProtection* out) {
        std::string text;
        if (!Text(v, where, &text))
            return false;
        static const std::map<std::string, SimProtection> names = {
            {"none", SimProtection::None},
            {"xor", SimProtection::Xor},
            {"loginEncrypt1", SimProtection::LoginEncrypt1},
            {"loginEncrypt2", SimProtection::LoginEncrypt2}};
        auto it = names.find(text);
        if (it == names.end())
            return Fail(where, "expected none, xor, loginEncrypt1 or loginEncrypt2");
        *out = it->second;
        return true;
    }

    bool HttpAuth(const CSimJson& v, const std::string& where, SimHttpAuth* out) {
        std::string text;
        if (!Text(v, where, &text))
            return false;
        if (text == "none")
            *out = SimHttpAuth::None;
        else if (text == "basic")
            *out = SimHttpAuth::Basic;
        else if (text == "digest")
            *out = SimHttpAuth::Digest;
        else
            return Fail(where, "expected none, basic or digest");
        return true;
    }

    // Applies the members of one camera object (or of "defaults").
    bool Camera(const CSimJson& v, const std::string& where, SimCameraConfig* c, int* repeat) {
        if (!v.IsObject())
            return Fail(where, "expected an object");
        for (const auto& [key, value] : v.Members()) {
            const std::string at = where + "." + key;
            bool ok = true;
            if (key == "mac") {
                std::array<uint8_t, 6> bytes{};
                ok = Text(value, at, &c->mac);
                if (ok && !simwire::ParseMac(c->mac, &bytes))
                    return Fail(at, "expected six hex pairs joined by ':'");
            } else if (key == "ip")
                ok = Address(value, at, false, &c->ip);
            else if (key == "mask")
                ok = Text(value, at, &c->mask);
            else if (key == "ip2")
                ok = Address(value, at, true, &c->ip2);
            else if (key == "mask2")
                ok = Text(value, at, &c->mask2);
            else if (key == "dataPort")
                ok = Number(value, at, 65535, &c->dataPort);
            else if (key == "httpPort")
                ok = Number(value, at, 65535, &c->httpPort);
            else if (key == "searchPort")
                ok = Number(value, at, 65535, &c->searchPort);
            else if (key == "name")
                ok = Text(value, at, &c->name);
            else if (key == "model")
                ok = Text(value, at, &c->model);
            else if (key == "series")
                ok = Text(value, at, &c->series);
            else if (key == "softwareVer")
                ok = Text(value, at, &c->softwareVer);
            else if (key == "build")
                ok = Number(value, at, 0x7FFFFFFF, &c->build);
            else if (key == "buildDate")
                ok = Text(value, at, &c->buildDate);
            else if (key == "kernelVer")
                ok = Text(value, at, &c->kernelVer);
            else if (key == "hardwareVer")
                ok = Text(value, at, &c->hardwareVer);
            else if (key == "deviceActivated")
                ok = Number(value, at, 0x7FFFFFFF, &c->deviceActivated);
            else if (key == "deviceType")
                ok = Number(value, at, 0xFFFFFFFFu, &c->deviceType);
            else if (key == "productType")
                ok = Number(value, at, 0xFFFFFFFFu, &c->productType);
            else if (key == "protocolVersion")
                ok = Number(value, at, 0xFFFFFFFFu, &c->protocolVersion);
            else if (key == "protection")
                ok = Protection(value, at, &c->protection);
            else if (key == "encryptParam") {
                uint32_t param = 0;
                ok = Number(value, at, 0xFFFFFFFFu, &param);
                c->encryptParam = param;
            } else if (key == "loginNonce") {
                uint32_t nonce = 0;
                ok = Number(value, at, 0xFFFFFF, &nonce);
                c->loginNonce = nonce;
            } else if (key == "streamEncrypted")
                ok = Flag(value, at, &c->streamEncrypted);
            else if (key == "user")
                ok = Text(value, at, &c->user);
            else if (key == "password")
                ok = Text(value, at, &c->password);
            else if (key == "httpAuth")
                ok = HttpAuth(value, at, &c->httpAuth);
            else if (key == "versionWord")
                ok = Number(value, at, 0xFFFFFFFFu, &c->versionWord);
            else if (key == "upgradeSoftwareVer")
                ok = Text(value, at, &c->upgradeSoftwareVer);
            else if (key == "upgradeBuild")
                ok = Number(value, at, 0x7FFFFFFF, &c->upgradeBuild);
            else if (key == "upgradeVersionWord")
                ok = Number(value, at, 0xFFFFFFFFu, &c->upgradeVersionWord);
            else if (key == "package")
                ok = Package(value, at, &c->package);
            else if (key == "flashMs")
                ok = Number(value, at, 0xFFFFFFFFu, &c->flashMs);
            else if (key == "offlineMs")
                ok = Number(value, at, 0xFFFFFFFFu, &c->offlineMs);
            else if (key == "structVersion")
                ok = OptionalText(value, at, &c->structVersion);
            else if (key == "faceDetectVersion")
                ok = OptionalText(value, at, &c->faceDetectVersion);
            else if (key == "vehicleVersion")
                ok = OptionalText(value, at, &c->vehicleVersion);
            else if (key == "faults")
                ok = Faults(value, at, &c->faults);
            else if (key == "switchedOff")
                ok = Flag(value, at, &c->switchedOff);
            else if (key == "repeat" && repeat)
                ok = Number(value, at, kMaxCameras, repeat);
            else
                return Fail(at, "unknown key");
            if (!ok)
                return false;
        }
        return true;
    }

private:
    std::string m_baseDir;
    std::string* m_error;
};

std::string AddressPlus(const std::string& ip, uint32_t add) {
    uint32_t address = 0;
    if (ip.empty() || !simnet::ParseIPv4(ip, &address))
        return ip;
    return simnet::FormatIPv4(address + add);
}

}  // namespace

std::string SimMacPlus(const std::string& mac, uint32_t add) {
    std::array<uint8_t, 6> bytes{};
    if (!simwire::ParseMac(mac, &bytes))
        return "";
    uint64_t value = 0;
    for (uint8_t b : bytes)
        value = (value << 8) | b;
    value = (value + add) & 0xFFFFFFFFFFFFull;
    char text[18];
    std::snprintf(text, sizeof text, "%02X:%02X:%02X:%02X:%02X:%02X", unsigned(value >> 40) & 0xFF,
                  unsigned(value >> 32) & 0xFF, unsigned(value >> 24) & 0xFF,
                  unsigned(value >> 16) & 0xFF, unsigned(value >> 8) & 0xFF,
                  unsigned(value) & 0xFF);
    return text;
}

bool SimParseFleet(const std::string& json, const std::string& baseDir, SimFleetFile* out,
                   std::string* error) {
    CSimJson root;
    if (!CSimJson::Parse(json, &root, error)) {
        return false;
    }
    Reader reader(baseDir, error);
    if (!root.IsObject())
        return reader.Fail("fleet", "expected an object");
    SimCameraConfig defaults;
    defaults.offlineMs = kSimProgramOfflineMs;
    uint16_t searchPort = 0;
    const CSimJson* cameras = nullptr;
    for (const auto& [key, value] : root.Members()) {
        if (key == "searchPort") {
            if (!reader.Number(value, "searchPort", 65535, &searchPort))
                return false;
        } else if (key == "defaults") {
            // read below, after searchPort, so a default searchPort wins over the top-level one
        } else if (key == "cameras") {
            cameras = &value;
        } else {
            return reader.Fail(key, "unknown key");
        }
    }
    defaults.searchPort = searchPort;
    if (const CSimJson* d = root.Find("defaults")) {
        if (!reader.Camera(*d, "defaults", &defaults, nullptr))
            return false;
    }
    if (!cameras || !cameras->IsArray())
        return reader.Fail("cameras", "expected a list");
    SimFleetFile fleet;
    int index = 0;
    for (const auto& entry : cameras->Items()) {
        const std::string where = "cameras[" + std::to_string(index++) + "]";
        SimCameraConfig camera = defaults;
        int repeat = 1;
        if (!reader.Camera(entry, where, &camera, &repeat))
            return false;
        if (camera.mac.empty() || camera.ip.empty()) {
            return reader.Fail(where, "needs mac and ip");
        }
        for (int i = 0; i < repeat; ++i) {
            SimCameraConfig copy = camera;
            if (i > 0) {
                copy.mac = SimMacPlus(camera.mac, static_cast<uint32_t>(i));
                copy.ip = AddressPlus(camera.ip, static_cast<uint32_t>(i));
                copy.ip2 = AddressPlus(camera.ip2, static_cast<uint32_t>(i));
                copy.name = camera.name + " " + std::to_string(i + 1);
            }
            fleet.cameras.push_back(std::move(copy));
            if (fleet.cameras.size() > static_cast<size_t>(kMaxCameras)) {
                return reader.Fail(where, "more than " + std::to_string(kMaxCameras) + " cameras");
            }
        }
    }
    *out = std::move(fleet);
    return true;
}

bool SimLoadFleetFile(const std::string& path, SimFleetFile* out, std::string* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    if (text.str().size() > kMaxFleetFile) {
        if (error)
            *error = path + " is too large";
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string baseDir = slash == std::string::npos ? "." : path.substr(0, slash);
    return SimParseFleet(text.str(), baseDir, out, error);
}
