// Draws the result column: a progress bar with the block percentage while
// a camera's package is being sent, otherwise the state icon and the text.
#pragma once

#include <QStyledItemDelegate>

class CResultDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};
