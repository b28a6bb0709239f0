// The main window's test fixture: a window whose message boxes, file
// dialog and browser are stand-ins, with an engine driven by the test.
#pragma once

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FirmhandDlg.h"
#include "GuiTestSupport.h"
#include "reach/Ipv4.h"
#include "reach/Reachability.h"

// The engine as the window sees it, driven by the test.
class CFakeUpgradeController : public IUpgradeController {
public:
    int StartBatch(const UPGRADE_BATCH_REQUEST& request) override {
        starts.push_back(request);
        if (refusal == 0) {
            for (const DEVICE_S_INFO& info : request.devices) {
                jobs[std::string(FieldText(info.mac))] = false;
            }
        }
        return refusal;
    }
    bool HasJob(const std::string& mac) override { return jobs.count(mac) != 0; }
    bool OnUpgradeResult(int code, const std::string& mac) override {
        results.emplace_back(code, mac);
        for (const auto& [job, finished] : jobs) {
            if (!finished) {
                return false;
            }
        }
        jobs.clear();
        return true;
    }
    void CancelAllJobs() override {
        ++cancels;
        jobs.clear();
    }
    void OnSearchReport(DeviceNotifyKind kind, const DEVICE_S_INFO& record) override {
        reports.emplace_back(kind, std::string(FieldText(record.mac)));
    }

    int refusal = 0;
    std::vector<UPGRADE_BATCH_REQUEST> starts;
    std::map<std::string, bool> jobs;  // MAC -> finished
    std::vector<std::pair<int, std::string>> results;
    std::vector<std::pair<DeviceNotifyKind, std::string>> reports;
    int cancels = 0;
};

// Reachability that hands out the camera's second address after "adding"
// a local one.
class CFakeReachability : public IReachability {
public:
    void AddLinkLocalRoute() override {}
    bool MakeDeviceReachable(const DEVICE_S_INFO& device, uint32_t& deviceAddress,
                             uint32_t& addedAddress, bool tryFirstAddress) override {
        tryFirst = tryFirstAddress;
        deviceAddress = reach::InetAddr(FieldText(device.ip2));
        addedAddress = reach::InetAddr("172.16.0.200");
        return true;
    }
    bool IsLocalHostAddress(uint32_t address) override {
        asked.push_back(address);
        return asked.size() >= 2;  // the address shows up at the second look
    }
    bool tryFirst = false;
    std::vector<uint32_t> asked;
};

class CTestDlg : public CFirmhandDlg {
public:
    std::vector<int> messages;
    bool answer = true;
    QString chosenFile;
    std::vector<std::string> opened;

protected:
    bool ShowMessage(int stringId, bool /*okCancel*/) override {
        messages.push_back(stringId);
        return answer;
    }
    QString ChooseUpgradeFile() override { return chosenFile; }
    void OpenWebPage(const std::string& url) override { opened.push_back(url); }
};

class FirmhandDlgTest : public CGuiTest {
protected:
    void Open() {
        m_dlg = std::make_unique<CTestDlg>();
        m_engine = std::make_shared<CFakeUpgradeController>();
        m_dlg->SetUpgradeController(m_engine);
    }
    void TearDown() override {
        m_dlg.reset();
        CGuiTest::TearDown();
    }

    void Post(CWindowMessage message) {
        ASSERT_TRUE(m_dlg->MessageSink()->PostMessage(std::move(message)));
    }
    void Found(const DeviceSpec& fields, DeviceNotifyKind kind = DEVICE_NOTIFY_FOUND) {
        Post(MakeDeviceMessage(kind, MakeDevice(fields)));
    }
    void AddCameras(int count, const std::string& model = "IPC-100") {
        for (int i = 0; i < count; ++i) {
            DeviceSpec fields;
            fields.mac = Mac(i);
            fields.model = model;
            fields.ip2 = "172.16.0." + std::to_string(i + 1);
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
        DeviceList().SetChecked(m_dlg->findDeviceItem(mac), true);
    }
    // A click on a check box as the view makes it.
    void ClickCheck(const std::string& mac, bool checked) {
        CDeviceListModel& list = DeviceList();
        list.setData(list.index(m_dlg->findDeviceItem(mac), COL_CHECK),
                     checked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    std::string Result(const std::string& mac) {
        return DeviceList().CellText(m_dlg->findDeviceItem(mac), COL_RESULT).toStdString();
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
        for (int id : {IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_CHECK_SAME_TYPE, IDC_UPGRADE,
                       IDC_DEVICE_LIST}) {
            if (Enabled(id)) {
                return false;
            }
        }
        return !m_dlg->Control(IDC_BUSY_TEXT)->isHidden() &&
               !m_dlg->Control(IDC_BUSY_PICTURE)->isHidden();
    }
    bool Unlocked() const {
        for (int id : {IDC_BROWSE, IDC_SELECT_ALL, IDC_CLEAR_ALL, IDC_UPGRADE, IDC_DEVICE_LIST}) {
            if (!Enabled(id)) {
                return false;
            }
        }
        return m_dlg->Control(IDC_BUSY_TEXT)->isHidden() &&
               m_dlg->Control(IDC_BUSY_PICTURE)->isHidden();
    }
    CDeviceListModel& DeviceList() { return m_dlg->DeviceList(); }
    void StartWith(std::initializer_list<int> cameras) {
        m_dlg->SetUpgradeFile(QString::fromStdString(m_sandbox.File("fw.bin")));
        for (int i : cameras) {
            Check(Mac(i));
        }
        m_dlg->OnBnClickedButtonUpdate();
    }

    std::unique_ptr<CTestDlg> m_dlg;
    std::shared_ptr<CFakeUpgradeController> m_engine;
};

// A left click in the middle of the widget, as the mouse makes it.
void SendLeftClick(QWidget* widget);
