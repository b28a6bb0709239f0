// The process-wide logger. Lines are written only when the threshold admits
// their level, and their arguments are formatted only then:
//
//   LOG_INFO("CSWL_TCPLink::Destroy", "closed, mac: %s", mac);
//
// Each source file names itself for the log with
//   FH_LOG_SOURCE("SWL_TCPLink");
// at namespace scope before its first log line.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

constexpr int kLogInfo = 1;
constexpr int kLogWarning = 2;
constexpr int kLogError = 3;
constexpr int kLogOff = 4;

// One written line, as observers see it.
struct LogLine {
    std::string source;
    int line = 0;
    int level = 0;
    std::string function;
    std::string text;
};

class CLogger {
public:
    // The threshold: lines below it are not written.
    int GetLevel() const;
    void SetLevel(int level);

    // Names the log after `baseName`, picks the threshold from FIRMHAND_LOG_LEVEL
    // or the "LogLevel" setting, and opens "<per-user folder>/logs/<baseName>.log".
    void Init(const std::string& baseName);

    void Write(const char* source, int line, int level, const char* function, const char* format,
               ...) __attribute__((format(printf, 6, 7)));

    // Echoes every written line to standard error (the CLI's --verbose).
    void SetEchoToStderr(bool echo);
    // Writes to this file instead (tests); "" turns file output off.
    void SetFilePath(const std::string& path);
    std::string FilePath() const;
    // Size at which the file is rotated (kept: the file and three older ones).
    void SetRotateBytes(uint64_t bytes);

    using Observer = std::function<void(const LogLine&)>;
    // Observers see every written line; used by tests to check log lines.
    int AddObserver(Observer observer);
    void RemoveObserver(int id);

private:
    void WriteLine(const LogLine& line);
    void RotateLocked();

    mutable std::mutex m_mutex;
    bool m_echo = false;
    std::string m_path;
    uint64_t m_rotateBytes = 8ull << 20;
    uint64_t m_fileBytes = 0;
    int m_nextObserverId = 1;
    std::vector<std::pair<int, Observer>> m_observers;
};

CLogger* GetLogInstance();

// A unity build compiles several sources as one; each source's name then
// carries the build's per-file identifier so that the names do not clash.
#define FH_LOG_JOIN_(a, b) a##b
#define FH_LOG_JOIN(a, b) FH_LOG_JOIN_(a, b)
#ifdef FH_UNITY_FILE_ID
#define FH_LOG_SOURCE_NAME FH_LOG_JOIN(kLogSource_, FH_UNITY_FILE_ID)
#else
#define FH_LOG_SOURCE_NAME kLogSource
#endif

#define FH_LOG_SOURCE(name) [[maybe_unused]] static constexpr const char* FH_LOG_SOURCE_NAME = name

#define FH_LOG(level, function, ...)                                                        \
    do {                                                                                    \
        CLogger* fhLogger_ = GetLogInstance();                                              \
        if (fhLogger_->GetLevel() <= (level)) {                                             \
            fhLogger_->Write(FH_LOG_SOURCE_NAME, __LINE__, (level), function, __VA_ARGS__); \
        }                                                                                   \
    } while (0)

#define LOG_INFO(function, ...) FH_LOG(kLogInfo, function, __VA_ARGS__)
#define LOG_WARN(function, ...) FH_LOG(kLogWarning, function, __VA_ARGS__)
#define LOG_ERROR(function, ...) FH_LOG(kLogError, function, __VA_ARGS__)

// A RAII observer registration for tests and tools.
class CLogCapture {
public:
    CLogCapture();
    ~CLogCapture();
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    std::vector<LogLine> Lines() const;
    bool Contains(const std::string& fragment) const;
    int Count(const std::string& fragment) const;

private:
    int m_id;
    mutable std::mutex m_mutex;
    std::vector<LogLine> m_lines;
};
