// The main window's test fixture: a window whose message boxes, file
// dialog and browser are stand-ins, on the core session. Reachability and
// camera connections are stand-ins too, so nothing of the system changes
// and nothing leaves loopback. Open() gives the window a session whose
// search is not started (the test posts the reports); Launch() runs the
// program's own start-up against simulated cameras.
#pragma once

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "BatchQuestion.h"
#include "FirmhandApp.h"
#include "FirmhandDlg.h"
#include "GuiSimSupport.h"
#include "GuiTestSupport.h"
#include "app/Settings.h"
#include "app/WindowMessages.h"
#include "netops/Ipv4.h"
#include "reach/Reachability.h"
#include "session/FirmhandSession.h"
#include "session/MessageEvents.h"

// Reachability that notes what it is asked. Closed, it holds every caller
// of MakeDeviceReachable until the test opens it (or a generous limit
// passes, which the test sees as TimedOut()).
class CFakeReachability : public IReachability {
public:
    void AddLinkLocalRoute() override { ++routes; }
    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress,
                             std::stop_token) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_entered;
        if (!m_gate.wait_for(lock, std::chrono::seconds(30), [this] { return m_open; })) {
            m_timedOut = true;
        }
        m_macs.emplace_back(FieldText(device.mac));
        tryFirst = tryFirstAddress;
        if (!useSecondAddress) {
            return false;  // taken at the listed address; nothing added
        }
        deviceAddress = reach::InetAddr(FieldText(device.ip2));
        addedAddress = reach::InetAddr("127.0.99.200");
        return true;
    }
    bool IsLocalHostAddress(uint32_t) override {
        return ++asked >= 2;  // the added address shows up at the second look
    }

    void Close() {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_open = false;
    }
    void Open() {
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_open = true;
        }
        m_gate.notify_all();
    }
    // Callers that have come in (and may still be held).
    int Entered() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_entered;
    }
    // The cameras made reachable, in order.
    std::vector<std::string> Made() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_macs;
    }
    bool TimedOut() const {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_timedOut;
    }

    std::atomic<bool> useSecondAddress{false};
    std::atomic<bool> tryFirst{false};
    std::atomic<int> asked{0};
    std::atomic<int> routes{0};

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_gate;
    bool m_open = true;
    int m_entered = 0;
    bool m_timedOut = false;
    std::vector<std::string> m_macs;
};

class CTestDlg : public CFirmhandDlg {
public:
    CTestDlg() {
        connect(&SessionEvents(), &CSessionEventAdapter::BatchEnded, this,
                [this](int jobs) { batchEnds.push_back(jobs); });
    }
    std::vector<int> messages;
    bool answer = true;
    QString chosenFile;
    std::vector<std::string> opened;
    // The detail under each message box's text.
    std::vector<std::string> details;
    // The job count of every batch end handled.
    std::vector<int> batchEnds;
    QString exportFile;             // the export dialog's answer
    std::vector<QString> copied;    // clipboard texts
    std::vector<QString> notified;  // desktop notifications (title: body)
    // The questions before a batch (the cameras asked about) and before
    // quitting mid-batch, and their answers.
    std::vector<std::vector<DEVICE_S_INFO>> batchQuestions;
    std::vector<std::string> questionTexts;  // the question's text as the box shows it
    bool startBatch = true;
    int quitQuestions = 0;
    bool quitDuringBatch = true;

protected:
    bool ShowMessage(int stringId, bool /*okCancel*/) override {
        messages.push_back(stringId);
        details.push_back(MessageDetail().toStdString());
        return answer;
    }
    QString ChooseUpgradeFile() override { return chosenFile; }
    void OpenWebPage(const std::string& url) override { opened.push_back(url); }
    QString ChooseExportFile(const QString&, int) override { return exportFile; }
    void CopyText(const QString& text) override { copied.push_back(text); }
    void NotifyDesktop(const QString& title, const QString& body) override {
        notified.push_back(title + QStringLiteral(": ") + body);
    }
    bool ConfirmBatch(const std::vector<DEVICE_S_INFO>& cameras, size_t downgrades) override {
        batchQuestions.push_back(cameras);
        questionTexts.push_back(BatchQuestionText(cameras.size(), downgrades));
        return startBatch;
    }
    bool ConfirmQuitDuringBatch() override {
        ++quitQuestions;
        return quitDuringBatch;
    }
};

// The program's start-up with the test's window and adapter answer.
class CTestApp : public CFirmhandApp {
public:
    using CFirmhandApp::CFirmhandApp;
    CTestDlg* TestWindow() const { return static_cast<CTestDlg*>(Window()); }
    std::optional<std::string> adapterAnswer;  // none: the dialog was cancelled
    int adapterQuestions = 0;

protected:
    std::optional<std::string> AskForAdapter() override {
        ++adapterQuestions;
        return adapterAnswer;
    }
    std::unique_ptr<CFirmhandDlg> MakeWindow() override { return std::make_unique<CTestDlg>(); }
};

class FirmhandDlgTest : public CGuiTest {
protected:
    void TearDown() override {
        m_reach->Open();  // a held batch goes on, so that the session can end
        m_app.reset();
        m_ownDlg.reset();
        m_dlg = nullptr;
        m_fleet.Stop();
        m_sim.reset();
        CGuiTest::TearDown();
    }

    // Quick waits; a camera whose connection fails ends its job at once.
    SESSION_OPTIONS Options() {
        SESSION_OPTIONS options;
        options.reachability = m_reach;
        options.timings.retryPauseMs = 5;
        options.timings.addressProbeMs = 50;
        options.settingOverrides[settings::kTryUpgradeMaxCount] = "2";
        options.settingOverrides[settings::kWaitIp2ChangeTimeout] = "1";
        options.clientFactory = [this](const std::string&, const std::string&, uint16_t,
                                       uint32_t& error, uint32_t, const std::atomic<bool>*) {
            ++m_connects;
            error = 15;
            return UpgradeDeviceClientPtr();
        };
        return options;
    }
    // The window on a session that is not started.
    void Open() { Open(Options()); }
    void Open(SESSION_OPTIONS options) {
        // Cameras of tests running side by side may share MACs.
        options.cameraLockFolder = m_sandbox.File("locks");
        m_ownDlg = std::make_unique<CTestDlg>();
        m_dlg = m_ownDlg.get();
        m_dlg->SetSession(
            std::make_unique<CFirmhandSession>(std::move(options), m_dlg->EventSink()));
    }
    // The program's start-up: adapter "lo", search targets of the fleet.
    bool Launch(FIRMHAND_OPTIONS options, SESSION_OPTIONS base) {
        base.cameraLockFolder = m_sandbox.File("locks");
        m_app = std::make_unique<CTestApp>(std::move(options), std::move(base));
        if (!m_app->Start()) {
            return false;
        }
        m_dlg = m_app->TestWindow();
        return true;
    }
    // Simulated cameras of this test's block, with the session's waits
    // shortened.
    SESSION_OPTIONS SimOptions(int block) {
        m_sim.emplace(block);
        SESSION_OPTIONS options;
        options.reachability = m_reach;
        ShortenSessionWaits(options);
        return options;
    }
    void StartFleet() {
        std::string error;
        ASSERT_TRUE(m_fleet.Start(&error)) << error;
    }
    FIRMHAND_OPTIONS FleetOptions() {
        FIRMHAND_OPTIONS options;
        options.adapter = "lo";
        options.searchTargets = CGuiSimSetup::SearchTargets(m_fleet);
        options.packagePath = CGuiSimSetup::WritePackage(m_sandbox.File("fw.bin"));
        return options;
    }

    CFirmhandSession& Session() { return *m_dlg->Session(); }
    // Posts the event the message of a core part stands for, as the
    // session does; a message no event stands for is dropped there.
    void Post(CWindowMessage message) {
        if (std::optional<SessionEvent> event = EventOfMessage(std::move(message))) {
            ASSERT_TRUE(m_dlg->EventSink()->OnEvent(std::move(*event)));
        }
    }
    void Found(const DeviceFields& fields, DeviceNotifyKind kind = DEVICE_NOTIFY_FOUND) {
        Post(MakeDeviceMessage(kind, MakeDevice(fields)));
    }
    // Cameras on loopback addresses where nothing listens.
    void AddCameras(int count, const std::string& model = "IPC-100") {
        for (int i = 0; i < count; ++i) {
            DeviceFields fields;
            fields.mac = Mac(i);
            fields.model = model;
            fields.ip = "127.0.70." + std::to_string(i + 1);
            fields.ip2 = "127.0.71." + std::to_string(i + 1);
            Found(fields);
        }
        ProcessGuiEvents();
    }
    static std::string Mac(int i) {
        char mac[32];
        std::snprintf(mac, sizeof mac, "00:11:22:33:%02X:%02X", i / 256, i % 256);
        return mac;
    }
    void Check(const std::string& mac) {
        DeviceList().SetChecked(m_dlg->List().findDeviceItem(mac), true);
    }
    // A click on a check box as the view makes it.
    void ClickCheck(const std::string& mac, bool checked) {
        CDeviceListModel& list = DeviceList();
        list.setData(list.index(m_dlg->List().findDeviceItem(mac), COL_CHECK),
                     checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    std::string Result(const std::string& mac) {
        return DeviceList().CellText(m_dlg->List().findDeviceItem(mac), COL_RESULT).toStdString();
    }
    QString ControlText(int id) const {
        QWidget* w = m_dlg->Control(id);
        if (auto* b = qobject_cast<QPushButton*>(w)) {
            return b->text();
        }
        if (auto* l = qobject_cast<QLabel*>(w)) {
            return l->text();
        }
        if (auto* g = qobject_cast<QGroupBox*>(w)) {
            return g->title();
        }
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            return e->text();
        }
        return {};
    }
    bool Enabled(int id) const { return m_dlg->Control(id)->isEnabled(); }
    bool LockedForBatch() const {
        for (int id :
             {IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_CHECK_SAME_TYPE, IDC_UPGRADE}) {
            if (Enabled(id)) {
                return false;
            }
        }
        return m_dlg->DeviceList().ChecksLocked() && !m_dlg->Control(IDC_BUSY_TEXT)->isHidden() &&
               !m_dlg->Control(IDC_BUSY_PICTURE)->isHidden();
    }
    bool Unlocked() const {
        for (int id : {IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_UPGRADE}) {
            if (!Enabled(id)) {
                return false;
            }
        }
        return !m_dlg->DeviceList().ChecksLocked() && m_dlg->Control(IDC_BUSY_TEXT)->isHidden() &&
               m_dlg->Control(IDC_BUSY_PICTURE)->isHidden();
    }
    // Until the window has handled the batch's end.
    bool WaitForBatchEnd() {
        return PumpUntil([this] { return !m_dlg->IsUpgrading(); }, 30000);
    }
    CDeviceListModel& DeviceList() { return m_dlg->DeviceList(); }
    // A valid package in the sandbox, chosen as the upgrade file.
    std::string ChoosePackage(const std::string& name = "fw.bin") {
        const std::string path = CGuiSimSetup::WritePackage(m_sandbox.File(name), 200);
        m_dlg->SetUpgradeFile(QString::fromStdString(path));
        return path;
    }
    void StartWith(std::initializer_list<int> cameras) {
        ChoosePackage();
        for (int i : cameras) {
            Check(Mac(i));
        }
        m_dlg->OnBnClickedButtonUpdate();
    }

    std::shared_ptr<CFakeReachability> m_reach = std::make_shared<CFakeReachability>();
    std::atomic<int> m_connects{0};
    std::unique_ptr<CTestApp> m_app;
    std::unique_ptr<CTestDlg> m_ownDlg;
    CTestDlg* m_dlg = nullptr;
    std::optional<CGuiSimSetup> m_sim;
    CSimFleet m_fleet;
};

// A left click in the middle of the widget, as the mouse makes it.
void SendLeftClick(QWidget* widget);
