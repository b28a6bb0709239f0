#include "CollapsiblePanel.h"

#include <QToolButton>
#include <QVBoxLayout>

CCollapsiblePanel::CCollapsiblePanel(QWidget* parent) : QWidget(parent) {
    m_toggle = new QToolButton(this);
    m_toggle->setCheckable(true);
    m_toggle->setAutoRaise(true);
    m_toggle->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toggle->setArrowType(Qt::RightArrow);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_toggle, 0, Qt::AlignLeft);
    connect(m_toggle, &QToolButton::toggled, this, [this](bool open) {
        m_toggle->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
        if (m_content != nullptr) {
            m_content->setVisible(open);
        }
        emit OpenChanged(open);
    });
}

void CCollapsiblePanel::SetContent(QWidget* content) {
    m_content = content;
    content->setParent(this);
    layout()->addWidget(content);
    content->setVisible(IsOpen());
}

void CCollapsiblePanel::SetTitle(const QString& title) {
    m_toggle->setText(title);
    m_toggle->setAccessibleName(title);
}

void CCollapsiblePanel::SetOpen(bool open) {
    m_toggle->setChecked(open);
}

bool CCollapsiblePanel::IsOpen() const {
    return m_toggle->isChecked();
}
