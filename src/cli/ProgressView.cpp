#include "ProgressView.h"

#include <string>

#include "upgrade/UpgradeResult.h"

namespace {

std::string Bar(int progress) {
    const int filled = std::max(0, std::min(progress, 100)) / 5;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(20 - filled), '.') + "]";
}

std::string Line(const CameraOutcome& o) {
    const std::string state = o.code >= 0 ? ResultCodeToText(o.code) : o.state;
    char percent[16];
    std::snprintf(percent, sizeof(percent), "%3d%%", o.progress);
    return o.mac + "  " + Bar(o.progress) + " " + percent + "  " + state;
}

}  // namespace

void CProgressView::Redraw(const std::vector<CameraOutcome>& outcomes) {
    if (m_drawnLines > 0) {
        m_out << "\x1b[" << m_drawnLines << "A";
    }
    for (const CameraOutcome& o : outcomes) {
        m_out << "\r\x1b[2K" << Line(o) << "\n";
    }
    m_drawnLines = outcomes.size();
    m_out.flush();
}

void CProgressView::Update(const std::vector<CameraOutcome>& outcomes, size_t changed) {
    if (m_terminal) {
        Redraw(outcomes);
        return;
    }
    // Plain output: a line when the state text changes or another 10% is done.
    m_lastPlain.resize(outcomes.size());
    if (changed >= outcomes.size()) {
        return;
    }
    const CameraOutcome& o = outcomes[changed];
    const std::string key =
        (o.code >= 0 ? ResultCodeToText(o.code) : o.state) + "/" + std::to_string(o.progress / 10);
    if (key != m_lastPlain[changed]) {
        m_lastPlain[changed] = key;
        m_out << Line(o) << "\n";
        m_out.flush();
    }
}

void CProgressView::Finish(const std::vector<CameraOutcome>& outcomes) {
    if (m_terminal) {
        Redraw(outcomes);
    }
}
