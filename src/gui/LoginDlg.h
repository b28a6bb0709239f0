// The network adapter dialog shown before the main window does anything:
// "全部" (all adapters) and every adapter of the system, the adapter chosen
// last time preselected. Confirming hands the choice to the device search
// and remembers it; cancelling ends the program.
#pragma once

#include <QDialog>
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

    CLoginDlg(AdapterEnumerator enumerate, AdapterSelectedHandler onSelected,
              QWidget* parent = nullptr);

    // Refills the list: "全部", then the adapters in the system's order.
    void FillAdapters();
    // The name stored with the selected item ("" for "全部").
    std::string GetSelectedAdapterName() const;

    QComboBox* AdapterList() const { return m_adapters; }
    QPushButton* ConfirmButton() const { return m_confirm; }

private:
    void OnConfirm();

    AdapterEnumerator m_enumerate;
    AdapterSelectedHandler m_onSelected;
    QComboBox* m_adapters = nullptr;
    QPushButton* m_confirm = nullptr;
};
