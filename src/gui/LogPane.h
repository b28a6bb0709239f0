// The window's log pane. By default it shows the technician's events, which
// the window words itself (a camera found, an upgrade started, a result);
// the program's own log lines (function names, protocol steps) join them
// only when developer lines are asked for. Either way it follows the camera
// selected in the list.
#pragma once

#include <QDockWidget>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPlainTextEdit;
class QTimer;
class CLogFeed;
struct LOG_FEED_LINE;

class CLogPane : public QDockWidget {
    Q_OBJECT

public:
    // Lines the pane keeps; older ones leave first.
    static constexpr size_t kMaxLines = 3000;

    explicit CLogPane(QWidget* parent);
    ~CLogPane() override;

    QPlainTextEdit* View() const { return m_view; }
    // Called with every log line as it is taken (the list's last log line
    // per camera), developer lines shown or not.
    void SetFeedObserver(std::function<void(const LOG_FEED_LINE&)> observer);

    // A technician's event, stamped with the time; `mac` names its camera
    // ("" for one of the whole batch).
    void AddEvent(const QString& text, const std::string& mac);
    void SetDeveloperLinesShown(bool shown);
    bool DeveloperLinesShown() const { return m_developer; }
    // Only the lines of this camera ("" for every line).
    void ShowCamera(const std::string& mac);
    // What the pane shows now.
    QString Text() const;
    // Takes the waiting log lines now (a timer does it otherwise).
    void Drain();
    void Stop();
    void Retranslate();

private:
    struct Line {
        QString text;
        std::string macKey;
        bool developer = false;
    };
    void Add(Line line);
    bool Shown(const Line& line) const;
    void Refill();

    QPlainTextEdit* m_view = nullptr;
    QTimer* m_timer = nullptr;
    std::unique_ptr<CLogFeed> m_feed;
    std::function<void(const LOG_FEED_LINE&)> m_observer;
    std::vector<Line> m_lines;  // a ring once full
    size_t m_first = 0;
    std::vector<QString> m_pending;  // shown lines not yet in the view
    std::string m_shownMac;
    bool m_developer = false;
};
