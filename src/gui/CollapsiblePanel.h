// A titled section whose content folds away under its title: controls a
// technician seldom needs give their room back to the list until asked for.
#pragma once

#include <QWidget>

class QToolButton;

class CCollapsiblePanel : public QWidget {
    Q_OBJECT

public:
    explicit CCollapsiblePanel(QWidget* parent);

    // The folded controls; the panel takes them over.
    void SetContent(QWidget* content);
    void SetTitle(const QString& title);
    void SetOpen(bool open);
    bool IsOpen() const;
    QToolButton* Toggle() const { return m_toggle; }

signals:
    void OpenChanged(bool open);

private:
    QToolButton* m_toggle = nullptr;
    QWidget* m_content = nullptr;
};
