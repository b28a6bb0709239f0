#include "LoginDlg.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StringTable.h"

FH_LOG_SOURCE("LoginDlg");

namespace {

QString LoginText(int id) {
    return QString::fromStdString(LoadString(id));
}

}  // namespace

CLoginDlg::CLoginDlg(AdapterEnumerator enumerate, QWidget* parent)
    : QDialog(parent), m_enumerate(std::move(enumerate)) {
    setWindowTitle(LoginText(IDS_ADAPTER_CAPTION));
    setModal(true);

    auto* label = new QLabel(LoginText(IDS_ADAPTER_LABEL), this);
    m_adapters = new QComboBox(this);
    m_adapters->setObjectName(QStringLiteral("ctl1029"));
    m_adapters->setInsertPolicy(QComboBox::NoInsert);
    m_adapters->setMinimumWidth(300);
    m_adapters->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    label->setBuddy(m_adapters);
    m_adapters->setAccessibleName(LoginText(IDS_ADAPTER_LABEL));

    m_confirm = new QPushButton(LoginText(IDS_ADAPTER_CONFIRM), this);
    m_confirm->setObjectName(QStringLiteral("ctl1025"));
    m_confirm->setDefault(true);
    m_confirm->setAccessibleName(m_confirm->text());
    auto* cancel = new QPushButton(LoginText(IDS_ADAPTER_CANCEL), this);
    cancel->setObjectName(QStringLiteral("ctl2"));
    cancel->setAccessibleName(cancel->text());

    auto* layout = new QGridLayout(this);
    layout->addWidget(label, 0, 0);
    layout->addWidget(m_adapters, 0, 1, 1, 3);
    layout->setRowMinimumHeight(1, 12);
    layout->addWidget(m_confirm, 2, 1);
    layout->addWidget(cancel, 2, 2);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(2, 1);

    connect(m_confirm, &QPushButton::clicked, this, &CLoginDlg::OnConfirm);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    FillAdapters();
}

void CLoginDlg::FillAdapters() {
    // Each item keeps its adapter name as item data; Qt owns the copies.
    m_adapters->clear();
    m_adapters->insertItem(0, LoginText(IDS_ADAPTER_ALL), QString());
    const std::string remembered = settings::GetString(settings::kSelectedNetworkAdapter);
    int selected = 0;
    if (m_enumerate) {
        const int count = m_enumerate([&](const GUI_ADAPTER_INFO& adapter) {
            const int position = m_adapters->count();
            // Each adapter with its addresses: names alone rarely tell
            // which one faces the cameras.
            QString text = QString::fromLocal8Bit(adapter.description);
            QStringList addresses;
            for (const std::string& address : adapter.addresses) {
                addresses << QString::fromStdString(address);
            }
            if (!addresses.isEmpty()) {
                text +=
                    QStringLiteral("  (") + addresses.join(QStringLiteral(", ")) + QLatin1Char(')');
            }
            m_adapters->insertItem(position, text, QString::fromStdString(adapter.name));
            // Names are compared exactly: a name in other letter case is
            // another adapter.
            if (adapter.name == remembered) {
                selected = position;
            }
            return true;
        });
        if (count < 0) {
            LOG_WARN("CLoginDlg::FillAdapters", "adapter list not available");
        }
    }
    m_adapters->setCurrentIndex(selected);
}

std::string CLoginDlg::GetSelectedAdapterName() const {
    return m_adapters->currentData().toString().toStdString();
}

void CLoginDlg::OnConfirm() {
    m_chosen = GetSelectedAdapterName();
    settings::WriteUserString(settings::kSelectedNetworkAdapter, *m_chosen);
    accept();
}
