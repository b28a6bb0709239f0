// The network adapter dialog shown before the main window does anything:
// "All adapters" and every adapter of the system with its addresses, the
// adapter chosen last time preselected; texts in the interface language. Confirming remembers the
// choice and gives it to the caller, who passes it to the session; cancelling ends the program.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "AdapterSource.h"

class QComboBox;
class QPushButton;

class CLoginDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids of the dialog.
    static constexpr int IDC_ADAPTER = 1029;
    static constexpr int IDC_CONFIRM = 1025;

    explicit CLoginDlg(AdapterEnumerator enumerate, QWidget* parent = nullptr);

    // The name stored with the selected item ("" for all adapters).
    std::string GetSelectedAdapterName() const;
    // The adapter confirmed ("" for all); none until Confirm was pressed.
    const std::optional<std::string>& ChosenAdapter() const { return m_chosen; }

    QComboBox* AdapterList() const { return m_adapters; }
    QPushButton* ConfirmButton() const { return m_confirm; }

private:
    // Fills the list: all adapters, then each in the system's order.
    void FillAdapters();
    void OnConfirm();

    AdapterEnumerator m_enumerate;
    std::optional<std::string> m_chosen;
    QComboBox* m_adapters = nullptr;
    QPushButton* m_confirm = nullptr;
};
