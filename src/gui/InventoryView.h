// The site's cameras as the inventory recorded them (View > Inventory),
// with the filter of `firmhand-cli inventory --older-than`: the inventory's
// own query compares the versions in release order (4.0.10 after 4.0.2).
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QTableWidget;

class CInventoryView : public QDialog {
    Q_OBJECT

public:
    // `site` "" lists every site.
    CInventoryView(std::string inventoryPath, std::string site, QWidget* parent = nullptr);

    QLineEdit* OlderThanEdit() const { return m_olderThan; }
    QTableWidget* Table() const { return m_table; }
    // Why nothing is listed ("" when the list is right): a malformed
    // version or an inventory that cannot be read.
    const std::string& Problem() const { return m_problem; }
    // Reads the cameras again with the filter as typed.
    void Refresh();

private:
    std::string m_path;
    std::string m_site;
    QLineEdit* m_olderThan = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_problemLabel = nullptr;
    std::string m_problem;
};
