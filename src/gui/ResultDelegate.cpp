#include "ResultDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QRegion>
#include <QStyleOptionProgressBar>

#include "DeviceListModel.h"
#include "StateIcons.h"

namespace {

// The style's bar at 0 or 100 %, without text, kept in Qt's pixmap cache.
QPixmap BarPixmap(QStyle* style, QStyleOptionProgressBar bar, int progress, qreal ratio,
                  const QWidget* widget) {
    bar.progress = progress;
    const QString key = QStringLiteral("firmhand-bar-%1x%2@%3-%4-%5-%6-%7")
                            .arg(bar.rect.width())
                            .arg(bar.rect.height())
                            .arg(ratio)
                            .arg(progress)
                            .arg(static_cast<int>(bar.state))
                            .arg(static_cast<int>(bar.direction))
                            .arg(bar.palette.cacheKey());
    QPixmap pixmap;
    if (!QPixmapCache::find(key, &pixmap)) {
        pixmap = QPixmap(bar.rect.size() * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        style->drawControl(QStyle::CE_ProgressBar, &bar, &painter, widget);
        painter.end();
        QPixmapCache::insert(key, pixmap);
    }
    return pixmap;
}

}  // namespace

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

    const QRect barRect = option.rect.adjusted(2, 2, -2, -2);
    if (barRect.isEmpty()) {
        return;
    }
    // A style's bar (gradients, rounded frame, text) costs a quarter of a
    // millisecond, and 32 of them change every frame during a batch. The
    // style draws an empty and a full bar once per look; a cell shows the
    // full one up to its percentage over the empty one, and its text in the
    // colours the style gives the two parts.
    QStyleOptionProgressBar bar;
    if (widget != nullptr) {
        bar.initFrom(widget);
    }
    bar.state = option.state | QStyle::State_Enabled | QStyle::State_Horizontal;
    bar.direction = option.direction;
    bar.rect = QRect(QPoint(0, 0), barRect.size());
    bar.fontMetrics = option.fontMetrics;
    bar.minimum = 0;
    bar.maximum = 100;
    bar.textVisible = false;
    const qreal ratio = painter->device() != nullptr ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap empty = BarPixmap(style, bar, 0, ratio, widget);
    const QPixmap full = BarPixmap(style, bar, 100, ratio, widget);
    const int percent = qBound(0, progress, 100);
    const int filled = barRect.width() * percent / 100;
    QRect filledRect(barRect.topLeft(), QSize(filled, barRect.height()));
    if (option.direction == Qt::RightToLeft) {
        filledRect.moveRight(barRect.right());
    }
    const QRect source(QPoint(filledRect.left() - barRect.left(), 0), filledRect.size());
    painter->drawPixmap(barRect.topLeft(), empty);
    if (filled > 0) {
        painter->drawPixmap(QRectF(filledRect), full,
                            QRectF(source.topLeft() * ratio, source.size() * ratio));
    }

    const QString text = index.data(Qt::DisplayRole).toString();
    auto laidOut = m_barTexts.find(text);
    if (laidOut == m_barTexts.end() || m_barFont != option.font) {
        if (m_barFont != option.font) {
            m_barTexts.clear();
            m_barFont = option.font;
        }
        QStaticText staticText(text);
        staticText.setTextFormat(Qt::PlainText);
        staticText.prepare(QTransform(), option.font);
        laidOut = m_barTexts.insert(text, staticText);
    }
    const QRect textRect =
        QStyle::alignedRect(option.direction, Qt::AlignCenter, laidOut->size().toSize(), barRect);
    // The percentage in the style's two colours: over the empty part and
    // over the filled part of the bar.
    const auto drawText = [&](const QRegion& clip, QPalette::ColorRole role) {
        painter->save();
        painter->setFont(option.font);
        painter->setClipRegion(clip, Qt::IntersectClip);
        painter->setPen(bar.palette.color(role));
        painter->drawStaticText(textRect.topLeft(), *laidOut);
        painter->restore();
    };
    drawText(QRegion(barRect).subtracted(filledRect), QPalette::Text);
    if (filled > 0) {
        drawText(QRegion(filledRect), QPalette::HighlightedText);
    }
}
