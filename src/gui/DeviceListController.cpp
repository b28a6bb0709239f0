#include "DeviceListController.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStyleOptionHeader>
#include <QTableView>
#include <QTimer>

#include "DeviceFilter.h"
#include "DeviceListRules.h"
#include "LogFeed.h"
#include "ResultDelegate.h"
#include "StateIcons.h"
#include "TextCellDelegate.h"
#include "WindowControls.h"
#include "WindowState.h"
#include "app/Settings.h"
#include "app/StringTable.h"
#include "session/SessionTypes.h"

namespace {

QString ListText(int id) {
    return QString::fromStdString(LoadString(id));
}

QString LocalText(std::string_view text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CDeviceListController::CDeviceListController(QWidget* holder, QObject* parent) : QObject(parent) {
    // The adapter dialog has run before the window is made (CFirmhandApp).
    m_slaveIpShown = settings::GetBool(settings::kShowSlaveIp);
    BuildView(holder);
    BuildButtons(holder);
    BuildFilterRow(holder);
}

QWidget* CDeviceListController::AddControl(int id, QWidget* widget) {
    widget->setObjectName(QStringLiteral("ctl%1").arg(id));
    m_controls[id] = widget;
    return widget;
}

void CDeviceListController::BuildView(QWidget* holder) {
    m_model = new CDeviceListModel(this);
    m_filter = new CDeviceFilter(m_model, this);
    m_view = new QTableView(holder);
    AddControl(IDC_DEVICE_LIST, m_view);
    m_view->setModel(m_filter);
    m_view->setItemDelegate(new CTextCellDelegate(m_view));
    m_view->setItemDelegateForColumn(COL_RESULT, new CResultDelegate(m_view));
    PrepareStateIcons(m_view->iconSize().isValid()
                          ? m_view->iconSize().width()
                          : m_view->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, m_view),
                      m_view->devicePixelRatioF());
    m_view->setTabKeyNavigation(false);  // Tab leaves the list for the buttons
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setShowGrid(true);
    m_view->setWordWrap(false);
    // The row menu comes by the right button and by the menu key.
    m_view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_view, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QModelIndex index = m_view->indexAt(pos);
        const int row = index.isValid() ? ModelRow(index) : SelectedRow();
        if (row >= 0) {
            ShowRowMenu(m_view->viewport()->mapToGlobal(pos), row);
        }
    });
    m_view->verticalHeader()->hide();
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(holder->fontMetrics().height() + 8);
    QHeaderView* header = m_view->horizontalHeader();
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsClickable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(true);
    header->setSectionsMovable(true);
    header->setFirstSectionMovable(false);
    for (int column = 0; column < COL_COUNT; ++column) {
        const int width = DeviceColumnDef(column).width;
        SetColumnWidth(column, width == 0 ? 0 : std::max(width, HeadingWidth(column)));
    }
    SetColumnWidth(COL_SLAVE_IP,
                   m_slaveIpShown ? std::max(kSlaveIpColumnWidth, HeadingWidth(COL_SLAVE_IP)) : 0);
    connect(header, &QHeaderView::sectionClicked, this, &CDeviceListController::OnColumnClick);
    connect(m_view, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        emit WebPageWanted(index.isValid() ? m_model->index(ModelRow(index), index.column())
                                           : QModelIndex());
    });
    connect(m_model, &CDeviceListModel::CheckToggledByUser, this,
            [this](int) { m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(isCheckedSameModel()); });
    // The log pane follows the selected camera.
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const DEVICE_S_INFO* record = m_model->Record(SelectedRow());
        emit SelectedCameraChanged(record != nullptr ? std::string(FieldText(record->mac))
                                                     : std::string());
    });
}

void CDeviceListController::BuildButtons(QWidget* holder) {
    auto addButton = [this, holder](int id) {
        return static_cast<QPushButton*>(AddControl(id, new QPushButton(holder)));
    };
    connect(addButton(IDC_SELECT_ALL), &QPushButton::clicked, this,
            &CDeviceListController::OnSelectAll);
    connect(addButton(IDC_CLEAR_ALL), &QPushButton::clicked, this,
            &CDeviceListController::OnClearAll);
    QPushButton* sameType = addButton(IDC_CHECK_SAME_TYPE);
    connect(sameType, &QPushButton::clicked, this, &CDeviceListController::OnCheckSameType);
    sameType->setEnabled(false);
    connect(addButton(IDC_GET_AI_VERSION), &QPushButton::clicked, this,
            &CDeviceListController::AiVersionsWanted);
    connect(addButton(IDC_SHOW_AI), &QPushButton::clicked, this,
            &CDeviceListController::OnShowAiVersion);
    connect(addButton(IDC_SHOW_SLAVE_IP), &QPushButton::clicked, this,
            &CDeviceListController::OnShowSlaveIp);
}

void CDeviceListController::BuildFilterRow(QWidget* holder) {
    // Find and choose: the filter and "Show only failed" above the list.
    m_filterEdit = new QLineEdit(holder);
    AddControl(IDC_FILTER, m_filterEdit);
    m_filterEdit->setClearButtonEnabled(true);
    connect(m_filterEdit, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_filter->SetText(text);
        emit FilterChanged();
    });
    m_onlyFailed = new QCheckBox(holder);
    AddControl(IDC_ONLY_FAILED, m_onlyFailed);
    connect(m_onlyFailed, &QCheckBox::toggled, this, [this](bool only) {
        m_filter->SetOnlyFailed(only);
        emit FilterChanged();
    });
}

void CDeviceListController::LoadTexts() {
    static const std::pair<int, int> kButtons[] = {
        {IDC_SELECT_ALL, IDS_SELECT_ALL},
        {IDC_CLEAR_ALL, IDS_CLEAR_ALL},
        {IDC_CHECK_SAME_TYPE, IDS_CHECK_SAME_TYPE},
        {IDC_GET_AI_VERSION, IDS_GET_AI_VERSION},
    };
    for (const auto& [control, id] : kButtons) {
        static_cast<QPushButton*>(m_controls[control])->setText(ListText(id));
    }
    static_cast<QPushButton*>(m_controls[IDC_SHOW_SLAVE_IP])
        ->setText(ListText(m_slaveIpShown ? IDS_HIDE_SLAVE_IP : IDS_SHOW_SLAVE_IP));
    static_cast<QPushButton*>(m_controls[IDC_SHOW_AI])
        ->setText(ListText(m_aiShown ? IDS_HIDE_AI : IDS_SHOW_AI));
    m_filterEdit->setPlaceholderText(ListText(IDS_FILTER_PLACEHOLDER));
    m_onlyFailed->setText(ListText(IDS_SHOW_ONLY_FAILED));
    m_view->setAccessibleName(ListText(IDS_DEVICE_LIST_NAME));
    m_filterEdit->setAccessibleName(ListText(IDS_FILTER_NAME));
    m_onlyFailed->setAccessibleName(ListText(IDS_SHOW_ONLY_FAILED));
}

void CDeviceListController::Retranslate() {
    m_model->headerDataChanged(Qt::Horizontal, 0, COL_COUNT - 1);
    FitColumnsToHeadings();
    m_model->RefillRowTexts();
    for (const ROW_RESULT& r : m_model->Results()) {
        if (r.code) {
            m_model->RetextResult(r.mac, QString::fromStdString(FinalResultText(*r.code)));
        } else if (r.state && *r.state != UpgradeProgress::WaitComplete) {
            // An installing row is retold by the next second's refresh.
            m_model->RetextResult(
                r.mac, QString::fromStdString(WithStep(r.mac, ResultCodeToText(*r.state))));
        }
    }
}

bool CDeviceListController::addDeviceItem(std::unique_ptr<DEVICE_S_INFO> info) {
    bool isNewRow = false;
    if (!m_model->AddDeviceItem(std::move(info), &isNewRow)) {
        return false;
    }
    if (isNewRow) {
        emit NewRow(0);
    }
    return true;
}

int CDeviceListController::findDeviceItem(const std::string& mac) const {
    return m_model->FindDeviceItem(mac);
}

bool CDeviceListController::isCheckedSameModel() {
    std::string model;
    if (!m_model->IsCheckedSameModel(model)) {
        return false;
    }
    m_sameModel = model;
    return true;
}

void CDeviceListController::OnDeviceReported(const DeviceRecordPtr& record, bool found) {
    if (!record) {
        return;
    }
    const std::string mac(FieldText(record->mac));
    // A row of a camera not found until now is found like a new one.
    const int before = m_model->FindDeviceItem(mac);
    const bool known = before >= 0 && !m_model->IsNotFound(before);
    // The row keeps a copy of its own.
    addDeviceItem(std::make_unique<DEVICE_S_INFO>(*record));
    if (!known && m_model->FindDeviceItem(mac) >= 0) {
        if (before >= 0) {
            emit NewRow(before);  // its row stays where it was
        }
        emit CameraFound(m_model->FindDeviceItem(mac));
    }
    if (known && found) {
        emit CameraReported(m_model->FindDeviceItem(mac), mac);
    }
}

bool CDeviceListController::AddNotFoundCamera(std::unique_ptr<DEVICE_S_INFO> info) {
    // No NewRow: the camera is not here until the search reports it.
    return m_model->AddNotFoundItem(std::move(info));
}

void CDeviceListController::OnDeviceLost(const std::string& mac) {
    // The session never reports a camera lost while its job runs.
    m_model->RemoveDeviceItem(mac);
}

void CDeviceListController::OnSelectAll() {
    // Act on the rows shown: with a filter, only those.
    if (m_filter->IsFiltering()) {
        for (int row : m_filter->VisibleRows()) {
            m_model->SetChecked(row, true);
        }
    } else {
        m_model->SetAllChecked(true);
    }
    m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(false);
}

void CDeviceListController::OnClearAll() {
    if (m_filter->IsFiltering()) {
        for (int row : m_filter->VisibleRows()) {
            m_model->SetChecked(row, false);
        }
    } else {
        m_model->SetAllChecked(false);
    }
    m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(false);
}

void CDeviceListController::OnCheckSameType() {
    for (int row : m_filter->VisibleRows()) {
        const DEVICE_S_INFO* record = m_model->Record(row);
        if (record != nullptr && FieldText(record->productModel) == m_sameModel) {
            m_model->SetChecked(row, true);
        }
    }
}

void CDeviceListController::SetColumnWidth(int column, int width) {
    // A column of width 0 is hidden, so that it cannot be dragged open.
    m_view->setColumnHidden(column, width == 0);
    if (width > 0) {
        m_view->setColumnWidth(column, width);
    }
}

int CDeviceListController::ColumnWidth(int column) const {
    return m_view->isColumnHidden(column) ? 0 : m_view->columnWidth(column);
}

int CDeviceListController::HeadingWidth(int column, bool arrow) const {
    // The header's own measure of the heading in this font and language
    // (as QHeaderView sizes a section to its contents, which it does not do
    // for a hidden one); the sort arrow's room only where it is asked for,
    // so that the result column keeps its room on the screen.
    QHeaderView* header = m_view->horizontalHeader();
    QStyleOptionHeader option;
    option.initFrom(header);
    option.orientation = Qt::Horizontal;
    option.section = column;
    // Measured in bold, as the header does, so that a heading shown bold
    // fits as well.
    QFont bold = header->font();
    bold.setBold(true);
    option.fontMetrics = QFontMetrics(bold);
    option.text = m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    option.sortIndicator = arrow ? QStyleOptionHeader::SortDown : QStyleOptionHeader::None;
    const QSize size =
        header->style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), header);
    return std::max(size.width(), header->minimumSectionSize());
}

void CDeviceListController::FitColumnsToHeadings() {
    for (int column = 0; column < COL_RESULT; ++column) {
        if (!m_view->isColumnHidden(column)) {
            const bool sorted = column == m_sortColumn;
            SetColumnWidth(column,
                           std::max(m_view->columnWidth(column), HeadingWidth(column, sorted)));
        }
    }
}

void CDeviceListController::OnShowAiVersion() {
    SetAiColumnsShown(!m_aiShown);
}

void CDeviceListController::SetAiColumnsShown(bool shown) {
    // Column 14 (match face) is never shown.
    for (int column : {COL_AI_STRUCT, COL_AI_DETECT_FACE, COL_AI_VEHICLE}) {
        SetColumnWidth(column, shown ? std::max(kAiColumnWidth, HeadingWidth(column)) : 0);
    }
    m_aiShown = shown;
    static_cast<QPushButton*>(m_controls[IDC_SHOW_AI])
        ->setText(ListText(m_aiShown ? IDS_HIDE_AI : IDS_SHOW_AI));
}

void CDeviceListController::OnShowSlaveIp() {
    m_slaveIpShown = !m_slaveIpShown;
    SetColumnWidth(COL_SLAVE_IP,
                   m_slaveIpShown ? std::max(kSlaveIpColumnWidth, HeadingWidth(COL_SLAVE_IP)) : 0);
    static_cast<QPushButton*>(m_controls[IDC_SHOW_SLAVE_IP])
        ->setText(ListText(m_slaveIpShown ? IDS_HIDE_SLAVE_IP : IDS_SHOW_SLAVE_IP));
}

void CDeviceListController::OnColumnClick(int column) {
    if (IsSortableColumn(column)) {
        m_sortRestored = true;  // the technician's own order from now on
        // First click on a column sorts descending, the next ascending.
        bool& ascending = m_sortAscending[column];
        m_model->SortByColumn(column, ascending);
        m_sortColumn = column;
        m_sortedAscending = ascending;
        ascending = !ascending;
    }
    UpdateSortIndicator();
}

void CDeviceListController::UpdateSortIndicator() {
    // The header flips its arrow on every click; show the real order.
    QHeaderView* header = m_view->horizontalHeader();
    header->setSortIndicatorShown(m_sortColumn >= 0);
    if (m_sortColumn >= 0 && !m_view->isColumnHidden(m_sortColumn)) {
        // The arrow takes room beside the heading: the column widens for it.
        SetColumnWidth(m_sortColumn, std::max(m_view->columnWidth(m_sortColumn),
                                              HeadingWidth(m_sortColumn, true)));
    }
    if (m_sortColumn >= 0) {
        header->setSortIndicator(m_sortColumn,
                                 m_sortedAscending ? Qt::AscendingOrder : Qt::DescendingOrder);
    }
}

int CDeviceListController::ModelRow(const QModelIndex& viewIndex) const {
    if (!viewIndex.isValid()) {
        return -1;
    }
    if (viewIndex.model() == m_model) {
        return viewIndex.row();  // already a model index
    }
    return m_filter->mapToSource(viewIndex).row();
}

int CDeviceListController::SelectedRow() const {
    // The current row when it is selected, else the first selected one.
    QItemSelectionModel* selection = m_view->selectionModel();
    const QModelIndex current = selection->currentIndex();
    if (current.isValid() && selection->isRowSelected(current.row())) {
        return ModelRow(current);
    }
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : ModelRow(rows.first());
}

void CDeviceListController::SelectRowsOf(const std::vector<std::string>& macs) {
    QItemSelectionModel* selection = m_view->selectionModel();
    for (const std::string& mac : macs) {
        const int row = m_model->FindDeviceItem(mac);
        if (row >= 0) {
            selection->select(m_filter->mapFromSource(m_model->index(row, 0)),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
}

void CDeviceListController::ShowRowMenu(const QPoint& globalPos, int row) {
    const DEVICE_S_INFO* record = m_model->Record(row);
    if (record == nullptr) {
        return;
    }
    QMenu menu(m_view);
    menu.addAction(ListText(IDS_MENU_OPEN_WEB), this,
                   [this, row] { emit WebPageWanted(m_model->index(row, COL_NAME)); });
    menu.addAction(ListText(IDS_MENU_COPY_ADDRESS), this, [this, row] { OnCopyAddress(row); });
    menu.addAction(ListText(IDS_MENU_COPY_MAC), this, [this, row] { OnCopyMac(row); });
    QAction* model =
        menu.addAction(ListText(IDS_MENU_CHECK_MODEL), this, [this, row] { OnCheckModelOf(row); });
    QAction* retry =
        menu.addAction(ListText(IDS_MENU_RETRY), this, [this, row] { OnRetryCamera(row); });
    menu.addAction(ListText(IDS_MENU_CAMERA_HISTORY), this,
                   [this, mac = std::string(FieldText(record->mac))] { emit HistoryWanted(mac); });
    model->setEnabled(!m_batchRunning);
    retry->setEnabled(!m_batchRunning && m_batchRan);
    menu.exec(globalPos);
}

void CDeviceListController::OnCopyAddress(int row) {
    if (const DEVICE_S_INFO* record = m_model->Record(row)) {
        emit CopyWanted(LocalText(FieldText(record->ip)));
    }
}

void CDeviceListController::OnCopyMac(int row) {
    if (const DEVICE_S_INFO* record = m_model->Record(row)) {
        emit CopyWanted(LocalText(FieldText(record->mac)));
    }
}

void CDeviceListController::OnCheckModelOf(int row) {
    if (const DEVICE_S_INFO* record = m_model->Record(row)) {
        const std::string model(FieldText(record->productModel));
        for (int visible : m_filter->VisibleRows()) {
            const DEVICE_S_INFO* other = m_model->Record(visible);
            if (other != nullptr && FieldText(other->productModel) == model) {
                m_model->SetChecked(visible, true);
            }
        }
        m_controls[IDC_CHECK_SAME_TYPE]->setEnabled(isCheckedSameModel());
    }
}

void CDeviceListController::OnRetryCamera(int row) {
    if (m_batchRunning || m_model->Record(row) == nullptr) {
        return;
    }
    emit RetryWanted(row);
}

void CDeviceListController::SetBatchRunning(bool running) {
    m_batchRunning = running;
    m_batchRan = m_batchRan || running;
    // The list stays enabled, so that hundreds of rows can still be scrolled
    // and a row's menu copies its address; only its check boxes are locked
    // (the left button is discarded anyway while a batch runs).
    m_model->SetChecksLocked(running);
}

bool CDeviceListController::ShowProgress(const std::string& mac, int32_t progress) {
    // After the last block the camera installs and restarts: a full bar
    // would read as a transfer that hangs.
    if (progress + 1 >= static_cast<int32_t>(UPGRADE_BLOCK_COUNT)) {
        m_installingSince.emplace(mac, std::chrono::steady_clock::now());
        return m_model->SetResult(mac, UpgradeProgress::WaitComplete,
                                  QString::fromStdString(WithStep(mac, InstallingText(0))));
    }
    return m_model->SetProgress(mac, progress,
                                QString::fromStdString(WithStep(mac, ProgressText(progress))));
}

void CDeviceListController::ShowResult(const std::string& mac, UpgradeProgress state) {
    std::string text = ResultCodeToText(state);
    if (state == UpgradeProgress::WaitComplete) {
        // The camera is still installing, since its last block.
        const auto since = m_installingSince.find(mac);
        text = since == m_installingSince.end()
                   ? LoadString(IDS_INSTALLING)
                   : InstallingText(
                         static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(
                                              std::chrono::steady_clock::now() - since->second)
                                              .count()));
    } else {
        m_installingSince.erase(mac);  // a new attempt
    }
    m_model->SetResult(mac, state, QString::fromStdString(WithStep(mac, text)));
}

void CDeviceListController::ShowResult(const std::string& mac, UpgradeResult code) {
    m_installingSince.erase(mac);
    m_steps.erase(mac);
    m_model->SetResult(mac, code, QString::fromStdString(FinalResultText(code)));
}

std::string CDeviceListController::FinalResultText(UpgradeResult code) const {
    return code == UpgradeResult::NotFoundInTime ? NotFoundWithinText(m_waitText)  // as the CLI
                                                 : ResultCodeToText(code);
}

void CDeviceListController::ShowStep(const std::string& mac, int step, int steps) {
    m_steps[mac] = {step, steps};
    m_model->SetResultText(mac, QString::fromStdString(UpgradeStepText(step, steps)));
}

std::string CDeviceListController::WithStep(const std::string& mac, const std::string& text) const {
    const auto step = m_steps.find(mac);
    if (step == m_steps.end()) {
        return text;
    }
    const std::string stepText = UpgradeStepText(step->second.first, step->second.second);
    return text.empty() ? stepText : stepText + ": " + text;
}

void CDeviceListController::RefreshInstallingRows() {
    const auto now = std::chrono::steady_clock::now();
    for (const auto& [mac, since] : m_installingSince) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(now - since).count();
        m_model->SetResult(
            mac, UpgradeProgress::WaitComplete,
            QString::fromStdString(WithStep(mac, InstallingText(static_cast<int>(seconds)))));
    }
}

void CDeviceListController::FinishBatch() {
    m_installingSince.clear();
    m_steps.clear();
    m_model->FlushRepaints();  // every row shows its final text first
}

void CDeviceListController::ShowAiVersions(const AiVersionResult& result) {
    // The first checked row of exactly this MAC (letter case counts).
    const int row = m_model->FindCheckedRowExactMac(result.mac);
    // A camera that answered shows the analytics columns, even when its row
    // is gone or unchecked by now; a row's verdict shows them too.
    if ((result.read || row >= 0) && !m_aiShown) {
        SetAiColumnsShown(true);
    }
    if (row < 0) {
        return;
    }
    if (result.verdictId == IDS_AI_OK) {
        m_model->SetCellText(row, COL_AI_STRUCT, LocalText(result.structVersion));
        m_model->SetCellText(row, COL_AI_DETECT_FACE, LocalText(result.faceVersion));
        m_model->SetCellText(row, COL_AI_VEHICLE, LocalText(result.vehicleVersion));
        return;
    }
    // No versions: the first analytics column says why, the others are
    // empty, so that no version of an earlier answer stands beside it.
    m_model->SetCellText(row, COL_AI_STRUCT, ListText(result.verdictId));
    m_model->SetCellText(row, COL_AI_DETECT_FACE, QString());
    m_model->SetCellText(row, COL_AI_VEHICLE, QString());
}

void CDeviceListController::ShowLastLogLine(const LOG_FEED_LINE& line) {
    // Every line of a camera, shown or not, is its row's last log line.
    if (!line.mac.empty()) {
        m_model->SetLastLogLine(
            line.mac, QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size())),
            QString::fromStdString(line.address));
    }
}

void CDeviceListController::RestoreView(const window_state::SAVED_VIEW& view) {
    if (view.showSlaveIp && *view.showSlaveIp != m_slaveIpShown) {
        OnShowSlaveIp();
    }
    if (view.showAi && *view.showAi != m_aiShown) {
        SetAiColumnsShown(*view.showAi);
    }
    QHeaderView* header = m_view->horizontalHeader();
    for (int column = 0; column < static_cast<int>(view.widths.size()); ++column) {
        const int width = view.widths[static_cast<size_t>(column)];
        if (width > 0 && column != COL_RESULT) {
            header->resizeSection(column, width);
        }
    }
    for (int visual = 0; visual < static_cast<int>(view.order.size()); ++visual) {
        const int column = view.order[static_cast<size_t>(visual)];
        header->moveSection(header->visualIndex(column), visual);
    }
    RestoreSort(view);
}

void CDeviceListController::RestoreSort(const window_state::SAVED_VIEW& view) {
    if (view.sortColumn < 0 || !IsSortableColumn(view.sortColumn)) {
        return;
    }
    // Applied once the first search round has filled the list.
    m_sortColumn = view.sortColumn;
    m_sortedAscending = view.sortAscending;
    m_sortAscending[view.sortColumn] = !view.sortAscending;
    UpdateSortIndicator();
    m_restoredSortTimer = new QTimer(this);
    m_restoredSortTimer->setSingleShot(true);
    m_restoredSortTimer->setInterval(1000);
    connect(m_restoredSortTimer, &QTimer::timeout, this, [this] {
        if (!m_sortRestored && m_sortColumn >= 0 && !m_batchRunning) {
            m_model->SortByColumn(m_sortColumn, m_sortedAscending);
        }
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, m_restoredSortTimer,
            qOverload<>(&QTimer::start));
}

void CDeviceListController::SaveView(window_state::SAVED_VIEW& view) const {
    QHeaderView* header = m_view->horizontalHeader();
    for (int column = 0; column < COL_COUNT; ++column) {
        view.widths.push_back(header->isSectionHidden(column) ? 0 : header->sectionSize(column));
        view.order.push_back(header->logicalIndex(column));
    }
    view.sortColumn = m_sortColumn;
    view.sortAscending = m_sortedAscending;
    view.showAi = m_aiShown;
    view.showSlaveIp = m_slaveIpShown;
}
