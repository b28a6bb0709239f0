#include "app/Logger.h"

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "app/IniFile.h"
#include "app/Settings.h"
#include "model/SafeText.h"
#include "platform/Paths.h"
#include "platform/Pub.h"

namespace {

const char* LevelName(int level) {
    switch (level) {
        case kLogInfo:
            return "INFO";
        case kLogWarning:
            return "WARN";
        case kLogError:
            return "ERROR";
        default:
            return "?";
    }
}

std::string TimeStamp() {
    const auto now = std::chrono::system_clock::now();
    const std::tm local = PUB_LocalTime(std::chrono::system_clock::to_time_t(now));
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    char buffer[96];
    std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d.%03lld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<long long>(ms));
    return buffer;
}

std::atomic<int> g_level{kLogInfo};

}  // namespace

CLogger* GetLogInstance() {
    static CLogger logger;
    return &logger;
}

int CLogger::GetLevel() const {
    return g_level.load(std::memory_order_relaxed);
}

void CLogger::SetLevel(int level) {
    g_level.store(level, std::memory_order_relaxed);
}

void CLogger::Init(const std::string& baseName) {
    const char* env = std::getenv("FIRMHAND_LOG_LEVEL");
    if (env != nullptr && env[0] != '\0') {
        SetLevel(ParseLeadingInt(env));
    } else {
        SetLevel(settings::GetInt(settings::kLogLevel));
    }
    const std::string userFolder = GetUserFolder();
    if (userFolder.empty()) {
        return;
    }
    const std::string logFolder = platform::PathCombine(userFolder, "logs");
    platform::CreateFolders(logFolder);
    SetFilePath(platform::PathCombine(logFolder, baseName + ".log"));
}

void CLogger::SetEchoToStderr(bool echo) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_echo = echo;
}

void CLogger::SetFilePath(const std::string& path) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_path = path;
    m_fileBytes = 0;
    if (!path.empty()) {
        std::ifstream existing(path, std::ios::binary | std::ios::ate);
        if (existing) {
            m_fileBytes = static_cast<uint64_t>(existing.tellg());
        }
    }
}

std::string CLogger::FilePath() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_path;
}

void CLogger::SetRotateBytes(uint64_t bytes) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_rotateBytes = bytes;
}

int CLogger::AddObserver(Observer observer) {
    std::lock_guard<std::mutex> guard(m_mutex);
    const int id = m_nextObserverId++;
    m_observers.emplace_back(id, std::move(observer));
    return id;
}

void CLogger::RemoveObserver(int id) {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::erase_if(m_observers, [id](const auto& entry) { return entry.first == id; });
}

void CLogger::Write(const char* source, int line, int level, const char* function,
                    const char* format, ...) {
    LogLine record;
    record.source = source != nullptr ? source : "";
    record.line = line;
    record.level = level;
    record.function = function != nullptr ? function : "";
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(small, sizeof(small), format, args);
    va_end(args);
    if (needed >= 0 && static_cast<size_t>(needed) < sizeof(small)) {
        record.text.assign(small, static_cast<size_t>(needed));
    } else if (needed >= 0) {
        record.text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(record.text.data(), record.text.size(), format, copy);
        record.text.resize(static_cast<size_t>(needed));
    }
    va_end(copy);
    // Names and messages from cameras: one record stays one line, and the
    // terminal that shows the log takes no control sequence from it.
    record.text = VisibleText(record.text);
    WriteLine(record);
}

void CLogger::RotateLocked() {
    for (int i = 3; i >= 1; --i) {
        const std::string from = i == 1 ? m_path : m_path + "." + std::to_string(i - 1);
        std::rename(from.c_str(), (m_path + "." + std::to_string(i)).c_str());
    }
    m_fileBytes = 0;
}

void CLogger::WriteLine(const LogLine& record) {
    char head[160];
    std::snprintf(head, sizeof(head), "%s [%ld] %-5s %s:%d %s: ", TimeStamp().c_str(),
                  PUB_GetThreadId(), LevelName(record.level), record.source.c_str(), record.line,
                  record.function.c_str());
    const std::string text = head + record.text + "\n";

    std::lock_guard<std::mutex> guard(m_mutex);
    if (!m_path.empty()) {
        if (m_fileBytes + text.size() > m_rotateBytes) {
            RotateLocked();
        }
        if (FILE* file = std::fopen(m_path.c_str(), "ae")) {
            std::fwrite(text.data(), 1, text.size(), file);
            std::fclose(file);
            m_fileBytes += text.size();
        }
    }
    if (m_echo) {
        std::fwrite(text.data(), 1, text.size(), stderr);
    }
    for (const auto& entry : m_observers) {
        entry.second(record);
    }
}

CLogCapture::CLogCapture() {
    m_id = GetLogInstance()->AddObserver([this](const LogLine& line) {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_lines.push_back(line);
    });
}

CLogCapture::~CLogCapture() {
    GetLogInstance()->RemoveObserver(m_id);
}

std::vector<LogLine> CLogCapture::Lines() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_lines;
}

bool CLogCapture::Contains(const std::string& fragment) const {
    return Count(fragment) > 0;
}

int CLogCapture::Count(const std::string& fragment) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    int n = 0;
    for (const LogLine& line : m_lines) {
        if (line.text.find(fragment) != std::string::npos) {
            ++n;
        }
    }
    return n;
}
