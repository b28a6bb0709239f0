// Draws the list's plain text cells with their laid-out text kept: a cell
// repainted with the same text, font and width reuses its glyphs instead of
// shaping the text again, which is most of what a repaint of the list costs.
// Cells with a check box are drawn as Qt draws them.
#pragma once

#include <QFont>
#include <QHash>
#include <QStaticText>
#include <QStyledItemDelegate>

class CTextCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

private:
    // Texts laid out, keyed by width and text; emptied when it grows past
    // a few screens of cells or the font changes.
    mutable QHash<QString, QStaticText> m_laidOut;
    mutable QFont m_font;
};
