// Fatal-signal handler that writes a text crash dump. Everything the handler
// needs is prepared at installation; in the handler only async-signal-safe
// calls are made (open, read, write, close, clock_gettime, sigaction, raise,
// and glibc's backtrace, whose one-time loading is done at installation).
#include "app/CrashDump.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/ucontext.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <typeinfo>

#include "app/IniFile.h"
#include "app/Version.h"
#include "platform/Paths.h"

namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 64;

// Filled at installation, read by the handler.
char g_folder[4096];
char g_name[256];
char g_program[4096];
char g_version[160];
long g_utcOffsetSeconds = 0;  // local time minus UTC at installation
alignas(16) char g_mainAltStack[kAltStackSize];

std::atomic<CrashTracerCheck> g_tracerCheck{nullptr};
// The thread id of the thread writing a dump; 0 while none is.
std::atomic<long> g_dumpingThread{0};
// Set by the terminate handler just before it aborts.
char g_terminateReason[512];
std::atomic<bool> g_haveTerminateReason{false};

// ---- async-signal-safe text building --------------------------------------

class CSafeText {
public:
    CSafeText(char* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {
        m_buffer[0] = '\0';
    }
    void Str(const char* text) {
        while (*text != '\0') {
            Char(*text++);
        }
    }
    void Char(char c) {
        if (m_used + 1 < m_capacity) {
            m_buffer[m_used++] = c;
            m_buffer[m_used] = '\0';
        } else {
            m_overflow = true;
        }
    }
    void Dec(long long value, int width = 0) {
        char digits[24];
        int n = 0;
        unsigned long long magnitude =
            value < 0 ? 0ull - static_cast<unsigned long long>(value) : value;
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0 && n < 24);
        if (value < 0) {
            Char('-');
        }
        for (int pad = n; pad < width; ++pad) {
            Char('0');
        }
        while (n > 0) {
            Char(digits[--n]);
        }
    }
    void Hex(uint64_t value, int width = 16) {
        Str("0x");
        for (int shift = (width - 1) * 4; shift >= 0; shift -= 4) {
            Char("0123456789abcdef"[(value >> shift) & 0xF]);
        }
    }
    const char* Text() const { return m_buffer; }
    size_t Size() const { return m_used; }
    bool Overflow() const { return m_overflow; }
    void Clear() {
        m_used = 0;
        m_buffer[0] = '\0';
    }

private:
    char* m_buffer;
    size_t m_capacity;
    size_t m_used = 0;
    bool m_overflow = false;
};

void WriteAll(int fd, const char* data, size_t length) {
    while (length > 0) {
        const ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        data += n;
        length -= static_cast<size_t>(n);
    }
}

// A line buffer that goes to the dump file.
class CDumpWriter {
public:
    explicit CDumpWriter(int fd) : m_fd(fd), m_text(m_buffer, sizeof(m_buffer)) {}
    CSafeText& Text() { return m_text; }
    void Flush() {
        WriteAll(m_fd, m_text.Text(), m_text.Size());
        m_text.Clear();
    }
    int Fd() const { return m_fd; }

private:
    int m_fd;
    char m_buffer[1024];
    CSafeText m_text;
};

struct CivilTime {
    int year, month, day, hour, minute, second, millisecond;
};

// Days since 1970-01-01 to a calendar date (proleptic Gregorian).
void CivilFromDays(long long days, int& year, int& month, int& day) {
    days += 719468;
    const long long era = (days >= 0 ? days : days - 146096) / 146097;
    const long long dayOfEra = days - era * 146097;
    const long long yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const long long mp = (5 * dayOfYear + 2) / 153;
    day = static_cast<int>(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

// The local time now, from the offset taken at installation (a change of
// daylight-saving time after installation is not seen).
CivilTime LocalTimeNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long long seconds = static_cast<long long>(now.tv_sec) + g_utcOffsetSeconds;
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    CivilTime t{};
    CivilFromDays(days, t.year, t.month, t.day);
    t.hour = static_cast<int>(rest / 3600);
    t.minute = static_cast<int>(rest / 60 % 60);
    t.second = static_cast<int>(rest % 60);
    t.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return t;
}

// "%s.%d.%04d%02d%02d%02d%02d%02d.%03d.dmp"
void AppendDumpFileName(CSafeText& text, const char* name, long pid, const CivilTime& t) {
    text.Str(name);
    text.Char('.');
    text.Dec(pid);
    text.Char('.');
    text.Dec(t.year, 4);
    text.Dec(t.month, 2);
    text.Dec(t.day, 2);
    text.Dec(t.hour, 2);
    text.Dec(t.minute, 2);
    text.Dec(t.second, 2);
    text.Char('.');
    text.Dec(t.millisecond, 3);
    text.Str(".dmp");
}

const char* SignalName(int sig) {
    switch (sig) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

const char* CodeText(int sig, int code) {
    if (code == SI_USER) {
        return "sent by kill";
    }
    if (code == SI_TKILL) {
        return "sent by raise or tkill";
    }
    switch (sig) {
        case SIGSEGV:
            return code == SEGV_MAPERR   ? "address not mapped"
                   : code == SEGV_ACCERR ? "invalid permissions"
                                         : "";
        case SIGBUS:
            return code == BUS_ADRALN   ? "invalid address alignment"
                   : code == BUS_ADRERR ? "nonexistent physical address"
                   : code == BUS_OBJERR ? "object-specific hardware error"
                                        : "";
        case SIGILL:
            return code == ILL_ILLOPC   ? "illegal opcode"
                   : code == ILL_PRVOPC ? "privileged opcode"
                                        : "";
        case SIGFPE:
            return code == FPE_INTDIV   ? "integer divide by zero"
                   : code == FPE_INTOVF ? "integer overflow"
                   : code == FPE_FLTDIV ? "floating-point divide by zero"
                                        : "";
        default:
            return "";
    }
}

void WriteRegisters(CDumpWriter& out, const void* context) {
    CSafeText& text = out.Text();
    text.Str("registers:\n");
    if (context == nullptr) {
        text.Str("  (none)\n");
        out.Flush();
        return;
    }
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    static const char* const kNames[] = {"r8",       "r9",  "r10",    "r11",     "r12", "r13",
                                         "r14",      "r15", "rdi",    "rsi",     "rbp", "rbx",
                                         "rdx",      "rax", "rcx",    "rsp",     "rip", "eflags",
                                         "cs/gs/fs", "err", "trapno", "oldmask", "cr2"};
    for (int i = 0; i < NGREG && i < static_cast<int>(sizeof(kNames) / sizeof(kNames[0])); ++i) {
        text.Str("  ");
        text.Str(kNames[i]);
        text.Char(' ');
        text.Hex(static_cast<uint64_t>(uc->uc_mcontext.gregs[i]));
        text.Char('\n');
        out.Flush();
    }
#elif defined(__aarch64__)
    for (int i = 0; i < 31; ++i) {
        text.Str("  x");
        text.Dec(i);
        text.Char(' ');
        text.Hex(uc->uc_mcontext.regs[i]);
        text.Char('\n');
        out.Flush();
    }
    text.Str("  sp ");
    text.Hex(uc->uc_mcontext.sp);
    text.Str("\n  pc ");
    text.Hex(uc->uc_mcontext.pc);
    text.Str("\n  pstate ");
    text.Hex(uc->uc_mcontext.pstate);
    text.Char('\n');
#else
    (void)uc;
    text.Str("  (not available on this machine)\n");
#endif
    out.Flush();
}

void WriteBacktrace(CDumpWriter& out) {
    void* frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    out.Text().Str("backtrace:\n");
    out.Flush();
    for (int i = 0; i < count; ++i) {
        out.Text().Str("  #");
        out.Text().Dec(i);
        out.Text().Char(' ');
        out.Flush();
        backtrace_symbols_fd(&frames[i], 1, out.Fd());  // writes its own newline
    }
}

void CopyFileInto(CDumpWriter& out, const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        WriteAll(out.Fd(), buffer, static_cast<size_t>(n));
    }
    close(fd);
}

void WriteDump(int sig, const siginfo_t* info, const void* context, long tid) {
    const CivilTime t = LocalTimeNow();
    const long pid = static_cast<long>(getpid());
    char path[sizeof(g_folder) + sizeof(g_name) + 64];
    CSafeText pathText(path, sizeof(path));
    pathText.Str(g_folder);
    if (pathText.Size() > 0 && path[pathText.Size() - 1] != '/') {
        pathText.Char('/');
    }
    AppendDumpFileName(pathText, g_name, pid, t);
    if (pathText.Overflow()) {
        return;
    }
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    CDumpWriter out(fd);
    CSafeText& text = out.Text();
    text.Str("crash dump\nprogram: ");
    text.Str(g_program);
    text.Str("\nversion: ");
    text.Str(g_version);
    text.Str("\nprocess: ");
    text.Dec(pid);
    text.Str("  thread: ");
    text.Dec(tid);
    text.Str("\ntime: ");
    text.Dec(t.year, 4);
    text.Char('-');
    text.Dec(t.month, 2);
    text.Char('-');
    text.Dec(t.day, 2);
    text.Char(' ');
    text.Dec(t.hour, 2);
    text.Char(':');
    text.Dec(t.minute, 2);
    text.Char(':');
    text.Dec(t.second, 2);
    text.Char('.');
    text.Dec(t.millisecond, 3);
    text.Str("\nsignal: ");
    text.Dec(sig);
    text.Str(" (");
    text.Str(SignalName(sig));
    text.Str(")");
    out.Flush();
    if (info != nullptr) {
        text.Str(", code ");
        text.Dec(info->si_code);
        const char* codeText = CodeText(sig, info->si_code);
        if (codeText[0] != '\0') {
            text.Str(" (");
            text.Str(codeText);
            text.Char(')');
        }
        text.Str("\nfault address: ");
        if (info->si_code <= 0) {
            text.Str("none (sent by process ");
            text.Dec(info->si_pid);
            text.Char(')');
        } else {
            text.Hex(reinterpret_cast<uintptr_t>(info->si_addr));
        }
    }
    text.Char('\n');
    if (g_haveTerminateReason.load(std::memory_order_acquire)) {
        text.Str("reason: ");
        out.Flush();
        WriteAll(fd, g_terminateReason, strnlen(g_terminateReason, sizeof(g_terminateReason)));
        text.Char('\n');
    }
    out.Flush();
    WriteRegisters(out, context);
    WriteBacktrace(out);
    text.Str("memory map:\n");
    out.Flush();
    CopyFileInto(out, "/proc/self/maps");
    close(fd);
}

long CurrentThreadId() {
    return static_cast<long>(syscall(SYS_gettid));
}

// Puts the default action back and sends the signal again; it is delivered
// when the handler returns, and the process ends with it.
void ResendWithDefaultAction(int sig) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    raise(sig);
}

void CrashHandler(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    const long tid = CurrentThreadId();
    long expected = 0;
    if (!g_dumpingThread.compare_exchange_strong(expected, tid)) {
        if (expected == tid) {
            // A fault while writing the dump: give up on it.
            ResendWithDefaultAction(sig);
            return;
        }
        // Another thread is writing its dump and ends the process after it.
        for (;;) {
            pause();
        }
    }
    const CrashTracerCheck check = g_tracerCheck.load();
    const bool traced = check != nullptr ? check() : IsTracerAttached();
    if (!traced) {
        WriteDump(sig, info, context, tid);
    }
    ResendWithDefaultAction(sig);
    errno = savedErrno;
}

void CopyText(char* target, size_t capacity, const std::string& text) {
    const size_t n = text.size() < capacity - 1 ? text.size() : capacity - 1;
    std::memcpy(target, text.data(), n);
    target[n] = '\0';
}

std::string DemangledName(const char* mangled) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), &std::free);
    return status == 0 && name ? std::string(name.get()) : std::string(mangled);
}

// Notes what ended the program for the dump, then aborts into the handler.
[[noreturn]] void OnTerminate() {
    std::string reason = "std::terminate";
    if (std::exception_ptr pending = std::current_exception()) {
        try {
            std::rethrow_exception(pending);
        } catch (const std::exception& e) {
            reason +=
                " after an exception of type " + DemangledName(typeid(e).name()) + ": " + e.what();
        } catch (...) {
            reason += " after an exception of unknown type";
        }
    }
    CopyText(g_terminateReason, sizeof(g_terminateReason), reason);
    g_haveTerminateReason.store(true, std::memory_order_release);
    std::abort();
}

void SetAltStack(char* stack, size_t size) {
    stack_t altStack{};
    altStack.ss_sp = stack;
    altStack.ss_size = size;
    altStack.ss_flags = 0;
    sigaltstack(&altStack, nullptr);
}

}  // namespace

bool InstallCrashDumpFilter(const std::string& name, const std::string& folder) {
    const std::string program = platform::ExecutablePath();
    CopyText(g_program, sizeof(g_program), program);
    CopyText(g_folder, sizeof(g_folder),
             ChooseCrashDumpFolder(folder, platform::ExecutableFolder()));
    CopyText(g_name, sizeof(g_name), name.empty() ? CrashDumpNameFromPath(program) : name);
    CopyText(g_version, sizeof(g_version),
             VersionToString(GetModuleVersionNumber()) + " (built " + BuildDateText() + " " +
                 BuildTimeText() + ")");

    const time_t now = time(nullptr);
    tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        g_utcOffsetSeconds = local.tm_gmtoff;
    }

    // The first backtrace loads the unwinder, which allocates: do it here.
    void* warmUp[2];
    backtrace(warmUp, 2);

    SetAltStack(g_mainAltStack, sizeof(g_mainAltStack));
    struct sigaction action {};
    action.sa_sigaction = CrashHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (const int sig : kFatalSignals) {
        sigaction(sig, &action, nullptr);
    }
    std::set_terminate(OnTerminate);
    return true;
}

void SetCrashDumpTracerCheck(CrashTracerCheck check) {
    g_tracerCheck.store(check);
}

long ParseTracerPid(const char* status, size_t length) {
    static const char kField[] = "TracerPid:";
    const size_t fieldLength = sizeof(kField) - 1;
    for (size_t i = 0; i + fieldLength <= length; ++i) {
        if ((i == 0 || status[i - 1] == '\n') &&
            std::memcmp(status + i, kField, fieldLength) == 0) {
            size_t pos = i + fieldLength;
            while (pos < length && (status[pos] == ' ' || status[pos] == '\t')) {
                ++pos;
            }
            long value = 0;
            while (pos < length && status[pos] >= '0' && status[pos] <= '9' && value < 100000000) {
                value = value * 10 + (status[pos] - '0');
                ++pos;
            }
            return value;
        }
    }
    return 0;
}

bool IsTracerAttached() {
    const int fd = open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    size_t used = 0;
    for (;;) {
        const ssize_t n = read(fd, buffer + used, sizeof(buffer) - used);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        used += static_cast<size_t>(n);
        if (used == sizeof(buffer)) {
            break;
        }
    }
    close(fd);
    return ParseTracerPid(buffer, used) != 0;
}

std::string CrashDumpNameFromPath(const std::string& executablePath) {
    const auto slash = executablePath.find_last_of('/');
    const std::string file =
        slash == std::string::npos ? executablePath : executablePath.substr(slash + 1);
    return file.substr(0, file.find('.'));
}

std::string CrashDumpFileName(const std::string& name, int pid, int year, int month, int day,
                              int hour, int minute, int second, int millisecond) {
    std::string buffer(name.size() + 64, '\0');
    CSafeText text(buffer.data(), buffer.size());
    AppendDumpFileName(text, name.c_str(), pid,
                       CivilTime{year, month, day, hour, minute, second, millisecond});
    return text.Text();
}

std::string ChooseCrashDumpFolder(const std::string& folder, const std::string& executableFolder) {
    if (!folder.empty()) {
        return folder;
    }
    if (platform::IsFolderWritable(executableFolder)) {
        return executableFolder;
    }
    const std::string userFolder = GetUserFolder();
    if (userFolder.empty()) {
        return executableFolder;
    }
    const std::string dumps = platform::PathCombine(userFolder, "dumps");
    platform::CreateFolders(dumps);
    return dumps;
}
