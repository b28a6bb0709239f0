// GUI benchmark: the real main window on Qt's offscreen platform.
//
//   gui_bench [CAMERAS=1000] [BATCH_CAMERAS=32] [MIB=64]
//
// 1. CAMERAS search reports posted to the window as the search intake posts
//    them (the session's "found", then "changed" events), each handled by the
//    window's own handler: the longest handler time and the longest single
//    event of any kind on the window thread (repaints included).
// 2. Sorting CAMERAS rows by each sortable column, both directions.
// 2b. 32 rows with live progress bars (progress of every camera several
//    times a frame) while a filter is typed letter by letter and cleared:
//    the longest window-thread event.
// 3. A batch of BATCH_CAMERAS simulated cameras (in a child process, so that
//    their work is not counted) upgraded through the real engine with a
//    MIB MiB package: the GUI process's CPU per camera, the window thread's
//    share, and the longest events during the batch. BATCH_CAMERAS 0 skips
//    it; above 32 the rest queue ("gui_bench 0 256 8": 256 rows, 32 live).
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <QLineEdit>

#include "DeviceFilter.h"
#include "FirmhandDlg.h"
#include "SimFleet.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "session/FirmhandSession.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double ThreadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& tv) {
        return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Times every event that the window thread handles at the outermost level.
class CTimedApplication : public QApplication {
public:
    CTimedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
    bool notify(QObject* receiver, QEvent* event) override {
        if (m_depth > 0) {
            return QApplication::notify(receiver, event);
        }
        ++m_depth;
        const auto start = Clock::now();
        const double cpuStart = ThreadCpuSeconds();
        const bool result = QApplication::notify(receiver, event);
        longestEventMs = std::max(longestEventMs, MsSince(start));
        const double cpuMs = (ThreadCpuSeconds() - cpuStart) * 1000;
        if (cpuMs > longestEventCpuMs) {
            longestEventCpuMs = cpuMs;
            longestEventWhat = Describe(receiver, event);
        }
        // The few longest, to tell a one-off from a steady cost.
        if (topEvents.size() < kTopEvents || cpuMs > topEvents.back().first) {
            topEvents.emplace_back(cpuMs, Describe(receiver, event));
            std::sort(topEvents.begin(), topEvents.end(),
                      [](const auto& a, const auto& b) { return a.first > b.first; });
            topEvents.resize(std::min(topEvents.size(), kTopEvents));
        }
        --m_depth;
        return result;
    }
    void Reset() {
        longestEventMs = 0;
        longestEventCpuMs = 0;
        longestEventWhat.clear();
        topEvents.clear();
        m_resetAt = Clock::now();
    }
    // "4.10 ms (CFirmhandDlg event 77 at 0.3 s), ..."
    std::string TopEventsText() const {
        std::string text;
        for (const auto& [cpuMs, what] : topEvents) {
            char ms[32];
            std::snprintf(ms, sizeof ms, "%.2f ms (", cpuMs);
            text += (text.empty() ? "" : ", ") + std::string(ms) + what + ")";
        }
        return text;
    }
    double longestEventMs = 0;
    // The same event's time on the window thread's own CPU clock: what the
    // window spent, without the time a loaded machine kept it waiting.
    double longestEventCpuMs = 0;
    std::string longestEventWhat;  // receiver class, event type and when
    static constexpr size_t kTopEvents = 4;
    std::vector<std::pair<double, std::string>> topEvents;  // window-thread CPU ms, what

private:
    std::string Describe(QObject* receiver, QEvent* event) const {
        char at[32];
        std::snprintf(at, sizeof at, " at %.1f s", MsSince(m_resetAt) / 1000);
        return std::string(receiver->metaObject()->className()) + " event " +
               std::to_string(static_cast<int>(event->type())) + at;
    }

    int m_depth = 0;
    Clock::time_point m_resetAt = Clock::now();
};

// The window with its handling of the session's events timed; message
// boxes answer OK. The window's own slots run first, so the time from one
// event's end to the next one's end, within one wake-up of the window
// thread, is that event's handling.
class CBenchDlg : public CFirmhandDlg {
public:
    double longestHandlerMs = 0;
    double totalHandlerMs = 0;
    int handled = 0;
    CBenchDlg() {
        CSessionEventAdapter* events = &SessionEvents();
        connect(events, &CSessionEventAdapter::DeviceFound, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::DeviceChanged, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::CameraProgress, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::CameraState, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::CameraResult, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::BatchPrepared, this, [this] { Handled(); });
        connect(events, &CSessionEventAdapter::BatchEnded, this, [this] { Handled(); });
    }
    void ResetStats() {
        longestHandlerMs = 0;
        totalHandlerMs = 0;
        handled = 0;
        m_wakeups = SessionEvents().Wakeups();
    }

protected:
    bool ShowMessage(int stringId, bool /*okCancel*/) override {
        std::printf("message box: %s\n", LoadString(stringId).c_str());
        return true;
    }

private:
    // The first event of a wake-up is counted, not timed.
    void Handled() {
        const int wakeups = SessionEvents().Wakeups();
        if (wakeups == m_wakeups) {
            const double ms = MsSince(m_last);
            longestHandlerMs = std::max(longestHandlerMs, ms);
            totalHandlerMs += ms;
        }
        m_wakeups = wakeups;
        m_last = Clock::now();
        ++handled;
    }

    int m_wakeups = 0;
    Clock::time_point m_last = Clock::now();
};

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto start = Clock::now();
    while (!done()) {
        if (MsSince(start) > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        usleep(1000);
    }
    return true;
}

std::unique_ptr<DEVICE_S_INFO> Camera(int i, const char* version) {
    static const char* const kModels[] = {"IPC-2020", "IPC-3130", "NVR-8", "IPC-2040"};
    auto info = MakeEmptyDeviceInfo();
    char text[64];
    std::snprintf(text, sizeof text, "00:1A:2B:%02X:%02X:%02X", (i >> 16) & 0xFF, (i >> 8) & 0xFF,
                  i & 0xFF);
    CopyField(info->mac, text);
    std::snprintf(text, sizeof text, "10.%d.%d.%d", (i * 7919) % 250, (i >> 8) & 0xFF, i & 0xFF);
    CopyField(info->ip, text);
    std::snprintf(text, sizeof text, "172.16.%d.%d", (i >> 8) & 0xFF, i & 0xFF);
    CopyField(info->ip2, text);
    CopyField(info->mask, "255.255.0.0");
    CopyField(info->mask2, "255.255.0.0");
    std::snprintf(text, sizeof text, "Camera %d", (i * 31) % 1000);
    CopyField(info->devName, text);
    CopyField(info->productModel, kModels[i % 4]);
    CopyField(info->softwareVer, version);
    CopyField(info->buildDate, "2023-01-18");
    CopyField(info->kernelVer, i % 3 == 0 ? "4.9.37" : "3.10.0");
    info->build = 230000 + i % 500;
    info->dataPort = 9008;
    info->httpPort = 80;
    return info;
}

void ListFigures(CTimedApplication& app, int cameras) {
    CBenchDlg dlg;
    dlg.resize(1400, 800);
    dlg.show();
    PumpUntil([] { return false; }, 200);

    for (const char* round : {"found", "changed"}) {
        const bool found = std::strcmp(round, "found") == 0;
        dlg.ResetStats();
        app.Reset();
        const auto start = Clock::now();
        for (int i = 0; i < cameras; ++i) {
            DeviceRecordPtr record = Camera(i, found ? "4.0.2" : "4.0.3beta");
            if (found) {
                dlg.EventSink()->OnEvent(DeviceFoundEvent{std::move(record)});
            } else {
                dlg.EventSink()->OnEvent(DeviceChangedEvent{std::move(record)});
            }
        }
        PumpUntil([&] { return dlg.handled == cameras; }, 60000);
        PumpUntil([] { return false; }, 100);  // the repaints that follow
        std::printf(
            "%d %s reports: rows %d, longest handler %.2f ms (target < 100 ms), "
            "mean %.3f ms, longest window-thread event %.2f ms (CPU %.2f ms), all handled in "
            "%.0f ms\n",
            cameras, round, dlg.DeviceList().RowCount(), dlg.longestHandlerMs,
            dlg.totalHandlerMs / std::max(1, dlg.handled), app.longestEventMs,
            app.longestEventCpuMs, MsSince(start));
    }

    double longestSort = 0;
    int longestColumn = -1;
    app.Reset();
    for (int column :
         {COL_NAME, COL_IP, COL_SLAVE_IP, COL_MAC, COL_PRODUCT, COL_VERSION, COL_KERNEL}) {
        for (int click = 0; click < 2; ++click) {
            const auto start = Clock::now();
            dlg.List().OnColumnClick(column);
            const double ms = MsSince(start);
            if (ms > longestSort) {
                longestSort = ms;
                longestColumn = column;
            }
            QCoreApplication::processEvents();  // repaint in between
        }
    }
    std::printf(
        "sorting %d rows: longest %.2f ms (column %d) (target < 50 ms), longest "
        "window-thread event with repaints %.2f ms\n",
        cameras, longestSort, longestColumn, app.longestEventMs);

    // Live progress on 32 rows while the technician types a filter.
    auto* filter = static_cast<QLineEdit*>(dlg.Control(IDC_FILTER));
    const QString typed = QStringLiteral("camera 1");
    app.Reset();
    dlg.ResetStats();
    const auto liveStart = Clock::now();
    int posted = 0;
    for (int step = 0; step < 400; ++step) {
        for (int i = 0; i < 32; ++i) {
            const std::unique_ptr<DEVICE_S_INFO> record = Camera(i * 31 % cameras, "");
            dlg.EventSink()->OnEvent(
                CameraProgressEvent{std::string(FieldText(record->mac)), step % 100});
            ++posted;
        }
        if (step % 10 == 0) {
            const int letters = (step / 10) % (typed.size() + 1);
            filter->setText(typed.left(letters));
        }
        PumpUntil([&] { return dlg.handled == posted; }, 10000);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        usleep(4000);
    }
    filter->clear();
    PumpUntil([] { return false; }, 100);
    std::printf(
        "%d rows, 32 live progress bars, filter typed: longest window-thread event %.2f ms "
        "(window-thread CPU %.2f ms: %s) (target < 16 ms), %d progress messages in %.0f ms\n",
        cameras, app.longestEventMs, app.longestEventCpuMs, app.longestEventWhat.c_str(), posted,
        MsSince(liveStart));
    dlg.close();
}

// The simulated fleet runs in a child process; it prints "ip searchPort" per
// camera into `fd` and runs until it is killed.
pid_t StartFleetProcess(int cameras, int& readFd) {
    int fds[2];
    if (pipe(fds) != 0) {
        return -1;
    }
    const pid_t pid = fork();
    if (pid != 0) {
        close(fds[1]);
        readFd = fds[0];
        return pid;
    }
    close(fds[0]);
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    GetLogInstance()->SetLevel(kLogOff);
    CSimFleet fleet;
    for (int i = 0; i < cameras; ++i) {
        SimCameraConfig config;
        char text[32];
        // 200 cameras to an address block, so that hundreds fit.
        std::snprintf(text, sizeof text, "00:1A:2B:00:%02X:%02X", 0x60 + i / 200, i % 200 + 1);
        config.mac = text;
        config.ip =
            "127.0." + std::to_string(60 + 2 * (i / 200)) + "." + std::to_string(10 + i % 200);
        config.ip2 =
            "127.0." + std::to_string(61 + 2 * (i / 200)) + "." + std::to_string(10 + i % 200);
        config.mask2 = "255.255.0.0";
        config.name = "Bench " + std::to_string(i + 1);
        config.password = "739518";
        config.flashMs = 2000;
        config.offlineMs = 12000;
        fleet.AddCamera(config);
    }
    std::string error;
    if (!fleet.Start(&error)) {
        std::fprintf(stderr, "fleet: %s\n", error.c_str());
        _exit(1);
    }
    std::string lines;
    for (const SimCameraInfo& camera : fleet.Cameras()) {
        lines += camera.ip + " " + std::to_string(camera.searchPort) + "\n";
    }
    if (write(fds[1], lines.data(), lines.size()) < 0) {
        _exit(1);
    }
    close(fds[1]);
    for (;;) {
        pause();
    }
}

std::vector<std::string> ReadTargets(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    std::vector<std::string> targets;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        const size_t blank = line.find(' ');
        if (blank != std::string::npos) {
            targets.push_back(line.substr(0, blank) + ":" + line.substr(blank + 1));
        }
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return targets;
}

std::string WritePackage(const std::string& folder, int mib) {
    const std::string path = folder + "/package.bin";
    std::ofstream out(path, std::ios::binary);
    const uint8_t magic[] = {0x18, 0x01, 0x22, 0x20};
    out.write(reinterpret_cast<const char*>(magic), sizeof magic);
    std::vector<char> chunk(1 << 20);
    std::mt19937 random(7);
    for (char& c : chunk) {
        c = static_cast<char>(random());
    }
    for (int i = 0; i < mib; ++i) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    }
    return path;
}

void BatchFigures(CTimedApplication& app, int cameras, const std::vector<std::string>& targets,
                  const std::string& package) {
    CBenchDlg dlg;
    dlg.resize(1400, 800);
    dlg.show();
    SESSION_OPTIONS options;
    options.adapter = "lo";
    // As a list: one setting's text is too short for hundreds of targets.
    options.searchTargets = targets;
    dlg.SetSession(std::make_unique<CFirmhandSession>(options, dlg.EventSink()));
    if (!dlg.Session()->Start()) {
        std::printf("batch: search not started\n");
        return;
    }
    if (!PumpUntil([&] { return dlg.DeviceList().RowCount() == cameras; }, 30000)) {
        std::printf("batch: only %d of %d cameras found\n", dlg.DeviceList().RowCount(), cameras);
        return;
    }
    dlg.SetUpgradeFile(QString::fromStdString(package));
    dlg.List().OnSelectAll();
    app.Reset();
    dlg.ResetStats();
    const double cpuStart = ProcessCpuSeconds();
    const double threadStart = ThreadCpuSeconds();
    const auto start = Clock::now();
    dlg.OnBnClickedButtonUpdate();
    if (!PumpUntil([&] { return !dlg.IsUpgrading(); }, 600000)) {
        std::printf("batch: did not end\n");
    }
    const double wall = MsSince(start) / 1000;
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double threadCpu = ThreadCpuSeconds() - threadStart;
    int upgraded = 0;
    const QString success = QString::fromStdString(LoadString(IDS_UPGRADE_SUCCESS));
    for (int row = 0; row < dlg.DeviceList().RowCount(); ++row) {
        upgraded += dlg.DeviceList().CellText(row, COL_RESULT) == success ? 1 : 0;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf(
        "batch of %d cameras (%d upgraded) in %.1f s: GUI process CPU %.2f s = %.3f s per "
        "camera (%.2f cores on average); window thread %.2f s = %.3f s per camera; "
        "%d messages, longest handler %.2f ms, longest window-thread event %.2f ms "
        "(window-thread CPU %.2f ms, target < 8 ms: %s); longest by window-thread CPU: %s; "
        "peak RSS %ld MiB\n",
        cameras, upgraded, wall, cpu, cpu / cameras, cpu / wall, threadCpu, threadCpu / cameras,
        dlg.handled, dlg.longestHandlerMs, app.longestEventMs, app.longestEventCpuMs,
        app.longestEventWhat.c_str(), app.TopEventsText().c_str(), usage.ru_maxrss / 1024);
    dlg.close();  // stops the session and joins its threads
}

}  // namespace

int main(int argc, char** argv) {
    const int cameras = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int batchCameras = argc > 2 ? std::atoi(argv[2]) : 32;
    const int mib = argc > 3 ? std::atoi(argv[3]) : 64;

    // The fleet's process is forked before any thread exists.
    int fleetFd = -1;
    const pid_t fleet = batchCameras > 0 ? StartFleetProcess(batchCameras, fleetFd) : 0;

    char folder[] = "/tmp/firmhand-gui-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        return 1;
    }
    setenv("XDG_DATA_HOME", folder, 1);
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    GetLogInstance()->Init("gui_bench");
    GetLogInstance()->SetLevel(kLogWarning);  // as the CLI's batch benchmark runs
    CTimedApplication app(argc, argv);

    if (cameras > 0) {
        ListFigures(app, cameras);
    }
    if (fleet > 0) {
        const std::vector<std::string> targets = ReadTargets(fleetFd);
        BatchFigures(app, batchCameras, targets, WritePackage(folder, mib));
        kill(fleet, SIGTERM);
        waitpid(fleet, nullptr, 0);
    }
    std::string cleanup = std::string("rm -rf ") + folder;
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
