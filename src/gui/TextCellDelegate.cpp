#include "TextCellDelegate.h"

#include <QApplication>
#include <QPainter>

namespace {

// Cells kept laid out: several screens of the list.
constexpr qsizetype kMaxLaidOut = 4000;

}  // namespace

void CTextCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem cell = option;
    initStyleOption(&cell, index);
    if ((cell.features & QStyleOptionViewItem::HasCheckIndicator) != 0 || cell.text.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = cell.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    // Background, selection, icon and focus frame as the style draws them;
    // the text after them, as the style would place and colour it.
    const QString text = cell.text;
    cell.text.clear();
    style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);

    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textArea = (cell.features & QStyleOptionViewItem::HasDecoration) != 0
                               ? style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget)
                               : cell.rect;
    const QRect textRect = textArea.adjusted(margin, 0, -margin, 0);
    if (textRect.width() <= 0) {
        return;
    }
    if (cell.font != m_font || m_laidOut.size() > kMaxLaidOut) {
        m_laidOut.clear();
        m_font = cell.font;
    }
    const QString key = QString::number(textRect.width()) + QChar(0x1F) + text;
    auto found = m_laidOut.find(key);
    if (found == m_laidOut.end()) {
        QStaticText laidOut(
            QFontMetrics(cell.font).elidedText(text, cell.textElideMode, textRect.width()));
        laidOut.setTextFormat(Qt::PlainText);
        laidOut.prepare(QTransform(), cell.font);
        found = m_laidOut.insert(key, laidOut);
    }
    const QSizeF size = found->size();
    const QRect placed =
        QStyle::alignedRect(cell.direction, cell.displayAlignment, size.toSize(), textRect);

    QPalette::ColorGroup group = QPalette::Normal;
    if ((cell.state & QStyle::State_Enabled) == 0) {
        group = QPalette::Disabled;
    } else if ((cell.state & QStyle::State_Active) == 0) {
        group = QPalette::Inactive;
    }
    painter->save();
    painter->setFont(cell.font);
    painter->setPen(cell.palette.color(group, (cell.state & QStyle::State_Selected) != 0
                                                  ? QPalette::HighlightedText
                                                  : QPalette::Text));
    painter->setClipRect(textRect, Qt::IntersectClip);
    painter->drawStaticText(placed.topLeft(), *found);
    painter->restore();
}
