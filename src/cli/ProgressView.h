// Live per-camera progress on the terminal: one bar per camera redrawn in
// place, or plain lines when the output is not a terminal.
#pragma once

#include <ostream>
#include <vector>

#include "UpgradeReport.h"

class CProgressView {
public:
    CProgressView(std::ostream& out, bool terminal) : m_out(out), m_terminal(terminal) {}

    // Shows the state of every camera after `changed` changed.
    void Update(const std::vector<CameraOutcome>& outcomes, size_t changed);
    // Ends the live display.
    void Finish(const std::vector<CameraOutcome>& outcomes);

private:
    void Redraw(const std::vector<CameraOutcome>& outcomes);

    std::ostream& m_out;
    bool m_terminal;
    size_t m_drawnLines = 0;
    std::vector<std::string> m_lastPlain;
};
