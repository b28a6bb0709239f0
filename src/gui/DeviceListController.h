// The list of cameras: its model and filter, the table that shows them, the
// filter edit and "Show only failed" above it, and the buttons below it that
// check rows, ask analytics versions and show optional columns. It owns the selection, the sort,
// the column widths, the row menu and each row's text as the session's reports, progress and
// results arrive; what needs the session or a dialog (a web page, a retry, the clipboard) it asks
// of the window by signal.
#pragma once

#include <QObject>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DeviceListModel.h"
#include "session/SessionEvents.h"

class QCheckBox;
class QLineEdit;
class QPoint;
class QTableView;
class QTimer;
class CDeviceFilter;
struct AiVersionResult;
struct LOG_FEED_LINE;

namespace window_state {
struct SAVED_VIEW;
}

class CDeviceListController : public QObject {
    Q_OBJECT

public:
    // The widgets are made as children of `holder`, for the window to lay out.
    CDeviceListController(QWidget* holder, QObject* parent);

    CDeviceListModel& Model() const { return *m_model; }
    // The rows shown (filter text, "Show only failed").
    CDeviceFilter& Filter() const { return *m_filter; }
    QTableView* View() const { return m_view; }
    QLineEdit* FilterEdit() const { return m_filterEdit; }
    QCheckBox* OnlyFailedBox() const { return m_onlyFailed; }
    // The list's controls by id (WindowControls.h), for the window's list.
    const std::map<int, QWidget*>& Controls() const { return m_controls; }
    // Every text in the current language.
    void LoadTexts();
    // The headings and the rows' words in the current language (results
    // from their stored codes and states, activation states); the columns
    // widen to fit the headings.
    void Retranslate();

    // The row operations.
    bool addDeviceItem(std::unique_ptr<DEVICE_S_INFO> info);
    int findDeviceItem(const std::string& mac) const;
    // The session's search reports: a camera found (`found`) or changed,
    // and a camera lost.
    void OnDeviceReported(const DeviceRecordPtr& record, bool found);
    void OnDeviceLost(const std::string& mac);
    // A row for a camera the search has not found (CDeviceListModel::
    // AddNotFoundItem); false when its MAC has a row already.
    bool AddNotFoundCamera(std::unique_ptr<DEVICE_S_INFO> info);
    // The batch's waiting time as the technician gave it ("" none): a
    // camera not found within it shows "Not found within" it.
    void SetWaitText(const std::string& text) { m_waitText = text; }
    // The model of the checked rows that button 1004 checks.
    const std::string& RememberedModel() const { return m_sameModel; }

    // Buttons and the list's header.
    void OnSelectAll();
    void OnClearAll();
    void OnCheckSameType();
    void OnShowAiVersion();
    void OnShowSlaveIp();
    void OnColumnClick(int column);
    // The row menu's actions on a model row.
    void OnCopyAddress(int row);
    void OnCopyMac(int row);
    void OnCheckModelOf(int row);
    void OnRetryCamera(int row);

    // Shown width of a column (0 while it is hidden).
    int ColumnWidth(int column) const;
    bool AreAiColumnsShown() const { return m_aiShown; }
    void SetAiColumnsShown(bool shown);
    // The model row of the camera selected in the list, -1 for none.
    int SelectedRow() const;
    // Selects the rows of these cameras.
    void SelectRowsOf(const std::vector<std::string>& macs);

    // A batch runs: the check boxes are locked, the row menu offers less.
    void SetBatchRunning(bool running);
    // A camera's progress and result texts; false when no row shows it.
    bool ShowProgress(const std::string& mac, int32_t progress);
    void ShowResult(const std::string& mac, UpgradeProgress state);
    void ShowResult(const std::string& mac, UpgradeResult code);
    // A camera's upgrade path begins step `step` of `steps`: its texts name
    // the step until its final result.
    void ShowStep(const std::string& mac, int step, int steps);
    // Shows the time each installing camera has been restarting.
    void RefreshInstallingRows();
    // The batch's end: every row shows its final text.
    void FinishBatch();
    // An analytics versions answer into its row's columns.
    void ShowAiVersions(const AiVersionResult& result);
    // A camera's log line becomes its row's last one.
    void ShowLastLogLine(const LOG_FEED_LINE& line);

    // The remembered view: columns, their order and width, the sort.
    void RestoreView(const window_state::SAVED_VIEW& view);
    void SaveView(window_state::SAVED_VIEW& view) const;

signals:
    // The filter text or "Show only failed" changed.
    void FilterChanged();
    // The camera selected in the list changed ("" for none).
    void SelectedCameraChanged(const std::string& mac);
    // A row's record was stored in a new row.
    void NewRow(int row);
    // A search report of an unknown camera made its row.
    void CameraFound(int row);
    // A search report of a camera already in the list.
    void CameraReported(int row, const std::string& mac);
    // A double click, or the row menu's "Open web page" (a model index).
    void WebPageWanted(const QModelIndex& index);
    void RetryWanted(int row);
    // The row menu's "History...": the camera's record in the site inventory.
    void HistoryWanted(const std::string& mac);
    void CopyWanted(const QString& text);
    // Button 1019: the checked cameras' analytics versions.
    void AiVersionsWanted();

private:
    void BuildView(QWidget* holder);
    void BuildFilterRow(QWidget* holder);
    void BuildButtons(QWidget* holder);
    QWidget* AddControl(int id, QWidget* widget);
    void ShowRowMenu(const QPoint& globalPos, int row);
    // The model row of a view index, -1 for none.
    int ModelRow(const QModelIndex& viewIndex) const;
    // Every checked row of one product model (remembered for button 1004).
    bool isCheckedSameModel();
    void SetColumnWidth(int column, int width);
    // Width a column needs for its heading (and the sort arrow).
    int HeadingWidth(int column, bool arrow = false) const;
    // Widens the shown columns whose heading no longer fits.
    void FitColumnsToHeadings();
    void UpdateSortIndicator();
    void RestoreSort(const window_state::SAVED_VIEW& view);

    CDeviceListModel* m_model = nullptr;
    CDeviceFilter* m_filter = nullptr;
    QTableView* m_view = nullptr;
    QLineEdit* m_filterEdit = nullptr;
    QCheckBox* m_onlyFailed = nullptr;
    std::map<int, QWidget*> m_controls;

    std::string m_sameModel;
    std::map<int, bool> m_sortAscending;  // per column; false until first sorted
    int m_sortColumn = -1;
    bool m_sortedAscending = false;
    // A remembered sort is applied once the first cameras are in.
    QTimer* m_restoredSortTimer = nullptr;
    bool m_sortRestored = false;
    bool m_slaveIpShown = true;
    bool m_aiShown = false;
    bool m_batchRunning = false;
    bool m_batchRan = false;
    std::string m_waitText;
    // Cameras whose last block went out, and when: their rows count the
    // seconds of the restart (by MAC as posted).
    // `text` after the camera's step, when it is on an upgrade path.
    std::string WithStep(const std::string& mac, const std::string& text) const;

    std::map<std::string, std::chrono::steady_clock::time_point> m_installingSince;
    // The step of each camera on an upgrade path of this batch (step,
    // steps): "Step 2 of 3" leads its texts until its final result.
    std::map<std::string, std::pair<int, int>> m_steps;
    // The words of a final result, as the row and the CLI show them.
    std::string FinalResultText(UpgradeResult code) const;
};
