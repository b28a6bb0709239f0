#include "LogPane.h"

#include <QPlainTextEdit>
#include <QTime>
#include <QTimer>

#include "DeviceListRules.h"
#include "LogFeed.h"
#include "app/StringTable.h"

namespace {

// How often waiting log lines reach the pane.
constexpr int kDrainMs = 250;

}  // namespace

CLogPane::CLogPane(QWidget* parent) : QDockWidget(parent) {
    setObjectName(QStringLiteral("logDock"));
    m_view = new QPlainTextEdit(this);
    m_view->setReadOnly(true);
    m_view->setMaximumBlockCount(static_cast<int>(kMaxLines));
    m_view->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_view->setMinimumHeight(fontMetrics().height() * 4);
    setWidget(m_view);
    Retranslate();

    // The logger masks passwords before any observer sees a line.
    m_feed = std::make_unique<CLogFeed>();
    m_timer = new QTimer(this);
    m_timer->setInterval(kDrainMs);
    connect(m_timer, &QTimer::timeout, this, &CLogPane::Drain);
    m_timer->start();
    // Lines that came while the pane was closed are shown when it opens.
    connect(this, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible) {
            Refill();
        }
    });
}

CLogPane::~CLogPane() {
    Stop();
}

void CLogPane::Stop() {
    m_timer->stop();
    m_feed.reset();  // no logger call reaches the pane after this
}

void CLogPane::Retranslate() {
    const QString title = QString::fromStdString(LoadString(IDS_LOG_PANE));
    setWindowTitle(title);
    m_view->setAccessibleName(title);
}

void CLogPane::SetFeedObserver(std::function<void(const LOG_FEED_LINE&)> observer) {
    m_observer = std::move(observer);
}

void CLogPane::AddEvent(const QString& text, const std::string& mac) {
    const QString stamp = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    Add({stamp + QLatin1Char(' ') + text, mac.empty() ? std::string() : MacKey(mac), false});
    // An event is seen at once; the program's own lines wait for the timer.
    Drain();
}

void CLogPane::Drain() {
    if (m_feed) {
        for (LOG_FEED_LINE& line : m_feed->Take()) {
            if (m_observer) {
                m_observer(line);
            }
            Add({QString::fromUtf8(line.text.data(), static_cast<qsizetype>(line.text.size())),
                 line.mac.empty() ? std::string() : MacKey(line.mac), true});
        }
    }
    if (m_pending.empty()) {
        return;
    }
    if (isVisible()) {
        QString text;
        for (const QString& line : m_pending) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + line;
        }
        m_view->appendPlainText(text);
    }
    m_pending.clear();
}

void CLogPane::Add(Line line) {
    if (Shown(line)) {
        m_pending.push_back(line.text);
    }
    if (m_lines.size() < kMaxLines) {
        m_lines.push_back(std::move(line));
    } else {
        m_lines[m_first] = std::move(line);
        m_first = (m_first + 1) % kMaxLines;
    }
}

bool CLogPane::Shown(const Line& line) const {
    return (m_developer || !line.developer) && (m_shownMac.empty() || line.macKey == m_shownMac);
}

void CLogPane::SetDeveloperLinesShown(bool shown) {
    if (shown != m_developer) {
        m_developer = shown;
        Refill();
    }
}

void CLogPane::ShowCamera(const std::string& mac) {
    const std::string key = mac.empty() ? std::string() : MacKey(mac);
    if (key != m_shownMac) {
        m_shownMac = key;
        Refill();
    }
}

void CLogPane::Refill() {
    m_pending.clear();
    m_view->setPlainText(Text());
    m_view->moveCursor(QTextCursor::End);
}

QString CLogPane::Text() const {
    QString text;
    const size_t count = m_lines.size();
    for (size_t i = 0; i < count; ++i) {
        const Line& line = m_lines[(m_first + i) % count];
        if (Shown(line)) {
            text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + line.text;
        }
    }
    return text;
}
