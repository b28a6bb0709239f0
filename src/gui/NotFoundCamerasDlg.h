// "Add cameras not found" > "From the site inventory...": the cameras the
// inventory has seen at the site that have no row now (the search has not
// found them), to choose the ones a batch should wait for.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "session/SessionInventory.h"

class QLabel;
class QPushButton;
class QTableWidget;

class CNotFoundCamerasDlg : public QDialog {
    Q_OBJECT

public:
    // `listed` tells whether a MAC (any letter case) has a row.
    CNotFoundCamerasDlg(const std::string& inventoryPath, const std::string& site,
                        const std::function<bool(const std::string&)>& listed,
                        QWidget* parent = nullptr);

    QTableWidget* Table() const { return m_table; }
    // The cameras offered, in the table's order.
    const std::vector<INVENTORY_CAMERA>& Offered() const { return m_offered; }
    // The selected ones (Add).
    std::vector<INVENTORY_CAMERA> Chosen() const;
    // Why nothing is offered ("" when the inventory was read).
    const std::string& Problem() const { return m_problem; }

private:
    void Read(const std::string& inventoryPath, const std::string& site,
              const std::function<bool(const std::string&)>& listed);

    QTableWidget* m_table = nullptr;
    QLabel* m_note = nullptr;
    QPushButton* m_add = nullptr;
    std::vector<INVENTORY_CAMERA> m_offered;
    std::string m_problem;
};
