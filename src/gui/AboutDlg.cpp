#include "AboutDlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "app/StringTable.h"
#include "app/Version.h"

CAboutDlg::CAboutDlg(const QString& nameLabel, const QString& versionLabel,
                     const QString& dateLabel, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QString::fromStdString(LoadString(IDS_ABOUT)));

    m_name = new QLabel(nameLabel + QStringLiteral("Firmhand"), this);
    m_version = new QLabel(versionLabel + QLatin1Char('v') +
                               QString::fromStdString(VersionToString(GetModuleVersionNumber())),
                           this);
    m_date = new QLabel(dateLabel + QString::fromLatin1(BuildDateText()), this);
    m_notice = new QLabel(
        QStringLiteral("Batch firmware upgrade for the network cameras on your LAN."), this);
    m_notice->setWordWrap(true);

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/ICON/128")).pixmap(64, 64));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_name);
    texts->addWidget(m_version);
    texts->addWidget(m_date);
    texts->addSpacing(8);
    texts->addWidget(m_notice);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

QString CAboutDlg::Text(int id) const {
    switch (id) {
        case IDC_NAME:
            return m_name->text();
        case IDC_VERSION:
            return m_version->text();
        case IDC_DATE:
            return m_date->text();
        case IDC_NOTICE:
            return m_notice->text();
        default:
            return {};
    }
}
