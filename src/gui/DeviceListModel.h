// The rows of the device list: one per camera, keyed by its MAC without
// regard to case. Each row owns its device record and the texts it shows,
// so that a column keeps its text until something sets it again.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "DeviceListRules.h"
#include "RowPhase.h"

// The columns the filter looks in.
constexpr std::array kSearchedColumns{COL_NAME, COL_IP,      COL_SLAVE_IP,
                                      COL_MAC,  COL_PRODUCT, COL_VERSION};
constexpr size_t kSearchedColumnCount = kSearchedColumns.size();

// Roles beside Qt's own: the row's batch phase (RowPhase as int) and the
// progress percentage of a transfer (-1 without one).
constexpr int kPhaseRole = Qt::UserRole + 1;
constexpr int kProgressRole = Qt::UserRole + 2;

// A row's batch state or final result, as last set.
struct ROW_RESULT {
    std::string mac;
    std::optional<UpgradeResult> code;     // the final result
    std::optional<UpgradeProgress> state;  // else the state before it
};

class CDeviceListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit CDeviceListModel(QObject* parent = nullptr);
    ~CDeviceListModel() override;

    // Adds a new row at the top (and renumbers every row) or updates the
    // row of the record's MAC. A record equal in every byte to the stored
    // one changes nothing. Takes ownership; false for a null record.
    // `isNewRow` tells whether a row was inserted.
    bool AddDeviceItem(std::unique_ptr<DEVICE_S_INFO> info, bool* isNewRow = nullptr);
    // A row for a camera the search has not found (named by hand or from
    // the site's inventory): greyed and marked, checkable like any row, it
    // becomes the camera's found row when a report of its MAC comes. False
    // when the MAC has a row already or the record is null.
    bool AddNotFoundItem(std::unique_ptr<DEVICE_S_INFO> info);
    // The row stands for a camera the search has not found.
    bool IsNotFound(int row) const;
    // Row of the MAC (any letter case), -1 when there is none.
    int FindDeviceItem(std::string_view mac) const;
    // The first checked row from the top whose MAC equals `mac` byte for
    // byte (letter case counts), -1 when there is none.
    int FindCheckedRowExactMac(std::string_view mac) const;
    // Deletes the row of the MAC; rows are not renumbered. False if none.
    bool RemoveDeviceItem(std::string_view mac);
    // Deletes every row.
    void Clear();

    // The record of a row (null for a row out of range).
    const DEVICE_S_INFO* Record(int row) const;
    int RowCount() const { return static_cast<int>(m_rows.size()); }

    QString CellText(int row, int column) const;
    // The texts the filter looks in (name, addresses, MAC, model, version),
    // case-folded once when the row's record changes rather than on every
    // letter typed into the filter. Empty for a row out of range.
    const std::array<QString, kSearchedColumnCount>& SearchTexts(int row) const;
    void SetCellText(int row, int column, const QString& text);
    // Sets the result column of the MAC's row; false when there is no row.
    bool SetResultText(std::string_view mac, const QString& text);
    // A batch's progress and results. The row's phase follows; repaints of
    // the result column are gathered and made at most once per row per
    // frame. False when the MAC has no row.
    bool SetProgress(std::string_view mac, int progress, const QString& text);
    bool SetResult(std::string_view mac, UpgradeResult code, const QString& text);
    bool SetResult(std::string_view mac, UpgradeProgress state, const QString& text);
    // The rows that show a batch's state (other than a transfer's progress)
    // or its final result, so that their words can be told again.
    std::vector<ROW_RESULT> Results() const;
    // New words for the row's result; its phase, code and attempts stay.
    bool RetextResult(std::string_view mac, const QString& text);
    // The texts made from each row's record again (the activation state
    // in the current language).
    void RefillRowTexts();
    // Empties the result column and the batch state of every row.
    void ClearResultTexts();
    RowPhase Phase(int row) const;
    int Progress(int row) const;
    // Attempts (result 16) of the row's camera in the current batch.
    int Attempts(int row) const;
    // The last log line about the camera and the address its last attempt
    // used, for the result's tooltip.
    void SetLastLogLine(std::string_view mac, const QString& line, const QString& address);
    // Rows per phase, and found and checked rows.
    LIST_COUNTS Counts() const;
    // Sends the gathered repaints now (the frame timer does it otherwise).
    void FlushRepaints();

    bool IsChecked(int row) const;
    // Programmatic check changes; they do not count as a user's click.
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    // While locked (a batch runs) the view cannot change a check box; the
    // window's own calls still can.
    void SetChecksLocked(bool locked) { m_checksLocked = locked; }
    bool ChecksLocked() const { return m_checksLocked; }
    // Checks the rows whose product model equals `model` exactly.
    void CheckModel(const std::string& model);
    // Rows checked, top to bottom.
    std::vector<int> CheckedRows() const;
    // True when at least one row is checked and every checked row has the
    // product model of the first; `model` then receives that model.
    bool IsCheckedSameModel(std::string& model) const;

    // Reorders the rows by a sortable column; the index column keeps its
    // numbers. False (nothing changes) for other columns.
    bool SortByColumn(int column, bool ascending);

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

signals:
    // A check box changed through the view (a click or the space key).
    void CheckToggledByUser(int row);

private:
    struct Row {
        std::unique_ptr<DEVICE_S_INFO> record;
        std::string key;  // MacKey of the record's MAC
        std::array<QString, COL_COUNT> cells;
        std::array<QString, kSearchedColumnCount> searchTexts;  // case-folded
        int number = 0;                                         // shown in the index column
        int position = 0;                                       // current row index
        bool checked = false;
        bool notFound = false;  // a placeholder until the search reports it
        RowPhase phase = RowPhase::None;
        int progress = -1;
        int attempts = 0;
        std::optional<UpgradeResult> code;     // the final result, none before it
        std::optional<UpgradeProgress> state;  // the batch state, none with a code
        bool dirty = false;                    // a result repaint is pending
        QString lastLogLine;
        QString address;
    };

    // A new row at the top; every row is renumbered.
    void InsertRow(std::unique_ptr<DEVICE_S_INFO> info, std::string key, bool notFound);
    void FillRowTexts(Row& row) const;
    static void FoldSearchTexts(Row& row);
    void Reposition(size_t from);
    Row* RowOf(std::string_view mac) const;
    void MarkDirty(Row& row);
    // A state's or a final result's phase and text; the state Starting
    // counts an attempt.
    bool SetPhase(std::string_view mac, RowPhase phase, std::optional<UpgradeResult> code,
                  std::optional<UpgradeProgress> state, const QString& text);
    QString ResultToolTip(const Row& row) const;

    std::vector<std::unique_ptr<Row>> m_rows;
    std::unordered_map<std::string, Row*> m_byMac;
    std::vector<Row*> m_dirty;
    QTimer m_frameTimer;  // one frame: repaints gathered meanwhile go together
    bool m_checksLocked = false;
};
