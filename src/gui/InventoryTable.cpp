#include "InventoryTable.h"

#include <QHeaderView>
#include <QTableWidget>

#include "app/StringTable.h"
#include "model/SafeText.h"

QString InventoryText(int id) {
    return QString::fromStdString(LoadString(id));
}

QTableWidget* MakeInventoryTable(const std::vector<int>& headingIds, const QString& name,
                                 QWidget* parent) {
    auto* table = new QTableWidget(0, static_cast<int>(headingIds.size()), parent);
    table->setObjectName(name);
    QStringList headings;
    for (int id : headingIds) {
        headings << InventoryText(id);
    }
    table->setHorizontalHeaderLabels(headings);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(false);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

void FillInventoryTable(QTableWidget& table, const std::vector<std::vector<std::string>>& rows) {
    table.setSortingEnabled(false);
    table.setRowCount(static_cast<int>(rows.size()));
    for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
        const std::vector<std::string>& cells = rows[static_cast<size_t>(row)];
        for (int column = 0; column < table.columnCount() && column < int(cells.size()); ++column) {
            // A table item is plain text: markup in a camera's name shows
            // as it is, and the escapes keep control characters visible.
            table.setItem(row, column,
                          new QTableWidgetItem(QString::fromStdString(
                              VisibleText(cells[static_cast<size_t>(column)]))));
        }
    }
    table.resizeColumnsToContents();
}
