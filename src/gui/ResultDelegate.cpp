#include "ResultDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
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
        CTextCellDelegate::paint(painter, option, index);
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
    const QRect barRect = option.rect.adjusted(2, 2, -2, -2);
    bar.rect = QRect(QPoint(0, 0), barRect.size());
    bar.fontMetrics = option.fontMetrics;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.progress = qBound(0, progress, 100);
    bar.text = index.data(Qt::DisplayRole).toString();
    bar.textVisible = true;
    bar.textAlignment = Qt::AlignCenter;
    if (barRect.isEmpty()) {
        return;
    }
    // A style's bar (gradients, rounded frame, text) costs a quarter of a
    // millisecond, and 32 of them change every frame during a batch: each
    // look is drawn once and kept. Rows at the same percentage share it.
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const QString key = QStringLiteral("firmhand-bar-%1x%2@%3-%4-%5-%6-%7-%8")
                            .arg(barRect.width())
                            .arg(barRect.height())
                            .arg(ratio)
                            .arg(bar.progress)
                            .arg(static_cast<int>(bar.state))
                            .arg(static_cast<int>(bar.direction))
                            .arg(bar.palette.cacheKey())
                            .arg(bar.text);
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(barRect.size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter barPainter(&pixmap);
        barPainter.setFont(painter->font());
        style->drawControl(QStyle::CE_ProgressBar, &bar, &barPainter, widget);
        barPainter.end();
        QPixmapCache::insert(key, pixmap);
    }
    painter->drawPixmap(barRect.topLeft(), pixmap);
}
