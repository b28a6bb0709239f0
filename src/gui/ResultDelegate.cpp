#include "ResultDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionProgressBar>

#include "DeviceListModel.h"
#include "StateIcons.h"

void CResultDelegate::initStyleOption(QStyleOptionViewItem* option,
                                      const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    const auto phase = static_cast<RowPhase>(index.data(kPhaseRole).toInt());
    const QIcon icon = StateIcon(phase);
    if (!icon.isNull()) {
        option->icon = icon;
        option->features |= QStyleOptionViewItem::HasDecoration;
    }
}

void CResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    const int progress = index.data(kProgressRole).toInt();
    const auto phase = static_cast<RowPhase>(index.data(kPhaseRole).toInt());
    if (phase != RowPhase::Transferring || progress < 0) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    // The cell's background (selection included), then the bar over it.
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    background.text.clear();
    background.icon = QIcon();
    background.features &= ~QStyleOptionViewItem::HasDecoration;
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, widget);

    QStyleOptionProgressBar bar;
    if (widget != nullptr) {
        bar.initFrom(widget);
    }
    bar.state = option.state | QStyle::State_Enabled | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.rect = option.rect.adjusted(2, 2, -2, -2);
    bar.fontMetrics = option.fontMetrics;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = qBound(0, progress, 100);
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
}
