#include "BatchOutcomes.h"

#include <cstdio>
#include <ctime>

#include "DeviceListRules.h"
#include "RowPhase.h"
#include "app/ActivationText.h"
#include "model/DeviceText.h"
#include "model/SafeText.h"
#include "platform/Paths.h"
#include "platform/Pub.h"
#include "upgrade/UpgradeResult.h"

namespace {

std::string IsoUtc(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    const std::tm utc = PUB_UtcTime(t);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    return text;
}

std::string JsonQuote(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", u);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string CsvField(const std::string& text) {
    return CsvCell(text);
}

// Fields in the order added, as the CLI writes them.
class CJson {
public:
    CJson& Add(const std::string& name, const std::string& value) {
        return Raw(name, JsonQuote(value));
    }
    CJson& Add(const std::string& name, long long value) {
        return Raw(name, std::to_string(value));
    }
    CJson& Add(const std::string& name, double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", value);
        return Raw(name, text);
    }
    CJson& Raw(const std::string& name, const std::string& json) {
        m_text += (m_text.empty() ? "{" : ", ") + JsonQuote(name) + ": " + json;
        return *this;
    }
    std::string Text() const { return m_text.empty() ? "{}" : m_text + "}"; }

private:
    std::string m_text;
};

std::string JsonArray(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        out += (i == 0 ? "\n  " : ",\n  ") + items[i];
    }
    return out + (items.empty() ? "]" : "\n]");
}

}  // namespace

std::string OutcomeStatus(const CAMERA_OUTCOME& o) {
    if (o.code == 0) {
        return "upgraded";
    }
    const RowPhase phase = PhaseOfResult(o.code);
    if (phase == RowPhase::Skipped) {
        return "skipped";
    }
    if (o.code == UPGRADE_NOT_STARTED) {
        return "not-started";
    }
    if (o.code == UPGRADE_ELSEWHERE) {
        return "busy";  // another process upgrades it; retried only when asked
    }
    if (o.code == UPGRADE_CANCELLED || (o.openAtCancel && (o.prepared || o.attempts > 0))) {
        return "cancelled";
    }
    if (o.code >= 0 || o.attempts > 0) {
        return "failed";
    }
    return "not-started";
}

void CBatchOutcomes::Begin(const std::vector<DEVICE_S_INFO>& cameras, std::string package,
                           Clock::time_point now) {
    m_outcomes.clear();
    m_package = std::move(package);
    m_begin = now;
    for (const DEVICE_S_INFO& camera : cameras) {
        CAMERA_OUTCOME o;
        o.mac = std::string(FieldText(camera.mac));
        o.ip = std::string(FieldText(camera.ip));
        o.name = std::string(FieldText(camera.devName));
        o.oldVersion = DeviceVersionText(camera);
        m_outcomes.push_back(std::move(o));
    }
}

CAMERA_OUTCOME* CBatchOutcomes::Find(const std::string& mac) {
    for (CAMERA_OUTCOME& o : m_outcomes) {
        if (SameMac(o.mac, mac)) {
            return &o;
        }
    }
    return nullptr;
}

void CBatchOutcomes::Start(CAMERA_OUTCOME& o, Clock::time_point now) {
    if (o.startedAt.empty()) {
        o.startedAt = IsoUtc(now);
    }
}

void CBatchOutcomes::Prepared(const std::string& mac) {
    if (CAMERA_OUTCOME* o = Find(mac)) {
        o->prepared = true;
    }
}

void CBatchOutcomes::Progress(const std::string& mac, Clock::time_point now) {
    if (CAMERA_OUTCOME* o = Find(mac)) {
        Start(*o, now);
    }
}

void CBatchOutcomes::Result(const std::string& mac, int code, const DEVICE_S_INFO* current,
                            Clock::time_point now) {
    CAMERA_OUTCOME* o = Find(mac);
    if (o == nullptr) {
        return;
    }
    if (code == UPGRADE_STATE_STARTING) {
        Start(*o, now);
        ++o->attempts;
        return;
    }
    if (IsIntermediateResult(code) || code == UPGRADE_QUEUED) {
        return;
    }
    o->code = code;
    o->endedAt = IsoUtc(now);
    o->seconds = Elapsed(now);
    if (code == 0 && current != nullptr) {
        o->newVersion = DeviceVersionText(*current);
    }
}

void CBatchOutcomes::MarkCancelled() {
    for (CAMERA_OUTCOME& o : m_outcomes) {
        o.openAtCancel = o.code < 0;
    }
}

double CBatchOutcomes::Elapsed(Clock::time_point now) const {
    return std::chrono::duration<double>(now - m_begin).count();
}

std::string OutcomeReportText(const std::vector<CAMERA_OUTCOME>& outcomes,
                              const std::string& package, bool csv) {
    std::string text;
    if (csv) {
        text =
            "mac,ip,code,text,oldVersion,newVersion,attempts,seconds,status,name,package,"
            "startedAt,endedAt\n";
        for (const CAMERA_OUTCOME& o : outcomes) {
            text += CsvField(o.mac) + ',' + CsvField(o.ip) + ',' + std::to_string(o.code) + ',' +
                    CsvField(ResultCodeToText(o.code)) + ',' + CsvField(o.oldVersion) + ',' +
                    CsvField(o.newVersion) + ',' + std::to_string(o.attempts) + ',' +
                    Seconds(o.seconds) + ',' + OutcomeStatus(o) + ',' + CsvField(o.name) + ',' +
                    CsvField(package) + ',' + o.startedAt + ',' + o.endedAt + '\n';
        }
        return text;
    }
    std::vector<std::string> items;
    for (const CAMERA_OUTCOME& o : outcomes) {
        items.push_back(CJson()
                            .Add("mac", o.mac)
                            .Add("ip", o.ip)
                            .Add("code", static_cast<long long>(o.code))
                            .Add("text", ResultCodeToText(o.code))
                            .Add("status", OutcomeStatus(o))
                            .Add("oldVersion", o.oldVersion)
                            .Add("newVersion", o.newVersion)
                            .Add("attempts", static_cast<long long>(o.attempts))
                            .Add("seconds", o.seconds)
                            .Add("name", o.name)
                            .Add("package", package)
                            .Add("startedAt", o.startedAt)
                            .Add("endedAt", o.endedAt)
                            .Text());
    }
    return "{\"results\": " + JsonArray(items) + "}\n";
}

std::string DeviceListText(const std::vector<DEVICE_S_INFO>& devices, bool csv) {
    const auto F = [](const auto& field) { return std::string(FieldText(field)); };
    std::string text;
    if (csv) {
        text = "devName,mac,ip,ip2,productModel,versionText,buildDate,kernelVer,activationText\n";
    }
    std::vector<std::string> items;
    for (const DEVICE_S_INFO& r : devices) {
        std::string activation;
        DeviceActivationText(r, activation);
        const std::string version = DeviceVersionText(r);
        if (csv) {
            text += CsvField(F(r.devName)) + ',' + CsvField(F(r.mac)) + ',' + CsvField(F(r.ip)) +
                    ',' + CsvField(F(r.ip2)) + ',' + CsvField(F(r.productModel)) + ',' +
                    CsvField(version) + ',' + CsvField(F(r.buildDate)) + ',' +
                    CsvField(F(r.kernelVer)) + ',' + CsvField(activation) + '\n';
            continue;
        }
        items.push_back(CJson()
                            .Add("devName", F(r.devName))
                            .Add("mac", F(r.mac))
                            .Add("ip", F(r.ip))
                            .Add("ip2", F(r.ip2))
                            .Add("mask", F(r.mask))
                            .Add("mask2", F(r.mask2))
                            .Add("dataPort", static_cast<long long>(r.dataPort))
                            .Add("httpPort", static_cast<long long>(r.httpPort))
                            .Add("productModel", F(r.productModel))
                            .Add("softwareVer", F(r.softwareVer))
                            .Add("buildDate", F(r.buildDate))
                            .Add("kernelVer", F(r.kernelVer))
                            .Add("hardwareVer", F(r.hardwareVer))
                            .Add("build", static_cast<long long>(r.build))
                            .Add("deviceActivated", static_cast<long long>(r.deviceActivated))
                            .Add("versionText", version)
                            .Add("activationText", activation)
                            .Text());
    }
    return csv ? text : JsonArray(items) + "\n";
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    // A temporary file renamed over the target: a link there is replaced,
    // never followed.
    return platform::WriteReportFile(path, text);
}
