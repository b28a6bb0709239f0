// "Add cameras not found" > "By MAC address...": the MAC of a camera the
// search has not found, typed with colons or dashes in any case. A text that
// is no MAC, or the MAC of a camera already listed, is refused in the dialog
// with the reason, and the dialog stays open.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;

class CAddCameraMacDlg : public QDialog {
    Q_OBJECT

public:
    // `listed` tells whether a MAC (as "00:1A:2B:3C:4D:5E") has a row.
    CAddCameraMacDlg(std::function<bool(const std::string&)> listed, QWidget* parent = nullptr);

    QLineEdit* MacEdit() const { return m_mac; }
    // Why the text was refused ("" while nothing was refused).
    QString Problem() const;
    // The accepted MAC in its one form ("00:1A:2B:3C:4D:5E").
    const std::string& Mac() const { return m_accepted; }

    // Add: accepts a well-formed MAC of a camera not listed.
    void accept() override;

private:
    std::function<bool(const std::string&)> m_listed;
    QLineEdit* m_mac = nullptr;
    QLabel* m_problem = nullptr;
    std::string m_accepted;
};
