// The main window.
#pragma once

#include <QMainWindow>
#include <memory>

#include "QtMessageSink.h"

class CFirmhandDlg : public QMainWindow {
    Q_OBJECT

public:
    explicit CFirmhandDlg(QWidget* parent = nullptr);
    ~CFirmhandDlg() override;

    const MessageSinkPtr& MessageSink() const { return m_sink; }

protected:
    bool event(QEvent* event) override;
    // Handles one posted message from the core on the window thread.
    virtual void OnWindowMessage(CWindowMessage& message);

private:
    std::shared_ptr<CQtMessageSink> m_qtSink;
    MessageSinkPtr m_sink;
};
