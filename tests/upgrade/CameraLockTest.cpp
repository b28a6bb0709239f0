// One upgrade per camera on the machine: the lock of a MAC is shared by
// every process whatever its environment, dropped by the kernel when its
// holder dies, and never replaced by "no lock" when it cannot be taken
// safely.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "app/StringTable.h"
#include "support/SessionHarness.h"
#include "support/TestSupport.h"
#include "upgrade/CameraLock.h"
#include "upgrade/UpgradeResult.h"

using testing_support::CSandbox;

namespace {

// Runs `lock` in a child process, which holds what it took until killed;
// 'y' when it took the lock.
struct LockingChild {
    pid_t pid = -1;
    char answer = 0;

    template <typename Lock>
    bool Start(Lock lock) {
        int ready[2];
        if (pipe(ready) != 0) {
            return false;
        }
        pid = fork();
        if (pid == 0) {
            auto held = lock();
            const char taken = held ? 'y' : 'n';
            (void)!write(ready[1], &taken, 1);
            pause();  // holds the lock until killed
            _exit(0);
        }
        const bool read = pid > 0 && ::read(ready[0], &answer, 1) == 1;
        close(ready[0]);
        close(ready[1]);
        return read;
    }
    void Kill() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            int status = 0;
            waitpid(pid, &status, 0);
            pid = -1;
        }
    }
    ~LockingChild() { Kill(); }
};

// A MAC of this test process only, so that suites running at once never
// share one in the machine's folder.
std::string OwnMac(int n) {
    char mac[32];
    std::snprintf(mac, sizeof(mac), "02:FE:%02X:%02X:%02X:%02X", (getpid() >> 16) & 0xFF,
                  (getpid() >> 8) & 0xFF, getpid() & 0xFF, n);
    return mac;
}

}  // namespace

TEST(CameraLock, OneHolderPerMacWhateverItsSpelling) {
    CSandbox box;
    const std::string folder = box.File("locks");
    bool busy = false;
    std::string problem;
    auto first = LockCamera("02:00:aa:bb:cc:01", busy, problem, folder);
    ASSERT_NE(first, nullptr) << problem;
    EXPECT_FALSE(busy);
    EXPECT_EQ(LockCamera("02-00-AA-BB-CC-01", busy, problem, folder), nullptr);
    EXPECT_TRUE(busy);
    EXPECT_NE(LockCamera("02:00:aa:bb:cc:02", busy, problem, folder), nullptr);  // another camera
    first.reset();
    EXPECT_NE(LockCamera("02:00:AA:BB:CC:01", busy, problem, folder), nullptr);
    EXPECT_EQ(CameraLockName("02:00:aa:bb:cc:01"), "0200AABBCC01");
}

TEST(CameraLock, AnotherProcessHoldsItUntilItIsKilled) {
    CSandbox box;
    const std::string folder = box.File("locks");
    LockingChild child;
    ASSERT_TRUE(child.Start([&] {
        bool busy = false;
        std::string problem;
        return LockCamera("02:00:00:00:00:07", busy, problem, folder);
    }));
    ASSERT_EQ(child.answer, 'y');
    bool busy = false;
    std::string problem;
    EXPECT_EQ(LockCamera("02:00:00:00:00:07", busy, problem, folder), nullptr);
    EXPECT_TRUE(busy);
    child.Kill();
    EXPECT_NE(LockCamera("02:00:00:00:00:07", busy, problem, folder), nullptr);
}

// A desktop session (XDG_RUNTIME_DIR set) and an ssh, cron or sudo one (not
// set) meet in the machine's folder.
TEST(CameraLock, ProcessesWithAndWithoutARuntimeFolderShareTheMachinesLock) {
    std::string problem;
    if (!PrepareCameraLockFolder("", problem)) {
        GTEST_SKIP() << "the machine's lock folder is not usable here: " << problem;
    }
    CSandbox box;
    const std::string mac = OwnMac(1);
    LockingChild desktop;
    ASSERT_TRUE(desktop.Start([&] {
        setenv("XDG_RUNTIME_DIR", box.Path().c_str(), 1);
        bool busy = false;
        std::string childProblem;
        return LockCamera(mac, busy, childProblem);
    }));
    ASSERT_EQ(desktop.answer, 'y');
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = runtime != nullptr ? runtime : "";
    unsetenv("XDG_RUNTIME_DIR");
    bool busy = false;
    EXPECT_EQ(LockCamera(mac, busy, problem), nullptr);
    EXPECT_TRUE(busy) << problem;
    if (runtime != nullptr) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    }
    desktop.Kill();
    auto lock = LockCamera(mac, busy, problem);
    EXPECT_NE(lock, nullptr) << problem;
    lock.reset();
    std::string path = kMachineCameraLockFolder;
    path += "/";
    path += CameraLockName(mac);
    path += ".lock";
    ::unlink(path.c_str());
}

// A folder someone else made, or one anybody may empty: no camera is locked
// there, and the batch says why before it contacts any camera.
TEST(CameraLock, UnsafeLockFolderRefusesTheBatchWithTheReason) {
    CSessionHarness h;
    const std::string folder = h.Sandbox().File("squatted");
    ASSERT_EQ(::mkdir(folder.c_str(), 0777), 0);
    std::string reason = "may be written by others but is not sticky";
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(folder.c_str(), 4242, 4242), 0);
        reason = "belongs to user 4242";
    }
    ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    h.Options().cameraLockFolder = folder;
    const auto cam = h.Camera(1);
    h.Fleet().AddCamera(cam);
    ASSERT_TRUE(h.Start());
    EXPECT_EQ(h.StartBatch({cam.mac}, h.NewStylePackage("fw.bin")),
              BatchStartResult::LockFolderRefused);
    EXPECT_NE(h.Session().RefusalDetail().find(folder + " " + reason), std::string::npos)
        << h.Session().RefusalDetail();
    EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "connect"), 0);
    EXPECT_EQ(BatchStartMessageId(BatchStartResult::LockFolderRefused), IDS_LOCK_FOLDER_REFUSED);
}

// A lock file that is a link or a pipe is not the file every process locks:
// that camera is left alone, the others go on.
TEST(CameraLock, LockFileThatIsNotARegularFileLeavesItsCameraAlone) {
    CSessionHarness h;
    const auto linked = h.Camera(1);
    const auto piped = h.Camera(2);
    const auto plain = h.Camera(3);
    for (const auto& cam : {linked, piped, plain}) {
        h.Fleet().AddCamera(cam);
    }
    const std::string folder = h.Sandbox().File("locks");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    h.Sandbox().Write("elsewhere", "");
    ASSERT_EQ(::symlink(h.Sandbox().File("elsewhere").c_str(),
                        (folder + "/" + CameraLockName(linked.mac) + ".lock").c_str()),
              0);
    ASSERT_EQ(::mkfifo((folder + "/" + CameraLockName(piped.mac) + ".lock").c_str(), 0600), 0);
    ASSERT_TRUE(h.Start());
    h.RunBatch({linked.mac, piped.mac, plain.mac}, h.NewStylePackage("fw.bin"));
    for (const auto& cam : {linked, piped}) {
        EXPECT_EQ(h.FinalResult(cam.mac), UpgradeResult::LockRefused) << cam.mac;
        EXPECT_EQ(h.Fleet().CountEvents(cam.mac, "connect"), 0) << cam.mac;
        EXPECT_TRUE(h.Log().Contains("no safe lock, camera left alone, mac: " + cam.mac));
    }
    EXPECT_EQ(h.FinalResult(plain.mac), UpgradeResult::Ok);
    EXPECT_EQ(ResultCodeToText(UpgradeResult::LockRefused),
              "Not started: the camera's lock cannot be taken safely");
}
