#include "BatchOutcomes.h"

#include <algorithm>

#include "app/ActivationText.h"
#include "model/DeviceJson.h"
#include "model/DeviceText.h"
#include "model/JsonText.h"
#include "model/MacAddress.h"
#include "model/SafeText.h"
#include "session/SessionFiles.h"
#include "session/SessionTypes.h"

void CBatchOutcomes::Begin(const std::vector<DEVICE_S_INFO>& cameras,
                           const std::vector<BatchPackage>& packages, Clock::time_point now) {
    std::vector<CameraOutcome> outcomes;
    m_begin = now;
    for (const DEVICE_S_INFO& camera : cameras) {
        outcomes.push_back(OutcomeBefore(camera, packages));
    }
    m_record = CBatchRecord(std::move(outcomes));
    m_packages = packages;
    m_awaited.clear();
}

void CBatchOutcomes::Awaited(const std::string& mac, const std::string& waitText) {
    if (const auto i = m_record.Find(mac)) {
        CameraOutcome& o = m_record.Outcomes()[*i];
        o.awaitedFor = waitText;
        o.oldVersion.clear();  // not known before the search finds it
        m_awaited.push_back(MacKey(mac));
    }
}

void CBatchOutcomes::Found(const DEVICE_S_INFO& record) {
    const std::string key = MacKey(FieldText(record.mac));
    const auto awaited = std::find(m_awaited.begin(), m_awaited.end(), key);
    if (awaited == m_awaited.end()) {
        return;
    }
    m_awaited.erase(awaited);
    if (const auto i = m_record.Find(key)) {
        // What the search says of it, as for a camera found before the start.
        const CameraOutcome found = OutcomeBefore(record, m_packages);
        CameraOutcome& o = m_record.Outcomes()[*i];
        o.ip = found.ip;
        o.name = found.name;
        o.oldVersion = found.oldVersion;
        o.package = found.package;
    }
}

void CBatchOutcomes::Prepared(const std::string& mac, Clock::time_point now) {
    if (const auto i = m_record.Find(mac)) {
        m_record.Prepared(*i);
        StampOutcomeTimes(m_record.Outcomes()[*i], now);
    }
}

void CBatchOutcomes::Progress(const std::string& mac, int progress, Clock::time_point now) {
    if (const auto i = m_record.Find(mac)) {
        const int shown = progress + 1;
        m_record.BlockSent(*i, shown, shown >= static_cast<int>(UPGRADE_BLOCK_COUNT), Elapsed(now));
        StampOutcomeTimes(m_record.Outcomes()[*i], now);
    }
}

void CBatchOutcomes::Result(const std::string& mac, UpgradeProgress state, Clock::time_point now) {
    const auto i = m_record.Find(mac);
    if (!i) {
        return;
    }
    if (state == UpgradeProgress::Starting) {
        m_record.AttemptStarted(*i, Elapsed(now));
    }
    StampOutcomeTimes(m_record.Outcomes()[*i], now);
}

void CBatchOutcomes::Result(const std::string& mac, UpgradeResult code,
                            const DEVICE_S_INFO* current, Clock::time_point now) {
    const auto i = m_record.Find(mac);
    if (!i) {
        return;
    }
    CameraOutcome& o = m_record.Outcomes()[*i];
    m_record.Finished(*i, code, Elapsed(now));
    if (code == UpgradeResult::Ok && current != nullptr) {
        o.newVersion = DeviceVersionText(*current);
    }
    StampOutcomeTimes(o, now);
}

void CBatchOutcomes::MarkCancelled() {
    m_record.MarkCancelled();
}

double CBatchOutcomes::Elapsed(Clock::time_point now) const {
    return std::chrono::duration<double>(now - m_begin).count();
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
        items.push_back(DeviceJsonObject(r, activation).Text());
    }
    return csv ? text : JsonArray(items) + "\n";
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    // A temporary file renamed over the target: a link there is replaced,
    // never followed.
    return platform::WriteReportFile(path, text);
}
