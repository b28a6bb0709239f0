// The main window's shell: the menus, the status bar, the layout of its
// parts and the wiring between them and the core session. It owns the list
// of cameras (CDeviceListController), the rollout options (CRolloutPanel),
// the log pane (CLogPane) and the automatic upgrade test (CAutoUpgradeTest),
// and keeps for itself the credentials, the upgrade file and the batch:
// starting one, locking the controls until its end, its outcomes and
// summary. Every dialog the window opens is a virtual here, so that a test
// stands it in. It renders what the session posts and asks the session for
// everything else; it runs nothing of its own.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "AutoUpgradeTest.h"
#include "BatchOutcomes.h"
#include "DeviceListController.h"
#include "DeviceListModel.h"
#include "ReportFields.h"
#include "RolloutPanel.h"
#include "SessionEventAdapter.h"
#include "WindowControls.h"
#include "app/Language.h"
#include "session/SessionTypes.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLayout;
class QLineEdit;
class QMenu;
class QTableView;
class QTimer;
class CBatchEvents;
class CDeviceFilter;
class CInventoryView;
class CAddCameraMacDlg;
class CNotFoundCamerasDlg;
class QPushButton;
struct INVENTORY_CAMERA;
class CFirmhandSession;
class CLogPane;
class CPictureEx;
struct BatchRequest;

class CFirmhandDlg : public QMainWindow, private CAutoUpgradeTest::IWindow {
    Q_OBJECT

public:
    explicit CFirmhandDlg(QWidget* parent = nullptr);
    ~CFirmhandDlg() override;

    // Where the session posts; its events reach the window thread in order.
    SessionEventSinkPtr EventSink() const { return m_eventAdapter->Sink(); }
    // The session's events as signals on the window thread.
    CSessionEventAdapter& SessionEvents() const { return *m_eventAdapter; }
    // The run behind the window, made with EventSink(); the window stops
    // it when it closes. Reads the automatic upgrade test's settings.
    void SetSession(std::unique_ptr<CFirmhandSession> session);
    CFirmhandSession* Session() const { return m_session.get(); }
    // The automatic upgrade test (off unless the run's settings turn it on).
    CAutoUpgradeTest& AutoUpgrade() { return *m_auto; }

    // Controls by id (null for an unknown id).
    QWidget* Control(int id) const;
    // The list of cameras, its rows and its view.
    CDeviceListController& List() const { return *m_list; }
    CDeviceListModel& DeviceList() const { return m_list->Model(); }
    CDeviceFilter& Filter() const { return m_list->Filter(); }
    QTableView* ListView() const { return m_list->View(); }
    CPictureEx* BusyPicture() const { return m_busyPicture; }

    void OnBrowse();
    // F5: a search round now.
    void OnSearchNow();
    // Export of the list or of the last batch's results; the file's
    // ending (.csv, else JSON) chooses the format. False when not written.
    bool ExportList(const QString& path);
    bool ExportResults(const QString& path);
    const CBatchOutcomes& LastBatch() const { return m_outcomes; }
    // The status bar's texts.
    QString StatusCountsText() const;
    QString StatusTimeText() const;
    // The log pane: the technician's events and, on request, the program's
    // lines (of the selected camera when one is selected).
    CLogPane& LogPane() const { return *m_logPane; }
    // Saves the window's geometry, columns and view in the per-user file
    // (also done on close).
    void SaveWindowState();
    // Double click on a row: the session makes the camera reachable off
    // this thread; its web page opens with the session's WebPageReadyEvent.
    void OnListDoubleClicked(const QModelIndex& index);
    // Upgrade: asks first, with the count, models and versions.
    void OnBnClickedButtonUpdate();
    // The hidden automatic start's Upgrade: no person to ask.
    void UpgradeCheckedWithoutAsking();
    // Button 1019: asks the checked cameras for their analytics versions,
    // one after another off the window thread.
    void OnBnClickedButtonGetAiVersion();

    // Handlers of the session's events (CSessionEventAdapter's signals).
    // OnUpgradeProgress is 1 when it found the camera's row.
    int OnUpgradeProgress(int32_t progress, const std::string& mac);
    // A state or the final result of a camera's job; 1 as the window's
    // message table always answered it.
    int OnUpgradeResult(UpgradeProgress state, const std::string& mac);
    int OnUpgradeResult(UpgradeResult code, const std::string& mac);
    // The batch's last event: the controls come back.
    void OnBatchEnd();
    // "Pause" / "Go on" beside Upgrade, and the batch's answer to it: the
    // button's text and the status bar follow the batch.
    void OnPauseClicked();
    void OnBatchPaused(bool paused);
    void OnAiVersionResult(const AiVersionResult& result);

    // From a started batch until its BatchEndedEvent was handled.
    bool IsUpgrading() const override { return m_upgrading; }
    const QString& UpgradeFile() const override { return m_upgradeFile; }
    void SetUpgradeFile(const QString& path) { SelectUpgradeFile(path); }
    // An upgrade file chosen outside Browse (--package): kept and shown.
    void SelectUpgradeFile(const QString& path);
    // "Add model package...": asks a model and a file.
    void OnAddModelPackage();
    void OnBrowseCredentials();
    // Checks only the rows that failed in the last batch and starts it again.
    void OnRetryFailed();
    // When the last run did not finish, asks whether to resume it; yes
    // starts it with its journal. False when nothing was started.
    bool OfferResume();
    // An analytics query run has results still to come.
    bool IsAiQueryPending() const { return m_aiPending > 0; }
    // The size the window opens with on a screen of `available` size
    // (invalid: no screen) before a remembered geometry applies.
    QSize DefaultWindowSize(const QSize& available) const;
    // The rollout options' panel (folded or open, remembered).
    CRolloutPanel* RolloutPanel() const { return m_rolloutPanel; }

    // Makes `language` the interface's (remembered) and shows every text of
    // the window in it; later message boxes follow.
    void ChooseLanguage(UiLanguage language);
    // View menu's "Developer log lines".
    QAction* DeveloperLogAction() const { return m_developerLog; }

    // The site inventory (FirmhandDlgInventory.cpp): the database the
    // session records into ("" when it records nothing), the site the
    // views and the report name (the Site field, else the adapter's
    // subnet), and the report's remembered fields.
    std::string InventoryPath() const;
    std::string InventorySite() const;
    const report_fields::REPORT_FIELDS& ReportFields() const { return m_reportFields; }
    // Remembers the fields; false (and nothing changed) when one breaks its bound.
    bool SetReportFields(const report_fields::REPORT_FIELDS& fields);
    // A camera's history and the site's cameras, as non-modal dialogs.
    QDialog* OpenCameraHistory(const std::string& mac);
    CInventoryView* OpenInventoryView();
    // The inventory's notice, told once in the log pane and the status bar.
    void OnInventoryNotice(const std::string& text);

    // Cameras the search has not found (FirmhandDlgNotFound.cpp): greyed
    // rows that a batch waits for when they are checked. False when the
    // MAC is malformed or has a row already.
    bool AddNotFoundCamera(const std::string& mac);
    bool AddNotFoundCamera(const INVENTORY_CAMERA& camera);
    // "Add cameras not found": by MAC, and from the site's inventory
    // (the cameras it has seen at the site that have no row), as non-modal
    // dialogs whose Add puts the rows in.
    CAddCameraMacDlg* OpenAddByMac();
    CNotFoundCamerasDlg* OpenAddFromInventory();

    // Runs the orderly shutdown once (also done by the destructor): the
    // session's batch is cancelled and every thread of the run is joined.
    void Shutdown();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // A message box with a string-table text; true when it ended with OK.
    virtual bool ShowMessage(int stringId, bool okCancel);
    // What the message box shows under the text (the file and the reason of
    // a refused package), or empty.
    const QString& MessageDetail() const { return m_messageDetail; }
    // The file dialog of Browse; "" when the user cancelled.
    virtual QString ChooseUpgradeFile();
    // Asks the model and the file of a model package; false when cancelled.
    virtual bool ChooseModelPackage(std::string& model, QString& path);
    // The credentials file dialog; "" when the user cancelled.
    virtual QString ChooseCredentialsFile();
    // Opens a web page in the desktop's browser.
    virtual void OpenWebPage(const std::string& url);
    // The export file dialog offering the files of `filterId`; "" when the
    // user cancelled.
    virtual QString ChooseExportFile(const QString& caption, int filterId);
    // Puts text on the clipboard.
    virtual void CopyText(const QString& text);
    // Tells the desktop that the batch ended (the window is not active).
    virtual void NotifyDesktop(const QString& title, const QString& body);
    // Asks before a batch of `cameras`, `downgrades` of which run newer
    // firmware than their package; true to start it.
    virtual bool ConfirmBatch(const std::vector<DEVICE_S_INFO>& cameras, size_t downgrades);
    // Asks before quitting while a batch runs; true to cancel it and quit.
    virtual bool ConfirmQuitDuringBatch();

private:
    void BuildControls();
    // The session's events to the handlers of the shell and its parts.
    void WireSessionEvents();
    // Shown without stopping the events that follow.
    void ShowReachNotice(const std::string& text);
    // The list's requests: the window's dialogs, batches and log pane.
    void WireList();
    QWidget* BuildBusyIndicator(QWidget* central);
    QWidget* BuildBatchGroup(QWidget* central);
    QLayout* BuildCredentialsRow(QGroupBox* group);
    QLayout* BuildPackageRow(QGroupBox* group);
    void BuildMenus();
    void BuildViewMenu();
    // File > Site and report; View > Inventory and the row menu's History.
    void AddReportFieldsAction(QMenu* file);
    void AddInventoryActions(QMenu* view);
    void BuildLanguageMenu(QMenu* view);
    // Sets an action's string-table text and keeps it for a language change.
    QAction* Texted(QAction* action, int stringId);
    // Every text of the window again, in the current language.
    void Retranslate();
    void BuildStatusBar();
    // Fixed sizes of the status bar's labels for the longest texts.
    void SizeStatusLabels();
    void WatchStatusCounts();
    void BuildLogPane();
    void RestoreWindowState();
    void UpdateStatusBar();
    // A batch of the checked rows (or of `only`), as Upgrade starts it.
    void StartBatchOf(const std::vector<int>& rows, bool ask = true);
    // The cameras of the request's plan that would be downgraded.
    size_t PlannedDowngrades(const BatchRequest& request);
    QPushButton* BuildAddNotFoundButton(QWidget* central);
    bool IsListed(const std::string& mac) const;
    // "Wait for missing" checked before a batch: a malformed time, or none
    // when cameras not found are chosen (`needed`), is refused with its
    // message. `seconds` 0 when none was given.
    bool TakeWaitTime(bool needed, int& seconds, std::string& text);
    // Starts a filled request; the window locks until its end.
    bool StartRequest(BatchRequest& request);
    void ShowBatchSummary();
    // The last batch's summary in the current language.
    QString BatchSummaryText() const;
    // The automatic upgrade test's Upgrade with its package.
    void UpgradeCheckedWith(const QString& package) override;
    void ShowAbout();
    void LoadTexts();
    void SetBatchControlsEnabled(bool enabled);
    void ShowBusy(bool shown);
    // Selects the rows of the cameras that share a slave address and asks
    // whether to go on.
    bool ConfirmDuplicates(const std::vector<std::string>& macs);

    std::unique_ptr<CSessionEventAdapter> m_eventAdapter;
    std::unique_ptr<CFirmhandSession> m_session;

    QIcon m_icon;
    CDeviceListController* m_list = nullptr;
    CPictureEx* m_busyPicture = nullptr;
    QLabel* m_busyText = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    CRolloutPanel* m_rolloutPanel = nullptr;
    QCheckBox* m_showPassword = nullptr;
    // Without a keyring the typed password is remembered in the settings
    // file only when this is checked.
    QCheckBox* m_rememberInFile = nullptr;
    QAction* m_exportResults = nullptr;
    QLabel* m_statusCounts = nullptr;
    QLabel* m_statusTime = nullptr;
    QTimer* m_statusTimer = nullptr;
    CLogPane* m_logPane = nullptr;
    std::unique_ptr<CBatchEvents> m_events;
    QAction* m_developerLog = nullptr;
    std::vector<std::pair<QAction*, int>> m_actionTexts;
    std::vector<QAction*> m_languageActions;
    std::map<int, QWidget*> m_controls;

    // The last batch: its cameras' outcomes and its clock.
    CBatchOutcomes m_outcomes;
    std::chrono::steady_clock::time_point m_batchStart{};
    bool m_batchRan = false;
    QString m_summary;
    // What the summary says, kept for a language change.
    struct SUMMARY_FIGURES {
        int upgraded = 0;
        int failed = 0;
        int skipped = 0;
        double seconds = 0;
    } m_summaryFigures;

    QString m_upgradeFile;
    QString m_messageDetail;
    bool m_upgrading = false;
    // The running batch is paused (BatchPausedEvent).
    bool m_paused = false;
    void ShowPaused(bool paused);
    bool m_shutDown = false;

    // Analytics versions: the results still to come.
    int m_aiPending = 0;

    CAutoUpgradeTest* m_auto = nullptr;

    report_fields::REPORT_FIELDS m_reportFields = report_fields::Load();
    bool m_inventoryNoticeShown = false;
};
