// A camera's history from the site inventory, as `firmhand-cli history
// --mac` lists it: the versions it showed (first and last sighting) and its
// upgrade steps over every site, oldest first. Read once when opened; the
// inventory is never written from here.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QTableWidget;

class CCameraHistoryDlg : public QDialog {
    Q_OBJECT

public:
    // `title` names the camera in the window title (already safe text).
    CCameraHistoryDlg(const std::string& inventoryPath, const std::string& mac,
                      const QString& title, QWidget* parent = nullptr);

    QTableWidget* Versions() const { return m_versions; }
    QTableWidget* Steps() const { return m_steps; }
    // Why the inventory could not be read, "" when it was.
    const std::string& Problem() const { return m_problem; }

private:
    void Load(const std::string& inventoryPath, const std::string& mac);

    QTableWidget* m_versions = nullptr;
    QTableWidget* m_steps = nullptr;
    QLabel* m_problemLabel = nullptr;
    std::string m_problem;
};
