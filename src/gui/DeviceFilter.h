// The rows the list shows: those whose name, addresses, MAC, model or
// version contain the filter text (any letter case), and with "Show only
// failed" only the failed ones. The order stays the model's own.
#pragma once

#include <QSortFilterProxyModel>
#include <QTimer>
#include <vector>

class CDeviceListModel;

class CDeviceFilter : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit CDeviceFilter(CDeviceListModel* model, QObject* parent = nullptr);

    void SetText(const QString& text);
    const QString& Text() const { return m_text; }
    void SetOnlyFailed(bool onlyFailed);
    bool OnlyFailed() const { return m_onlyFailed; }
    // Model rows shown, top to bottom.
    std::vector<int> VisibleRows() const;
    bool IsFiltering() const { return !m_text.isEmpty() || m_onlyFailed; }
    // Filters the changed rows again now (a timer does it otherwise).
    void Refilter() { invalidateRowsFilter(); }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    void RefilterAll();

    CDeviceListModel* m_model;
    QString m_text;
    QString m_folded;  // m_text case-folded, as the model's search texts are
    bool m_onlyFailed = false;
    QTimer m_refilter;
};
