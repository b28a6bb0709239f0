// File > Site and report: the site the inventory and the report name, and
// the report's customer and technician. OK stays off while a field breaks
// its bound (one line, at most the command line's byte limit).
#pragma once

#include <QDialog>

#include "ReportFields.h"

class QLabel;
class QLineEdit;
class QPushButton;

class CReportFieldsDlg : public QDialog {
    Q_OBJECT

public:
    // `defaultSite` is shown when the site is left empty (the adapter's
    // subnet).
    CReportFieldsDlg(const report_fields::REPORT_FIELDS& fields, const QString& defaultSite,
                     QWidget* parent = nullptr);

    report_fields::REPORT_FIELDS Fields() const;
    QLineEdit* SiteEdit() const { return m_site; }
    QLineEdit* CustomerEdit() const { return m_customer; }
    QLineEdit* TechnicianEdit() const { return m_technician; }
    bool Acceptable() const;

private:
    void Check();

    QLineEdit* m_site = nullptr;
    QLineEdit* m_customer = nullptr;
    QLineEdit* m_technician = nullptr;
    QLabel* m_problem = nullptr;
    QPushButton* m_ok = nullptr;
};
