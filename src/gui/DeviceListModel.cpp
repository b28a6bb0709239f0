#include "DeviceListModel.h"

#include <QBrush>
#include <QColor>
#include <algorithm>
#include <utility>

#include "app/StringTable.h"

namespace {

QString Utf8Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Texts in the system's narrow code page.
QString LocalCellText(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

namespace {

// A frame at 60 Hz: progress repaints are sent at most this often.
constexpr int kFrameMs = 16;

}  // namespace

CDeviceListModel::CDeviceListModel(QObject* parent) : QAbstractTableModel(parent) {
    m_frameTimer.setSingleShot(true);
    m_frameTimer.setInterval(kFrameMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &CDeviceListModel::FlushRepaints);
}

CDeviceListModel::~CDeviceListModel() = default;

void CDeviceListModel::FillRowTexts(Row& row) const {
    const DEVICE_S_INFO& info = *row.record;
    row.cells[COL_NAME] = Utf8Text(FieldText(info.devName));
    row.cells[COL_PRODUCT] = Utf8Text(FieldText(info.productModel));
    row.cells[COL_IP] = LocalCellText(FieldText(info.ip));
    row.cells[COL_SLAVE_IP] = LocalCellText(FieldText(info.ip2));
    row.cells[COL_MAC] = LocalCellText(FieldText(info.mac));
    row.cells[COL_BUILD_DATE] = LocalCellText(FieldText(info.buildDate));
    row.cells[COL_KERNEL] = LocalCellText(FieldText(info.kernelVer));
    row.cells[COL_VERSION] = LocalCellText(DeviceVersionText(info));
    // An activation value without a text leaves the column as it was.
    if (const int id = ActivationStringId(info.deviceActivated); id != 0) {
        row.cells[COL_ACTIVE_STATE] = QString::fromStdString(LoadString(id));
    }
    FoldSearchTexts(row);
}

void CDeviceListModel::FoldSearchTexts(Row& row) {
    for (size_t i = 0; i < kSearchedColumnCount; ++i) {
        row.searchTexts[i] = row.cells[static_cast<size_t>(kSearchedColumns[i])].toCaseFolded();
    }
}

void CDeviceListModel::Reposition(size_t from) {
    for (size_t i = from; i < m_rows.size(); ++i) {
        m_rows[i]->position = static_cast<int>(i);
    }
}

bool CDeviceListModel::AddDeviceItem(std::unique_ptr<DEVICE_S_INFO> info, bool* isNewRow) {
    if (isNewRow != nullptr) {
        *isNewRow = false;
    }
    if (!info) {
        return false;
    }
    std::string key = MacKey(FieldText(info->mac));
    const auto found = m_byMac.find(key);
    if (found != m_byMac.end()) {
        Row& row = *found->second;
        if (*row.record == *info && !row.notFound) {
            return true;  // the same report again: nothing to redraw
        }
        const bool wasNotFound = std::exchange(row.notFound, false);
        *row.record = *info;
        FillRowTexts(row);
        // A placeholder found: its grey goes from the whole row.
        emit dataChanged(index(row.position, wasNotFound ? 0 : COL_NAME),
                         index(row.position, wasNotFound ? COL_COUNT - 1 : COL_ACTIVE_STATE));
        return true;
    }
    InsertRow(std::move(info), std::move(key), false);
    if (isNewRow != nullptr) {
        *isNewRow = true;
    }
    return true;
}

bool CDeviceListModel::AddNotFoundItem(std::unique_ptr<DEVICE_S_INFO> info) {
    if (!info) {
        return false;
    }
    std::string key = MacKey(FieldText(info->mac));
    if (m_byMac.count(key) != 0) {
        return false;
    }
    InsertRow(std::move(info), std::move(key), true);
    return true;
}

bool CDeviceListModel::IsNotFound(int row) const {
    return row >= 0 && row < RowCount() && m_rows[static_cast<size_t>(row)]->notFound;
}

void CDeviceListModel::InsertRow(std::unique_ptr<DEVICE_S_INFO> info, std::string key,
                                 bool notFound) {
    auto row = std::make_unique<Row>();
    row->notFound = notFound;
    row->record = std::move(info);
    row->key = std::move(key);
    FillRowTexts(*row);
    Row* raw = row.get();

    beginInsertRows(QModelIndex(), 0, 0);
    m_rows.insert(m_rows.begin(), std::move(row));
    m_byMac.emplace(raw->key, raw);
    // A new row renumbers the whole list 1, 2, 3, ...
    for (size_t i = 0; i < m_rows.size(); ++i) {
        m_rows[i]->position = static_cast<int>(i);
        m_rows[i]->number = static_cast<int>(i) + 1;
    }
    endInsertRows();
    if (m_rows.size() > 1) {
        emit dataChanged(index(1, COL_INDEX), index(RowCount() - 1, COL_INDEX));
    }
}

int CDeviceListModel::FindDeviceItem(std::string_view mac) const {
    const auto found = m_byMac.find(MacKey(mac));
    return found == m_byMac.end() ? -1 : found->second->position;
}

int CDeviceListModel::FindCheckedRowExactMac(std::string_view mac) const {
    for (const auto& row : m_rows) {
        if (row->checked && FieldText(row->record->mac) == mac) {
            return row->position;
        }
    }
    return -1;
}

bool CDeviceListModel::RemoveDeviceItem(std::string_view mac) {
    const auto found = m_byMac.find(MacKey(mac));
    if (found == m_byMac.end()) {
        return false;
    }
    const int position = found->second->position;
    std::erase(m_dirty, found->second);
    beginRemoveRows(QModelIndex(), position, position);
    m_byMac.erase(found);
    m_rows.erase(m_rows.begin() + position);
    Reposition(static_cast<size_t>(position));
    endRemoveRows();
    return true;
}

void CDeviceListModel::Clear() {
    beginResetModel();
    m_dirty.clear();
    m_byMac.clear();
    m_rows.clear();
    endResetModel();
}

const DEVICE_S_INFO* CDeviceListModel::Record(int row) const {
    if (row < 0 || row >= RowCount()) {
        return nullptr;
    }
    return m_rows[static_cast<size_t>(row)]->record.get();
}

QString CDeviceListModel::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= COL_COUNT) {
        return {};
    }
    const Row& r = *m_rows[static_cast<size_t>(row)];
    if (column == COL_INDEX) {
        return QString::number(r.number);
    }
    return r.cells[static_cast<size_t>(column)];
}

const std::array<QString, kSearchedColumnCount>& CDeviceListModel::SearchTexts(int row) const {
    static const std::array<QString, kSearchedColumnCount> kNone;
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)]->searchTexts : kNone;
}

void CDeviceListModel::SetCellText(int row, int column, const QString& text) {
    if (row < 0 || row >= RowCount() || column <= COL_INDEX || column >= COL_COUNT) {
        return;
    }
    Row& r = *m_rows[static_cast<size_t>(row)];
    if (column == COL_RESULT) {
        // Words of their own: no code or state tells them again.
        r.code.reset();
        r.state.reset();
    }
    if (column == COL_RESULT && r.phase != RowPhase::None) {
        // Another text (an analytics verdict) ends the batch state shown.
        r.phase = RowPhase::None;
        r.progress = -1;
        emit dataChanged(index(row, 0), index(row, COL_RESULT));
    }
    QString& cell = r.cells[static_cast<size_t>(column)];
    if (cell != text) {
        cell = text;
        if (std::find(kSearchedColumns.begin(), kSearchedColumns.end(), column) !=
            kSearchedColumns.end()) {
            FoldSearchTexts(r);
        }
        emit dataChanged(index(row, column), index(row, column));
    }
}

bool CDeviceListModel::SetResultText(std::string_view mac, const QString& text) {
    const int row = FindDeviceItem(mac);
    if (row < 0) {
        return false;
    }
    SetCellText(row, COL_RESULT, text);
    return true;
}

CDeviceListModel::Row* CDeviceListModel::RowOf(std::string_view mac) const {
    const auto found = m_byMac.find(MacKey(mac));
    return found == m_byMac.end() ? nullptr : found->second;
}

void CDeviceListModel::MarkDirty(Row& row) {
    if (!row.dirty) {
        row.dirty = true;
        m_dirty.push_back(&row);
    }
    if (!m_frameTimer.isActive()) {
        m_frameTimer.start();
    }
}

void CDeviceListModel::FlushRepaints() {
    m_frameTimer.stop();
    std::vector<Row*> dirty;
    dirty.swap(m_dirty);
    for (Row* row : dirty) {
        row->dirty = false;
        // A failed row is tinted whole; other changes touch the result only.
        const int first = row->phase == RowPhase::Failed ? 0 : COL_RESULT;
        emit dataChanged(index(row->position, first), index(row->position, COL_RESULT));
    }
}

bool CDeviceListModel::SetProgress(std::string_view mac, int progress, const QString& text) {
    Row* row = RowOf(mac);
    if (row == nullptr) {
        return false;
    }
    if (row->progress == progress && row->phase == RowPhase::Transferring &&
        row->cells[COL_RESULT] == text) {
        return true;
    }
    row->phase = RowPhase::Transferring;
    row->state.reset();  // the progress has its own words
    row->progress = progress;
    row->cells[COL_RESULT] = text;
    MarkDirty(*row);
    return true;
}

bool CDeviceListModel::SetResult(std::string_view mac, UpgradeResult code, const QString& text) {
    return SetPhase(mac, PhaseOfResult(code), code, std::nullopt, text);
}

bool CDeviceListModel::SetResult(std::string_view mac, UpgradeProgress state, const QString& text) {
    return SetPhase(mac, PhaseOfState(state), std::nullopt, state, text);
}

bool CDeviceListModel::SetPhase(std::string_view mac, RowPhase phase,
                                std::optional<UpgradeResult> code,
                                std::optional<UpgradeProgress> state, const QString& text) {
    Row* row = RowOf(mac);
    if (row == nullptr) {
        return false;
    }
    const RowPhase before = row->phase;
    row->phase = phase;
    row->code = code;
    row->state = state;
    row->progress = -1;
    row->attempts += state == UpgradeProgress::Starting ? 1 : 0;
    row->cells[COL_RESULT] = text;
    MarkDirty(*row);
    if (before == RowPhase::Failed && row->phase != RowPhase::Failed) {
        // The tint goes from the whole row.
        emit dataChanged(index(row->position, 0), index(row->position, COL_RESULT));
    }
    return true;
}

std::vector<ROW_RESULT> CDeviceListModel::Results() const {
    std::vector<ROW_RESULT> results;
    for (const auto& row : m_rows) {
        if (row->code || row->state) {
            results.push_back({std::string(FieldText(row->record->mac)), row->code, row->state});
        }
    }
    return results;
}

bool CDeviceListModel::RetextResult(std::string_view mac, const QString& text) {
    Row* row = RowOf(mac);
    if (row == nullptr) {
        return false;
    }
    if (row->cells[COL_RESULT] != text) {
        row->cells[COL_RESULT] = text;
        MarkDirty(*row);
    }
    return true;
}

void CDeviceListModel::RefillRowTexts() {
    for (auto& row : m_rows) {
        FillRowTexts(*row);
    }
    if (!m_rows.empty()) {
        emit dataChanged(index(0, 0), index(RowCount() - 1, COL_RESULT - 1));
    }
}

void CDeviceListModel::SetLastLogLine(std::string_view mac, const QString& line,
                                      const QString& address) {
    if (Row* row = RowOf(mac)) {
        row->lastLogLine = line;
        if (!address.isEmpty()) {
            row->address = address;
        }
    }
}

RowPhase CDeviceListModel::Phase(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)]->phase : RowPhase::None;
}

int CDeviceListModel::Progress(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)]->progress : -1;
}

int CDeviceListModel::Attempts(int row) const {
    return row >= 0 && row < RowCount() ? m_rows[static_cast<size_t>(row)]->attempts : 0;
}

LIST_COUNTS CDeviceListModel::Counts() const {
    LIST_COUNTS counts;
    for (const auto& row : m_rows) {
        counts.found += row->notFound ? 0 : 1;
        counts.checked += row->checked ? 1 : 0;
        ++counts.phases[static_cast<size_t>(row->phase)];
    }
    return counts;
}

QString CDeviceListModel::ResultToolTip(const Row& row) const {
    QString tip = row.cells[COL_RESULT];
    if (row.phase == RowPhase::None) {
        return tip;
    }
    const auto line = [&tip](int id, const QString& value) {
        tip +=
            QLatin1Char('\n') + QString::fromStdString(LoadString(id)) + QLatin1Char(' ') + value;
    };
    line(IDS_TIP_ATTEMPTS, QString::number(row.attempts));
    line(IDS_TIP_ADDRESS,
         row.address.isEmpty()
             ? QString::fromLocal8Bit(FieldText(row.record->ip).data(),
                                      static_cast<qsizetype>(FieldText(row.record->ip).size()))
             : row.address);
    // A failed camera's reason in words, not the log's line about it.
    const std::string reason =
        row.phase == RowPhase::Failed && row.code ? ResultReasonText(*row.code) : std::string();
    if (!reason.empty()) {
        line(IDS_TIP_REASON, QString::fromStdString(reason));
    } else if (!row.lastLogLine.isEmpty()) {
        line(IDS_TIP_LAST_LOG, row.lastLogLine);
    }
    return tip;
}

void CDeviceListModel::ClearResultTexts() {
    std::vector<int> untinted;
    for (auto& row : m_rows) {
        if (row->phase == RowPhase::Failed) {
            untinted.push_back(row->position);
        }
        row->cells[COL_RESULT].clear();
        row->phase = RowPhase::None;
        row->progress = -1;
        row->attempts = 0;
        row->code.reset();
        row->state.reset();
        row->lastLogLine.clear();
        row->address.clear();
    }
    // Only the result column changed, and the whole of rows that lose their
    // failure tint: a repaint of the whole list would stall the batch start.
    if (!m_rows.empty()) {
        emit dataChanged(index(0, COL_RESULT), index(RowCount() - 1, COL_RESULT));
    }
    for (int position : untinted) {
        emit dataChanged(index(position, 0), index(position, COL_RESULT));
    }
}

bool CDeviceListModel::IsChecked(int row) const {
    return row >= 0 && row < RowCount() && m_rows[static_cast<size_t>(row)]->checked;
}

void CDeviceListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= RowCount()) {
        return;
    }
    Row& r = *m_rows[static_cast<size_t>(row)];
    if (r.checked != checked) {
        r.checked = checked;
        emit dataChanged(index(row, COL_CHECK), index(row, COL_CHECK), {Qt::CheckStateRole});
    }
}

void CDeviceListModel::SetAllChecked(bool checked) {
    for (auto& row : m_rows) {
        row->checked = checked;
    }
    if (!m_rows.empty()) {
        emit dataChanged(index(0, COL_CHECK), index(RowCount() - 1, COL_CHECK),
                         {Qt::CheckStateRole});
    }
}

void CDeviceListModel::CheckModel(const std::string& model) {
    for (auto& row : m_rows) {
        if (FieldText(row->record->productModel) == model) {
            SetChecked(row->position, true);
        }
    }
}

std::vector<int> CDeviceListModel::CheckedRows() const {
    std::vector<int> rows;
    for (const auto& row : m_rows) {
        if (row->checked) {
            rows.push_back(row->position);
        }
    }
    return rows;
}

bool CDeviceListModel::IsCheckedSameModel(std::string& model) const {
    const Row* first = nullptr;
    for (const auto& row : m_rows) {
        if (!row->checked) {
            continue;
        }
        if (first == nullptr) {
            first = row.get();
        } else if (FieldText(row->record->productModel) != FieldText(first->record->productModel)) {
            return false;
        }
    }
    if (first == nullptr) {
        return false;
    }
    model = std::string(FieldText(first->record->productModel));
    return true;
}

bool CDeviceListModel::SortByColumn(int column, bool ascending) {
    if (!IsSortableColumn(column)) {
        return false;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Remember which row each persistent index (selection, current) was on.
    const QModelIndexList before = persistentIndexList();
    std::vector<std::pair<Row*, int>> targets;
    targets.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& idx : before) {
        targets.emplace_back(m_rows[static_cast<size_t>(idx.row())].get(), idx.column());
    }
    std::stable_sort(
        m_rows.begin(), m_rows.end(),
        [column, ascending](const std::unique_ptr<Row>& a, const std::unique_ptr<Row>& b) {
            return CompareDevicesForSort(column, *a->record, *b->record, ascending) < 0;
        });
    Reposition(0);
    QModelIndexList after;
    after.reserve(before.size());
    for (const auto& [row, col] : targets) {
        after.append(index(row->position, col));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
    return true;
}

int CDeviceListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int CDeviceListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : COL_COUNT;
}

QVariant CDeviceListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= RowCount()) {
        return {};
    }
    const Row& r = *m_rows[static_cast<size_t>(index.row())];
    if (role == Qt::CheckStateRole && index.column() == COL_CHECK) {
        return r.checked ? Qt::Checked : Qt::Unchecked;
    }
    if (role == kPhaseRole) {
        return static_cast<int>(r.phase);
    }
    if (role == kProgressRole) {
        return r.progress;
    }
    if (role == Qt::BackgroundRole) {
        // Failed rows stand out; the tint keeps the text readable in light
        // and dark palettes alike.
        return r.phase == RowPhase::Failed ? QVariant(QBrush(QColor(220, 40, 40, 60))) : QVariant();
    }
    if (r.notFound && role == Qt::ForegroundRole) {
        return QBrush(QColor(128, 128, 128));  // greyed in light and dark palettes
    }
    if (r.notFound && r.cells[COL_RESULT].isEmpty() && index.column() == COL_RESULT &&
        (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
        // Marked until the batch gives it a text of its own.
        return QString::fromStdString(
            LoadString(role == Qt::DisplayRole ? IDS_NOT_FOUND_ROW : IDS_NOT_FOUND_ROW_TIP));
    }
    if (role == Qt::ToolTipRole && index.column() == COL_RESULT) {
        const QString tip = ResultToolTip(r);
        return tip.isEmpty() ? QVariant() : QVariant(tip);
    }
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        if (index.column() == COL_INDEX) {
            return role == Qt::DisplayRole ? QVariant(r.number) : QVariant();
        }
        const QString& text = r.cells[static_cast<size_t>(index.column())];
        if (role == Qt::ToolTipRole && text.isEmpty()) {
            return {};
        }
        return text;
    }
    return {};
}

bool CDeviceListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (m_checksLocked || !index.isValid() || index.column() != COL_CHECK ||
        role != Qt::CheckStateRole || index.row() >= RowCount()) {
        return false;
    }
    const bool checked = value.toInt() == Qt::Checked;
    SetChecked(index.row(), checked);
    emit CheckToggledByUser(index.row());
    return true;
}

QVariant CDeviceListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= COL_COUNT) {
        return {};
    }
    const int id = DeviceColumnDef(section).headingId;
    return id == 0 ? QString() : QString::fromStdString(LoadString(id));
}

Qt::ItemFlags CDeviceListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == COL_CHECK && !m_checksLocked) {
        f |= Qt::ItemIsUserCheckable;
    }
    return f;
}
