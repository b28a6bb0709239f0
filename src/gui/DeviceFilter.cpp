#include "DeviceFilter.h"

#include <algorithm>

#include "DeviceListModel.h"

CDeviceFilter::CDeviceFilter(CDeviceListModel* model, QObject* parent)
    : QSortFilterProxyModel(parent), m_model(model) {
    setSourceModel(model);
    // Rows keep the model's order (its own sort). Changed rows are filtered
    // again only while a filter is on, and at most once per frame: the list
    // changes many times a frame during a batch, and renumbering touches
    // every row.
    setDynamicSortFilter(false);
    m_refilter.setSingleShot(true);
    m_refilter.setInterval(16);
    connect(&m_refilter, &QTimer::timeout, this, &CDeviceFilter::invalidateRowsFilter);
    connect(model, &QAbstractItemModel::dataChanged, this, [this] {
        if (IsFiltering() && !m_refilter.isActive()) {
            m_refilter.start();
        }
    });
}

void CDeviceFilter::SetText(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed != m_text) {
        m_text = trimmed;
        m_folded = trimmed.toCaseFolded();
        RefilterAll();
    }
}

void CDeviceFilter::SetOnlyFailed(bool onlyFailed) {
    if (onlyFailed != m_onlyFailed) {
        m_onlyFailed = onlyFailed;
        RefilterAll();
    }
}

void CDeviceFilter::RefilterAll() {
    m_refilter.stop();
    // One layout change for the whole list: filtering rows in and out one
    // stretch at a time costs a signal and a renumbering of the view per
    // stretch, hundreds of them for a letter typed into a long list.
    invalidate();
}

std::vector<int> CDeviceFilter::VisibleRows() const {
    std::vector<int> rows;
    rows.reserve(static_cast<size_t>(rowCount()));
    for (int row = 0; row < rowCount(); ++row) {
        rows.push_back(mapToSource(index(row, 0)).row());
    }
    return rows;
}

bool CDeviceFilter::filterAcceptsRow(int sourceRow, const QModelIndex& /*sourceParent*/) const {
    if (m_onlyFailed && m_model->Phase(sourceRow) != RowPhase::Failed) {
        return false;
    }
    if (m_folded.isEmpty()) {
        return true;
    }
    const auto& texts = m_model->SearchTexts(sourceRow);
    return std::any_of(texts.begin(), texts.end(),
                       [this](const QString& text) { return text.contains(m_folded); });
}
