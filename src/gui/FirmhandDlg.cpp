#include "FirmhandDlg.h"

#include "app/Startup.h"

CFirmhandDlg::CFirmhandDlg(QWidget* parent)
    : QMainWindow(parent), m_qtSink(std::make_shared<CQtMessageSink>(this)), m_sink(m_qtSink) {
    setWindowTitle(QString::fromStdString(MainWindowTitle()));
    resize(1100, 600);
}

CFirmhandDlg::~CFirmhandDlg() { m_qtSink->Detach(); }

bool CFirmhandDlg::event(QEvent* event) {
    if (event->type() == CWindowMessageEvent::EventType()) {
        OnWindowMessage(static_cast<CWindowMessageEvent*>(event)->Message());
        return true;
    }
    return QMainWindow::event(event);
}

void CFirmhandDlg::OnWindowMessage(CWindowMessage& /*message*/) {}
