// The window on a real X display (Xvfb through xvfb-run, Qt's xcb
// platform), driven as a technician or a screen reader would: controls are
// found by their accessible names, typed into and clicked. It searches
// simulated cameras, filters, checks, upgrades and exports.
//
// The parent test starts this binary again under xvfb-run with only the
// child test selected; the child does the driving.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QGuiApplication>
#include <QTableView>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "DeviceFilter.h"
#include "FirmhandDlgFixture.h"
#include "support/ChildProcess.h"

namespace {

constexpr const char* kChildEnv = "FIRMHAND_X11_CHILD";

class DesktopOnX11 : public FirmhandDlgTest {
protected:
    void SetUp() override {
        if (std::getenv(kChildEnv) == nullptr) {
            GTEST_SKIP() << "run by DesktopEndToEnd under xvfb-run";
        }
        FirmhandDlgTest::SetUp();
    }
    // The one widget of this type with this accessible name.
    template <typename T>
    T* Named(const QString& name) {
        T* found = nullptr;
        for (T* widget : m_dlg->findChildren<T*>()) {
            if (widget->accessibleName() == name) {
                EXPECT_EQ(found, nullptr) << "two controls named " << name.toStdString();
                found = widget;
            }
        }
        EXPECT_NE(found, nullptr) << "no control named " << name.toStdString();
        return found;
    }
    void Click(QWidget* widget) {
        ASSERT_NE(widget, nullptr);
        QTest::mouseClick(widget, Qt::LeftButton);
    }
};

}  // namespace

TEST(DesktopEndToEnd, SearchFilterCheckUpgradeExportOnAnX11Display) {
    const std::string xvfbRun = FindOnPath("xvfb-run");
    if (xvfbRun.empty() || FindOnPath("Xvfb").empty()) {
        GTEST_SKIP() << "xvfb-run is not installed (scripts/bootstrap installs xvfb and xauth)";
    }
    testing_support::CSandbox sandbox;
    CHILD_OPTIONS child;
    child.program = xvfbRun;
    child.args = {"-a", "-s", "-screen 0 1600x1000x24 -nolisten tcp", "/proc/self/exe"};
    // Under xvfb-run /proc/self/exe would be the shell: name this binary.
    std::error_code failure;
    child.args.back() = std::filesystem::read_symlink("/proc/self/exe", failure).string();
    ASSERT_FALSE(failure) << failure.message();
    child.args.push_back("--gtest_filter=DesktopOnX11.*");
    child.env = {std::string(kChildEnv) + "=1", "QT_QPA_PLATFORM=xcb"};
    child.outPath = sandbox.File("child.out");
    child.errPath = sandbox.File("child.err");
    CChildProcess process;
    std::string error;
    ASSERT_TRUE(process.Start(child, error)) << error;
    const std::optional<CHILD_EXIT> end = process.Wait(std::chrono::seconds(120));
    ASSERT_TRUE(end) << "the child did not end";
    EXPECT_FALSE(end->signalled);
    EXPECT_EQ(end->code, 0) << sandbox.Read("child.out") << sandbox.Read("child.err");
    EXPECT_NE(sandbox.Read("child.out").find("[  PASSED  ] 1 test"), std::string::npos)
        << sandbox.Read("child.out") << sandbox.Read("child.err");
}

TEST_F(DesktopOnX11, Drive) {
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    SESSION_OPTIONS options = SimOptions(22);
    for (int n = 0; n < 3; ++n) {
        SimCameraConfig camera = m_sim->Camera(n);
        camera.model = n == 2 ? "NVR-8" : "IPC-2020";
        m_fleet.AddCamera(camera);
    }
    StartFleet();
    ASSERT_TRUE(Launch(FleetOptions(), options));
    m_dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_dlg));
    m_dlg->activateWindow();  // no window manager hands out the focus
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_dlg));
    const std::string wanted = m_fleet.Cameras()[1].mac;

    // The search fills the list.
    ASSERT_TRUE(PumpUntil([&] { return DeviceList().RowCount() == 3; }, 20000));

    // Filter to one camera by typing, check it with Select All.
    auto* filter = Named<QLineEdit>(QStringLiteral("Filter"));
    ASSERT_NE(filter, nullptr);
    QTest::keyClick(m_dlg, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(PumpUntil([&] { return filter->hasFocus(); }, 5000));
    QTest::keyClicks(filter, QString::fromStdString(m_fleet.Cameras()[1].ip));
    EXPECT_EQ(m_dlg->ListView()->model()->rowCount(), 1);
    Click(Named<QPushButton>(QStringLiteral("Select All")));
    EXPECT_EQ(DeviceList().CheckedRows(), std::vector<int>{m_dlg->List().findDeviceItem(wanted)});
    filter->selectAll();
    QTest::keyClick(filter, Qt::Key_Backspace);
    EXPECT_EQ(m_dlg->ListView()->model()->rowCount(), 3);

    // The password is masked until asked for.
    auto* password = Named<QLineEdit>(QStringLiteral("Password"));
    ASSERT_NE(password, nullptr);
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    Click(Named<QAbstractButton>(QStringLiteral("Show password")));
    EXPECT_EQ(password->echoMode(), QLineEdit::Normal);

    // Upgrade the checked camera.
    Click(Named<QPushButton>(QStringLiteral("Upgrade")));
    ASSERT_TRUE(m_dlg->IsUpgrading());
    ASSERT_TRUE(PumpUntil([&] { return !m_dlg->IsUpgrading(); }, 30000));
    EXPECT_EQ(Result(wanted), "Upgraded successfully!");
    EXPECT_EQ(Result(m_fleet.Cameras()[0].mac), "");

    // Export the results by the keyboard shortcut.
    m_dlg->exportFile = QString::fromStdString(m_sandbox.File("results.json"));
    m_dlg->activateWindow();
    QTest::keyClick(m_dlg, Qt::Key_E, Qt::ControlModifier | Qt::ShiftModifier);
    std::ifstream in(m_sandbox.File("results.json"));
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("\"status\": \"upgraded\""), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(wanted), std::string::npos) << text.str();
}
