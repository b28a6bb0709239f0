// Draws the result column: a progress bar with the block percentage while
// a camera's package is being sent, otherwise the state icon and the text.
#pragma once

#include "TextCellDelegate.h"

class CResultDelegate : public CTextCellDelegate {
    Q_OBJECT

public:
    using CTextCellDelegate::CTextCellDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

private:
    // The bars' texts ("42%") laid out, for the font they were laid out in.
    mutable QHash<QString, QStaticText> m_barTexts;
    mutable QFont m_barFont;
};
