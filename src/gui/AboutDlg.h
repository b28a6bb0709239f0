// The about box: program name, product version and build date.
#pragma once

#include <QDialog>

class QLabel;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    // Control ids of the box.
    static constexpr int IDC_NAME = 1015;
    static constexpr int IDC_NOTICE = 1016;
    static constexpr int IDC_DATE = 1017;
    static constexpr int IDC_VERSION = 1018;

    // The three labels come from the main window ("Name:", "Version:",
    // "Date:" in the interface language).
    CAboutDlg(const QString& nameLabel, const QString& versionLabel, const QString& dateLabel,
              QWidget* parent = nullptr);

    QString Text(int id) const;

private:
    QLabel* m_name = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_date = nullptr;
    QLabel* m_notice = nullptr;
};
