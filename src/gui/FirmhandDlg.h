// The main window: the list of cameras found on the network, the buttons
// that choose them, the package and credentials, and the batch upgrade with
// its progress shown per row.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "DeviceListModel.h"
#include "QtMessageSink.h"
#include "UpgradeController.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QGroupBox;
class QTimer;
class CPictureEx;
class IReachability;
class CSearchIntake;
class CAiVersionQuery;

// Control ids of the main window.
enum FirmhandControlId : int {
    IDC_DEVICE_LIST = 1001,
    IDC_SELECT_ALL = 1002,
    IDC_CLEAR_ALL = 1003,
    IDC_CHECK_SAME_TYPE = 1004,
    IDC_PACKAGE_PATH = 1006,
    IDC_BROWSE = 1007,
    IDC_UPGRADE = 1008,
    IDC_BUSY_PICTURE = 1009,
    IDC_BUSY_TEXT = 1011,
    IDC_BATCH_GROUP = 1012,
    IDC_USERNAME = 1013,
    IDC_USERNAME_LABEL = 1014,
    IDC_PASSWORD_LABEL = 1015,
    IDC_PASSWORD = 1016,
    IDC_GET_AI_VERSION = 1019,
    IDC_SHOW_AI = 1022,
    IDC_SHOW_SLAVE_IP = 1024,
};

// Longest user name and password the edits take.
constexpr int kCredentialMaxLength = 30;
// The automatic upgrade test's one-shot timer.
constexpr int AUTO_UPGRADE_TIMER = 257;

class CFirmhandDlg : public QMainWindow {
    Q_OBJECT

public:
    explicit CFirmhandDlg(QWidget* parent = nullptr);
    ~CFirmhandDlg() override;

    const MessageSinkPtr& MessageSink() const { return m_sink; }
    // The engine that runs batches; none means Upgrade cannot start one.
    void SetUpgradeController(std::shared_ptr<IUpgradeController> controller);
    // Makes link-local and foreign-subnet cameras reachable before their web
    // page opens; none means the page opens at the listed address.
    void SetReachability(std::shared_ptr<IReachability> reachability);

    // The last step of the initialisation, once the adapter is chosen: the
    // socket layer, the device search (its reports come to this window),
    // the link-local route (when reachability is set), then the automatic
    // upgrade test's settings. Once only.
    void StartSearch();
    // Reads the automatic upgrade test's settings (done by StartSearch).
    void InitAutoUpgradeTest();

    // Controls by id (null for an unknown id).
    QWidget* Control(int id) const;
    CDeviceListModel& DeviceList() { return *m_model; }
    QTableView* ListView() const { return m_list; }
    CPictureEx* BusyPicture() const { return m_busyPicture; }

    // The list's row operations.
    bool addDeviceItem(std::unique_ptr<DEVICE_S_INFO> info);
    int findDeviceItem(const std::string& mac) const;
    // Refused (false) while a job runs for the MAC.
    bool removeDeviceItem(const std::string& mac);
    // Every checked row of one product model (remembered for button 1004).
    bool isCheckedSameModel();
    const std::string& RememberedModel() const { return m_sameModel; }

    // Buttons and the list's header.
    void OnSelectAll();
    void OnClearAll();
    void OnCheckSameType();
    void OnBrowse();
    void OnShowAiVersion();
    void OnShowSlaveIp();
    void OnColumnClick(int column);
    // Double click on a row: opens the camera's web page.
    void OnListDoubleClicked(const QModelIndex& index);
    void OnBnClickedButtonUpdate();
    // Button 1019: asks the checked cameras for their analytics versions,
    // one after another off the window thread.
    void OnBnClickedButtonGetAiVersion();
    // Timer handler; ids other than AUTO_UPGRADE_TIMER are ignored.
    void OnTimer(int timerId);
    // The automatic test's batch: chooses the package and presses Upgrade.
    void startAutoUpgrade();

    // Handlers of the posted messages; return values as the message table
    // gives them.
    int OnDeviceNotify(CWindowMessage& message);
    int OnUpgradeProgress(int32_t progress, const std::string& mac);
    int OnUpgradeResult(int32_t code, const std::string& mac);
    int OnAiVersionResult(int32_t wParam, const std::string& text);

    bool IsUpgrading() const { return m_upgrading; }
    const QString& UpgradeFile() const { return m_upgradeFile; }
    void SetUpgradeFile(const QString& path) { m_upgradeFile = path; }
    // An upgrade file chosen outside Browse (--package): kept and shown.
    void SelectUpgradeFile(const QString& path);
    // Shown width of a list column (0 while it is hidden).
    int ColumnWidth(int column) const;
    bool IsSlaveIpColumnShown() const { return m_slaveIpShown; }
    bool AreAiColumnsShown() const { return m_aiShown; }
    // An analytics query run has results still to come.
    bool IsAiQueryPending() const { return m_aiPending > 0; }
    bool IsAutoUpgradeTimerActive() const;
    bool IsSearchStarted() const { return m_intake != nullptr; }

    void ShowAbout();
    // Runs the orderly shutdown once (also done by the destructor).
    void Shutdown();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // Handles one posted message from the core on the window thread.
    virtual void OnWindowMessage(CWindowMessage& message);
    // A message box with a string-table text; true when it ended with OK.
    virtual bool ShowMessage(int stringId, bool okCancel);
    // The file dialog of Browse; "" when the user cancelled.
    virtual QString ChooseUpgradeFile();
    // Called for every new row, after its record is stored.
    virtual void OnNewDeviceRow(int row);
    // Opens a web page in the desktop's browser.
    virtual void OpenWebPage(const std::string& url);

private:
    void BuildControls();
    void LoadTexts();
    void SetColumnWidth(int column, int width);
    void SetBatchControlsEnabled(bool enabled);
    void ShowBusy(bool shown);
    void UpdateSortIndicator();
    void SetAiColumnsShown(bool shown);
    void StopServices();

    std::shared_ptr<CQtMessageSink> m_qtSink;
    MessageSinkPtr m_sink;
    std::shared_ptr<IUpgradeController> m_controller;
    std::shared_ptr<IReachability> m_reachability;

    QIcon m_icon;
    CDeviceListModel* m_model = nullptr;
    QTableView* m_list = nullptr;
    CPictureEx* m_busyPicture = nullptr;
    QLabel* m_busyText = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    std::map<int, QWidget*> m_controls;

    QString m_upgradeFile;
    std::string m_sameModel;
    std::map<int, bool> m_sortAscending;  // per column; false until first sorted
    int m_sortColumn = -1;
    bool m_sortedAscending = false;
    bool m_slaveIpShown = true;
    bool m_aiShown = false;
    std::string m_userName;
    std::string m_password;
    bool m_upgrading = false;
    bool m_shutDown = false;
    // The running batch: its cameras, the final results shown so far, and
    // whether the engine has called it over.
    int m_batchCameras = 0;
    int m_finalResults = 0;
    bool m_engineBatchOver = false;

    // Device search.
    std::unique_ptr<CSearchIntake> m_intake;
    bool m_socketsStarted = false;

    // Analytics versions: the run and the results still to come.
    std::unique_ptr<CAiVersionQuery> m_aiQuery;
    int m_aiPending = 0;

    // Automatic upgrade test (all empty while it is off).
    QTimer* m_autoUpgradeTimer = nullptr;
    std::string m_autoMac;
    QString m_package1;
    QString m_package2;
    std::string m_buildNo1;
    std::string m_buildNo2;
};
