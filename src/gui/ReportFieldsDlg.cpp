#include "ReportFieldsDlg.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "InventoryTable.h"
#include "app/StringTable.h"
#include "model/ReportField.h"
#include "session/SessionInventory.h"

namespace {

std::string Typed(const QLineEdit* edit) {
    return edit->text().trimmed().toStdString();
}

}  // namespace

CReportFieldsDlg::CReportFieldsDlg(const report_fields::REPORT_FIELDS& fields,
                                   const QString& defaultSite, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("ReportFields"));
    setWindowTitle(InventoryText(IDS_MENU_REPORT_FIELDS).remove(QLatin1Char('&')));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    auto add = [this, form](int labelId, const std::string& value, const QString& name) {
        auto* edit = new QLineEdit(QString::fromStdString(value), this);
        edit->setObjectName(name);
        form->addRow(InventoryText(labelId), edit);
        connect(edit, &QLineEdit::textChanged, this, &CReportFieldsDlg::Check);
        return edit;
    };
    m_site = add(IDS_SITE_LABEL, fields.site, QStringLiteral("Site"));
    m_site->setPlaceholderText(defaultSite);
    m_customer = add(IDS_CUSTOMER_LABEL, fields.customer, QStringLiteral("Customer"));
    m_technician = add(IDS_TECHNICIAN_LABEL, fields.technician, QStringLiteral("Technician"));
    layout->addLayout(form);
    m_problem = new QLabel(this);
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->hide();
    layout->addWidget(m_problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_ok = buttons->button(QDialogButtonBox::Ok);
    m_ok->setText(InventoryText(IDS_BUTTON_OK));
    buttons->button(QDialogButtonBox::Cancel)->setText(InventoryText(IDS_BUTTON_CANCEL));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(420);
    Check();
}

report_fields::REPORT_FIELDS CReportFieldsDlg::Fields() const {
    return {Typed(m_site), Typed(m_customer), Typed(m_technician)};
}

bool CReportFieldsDlg::Acceptable() const {
    return m_ok->isEnabled();
}

void CReportFieldsDlg::Check() {
    QString problem;
    const auto bound = [](int labelId, size_t bytes) {
        return InventoryText(IDS_REPORT_FIELD_BOUND)
            .arg(InventoryText(labelId).remove(QLatin1Char(':')).remove(QChar(0xFF1A)))
            .arg(bytes);
    };
    if (!report_fields::CheckSite(Typed(m_site)).empty()) {
        problem = bound(IDS_SITE_LABEL, inventory::kMaxSiteNameBytes);
    } else if (!CheckReportField("", Typed(m_customer)).empty()) {
        problem = bound(IDS_CUSTOMER_LABEL, kMaxReportFieldBytes);
    } else if (!CheckReportField("", Typed(m_technician)).empty()) {
        problem = bound(IDS_TECHNICIAN_LABEL, kMaxReportFieldBytes);
    }
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    m_ok->setEnabled(problem.isEmpty());
}
