#include "upgrade/RunJournal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <type_traits>

#include "app/Logger.h"
#include "model/DeviceText.h"
#include "model/MacAddress.h"
#include "model/WaitDuration.h"
#include "platform/Paths.h"
#include "platform/Pub.h"
#include "upgrade/UpgradeResult.h"

FH_LOG_SOURCE("RunJournal");

using nlohmann::json;

namespace {

constexpr size_t kMaxJournalBytes = 64u << 20;
constexpr size_t kMaxCameras = 100000;
constexpr const char* kSuffix = ".jsonl";
constexpr size_t kMaxWaitTextLength = 16;

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::string NewRunId() {
    const std::tm utc = PUB_UtcTime(std::time(nullptr));
    char text[32];
    std::strftime(text, sizeof(text), "%Y%m%dT%H%M%SZ", &utc);
    return std::string(text) + "-" + std::to_string(PUB_GetProcessId());
}

// A whole number that fits `T`; anything else (a fraction, 1e300, a value
// past the type's range) is a line of the wrong shape, never a conversion
// the language leaves undefined.
template <typename T>
T WholeNumber(const json& value) {
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        if (number <= static_cast<uint64_t>(std::numeric_limits<T>::max())) {
            return static_cast<T>(number);
        }
    } else if (value.is_number_integer()) {
        const int64_t number = value.get<int64_t>();
        if (number >= std::numeric_limits<T>::min() && number <= std::numeric_limits<T>::max()) {
            return static_cast<T>(number);
        }
    }
    throw std::out_of_range("not a whole number in range: " + value.dump().substr(0, 40));
}

template <typename T>
T Field(const json& line, const char* key, T fallback) {
    const auto it = line.find(key);
    if (it == line.end()) {
        return fallback;
    }
    if constexpr (std::is_integral_v<T>) {
        return WholeNumber<T>(*it);
    } else {
        return it->get<T>();
    }
}

// A "step" line: a step begins, or a resumed run takes up the step the
// camera was on (the same number, not yet passed).
void ApplyStepLine(const json& line, JOURNAL_CAMERA& camera) {
    constexpr int kMaxSteps = 64;
    const int number = WholeNumber<int>(line.at("step"));
    const int of = WholeNumber<int>(line.at("of"));
    if (number < 1 || of < number || of > kMaxSteps) {
        throw std::out_of_range("step out of range");
    }
    if (!camera.steps.empty() && camera.steps.back().number == number &&
        camera.steps.back().code != UpgradeResult::Ok) {
        return;
    }
    if (camera.steps.size() >= static_cast<size_t>(kMaxSteps)) {
        throw std::length_error("too many steps");
    }
    // A later step only begins once the camera runs the earlier one's
    // version: verified, or found so by a resumed run.
    if (!camera.steps.empty() && camera.steps.back().code != UpgradeResult::Ok) {
        camera.steps.back().code = UpgradeResult::Ok;
    }
    JOURNAL_STEP step;
    step.number = number;
    step.of = of;
    step.package = line.at("package").get<std::string>();
    camera.steps.push_back(std::move(step));
}

// Applies line `number` to the run; throws on a line of the wrong shape.
void ApplyLine(const json& line, int number, RunSummary& run) {
    const std::string event = line.at("event").get<std::string>();
    const int64_t t = Field<int64_t>(line, "t", 0);
    if (event == "run") {
        run.id = line.at("id").get<std::string>();
        run.startedAt = t;
        for (const json& package : line.at("packages")) {
            run.packages.push_back(
                {package.at("model").get<std::string>(), package.at("path").get<std::string>()});
        }
        return;
    }
    if (event == "resumed") {
        run.endedAt = 0;
        return;
    }
    if (event == "end") {
        run.endedAt = t;
        return;
    }
    if (event == "canary") {
        run.canary = std::clamp(Field<int>(line, "count", 0), 0, kMaxCanary);
        return;
    }
    if (event == "wait") {
        run.waitSeconds = std::clamp(Field<int>(line, "seconds", 0), 0, kMaxWaitSeconds);
        run.waitText = Field<std::string>(line, "text", "").substr(0, kMaxWaitTextLength);
        run.waitDeadline = Field<int64_t>(line, "deadline", 0);
        return;
    }
    const std::string mac = line.at("mac").get<std::string>();
    if (event == "camera") {
        if (run.cameras.size() >= kMaxCameras) {
            throw std::length_error("too many cameras");
        }
        JOURNAL_CAMERA camera;
        camera.mac = mac;
        camera.ip = Field<std::string>(line, "ip", "");
        camera.ip2 = Field<std::string>(line, "ip2", "");
        camera.model = Field<std::string>(line, "model", "");
        camera.name = Field<std::string>(line, "name", "");
        camera.softwareVer = Field<std::string>(line, "softwareVer", "");
        camera.build = Field<int32_t>(line, "build", 0);
        camera.dataPort = Field<int32_t>(line, "dataPort", 0);
        camera.httpPort = Field<int32_t>(line, "httpPort", 0);
        camera.package = Field<std::string>(line, "package", "");
        const auto awaited = line.find("awaited");
        camera.awaited = awaited != line.end() && awaited->get<bool>();
        auto listed = std::find_if(run.cameras.begin(), run.cameras.end(),
                                   [&](const JOURNAL_CAMERA& c) { return SameMac(c.mac, mac); });
        if (listed == run.cameras.end()) {
            run.cameras.push_back(std::move(camera));
        } else if (listed->awaited && !camera.awaited) {
            // An awaited camera the search found: its record, and what it
            // had reached so far.
            camera.state = listed->state;
            camera.code = listed->code;
            camera.endedAt = listed->endedAt;
            *listed = std::move(camera);
        }
        // Else a camera listed again (a resumed run) keeps what it had reached.
        return;
    }
    auto it = std::find_if(run.cameras.begin(), run.cameras.end(),
                           [&](const JOURNAL_CAMERA& c) { return SameMac(c.mac, mac); });
    if (it == run.cameras.end()) {
        throw std::invalid_argument("step of a camera not listed");
    }
    JOURNAL_STEP* step = it->steps.empty() ? nullptr : &it->steps.back();
    if (event == "queued") {
        it->queuedAt = t;
    } else if (event == "step") {
        ApplyStepLine(line, *it);
    } else if (event == "passed") {
        if (step == nullptr) {
            throw std::invalid_argument("passed without a step");
        }
        step->code = UpgradeResult::Ok;
        step->toVersion = Field<std::string>(line, "softwareVer", "");
        step->toBuild = Field<int32_t>(line, "build", 0);
        step->endedAt = t;
        // Seen back: its last block is no longer in doubt.
        it->lastBlockLine = 0;
    } else if (event == "started") {
        it->startedAt = t;
        it->startedLine = number;
        ++it->attempts;
        if (line.contains("softwareVer")) {
            it->hasVersionAtStart = true;
            it->softwareVerAtStart = line.at("softwareVer").get<std::string>();
            it->buildAtStart = Field<int32_t>(line, "build", 0);
        }
        if (step != nullptr) {
            ++step->attempts;
            if (step->startedAt == 0) {
                step->startedAt = t;
                step->fromVersion = it->softwareVerAtStart;
                step->fromBuild = it->buildAtStart;
                // The step before, when its end was not seen: where this one starts.
                if (it->steps.size() > 1 && (step - 1)->toVersion.empty()) {
                    (step - 1)->toVersion = step->fromVersion;
                    (step - 1)->toBuild = step->fromBuild;
                }
            }
        }
    } else if (event == "verifying") {
        ++it->attempts;
        if (step != nullptr) {
            ++step->attempts;
        }
    } else if (event == "last-block") {
        it->lastBlockAt = t;
        it->lastBlockLine = number;
    } else if (event == "result") {
        it->code = UpgradeResultOfNumber(WholeNumber<int>(line.at("code")));
        if (!it->code) {
            // A progress state, a login signal or an unknown number ends no camera.
            throw std::out_of_range("not a final result: " + line.at("code").dump());
        }
        it->endedAt = t;
        if (step != nullptr && step->code != UpgradeResult::Ok) {
            step->code = it->code;
            step->endedAt = t;
        }
    } else {
        throw std::invalid_argument("unknown event");
    }
    it->state = event;
}

}  // namespace

bool JOURNAL_CAMERA::Done() const {
    return HasResult() && code && !IsHeldBackResult(*code);
}

const JOURNAL_CAMERA* RunSummary::Find(const std::string& mac) const {
    for (const JOURNAL_CAMERA& camera : cameras) {
        if (SameMac(camera.mac, mac)) {
            return &camera;
        }
    }
    return nullptr;
}

int RunSummary::Upgraded() const {
    return static_cast<int>(std::count_if(cameras.begin(), cameras.end(), [](const auto& c) {
        return c.HasResult() && c.code == UpgradeResult::Ok;
    }));
}

int RunSummary::Skipped() const {
    return static_cast<int>(std::count_if(cameras.begin(), cameras.end(), [](const auto& c) {
        return c.HasResult() && c.code && IsSkippedResult(*c.code);
    }));
}

int RunSummary::Failed() const {
    return static_cast<int>(std::count_if(cameras.begin(), cameras.end(), [](const auto& c) {
        return c.Done() && c.code != UpgradeResult::Ok && !IsSkippedResult(*c.code);
    }));
}

int RunSummary::Open() const {
    return static_cast<int>(
        std::count_if(cameras.begin(), cameras.end(), [](const auto& c) { return !c.Done(); }));
}

std::unique_ptr<CRunJournal> CRunJournal::Create(const std::string& folder,
                                                 const std::vector<BatchPackage>& packages,
                                                 std::string& error) {
    if (folder.empty() || !platform::CreateFolders(folder)) {
        error = "run journal folder " + folder + " cannot be created";
        return nullptr;
    }
    // Two runs started within one second by one process get ids of their
    // own, never the earlier run's file.
    std::string id = NewRunId();
    for (int n = 2; platform::PathFileExists(platform::PathCombine(folder, id + kSuffix)); ++n) {
        id = NewRunId() + "-" + std::to_string(n);
    }
    const std::string path = platform::PathCombine(folder, id + kSuffix);
    // Locked before its first line: no other process ever sees it open.
    bool busy = false;
    std::string problem;
    auto lock = platform::CFileLock::TryAcquire(path, busy, problem);
    if (!lock) {
        error = busy ? path + ": cannot be locked" : problem;
        return nullptr;
    }
    auto file = platform::CSyncedFile::Open(path, error);
    if (!file) {
        return nullptr;
    }
    std::unique_ptr<CRunJournal> journal(new CRunJournal(path, std::move(lock), std::move(file)));
    json list = json::array();
    for (const BatchPackage& package : packages) {
        list.push_back({{"model", package.model}, {"path", package.path}});
    }
    const json line = {{"event", "run"}, {"id", id}, {"t", NowMs()}, {"packages", list}};
    if (!journal->Append(line.dump())) {
        error = path + ": cannot be written";
        return nullptr;
    }
    return journal;
}

std::unique_ptr<CRunJournal> CRunJournal::Resume(const std::string& path, std::string& error,
                                                 bool& busy) {
    busy = false;
    if (!platform::PathFileExists(path)) {
        error = path + ": cannot be read";
        return nullptr;
    }
    std::string problem;
    auto lock = platform::CFileLock::TryAcquire(path, busy, problem);
    if (!lock) {
        error = busy ? path + ": the run is going on in another process" : problem;
        return nullptr;
    }
    auto file = platform::CSyncedFile::Open(path, error);
    if (!file) {
        return nullptr;
    }
    // The torn line's step never began; the next line must stand alone.
    if (!file->CutTornLine()) {
        error = path + ": its torn last line cannot be cut";
        return nullptr;
    }
    return std::unique_ptr<CRunJournal>(new CRunJournal(path, std::move(lock), std::move(file)));
}

bool CRunJournal::Canary(int count) {
    return Append(json{{"event", "canary"}, {"count", count}, {"t", NowMs()}}.dump());
}

bool CRunJournal::Resumed() {
    return Append(json{{"event", "resumed"}, {"t", NowMs()}}.dump());
}

bool CRunJournal::Append(const std::string& line) {
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_holder == std::this_thread::get_id()) {
        m_heldLines += (m_heldLines.empty() ? "" : "\n") + line;
        return true;
    }
    if ((m_writeFault && m_writeFault(line)) || !m_file->Append(line)) {
        LOG_ERROR("CRunJournal::Append", "journal not written, %s", m_path.c_str());
        return false;
    }
    return true;
}

void CRunJournal::SetWriteFault(std::function<bool(const std::string& line)> fails) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_writeFault = std::move(fails);
}

void CRunJournal::Hold() {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_holder = std::this_thread::get_id();
}

bool CRunJournal::Flush() {
    std::string lines;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_holder.reset();
        lines.swap(m_heldLines);
    }
    // The file ends each append with a line break.
    return lines.empty() || Append(lines);
}

bool CRunJournal::Camera(const DEVICE_S_INFO& record, const std::string& packagePath) {
    const json line = {{"event", "camera"},
                       {"mac", FieldString(record.mac)},
                       {"ip", FieldString(record.ip)},
                       {"ip2", FieldString(record.ip2)},
                       {"model", FieldString(record.productModel)},
                       {"name", FieldString(record.devName)},
                       {"softwareVer", FieldString(record.softwareVer)},
                       {"build", record.build},
                       {"dataPort", record.dataPort},
                       {"httpPort", record.httpPort},
                       {"package", packagePath},
                       {"t", NowMs()}};
    return Append(line.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Awaited(const std::string& mac) {
    return Append(json{{"event", "camera"}, {"mac", mac}, {"awaited", true}, {"t", NowMs()}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Wait(int seconds, const std::string& text) {
    const int64_t now = NowMs();
    return Append(json{
        {"event", "wait"},
        {"seconds", seconds},
        {"text", text},
        {"deadline", now + int64_t{seconds} * 1000},
        {"t", now}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Step(const std::string& mac, const char* event) {
    return Append(json{{"event", event}, {"mac", mac}, {"t", NowMs()}}.dump(
        -1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Started(const DEVICE_S_INFO& record) {
    return Append(json{
        {"event", "started"},
        {"mac", FieldString(record.mac)},
        {"softwareVer", FieldString(record.softwareVer)},
        {"build", record.build},
        {"t",
         NowMs()}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Result(const std::string& mac, UpgradeResult code) {
    return Append(
        json{{"event", "result"}, {"mac", mac}, {"code", NumberOf(code)}, {"t", NowMs()}}.dump(
            -1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::PathStep(const std::string& mac, int number, int of,
                           const std::string& packagePath) {
    return Append(json{
        {"event", "step"},
        {"mac", mac},
        {"step", number},
        {"of", of},
        {"package", packagePath},
        {"t",
         NowMs()}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::Passed(const DEVICE_S_INFO& record) {
    return Append(json{
        {"event", "passed"},
        {"mac", FieldString(record.mac)},
        {"softwareVer", FieldString(record.softwareVer)},
        {"build", record.build},
        {"t",
         NowMs()}}.dump(-1, ' ', false, json::error_handler_t::replace));
}

bool CRunJournal::End() {
    return Append(json{{"event", "end"}, {"t", NowMs()}}.dump());
}

ReportRun ReportRunOf(const RunSummary& run) {
    ReportRun report{run.startedAt, run.endedAt, run.packages, {}};
    for (const JOURNAL_CAMERA& c : run.cameras) {
        report.lanes.push_back({c.mac, c.name, c.queuedAt, c.startedAt, c.lastBlockAt, c.endedAt,
                                c.HasResult(), c.code});
    }
    return report;
}

bool ReadRunJournal(const std::string& path, RunSummary& run, std::string& error) {
    run = RunSummary{};
    run.path = path;
    std::string text;
    bool tooLarge = false;
    if (!platform::ReadFileAtMost(path, kMaxJournalBytes, text, tooLarge)) {
        error = path + (tooLarge ? ": larger than 64 MiB" : ": cannot be read");
        return false;
    }
    size_t start = 0;
    int number = 0;
    while (start < text.size()) {
        ++number;
        const size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            break;  // torn by a kill during its write: the step never began
        }
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty()) {
            continue;
        }
        try {
            ApplyLine(json::parse(line), number, run);
        } catch (const std::exception& problem) {
            error = path + ", line " + std::to_string(number) + ": " + problem.what();
            return false;
        }
    }
    if (run.id.empty()) {
        error = path + ": no run line";
        return false;
    }
    return true;
}

std::vector<RunListing> ListRuns(const std::string& folder) {
    std::vector<std::string> names = platform::FolderFileNames(folder);
    std::vector<RunListing> runs;
    const std::string suffix = kSuffix;
    for (const std::string& name : names) {
        if (name.size() <= suffix.size() ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        RunListing listing;
        const std::string path = platform::PathCombine(folder, name);
        if (!ReadRunJournal(path, listing.run, listing.problem)) {
            listing.run.path = path;
            listing.run.id = name.substr(0, name.size() - suffix.size());
        }
        listing.run.running = platform::CFileLock::IsHeld(path);
        runs.push_back(std::move(listing));
    }
    // Ids start with the start time, so the newest sorts last.
    std::sort(runs.begin(), runs.end(),
              [](const RunListing& a, const RunListing& b) { return a.run.id > b.run.id; });
    return runs;
}

DeviceInfoPtr RecordFromJournal(const JOURNAL_CAMERA& camera) {
    DeviceInfoPtr record = MakeEmptyDeviceInfo();
    CopyField(record->mac, camera.mac);
    CopyField(record->ip, camera.ip);
    CopyField(record->ip2, camera.ip2);
    CopyField(record->productModel, camera.model);
    CopyField(record->devName, camera.name);
    CopyField(record->softwareVer, camera.softwareVer);
    record->build = camera.build;
    record->dataPort = camera.dataPort;
    record->httpPort = camera.httpPort;
    return record;
}
