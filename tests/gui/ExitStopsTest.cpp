// The stops that run before the process ends by exit(), and the Qt message
// handler that runs them when Qt is about to end the process itself.
#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ExitStops.h"
#include "QtExitGuard.h"
#include "support/TestSupport.h"

namespace {

using testing_support::WaitFor;

TEST(ExitStopsTest, RunLatestFirstOnceWhileRegistered) {
    std::vector<std::string> ran;
    CExitStop first = RegisterExitStop([&] { ran.push_back("first"); });
    CExitStop second = RegisterExitStop([&] { ran.push_back("second"); });
    CExitStop gone = RegisterExitStop([&] { ran.push_back("gone"); });
    CExitStop empty = RegisterExitStop({});
    EXPECT_FALSE(empty.IsRegistered());
    gone.Reset();
    CExitStop moved = std::move(second);  // the registration goes along
    EXPECT_FALSE(second.IsRegistered());
    RunExitStops();
    EXPECT_EQ(ran, (std::vector<std::string>{"second", "first"}));

    // A second run (the atexit handler after the message handler) runs only
    // what was registered since.
    CExitStop later = RegisterExitStop([&] { ran.push_back("later"); });
    RunExitStops();
    RunExitStops();
    EXPECT_EQ(ran, (std::vector<std::string>{"second", "first", "later"}));
    first.Reset();  // after its run: nothing left to do, no wait
}

TEST(ExitStopsTest, StopsMayUnregisterAndRunFromWithin) {
    std::vector<std::string> ran;
    CExitStop early;
    CExitStop self;
    early = RegisterExitStop([&] { ran.push_back("early"); });
    CExitStop skipped = RegisterExitStop([&] { ran.push_back("skipped"); });
    self = RegisterExitStop([&] {
        ran.push_back("self");
        self.Reset();     // its own registration: no wait for itself
        skipped.Reset();  // not run yet: never runs
        RunExitStops();   // runs the rest, does not wait for this one
    });
    RunExitStops();
    EXPECT_EQ(ran, (std::vector<std::string>{"self", "early"}));
}

// The thread `task` of this process sleeps (waits on a lock or a condition).
bool TaskIsAsleep(pid_t task) {
    if (task == 0) {
        return false;
    }
    const std::string stat =
        testing_support::ReadFile("/proc/self/task/" + std::to_string(task) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
}

TEST(ExitStopsTest, UnregisteringWaitsForTheStopAnotherThreadRuns) {
    // The owner of a stop may only go away once its stop has ended.
    std::atomic<bool> entered{false};
    std::atomic<bool> release{false};
    std::atomic<bool> ended{false};
    CExitStop stop = RegisterExitStop([&] {
        entered = true;
        WaitFor([&] { return release.load(); }, std::chrono::seconds(30));
        ended = true;
    });
    std::thread runner([] { RunExitStops(); });
    ASSERT_TRUE(WaitFor([&] { return entered.load(); }));
    std::atomic<pid_t> ownerTask{0};
    std::atomic<bool> returned{false};
    bool endedAtReset = false;
    std::thread owner([&] {
        ownerTask = static_cast<pid_t>(syscall(SYS_gettid));
        stop.Reset();
        endedAtReset = ended.load();
        returned = true;
    });
    // The stop goes on until the owner is asleep in Reset; a Reset that did
    // not wait would have returned by then, before the stop ended.
    ASSERT_TRUE(WaitFor([&] { return returned.load() || TaskIsAsleep(ownerTask.load()); }));
    release = true;
    owner.join();
    runner.join();
    EXPECT_TRUE(endedAtReset);
}

std::vector<QString> g_passedOn;

void Capture(QtMsgType /*type*/, const QMessageLogContext& /*context*/, const QString& message) {
    g_passedOn.push_back(message);
}

TEST(ExitStopsTest, GuardRunsTheStopsOnQtsLastWordsAndPassesEveryMessageOn) {
    // The guard chains to the handler before it; it is installed once per
    // process, so this is the one test that installs it.
    const QtMessageHandler original = qInstallMessageHandler(Capture);
    InstallQtExitGuard();
    InstallQtExitGuard();  // a second install changes nothing
    int stops = 0;
    CExitStop stop = RegisterExitStop([&] { ++stops; });

    qWarning("QXcbConnection: XCB error: 3 (BadWindow)");
    EXPECT_EQ(stops, 0);
    // What Qt's xcb plugin says right before it calls exit(1).
    qWarning("The X11 connection broke (error %d). Did the X11 server die?", 1);
    EXPECT_EQ(stops, 1);
    // The same from its Xlib I/O error handler, which exits too.
    CExitStop again = RegisterExitStop([&] { ++stops; });
    qWarning("The X11 connection broke: I/O error (code 1)");
    EXPECT_EQ(stops, 2);

    qInstallMessageHandler(original);
    ASSERT_EQ(g_passedOn.size(), 3u);
    EXPECT_TRUE(g_passedOn[1].startsWith(QStringLiteral("The X11 connection broke (error 1)")));
}

}  // namespace
