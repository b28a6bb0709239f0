// A read-only table of inventory rows for the window's inventory views.
// Every text is recorded camera text: it is shown escaped (VisibleText) and
// as plain text, never as markup.
#pragma once

#include <QString>
#include <string>
#include <vector>

class QTableWidget;
class QWidget;

// A table with these string-table headings; object name `name`.
QTableWidget* MakeInventoryTable(const std::vector<int>& headingIds, const QString& name,
                                 QWidget* parent);
// Replaces the table's rows.
void FillInventoryTable(QTableWidget& table, const std::vector<std::vector<std::string>>& rows);
// A string-table text in the current language.
QString InventoryText(int id);
