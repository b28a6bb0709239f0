#include "LogFeed.h"

#include "app/Logger.h"

namespace {

// The value after `key` up to the next comma or the end, trimmed.
std::string ValueAfter(const std::string& text, const char* key) {
    const size_t at = text.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const size_t start = at + std::char_traits<char>::length(key);
    size_t end = text.find(',', start);
    if (end == std::string::npos) {
        end = text.size();
    }
    while (end > start && text[end - 1] == ' ') {
        --end;
    }
    // A MAC or an address with its port is short; anything else is not one.
    return end - start <= 64 ? text.substr(start, end - start) : std::string();
}

const char* LevelName(int level) {
    switch (level) {
        case kLogError:
            return "E";
        case kLogWarning:
            return "W";
        default:
            return "I";
    }
}

}  // namespace

CLogFeed::CLogFeed() {
    m_observer = GetLogInstance()->AddObserver([this](const LogLine& line) {
        LOG_FEED_LINE entry;
        entry.text = std::string(LevelName(line.level)) + ' ' + line.function + ": " + line.text;
        entry.mac = MacOf(line.text);
        entry.address = AddressOf(line.text);
        std::lock_guard<std::mutex> guard(m_mutex);
        if (m_pending.size() >= kMaxPending) {
            m_pending.pop_front();
            ++m_dropped;
        }
        m_pending.push_back(std::move(entry));
    });
}

CLogFeed::~CLogFeed() {
    GetLogInstance()->RemoveObserver(m_observer);
}

std::vector<LOG_FEED_LINE> CLogFeed::Take() {
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<LOG_FEED_LINE> lines(std::make_move_iterator(m_pending.begin()),
                                     std::make_move_iterator(m_pending.end()));
    m_pending.clear();
    m_dropped = 0;
    return lines;
}

size_t CLogFeed::Dropped() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_dropped;
}

std::string CLogFeed::MacOf(const std::string& text) {
    return ValueAfter(text, "mac: ");
}

std::string CLogFeed::AddressOf(const std::string& text) {
    return ValueAfter(text, "currentIp: ");
}
