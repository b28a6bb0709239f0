#include "AddCameraMacDlg.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/StringTable.h"
#include "model/MacAddress.h"

namespace {

QString DialogText(int id) {
    return QString::fromStdString(LoadString(id));
}

// "00-1a-2b-3c-4d-5e" with room for spaces around it.
constexpr int kMaxMacTextLength = 32;

}  // namespace

CAddCameraMacDlg::CAddCameraMacDlg(std::function<bool(const std::string&)> listed, QWidget* parent)
    : QDialog(parent), m_listed(std::move(listed)) {
    setObjectName(QStringLiteral("AddCameraMac"));
    setWindowTitle(DialogText(IDS_ADD_BY_MAC_TITLE));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(DialogText(IDS_MAC_LABEL), this);
    m_mac = new QLineEdit(this);
    m_mac->setObjectName(QStringLiteral("Mac"));
    m_mac->setMaxLength(kMaxMacTextLength);
    m_mac->setPlaceholderText(QStringLiteral("00:1A:2B:3C:4D:5E"));
    label->setBuddy(m_mac);
    layout->addWidget(label);
    layout->addWidget(m_mac);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("Problem"));
    m_problem->setTextFormat(Qt::PlainText);
    m_problem->setWordWrap(true);
    m_problem->hide();
    layout->addWidget(m_problem);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(DialogText(IDS_ADD));
    buttons->button(QDialogButtonBox::Cancel)->setText(DialogText(IDS_BUTTON_CANCEL));
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddCameraMacDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    // Wide enough for the reason of a refusal on two lines.
    setMinimumWidth(fontMetrics().averageCharWidth() * 56);
    // A refusal stands until the text changes.
    connect(m_mac, &QLineEdit::textEdited, m_problem, &QLabel::hide);
}

QString CAddCameraMacDlg::Problem() const {
    return m_problem->isHidden() ? QString() : m_problem->text();
}

void CAddCameraMacDlg::accept() {
    const std::optional<CMacAddress> mac =
        CMacAddress::Parse(m_mac->text().trimmed().toStdString());
    int problem = 0;
    if (!mac) {
        problem = IDS_MAC_MALFORMED;
    } else if (m_listed && m_listed(mac->Text())) {
        problem = IDS_MAC_LISTED;
    }
    if (problem != 0) {
        m_problem->setText(DialogText(problem));
        m_problem->show();
        m_mac->setFocus();
        m_mac->selectAll();
        return;
    }
    m_accepted = mac->Text();
    QDialog::accept();
}
