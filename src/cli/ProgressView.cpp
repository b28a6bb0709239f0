#include "ProgressView.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "TextTable.h"
#include "app/StringTable.h"
#include "model/SafeText.h"
#include "session/SessionTypes.h"

namespace {

constexpr size_t kMacWidth = 17;
constexpr size_t kFullBar = 20;
constexpr size_t kShortestBar = 10;
// The camera's name beside its MAC: at most this wide, and left out when
// less than the shortest fits.
constexpr size_t kMaxNameWidth = 16;
constexpr size_t kShortestName = 6;

enum class ProgressPhase { Running, Finished, Queued };

ProgressPhase PhaseOf(const CameraOutcome& o) {
    if (o.code) {
        return ProgressPhase::Finished;
    }
    return o.attempts > 0 ? ProgressPhase::Running : ProgressPhase::Queued;
}

// A camera on an upgrade path keeps its step before whatever it shows.
std::string WithStep(const CameraOutcome& o, const std::string& text) {
    return o.pathSteps > 1 ? UpgradeStepText(o.pathStep, o.pathSteps) + ": " + text : text;
}

// The state in words: the result once there is one; while blocks go, the
// percentage stands for itself.
std::string StateText(const CameraOutcome& o) {
    if (o.code) {
        return OutcomeText(o);
    }
    // Installing: its seconds once there is one to count (a plain line
    // printed as it starts would always read 0).
    if (o.lastBlockSeconds >= 0 && o.installingFor >= 1) {
        return o.state + " (" + std::to_string(static_cast<int>(o.installingFor)) + " s)";
    }
    if (!o.state.empty() && o.state.back() == '%') {
        return WithStep(o, "transferring");
    }
    return o.state.empty() ? "queued" : o.state;
}

bool Installing(const CameraOutcome& o) {
    return !o.code && o.lastBlockSeconds >= 0;
}

// What an installing camera shows when its whole text would be cut: its
// step and seconds matter more than the words.
std::string ShortInstalling(const CameraOutcome& o) {
    const int seconds = static_cast<int>(o.installingFor);
    return WithStep(o,
                    seconds >= 1 ? "installing, " + std::to_string(seconds) + " s" : "installing");
}

// The state as a line of `room` cells shows it.
std::string FittedState(const CameraOutcome& o, size_t room) {
    const std::string state = VisibleText(StateText(o));
    return Installing(o) && DisplayWidth(state) > room ? ShortInstalling(o) : state;
}

// The fixed cells of a camera's line: the MAC, gaps, brackets and " 100%".
constexpr size_t kFixedCells = kMacWidth + 2 + 2 + 1 + 4 + 2;

// Terminal rows that lines of these widths take on a terminal `columns`
// wide: after a narrowing, the terminal has wrapped the longer ones.
size_t RowsTaken(const std::vector<size_t>& widths, size_t columns) {
    size_t rows = 0;
    for (const size_t width : widths) {
        rows += columns == 0 || width <= columns ? 1 : (width + columns - 1) / columns;
    }
    return rows;
}

std::string Bar(int percent, size_t width) {
    const size_t filled = static_cast<size_t>(percent) * width / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

std::string CountLine(const std::vector<CameraOutcome>& outcomes, size_t hidden) {
    size_t running = 0;
    size_t queued = 0;
    // Finished cameras by their status; the rarer ones only when there are any.
    std::map<std::string, size_t> finished = {{"upgraded", 0}, {"failed", 0}};
    for (const CameraOutcome& o : outcomes) {
        const ProgressPhase phase = PhaseOf(o);
        running += phase == ProgressPhase::Running;
        queued += phase == ProgressPhase::Queued;
        if (phase == ProgressPhase::Finished) {
            ++finished[OutcomeStatus(o)];
        }
    }
    std::string line = std::to_string(running) + " running, " + std::to_string(queued) +
                       " queued, " + std::to_string(finished["upgraded"]) + " upgraded, " +
                       std::to_string(finished["failed"]) + " failed";
    for (const char* status : {"installing", "busy", "skipped", "cancelled", "not-started"}) {
        if (finished[status] > 0) {
            line += ", " + std::to_string(finished[status]) + " " + status;
        }
    }
    if (hidden > 0) {
        line += " (" + std::to_string(hidden) + " not shown)";
    }
    return line;
}

}  // namespace

int ShownPercent(const CameraOutcome& o) {
    if (o.code == UpgradeResult::Ok) {
        return 100;
    }
    return std::clamp(o.progress, 0, 100);
}

std::string CameraLine(const CameraOutcome& o, size_t columns, size_t nameWidth,
                       size_t stateWidth) {
    const int percent = ShownPercent(o);
    char number[8];
    std::snprintf(number, sizeof(number), "%3d%%", percent);
    // MAC, bar and number first; the state text takes what is left, and the
    // bar shrinks (down to its shortest) to leave the state `stateWidth`.
    const size_t fixed = kFixedCells;
    std::string line;
    if (columns >= fixed + kShortestBar + 8) {
        std::string name;
        if (nameWidth > 0 && columns >= fixed + kShortestBar + 8 + nameWidth + 2) {
            const std::string shown = FitText(VisibleText(o.name), nameWidth);
            name = shown + std::string(nameWidth - DisplayWidth(shown), ' ') + "  ";
        }
        const size_t wanted = std::max<size_t>(stateWidth, 8);
        const size_t room = columns - fixed - DisplayWidth(name);
        const size_t bar =
            room > wanted + kShortestBar ? std::min(room - wanted, kFullBar) : kShortestBar;
        line = VisibleText(o.mac) + "  " + name + Bar(percent, bar) + " " + number + "  ";
        line += FittedState(o, columns - std::min(columns, DisplayWidth(line)));
    } else {
        // Too narrow for a bar.
        line = VisibleText(o.mac) + " " + number + " ";
        line += FittedState(o, columns - std::min(columns, DisplayWidth(line)));
    }
    return FitText(line, columns);
}

size_t NameColumnWidth(const std::vector<CameraOutcome>& outcomes, size_t columns) {
    size_t widest = 0;
    for (const CameraOutcome& o : outcomes) {
        widest = std::max(widest, DisplayWidth(VisibleText(o.name)));
    }
    // Room left beside the MAC, a full bar and a short state text.
    const size_t others = kMacWidth + 2 + 2 + kFullBar + 2 + 4 + 2 + 12 + 2;
    const size_t room = columns > others ? columns - others : 0;
    const size_t width = std::min({widest, kMaxNameWidth, room});
    return width >= kShortestName ? width : 0;
}

std::vector<std::string> LiveLines(const std::vector<CameraOutcome>& outcomes, TerminalSize size,
                                   const std::string& status) {
    const size_t columns = static_cast<size_t>(std::max(size.columns - 1, 1));
    const size_t rows = static_cast<size_t>(std::max(size.rows - 1, 1));
    std::vector<const CameraOutcome*> order;
    for (const ProgressPhase phase :
         {ProgressPhase::Running, ProgressPhase::Finished, ProgressPhase::Queued}) {
        for (const CameraOutcome& o : outcomes) {
            if (PhaseOf(o) == phase) {
                order.push_back(&o);
            }
        }
    }
    const size_t nameWidth = NameColumnWidth(outcomes, columns);
    // One bar width for every row, so that the numbers stay in a column:
    // short enough for the widest state shown (the short installing form
    // when the whole one does not fit beside a full bar), a path's step
    // included.
    const size_t namedFixed = kFixedCells + (nameWidth > 0 ? nameWidth + 2 : 0);
    const size_t stateRoom = columns > namedFixed + kFullBar ? columns - namedFixed - kFullBar : 0;
    size_t stateWidth = 0;
    const size_t summary = status.empty() || rows < 2 ? 1 : 2;
    const size_t shown = std::min(order.size(), rows - std::min(rows, summary));
    for (size_t i = 0; i < shown; ++i) {
        stateWidth = std::max(stateWidth, DisplayWidth(FittedState(*order[i], stateRoom)));
    }
    std::vector<std::string> lines;
    for (size_t i = 0; i < shown; ++i) {
        lines.push_back(CameraLine(*order[i], columns, nameWidth, stateWidth));
    }
    lines.push_back(FitText(CountLine(outcomes, order.size() - shown), columns));
    if (summary == 2) {
        lines.push_back(FitText(status, columns));
    }
    return lines;
}

CProgressView::CProgressView(std::ostream& out, TerminalMeasure measure)
    : m_out(out), m_measure(std::move(measure)) {
    if (m_measure) {
        m_size = m_measure();
    }
    if (m_size) {
        m_resizes.emplace();
    }
}

bool CProgressView::ResizePending() const {
    return m_resizes && m_resizes->Pending();
}

size_t CProgressView::Columns() const {
    return m_size ? static_cast<size_t>(m_size->columns) : 0;
}

void CProgressView::Redraw(const std::vector<CameraOutcome>& outcomes) {
    if (m_resizes->TakeResized()) {
        if (const auto size = m_measure()) {
            m_size = size;
        }
    }
    // Back to the first line drawn, and clear everything below it: a
    // smaller terminal or fewer rows leave nothing behind.
    MoveToFirstLine();
    m_out << "\r\x1b[J";
    const std::vector<std::string> lines = LiveLines(outcomes, *m_size, m_status);
    m_drawnWidths.clear();
    for (const std::string& line : lines) {
        m_out << line << "\n";
        m_drawnWidths.push_back(DisplayWidth(line));
    }
    m_out.flush();
}

void CProgressView::Update(const std::vector<CameraOutcome>& outcomes, size_t changed) {
    if (m_size) {
        Redraw(outcomes);
        return;
    }
    // Plain output: a line when a camera's state changes, not per percent.
    m_lastPlain.resize(outcomes.size());
    if (changed >= outcomes.size()) {
        return;
    }
    const CameraOutcome& o = outcomes[changed];
    // The time an installing camera has been restarting is not a change.
    const std::string key =
        (Installing(o) ? o.state : StateText(o)) + "/" + std::to_string(o.attempts);
    if (key != m_lastPlain[changed]) {
        m_lastPlain[changed] = key;
        m_out << CameraLine(o, 200, std::min<size_t>(DisplayWidth(VisibleText(o.name)), 32))
              << "\n";
        m_out.flush();
    }
}

void CProgressView::MoveToFirstLine() {
    const size_t rows = RowsTaken(m_drawnWidths, static_cast<size_t>(m_size->columns));
    if (rows > 0) {
        m_out << "\x1b[" << rows << "A";
    }
    m_drawnWidths.clear();
}

void CProgressView::Erase() {
    if (m_size && !m_drawnWidths.empty()) {
        if (m_resizes->TakeResized()) {
            if (const auto size = m_measure()) {
                m_size = size;
            }
        }
        MoveToFirstLine();
        m_out << "\r\x1b[J";
        m_out.flush();
    }
    m_drawnWidths.clear();
}

void CProgressView::SetStatus(const std::vector<CameraOutcome>& outcomes,
                              const std::string& status) {
    if (status == m_status) {
        return;
    }
    m_status = status;
    if (m_size) {
        Redraw(outcomes);
    } else if (!status.empty()) {
        m_out << status << "\n";
        m_out.flush();
    }
}

void CProgressView::Finish(const std::vector<CameraOutcome>& outcomes) {
    if (m_size) {
        Redraw(outcomes);
    }
}
