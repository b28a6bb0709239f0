// Live per-camera progress for a person: on a terminal, the rows that fit
// (running cameras first) redrawn in place and a line counting the rest,
// each line shortened to the terminal's width and redrawn when it is
// resized; elsewhere one line per camera and state change.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "TerminalSize.h"
#include "UpgradeReport.h"

// Measures the terminal the view draws on; empty when there is none.
using TerminalMeasure = std::function<std::optional<TerminalSize>()>;

class CProgressView {
public:
    CProgressView(std::ostream& out, TerminalMeasure measure);

    // Shows the state of every camera after `changed` changed.
    void Update(const std::vector<CameraOutcome>& outcomes, size_t changed);
    // Takes the drawn lines off the terminal, so that a message printed
    // now is not left among them; the next update draws them anew.
    void Erase();
    // A line about the whole run under the counts ("" for none), such as
    // the note that it is paused; without a terminal it is printed once.
    void SetStatus(const std::vector<CameraOutcome>& outcomes, const std::string& status);
    // Ends the live display.
    void Finish(const std::vector<CameraOutcome>& outcomes);
    // The terminal was resized and the lines wait to be drawn anew (Update
    // does it): the command's loop asks between messages, so that the view
    // follows the terminal at once rather than at the next camera event.
    bool ResizePending() const;
    // Columns of the terminal, 0 without one: the width of the final table.
    size_t Columns() const;

private:
    void Redraw(const std::vector<CameraOutcome>& outcomes);

    std::ostream& m_out;
    TerminalMeasure m_measure;
    std::optional<TerminalSize> m_size;
    std::optional<CResizeWatch> m_resizes;
    // Moves the cursor up over the lines drawn last.
    void MoveToFirstLine();

    // Display widths of the lines drawn last.
    std::vector<size_t> m_drawnWidths;
    std::vector<std::string> m_lastPlain;
    std::string m_status;
};

// The lines the live view draws for `outcomes` on a terminal of `size`:
// at most rows - 1 lines (the cursor keeps a line), none wider than
// columns - 1, running cameras first, then finished and queued ones while
// they fit, then a count of the cameras in each state, and last `status`
// when there is one.
std::vector<std::string> LiveLines(const std::vector<CameraOutcome>& outcomes, TerminalSize size,
                                   const std::string& status = "");
// One camera's line of at most `columns` display cells; its name follows the
// MAC in a column `nameWidth` wide when that leaves room for a bar, and the
// bar is shortened (not below its shortest) to leave `stateWidth` cells for
// the state. A camera on an upgrade path shows its step first.
std::string CameraLine(const CameraOutcome& outcome, size_t columns, size_t nameWidth = 0,
                       size_t stateWidth = 0);
// The width of the name column on a line of `columns` cells: the longest
// name up to 16 cells, 0 when names do not fit.
size_t NameColumnWidth(const std::vector<CameraOutcome>& outcomes, size_t columns);
// The camera's progress in percent, as both its bar and its number show it.
int ShownPercent(const CameraOutcome& outcome);
