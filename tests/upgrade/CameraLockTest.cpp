// One upgrade per camera on the machine: the lock of a MAC is shared by
// every process and dropped by the kernel when its holder dies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "upgrade/CameraLock.h"

using testing_support::CSandbox;
using testing_support::CScopedEnv;

TEST(CameraLock, OneHolderPerMacWhateverItsSpelling) {
    CSandbox box;
    CScopedEnv runtime("XDG_RUNTIME_DIR", box.Path());
    bool busy = false;
    auto first = LockCamera("02:00:aa:bb:cc:01", busy);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(busy);
    EXPECT_EQ(LockCamera("02-00-AA-BB-CC-01", busy), nullptr);
    EXPECT_TRUE(busy);
    EXPECT_NE(LockCamera("02:00:aa:bb:cc:02", busy), nullptr);  // another camera
    first.reset();
    EXPECT_NE(LockCamera("02:00:AA:BB:CC:01", busy), nullptr);
    EXPECT_EQ(CameraLockName("02:00:aa:bb:cc:01"), "0200AABBCC01");
}

TEST(CameraLock, AnotherProcessHoldsItUntilItIsKilled) {
    CSandbox box;
    CScopedEnv runtime("XDG_RUNTIME_DIR", box.Path());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool busy = false;
        auto lock = LockCamera("02:00:00:00:00:07", busy);
        const char answer = lock ? 'y' : 'n';
        (void)!write(ready[1], &answer, 1);
        pause();  // holds the lock until killed
        _exit(0);
    }
    char answer = 0;
    ASSERT_EQ(read(ready[0], &answer, 1), 1);
    ASSERT_EQ(answer, 'y');
    bool busy = false;
    EXPECT_EQ(LockCamera("02:00:00:00:00:07", busy), nullptr);
    EXPECT_TRUE(busy);

    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_NE(LockCamera("02:00:00:00:00:07", busy), nullptr);
    close(ready[0]);
    close(ready[1]);
}

TEST(CameraLock, NoUsableFolderMeansNoLockButNoRefusal) {
    CSandbox box;
    box.Write("file", "not a folder");
    CScopedEnv runtime("XDG_RUNTIME_DIR", box.File("file"));
    bool busy = true;
    EXPECT_EQ(LockCamera("02:00:00:00:00:08", busy), nullptr);
    EXPECT_FALSE(busy);
}
